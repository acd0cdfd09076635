#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "status_answers.h"

class JobHost;
class PrinterPort;

// How every question to a printer is asked and its answers read, for the status query and the
// readouts alike: one request at a time, each answer waited for within its own bound and all of
// them within one, input held meanwhile (the host's waits), bytes that answer nothing kept to be
// shown, and no answer credited to a request it may not answer.

// One request and what becomes of its answer.
struct Question {
    std::string name;  // as the box names it: "GS I 1"
    std::string bytes;
    AnswerShape shape;
    // For setting-mode frames (37 … 00): the identifier that tells which function answered, so
    // that a function left unanswered does not hold back another's answers.
    std::uint8_t frameId = 0;
    // Takes the answer: the byte, or the frame without its header and NUL (a setting frame with
    // its identifier). False when it does not fit the request: the request then counts as
    // unanswered and the answer as unrecognised bytes.
    std::function<bool(const std::string& answer)> keep;
};

// What came of a query besides the answers kept.
struct QueryTrace {
    std::vector<std::string> unanswered;
    std::vector<UncertainAnswers> uncertain;
    std::vector<std::string> notAskedUncertain;
    std::string unrecognised;
    std::chrono::milliseconds waited{};
    bool hungUp = false;
    bool tooMuchData = false;
};

// The most a query reads from a printer, whatever it sends.
inline constexpr std::size_t mostAnswerBytes = 512;

// Opens `port` two-way on `portName`; false, with the port closed and nothing written, when
// nothing behind it can answer (a plain file, a pipe). Throws PortError when the port fails.
bool openToAsk(PrinterPort& port, const std::string& portName);

class AnswerQuery {
public:
    // `port` is open two-way on a printer that can answer; the bounds are the host's.
    AnswerQuery(JobHost& host, PrinterPort& port);
    ~AnswerQuery();
    AnswerQuery(const AnswerQuery&) = delete;
    AnswerQuery& operator=(const AnswerQuery&) = delete;

    // Whether the bounds have ended the query (the printer hung up or sent too much, the time is
    // up); `name` is then listed as unanswered.
    bool ended(const std::string& name);

    enum class Outcome { Answered, Unanswered, NotAsked };
    // Asks and waits for the answer, within the bound for a later answer once the printer has
    // answered something, the first answer's otherwise. Not asked while answers of its kind can
    // no longer be told apart, nor once the printer has hung up. `question` must outlast the
    // query.
    Outcome ask(const Question& question, bool laterAnswer);
    // After a request went unanswered: asks `barrier`, a request answered in order whose answer
    // is not kept, unless one of its kind is still awaited. Once it is answered, the requests
    // asked before it that a printer answers in order (all but the real-time ones) will never
    // be answered, and later answers of their kinds are free to go to later requests.
    void settle(const Question& barrier);
    // Writes a request that has no answer, unless the printer has hung up.
    void tell(std::string_view bytes);

    // Reads nothing more. What was left unread counts as unrecognised; requests asked and never
    // answered are listed as unanswered when `nameUnanswered`.
    QueryTrace finish(bool nameUnanswered);

private:
    class Matcher;
    bool readMore(std::chrono::milliseconds limit);

    JobHost& host_;
    PrinterPort& port_;
    QueryTrace trace_;
    std::unique_ptr<Matcher> matcher_;
    std::vector<const Question*> asked_;
    std::string received_;
    std::size_t readInAll_ = 0;
    std::chrono::steady_clock::time_point started_, ends_;
};
