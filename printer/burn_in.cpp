#include "burn_in.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <utility>

#include "device_commands.h"
#include "job_host.h"
#include "job_steps.h"
#include "printer_status.h"
#include "receipts.h"
#include "status_json.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool bit(std::uint8_t byte, int n) {
    return (byte >> n & 1) != 0;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "、") + part;
    return text;
}

// The jobs of a run, on the port the run started with, whatever the selector is edited to
// meanwhile; the boxes a job would show become the run's fault instead, so that a failure ends
// the run once, named with its round, rather than in a box of its own.
class RunHost : public JobHost {
public:
    RunHost(JobHost& host, std::string port) : host_(host), port_(std::move(port)) {}

    std::string portName() override { return port_; }
    void pumpEvents(milliseconds waitUpTo) override { host_.pumpEvents(waitUpTo); }
    bool waitOnDevice(int fd, short events, milliseconds limit) override {
        return host_.waitOnDevice(fd, events, limit);
    }
    PortLimits portLimits() const override { return host_.portLimits(); }
    void showInformation(std::string_view, std::string_view text) override { keep(text); }
    void showCritical(std::string_view, std::string_view text) override { keep(text); }

    // The first box's text, without the failure box's lead-in.
    std::optional<std::string> failure;

private:
    void keep(std::string_view text) {
        constexpr std::string_view leadIn = "出错提示:";
        if (text.substr(0, leadIn.size()) == leadIn) text.remove_prefix(leadIn.size());
        if (!failure) failure = std::string(text);
    }

    JobHost& host_;
    std::string port_;
};

// What a status query found wrong, in the order a technician mends it; empty when nothing.
std::vector<std::string> faultsIn(const StatusFindings& findings, bool answeredBefore) {
    const PrinterAnswers& a = findings.answers;
    std::vector<std::string> faults;
    if (!a.printer) {
        // Parallel ports and USB printers tell paper, selection and errors on their lines.
        if (const std::optional<int> lines = findings.portLines) {
            if (*lines & 0x20) faults.emplace_back("缺纸");
            if (!(*lines & 0x10)) faults.emplace_back("未选中(脱机)");
            if (!(*lines & 0x08)) faults.emplace_back("有错误");
        } else if (answeredBefore) {
            faults.emplace_back(findings.hungUp ? "打印机断开了连接" : "打印机不再应答");
        }
        return faults;
    }
    if (a.offlineCause && bit(*a.offlineCause, 2)) faults.emplace_back("上盖打开");
    if (const std::optional<PaperLeft> paper = paperLeft(a); paper && *paper != PaperLeft::Fine)
        faults.emplace_back(*paper == PaperLeft::Out ? "纸用完" : "纸将尽");
    if (a.errorCause) {
        for (const auto& [n, name] :
             {std::pair{3, "切刀错误"}, std::pair{5, "不可恢复错误"},
              std::pair{6, "可自动恢复错误(如打印头过热)"}, std::pair{2, "可恢复错误"}})
            if (bit(*a.errorCause, n)) faults.emplace_back(name);
    } else if (a.offlineCause && bit(*a.offlineCause, 6)) {
        faults.emplace_back("有错误");
    }
    if (bit(*a.printer, 3) && faults.empty()) faults.emplace_back("脱机");
    return faults;
}

milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

std::string secondsOf(milliseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(time.count()) / 1000);
    return text;
}

}  // namespace

