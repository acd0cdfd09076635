#include "burn_in.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "answering_printer.h"
#include "child_program.h"
#include "command_line.h"
#include "fake_host.h"
#include "loopback_printer.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

int count(const std::string& text, const std::string& what) {
    int found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
    return found;
}

FakeHost hostFor(const std::string& port) {
    FakeHost host;
    host.limits = quickAnswers();
    host.port = port;
    return host;
}

// A fault set on the printer after round 2 ends the run there, named, and nothing more is
// written: every round's receipt, cut and pulse is on the virtual printer's paper.
TEST(BurnIn, AFaultSetHalfwayEndsTheRunInThatRound) {
    TempDir dir;
    ChildProgram printer(VIRTUAL_PRINTER, {"--pty", "--out", dir.path("out")});
    std::string all = printer.line(5s) + '\n';
    FakeHost host = hostFor(all.substr(6, all.size() - 7));
    auto awaitLine = [&](const std::string& wanted) {
        for (std::string line; (line = printer.line(5s)) != "(nothing)";) {
            all += line + '\n';
            if (line == wanted) return;
        }
    };
    BurnInProgress last;
    const BurnInResult result = runBurnIn(host, 4, [&](const BurnInProgress& progress) {
        last = progress;
        if (progress.round == 2) {
            EXPECT_TRUE(printer.input("set paper-end\n"));
            awaitLine("event: paper-end set");
        }
        return true;
    });
    EXPECT_EQ(result.fault, "纸用完");
    EXPECT_EQ(result.faultRound, 2);
    EXPECT_EQ(result.roundsDone, 1);
    EXPECT_EQ(result.receipts + result.cuts + result.pulses, 2 * 3);
    EXPECT_EQ(last.round, 2);
    EXPECT_EQ(last.lastStatus, "正常");
    EXPECT_TRUE(host.boxes.empty());

    // With the paper back, whatever the printer still held comes out.
    ASSERT_TRUE(printer.input("clear paper-end\n"));
    awaitLine("event: paper-end cleared");
    EXPECT_EQ(printer.stop(), 0);
    awaitLine("(none)");
    EXPECT_EQ(count(all, dir.path("out/receipt-")), 2) << all;
    EXPECT_EQ(count(all, "cut partial\n"), 2) << all;
    EXPECT_EQ(count(all, "drawer pin 2 on 256 ms off 256 ms"), 2) << all;
    for (const char* lost : {"unknown", "truncated", "without a line feed"})
        EXPECT_EQ(all.find(lost), std::string::npos) << lost << '\n' << all;
}

// What the status query finds wrong before the first round ends the run with nothing printed.
TEST(BurnIn, AStatusFaultEndsTheRunBeforeItPrints) {
    const struct {
        PrinterCondition state;
        const char* fault;
    } cases[] = {
        {{.offline = true}, "脱机"},         {{.offline = true, .coverOpen = true}, "上盖打开"},
        {{.paperNearEnd = true}, "纸将尽"},  {{.paperEnd = true}, "纸用完"},
        {{.cutterError = true}, "切刀错误"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        AnsweringPrinter printer(AnsweringPrinter::Line::PseudoTerminal, answersFor(c.state));
        FakeHost host = hostFor(printer.portName());
        const BurnInResult result = runBurnIn(host, 3, nullptr);
        EXPECT_EQ(result.fault, c.fault);
        EXPECT_EQ(result.faultRound, 1);
        EXPECT_EQ(printer.received().find("\x1B\x40"), std::string::npos);
    }
}

// A port that fails between rounds ends the run in the round it failed, with the job's own
// failure text and no box.
TEST(BurnIn, APortThatFailsMidRunEndsItInThatRound) {
    TempDir dir;
    auto network = std::make_unique<LoopbackPrinter>();
    const std::string file = dir.path("printer.bin");
    writeFile(file, "");
    const struct {
        std::string port;
        std::function<void()> fail;
        const char* named;
    } cases[] = {
        {network->address(), [&] { network.reset(); }, "127.0.0.1"},
        {file, [&] { std::filesystem::remove(file); }, "No such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        FakeHost host = hostFor(c.port);
        const BurnInResult result = runBurnIn(host, 5, [&](const BurnInProgress& progress) {
            if (progress.round == 2) c.fail();
            return true;
        });
        EXPECT_NE(result.fault.value_or("").find(c.named), std::string::npos);
        EXPECT_EQ(result.faultRound, 3);
        EXPECT_EQ(result.roundsDone, 2);
        EXPECT_EQ(result.receipts, 2);
        EXPECT_TRUE(host.boxes.empty());
    }
}

TEST(BurnIn, SummaryTellsTimesAndCounters) {
    BurnInResult result;
    result.rounds = result.roundsDone = result.receipts = result.cuts = result.pulses = 4;
    result.roundTimes = {700ms, 600ms, 900ms, 650ms};
    result.countersBefore = {{50, 10}, {178, 1000}, {70, std::nullopt}};
    result.countersAfter = {{50, 14}, {178, 1004}, {70, 3}};
    const std::string text = burnInSummaryText(result);
    for (const char* shown :
         {"4/4 轮通过；合格", "最短 0.60 s，中位 0.68 s，最长 0.90 s",
          "切刀次数(50，可清零)：10 → 14，+4", "切刀次数(178，累计)：1000 → 1004，+4",
          "工作小时(70，可清零)：未读到 → 3，—"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << '\n' << text;
}

// --burn-in N: a line a round and the summary, exit 0 when every round passed and 1 when not;
// N outside 1 to 9999 is bad usage and opens nothing.
TEST(BurnIn, CommandLineExitStatuses) {
    TempDir dir;
    const std::string port = dir.path("printer.bin");
    writeFile(port, "");
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* shown;
    } cases[] = {
        {{"--port", port, "--burn-in", "2"}, exitDone, "第 2/2 轮"},
        {{"--port", port, "--burn-in", "1", "--json"},
         exitDone,
         R"("rounds":1,"rounds_done":1,"passed":true,"fault":null)"},
        {{"--port", dir.path("gone"), "--burn-in", "3", "--json"},
         exitFailed,
         R"("rounds_done":0,"passed":false,"fault":")"},
        {{"--port", port, "--burn-in", "0"}, exitUsage, "烧机轮数须为1到9999之间的整数"},
        {{"--port", port, "--burn-in", "10000"}, exitUsage, "--burn-in 10000"},
        {{"--port", port, "--burn-in", "2", "--copies", "2"}, exitUsage, "--copies"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        std::ostringstream out;
        const CommandLine command = parseCommandLine(c.arguments);
        ConsoleHost host(command.port, out, out, quickAnswers());
        EXPECT_EQ(runCommandLine(command, host, out, out), c.status);
        EXPECT_NE(out.str().find(c.shown), std::string::npos) << out.str();
    }
    EXPECT_EQ(count(readFile(port), "\x1B\x69\x0A"), 3);
}

}  // namespace
