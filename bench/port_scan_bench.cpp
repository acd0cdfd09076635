// Times the scan that fills the port list each time it drops down, on this machine's own /dev
// and /sys. The scan only reads folders, links and sysfs attributes; it opens no device.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "port_scan.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    using Clock = std::chrono::steady_clock;
    double total = 0, longest = 0;
    std::size_t found = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        found = scanPrinterPorts().size();
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        total += us;
        longest = std::max(longest, us);
    }
    for (const FoundPort& port : scanPrinterPorts()) {
        std::printf("%s [%s|%s]\n", port.path.c_str(), port.maker.c_str(), port.product.c_str());
    }
    std::printf("%-6s %6s %10s %10s\n", "ports", "rounds", "mean us", "max us");
    std::printf("%-6zu %6d %10.1f %10.1f\n", found, rounds, total / rounds, longest);
    return 0;
}
