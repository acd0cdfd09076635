#include "printer_info.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <deque>
#include <utility>

#include "answer_query.h"
#include "job_host.h"
#include "job_steps.h"
#include "printer_port.h"
#include "printer_status.h"

namespace {

std::string byte(int value) {
    return std::string(1, static_cast<char>(value));
}

// GS I n.
std::string identityRequest(int n) {
    return "\x1D\x49" + byte(n);
}
// GS g 2 m nL nH, m = 0.
std::string counterRequest(int number) {
    return std::string("\x1D\x67\x32\x00", 4) + byte(number & 0xFF) + byte(number >> 8);
}
// GS ( E pL pH fn data.
std::string settingRequest(int function, std::string_view data) {
    const std::size_t length = data.size() + 1;
    return "\x1D\x28\x45" + byte(static_cast<int>(length & 0xFF)) +
           byte(static_cast<int>(length >> 8)) + byte(function) + std::string(data);
}

// The identifiers of the user setting mode's answers (37 ID … 00).
constexpr std::uint8_t enteredId = 0x20, switchId = 0x21, customizedId = 0x27;
constexpr char separator = 0x1F;

// Decimal digits, no more than `most` of them, as a number.
std::optional<std::uint64_t> digits(std::string_view text, std::size_t most) {
    if (text.empty() || text.size() > most) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// GS I 1 to 3 and 65 to 69, and where each answer goes.
struct ByteIdRequest {
    int n;
    std::optional<std::uint8_t> PrinterIdentity::*field;
};
const ByteIdRequest byteIds[] = {{1, &PrinterIdentity::modelId},
                                 {2, &PrinterIdentity::typeId},
                                 {3, &PrinterIdentity::romVersion}};
struct TextIdRequest {
    int n;
    std::optional<std::string> PrinterIdentity::*field;
};
const TextIdRequest textIds[] = {{65, &PrinterIdentity::firmware},
                                 {66, &PrinterIdentity::maker},
                                 {67, &PrinterIdentity::model},
                                 {68, &PrinterIdentity::serial},
                                 {69, &PrinterIdentity::characterRom}};

// The readout's steps on an AnswerQuery: each request asked once, its answer decoded where it
// goes, and the rules of the readout on top of the status query's.
class Readout {
public:
    Readout(JobHost& host, PrinterPort& port, PrinterInfo& info)
        : query_(host, port), info_(info) {}

    // DLE EOT 1: whether the printer is there and online.
    bool reachable() {
        const Question& status = keep({"DLE EOT 1", "\x10\x04\x01", AnswerShape::RealTimeStatus, 0,
                                       [this](const std::string& answer) {
                                           info_.printerStatus =
                                               static_cast<std::uint8_t>(answer[0]);
                                           return true;
                                       }});
        query_.ask(status, false);
        info_.answered = info_.printerStatus.has_value();
        info_.offline = info_.answered && (*info_.printerStatus & 0x08) != 0;
        return info_.answered && !info_.offline;
    }

    void identity() {
        PrinterIdentity& id = info_.identity;
        for (const ByteIdRequest& request : byteIds) {
            ask({"GS I " + std::to_string(request.n), identityRequest(request.n),
                 AnswerShape::OneByteId, 0, [&id, field = request.field](const std::string& a) {
                     id.*field = static_cast<std::uint8_t>(a[0]);
                     return true;
                 }});
        }
        for (const TextIdRequest& request : textIds) {
            ask({"GS I " + std::to_string(request.n), identityRequest(request.n),
                 AnswerShape::TextId, 0, [&id, field = request.field](const std::string& a) {
                     id.*field = a;
                     return true;
                 }});
        }
    }

    // A printer without maintenance counters answers none: once the first goes unanswered the
    // rest are not asked.
    void counters() {
        info_.counters.clear();
        for (const int number : counterNumbers) info_.counters.push_back({number, std::nullopt});
        std::optional<AnswerQuery::Outcome> first;
        for (CounterReading& reading : info_.counters) {
            const std::string name = "GS g 2 " + std::to_string(reading.number);
            if (first == AnswerQuery::Outcome::Unanswered) {
                info_.notAsked.push_back(name);
                continue;
            }
            const auto outcome = ask({name, counterRequest(reading.number), AnswerShape::TextId, 0,
                                      [&reading](const std::string& answer) {
                                          reading.value = digits(answer, 10);
                                          return reading.value.has_value();
                                      }});
            if (!first) first = outcome;
        }
    }

    // Read only: the user setting mode is entered (function 1), memory switches (4) and
    // customized values (6) are read, and the mode is ended (2, which resets the printer)
    // whenever it may have been entered. Nothing that writes is ever sent.
    void settings() {
        PrinterSettings& settings = info_.settings;
        settings.customized.clear();
        for (const int number : customizedNumbers)
            settings.customized.push_back({number, std::nullopt});
        const auto entered = ask({"GS ( E 1", settingRequest(1, "IN"), AnswerShape::SettingFrame,
                                  enteredId, [this](const std::string& answer) {
                                      info_.settingModeEntered = answer == byte(enteredId);
                                      return info_.settingModeEntered;
                                  }});
        for (int number = 1; number <= 8; ++number) {
            const std::string name = "GS ( E 4: switch " + std::to_string(number);
            if (!readSetting(entered, name)) continue;
            ask({name, settingRequest(4, byte(number)), AnswerShape::SettingFrame, switchId,
                 [&settings, number](const std::string& answer) {
                     const std::string bits = answer.substr(1);
                     if (bits.size() != 8 || bits.find_first_not_of("01") != std::string::npos)
                         return false;
                     settings.memorySwitches[static_cast<std::size_t>(number - 1)] = bits;
                     return true;
                 }});
        }
        for (CustomizedValue& value : settings.customized) {
            const std::string name = "GS ( E 6: " + std::to_string(value.number);
            if (!readSetting(entered, name)) continue;
            ask({name, settingRequest(6, byte(value.number)), AnswerShape::SettingFrame,
                 customizedId, [&value](const std::string& answer) {
                     const std::size_t split = answer.find(separator);
                     if (split == std::string::npos ||
                         digits(std::string_view(answer).substr(1, split - 1), 3) !=
                             static_cast<std::uint64_t>(value.number))
                         return false;
                     const auto read = digits(std::string_view(answer).substr(split + 1), 5);
                     if (read) value.value = static_cast<int>(*read);
                     return read.has_value();
                 }});
        }
        if (entered != AnswerQuery::Outcome::NotAsked) query_.tell(settingRequest(2, "OUT"));
    }

    QueryTrace finish() { return query_.finish(info_.answered); }

private:
    const Question& keep(Question question) { return questions_.emplace_back(std::move(question)); }

    // Asks within the query's bounds; after a request that went unanswered, makes sure it will
    // not be answered late, so that later answers can go to later requests.
    AnswerQuery::Outcome ask(Question question) {
        if (query_.ended(question.name)) return AnswerQuery::Outcome::NotAsked;
        const AnswerQuery::Outcome outcome = query_.ask(keep(std::move(question)), true);
        if (outcome == AnswerQuery::Outcome::Unanswered) query_.settle(barrier_);
        return outcome;
    }

    // Settings are read only in the user setting mode; not entered, they are not asked.
    bool readSetting(AnswerQuery::Outcome entered, const std::string& name) {
        if (entered == AnswerQuery::Outcome::Answered) return true;
        if (entered == AnswerQuery::Outcome::NotAsked)
            info_.unanswered.push_back(name);
        else
            info_.notAsked.push_back(name);
        return false;
    }

    AnswerQuery query_;
    PrinterInfo& info_;
    std::deque<Question> questions_;
    // GS I 1 asked again, its answer not kept: answered in order, it tells that what was asked
    // before it and is still unanswered will stay so.
    const Question barrier_{"GS I 1", identityRequest(1), AnswerShape::OneByteId, 0,
                            [](const std::string&) { return true; }};
};

// Opens the port two-way and runs `steps` on a readout, or nothing on a port that cannot
// answer.
template <typename Steps>
std::optional<PrinterInfo> readOut(JobHost& host, const std::string& portName, Steps steps) {
    PrinterPort port(host);
    if (!openToAsk(port, portName)) return std::nullopt;
    PrinterInfo info;
    Readout readout(host, port, info);
    if (readout.reachable()) steps(readout);
    // Settings not asked for want of the user setting mode come after what the query found.
    const std::vector<std::string> settingsUnanswered = std::move(info.unanswered);
    static_cast<QueryTrace&>(info) = readout.finish();
    port.close();
    info.unanswered.insert(info.unanswered.end(), settingsUnanswered.begin(),
                           settingsUnanswered.end());
    return info;
}

bool bit(std::string_view bits, int n) {
    return bits[static_cast<std::size_t>(8 - n)] == '1';
}

std::string joined(const std::vector<std::string>& parts, const char* between) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

}  // namespace

std::optional<PrinterInfo> askPrinterInfo(JobHost& host, const std::string& portName) {
    return readOut(host, portName, [](Readout& readout) {
        readout.identity();
        readout.counters();
        readout.settings();
    });
}

std::optional<std::vector<CounterReading>> askPrinterCounters(JobHost& host,
                                                              const std::string& portName) {
    const std::optional<PrinterInfo> info =
        readOut(host, portName, [](Readout& readout) { readout.counters(); });
    if (!info) return std::nullopt;
    if (!info->counters.empty()) return info->counters;
    std::vector<CounterReading> none;
    for (const int number : counterNumbers) none.push_back({number, std::nullopt});
    return none;
}

std::vector<std::string> memorySwitchMeanings(int number, std::string_view bits) {
    if (bits.size() != 8) return {};
    // Bit, meaning when off, meaning when on.
    struct Meaning {
        int bit;
        const char *off, *on;
    };
    static const Meaning switch1[] = {
        {1, "开机不发送通知", "开机发送通知(3B 31 00)"},
        {2, "接收缓冲区：大", "接收缓冲区：小(约45字节)"},
        {3, "忙(BUSY)：缓冲区满或脱机时", "忙(BUSY)：仅缓冲区满时"},
        {4, "接收出错的数据：印作“?”", "接收出错的数据：忽略"},
        {5, "CR：忽略", "CR：换行"},
        {7, "串口6脚复位：无效", "串口6脚复位：有效"},
        {8, "串口25脚复位：无效", "串口25脚复位：有效"},
    };
    static const Meaning switch2[] = {
        {3, "简体中文字符编码：GB18030", "简体中文字符编码：GB2312"},
    };
    std::vector<std::string> lines;
    auto describe = [&](const auto& meanings) {
        for (const Meaning& m : meanings)
            lines.push_back(std::to_string(number) + "-" + std::to_string(m.bit) + " " +
                            (bit(bits, m.bit) ? m.on : m.off));
    };
    if (number == 1) describe(switch1);
    if (number == 2) describe(switch2);
    return lines;
}

std::string customizedValueText(int number, int value) {
    const std::string raw = std::to_string(value);
    switch (number) {
        case 1: {
            static const char* const sizes[] = {"1 KB", "64 KB", "128 KB", "192 KB"};
            return value >= 1 && value <= 4 ? sizes[value - 1] : raw;
        }
        case 2:
            return value == 1                 ? "无"
                   : value >= 2 && value <= 7 ? std::to_string((value - 1) * 64) + " KB"
                                              : raw;
        case 3:
            return value == 2 ? "58 mm" : value == 6 ? "80 mm" : raw;
        case 5:
            if (value >= 0 && value <= 8) return std::to_string(100 + 5 * value) + "%";
            if (value >= 65530 && value <= 65535)
                return std::to_string(70 + 5 * (value - 65530)) + "%";
            return raw;
        case 6:
            return "级别" + raw;
        default:
            return raw;
    }
}

std::string counterText(int number, std::uint64_t value) {
    // The resettable counter's number, the cumulative one's, what they count and in what.
    static const struct {
        int resettable, cumulative;
        const char *name, *unit;
    } counters[] = {{20, 148, "走纸行数", "行"},
                    {21, 149, "打印头通电次数", "次"},
                    {50, 178, "切刀动作次数", "次"},
                    {70, 198, "运行时间", "小时"}};
    std::string name = "计数器" + std::to_string(number), unit;
    for (const auto& counter : counters) {
        if (number != counter.resettable && number != counter.cumulative) continue;
        name = std::string(counter.name) + (number == counter.resettable ? "(可清零)" : "(累计)");
        unit = std::string(" ") + counter.unit;
    }
    return name + "：" + std::to_string(value) + unit;
}

std::optional<CharacterRom> romNamed(std::string_view name) {
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper.find("GB18030") != std::string::npos) return CharacterRom::Gb18030;
    if (upper.find("GBK") != std::string::npos) return CharacterRom::Gbk;
    if (upper.find("GB2312") != std::string::npos) return CharacterRom::Gb2312;
    return std::nullopt;
}

