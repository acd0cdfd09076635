#include "status_answers.h"

#include "port_error.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace {

constexpr std::uint8_t xon = 0x11, xoff = 0x13, textIdHeader = 0x5F, settingHeader = 0x37;
// The longest setting frame: an identifier, a number of three digits, a separator, five digits;
// memory switches send eight.
constexpr std::size_t longestSettingFrame = 16;
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

bool isShownText(std::string_view utf8) {
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
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
    if (const std::optional<PaperLeft> paper = paperLeft(a)) {
        lines.push_back(std::string("纸张：") + (*paper == PaperLeft::Out       ? "用完"
                                                 : *paper == PaperLeft::NearEnd ? "将尽"
                                                                                : "正常"));
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

std::optional<PaperLeft> paperLeft(const PrinterAnswers& a) {
    const bool stoppedAtPaperEnd = a.offlineCause && bit(*a.offlineCause, 5);
    if (!a.paperSensor) return stoppedAtPaperEnd ? std::optional(PaperLeft::Out) : std::nullopt;
    if (bit(*a.paperSensor, 5) || bit(*a.paperSensor, 6) || stoppedAtPaperEnd)
        return PaperLeft::Out;
    if (bit(*a.paperSensor, 2) || bit(*a.paperSensor, 3)) return PaperLeft::NearEnd;
    return PaperLeft::Fine;
}

AnswerScan scanForAnswer(std::string_view received) {
    AnswerScan scan;
    std::size_t at = 0;
    auto found = [&](AnswerShape shape, std::string answer, std::size_t end) {
        scan.shape = shape;
        scan.answer = std::move(answer);
        at = end;
    };
    while (at < received.size() && !scan.shape) {
        const std::uint8_t byte = byteAt(received, at);
        if (byte == xon || byte == xoff) {
            ++at;
        } else if (startsStatusBack(byte)) {
            if (received.size() - at < 4) break;  // the rest of the frame is still to come
            at += 4;
        } else if (byte == textIdHeader) {
            // Everything up to the 00 belongs to the frame, however long: letters of a name are
            // never read as other answers.
            const std::size_t end = received.find('\0', at + 1);
            if (end == std::string_view::npos) break;  // still coming
            if (end - at - 1 > longestTextId) {
                scan.unrecognised += received.substr(at, end + 1 - at);
                at = end + 1;
            } else {
                found(AnswerShape::TextId, std::string(received.substr(at + 1, end - at - 1)),
                      end + 1);
            }
        } else if (byte == settingHeader) {
            // Its identifier and data are printable (digits, the 1F separator) up to the 00.
            std::size_t end = at + 1;
            while (end < received.size() && end - at <= longestSettingFrame + 1 &&
                   byteAt(received, end) >= 0x1F && byteAt(received, end) < 0x7F)
                ++end;
            if (end == received.size() && end - at <= longestSettingFrame + 1) break;  // coming
            if (end < received.size() && byteAt(received, end) == 0 && end > at + 1) {
                found(AnswerShape::SettingFrame, std::string(received.substr(at + 1, end - at - 1)),
                      end + 1);
            } else {
                scan.unrecognised += static_cast<char>(byte);
                ++at;
            }
        } else if (isRealTimeStatus(byte)) {
            found(AnswerShape::RealTimeStatus, std::string(1, static_cast<char>(byte)), at + 1);
        } else if (isOneByteId(byte)) {
            found(AnswerShape::OneByteId, std::string(1, static_cast<char>(byte)), at + 1);
        } else {
            scan.unrecognised += static_cast<char>(byte);
            ++at;
        }
    }
    scan.used = at;
    return scan;
}

std::string shownName(std::string_view name) {
    const std::unique_ptr<void, int (*)(iconv_t)> converter(iconv_open("UTF-8", "GBK"),
                                                            iconv_close);
    if (converter.get() == reinterpret_cast<iconv_t>(-1)) return hexBytes(name, longestTextId);
    std::string text, invalid;
    bool anyText = false;
    auto flushInvalid = [&] {
        if (invalid.empty()) return;
        text += '[';
        text += hexBytes(invalid, longestTextId);
        text += ']';
        invalid.clear();
    };
    for (std::size_t at = 0; at < name.size();) {
        // One character at a time, one byte or two: what does not convert is shown as bytes.
        std::string_view character;
        std::string utf8;
        for (const std::size_t length : {1, 2}) {
            if (at + length > name.size()) break;
            char out[8];
            char* in = const_cast<char*>(name.data() + at);
            char* outAt = out;
            std::size_t inLeft = length, outLeft = sizeof out;
            iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
            if (iconv(converter.get(), &in, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1) &&
                inLeft == 0) {
                utf8.assign(out, outAt);
                character = name.substr(at, length);
                break;
            }
        }
        if (character.empty() || !isShownText(utf8)) {
            invalid += name[at++];
            continue;
        }
        flushInvalid();
        text += utf8;
        anyText = true;
        at += character.size();
    }
    if (!anyText) return hexBytes(name, longestTextId);
    flushInvalid();
    return text;
}

std::string statusBoxText(StatusFindings findings, std::chrono::milliseconds waited) {
    findings.waited = waited;
    return statusBoxText(findings);
}

std::string statusBoxText(const StatusFindings& findings) {
    return joined(statusBoxLines(findings, {}), "\n");
}

std::vector<std::string> statusBoxLines(const StatusFindings& findings,
                                        const std::vector<std::string>& more) {
    std::vector<std::string> lines = answerLines(findings.answers);
    lines.insert(lines.end(), more.begin(), more.end());
    const bool answered = findings.answers.printer.has_value();
    if (!answered) {
        lines.insert(lines.begin(), "打印机没有应答：已发送 DLE EOT 1 (10 04 01)，等待" +
                                        (findings.waited < std::chrono::milliseconds(50)
                                             ? std::string("不到0.1")
                                             : secondsText(findings.waited)) +
                                        "秒，没有收到状态。");
    }
    for (const UncertainAnswers& uncertain : findings.uncertain) {
        lines.push_back("应答迟到，无法确定属于哪个请求(" + joined(uncertain.requests, "、") +
                        ")：" + hexBytes(uncertain.bytes, unrecognisedShown));
    }
    if (!findings.notAskedUncertain.empty()) {
        lines.push_back("应答次序无法确定，未询问：" + joined(findings.notAskedUncertain, "、"));
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
    return lines;
}
