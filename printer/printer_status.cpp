#include "printer_status.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "job_host.h"
#include "job_steps.h"
#include "printer_port.h"
#include "status_answers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One question to the printer, and where its answer goes.
struct StatusRequest {
    const char* name;
    std::string_view bytes;
    AnswerShape shape;
    void (*keep)(PrinterAnswers&, const std::string& answer);
};

std::uint8_t firstByte(const std::string& answer) {
    return static_cast<std::uint8_t>(answer.at(0));
}

// In this order: the printer's own state first, for when the bounds end the query early.
const StatusRequest statusRequests[] = {
    {"DLE EOT 1", "\x10\x04\x01", AnswerShape::RealTimeStatus,
     [](PrinterAnswers& a, const std::string& b) { a.printer = firstByte(b); }},
    {"DLE EOT 2", "\x10\x04\x02", AnswerShape::RealTimeStatus,
     [](PrinterAnswers& a, const std::string& b) { a.offlineCause = firstByte(b); }},
    {"DLE EOT 3", "\x10\x04\x03", AnswerShape::RealTimeStatus,
     [](PrinterAnswers& a, const std::string& b) { a.errorCause = firstByte(b); }},
    {"DLE EOT 4", "\x10\x04\x04", AnswerShape::RealTimeStatus,
     [](PrinterAnswers& a, const std::string& b) { a.paperSensor = firstByte(b); }},
    {"GS I 1", "\x1D\x49\x01", AnswerShape::OneByteId,
     [](PrinterAnswers& a, const std::string& b) { a.modelId = firstByte(b); }},
    {"GS I 2", "\x1D\x49\x02", AnswerShape::OneByteId,
     [](PrinterAnswers& a, const std::string& b) { a.typeId = firstByte(b); }},
    {"GS I 3", "\x1D\x49\x03", AnswerShape::OneByteId,
     [](PrinterAnswers& a, const std::string& b) { a.romVersion = firstByte(b); }},
    {"GS I 66", "\x1D\x49\x42", AnswerShape::TextId,
     [](PrinterAnswers& a, const std::string& b) { a.maker = b; }},
    {"GS I 67", "\x1D\x49\x43", AnswerShape::TextId,
     [](PrinterAnswers& a, const std::string& b) { a.model = b; }},
};

milliseconds timeUntil(Clock::time_point deadline) {
    return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(deadline - Clock::now()));
}

// Answers matched to requests. A printer answers in the order asked and each request once at
// most, so of one shape the answers fill the requests still awaited in order; an answer cannot
// belong to a request asked after it came. While more than one request of its shape is awaited,
// an answer may be a late one of the earlier: none is credited until as many answers have come
// as requests are awaited, and otherwise they are told as uncertain.
class AnswerMatcher {
public:
    explicit AnswerMatcher(StatusFindings& findings) : findings_(findings) {}

    void asked(const StatusRequest& request) { shape(request.shape).awaited.push_back(&request); }
    bool awaited(const StatusRequest& request) const {
        const auto& waiting = shapes_[index(request.shape)].awaited;
        return std::find(waiting.begin(), waiting.end(), &request) != waiting.end();
    }
    // Whether answers of this shape can no longer be told apart.
    bool confused(AnswerShape of) const { return shapes_[index(of)].uncertain.has_value(); }

    // Takes every whole answer in `received`, leaving what is still to come.
    void take(std::string& received) {
        for (;;) {
            const AnswerScan scan = scanForAnswer(received);
            findings_.answers.unrecognised += scan.unrecognised;
            received.erase(0, scan.used);
            if (!scan.shape) return;
            credit(*scan.shape, scan.answer);
        }
    }

    // The wait for answers of this shape is over: answers held back are uncertain.
    void giveUp(AnswerShape of) {
        Shape& s = shape(of);
        if (s.arrived.empty()) return;
        UncertainAnswers uncertain;
        for (const std::string& answer : s.arrived) uncertain.bytes += answer;
        for (const StatusRequest* request : s.awaited) uncertain.requests.push_back(request->name);
        findings_.uncertain.push_back(uncertain);
        s.uncertain = findings_.uncertain.size() - 1;
        s.arrived.clear();
        s.awaited.clear();
    }

private:
    struct Shape {
        std::vector<const StatusRequest*> awaited;
        std::vector<std::string> arrived;  // held back, fewer than awaited
        // Where more answers of this shape go, once they can no longer be matched.
        std::optional<std::size_t> uncertain;
    };
    static std::size_t index(AnswerShape of) { return static_cast<std::size_t>(of); }
    Shape& shape(AnswerShape of) { return shapes_[index(of)]; }

