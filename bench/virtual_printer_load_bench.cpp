// The virtual printer under load, as a program: peak memory rendering a large capture, memory
// with a large queue behind a silent client and the time a signal then takes to end it, the
// round trip of a status request over loopback and a terminal, and processor time while it is
// out of descriptors.
// Usage: virtual_printer_load_bench VIRTUAL_PRINTER [capture MB] [queued MB]
#include <signal.h>
#include <sys/resource.h>
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

#include "child_program.h"
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

// The rest of the first line of the program's output starting with `prefix`, or "".
std::string lineAfter(ChildProgram& child, const std::string& prefix) {
    for (std::string line; (line = child.line(5s)) != "(nothing)";)
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    return {};
}

int portOf(ChildProgram& child) {
    const std::string name = lineAfter(child, "port: ");
    return std::stoi(name.substr(name.rfind(':') + 1));
}

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
    ChildProgram render(
        program,
        {"--render", capture, "--out", dir.filePath(QStringLiteral("render")).toStdString()},
        ChildProgram::Output::Discard);
    render.wait();
    const long peak = render.maxResidentKiB();
    std::printf("render of a %.0f MB capture: peak resident %ld MiB, %.1f s\n",
                double(size) / (1 << 20), peak / 1024, millisecondsSince(start) / 1000);
    std::filesystem::remove_all(dir.filePath(QStringLiteral("render")).toStdString());
    std::filesystem::remove(capture);
}

void queueBehindASilentClient(const QTemporaryDir& dir, std::size_t megabytes) {
    ChildProgram printer(program, {"--listen", "127.0.0.1:0", "--out",
                                   dir.filePath(QStringLiteral("q")).toStdString()});
    const int port = portOf(printer);
    const int silent = connectToLoopback(port);
    const int queued = connectToLoopback(port);
    const std::size_t sent = sendUntilHeldBack(queued, megabytes << 20, 1s);
    std::printf(
        "%zu MB queued behind a silent client: %.1f MB taken before the sender was held back; "
        "printer resident %ld MiB (peak %ld MiB)\n",
        megabytes, double(sent) / (1 << 20), statusKiB(printer.pid(), "VmRSS") / 1024,
        statusKiB(printer.pid(), "VmHWM") / 1024);
    const auto signalled = Clock::now();
    printer.stop();
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
        ChildProgram printer(program, {"--listen", "127.0.0.1:0", "--out",
                                       dir.filePath(QStringLiteral("r")).toStdString()});
        const int line = connectToLoopback(portOf(printer));
        roundTrips("loopback TCP", line);
        close(line);
    }
    ChildProgram printer(program,
                         {"--pty", "--out", dir.filePath(QStringLiteral("r")).toStdString()});
    const int line = openTerminal(lineAfter(printer, "port: "));
    roundTrips("a pseudo-terminal", line);
    close(line);
}

void outOfDescriptors(const QTemporaryDir& dir) {
    ChildProgram printer(program, {"--listen", "127.0.0.1:0", "--out",
                                   dir.filePath(QStringLiteral("d")).toStdString()});
    const int port = portOf(printer);
    rlimit limit{};
    prlimit(printer.pid(), RLIMIT_NOFILE, nullptr, &limit);
    limit.rlim_cur = static_cast<rlim_t>(lowestFreeDescriptor(printer.pid()));
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
