#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "burn_in.h"
#include "diagnostic_pages.h"
#include "job_host.h"
#include "printer_info.h"
#include "printer_report.h"
#include "status_answers.h"

class JobHost;

// The diagnosis window: one row per test page, with what the page shows and how to read its
// paper, a button that prints it, and the technician's verdict on it and a note. The verdicts
// live as long as the window stays open. The pages print through the main window, on the port
// its selector names when the page is printed.
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

class FrmDiagnose : public QWidget {
    Q_OBJECT
public:
    // `print` prints one page and returns when the job has ended: the time in the page's
    // heading, or none when it did not print.
    using Printer = std::function<std::optional<std::string>(DiagnosticPage)>;
    // `host` is the main window: its port and limits are the pages'.
    FrmDiagnose(Printer print, JobHost& host, QWidget* parent);

    // What a report saved now would hold.
    ReportContent reportContent() const;
    // Where the save dialog proposes to put it: the documents folder and the report's name.
    QString proposedReportPath(const ReportContent& content) const;

    // Runs a burn-in of `rounds` rounds on the main window's port and returns when it has ended,
    // telling `progress` where it stands after each round (false stops it there).
    using BurnInRunner = std::function<BurnInResult(
        int rounds, const std::function<bool(const BurnInProgress&)>& progress)>;
    void setBurnInRunner(BurnInRunner run) { burnIn_ = std::move(run); }
    const std::optional<BurnInResult>& lastBurnIn() const { return lastBurnIn_; }
    // The last readout (读取), for the report.
    const std::optional<PrinterInfo>& lastInfo() const { return lastInfo_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // 烧机: the run, the window live meanwhile; Esc, 停止 or closing the window ends it after
    // the round printing now.
    void startBurnIn();
    bool showBurnInProgress(const BurnInProgress& progress);
    void setBurnInRunning(bool running);
    BurnInRunner burnIn_;
    struct BurnInControls {
        QSpinBox* rounds = nullptr;
        QPushButton *start = nullptr, *stop = nullptr;
        QProgressBar* bar = nullptr;
        QLabel *round = nullptr, *elapsed = nullptr, *status = nullptr;
        QPlainTextEdit* summary = nullptr;
    } burnInControls_;
    bool burnInRunning_ = false, stopBurnIn_ = false, closeAfterBurnIn_ = false;
    // 保存报告: asks where, never replacing a file unasked, and says why when it cannot write;
    // the verdicts stay as they are either way.
    void saveReport();
    // 读取: the readout and its box; the window says when the charset page's verdict and the ROM
    // the printer named disagree.
    void readInfo();
    void showCharsetConflict();
    class QLabel* infoNotice_ = nullptr;

    Printer print_;
    JobHost& host_;
    // When each page last printed, as its heading says it.
    std::map<DiagnosticPage, std::string> printedAt_;
    // What this window has read and run, for the report: the last readout, the last status
    // query, the last burn-in.
    std::optional<PrinterInfo> lastInfo_;
    std::optional<StatusFindings> lastStatus_;
    std::optional<BurnInResult> lastBurnIn_;
};
