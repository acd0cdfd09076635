#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "child_program.h"
#include "device_commands.h"
#include "escpos_decoder.h"
#include "fake_host.h"
#include "line_clients.h"
#include "printer_replies.h"
#include "printer_status.h"
#include "process_status.h"
#include "receipts.h"
#include "sample_streams.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

// The virtual printer run as a user would, the lines of its standard output that say what
// happened to the printer ("event: ...") kept apart from the rest.
class Program {
public:
    explicit Program(const std::vector<std::string>& arguments)
        : child_(VIRTUAL_PRINTER, arguments) {}

    // The next line that is not an event, or "(nothing)".
    std::string line(std::chrono::milliseconds within = 5000ms) { return next(lines_, within); }
    // What the next event line says, or "(nothing)".
    std::string event(std::chrono::milliseconds within = 5000ms) { return next(events_, within); }
    // Whether an event soon says this, passing over those before it.
    bool eventSays(const std::string& text) {
        for (std::string line; (line = event()) != "(nothing)";)
            if (line == text) return true;
        return false;
    }
    // Whether a line on standard error soon says this (other lines, such as Qt's, pass).
    bool errorSays(const std::string& text, std::chrono::milliseconds within = 5000ms) {
        for (std::string line; (line = child_.errorLine(within)) != "(nothing)";)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    void input(const std::string& text) { ASSERT_TRUE(child_.input(text)); }
    int stop() { return child_.stop(); }
    int wait() { return child_.wait(); }
    pid_t pid() const { return child_.pid(); }
    long maxResidentKiB() const { return child_.maxResidentKiB(); }

private:
    std::string next(std::deque<std::string>& wanted, std::chrono::milliseconds within) {
        const auto until = std::chrono::steady_clock::now() + within;
        while (wanted.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            const std::string line = child_.line(std::max(left, 0ms));
            if (line == "(nothing)") return line;
            if (line.rfind("event: ", 0) == 0)
                events_.push_back(line.substr(7));
            else
                lines_.push_back(line);
        }
        std::string line = wanted.front();
        wanted.pop_front();
        return line;
    }

    ChildProgram child_;
    std::deque<std::string> lines_, events_;
};

std::string portOf(Program& program) {
    const std::string first = program.line();
    EXPECT_EQ(first.rfind("port: ", 0), 0u) << first;
    return first.substr(6);
}

// Writes bytes to the port the way a job does: open, write in pieces, close.
void writeToTerminal(const std::string& path, const std::vector<std::string>& pieces,
                     std::chrono::milliseconds pauseBeforeLast = 0ms) {
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(fd, 0) << path;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i + 1 == pieces.size()) std::this_thread::sleep_for(pauseBeforeLast);
        ASSERT_EQ(write(fd, pieces[i].data(), pieces[i].size()), ssize_t(pieces[i].size()));
    }
    close(fd);
}

int portNumber(const std::string& port) {
    return std::stoi(port.substr(port.rfind(':') + 1));
}

void sendTo(int port, const std::string& bytes) {
    const int fd = connectToLoopback(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeAll(fd, bytes));
    close(fd);
}

TEST(Program, PseudoTerminalPrintsEachJobAsThePrinterWould) {
    TempDir dir;
    Program printer({"--pty", "--out", dir.path("out")});
    const std::string port = portOf(printer);
    ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u);

    // The slave is raw whatever the writer does.
    const int probe = open(port.c_str(), O_RDONLY | O_NOCTTY);
    termios settings{};
    tcgetattr(probe, &settings);
    close(probe);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(printer.line(1500ms), "(nothing)") << "an open and close alone is no receipt";

    // The tester's receipt: two openings of the port 0.3 s apart are one picture.
    const std::string banner = technicianBannerPhase();
    writeToTerminal(port, {banner.substr(0, 2), banner.substr(2, 3), banner.substr(5)}, 300ms);
    std::this_thread::sleep_for(300ms);
    writeToTerminal(port, {technicianTextPhase()});
    EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-001.png\t");
    EXPECT_TRUE(fileExists(dir.path("out/receipt-001.png")));
    // Its transcripts beside it, in this mode as in every other.
    EXPECT_NE(readFile(dir.path("out/receipt-001.json")).find("\"format\": 1"), std::string::npos);
    EXPECT_TRUE(fileExists(dir.path("out/receipt-001.txt")));

    writeToTerminal(port, {bytesFromHex(cutJobHex)});
    EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-002.png\tcut partial");
    // A job that prints nothing makes no picture: what it did is listed.
    writeToTerminal(port, {bytesFromHex(drawerJobHex)});
    EXPECT_TRUE(printer.eventSays("drawer pin 2 on 256 ms off 256 ms"));

    // Stopping the program ends the receipt it was printing.
    writeToTerminal(port, {"A\n" + bytesFromHex("1B 7A")});
    EXPECT_EQ(printer.stop(), 0);
    EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-003.png\tunknown 1B 7A");
}

