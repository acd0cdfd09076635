#include "answer_query.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "job_host.h"
#include "printer_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds timeUntil(Clock::time_point deadline) {
    return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(deadline - Clock::now()));
}

// Which requests an answer may belong to: its shape, and for a setting frame its identifier.
using Kind = std::pair<AnswerShape, std::uint8_t>;

Kind kindOfAnswer(AnswerShape shape, const std::string& answer) {
    if (shape != AnswerShape::SettingFrame) return {shape, 0};
    return {shape, answer.empty() ? std::uint8_t(0) : static_cast<std::uint8_t>(answer[0])};
}

}  // namespace

// Answers matched to requests. A printer answers in the order asked and each request once at
// most, so of one kind the answers fill the requests still awaited in order; an answer cannot
// belong to a request asked after it came. While more than one request of its kind is awaited,
// an answer may be a late one of the earlier: none is credited until as many answers have come
// as requests are awaited, and otherwise they are told as uncertain.
class AnswerQuery::Matcher {
public:
    explicit Matcher(QueryTrace& trace) : trace_(trace) {}

    void asked(const Question& question) { kind(kindOf(question)).awaited.push_back(&question); }
    bool awaited(const Question& question) const {
        const auto found = kinds_.find(kindOf(question));
        if (found == kinds_.end()) return false;
        const auto& waiting = found->second.awaited;
        return std::find(waiting.begin(), waiting.end(), &question) != waiting.end();
    }
    bool rejected(const Question& question) const {
        return std::find(rejected_.begin(), rejected_.end(), &question) != rejected_.end();
    }
    bool answered(const Question& question) const {
        return std::find(answered_.begin(), answered_.end(), &question) != answered_.end();
    }
    bool settled(const Question& question) const {
        return std::find(settled_.begin(), settled_.end(), &question) != settled_.end();
    }
    bool anyAwaited(const Question& like) const {
        const auto found = kinds_.find(kindOf(like));
        return found != kinds_.end() && !found->second.awaited.empty();
    }
    // A request answered in order has been answered: those asked before it and still awaited
    // never will be; answers held back for them cannot be told apart.
    void settle() {
        for (auto& [of, k] : kinds_) {
            if (of.first == AnswerShape::RealTimeStatus || k.awaited.empty()) continue;
            if (!k.arrived.empty()) {
                giveUp(*k.awaited.front());
                continue;
            }
            settled_.insert(settled_.end(), k.awaited.begin(), k.awaited.end());
            k.awaited.clear();
        }
    }
    // Whether answers of this kind can no longer be told apart.
    bool confused(const Question& question) const {
        const auto found = kinds_.find(kindOf(question));
        return found != kinds_.end() && found->second.uncertain.has_value();
    }

    // Takes every whole answer in `received`, leaving what is still to come.
    void take(std::string& received) {
        for (;;) {
            const AnswerScan scan = scanForAnswer(received);
            trace_.unrecognised += scan.unrecognised;
            received.erase(0, scan.used);
            if (!scan.shape) return;
            credit(kindOfAnswer(*scan.shape, scan.answer), scan.answer);
        }
    }

    // The wait for answers of this request's kind is over: answers held back are uncertain.
    void giveUp(const Question& question) {
        Kind_& k = kind(kindOf(question));
        if (k.arrived.empty()) return;
        UncertainAnswers uncertain;
        for (const std::string& answer : k.arrived) uncertain.bytes += answer;
        for (const Question* request : k.awaited) uncertain.requests.push_back(request->name);
        trace_.uncertain.push_back(uncertain);
        k.uncertain = trace_.uncertain.size() - 1;
        k.arrived.clear();
        k.awaited.clear();
    }

private:
    struct Kind_ {
        std::vector<const Question*> awaited;
        std::vector<std::string> arrived;  // held back, fewer than awaited
        // Where more answers of this kind go, once they can no longer be matched.
        std::optional<std::size_t> uncertain;
    };
    static Kind kindOf(const Question& question) { return {question.shape, question.frameId}; }
    Kind_& kind(const Kind& of) { return kinds_[of]; }

