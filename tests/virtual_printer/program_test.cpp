#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "device_commands.h"
#include "fake_host.h"
#include "receipts.h"
#include "sample_streams.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

// The program run as a user would, its standard output read line by line.
class Program {
public:
    explicit Program(std::vector<std::string> arguments) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            arguments.insert(arguments.begin(), VIRTUAL_PRINTER);
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Program() {
        if (pid_ > 0) stop();
        close(out_);
    }

    // The next line, or "(nothing)" when none comes within the time given.
    std::string line(std::chrono::milliseconds within = 5000ms) {
        const auto until = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd readable{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                return "(nothing)";
            char chunk[512];
            const ssize_t got = read(out_, chunk, sizeof chunk);
            if (got <= 0) return "(nothing)";
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // Sends SIGTERM and returns the exit status.
    int stop() {
        kill(pid_, SIGTERM);
        return wait();
    }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
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

void sendTo(int port, const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
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

    writeToTerminal(port, {bytesFromHex(cutJobHex)});
    EXPECT_EQ(printer.line(), dir.path("out") + "/receipt-002.png\tcut partial");
    writeToTerminal(port, {bytesFromHex(drawerJobHex)});
    EXPECT_EQ(printer.line(),
              dir.path("out") + "/receipt-003.png\tdrawer pin 2 on 256 ms off 256 ms");

    // Stopping the program ends the receipt it was printing.
    writeToTerminal(port, {"A\n" + bytesFromHex("1B 7A")});
    EXPECT_EQ(printer.stop(), 0);
    EXPECT_EQ(printer.line(), dir.path("out") +
                                  "/receipt-004.png\tunknown 1B 7A; text without a line feed, "
                                  "printed here");
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
        EXPECT_EQ(printer.line(),
                  out + std::to_string(++number) + ".png\tdrawer pin 2 on 256 ms off 256 ms");
        BarcodeJob(tester);
        EXPECT_EQ(printer.line(), out + std::to_string(++number) + ".png\t");
        EXPECT_TRUE(tester.boxes.empty()) << tester.boxes[0].text;
        const std::string barcode = out + std::to_string(number) + ".png";
        EXPECT_EQ(scanBarcode(barcode), "123");
        // GS h's line feed, the bars, the closing line feed.
        EXPECT_EQ(pngSize(barcode), std::make_pair(640, 30 + 50 + 30));
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
    for (const char* option : {"--pty", "--listen", "--render", "--out", "--paper"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(Program({"--pty", "--paper", "70"}).wait(), 2);
    EXPECT_EQ(Program({"--listen", "127.0.0.1:http"}).wait(), 2);
    EXPECT_EQ(Program({"--render", "/nonexistent/stream", "--out", "/tmp"}).wait(), 1);
}

}  // namespace
