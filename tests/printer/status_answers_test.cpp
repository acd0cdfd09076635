#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "status_answers.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

// Answers are told apart from what the printer sends unasked by their fixed bits.
TEST(StatusAnswers, AreFoundAmongWhatThePrinterSendsUnasked) {
    struct Case {
        const char* received;
        AnswerShape shape;
        std::optional<std::string> answer;  // hex, or text for a text ID
        std::size_t used;
        const char* unrecognised;
    };
    const auto realTime = AnswerShape::RealTimeStatus, id = AnswerShape::OneByteId,
               text = AnswerShape::TextId;
    const Case cases[] = {
        {"12", realTime, "12", 1, ""},
        {"11 13 16", realTime, "16", 3, ""},           // XON and XOFF pass
        {"10 00 40 00 12 7E", realTime, "12", 5, ""},  // an automatic status back frame
        {"10 00", realTime, std::nullopt, 0, ""},      // a frame still arriving
        {"7F 80 12", realTime, "12", 3, "7F 80"},
        {"", realTime, std::nullopt, 0, ""},
        {"20", id, "20", 1, ""},
        {"12 10 0F 0F 0F 41", id, "41", 6, "12"},  // a late status is no ID
        {"5F 58 48 2D 38 00 20", text, "XH-8", 6, ""},
        {"11 5F 58 48", text, std::nullopt, 1, ""},  // the name still coming
        {"20 5F 00", text, "", 3, "20"},
        {"5F 41 42 00 12", realTime, "12", 5, ""},  // a late name, letters and all, passes
        {"5F 41 00 5F 58 00", id, std::nullopt, 6, ""},
        {"5F 41", realTime, std::nullopt, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received);
        const std::string received = bytesFromHex(c.received);
        const AnswerScan scan = scanForAnswer(received, c.shape);
        const std::optional<std::string> expected =
            !c.answer || c.shape == text ? c.answer : bytesFromHex(*c.answer);
        EXPECT_EQ(scan.answer, expected);
        EXPECT_EQ(scan.used, c.used);
        EXPECT_EQ(scan.unrecognised, bytesFromHex(c.unrecognised));
    }
    // A header with no end in sight is no name.
    const std::string endless = "\x5F" + std::string(100, 'A');
    const AnswerScan scan = scanForAnswer(endless, AnswerShape::TextId);
    EXPECT_FALSE(scan.answer);
    EXPECT_EQ(scan.unrecognised.substr(0, 2),
              "\x5F"
              "A");
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
