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

// The virtual printer's standard output, every line kept.
struct VirtualPrinter {
    ChildProgram program;
    std::vector<std::string> lines;

    explicit VirtualPrinter(const std::string& out)
        : program(VIRTUAL_PRINTER, {"--pty", "--out", out}) {}
    // Reads lines until one is `wanted` (or none comes); tells whether it came.
    bool awaitLine(const std::string& wanted) {
        for (std::string line; (line = program.line(5s)) != "(nothing)";) {
            lines.push_back(line);
            if (line == wanted) return true;
        }
        return false;
    }
    std::string port() {
        awaitLine("");
        return lines.empty() || lines[0].rfind("port: ", 0) ? "" : lines[0].substr(6);
    }
};

// A fault set on the printer after round 2 ends the run there, named, and nothing more is
// written: each round's receipt, cut and pulse is on the virtual printer's paper.
TEST(BurnIn, AFaultSetHalfwayEndsTheRunInThatRound) {
    TempDir dir;
    VirtualPrinter printer(dir.path("out"));
    FakeHost host;
    host.limits = quickAnswers();
    host.port = printer.port();
    ASSERT_NE(host.port, "");
    std::vector<BurnInProgress> seen;
    const BurnInResult result = runBurnIn(host, 4, [&](const BurnInProgress& progress) {
        seen.push_back(progress);
        if (progress.round == 2) {
            EXPECT_TRUE(printer.program.input("set paper-end\n"));
            EXPECT_TRUE(printer.awaitLine("event: paper-end set"));
        }
        return true;
    });
    EXPECT_EQ(result.fault, "纸用完");
    EXPECT_EQ(result.faultRound, 2);
    EXPECT_EQ(result.roundsDone, 1);
    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.receipts, 2);
    EXPECT_EQ(result.cuts, 2);
    EXPECT_EQ(result.pulses, 2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].round, 2);
    EXPECT_EQ(seen[1].rounds, 4);
    EXPECT_EQ(seen[1].lastStatus, "正常");
    EXPECT_TRUE(host.boxes.empty());

    // With the paper back, whatever the printer still held comes out; then it stops.
    ASSERT_TRUE(printer.program.input("clear paper-end\n"));
    printer.awaitLine("event: paper-end cleared");
    EXPECT_EQ(printer.program.stop(), 0);
    printer.awaitLine("(never)");
    std::string pictures, all;
    int pictureCount = 0;
    for (const std::string& line : printer.lines) {
        all += line + '\n';
        if (line.rfind(dir.path("out/receipt-"), 0) == 0) {
            ++pictureCount;
            pictures += line + '\n';
            EXPECT_TRUE(line.ends_with("cut partial")) << line;
        }
    }
    EXPECT_EQ(pictureCount, 2) << all;
    EXPECT_EQ(count(all, "drawer pin 2 on 256 ms off 256 ms"), 2) << all;
    for (const char* lost : {"unknown", "truncated", "without a line feed"})
        EXPECT_EQ(all.find(lost), std::string::npos) << lost << '\n' << all;
}

// What the status query finds wrong ends the run before anything is printed; a printer that
// is fine runs until a stop asked between rounds.
TEST(BurnIn, AStatusFaultEndsTheRunAndAStopEndsItAfterTheRound) {
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
        FakeHost host;
        host.limits = quickAnswers();
        host.port = printer.portName();
        const BurnInResult result = runBurnIn(host, 3, nullptr);
        EXPECT_EQ(result.fault, c.fault);
        EXPECT_EQ(result.faultRound, 1);
        EXPECT_EQ(result.receipts, 0);
        EXPECT_EQ(printer.received().find("\x1B\x40"), std::string::npos);
    }

    TempDir dir;
    VirtualPrinter printer(dir.path("out"));
    FakeHost host;
    host.limits = quickAnswers();
    host.port = printer.port();
    const BurnInResult result =
        runBurnIn(host, 5, [](const BurnInProgress& progress) { return progress.round < 2; });
    EXPECT_TRUE(result.stoppedByUser);
    EXPECT_FALSE(result.fault);
    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.roundsDone, 2);
    EXPECT_EQ(result.receipts, 2);
    EXPECT_EQ(result.roundTimes.size(), 2u);
    EXPECT_EQ(result.lastStatus, "正常");
}

