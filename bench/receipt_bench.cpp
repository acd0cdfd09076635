// Prints each test receipt to a pseudo-terminal and reports wall time and
// processor time per receipt. The host waits in its event pump as the window
// does, so processor time shows what a receipt costs beyond its pauses.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "job_host.h"
#include "test_receipts.h"

namespace {

class BenchHost : public JobHost {
public:
    explicit BenchHost(std::string port) : port_(std::move(port)) {}
    std::string portName() override { return port_; }
    void pumpEvents(std::chrono::milliseconds waitUpTo) override {
        std::this_thread::sleep_for(waitUpTo);
    }
    void showInformation(std::string_view, std::string_view text) override { fail(text); }
    void showCritical(std::string_view, std::string_view text) override { fail(text); }

private:
    static void fail(std::string_view text) {
        std::fprintf(stderr, "receipt failed: %.*s\n", static_cast<int>(text.size()), text.data());
        std::exit(1);
    }
    std::string port_;
};

double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
    const std::string slave = ptsname(master);
    const int keepOpen = open(slave.c_str(), O_RDWR | O_NOCTTY);

    const std::pair<const char*, ReceiptVariant (*)()> layouts[] = {
        {"technician", TechnicianReceipt},
        {"welcome", WelcomeReceipt},
        {"brochure", BrochureReceipt},
    };
    std::printf("%-11s %6s %12s %12s %12s\n", "receipt", "rounds", "wall s", "cpu s", "cpu s max");
    for (const auto& [name, make] : layouts) {
        double wall = 0, cpu = 0, cpuMax = 0;
        for (int i = 0; i < rounds; ++i) {
            BenchHost host(slave);
            const auto wallStart = std::chrono::steady_clock::now();
            const double cpuStart = processorSeconds();
            TestReceiptJob(host, make());
            const double cpuUsed = processorSeconds() - cpuStart;
            wall +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
            cpu += cpuUsed;
            cpuMax = std::max(cpuMax, cpuUsed);
            // Drain what arrived so the terminal never fills.
            char sink[4096];
            pollfd readable{master, POLLIN, 0};
            while (poll(&readable, 1, 0) > 0 && read(master, sink, sizeof sink) > 0) {
            }
        }
        std::printf("%-11s %6d %12.4f %12.5f %12.5f\n", name, rounds, wall / rounds, cpu / rounds,
                    cpuMax);
    }
    close(keepOpen);
    close(master);
    return 0;
}
