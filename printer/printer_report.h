#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
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
    std::string madeAt;       // "2026-12-08 19:05"
    std::string port;         // as typed
    std::string portMeaning;  // what it denotes ("/dev/usb/lp0, USB 打印机")
    std::optional<PrinterInfo> info;
    std::optional<StatusFindings> status;
    std::vector<PageVerdict> pages;
    std::optional<BurnInResult> burnIn;
    std::string toolVersion;
};

// How a report is written, chosen by its file's extension.
enum class ReportFormat { Pdf, Html };
// .pdf, .html or .htm, in any case; none for any other name.
std::optional<ReportFormat> reportFormatFor(const std::string& path);

// "2026-12-08 19:05": the time a report is made, local.
std::string reportTimeNow();

// What a port name denotes, for the technician and the shop: the device and its kind, the line
// settings, or the network address; a name that cannot be read says why.
std::string portMeaning(const std::string& portName);

// The printer's model as it named itself (the readout's, else the status query's), as text;
// none when it did not.
std::optional<std::string> reportModel(const ReportContent& content);

// The name the window proposes: 打印机报告-MODEL-YYYYMMDD-HHMM.pdf, MODEL as the printer named
// itself, made fit for a file name, or 未知型号 when it did not.
std::string reportFileName(const ReportContent& content);

// The shortest, median and longest of a burn-in's rounds; none when no round was timed.
struct RoundTimeSpread {
    std::chrono::milliseconds shortest{}, median{}, longest{};
};
std::optional<RoundTimeSpread> roundTimeSpread(std::vector<std::chrono::milliseconds> times);

// Writes a report's bytes to `path`; an existing file is left as it is unless `overwrite`.
// Returns what went wrong, in the system's words, or nothing when the file was written whole.
// A file this call made is removed again when its writing fails.
std::optional<std::string> writeReportBytes(const std::string& path, std::string_view bytes,
                                            bool overwrite);