std::string charsetPageText(CharacterRom rom) {
    switch (rom) {
        case CharacterRom::Gb2312:
            return "字符集页：GB2312字库印出符号区1-9区、一级汉字、二级汉字；GBK/3、GBK/4、GBK/5、"
                   "GB18030四字节(扩展A、扩展B)和欧元符号缺字(问号或空白)。";
        case CharacterRom::Gbk:
            return "字符集页：GBK字库印出符号区、一级和二级汉字、GBK/3、GBK/4、GBK/5；GB18030四字节"
                   "(扩展A、扩展B)和欧元符号A2E3缺字(问号或空白)。";
        case CharacterRom::Gb18030:
            return "字符集页：GB18030字库印出全部各行(扩展B需GB18030-2005字库)和欧元符号A2E3；"
                   "单字节80不是GB18030字符，缺字。";
    }
    return {};
}

std::optional<std::string> charsetVerdictConflict(const PrinterInfo& info,
                                                  std::string_view verdict) {
    if (!info.identity.characterRom) return std::nullopt;
    const std::optional<CharacterRom> rom = romNamed(*info.identity.characterRom);
    if (!rom) return std::nullopt;
    const std::string named = "打印机报告字库“" + shownName(*info.identity.characterRom) + "”";
    if (*rom == CharacterRom::Gb18030 && verdict == "异常")
        return named + "，应印出字符集页全部各行，但字符集页判为异常：字库与打印结果不符。";
    if (*rom == CharacterRom::Gb2312 && verdict == "正常")
        return named + "，GBK/3起各行应缺字，但字符集页判为正常：字库与打印结果不符。";
    return std::nullopt;
}