// A port that fails between rounds ends the run in the round it failed, with the job's own
// failure text and no box.
TEST(BurnIn, APortThatFailsMidRunEndsItInThatRound) {
    TempDir dir;
    std::unique_ptr<LoopbackPrinter> network = std::make_unique<LoopbackPrinter>();
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
        FakeHost host;
        host.limits = quickAnswers();
        host.port = c.port;
        const BurnInResult result = runBurnIn(host, 5, [&](const BurnInProgress& progress) {
            if (progress.round == 2) c.fail();
            return true;
        });
        ASSERT_TRUE(result.fault);
        EXPECT_NE(result.fault->find(c.named), std::string::npos) << *result.fault;
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
    const BurnInTimes times = roundTimesOf(result);
    EXPECT_EQ(times.shortest, 600ms);
    EXPECT_EQ(times.median, 675ms);
    EXPECT_EQ(times.longest, 900ms);
    const std::string text = burnInSummaryText(result);
    for (const char* shown :
         {"4/4 轮通过；合格", "小票 4 张，切纸 4 次，钱箱脉冲 4 次", "最短 0.60 s，中位 0.68 s",
          "切刀次数(50，可清零)：10 → 14，+4", "切刀次数(178，累计)：1000 → 1004，+4",
          "工作小时(70，可清零)：未读到 → 3，—"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << '\n' << text;
    EXPECT_NE(burnInJson("p", result)
                  .find(R"("counters":[{"number":50,"before":10,"after":14,)"
                        R"("difference":4},)"),
              std::string::npos);
}

// --burn-in N: a line a round and the summary, exit 0 when every round passed and 1 when not;
// N outside 1 to 9999 is bad usage and opens nothing.
TEST(BurnIn, CommandLineExitStatuses) {
    TempDir dir;
    const std::string port = dir.path("printer.bin");
    writeFile(port, "");
    auto run = [](const std::vector<std::string>& arguments, std::string* out = nullptr) {
        std::ostringstream output, errors;
        const CommandLine command = parseCommandLine(arguments);
        ConsoleHost host(command.port, output, errors, quickAnswers());
        const int status = runCommandLine(command, host, output, errors);
        if (out) *out = output.str() + errors.str();
        return status;
    };
    std::string out;
    EXPECT_EQ(run({"--port", port, "--burn-in", "2"}, &out), exitDone);
    EXPECT_EQ(count(out, "轮  已用"), 2) << out;
    EXPECT_NE(out.find("2/2 轮通过；合格"), std::string::npos) << out;
    EXPECT_EQ(run({"--port", port, "--burn-in", "1", "--json"}, &out), exitDone);
    EXPECT_NE(out.find(R"("rounds":1,"rounds_done":1,"passed":true,"fault":null)"),
              std::string::npos)
        << out;
    EXPECT_EQ(run({"--port", dir.path("gone.bin"), "--burn-in", "3", "--json"}, &out), exitFailed);
    EXPECT_NE(out.find(R"("rounds_done":0,"passed":false,"fault":")"), std::string::npos) << out;

    const std::string before = readFile(port);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--port", port, "--burn-in", "0"},
          {"--port", port, "--burn-in", "10000"},
          {"--port", port, "--burn-in", "3x"},
          {"--port", port, "--burn-in"},
          {"--port", port, "--burn-in", "2", "--copies", "2"},
          {"--port", port, "--burn-in", "2", "--cut"}}) {
        SCOPED_TRACE(bad.back());
        EXPECT_EQ(run(bad), exitUsage);
    }
    EXPECT_EQ(readFile(port), before);
}

}  // namespace
