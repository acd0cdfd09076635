#include "printer_status.h"

#include <string>
#include <string_view>
#include <vector>

#include "answer_query.h"
#include "job_host.h"
#include "job_steps.h"
#include "printer_port.h"
#include "status_answers.h"

namespace {

std::uint8_t firstByte(const std::string& answer) {
    return static_cast<std::uint8_t>(answer.at(0));
}

// One question to the printer, and where its answer goes.
struct StatusRequest {
    const char* name;
    std::string_view bytes;
    AnswerShape shape;
    void (*keep)(PrinterAnswers&, const std::string& answer);
};

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

}  // namespace

std::string cannotAnswerText(const std::string& portName) {
    return "“" + portName + "”是文件或管道，不是打印机，不能应答状态查询；没有写入任何数据。";
}

std::optional<StatusFindings> askPrinterStatus(JobHost& host, const std::string& portName) {
    PrinterPort port(host);
    if (!openToAsk(port, portName)) return std::nullopt;

    StatusFindings findings;
    findings.portLines = port.portStatusLines();
    std::vector<Question> questions;
    for (const StatusRequest& request : statusRequests) {
        questions.push_back({request.name, std::string(request.bytes), request.shape, 0,
                             [&findings, keep = request.keep](const std::string& answer) {
                                 keep(findings.answers, answer);
                                 return true;
                             }});
    }
    AnswerQuery query(host, port);
    for (const Question& question : questions) {
        const bool answeredBefore = findings.answers.printer.has_value();
        if (query.ended(question.name)) continue;
        // Printer IDs are answered as the printer works through what it received, which an
        // offline printer does not: asked, they would only be answered late.
        const bool realTime = question.shape == AnswerShape::RealTimeStatus;
        if (!realTime && findings.answers.printer && (*findings.answers.printer & 0x08)) {
            findings.notAskedOffline = true;
            continue;
        }
        query.ask(question, answeredBefore);
        // A printer that does not answer its real-time status answers nothing else either.
        if (!findings.answers.printer) break;
    }
    QueryTrace trace = query.finish(findings.answers.printer.has_value());
    port.close();
    findings.unanswered = std::move(trace.unanswered);
    findings.uncertain = std::move(trace.uncertain);
    findings.notAskedUncertain = std::move(trace.notAskedUncertain);
    findings.answers.unrecognised = std::move(trace.unrecognised);
    findings.waited = trace.waited;
    findings.hungUp = trace.hungUp;
    findings.tooMuchData = trace.tooMuchData;
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