BurnInResult runBurnIn(JobHost& host, int rounds,
                       const std::function<bool(const BurnInProgress&)>& progress) {
    BurnInResult result;
    result.rounds = rounds;
    const auto started = Clock::now();
    auto faultIn = [&](int round, std::string fault) {
        result.fault = std::move(fault);
        result.faultRound = round;
    };
    if (rounds < 1 || rounds > mostBurnInRounds) {
        faultIn(1, burnInRoundsRefusal());
        return result;
    }

    std::string port;
    try {
        port = host.portName();
    } catch (const std::exception& failure) {
        faultIn(1, failure.what());
        return result;
    }
    RunHost run(host, port);
    if (!PortCheck(run)) {
        faultIn(1, run.failure.value_or(""));
        return result;
    }

    // A status query on a port that can answer; a port that cannot (a file, a pipe) or a printer
    // that never answered, with no status lines either, is printed to without one.
    bool asking = true, answered = false;
    std::string lastStatus;
    auto statusFault = [&]() -> std::optional<std::string> {
        if (!asking) return std::nullopt;
        std::optional<StatusFindings> findings;
        try {
            findings = askPrinterStatus(run, port);
            // A printer that has answered before may be late, or lose an answer, while it still
            // cuts and feeds the round's paper: it is asked twice more before it counts as silent.
            for (int again = 0; again < 2 && findings && answered && !findings->answers.printer &&
                                !findings->hungUp;
                 ++again)
                findings = askPrinterStatus(run, port);
        } catch (const std::exception& failure) {
            return std::string(failure.what());
        }
        if (!findings) {
            asking = false;
            lastStatus = "端口不能应答，不查状态";
            return std::nullopt;
        }
        const std::vector<std::string> faults = faultsIn(*findings, answered);
        answered = answered || findings->answers.printer;
        if (!answered && !findings->portLines) {
            asking = false;
            lastStatus = "打印机没有应答，不查状态";
            return std::nullopt;
        }
        lastStatus = faults.empty() ? "正常" : joined(faults);
        if (faults.empty()) return std::nullopt;
        return lastStatus;
    };
    auto readCounters = [&]() -> std::optional<std::vector<CounterReading>> {
        try {
            return askPrinterCounters(run, port);
        } catch (const std::exception&) {
            return std::nullopt;  // the status query after the last round tells the failure
        }
    };

    result.countersBefore = readCounters();
    // Before the first round too: a printer found faulty is not printed to.
    std::optional<std::string> fault = statusFault();
    if (fault) faultIn(1, *fault);
    const ReceiptVariant receipt = TechnicianReceipt();
    const std::pair<std::function<bool()>, int*> steps[] = {
        {[&] { return TestReceiptJob(run, receipt); }, &result.receipts},
        {[&] { return CutPaperJob(run); }, &result.cuts},
        {[&] { return DrawerPulseJob(run); }, &result.pulses},
    };
    for (int round = 1; !fault && round <= rounds; ++round) {
        const auto roundStarted = Clock::now();
        for (const auto& [job, written] : steps) {
            if (!job()) {
                fault = run.failure.value_or("写入失败");
                break;
            }
            ++*written;
        }
        if (fault) {
            faultIn(round, *fault);
            break;
        }
        host.pumpEvents();
        const bool goOn = !progress || progress({round, rounds, since(started), lastStatus});
        // Asked after a stop too: the round that ends the run is checked like the others.
        if ((fault = statusFault())) {
            faultIn(round, *fault);
            break;
        }
        result.roundTimes.push_back(since(roundStarted));
        result.roundsDone = round;
        if (!goOn) {
            result.stoppedByUser = round < rounds;
            break;
        }
    }
    result.countersAfter = readCounters();
    result.lastStatus = lastStatus;
    result.elapsed = since(started);
    return result;
}

std::string burnInRoundsRefusal() {
    return "烧机轮数须为1到" + std::to_string(mostBurnInRounds) + "之间的整数！";
}

BurnInTimes roundTimesOf(const BurnInResult& result) {
    std::vector<milliseconds> times = result.roundTimes;
    if (times.empty()) return {};
    std::sort(times.begin(), times.end());
    const std::size_t middle = times.size() / 2;
    const milliseconds median =
        times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    return {times.front(), median, times.back()};
}

std::string burnInProgressLine(const BurnInProgress& progress) {
    return "第 " + std::to_string(progress.round) + "/" + std::to_string(progress.rounds) +
           " 轮  已用 " + secondsOf(progress.elapsed) +
           (progress.lastStatus.empty() ? "" : "  状态：" + progress.lastStatus);
}

