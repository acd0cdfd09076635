#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "burn_in.h"
#include "diagnostic_pages.h"
#include "printer_info.h"
#include "printer_report.h"
#include "status_answers.h"

class JobHost;

// The diagnosis window: one row per test page, with what the page shows and how to read its
// paper, a button that prints it, and the technician's verdict on it and a note. The verdicts
// live as long as the window stays open. The pages print through the main window, on the port
// its selector names when the page is printed.
class FrmDiagnose : public QWidget {
    Q_OBJECT
public:
    // `print` prints one page and returns when the job has ended, telling whether it printed.
    using Printer = std::function<bool(DiagnosticPage)>;
    // `host` is the main window: its port and limits are the pages'.
    FrmDiagnose(Printer print, JobHost& host, QWidget* parent);

    // What a report saved now would hold.
    ReportContent reportContent() const;
    // Where the save dialog proposes to put it: the documents folder and the report's name.
    QString proposedReportPath(const ReportContent& content) const;

private:
    // 保存报告: asks where, never replacing a file unasked, and says why when it cannot write;
    // the verdicts stay as they are either way.
    void saveReport();

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
