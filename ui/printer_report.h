#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

// The content's header has this one's name; it is named by its place so that this file does not
// include itself.
#include "../printer/printer_report.h"

// The report a shop keeps, laid out: one A4 page in Chinese, every field the tool read, and
// "未读取" for every one it did not. Needs a QGuiApplication (the offscreen platform will do).

// The report as an HTML page.
QString reportHtml(const ReportContent& content);

// The report as a PDF of one A4 page, in the windows' Song face, embedded.
QByteArray reportPdf(const ReportContent& content);

// Writes the report to `path`, as PDF or HTML by its extension; an existing file only when
// `overwrite`. Returns what went wrong, or nothing.
std::optional<std::string> writeReport(const ReportContent& content, const std::string& path,
                                       bool overwrite);