// The tester's own jobs, from its printer library, printed to the virtual printer's terminal and
// to it as a network printer: the port it names is the name to give the tester.
TEST(Program, PrintsTheTestersRealJobs) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"--pty"}, std::vector<std::string>{"--listen", "0"}}) {
        SCOPED_TRACE(mode[0]);
        TempDir dir;
        std::vector<std::string> arguments = mode;
        arguments.insert(arguments.end(), {"--out", dir.path("out")});
        Program printer(arguments);
        FakeHost tester;
        tester.port = portOf(printer);
        const std::string out = dir.path("out") + "/receipt-00";
        int number = 0;
        for (ReceiptVariant (*variant)() : {TechnicianReceipt, WelcomeReceipt, BrochureReceipt}) {
            TestReceiptJob(tester, variant());
            // Nothing unknown, truncated or left without a line feed: no events at all.
            EXPECT_EQ(printer.line(), out + std::to_string(++number) + ".png\t");
        }
        CutPaperJob(tester);
        EXPECT_EQ(printer.line(), out + std::to_string(++number) + ".png\tcut partial");
        DrawerPulseJob(tester);
        EXPECT_TRUE(printer.eventSays("drawer pin 2 on 256 ms off 256 ms"));
        BarcodeJob(tester);
        EXPECT_EQ(printer.line(), out + std::to_string(++number) + ".png\t");
        EXPECT_TRUE(tester.boxes.empty()) << tester.boxes[0].text;
        const std::string barcode = out + std::to_string(number) + ".png";
        EXPECT_EQ(scanBarcode(barcode), "123");
        // The paper the drawer job fed, GS h's line feed, the bars, the closing line feed.
        EXPECT_EQ(pngSize(barcode), std::make_pair(640, 2 * 30 + 30 + 50 + 30));
    }
}

TEST(Program, ListensOnLoopbackAndJoinsTheReceiptsConnections) {
    TempDir dir;
    Program printer({"--listen", "0", "--out", dir.path("out"), "--paper", "58"});
    const std::string port = portOf(printer);
    ASSERT_EQ(port.rfind("127.0.0.1:", 0), 0u) << "the default host is this computer only";
    const int number = std::stoi(port.substr(10));
    sendTo(number, technicianBannerPhase());
    std::this_thread::sleep_for(300ms);
    sendTo(number, technicianTextPhase());
    EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-001.png\t");
    sendTo(number, bytesFromHex(barcodeJobHex));
    EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-002.png\t");
    EXPECT_EQ(printer.line(1500ms), "(nothing)");
}

TEST(Program, RendersACapturedStream) {
    TempDir dir;
    writeFile(dir.path("capture.bin"), bytesFromHex(cutJobHex) + technicianBannerPhase() +
                                           technicianTextPhase() + bytesFromHex("1B 70 01 32 64"));
    for (const char* first : {"001", "003"}) {
        Program render({"--render", dir.path("capture.bin"), "--out", dir.path("out")});
        const std::string out = dir.path("out") + "/receipt-";
        const int next = std::stoi(first);
        EXPECT_EQ(render.line(), out + first + ".png\tcut partial");
        // Numbering goes on after the pictures already in the folder.
        EXPECT_EQ(render.line(), out + "00" + std::to_string(next + 1) +
                                     ".png\tdrawer pin 5 on 100 ms off 200 ms");
        EXPECT_EQ(render.wait(), 0);
    }
}

