#pragma once

#include <QWidget>
#include <functional>

#include <optional>

#include "burn_in.h"
#include "diagnostic_pages.h"
#include "job_host.h"
#include "printer_info.h"
#include "status_answers.h"

// The diagnosis window: one row per test page, with what the page shows and how to read its
// paper, a button that prints it, and the technician's verdict on it and a note. The verdicts
// live as long as the window stays open. The pages print through the main window, on the port
// its selector names when the page is printed.
class FrmDiagnose : public QWidget {
    Q_OBJECT
public:
    // `print` prints one page and returns when the job has ended.
    using Printer = std::function<void(DiagnosticPage)>;
    // `host` is the main window's: 读取 reads the printer its port selector names.
    FrmDiagnose(Printer print, JobHost& host, QWidget* parent);

    // The last readout (读取), for the report.
    const std::optional<PrinterInfo>& lastInfo() const { return lastInfo_; }

private:
    // 读取: the readout and its box; the window says when the charset page's verdict and the ROM
    // the printer named disagree.
    void readInfo();
    void showCharsetConflict();
    class PictureButton* button(const QString& caption, const QString& name);

    Printer print_;
    JobHost& host_;
    class QLabel* infoNotice_ = nullptr;
    // What this window has read and run, for the report: the last readout, the last status
    // query, the last burn-in.
    std::optional<PrinterInfo> lastInfo_;
    std::optional<StatusFindings> lastStatus_;
    std::optional<BurnInResult> lastBurnIn_;
};
