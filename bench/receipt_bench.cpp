// Prints each test receipt to a pseudo-terminal and to a network printer on
// 127.0.0.1, and reports wall time and processor time per receipt; then the
// time a job takes to be told "connection refused". The host sleeps in its
// event pump as the window waits in its own, so processor time shows what a
// receipt costs beyond its pauses.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench_support.h"
#include "device_commands.h"
#include "fake_host.h"
#include "loopback_printer.h"
#include "pseudo_terminal.h"
#include "receipts.h"

namespace {

struct Layout {
    const char* name;
    ReceiptVariant (*make)();
};
const Layout layouts[] = {
    {"technician", TechnicianReceipt},
    {"welcome", WelcomeReceipt},
    {"brochure", BrochureReceipt},
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    FakeHost host;

    std::printf("to a pseudo-terminal:\n");
    PseudoTerminal terminal;
    host.port = terminal.slavePath;
    printTimesHeader();
    for (const Layout& layout : layouts) {
        timeReceipt(
            layout.name, rounds, [&] { TestReceiptJob(host, layout.make()); },
            [&] { terminal.drain(); });
    }

    std::printf("to a network printer on 127.0.0.1 (two connections a receipt):\n");
    LoopbackPrinter printer;
    host.port = printer.address();
    printTimesHeader();
    for (const Layout& layout : layouts) {
        timeReceipt(
            layout.name, rounds, [&] { TestReceiptJob(host, layout.make()); }, [] {});
    }

    host.port = "127.0.0.1:" + std::to_string(refusingLoopbackPort());
    double slowest = 0, total = 0;
    const std::size_t boxesBefore = host.boxes.size();
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        CutPaperJob(host);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        total += ms;
        slowest = std::max(slowest, ms);
    }
    const std::size_t refusals = host.boxes.size() - boxesBefore;
    std::printf("connection refused reported after %.3f ms mean, %.3f ms max (%d rounds)\n",
                total / rounds, slowest, rounds);
    if (refusals != static_cast<std::size_t>(rounds)) {
        std::fprintf(stderr, "expected %d refusals, got %zu\n", rounds, refusals);
        return 1;
    }
    host.boxes.resize(boxesBefore);
    for (const FakeHost::Box& box : host.boxes) {
        std::fprintf(stderr, "receipt failed: %s\n", box.text.c_str());
    }
    return host.boxes.empty() ? 0 : 1;
}