TEST(Program, ExplainsItsOptions) {
    Program help({"--help"});
    std::string text;
    for (std::string line; (line = help.line(1000ms)) != "(nothing)";) text += line + "\n";
    for (const char* option :
         {"--pty", "--listen", "--render", "--out", "--paper", "--state", "--model", "--rom",
          "--settings", "--drawer-seconds", "--idle-timeout"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(Program({"--pty", "--paper", "70"}).wait(), 2);
    EXPECT_EQ(Program({"--listen", "127.0.0.1:http"}).wait(), 2);
    EXPECT_EQ(Program({"--pty", "--state", "cover-open,jammed"}).wait(), 2);
    EXPECT_EQ(Program({"--pty", "--idle-timeout", "-1"}).wait(), 2);
    EXPECT_EQ(Program({"--pty", "--drawer-seconds", "soon"}).wait(), 2);
    EXPECT_EQ(Program({"--pty", "--rom", "big5"}).wait(), 2);
    for (const char* settings : {"msw9=00000000", "msw1=0010", "width=76", "density=9", "speed"})
        EXPECT_EQ(Program({"--pty", "--settings", settings}).wait(), 2) << settings;
    EXPECT_EQ(Program({"--render", "/nonexistent/stream", "--out", "/tmp"}).wait(), 1);
}

// The state given at start, then changed by lines on standard input, each change listed; a bad
// line is explained and changes nothing.
TEST(Program, StandardInputDrivesThePrinterState) {
    TempDir dir;
    Program printer(
        {"--pty", "--out", dir.path("out"), "--state", "paper-end", "--model", "POS-58"});
    portOf(printer);
    EXPECT_EQ(printer.event(), "paper-end set");
    EXPECT_EQ(printer.event(), "model POS-58");
    printer.input("set cover-open\nclear paper-end\n");
    EXPECT_EQ(printer.event(), "cover-open set");
    EXPECT_EQ(printer.event(), "paper-end cleared");
    printer.input("set lid\nset drawer-open\n");
    EXPECT_TRUE(printer.errorSays("standard input: no state named \"lid\""));
    EXPECT_EQ(printer.event(), "drawer-open set");
    printer.input("open the cover\n");
    EXPECT_TRUE(printer.errorSays("a line is \"set NAME\" or \"clear NAME\""));
    EXPECT_EQ(printer.event(500ms), "(nothing)");
}

// What --rom and --settings start it with is what it answers; the hex dump mode prints what
// follows as hex until the `reset` line switches it off and on.
TEST(Program, AnswersItsSettingsAndLeavesHexDumpModeAtReset) {
    TempDir dir;
    Program printer({"--pty", "--out", dir.path("out"), "--rom", "gb2312", "--settings",
                     "msw1=00100000,width=58"});
    const std::string port = portOf(printer);
    EXPECT_EQ(printer.event(), "ROM CHINA GB2312");
    const int line = openTerminal(port);
    ASSERT_GE(line, 0);
    const std::pair<const char*, const char*> asked[] = {
        {"1D 49 45", "5F 43 48 49 4E 41 20 47 42 32 33 31 32 00"},
        {"1D 28 45 03 00 01 49 4E", "37 20 00"},
        {"1D 28 45 02 00 04 01", "37 21 30 30 31 30 30 30 30 30 00"},
        {"1D 28 45 02 00 06 03", "37 27 33 1F 32 00"},  // 58 mm
        {"1D 28 45 04 00 02 4F 55 54", ""},
    };
    for (const auto& [request, answer] : asked) {
        ASSERT_TRUE(writeAll(line, bytesFromHex(request)));
        const std::string expected = bytesFromHex(answer);
        EXPECT_EQ(vp::hexBytes(readFor(line, expected.size(), 1000ms)), answer) << request;
    }
    ASSERT_TRUE(writeAll(line, bytesFromHex("1D 28 41 02 00 00 01") + "AB"));
    close(line);
    const std::string out = dir.path("out") + "/receipt-";
    // One receipt with the answers' events: the hex dump is on it.
    const std::string dumped = printer.line();
    EXPECT_EQ(dumped.rfind(out + "001.png\t", 0), 0u) << dumped;
    EXPECT_TRUE(dumped.ends_with("user setting mode ended: the printer resets; hex dump mode on"))
        << dumped;
    printer.input("reset\n");
    EXPECT_TRUE(printer.eventSays("switched off and on: hex dump mode ended"));
    writeToTerminal(port, {"A\n" + bytesFromHex("1D 56 01")});
    EXPECT_EQ(printer.line(), out + "002.png\tcut partial");
}

// A client that sends a status request and waits for the byte gets it at once, on the line it
// printed to, over a terminal as over TCP, and the answer follows the state set on standard
// input. Runs once the decoder hands requests to the replies.
// The tester's 查状态 asks the virtual printer as it asks a real one, and reads the state the
// printer was started in and then put in from standard input.
TEST(Program, AnswersTheTestersStatusQuery) {
    TempDir dir;
    Program printer({"--pty", "--out", dir.path("out"), "--state", "cover-open,paper-near-end",
                     "--model", "XH-80C"});
    FakeHost tester;
    tester.port = portOf(printer);
    EXPECT_TRUE(PrinterStatusJob(tester));
    for (const char* given : {"cover-open set", "paper-near-end set", "model XH-80C"})
        EXPECT_EQ(printer.event(), given);
    printer.input("clear cover-open\n");
    EXPECT_EQ(printer.event(), "cover-open cleared");
    EXPECT_TRUE(PrinterStatusJob(tester));
    // Asked again at once: a port reopened straight after its close still gets its answers.
    EXPECT_TRUE(PrinterStatusJob(tester));
    ASSERT_EQ(tester.boxes.size(), 3u);
    EXPECT_EQ(tester.boxes[2].text, tester.boxes[1].text);
    for (const char* shown : {"状态：脱机", "上盖：打开", "纸张：将尽", "钱箱信号(引脚3)：低",
                              "错误：无", "未询问型号和名称"})
        EXPECT_NE(tester.boxes[0].text.find(shown), std::string::npos) << tester.boxes[0].text;
    for (const char* shown :
         {"状态：联机", "上盖：关闭", "纸张：将尽", "型号ID：", "类型ID：", "型号：XH-80C"})
        EXPECT_NE(tester.boxes[1].text.find(shown), std::string::npos) << tester.boxes[1].text;
    for (const auto& box : tester.boxes) {
        EXPECT_EQ(box.text.find("未应答"), std::string::npos) << box.text;
        EXPECT_EQ(box.text.find("无法识别"), std::string::npos) << box.text;
    }
    // Queries print nothing: their replies make no pictures.
    EXPECT_EQ(printer.line(1500ms), "(nothing)");
}

TEST(Program, AnswersStatusRequestsOnItsLine) {
    vp::PrinterState state;
    state.drawerOpen = state.paperNearEnd = true;
    state.model = "POS-80";
    for (const char* mode : {"--pty", "--listen"}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        std::vector<std::string> arguments{mode};
        if (arguments[0] == "--listen") arguments.push_back("0");
        arguments.insert(arguments.end(), {"--out", dir.path("out"), "--state",
                                           "drawer-open,paper-near-end", "--model", "POS-80"});
        Program printer(arguments);
        const std::string port = portOf(printer);
        const int line =
            arguments[0] == "--pty" ? openTerminal(port) : connectToLoopback(portNumber(port));
        ASSERT_GE(line, 0);
        const auto asked = std::chrono::steady_clock::now();
        ASSERT_TRUE(writeAll(line, bytesFromHex("10 04 01")));
        EXPECT_EQ(vp::hexBytes(readFor(line, 1, 1000ms)),
                  vp::hexBytes(vp::realTimeStatus(1, state)));
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms);
        ASSERT_TRUE(writeAll(line, bytesFromHex("1D 49 43")));
        const std::string model = vp::printerId(67, state);
        EXPECT_EQ(readFor(line, model.size(), 1000ms), model);
        for (const char* given : {"paper-near-end set", "drawer-open set", "model POS-80"})
            EXPECT_EQ(printer.event(), given);
        printer.input("set cover-open\n");
        EXPECT_EQ(printer.event(), "cover-open set");
        state.coverOpen = true;
        ASSERT_TRUE(writeAll(line, bytesFromHex("10 04 01")));
        EXPECT_EQ(vp::hexBytes(readFor(line, 1, 1000ms)),
                  vp::hexBytes(vp::realTimeStatus(1, state)));
        state.coverOpen = false;
        close(line);
    }
}

// A writer that closes and opens again at once, then asks, gets its answer: its close may be
// seen after its new request has been answered, and must not throw that answer away.
TEST(Program, AnswersAWriterThatReopenedAtOnce) {
    TempDir dir;
    Program printer({"--pty", "--out", dir.path("out")});
    const std::string port = portOf(printer);
    int answered = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        const int first = openTerminal(port);
        ASSERT_GE(first, 0);
        ASSERT_TRUE(writeAll(first, "\n"));
        close(first);
        const int second = openTerminal(port);
        ASSERT_GE(second, 0);
        ASSERT_TRUE(writeAll(second, bytesFromHex("10 04 01")));
        if (readFor(second, 1, 500ms).size() == 1) ++answered;
        close(second);
    }
    EXPECT_EQ(answered, 40);
}

