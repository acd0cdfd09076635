#include "printer_info.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "answering_printer.h"
#include "fake_host.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;
using Line = AnsweringPrinter::Line;

struct Readout {
    std::optional<PrinterInfo> info;
    std::string box, sent;
};

Readout readOut(Line line, const AnsweringPrinter::Script& script, std::string verdict = "未测") {
    AnsweringPrinter printer(line, script);
    FakeHost host;
    host.port = printer.portName();
    host.limits = quickAnswers();
    Readout readout;
    EXPECT_TRUE(PrinterInfoJob(host, verdict, readout.info));
    EXPECT_EQ(host.boxes.size(), 1u);
    if (!host.boxes.empty()) {
        EXPECT_EQ(host.boxes[0].title, "打印机信息");
        readout.box = host.boxes[0].text;
    }
    // The last request, which has no answer, may still be on its way to the printer.
    readout.sent = printer.received();
    for (int quiet = 0; quiet < 3;) {
        std::this_thread::sleep_for(10ms);
        const std::string now = printer.received();
        quiet = now == readout.sent ? quiet + 1 : 0;
        readout.sent = now;
    }
    return readout;
}

const std::string enter = bytesFromHex("1D 28 45 03 00 01 49 4E");
const std::string leave = bytesFromHex("1D 28 45 04 00 02 4F 55 54");

std::string identityRequests() {
    std::string sent;
    for (const int n : {1, 2, 3, 65, 66, 67, 68, 69}) sent += "\x1D\x49" + std::string(1, char(n));
    return sent;
}
std::string counterRequests() {
    std::string sent;
    for (const int n : counterNumbers) sent += counterRequest(n);
    return sent;
}
std::string settingRequests() {
    std::string sent = enter;
    for (int n = 1; n <= 8; ++n) sent += settingRequest(4, n);
    for (const int n : customizedNumbers) sent += settingRequest(6, n);
    return sent + leave;
}

// A printer that answers everything, as the reference gives it: every readout decoded, and only
// the read-only requests sent, the user setting mode left at the end.
TEST(PrinterInfo, ReadsIdentitySettingsAndCountersOfAnAnsweringPrinter) {
    for (const Line line : {Line::PseudoTerminal, Line::Tcp}) {
        SCOPED_TRACE(line == Line::Tcp ? "TCP" : "pty");
        const Readout r = readOut(line, readoutAnswersFor({}));
        ASSERT_TRUE(r.info);
        EXPECT_EQ(r.sent,
                  "\x10\x04\x01" + identityRequests() + counterRequests() + settingRequests());
        const PrinterInfo& info = *r.info;
        EXPECT_EQ(info.identity.firmware, "1.05 ESC/POS");
        EXPECT_EQ(info.identity.serial, "XH2026120801");
        EXPECT_EQ(info.identity.characterRom, "CHINA GB18030");
        EXPECT_EQ(info.settings.memorySwitches[0], "00000001");
        EXPECT_EQ(info.settings.memorySwitches[7], "10000000");
        ASSERT_EQ(info.counters.size(), 8u);
        EXPECT_EQ(info.counters[5].value, 4567890123u);
        EXPECT_TRUE(info.unanswered.empty() && info.notAsked.empty() && info.unrecognised.empty())
            << r.box;
        for (const char* shown :
             {"状态：联机", "型号：XH-80C", "固件版本：1.05 ESC/POS", "序列号：XH2026120801",
              "字库：CHINA GB18030", "GB18030字库印出全部各行", "走纸行数(可清零)：1234 行",
              "运行时间(累计)：1200 小时", "存储开关1：00000001(1-1 开机发送通知(3B 31 00)",
              "2-3 简体中文字符编码：GB18030", "存储开关8：10000000", "纸宽(GS ( E 6: 3)：80 mm",
              "打印浓度(GS ( E 6: 5)：90%", "打印速度(GS ( E 6: 6)：级别9", "已退出用户设置模式"})
            EXPECT_NE(r.box.find(shown), std::string::npos) << shown << "\n" << r.box;
    }
}