std::string burnInSummaryText(const BurnInResult& result) {
    std::string text = "烧机：" + std::to_string(result.roundsDone) + "/" +
                       std::to_string(result.rounds) + " 轮通过";
    if (result.fault)
        text += "，第 " + std::to_string(result.faultRound) + " 轮出错：" + *result.fault;
    else if (result.stoppedByUser)
        text += "，第 " + std::to_string(result.roundsDone) + " 轮后停止";
    text += result.passed() ? "；合格\n" : "；不合格\n";
    text += "写入：小票 " + std::to_string(result.receipts) + " 张，切纸 " +
            std::to_string(result.cuts) + " 次，钱箱脉冲 " + std::to_string(result.pulses) +
            " 次；共用 " + secondsOf(result.elapsed) + "\n";
    if (const BurnInTimes times = roundTimesOf(result); !result.roundTimes.empty())
        text += "每轮用时：最短 " + secondsOf(times.shortest) + "，中位 " +
                secondsOf(times.median) + "，最长 " + secondsOf(times.longest) + "\n";
    if (!result.lastStatus.empty()) text += "最后状态：" + result.lastStatus + "\n";
    const std::vector<BurnInCounter> counters = countersOf(result);
    if (counters.empty()) {
        text += "计数器：未读到\n";
        return text;
    }
    text += "计数器(之前 → 之后，差)：\n";
    auto shown = [](const std::optional<std::uint64_t>& value) {
        return value ? std::to_string(*value) : std::string("未读到");
    };
    for (const BurnInCounter& counter : counters) {
        text += "  " + counterName(counter.number) + "：" + shown(counter.before) + " → " +
                shown(counter.after) + "，" +
                (counter.difference() ? std::string("+") + std::to_string(*counter.difference())
                                      : std::string("—")) +
                "\n";
    }
    return text;
}

std::vector<BurnInCounter> countersOf(const BurnInResult& result) {
    std::vector<BurnInCounter> counters;
    auto entry = [&](int number) -> BurnInCounter& {
        for (BurnInCounter& counter : counters)
            if (counter.number == number) return counter;
        return counters.emplace_back(BurnInCounter{number, std::nullopt, std::nullopt});
    };
    for (const CounterReading& reading :
         result.countersBefore.value_or(std::vector<CounterReading>{}))
        entry(reading.number).before = reading.value;
    for (const CounterReading& reading :
         result.countersAfter.value_or(std::vector<CounterReading>{}))
        entry(reading.number).after = reading.value;
    return counters;
}

std::string counterName(int number) {
    const char* what = nullptr;
    switch (number % 128) {
        case 20:
            what = "进纸行数";
            break;
        case 21:
            what = "打印头通电次数";
            break;
        case 50:
            what = "切刀次数";
            break;
        case 70:
            what = "工作小时";
            break;
    }
    const std::string name = what ? what : "计数器";
    return name + "(" + std::to_string(number) + "，" + (number >= 128 ? "累计" : "可清零") + ")";
}

namespace {

std::string jsonNumber(const std::optional<std::uint64_t>& value) {
    return value ? std::to_string(*value) : "null";
}

}  // namespace

std::string burnInJson(const std::string& port, const BurnInResult& result) {
    std::string json =
        "{\"port\":" + jsonString(port) + ",\"rounds\":" + std::to_string(result.rounds) +
        ",\"rounds_done\":" + std::to_string(result.roundsDone) +
        ",\"passed\":" + (result.passed() ? "true" : "false") +
        ",\"fault\":" + (result.fault ? jsonString(*result.fault) : "null") +
        ",\"fault_round\":" + (result.fault ? std::to_string(result.faultRound) : "null") +
        ",\"stopped\":" + (result.stoppedByUser ? "true" : "false") +
        ",\"receipts\":" + std::to_string(result.receipts) +
        ",\"cuts\":" + std::to_string(result.cuts) +
        ",\"pulses\":" + std::to_string(result.pulses) +
        ",\"elapsed_ms\":" + std::to_string(result.elapsed.count());
    const BurnInTimes times = roundTimesOf(result);
    json +=
        ",\"round_ms\":" + (result.roundTimes.empty()
                                ? std::string("null")
                                : "{\"min\":" + std::to_string(times.shortest.count()) +
                                      ",\"median\":" + std::to_string(times.median.count()) +
                                      ",\"max\":" + std::to_string(times.longest.count()) + "}");
    json +=
        ",\"last_status\":" + (result.lastStatus.empty() ? "null" : jsonString(result.lastStatus));
    json += ",\"counters\":[";
    bool first = true;
    for (const BurnInCounter& counter : countersOf(result)) {
        json += std::string(first ? "" : ",") + "{\"number\":" + std::to_string(counter.number) +
                ",\"before\":" + jsonNumber(counter.before) +
                ",\"after\":" + jsonNumber(counter.after) +
                ",\"difference\":" + jsonNumber(counter.difference()) + "}";
        first = false;
    }
    return json + "]}";
}
