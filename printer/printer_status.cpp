#include "printer_status.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

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
        port.write(request.bytes);
        const auto answerDue = std::min(
            queryEnds, Clock::now() + (answeredBefore ? limits.laterAnswer : limits.firstAnswer));
        for (;;) {
            const AnswerScan scan = scanForAnswer(received, request.shape);
            findings.answers.unrecognised += scan.unrecognised;
            received.erase(0, scan.used);
            if (scan.answer) {
                request.keep(findings.answers, *scan.answer);
                break;
            }
            findings.tooMuchData = readInAll >= mostAnswerBytes;
            if (findings.tooMuchData || findings.hungUp || Clock::now() >= answerDue) {
                if (answeredBefore) findings.unanswered.push_back(request.name);
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
                             findings ? statusBoxText(*findings, host.portLimits().firstAnswer)
                                      : cannotAnswerText(portName));
        return true;
    });
}