    void credit(AnswerShape of, const std::string& answer) {
        Shape& s = shape(of);
        if (s.uncertain) {
            findings_.uncertain[*s.uncertain].bytes += answer;
        } else if (s.awaited.empty()) {
            // Nothing asked could bring it: unasked bytes; a late name passes whole.
            if (of != AnswerShape::TextId) findings_.answers.unrecognised += answer;
        } else {
            s.arrived.push_back(answer);
            if (s.arrived.size() < s.awaited.size()) return;
            for (std::size_t i = 0; i < s.arrived.size(); ++i)
                s.awaited[i]->keep(findings_.answers, s.arrived[i]);
            s.arrived.clear();
            s.awaited.clear();
        }
    }

    StatusFindings& findings_;
    Shape shapes_[3];
};

}  // namespace

std::string cannotAnswerText(const std::string& portName) {
    return "“" + portName + "”是文件或管道，不是打印机，不能应答状态查询；没有写入任何数据。";
}

std::optional<StatusFindings> askPrinterStatus(JobHost& host, const std::string& portName) {
    PrinterPort port(host);
    port.openTwoWay(portName);
    if (!port.canAnswer()) {
        port.close();
        return std::nullopt;
    }

    // Each answer is waited for within its own bound and all of them within one; bytes that
    // answer nothing are kept to be shown, up to what the query reads in all.
    const PortLimits limits = host.portLimits();
    const auto queryEnds = Clock::now() + limits.allAnswers;
    StatusFindings findings;
    findings.portLines = port.portStatusLines();
    std::string received;
    std::size_t readInAll = 0;
    AnswerMatcher matcher(findings);
    const auto started = Clock::now();
    std::vector<const StatusRequest*> asked;
    for (const StatusRequest& request : statusRequests) {
        const bool answeredBefore = findings.answers.printer.has_value();
        if (findings.hungUp || findings.tooMuchData || Clock::now() >= queryEnds) {
            findings.unanswered.push_back(request.name);
            continue;
        }
        // Printer IDs are answered as the printer works through what it received, which an
        // offline printer does not: asked, they would only be answered late.
        const bool realTime = request.shape == AnswerShape::RealTimeStatus;
        if (!realTime && findings.answers.printer && (*findings.answers.printer & 0x08)) {
            findings.notAskedOffline = true;
            continue;
        }
        if (matcher.confused(request.shape)) {
            findings.notAskedUncertain.push_back(request.name);
            continue;
        }
        // A printer that hung up right after its last answer is not written to.
        if (!asked.empty() && readInAll < mostAnswerBytes) {
            const std::size_t before = received.size();
            findings.hungUp = !port.read(received, milliseconds(0), mostAnswerBytes - readInAll);
            readInAll += received.size() - before;
            matcher.take(received);
            if (findings.hungUp) {
                findings.unanswered.push_back(request.name);
                continue;
            }
        }
        port.write(request.bytes);
        matcher.asked(request);
        asked.push_back(&request);
        const auto answerDue = std::min(
            queryEnds, Clock::now() + (answeredBefore ? limits.laterAnswer : limits.firstAnswer));
        for (;;) {
            matcher.take(received);
            if (!matcher.awaited(request)) break;
            findings.tooMuchData = readInAll >= mostAnswerBytes;
            if (findings.tooMuchData || findings.hungUp || Clock::now() >= answerDue) {
                matcher.giveUp(request.shape);
                break;
            }
            const std::size_t before = received.size();
            findings.hungUp =
                !port.read(received, timeUntil(answerDue), mostAnswerBytes - readInAll);
            readInAll += received.size() - before;
        }
        // A printer that does not answer its real-time status answers nothing else either.
        if (!findings.answers.printer) break;
    }
    findings.waited = std::chrono::ceil<milliseconds>(Clock::now() - started);
    for (const StatusRequest* request : asked)
        if (matcher.awaited(*request) && findings.answers.printer)
            findings.unanswered.push_back(request->name);
    findings.answers.unrecognised += received;
    port.close();
    return findings;
}

bool PrinterStatusJob(JobHost& host) {
    return RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        host.pumpEvents();
        const std::string portName = host.portName();
        const std::optional<StatusFindings> findings = askPrinterStatus(host, portName);
        host.showInformation(statusTitle,
                             findings ? statusBoxText(*findings) : cannotAnswerText(portName));
        return true;
    });
}
