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

// Short answer bounds, so that a silent printer costs a fraction of a second.
PortLimits quickAnswers() {
    PortLimits limits;
    limits.firstAnswer = 200ms;
    limits.laterAnswer = 100ms;
    limits.allAnswers = 1000ms;
    return limits;
}

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
        EXPECT_NE(query.box.find("未应答：DLE EOT 2"), std::string::npos) << query.box;
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
