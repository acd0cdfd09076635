#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "answering_printer.h"
#include "fake_host.h"
#include "printer_status.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Query {
    std::string box;
    std::string sent;
    Clock::duration took;
};

Query ask(AnsweringPrinter::Line line, const AnsweringPrinter::Script& script) {
    AnsweringPrinter printer(line, script);
    FakeHost host;
    host.port = printer.portName();
    host.limits = quickAnswers();
    const auto start = Clock::now();
    EXPECT_TRUE(PrinterStatusJob(host));
    const auto took = Clock::now() - start;
    EXPECT_EQ(host.boxes.size(), 1u);
    if (host.boxes.empty()) return {};
    EXPECT_FALSE(host.boxes[0].critical) << host.boxes[0].text;
    EXPECT_EQ(host.boxes[0].title, "打印机状态");
    return {host.boxes[0].text, printer.received(), took};
}

// The printer's answers for each state it can be in, over a serial line and over the network.
TEST(PrinterStatusJob, ShowsWhatThePrinterAnswersInEachState) {
    struct Case {
        const char* what;
        AnsweringPrinter::Script script;
        std::vector<std::string> shown;
    };
    AnsweringPrinter::Script noisy = answersFor({});
    // XOFF, an automatic status back frame, XON.
    noisy.beforeEachAnswer = std::string("\x13\x10\x00\x40\x00\x11", 6);
    AnsweringPrinter::Script nameless = answersFor({});
    nameless.answers.erase("\x1D\x49\x42");
    nameless.answers.erase("\x1D\x49\x43");
    const std::vector<Case> cases = {
        {"online",
         answersFor({}),
         {"状态：联机", "上盖：关闭", "纸张：正常", "钱箱信号(引脚3)：低", "错误：无",
          "型号ID：20H", "类型ID：03H", "ROM版本ID：41H", "制造商：XIHE", "型号：XH-80C"}},
        {"offline, cover open",
         answersFor({.offline = true, .coverOpen = true}),
         {"状态：脱机", "上盖：打开"}},
        {"paper near end", answersFor({.paperNearEnd = true}), {"纸张：将尽"}},
        {"paper end", answersFor({.offline = true, .paperEnd = true}), {"纸张：用完"}},
        {"drawer high", answersFor({.drawerHigh = true}), {"钱箱信号(引脚3)：高"}},
        {"cutter error", answersFor({.offline = true, .cutterError = true}), {"错误：切刀错误"}},
        {"unasked bytes between answers", noisy, {"状态：联机", "型号：XH-80C"}},
        {"no names", nameless, {"型号ID：20H", "未应答：GS I 66、GS I 67"}},
    };
    for (const auto line : {AnsweringPrinter::Line::PseudoTerminal, AnsweringPrinter::Line::Tcp}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) +
                         (line == AnsweringPrinter::Line::Tcp ? ", TCP" : ", pty"));
            const Query query = ask(line, c.script);
            for (const std::string& shown : c.shown)
                EXPECT_NE(query.box.find(shown), std::string::npos) << query.box;
            EXPECT_EQ(query.box.find("无法识别"), std::string::npos) << query.box;
            // An offline printer is not asked for its IDs.
            const std::string realTime = "10 04 01 10 04 02 10 04 03 10 04 04";
            const std::string ids = " 1D 49 01 1D 49 02 1D 49 03 1D 49 42 1D 49 43";
            const bool offline = query.box.find("状态：脱机") != std::string::npos;
            EXPECT_EQ(query.sent, bytesFromHex(offline ? realTime : realTime + ids));
        }
    }
}

// A printer that says nothing, says nonsense, says too much or hangs up: the box tells which,
// within the query's bounds.
TEST(PrinterStatusJob, TellsASilentAGarbledAFloodingAndAVanishingPrinterApart) {
    AnsweringPrinter::Script garbled = answersFor({});
    garbled.answers["\x10\x04\x02"] = "\xFF";
    AnsweringPrinter::Script hangingUp = answersFor({.coverOpen = true});
    hangingUp.hangUpAfter = 7;  // in the middle of the maker's name
    AnsweringPrinter::Script flooding;
    flooding.flood = true;
    for (const auto line : {AnsweringPrinter::Line::PseudoTerminal, AnsweringPrinter::Line::Tcp}) {
        SCOPED_TRACE(line == AnsweringPrinter::Line::Tcp ? "TCP" : "pty");
        Query query = ask(line, {});
        EXPECT_NE(query.box.find("打印机没有应答"), std::string::npos) << query.box;
        EXPECT_NE(query.box.find("0.2秒"), std::string::npos) << query.box;
        EXPECT_EQ(query.sent, bytesFromHex("10 04 01"));
        EXPECT_GE(query.took, 200ms);
        EXPECT_LT(query.took, 600ms);

        query = ask(line, garbled);
        EXPECT_NE(query.box.find("无法识别的应答：FF"), std::string::npos) << query.box;
        // DLE EOT 3's answer may be DLE EOT 2's, late: neither is credited.
        EXPECT_NE(query.box.find("无法确定属于哪个请求(DLE EOT 2、DLE EOT 3)：12"),
                  std::string::npos)
            << query.box;
        EXPECT_EQ(query.box.find("错误："), std::string::npos) << query.box;
        EXPECT_NE(query.box.find("型号：XH-80C"), std::string::npos) << query.box;

        query = ask(line, hangingUp);
        EXPECT_NE(query.box.find("上盖：打开"), std::string::npos) << query.box;
        EXPECT_NE(query.box.find("断开了连接"), std::string::npos) << query.box;
        EXPECT_EQ(query.box.find("制造商"), std::string::npos) << query.box;

        query = ask(line, flooding);
        EXPECT_NE(query.box.find("数据过多"), std::string::npos) << query.box;
        EXPECT_LT(query.took, quickAnswers().allAnswers + 500ms);
    }
}

