#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "status_answers.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

// Answers are told apart from what the printer sends unasked by their fixed bits; a name frame
// is one answer, whatever its letters.
TEST(StatusAnswers, AreFoundAmongWhatThePrinterSendsUnasked) {
    struct Case {
        std::string received;
        std::optional<AnswerShape> shape;
        std::string answer;  // hex, or text for a text ID
        std::size_t used;
        std::string unrecognised;
    };
    const auto realTime = AnswerShape::RealTimeStatus, id = AnswerShape::OneByteId,
               text = AnswerShape::TextId, setting = AnswerShape::SettingFrame;
    // A name frame of `letters` A's, in hex; unended, without its 00.
    auto name = [](std::size_t letters, bool ended = true) {
        std::string hex = "5F";
        for (std::size_t i = 0; i < letters; ++i) hex += " 41";
        return ended ? hex + " 00" : hex;
    };
    const Case cases[] = {
        {"12", realTime, "12", 1, ""},
        {"11 13 16", realTime, "16", 3, ""},           // XON and XOFF pass
        {"10 00 40 00 12 7E", realTime, "12", 5, ""},  // an automatic status back frame
        {"10 00", std::nullopt, "", 0, ""},            // a frame still arriving
        {"7F 80 12", realTime, "12", 3, "7F 80"},
        {"", std::nullopt, "", 0, ""},
        {"20", id, "20", 1, ""},
        {"10 0F 0F 0F 41", id, "41", 5, ""},
        {"12 41", realTime, "12", 1, ""},
        {"5F 58 48 2D 38 00 20", text, "XH-8", 6, ""},
        {"11 5F 58 48", std::nullopt, "", 1, ""},  // the name still coming
        {"7F 5F 00", text, "", 3, "7F"},
        {"5F 41 42 00 12", text, "AB", 4, ""},
        {"5F 41", std::nullopt, "", 0, ""},
        // Too long for a name: passed over whole, up to its 00, its letters never status.
        {name(81) + " 12", realTime, "12", 84, name(81)},
        {name(120, false), std::nullopt, "", 0, ""},
        {name(80), text, std::string(80, 'A'), 82, ""},
        // Setting frames: 37, an identifier and printable data, 00; answer in hex.
        {"37 20 00 12", setting, "20", 3, ""},
        {"37 27 33 1F 36 00", setting, "27 33 1F 36", 6, ""},
        {"37 21 30 30", std::nullopt, "", 0, ""},         // still coming
        {"37 12", realTime, "12", 2, "37"},               // a 37 that starts no frame
        {"37 00 12", id, "00", 2, "37"},                  // nor an empty one: its 00 is an ID
        {"37 " + name(20).substr(3), id, "41", 2, "37"},  // nor one too long for a setting
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received.substr(0, 24));
        const AnswerScan scan = scanForAnswer(bytesFromHex(c.received));
        EXPECT_EQ(scan.shape, c.shape);
        EXPECT_EQ(scan.answer, c.shape == text || !c.shape ? c.answer : bytesFromHex(c.answer));
        EXPECT_EQ(scan.used, c.used);
        EXPECT_EQ(scan.unrecognised, bytesFromHex(c.unrecognised));
    }
}

