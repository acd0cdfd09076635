#include "status_answers.h"

#include "port_error.h"

namespace {

constexpr std::uint8_t xon = 0x11, xoff = 0x13, textIdHeader = 0x5F;
// The longest text ID taken: makers' and models' names are short.
constexpr std::size_t longestTextId = 80;
constexpr std::size_t unrecognisedShown = 32;

std::uint8_t byteAt(std::string_view bytes, std::size_t i) {
    return static_cast<std::uint8_t>(bytes[i]);
}

bool isRealTimeStatus(std::uint8_t byte) {
    return (byte & 0x93) == 0x12;
}
bool isOneByteId(std::uint8_t byte) {
    return (byte & 0x90) == 0x00;
}
// The first byte of an automatic status back frame; three bytes 0xx0xxxx follow it.
bool startsStatusBack(std::uint8_t byte) {
    return (byte & 0x93) == 0x10;
}

bool bit(std::uint8_t byte, int n) {
    return (byte >> n & 1) != 0;
}

std::string hexBytes(std::string_view bytes, std::size_t shown) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < shown; ++i) {
        if (!text.empty()) text += ' ';
        text += digits[byteAt(bytes, i) >> 4];
        text += digits[byteAt(bytes, i) & 0x0F];
    }
    if (bytes.size() > shown) text += " …";
    return text;
}

std::string hexByte(std::uint8_t byte) {
    return hexBytes(std::string_view(reinterpret_cast<const char*>(&byte), 1), 1) + "H";
}

// A name as the printer sent it, or its bytes where they are not plain text.
std::string shownName(const std::string& name) {
    for (const char c : name)
        if (c < 0x20 || c > 0x7E) return hexBytes(name, longestTextId);
    return name;
}

std::string joined(const std::vector<std::string>& parts, const char* between) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

std::vector<std::string> answerLines(const PrinterAnswers& a) {
    std::vector<std::string> lines;
    if (a.printer) {
        lines.push_back(std::string("状态：") + (bit(*a.printer, 3) ? "脱机" : "联机") +
                        (bit(*a.printer, 5) ? "，等待恢复联机" : "") +
                        (bit(*a.printer, 6) ? "，进纸键按下" : ""));
    }
    if (a.offlineCause) {
        lines.push_back(std::string("上盖：") + (bit(*a.offlineCause, 2) ? "打开" : "关闭"));
        if (bit(*a.offlineCause, 3)) lines.push_back("进纸键：正在进纸");
    }
    const bool stoppedAtPaperEnd = a.offlineCause && bit(*a.offlineCause, 5);
    if (a.paperSensor) {
        const bool end = bit(*a.paperSensor, 5) || bit(*a.paperSensor, 6) || stoppedAtPaperEnd;
        const bool nearEnd = bit(*a.paperSensor, 2) || bit(*a.paperSensor, 3);
        lines.push_back(std::string("纸张：") + (end ? "用完" : nearEnd ? "将尽" : "正常"));
    } else if (stoppedAtPaperEnd) {
        lines.push_back("纸张：用完");
    }
    if (a.printer)
        lines.push_back(std::string("钱箱信号(引脚3)：") + (bit(*a.printer, 2) ? "高" : "低"));
    if (a.errorCause) {
        std::vector<std::string> errors;
        if (bit(*a.errorCause, 3)) errors.push_back("切刀错误");
        if (bit(*a.errorCause, 5)) errors.push_back("不可恢复错误");
        if (bit(*a.errorCause, 6)) errors.push_back("可自动恢复错误(如打印头过热)");
        if (bit(*a.errorCause, 2)) errors.push_back("可恢复错误");
        lines.push_back("错误：" + (errors.empty() ? std::string("无") : joined(errors, "、")));
    } else if (a.offlineCause && bit(*a.offlineCause, 6)) {
        lines.push_back("错误：有(原因未读到)");
    }
    if (a.modelId) lines.push_back("型号ID：" + hexByte(*a.modelId));
    if (a.typeId) {
        lines.push_back("类型ID：" + hexByte(*a.typeId) + "(双字节字符：" +
                        (bit(*a.typeId, 0) ? "支持" : "不支持") + "，自动切刀：" +
                        (bit(*a.typeId, 1) ? "有" : "无") + ")");
    }
    if (a.romVersion) lines.push_back("ROM版本ID：" + hexByte(*a.romVersion));
    if (a.maker) lines.push_back("制造商：" + shownName(*a.maker));
    if (a.model) lines.push_back("型号：" + shownName(*a.model));
    return lines;
}