// @node-escpos/core asks DLE EOT 1, 4, 2 and 3 in one write and takes the first chunk that
// comes back as all four answers; node-thermal-printer asks one at a time and reads each.
TEST(Program, AnswersRequestsThatCameTogetherInOneWrite) {
    const vp::PrinterState state;
    std::string answers;
    for (int n : {1, 4, 2, 3}) answers += vp::realTimeStatus(n, state);
    for (const char* mode : {"--pty", "--listen"}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        std::vector<std::string> arguments{mode};
        if (arguments[0] == "--listen") arguments.push_back("0");
        arguments.insert(arguments.end(), {"--out", dir.path("out")});
        Program printer(arguments);
        const std::string port = portOf(printer);
        const int line =
            arguments[0] == "--pty" ? openTerminal(port) : connectToLoopback(portNumber(port));
        ASSERT_GE(line, 0);
        ASSERT_TRUE(writeAll(line, bytesFromHex("10 04 01 10 04 04 10 04 02 10 04 03")));
        pollfd readable{line, POLLIN, 0};
        ASSERT_EQ(poll(&readable, 1, 2000), 1);
        char first[64];
        const ssize_t got = read(line, first, sizeof first);
        EXPECT_EQ(
            vp::hexBytes(std::string(first, static_cast<std::size_t>(std::max<ssize_t>(got, 0)))),
            vp::hexBytes(answers));
        for (int n : {1, 4, 2, 3}) {
            ASSERT_TRUE(writeAll(line, bytesFromHex("10 04 0" + std::to_string(n))));
            EXPECT_EQ(vp::hexBytes(readFor(line, 1, 1000ms)),
                      vp::hexBytes(vp::realTimeStatus(n, state)));
        }
        close(line);
    }
}