// Each documented bit gives its line; what was not read gives none.
TEST(StatusAnswers, EachBitReadsAsItsLineAndNothingUnreadIsClaimed) {
    struct Case {
        const char* what;
        PrinterAnswers answers;
        std::vector<std::string> shown;
        std::vector<std::string> notShown;
    };
    const std::vector<Case> cases = {
        {"online",
         {.printer = 0x12},
         {"状态：联机", "钱箱信号(引脚3)：低"},
         {"上盖", "纸张", "错误"}},
        {"drawer high", {.printer = 0x16}, {"钱箱信号(引脚3)：高"}, {}},
        {"offline", {.printer = 0x1A}, {"状态：脱机"}, {"等待"}},
        {"waiting for recovery", {.printer = 0x3A}, {"脱机，等待恢复联机"}, {}},
        {"feed button", {.printer = 0x52}, {"进纸键按下"}, {}},
        {"cover open", {.printer = 0x12, .offlineCause = 0x16}, {"上盖：打开"}, {"纸张"}},
        {"cover closed", {.printer = 0x12, .offlineCause = 0x12}, {"上盖：关闭"}, {"错误"}},
        {"feeding", {.printer = 0x12, .offlineCause = 0x1A}, {"进纸键：正在进纸"}, {}},
        {"stopped at paper end", {.printer = 0x12, .offlineCause = 0x32}, {"纸张：用完"}, {}},
        {"error, cause unread",
         {.printer = 0x12, .offlineCause = 0x52},
         {"错误：有(原因未读到)"},
         {}},
        {"no error", {.printer = 0x12, .errorCause = 0x12}, {"错误：无"}, {}},
        {"recoverable", {.printer = 0x12, .errorCause = 0x16}, {"错误：可恢复错误"}, {}},
        {"cutter", {.printer = 0x12, .errorCause = 0x1A}, {"错误：切刀错误"}, {}},
        {"unrecoverable", {.printer = 0x12, .errorCause = 0x32}, {"错误：不可恢复错误"}, {}},
        {"head overheat",
         {.printer = 0x12, .errorCause = 0x52},
         {"可自动恢复错误(如打印头过热)"},
         {}},
        {"paper fine", {.printer = 0x12, .paperSensor = 0x12}, {"纸张：正常"}, {}},
        {"paper near end", {.printer = 0x12, .paperSensor = 0x1E}, {"纸张：将尽"}, {}},
        {"paper end", {.printer = 0x12, .paperSensor = 0x72}, {"纸张：用完"}, {}},
        {"identity",
         {.printer = 0x12,
          .modelId = 0x20,
          .typeId = 0x03,
          .romVersion = 0x41,
          .maker = "XIHE",
          .model = "XH-80C"},
         {"型号ID：20H", "类型ID：03H(双字节字符：支持，自动切刀：有)", "ROM版本ID：41H",
          "制造商：XIHE", "型号：XH-80C"},
         {}},
        {"type without cutter",
         {.printer = 0x12, .typeId = 0x00},
         {"双字节字符：不支持，自动切刀：无"},
         {}},
        {"name not text", {.printer = 0x12, .model = "\x01\xFF"}, {"型号：01 FF"}, {}},
        {"name in GBK",
         {.printer = 0x12, .maker = "\xBC\xD1\xB2\xA9", .model = "GP-80 \xB2\xE2\xCA\xD4"},
         {"制造商：佳博", "型号：GP-80 测试"},
         {}},
        {"name partly GBK", {.printer = 0x12, .model = "AB\xFF\x01"}, {"型号：AB[FF 01]"}, {}},
        {"garbage", {.printer = 0x12, .unrecognised = "\x7F\x80"}, {"无法识别的应答：7F 80"}, {}},
        {"no answer",
         {},
         {"打印机没有应答：已发送 DLE EOT 1 (10 04 01)，等待0.5秒", "请检查："},
         {"状态："}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = statusBoxText({.answers = c.answers}, 500ms);
        for (const std::string& line : c.shown)
            EXPECT_NE(text.find(line), std::string::npos) << text;
        for (const std::string& line : c.notShown)
            EXPECT_EQ(text.find(line), std::string::npos) << text;
    }
}

// The port's own status lines, read where answers are not, and what ended a query early.
TEST(StatusAnswers, PortLinesAndAnEarlyEndAreTold) {
    StatusFindings findings{
        .portLines = 0x38, .unanswered = {"GS I 66", "GS I 67"}, .hungUp = true};
    std::string text = statusBoxText(findings, 500ms);
    for (const char* line : {"打印机没有应答", "端口状态线：纸张缺，已选中，无错误",
                             "未应答：GS I 66、GS I 67", "断开了连接"})
        EXPECT_NE(text.find(line), std::string::npos) << text;
    findings = {.answers = {.printer = 0x12}, .portLines = 0x10, .tooMuchData = true};
    text = statusBoxText(findings, 500ms);
    EXPECT_NE(text.find("端口状态线：纸张有，已选中，有错误"), std::string::npos) << text;
    EXPECT_NE(text.find("数据过多"), std::string::npos) << text;
    EXPECT_EQ(text.find("请检查"), std::string::npos) << text;
}

}  // namespace
