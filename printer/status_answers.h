#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a printer says back to status requests, read from the bytes it sent: plain functions, so
// that every answer, and every byte that is no answer, can be tried without a printer.

// How a request is answered.
enum class AnswerShape : std::uint8_t {
    RealTimeStatus,  // DLE EOT n: one byte 0xx1xx10
    OneByteId,       // GS I 1 to 3: one byte 0xx0xxxx
    TextId,          // GS I 65 to 69: 5F, the text, 00
};

// The first answer of a shape in the bytes received so far.
struct AnswerScan {
    // The answer once it has arrived whole: the byte, or a text ID's text without its frame.
    std::optional<std::string> answer;
    // Bytes of the input used up: the answer and everything before it, or everything that can
    // be judged while the answer is still to come.
    std::size_t used = 0;
    // Bytes passed over that are no answer of this shape, nor the printer's flow control
    // (XON, XOFF), automatic status back frames or names (5F … 00), which come unasked or late
    // and are skipped.
    std::string unrecognised;
};
AnswerScan scanForAnswer(std::string_view received, AnswerShape shape);

// What a printer answered, request by request; what it did not answer stays empty.
struct PrinterAnswers {
    // DLE EOT 1 to 4: printer, offline cause, error cause and paper sensor status.
    std::optional<std::uint8_t> printer{}, offlineCause{}, errorCause{}, paperSensor{};
    // GS I 1 to 3, 66 and 67.
    std::optional<std::uint8_t> modelId{}, typeId{}, romVersion{};
    std::optional<std::string> maker{}, model{};
    // Bytes that matched no answer.
    std::string unrecognised{};
};

// All that one status query found out.
struct StatusFindings {
    PrinterAnswers answers{};
    // The port's status lines (LPGETSTATUS) where the device gives them.
    std::optional<int> portLines{};
    // Requests the printer left unanswered after it had answered others ("GS I 66", ...).
    std::vector<std::string> unanswered{};
    bool notAskedOffline = false;  // offline, the printer would not have answered its IDs
    bool hungUp = false;           // the printer hung up before the query was over
    bool tooMuchData = false;      // the printer sent more than the query reads
};

// The status box: one line per finding, in Chinese, claiming nothing that was not read. When
// DLE EOT 1 brought no answer it says so, what was sent and how long the query waited, and what
// to check.
std::string statusBoxText(const StatusFindings& findings, std::chrono::milliseconds waited);