// The line a mode prints to, opened as a client would, with the program's arguments for it.
std::vector<std::string> argumentsFor(const std::string& mode, const TempDir& dir,
                                      std::vector<std::string> more) {
    std::vector<std::string> arguments{mode};
    if (mode == "--listen") arguments.push_back("0");
    arguments.insert(arguments.end(), {"--out", dir.path("out")});
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}
int openLine(const std::string& mode, const std::string& port) {
    return mode == "--pty" ? openTerminal(port) : connectToLoopback(portNumber(port));
}

// With its cover open the printer keeps what its receive buffer takes and holds the sender
// back for the rest: once the cover is shut, all of it prints, none lost, and a receipt that
// ends in a cut is out then, while its sender is still connected.
TEST(Program, LosesNothingOfWhatItHeldBack) {
    for (const std::string mode : {"--pty", "--listen"}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        Program printer(argumentsFor(mode, dir, {"--state", "cover-open"}));
        const int line = openLine(mode, portOf(printer));
        ASSERT_GE(line, 0);
        EXPECT_EQ(printer.event(), "cover-open set");
        ASSERT_TRUE(writeAll(line, std::string(100, '\r')));
        std::this_thread::sleep_for(200ms);
        std::thread writer([&] {
            EXPECT_TRUE(writeAll(line, std::string(72000, '\r') + bytesFromHex(cutJobHex)));
        });
        std::this_thread::sleep_for(300ms);
        printer.input("clear cover-open\n");
        EXPECT_EQ(printer.event(), "cover-open cleared");
        writer.join();
        EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-001.png\tcut partial");
        // All of a small receipt in the receive buffer.
        printer.input("set cover-open\n");
        EXPECT_EQ(printer.event(), "cover-open set");
        ASSERT_TRUE(writeAll(line, "A\n" + bytesFromHex(cutJobHex)));
        std::this_thread::sleep_for(200ms);
        printer.input("clear cover-open\n");
        EXPECT_EQ(printer.event(), "cover-open cleared");
        EXPECT_EQ(printer.line(2000ms), dir.path("out") + "/receipt-002.png\tcut partial");
        close(line);
    }
}