// A printer that answers only some requests gets the rest named, never guessed; one that
// answers nothing, floods or is offline is told as such, within the bounds.
TEST(PrinterInfo, NamesWhatWentUnansweredAndNeverGuesses) {
    AnsweringPrinter::Script noSettings = readoutAnswersFor({});
    noSettings.answers.erase(enter);
    AnsweringPrinter::Script noSerial = readoutAnswersFor({});
    noSerial.answers.erase("\x1D\x49\x44");
    noSerial.answers.erase(counterRequest(21));
    AnsweringPrinter::Script noCounters = readoutAnswersFor({});
    for (const int n : counterNumbers) noCounters.answers.erase(counterRequest(n));
    AnsweringPrinter::Script wrongNumber = readoutAnswersFor({});
    wrongNumber.answers[settingRequest(6, 3)] = std::string(
                                                    "\x37\x27"
                                                    "5\x1F"
                                                    "6",
                                                    5) +
                                                '\0';
    AnsweringPrinter::Script flood;
    flood.flood = true;
    const struct {
        const char* what;
        AnsweringPrinter::Script script;
        std::vector<std::string> shown, notShown;
        std::string sent;  // empty: not checked
    } cases[] = {
        {"no user setting mode",
         noSettings,
         {"走纸行数(可清零)：1234", "未应答：GS ( E 1",
          "未询问(前一项没有应答)：GS ( E 4: switch 1"},
         {"存储开关", "纸宽", "已退出用户设置模式"},
         "\x10\x04\x01" + identityRequests() + counterRequests() + enter + leave},
        // Counters still credited after the serial number went unanswered: GS I 1 asked again
        // tells that its answer will not come.
        {"no serial number, no counter 21",
         noSerial,
         {"字库：CHINA GB18030", "走纸行数(可清零)：1234", "打印头通电次数(累计)：4567890123",
          "未应答：GS I 68、GS g 2 21"},
         {"序列号", "无法确定", "打印头通电次数(可清零)"},
         ""},
        {"no counters",
         noCounters,
         {"未应答：GS g 2 20", "未询问(前一项没有应答)：GS g 2 21", "存储开关1"},
         {"可清零"},
         ""},
        {"customized value of another number",
         wrongNumber,
         {"未应答：GS ( E 6: 3", "无法识别的应答：27 35 1F 36", "打印浓度"},
         {"纸宽"},
         ""},
        {"silent", {}, {"打印机没有应答", "请检查"}, {"型号"}, "\x10\x04\x01"},
        {"offline",
         readoutAnswersFor({.offline = true, .coverOpen = true}),
         {"状态：脱机", "未询问型号、计数器和设置"},
         {"型号：", "字库"},
         "\x10\x04\x01"},
        {"flooding", flood, {"数据过多"}, {"型号："}, ""},
    };
    for (const Line line : {Line::PseudoTerminal, Line::Tcp}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (line == Line::Tcp ? ", TCP" : ", pty"));
            const auto start = std::chrono::steady_clock::now();
            const Readout r = readOut(line, c.script);
            EXPECT_LT(std::chrono::steady_clock::now() - start, quickAnswers().allAnswers + 500ms);
            for (const std::string& shown : c.shown)
                EXPECT_NE(r.box.find(shown), std::string::npos) << shown << "\n" << r.box;
            for (const std::string& notShown : c.notShown)
                EXPECT_EQ(r.box.find(notShown), std::string::npos) << notShown << "\n" << r.box;
            if (!c.sent.empty()) {
                // Between the requests: GS I 1 asked again after each unanswered one.
                std::string sent = r.sent, barrier = "\x1D\x49\x01";
                for (std::size_t at; (at = sent.find(barrier, 4 + 3)) != std::string::npos;)
                    sent.erase(at, barrier.size());
                EXPECT_EQ(sent, c.sent);
            }
            // Whatever was answered, nothing that writes a setting was sent.
            for (const int function : {3, 5})
                EXPECT_EQ(r.sent.find(std::string("\x1D\x28\x45", 3) + "\x02\x00" +
                                      std::string(1, char(function))),
                          std::string::npos);
        }
    }
}