std::string infoBoxText(const PrinterInfo& info) {
    StatusFindings findings;
    PrinterAnswers& a = findings.answers;
    a.printer = info.printerStatus;
    a.modelId = info.identity.modelId;
    a.typeId = info.identity.typeId;
    a.romVersion = info.identity.romVersion;
    a.maker = info.identity.maker;
    a.model = info.identity.model;
    a.unrecognised = info.unrecognised;
    findings.unanswered = info.unanswered;
    findings.uncertain = info.uncertain;
    findings.notAskedUncertain = info.notAskedUncertain;
    findings.waited = info.waited;
    findings.hungUp = info.hungUp;
    findings.tooMuchData = info.tooMuchData;

    std::vector<std::string> more;
    const PrinterIdentity& id = info.identity;
    if (id.firmware) more.push_back("固件版本：" + shownName(*id.firmware));
    if (id.serial) more.push_back("序列号：" + shownName(*id.serial));
    if (id.characterRom) {
        more.push_back("字库：" + shownName(*id.characterRom));
        if (const auto rom = romNamed(*id.characterRom)) more.push_back(charsetPageText(*rom));
    }
    if (info.offline) {
        more.push_back(
            "打印机脱机：脱机时不处理查询(GS I、GS g 2、GS ( E)，未询问型号、计数器和设置。");
    }
    for (const CounterReading& counter : info.counters)
        if (counter.value) more.push_back(counterText(counter.number, *counter.value));
    for (std::size_t i = 0; i < info.settings.memorySwitches.size(); ++i) {
        const auto& bits = info.settings.memorySwitches[i];
        if (!bits) continue;
        const int number = static_cast<int>(i) + 1;
        std::string line = "存储开关" + std::to_string(number) + "：" + *bits;
        const std::vector<std::string> meanings = memorySwitchMeanings(number, *bits);
        if (!meanings.empty()) line += "(" + joined(meanings, "，") + ")";
        more.push_back(line);
    }
    static const std::pair<int, const char*> customizedNames[] = {{1, "NV用户存储容量"},
                                                                  {2, "NV图形存储容量"},
                                                                  {3, "纸宽"},
                                                                  {5, "打印浓度"},
                                                                  {6, "打印速度"}};
    for (const CustomizedValue& value : info.settings.customized) {
        if (!value.value) continue;
        const char* name = "自定义值";
        for (const auto& [number, named] : customizedNames)
            if (number == value.number) name = named;
        more.push_back(std::string(name) + "(GS ( E 6: " + std::to_string(value.number) + ")：" +
                       customizedValueText(value.number, *value.value));
    }
    if (info.settingModeEntered)
        more.push_back("已退出用户设置模式(GS ( E 2)，打印机已复位；未写入任何设置。");
    if (!info.notAsked.empty())
        more.push_back("未询问(前一项没有应答)：" + joined(info.notAsked, "、"));
    return joined(statusBoxLines(findings, more), "\n");
}

bool PrinterInfoJob(JobHost& host, std::string_view charsetVerdict,
                    std::optional<PrinterInfo>& kept) {
    return RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        host.pumpEvents();
        const std::string portName = host.portName();
        const std::optional<PrinterInfo> info = askPrinterInfo(host, portName);
        if (!info) {
            host.showInformation(infoTitle, cannotAnswerText(portName));
            return true;
        }
        kept = info;
        std::string text = infoBoxText(*info);
        if (const auto conflict = charsetVerdictConflict(*info, charsetVerdict))
            text += "\n" + *conflict;
        host.showInformation(infoTitle, text);
        return true;
    });
}