// Parallel port and USB printer status lines, as LPGETSTATUS gives them: paper out, selected,
// and an error line that is low while there is an error.
std::string portLinesText(int lines) {
    return std::string("端口状态线：纸张") + (lines & 0x20 ? "缺" : "有") + "，" +
           (lines & 0x10 ? "已选中" : "未选中") + "，" + (lines & 0x08 ? "无错误" : "有错误");
}

}  // namespace

AnswerScan scanForAnswer(std::string_view received, AnswerShape shape) {
    AnswerScan scan;
    std::size_t at = 0;
    while (at < received.size()) {
        const std::uint8_t byte = byteAt(received, at);
        if (byte == xon || byte == xoff) {
            ++at;
        } else if (startsStatusBack(byte)) {
            if (received.size() - at < 4) break;  // the rest of the frame is still to come
            at += 4;
        } else if (byte == textIdHeader) {
            // A name: the one asked for, or one answering an earlier question late, which is
            // passed over whole so that its letters are not taken for other answers.
            const std::size_t end = received.find('\0', at + 1);
            if (end == std::string_view::npos) {
                if (received.size() - at <= longestTextId + 1) break;  // still coming
                scan.unrecognised += received.substr(at, 1);
                ++at;
                continue;
            }
            const std::size_t from = at;
            at = end + 1;
            if (shape == AnswerShape::TextId) {
                scan.answer = std::string(received.substr(from + 1, end - from - 1));
                break;
            }
        } else if (shape == AnswerShape::RealTimeStatus && isRealTimeStatus(byte)) {
            scan.answer = std::string(1, static_cast<char>(byte));
            ++at;
            break;
        } else if (shape == AnswerShape::OneByteId && isOneByteId(byte)) {
            scan.answer = std::string(1, static_cast<char>(byte));
            ++at;
            break;
        } else {
            scan.unrecognised += static_cast<char>(byte);
            ++at;
        }
    }
    scan.used = at;
    return scan;
}

std::string statusBoxText(const StatusFindings& findings, std::chrono::milliseconds waited) {
    std::vector<std::string> lines = answerLines(findings.answers);
    const bool answered = findings.answers.printer.has_value();
    if (!answered) {
        lines.insert(lines.begin(), "打印机没有应答：已发送 DLE EOT 1 (10 04 01)，等待" +
                                        secondsText(waited) + "秒，没有收到状态。");
    }
    if (findings.portLines) lines.push_back(portLinesText(*findings.portLines));
    if (!findings.unanswered.empty())
        lines.push_back("未应答：" + joined(findings.unanswered, "、"));
    if (!findings.answers.unrecognised.empty()) {
        lines.push_back("无法识别的应答：" +
                        hexBytes(findings.answers.unrecognised, unrecognisedShown));
    }
    if (findings.notAskedOffline)
        lines.push_back("打印机脱机时不处理型号查询(GS I)，未询问型号和名称。");
    if (findings.hungUp) lines.push_back("打印机在应答过程中断开了连接。");
    if (findings.tooMuchData) lines.push_back("打印机发来的数据过多，已停止读取。");
    if (!answered) {
        lines.push_back("请检查：");
        lines.push_back("· 并口打印机和只能写入的USB打印机不能应答(端口状态线仍可读)；");
        lines.push_back("· 网络打印机的状态可能在另一个端口；");
        lines.push_back(
            "· 串口打印机可能用另一种速率或流控，可写在端口名后，如 COM1:9600,n,8,1,x。");
    }
    return joined(lines, "\n");
}
