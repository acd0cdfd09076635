#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "answer_query.h"
#include "status_answers.h"

class JobHost;

// The title of the status box.
inline constexpr const char* statusTitle = "打印机状态";

// Asks the printer on the port named by the host's selector what its state is and who it is
// (real-time status DLE EOT 1 to 4, printer ID GS I 1 to 3, 66 and 67), within the host's answer
// bounds, and shows what it said, or that it said nothing and what to check, in the status box.
// Nothing is written to a plain file or a pipe: nothing there can answer. Reports its own
// failures; tells whether the query could be made.
bool PrinterStatusJob(JobHost& host);

// The query itself, on `portName`: what the printer said, or nothing when the port is a plain
// file or a pipe, which cannot answer and is left unwritten. Throws PortError when the port
// fails.
std::optional<StatusFindings> askPrinterStatus(JobHost& host, const std::string& portName);
// What the status box says of a port that cannot answer.
std::string cannotAnswerText(const std::string& portName);
