#pragma once

#include <optional>
#include <string>
#include <vector>

#include "burn_in.h"
#include "diagnostic_pages.h"
#include "printer_info.h"
#include "status_answers.h"

// What a report for the shop holds; the window and the command line fill it, the report
// writer lays it out.

// One diagnosis page as the technician judged it.
struct PageVerdict {
    DiagnosticPage page = DiagnosticPage::Charset;
    std::string printedAt;  // "2026-12-08 19:05:31"; empty when not printed
    std::string verdict;    // "未测", "正常" or "异常"
    std::string note;
};

struct ReportContent {
    std::string madeAt;      // "2026-12-08 19:05"
    std::string port;        // as typed
    std::string portMeaning; // what it denotes ("/dev/usb/lp0, USB 打印机")
    std::optional<PrinterInfo> info;
    std::optional<StatusFindings> status;
    std::vector<PageVerdict> pages;
    std::optional<BurnInResult> burnIn;
    std::string toolVersion;
};