// Real-time requests are answered while the receive buffer is full: the tester asks for the
// status of a printer that holds its data, and waits for the answer.
TEST(Program, AnswersRealTimeRequestsWhileItsBufferIsFull) {
    TempDir dir;
    Program printer(argumentsFor("--pty", dir, {"--state", "cover-open"}));
    const int line = openLine("--pty", portOf(printer));
    ASSERT_GE(line, 0);
    EXPECT_EQ(printer.event(), "cover-open set");
    ASSERT_TRUE(writeAll(line, std::string(vp::Decoder::receiveBufferBytes + 1000, '\r')));
    std::this_thread::sleep_for(200ms);
    const auto asked = std::chrono::steady_clock::now();
    std::thread writer(
        [&] { EXPECT_TRUE(writeAll(line, bytesFromHex("10 04 01") + bytesFromHex(cutJobHex))); });
    vp::PrinterState state;
    state.coverOpen = true;
    EXPECT_EQ(vp::hexBytes(readFor(line, 1, 1000ms)), vp::hexBytes(vp::realTimeStatus(1, state)));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 200ms);
    printer.input("clear cover-open\n");
    EXPECT_EQ(printer.event(), "cover-open cleared");
    writer.join();
    EXPECT_EQ(printer.line(2000ms),
              dir.path("out") + "/receipt-001.png\treplied 1A to DLE EOT 1; cut partial");
    EXPECT_EQ(readFor(line, 1, 300ms), "") << "answered once";
    close(line);
}

// A connection that says nothing for the idle timeout is closed, and the one waiting behind it
// printed.
TEST(Program, ClosesASilentConnection) {
    TempDir dir;
    Program printer({"--listen", "0", "--out", dir.path("out"), "--idle-timeout", "0.3"});
    const int port = portNumber(portOf(printer));
    const int silent = connectToLoopback(port);
    ASSERT_GE(silent, 0);
    std::this_thread::sleep_for(50ms);
    sendTo(port, bytesFromHex(cutJobHex));
    const std::string event = printer.event(2000ms);
    EXPECT_EQ(event.rfind("connection from 127.0.0.1:", 0), 0u) << event;
    EXPECT_NE(event.find(" closed: silent for 0.3 s"), std::string::npos) << event;
    EXPECT_EQ(printer.line(2000ms), dir.path("out") + "/receipt-001.png\tcut partial");
    close(silent);
}

// A connection that trickles, a byte now and then, is closed once another waits behind it.
TEST(Program, ClosesATricklingConnectionWhileAnotherWaits) {
    TempDir dir;
    Program printer({"--listen", "0", "--out", dir.path("out"), "--idle-timeout", "0.3"});
    const int port = portNumber(portOf(printer));
    const int trickling = connectToLoopback(port);
    ASSERT_GE(trickling, 0);
    std::atomic<bool> done = false;
    std::thread writer([&] {
        while (!done && send(trickling, "\n", 1, MSG_NOSIGNAL) == 1)
            std::this_thread::sleep_for(100ms);
    });
    std::this_thread::sleep_for(50ms);
    std::thread queued([&] { sendTo(port, bytesFromHex(cutJobHex)); });
    const std::string event = printer.event(2000ms);
    EXPECT_NE(event.find(" bytes in 0.3 s while another waits"), std::string::npos) << event;
    // The trickled feeds and the waiting job make one receipt, as two connections do.
    EXPECT_EQ(printer.line(2000ms), dir.path("out") + "/receipt-001.png\tcut partial");
    done = true;
    writer.join();
    queued.join();
    close(trickling);
}

