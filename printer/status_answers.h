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
    TextId,          // GS I 65 to 69 and GS g 2: 5F, the text or the digits, 00
    SettingFrame,    // GS ( E functions 1, 4 and 6: 37, an identifier, printable data, 00
};

// The next thing in the bytes received: an answer of one shape, whole, or bytes that are none.
struct AnswerScan {
    // The shape of the answer found; none when no whole answer is there yet.
    std::optional<AnswerShape> shape;
    // The answer: the byte, a text ID's text without its frame, or a setting frame's identifier
    // and data.
    std::string answer;
    // Bytes of the input used up: the answer and everything before it, or everything that can
    // be judged while an answer is still to come.
    std::size_t used = 0;
    // Bytes passed over that are no answer, nor the printer's flow control (XON, XOFF) or
    // automatic status back frames, which come unasked and are skipped. A name frame (5F … 00)
    // too long for a name is passed over whole, up to its 00, as such bytes; a 37 followed by
    // anything but a setting frame's bytes is one such byte.
    std::string unrecognised;
};
AnswerScan scanForAnswer(std::string_view received);

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

// Answers that came when more than one request could still be answered, fewer than those
// requests: each may be a late answer of an earlier request, so none is credited.
struct UncertainAnswers {
    std::string bytes;                  // the answers, in the order they came
    std::vector<std::string> requests;  // the requests they may answer, in the order asked
};

// What the paper sensor and the offline cause tell of the paper, where either told it.
enum class PaperLeft : std::uint8_t { Fine, NearEnd, Out };
std::optional<PaperLeft> paperLeft(const PrinterAnswers& answers);

// All that one status query found out.
struct StatusFindings {
    PrinterAnswers answers{};
    // The port's status lines (LPGETSTATUS) where the device gives them.
    std::optional<int> portLines{};
    // Requests the printer left unanswered after it had answered others ("GS I 66", ...).
    std::vector<std::string> unanswered{};
    // Answers that cannot be told apart from late answers of earlier requests, and the requests
    // not asked after them, since their answers could not have been told apart either.
    std::vector<UncertainAnswers> uncertain{};
    std::vector<std::string> notAskedUncertain{};
    // How long the query waited on the printer's answers.
    std::chrono::milliseconds waited{};
    bool notAskedOffline = false;  // offline, the printer would not have answered its IDs
    bool hungUp = false;           // the printer hung up before the query was over
    bool tooMuchData = false;      // the printer sent more than the query reads
};

// The status box: one line per finding, in Chinese, claiming nothing that was not read. When
// DLE EOT 1 brought no answer it says so, what was sent and how long the query waited, and what
// to check.
std::string statusBoxText(const StatusFindings& findings);
// The box's lines, with `more` after what the printer answered and before what went wrong.
std::vector<std::string> statusBoxLines(const StatusFindings& findings,
                                        const std::vector<std::string>& more);
// The same, with `waited` in place of the findings' own time waited.
std::string statusBoxText(StatusFindings findings, std::chrono::milliseconds waited);

// A name as the printer sent it, in GBK (ASCII among it): its text, and the bytes, in hex
// within brackets, of what is not valid text; all in hex when none of it is.
std::string shownName(std::string_view name);