    void credit(const Kind& of, const std::string& answer) {
        Kind_& k = kind(of);
        if (k.uncertain) {
            trace_.uncertain[*k.uncertain].bytes += answer;
        } else if (k.awaited.empty()) {
            // Nothing asked could bring it: unasked bytes; a late name passes whole.
            if (of.first == AnswerShape::SettingFrame)
                trace_.unrecognised += "\x37" + answer + std::string(1, '\0');
            else if (of.first != AnswerShape::TextId)
                trace_.unrecognised += answer;
        } else {
            k.arrived.push_back(answer);
            if (k.arrived.size() < k.awaited.size()) return;
            for (std::size_t i = 0; i < k.arrived.size(); ++i) {
                if (k.awaited[i]->keep(k.arrived[i])) {
                    answered_.push_back(k.awaited[i]);
                    continue;
                }
                rejected_.push_back(k.awaited[i]);
                trace_.unrecognised += k.arrived[i];
            }
            k.arrived.clear();
            k.awaited.clear();
        }
    }

    QueryTrace& trace_;
    std::map<Kind, Kind_> kinds_;
    std::vector<const Question*> rejected_, answered_, settled_;
};

bool openToAsk(PrinterPort& port, const std::string& portName) {
    port.openTwoWay(portName);
    if (port.canAnswer()) return true;
    port.close();
    return false;
}

AnswerQuery::AnswerQuery(JobHost& host, PrinterPort& port)
    : host_(host),
      port_(port),
      matcher_(std::make_unique<Matcher>(trace_)),
      started_(Clock::now()),
      ends_(started_ + host.portLimits().allAnswers) {}

AnswerQuery::~AnswerQuery() = default;

bool AnswerQuery::readMore(milliseconds limit) {
    if (readInAll_ >= mostAnswerBytes) return true;
    const std::size_t before = received_.size();
    trace_.hungUp = !port_.read(received_, limit, mostAnswerBytes - readInAll_);
    readInAll_ += received_.size() - before;
    return !trace_.hungUp;
}

bool AnswerQuery::ended(const std::string& name) {
    if (!trace_.hungUp && !trace_.tooMuchData && Clock::now() < ends_) return false;
    trace_.unanswered.push_back(name);
    return true;
}

AnswerQuery::Outcome AnswerQuery::ask(const Question& question, bool laterAnswer) {
    if (matcher_->confused(question)) {
        trace_.notAskedUncertain.push_back(question.name);
        return Outcome::NotAsked;
    }
    // A printer that hung up right after its last answer is not written to.
    if (!asked_.empty()) {
        const bool alive = readMore(milliseconds(0));
        matcher_->take(received_);
        if (!alive) {
            trace_.unanswered.push_back(question.name);
            return Outcome::NotAsked;
        }
    }
    port_.write(question.bytes);
    matcher_->asked(question);
    if (std::find(asked_.begin(), asked_.end(), &question) == asked_.end())
        asked_.push_back(&question);
    const PortLimits limits = host_.portLimits();
    const auto answerDue =
        std::min(ends_, Clock::now() + (laterAnswer ? limits.laterAnswer : limits.firstAnswer));
    for (;;) {
        matcher_->take(received_);
        if (!matcher_->awaited(question)) break;
        trace_.tooMuchData = readInAll_ >= mostAnswerBytes;
        if (trace_.tooMuchData || trace_.hungUp || Clock::now() >= answerDue) {
            matcher_->giveUp(question);
            break;
        }
        readMore(timeUntil(answerDue));
    }
    return matcher_->answered(question) ? Outcome::Answered : Outcome::Unanswered;
}

void AnswerQuery::settle(const Question& barrier) {
    if (matcher_->anyAwaited(barrier) || trace_.hungUp || trace_.tooMuchData ||
        Clock::now() >= ends_)
        return;
    if (ask(barrier, true) == Outcome::Answered) matcher_->settle();
}

void AnswerQuery::tell(std::string_view bytes) {
    if (!trace_.hungUp) port_.write(bytes);
}

QueryTrace AnswerQuery::finish(bool nameUnanswered) {
    trace_.waited = std::chrono::ceil<milliseconds>(Clock::now() - started_);
    if (nameUnanswered) {
        for (const Question* question : asked_)
            if (matcher_->awaited(*question) || matcher_->rejected(*question) ||
                matcher_->settled(*question))
                trace_.unanswered.push_back(question->name);
    }
    trace_.unrecognised += received_;
    received_.clear();
    return trace_;
}
