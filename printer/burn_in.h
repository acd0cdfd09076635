#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "printer_info.h"

class JobHost;

// A watched burn-in: rounds of the technician receipt, a cut and a drawer pulse, a status query
// between rounds on a port that can answer, the counters read before and after.

// Where a run stands, after each round.
struct BurnInProgress {
    int round = 0;  // rounds done
    int rounds = 0;
    std::chrono::milliseconds elapsed{};
    std::string lastStatus;  // one line: the last status query's finding
};

struct BurnInResult {
    int rounds = 0;      // asked for
    int roundsDone = 0;  // finished without a fault
    int receipts = 0, cuts = 0, pulses = 0;
    // The fault that ended the run and the round it came in (1-based); none when none came.
    std::optional<std::string> fault;
    int faultRound = 0;
    bool stoppedByUser = false;
    std::vector<std::chrono::milliseconds> roundTimes;
    std::optional<std::vector<CounterReading>> countersBefore, countersAfter;
    bool passed() const { return !fault && !stoppedByUser && roundsDone == rounds; }
};

// Runs `rounds` rounds (1 to 9999) on the port named by the host's selector. After each round
// `progress` is told where the run stands; it returns false to stop the run there.
BurnInResult runBurnIn(JobHost& host, int rounds,
                       const std::function<bool(const BurnInProgress&)>& progress);
