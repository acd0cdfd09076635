#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "printed_items.h"

namespace vp {

// What the printer has done, as GS g 2 reports it: paper fed in lines, dot rows the head
// energized to print, cuts, and hours running. Each is kept twice, as a counter GS g 0
// resets and as one that only grows; both start at nothing when the program starts, the
// simulated printer's first power on.
class MaintenanceCounters {
public:
    using Clock = std::chrono::steady_clock;
    // A line of the counters is a feed at the default line spacing, 30 dots (3.75 mm).
    static constexpr int dotsPerLine = 30;

    explicit MaintenanceCounters(Clock::time_point started = Clock::now())
        : started_(started), resetAt_(started) {}

    // Counts what an item took: the paper it fed, the rows the head printed, a cut.
    void count(const Item& item);
    // GS g 0: the resettable counter `number` (20, 21, 50, 70) starts again; false for any
    // other number.
    bool reset(int number, Clock::time_point now = Clock::now());
    // GS g 2: the counter's value, none for a number the printer does not have.
    std::optional<std::uint64_t> value(int number, Clock::time_point now = Clock::now()) const;

private:
    struct Counts {
        std::uint64_t fedDots = 0, energized = 0, cuts = 0;
    };
    Counts resettable_, cumulative_;
    Clock::time_point started_, resetAt_;
};

}  // namespace vp
