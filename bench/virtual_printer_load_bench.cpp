// The virtual printer under load, as a program: peak memory rendering a large capture, memory
// with a large queue behind a silent client and the time a signal then takes to end it, the
// round trip of a status request over loopback and a terminal, and processor time while it is
// out of descriptors.
// Usage: virtual_printer_load_bench VIRTUAL_PRINTER [capture MB] [queued MB]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "line_clients.h"
#include "process_status.h"
#include "pseudo_terminal.h"
#include "receipts.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char* program = nullptr;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The program started with its standard output on a pipe, or thrown away.
class Child {
public:
    enum class Output { Read, Discard };
    explicit Child(std::vector<std::string> arguments, Output output = Output::Read) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) std::exit(1);
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(output == Output::Read ? out[1] : null, STDOUT_FILENO);
            dup2(null, STDIN_FILENO);
            dup2(null, STDERR_FILENO);
            arguments.insert(arguments.begin(), program);
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            wait();
        }
        close(out_);
    }
    // The rest of the first line starting with `prefix`, or "" after `within`.
    std::string lineAfter(const std::string& prefix, std::chrono::milliseconds within = 5s) {
        const auto until = Clock::now() + within;
        for (;;) {
            for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
                const std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd readable{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char chunk[4096];
            const ssize_t got = read(out_, chunk, sizeof chunk);
            if (got <= 0) return {};
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }
    int port() {
        const std::string name = lineAfter("port: ");
        return std::stoi(name.substr(name.rfind(':') + 1));
    }
    // Waits for the end; returns the peak resident memory in KiB.
    long wait() {
        int status = 0;
        rusage usage{};
        wait4(pid_, &status, 0, &usage);
        pid_ = -1;
        return usage.ru_maxrss;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

double processorSeconds(pid_t pid) {
    return double(processorTicks(pid)) / double(sysconf(_SC_CLK_TCK));
}

// The tester's technician receipt as it writes it, then a raster image of 576 x 900 dots (64 KB
// of data) and a cut: a receipt with a logo, repeated to the size asked.
void writeCapture(const std::string& path, std::size_t megabytes) {
    PseudoTerminal terminal;
    FakeHost host;
    host.port = terminal.slavePath;
    TestReceiptJob(host, TechnicianReceipt());
    std::string block = terminal.readAll();
    block += std::string("\x1D\x76\x30\x00\x48\x00\x84\x03", 8);
    for (int row = 0; row < 900; ++row) block += std::string(72, row % 2 ? '\xAA' : '\x55');
    block += "\n\x1B\x69";
    std::ofstream file(path, std::ios::binary);
    for (std::size_t written = 0; written < megabytes << 20; written += block.size()) file << block;
}

void renderCapture(const QTemporaryDir& dir, std::size_t megabytes) {
    const std::string capture = dir.filePath(QStringLiteral("capture.bin")).toStdString();
    writeCapture(capture, megabytes);
    const auto size = std::filesystem::file_size(capture);
    const auto start = Clock::now();
    Child render(
        {"--render", capture, "--out", dir.filePath(QStringLiteral("render")).toStdString()},
        Child::Output::Discard);
    const long peak = render.wait();
    std::printf("render of a %.0f MB capture: peak resident %ld MiB, %.1f s\n",
                double(size) / (1 << 20), peak / 1024, millisecondsSince(start) / 1000);
    std::filesystem::remove_all(dir.filePath(QStringLiteral("render")).toStdString());
    std::filesystem::remove(capture);
}

void queueBehindASilentClient(const QTemporaryDir& dir, std::size_t megabytes) {
    Child printer(
        {"--listen", "127.0.0.1:0", "--out", dir.filePath(QStringLiteral("q")).toStdString()});
    const int port = printer.port();
    const int silent = connectToLoopback(port);
    const int queued = connectToLoopback(port);
    fcntl(queued, F_SETFL, fcntl(queued, F_GETFL) | O_NONBLOCK);
    const std::string block(1 << 20, 'A');
    std::size_t sent = 0;
    const auto start = Clock::now();
    // Until the queue is sent or the kernel has held the sender back for a second.
    while (sent < megabytes << 20 && Clock::now() - start < 20s) {
        const ssize_t n = send(queued, block.data(), block.size(), MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        pollfd writable{queued, POLLOUT, 0};
        if (poll(&writable, 1, 1000) <= 0) break;
    }
    std::printf(
        "%zu MB queued behind a silent client: %.1f MB taken before the sender was held back; "
        "printer resident %ld MiB (peak %ld MiB)\n",
        megabytes, double(sent) / (1 << 20), statusKiB(printer.pid(), "VmRSS") / 1024,
        statusKiB(printer.pid(), "VmHWM") / 1024);
    const auto signalled = Clock::now();
    kill(printer.pid(), SIGTERM);
    printer.wait();
    std::printf("SIGTERM to exit with that queue: %.0f ms\n", millisecondsSince(signalled));
    close(queued);
    close(silent);
}

// DLE EOT 1 written and its byte read back, over and over.
void roundTrips(const char* over, int line) {
    std::vector<double> times;
    for (int i = 0; i < 1000; ++i) {
        const auto start = Clock::now();
        if (!writeAll(line, std::string("\x10\x04\x01", 3)) || readFor(line, 1, 1000ms).size() != 1)
            break;
        times.push_back(millisecondsSince(start));
    }
    if (times.empty()) {
        std::printf("DLE EOT 1 over %s: no answer (the decoder does not answer yet)\n", over);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "DLE EOT 1 round trip over %s: median %.3f ms, 99th percentile %.3f ms, "
        "largest %.3f ms (%zu requests)\n",
        over, times[times.size() / 2], times[times.size() * 99 / 100], times.back(), times.size());
}

void replies(const QTemporaryDir& dir) {
    {
        Child printer(
            {"--listen", "127.0.0.1:0", "--out", dir.filePath(QStringLiteral("r")).toStdString()});
        const int line = connectToLoopback(printer.port());
        roundTrips("loopback TCP", line);
        close(line);
    }
    Child printer({"--pty", "--out", dir.filePath(QStringLiteral("r")).toStdString()});
    const int line = openTerminal(printer.lineAfter("port: "));
    roundTrips("a pseudo-terminal", line);
    close(line);
}

void outOfDescriptors(const QTemporaryDir& dir) {
    Child printer(
        {"--listen", "127.0.0.1:0", "--out", dir.filePath(QStringLiteral("d")).toStdString()});
    const int port = printer.port();
    const auto open = std::distance(
        std::filesystem::directory_iterator("/proc/" + std::to_string(printer.pid()) + "/fd"),
        std::filesystem::directory_iterator{});
    rlimit limit{};
    prlimit(printer.pid(), RLIMIT_NOFILE, nullptr, &limit);
    limit.rlim_cur = static_cast<rlim_t>(open);
    prlimit(printer.pid(), RLIMIT_NOFILE, &limit, nullptr);
    const int client = connectToLoopback(port);
    std::this_thread::sleep_for(500ms);
    const double before = processorSeconds(printer.pid());
    std::this_thread::sleep_for(5s);
    std::printf(
        "at the descriptor limit with a connection waiting: %.2f s of processor time in 5 s\n",
        processorSeconds(printer.pid()) - before);
    close(client);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: virtual_printer_load_bench VIRTUAL_PRINTER [capture MB] [queued MB]\n",
                   stderr);
        return 2;
    }
    program = argv[1];
    const std::size_t captureMegabytes = argc > 2 ? std::stoul(argv[2]) : 50;
    const std::size_t queuedMegabytes = argc > 3 ? std::stoul(argv[3]) : 300;
    signal(SIGPIPE, SIG_IGN);
    QTemporaryDir dir;
    renderCapture(dir, captureMegabytes);
    queueBehindASilentClient(dir, queuedMegabytes);
    replies(dir);
    outOfDescriptors(dir);
    return 0;
}
