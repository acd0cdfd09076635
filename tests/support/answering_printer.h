#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// A printer that answers status requests, for tests: on a thread of its own it reads what a job
// sends, over a pseudo-terminal or a TCP connection on 127.0.0.1, and answers each request as
// its script says.
class AnsweringPrinter {
public:
    struct Script {
        // A request's bytes (e.g. "\x10\x04\x01") and the bytes sent back for it; a request not
        // listed is not answered.
        std::map<std::string, std::string> answers{};
        // Sent before each answer: bytes the printer sends unasked (automatic status back
        // frames, XON/XOFF).
        std::string beforeEachAnswer{};
        // Sends bytes without end from the first request on.
        bool flood = false;
        // Hangs up after this many answers, in the middle of the next one: only its first
        // two bytes go out.
        int hangUpAfter = -1;
        // A slow printer: the time it takes over its first answer, and over each later one
        // (requests are worked through one after another).
        std::chrono::milliseconds firstDelay{}, laterDelay{};
        // Answers go out in pieces this long, 20 ms apart.
        std::size_t pieceBytes = 0;
    };
    enum class Line { PseudoTerminal, Tcp };

    AnsweringPrinter(Line line, Script script);
    ~AnsweringPrinter();
    AnsweringPrinter(const AnsweringPrinter&) = delete;
    AnsweringPrinter& operator=(const AnsweringPrinter&) = delete;

    // What to type into the port box.
    const std::string& portName() const { return portName_; }
    // Everything received so far.
    std::string received();

private:
    void serve(Script script);
    int waitForConnection();

    Line line_;
    std::string portName_;
    int master_ = -1, slave_ = -1, listener_ = -1;
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::string received_;
    std::thread server_;
};

// The answers of an ESC/POS printer, byte for byte, for the states the tests try.
struct PrinterCondition {
    bool offline = false;
    bool coverOpen = false;
    bool paperNearEnd = false;
    bool paperEnd = false;
    bool drawerHigh = false;
    bool cutterError = false;
};
AnsweringPrinter::Script answersFor(const PrinterCondition& state);
// The same, and the readout's answers as the command reference gives them: GS I 65 to 69
// ("1.05 ESC/POS", the maker, the model, "XH2026120801", "CHINA GB18030"), the user setting mode
// (GS ( E 1, memory switches 1 "00000001", 8 "10000000" and the others 0,
// customized values 1=2, 2=4, 3=6, 5=65534, 6=9) and the maintenance counters (GS g 2 20=1234,
// 21=567890, 50=12, 70=3, 148=98765, 149=4567890123, 178=345, 198=1200).
AnsweringPrinter::Script readoutAnswersFor(const PrinterCondition& state);
// The request GS ( E function 4 or 6 with its one parameter, and GS g 2 for a counter.
std::string settingRequest(int function, int parameter);
std::string counterRequest(int number);
// How long the request at the start of `pending` is; 0 while that cannot be told yet.
std::size_t requestLength(std::string_view pending);
