#pragma once

// What both receipt benchmarks need: a pseudo-terminal for the receipts to
// go to, and the process's processor time.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>

inline double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A pseudo-terminal that stands for the printer. Its slave side stays open
// between receipts, so that a job's close never hangs up the line.
class PrinterTerminal {
public:
    PrinterTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        path_ = ptsname(master_);
        slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    }
    ~PrinterTerminal() {
        close(slave_);
        close(master_);
    }
    const std::string& path() const { return path_; }
    // Throws away what arrived, so the terminal never fills up.
    void drain() const {
        char sink[4096];
        pollfd readable{master_, POLLIN, 0};
        while (poll(&readable, 1, 0) > 0 && read(master_, sink, sizeof sink) > 0) {
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

inline void printTimesHeader() {
    std::printf("%-11s %6s %12s %12s %12s\n", "receipt", "rounds", "wall s", "cpu s", "cpu s max");
}

// Prints one receipt `rounds` times and a line with its mean wall time, mean
// processor time and largest processor time.
inline void timeReceipt(const char* name, int rounds, const PrinterTerminal& printer,
                        const std::function<void()>& printOne) {
    using Clock = std::chrono::steady_clock;
    double wall = 0, cpu = 0, cpuMax = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto wallStart = Clock::now();
        const double cpuStart = processorSeconds();
        printOne();
        const double cpuUsed = processorSeconds() - cpuStart;
        wall += std::chrono::duration<double>(Clock::now() - wallStart).count();
        cpu += cpuUsed;
        cpuMax = std::max(cpuMax, cpuUsed);
        printer.drain();
    }
    std::printf("%-11s %6d %12.4f %12.5f %12.5f\n", name, rounds, wall / rounds, cpu / rounds,
                cpuMax);
}
