#pragma once

#include <chrono>
#include <cstdint>
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
    std::chrono::milliseconds elapsed{};  // the whole run, counters included
    std::string lastStatus;               // the last status query's finding, as in the progress
    bool passed() const { return !fault && !stoppedByUser && roundsDone == rounds; }
};

inline constexpr int mostBurnInRounds = 9999;

// Runs `rounds` rounds (1 to 9999) on the port named by the host's selector. After each round
// `progress` is told where the run stands; it returns false to stop the run there.
//
// A round is the technician receipt, a cut and a drawer pulse, each the window's own job, on the
// port named when the run started. On a port that can answer, the status is asked before the
// first round and after each one; a fault it finds (offline, cover open, paper near its end or
// out, an error, a printer that stops answering) ends the run in that round, as does a job that
// fails. A stop asked by `progress` ends it after the round's status query. No box is shown:
// what went wrong is the result's fault.
BurnInResult runBurnIn(JobHost& host, int rounds,
                       const std::function<bool(const BurnInProgress&)>& progress);

// "烧机轮数须为1到9999之间的整数！"
std::string burnInRoundsRefusal();

struct BurnInTimes {
    std::chrono::milliseconds shortest{}, median{}, longest{};
};
// Of the rounds done; all zero when none was.
BurnInTimes roundTimesOf(const BurnInResult& result);

// One counter as read before and after the run.
struct BurnInCounter {
    int number = 0;
    std::optional<std::uint64_t> before, after;
    std::optional<std::uint64_t> difference() const {
        if (!before || !after || *after < *before) return std::nullopt;
        return *after - *before;
    }
};
// Every counter read before or after, in the order read.
std::vector<BurnInCounter> countersOf(const BurnInResult& result);
// "切刀次数(178，累计)".
std::string counterName(int number);

// "第 3/10 轮  已用 2.01 s  状态：正常": a line of the command line's progress.
std::string burnInProgressLine(const BurnInProgress& progress);
// What the window and the command line show at the end: rounds done and how the run ended,
// what was written, the time per round, the last status, the counters before and after and
// their difference; in Chinese.
std::string burnInSummaryText(const BurnInResult& result);
// The result as one JSON object on one line, for scripts: `rounds`, `rounds_done`, `passed`,
// `fault` and `fault_round` (null when none), `stopped`, `receipts`, `cuts`, `pulses`,
// `elapsed_ms`, `round_ms` (`min`, `median`, `max`; null when no round was done),
// `last_status`, and `counters` (`number`, `before`, `after`, `difference`; null where unread).
std::string burnInJson(const std::string& port, const BurnInResult& result);