// Each answer goes to the request it answers or to none: a late answer is never taken for a
// later request's, nor is a name's letters or a byte nobody asked for.
TEST(PrinterStatusJob, CreditsNoAnswerToARequestItMayNotAnswer) {
    struct Case {
        const char* what;
        AnsweringPrinter::Script script;
        std::vector<std::string> shown, notShown;
        bool tcpOnly = false;  // a pseudo-terminal drops what it holds when its printer hangs up
    };
    // Slower than the bounds after its first answer (0.2 s, then 0.1 s each).
    auto slow = [](AnsweringPrinter::Script script) {
        script.firstDelay = 50ms;
        script.laterDelay = 150ms;
        return script;
    };
    const std::string letters(120, 'r');  // 72H reads as a real-time status
    AnsweringPrinter::Script unended = answersFor({});
    unended.answers["\x10\x04\x01"] = "\x5F" + letters;
    AnsweringPrinter::Script longName = answersFor({});
    longName.answers["\x10\x04\x01"] = "\x5F" + letters + std::string(1, '\0') + "\x12";
    longName.pieceBytes = 50;
    AnsweringPrinter::Script twice = answersFor({});
    twice.answers["\x10\x04\x01"] = "\x12\x12\x12";
    twice.hangUpAfter = 0;  // after "12 12"
    AnsweringPrinter::Script gbk = answersFor({});
    gbk.answers["\x1D\x49\x42"] = std::string("\x5F\xBC\xD1\xB2\xA9\x00", 6);
    AnsweringPrinter::Script gone;
    gone.answers["\x10\x04\x01"] = "";
    gone.hangUpAfter = 0;
    const std::vector<Case> cases = {
        {"slow, offline, cover open",
         slow(answersFor({.offline = true, .coverOpen = true})),
         {"状态：脱机", "无法确定属于哪个请求(DLE EOT 2、DLE EOT 3)：16",
          "应答次序无法确定，未询问：DLE EOT 4"},
         {"可恢复错误", "上盖："}},
        {"slow, healthy",
         slow(answersFor({})),
         {"状态：联机", "无法确定属于哪个请求(DLE EOT 2、", "无法确定属于哪个请求(GS I 1、"},
         {"ROM版本ID", "型号ID", "错误："}},
        {"unended name", unended, {"无法识别的应答：5F 72 72"}, {"状态：", "进纸键"}},
        {"long name in pieces",
         longName,
         {"状态：联机", "无法识别的应答：5F 72 72"},
         {"进纸键", "纸张：用完", "可自动恢复错误"}},
        {"hang-up after 12 12",
         twice,
         {"状态：联机", "无法识别的应答：12", "断开了连接"},
         {"上盖："},
         true},
        {"name in GBK", gbk, {"制造商：佳博"}, {}},
        {"hang-up at once", gone, {"等待不到0.1秒", "断开了连接"}, {}},
    };
    for (const auto line : {AnsweringPrinter::Line::PseudoTerminal, AnsweringPrinter::Line::Tcp}) {
        for (const Case& c : cases) {
            if (c.tcpOnly && line != AnsweringPrinter::Line::Tcp) continue;
            if (c.tcpOnly && line != AnsweringPrinter::Line::Tcp) continue;
            SCOPED_TRACE(std::string(c.what) +
                         (line == AnsweringPrinter::Line::Tcp ? ", TCP" : ", pty"));
            const Query query = ask(line, c.script);
            for (const std::string& shown : c.shown)
                EXPECT_NE(query.box.find(shown), std::string::npos) << query.box;
            for (const std::string& notShown : c.notShown)
                EXPECT_EQ(query.box.find(notShown), std::string::npos) << query.box;
        }
    }
}

// A file or a pipe has nobody to answer: the box says so and nothing is written to it.
TEST(PrinterStatusJob, WritesNothingToAFileOrAPipe) {
    TempDir dir;
    const std::string file = dir.path("capture.bin"), pipe = dir.path("pipe");
    writeFile(file, "kept");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& port : {file, pipe}) {
        FakeHost host;
        host.port = port;
        EXPECT_TRUE(PrinterStatusJob(host));
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_FALSE(host.boxes[0].critical);
        EXPECT_NE(host.boxes[0].text.find("不能应答"), std::string::npos) << host.boxes[0].text;
    }
    EXPECT_EQ(readFile(file), "kept");
}

}  // namespace