// A file or a pipe cannot answer: said so, nothing written; nor are the counters read there.
TEST(PrinterInfo, WritesNothingToAFileOrAPipe) {
    TempDir dir;
    const std::string file = dir.path("capture.bin"), pipe = dir.path("pipe");
    writeFile(file, "kept");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& port : {file, pipe}) {
        SCOPED_TRACE(port);
        FakeHost host;
        host.port = port;
        std::optional<PrinterInfo> kept;
        EXPECT_TRUE(PrinterInfoJob(host, "异常", kept) && !kept && host.boxes.size() == 1 &&
                    host.boxes[0].text.find("不能应答") != std::string::npos);
        EXPECT_FALSE(askPrinterCounters(host, port) || askPrinterInfo(host, port));
    }
    EXPECT_EQ(readFile(file), "kept");
}

TEST(PrinterInfo, CountersAloneAreReadForABurnIn) {
    AnsweringPrinter printer(Line::PseudoTerminal, readoutAnswersFor({}));
    FakeHost host;
    host.limits = quickAnswers();
    const auto counters = askPrinterCounters(host, printer.portName());
    ASSERT_TRUE(counters);
    ASSERT_EQ(counters->size(), counterNumbers.size());
    EXPECT_EQ((*counters)[0].number, 20);
    EXPECT_EQ((*counters)[0].value, 1234u);
    EXPECT_EQ(printer.received(), "\x10\x04\x01" + counterRequests());
}

// The decoding tables, where the reference defines the values; raw elsewhere.
TEST(PrinterInfo, DecodesSettingsWhereTheReferenceDefinesThem) {
    const struct {
        int number, value;
        const char* shown;
    } values[] = {
        {1, 2, "64 KB"},   {2, 1, "无"},    {2, 7, "384 KB"}, {3, 2, "58 mm"},
        {3, 6, "80 mm"},   {3, 4, "4"},     {5, 0, "100%"},   {5, 8, "140%"},
        {5, 65530, "70%"}, {5, 100, "100"}, {6, 3, "级别3"},  {97, 4, "4"},
    };
    for (const auto& v : values)
        EXPECT_EQ(customizedValueText(v.number, v.value), v.shown) << v.number << "=" << v.value;

    // Bit 8 comes first: "00000010" is bit 2.
    const std::vector<std::string> one = memorySwitchMeanings(1, "00000010");
    ASSERT_EQ(one.size(), 7u);
    EXPECT_EQ(one[0], "1-1 开机不发送通知");
    EXPECT_EQ(one[1], "1-2 接收缓冲区：小(约45字节)");
    EXPECT_EQ(memorySwitchMeanings(2, "00000100"),
              std::vector<std::string>{"2-3 简体中文字符编码：GB2312"});
    EXPECT_TRUE(memorySwitchMeanings(5, "11111111").empty());

    EXPECT_EQ(counterText(50, 7), "切刀动作次数(可清零)：7 次");
    EXPECT_EQ(counterText(178, 7), "切刀动作次数(累计)：7 次");
}

// The ROM the printer names and the technician's verdict on the charset page.
TEST(PrinterInfo, TellsWhenTheCharsetVerdictContradictsTheRom) {
    const struct {
        const char* rom;
        const char* verdict;
        bool conflict;
    } cases[] = {
        {"CHINA GB18030", "异常", true},  {"CHINA GB18030", "正常", false},
        {"CHINA GB2312", "正常", true},   {"CHINA GB2312", "异常", false},
        {"china gbk", "异常", false},     {"CHINA GB18030", "未测", false},
        {"KOREA KSC5601", "异常", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rom) + " " + c.verdict);
        PrinterInfo info;
        info.identity.characterRom = c.rom;
        EXPECT_EQ(charsetVerdictConflict(info, c.verdict).has_value(), c.conflict);
    }
    EXPECT_EQ(romNamed("china gbk"), CharacterRom::Gbk);
    EXPECT_NE(charsetPageText(CharacterRom::Gb2312).find("GBK/3、GBK/4、GBK/5"), std::string::npos);
    EXPECT_FALSE(charsetVerdictConflict(PrinterInfo{}, "异常"));

    const Readout r = readOut(Line::PseudoTerminal, readoutAnswersFor({}), "异常");
    EXPECT_NE(r.box.find("字库与打印结果不符"), std::string::npos) << r.box;
}

}  // namespace