// Connections waiting behind a silent one are left to the kernel, which stops their senders
// when its buffers are full: the program holds none of their bytes, and a signal still ends it
// at once.
TEST(Program, AQueueBehindASilentClientCostsNothingAndDoesNotDelayTheEnd) {
    TempDir dir;
    Program printer({"--listen", "0", "--out", dir.path("out")});
    const int port = portNumber(portOf(printer));
    const int silent = connectToLoopback(port);
    const int queued = connectToLoopback(port);
    ASSERT_GE(silent, 0);
    ASSERT_GE(queued, 0);
    EXPECT_LT(sendUntilHeldBack(queued, 64u << 20, 300ms), 32u << 20) << "the sender is held back";
    EXPECT_LT(statusKiB(printer.pid(), "VmRSS"), 100 * 1024);

    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(printer.stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
    close(queued);
    close(silent);
}

// Out of descriptors, a connection cannot be accepted; the program says so once and tries
// again now and then instead of spinning, and prints the connection once it can.
TEST(Program, RestsWhileOutOfDescriptors) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own to report anything";
#endif
    TempDir dir;
    Program printer({"--listen", "0", "--out", dir.path("out")});
    const int port = portNumber(portOf(printer));
    // A new descriptor takes the lowest free number; with the limit there, none can be had.
    rlimit saved{}, none{};
    ASSERT_EQ(prlimit(printer.pid(), RLIMIT_NOFILE, nullptr, &saved), 0);
    none = saved;
    none.rlim_cur = static_cast<rlim_t>(lowestFreeDescriptor(printer.pid()));
    ASSERT_EQ(prlimit(printer.pid(), RLIMIT_NOFILE, &none, nullptr), 0);

    sendTo(port, bytesFromHex(cutJobHex));
    EXPECT_NE(printer.event(2000ms).find("cannot accept a connection: Too many open files"),
              std::string::npos);
    const long before = processorTicks(printer.pid());
    std::this_thread::sleep_for(1s);
    EXPECT_LE(processorTicks(printer.pid()) - before, 5) << "clock ticks in a second";
    EXPECT_EQ(printer.event(100ms), "(nothing)") << "said once";

    ASSERT_EQ(prlimit(printer.pid(), RLIMIT_NOFILE, &saved, nullptr), 0);
    EXPECT_EQ(printer.line(3000ms), dir.path("out") + "/receipt-001.png\tcut partial");
}

// A file is read as it is decoded: one many times larger costs no more memory.
TEST(Program, RendersAFileOfAnySizeInBoundedMemory) {
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps freed memory aside for a while, where it would count as held.
    const std::string options = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (options + ":quarantine_size_mb=0").c_str(), 1);
#endif
    TempDir dir;
    long resident[2] = {0, 0};
    const std::size_t megabytes[2] = {1, 48};
    for (int i = 0; i < 2; ++i) {
        const std::string path = dir.path("capture" + std::to_string(i) + ".bin");
        {
            std::ofstream file(path, std::ios::binary);
            file << technicianBannerPhase() << technicianTextPhase();
            // Carriage returns: bytes the printer reads and passes over.
            const std::string filler(1 << 20, '\r');
            for (std::size_t m = 0; m < megabytes[i]; ++m) file << filler;
            file << bytesFromHex(cutJobHex);
        }
        Program render({"--render", path, "--out", dir.path("out")});
        EXPECT_NE(render.line(20000ms), "(nothing)");
        EXPECT_EQ(render.wait(), 0);
        resident[i] = render.maxResidentKiB();
    }
    EXPECT_LT(resident[1] - resident[0], 16 * 1024)
        << resident[0] << " KiB for 1 MB, " << resident[1] << " KiB for 48 MB";
}

}  // namespace
