#pragma once

// What both receipt benchmarks share: the process's processor time, and the
// timing of one receipt printed over and over to a pseudo-terminal.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "pseudo_terminal.h"

inline double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

inline void printTimesHeader() {
    std::printf("%-11s %6s %12s %12s %12s\n", "receipt", "rounds", "wall s", "cpu s", "cpu s max");
}

// Prints one receipt `rounds` times and a line with its mean wall time, mean
// processor time and largest processor time.
inline void timeReceipt(const char* name, int rounds, PseudoTerminal& printer,
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
