#include "printer_engine.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace vp {

PrinterEngine::PrinterEngine(Paper paper, OutputSink& out, int longestReceiptDots)
    : out_(out), decoder_(paper, *this), longest_(longestReceiptDots) {}

void PrinterEngine::feed(std::string_view bytes) {
    decoder_.feed(bytes);
}

void PrinterEngine::endOfStream() {
    decoder_.finish();
    const bool printed =
        std::any_of(current_.items.begin(), current_.items.end(), [](const Item& item) {
            if (std::holds_alternative<Event>(item)) return false;
            const auto* line = std::get_if<PrintedLine>(&item);
            return line == nullptr || !line->blank();
        });
    if (printed) {
        finishCurrent();
        return;
    }
    // A stream that printed nothing (a status query, a drawer pulse) is no receipt: what
    // happened is listed on its own, and the blank paper fed stays for the next receipt.
    std::vector<Item> kept;
    for (Item& item : current_.items) {
        if (const auto* event = std::get_if<Event>(&item))
            out_.event(event->text);
        else
            kept.push_back(std::move(item));
    }
    current_.items = std::move(kept);
}

void PrinterEngine::setState(const PrinterState& state, std::string_view cause) {
    const PrinterState before = decoder_.state();
    if (state == before) return;
    for (const std::string& change : describeChanges(before, state))
        out_.event(change + std::string(cause));
    decoder_.setState(state);
}

void PrinterEngine::item(Item&& item) {
    const bool cut = std::holds_alternative<Cut>(item);
    currentHeight_ += heightDots(item);
    current_.items.push_back(std::move(item));
    if (cut) {
        finishCurrent();
    } else if (currentHeight_ > longest_) {
        // Paper that never gets cut would make one endless picture.
        current_.items.push_back(
            Event{"picture ends here: longer than " + std::to_string(longest_) + " dots"});
        finishCurrent();
    }
}

void PrinterEngine::finishCurrent() {
    const std::size_t items = current_.items.size();
    out_.receiptEnded(std::exchange(current_, {}));
    currentHeight_ = 0;
    // Receipts of one stream are much alike: room for as many items as the last one had.
    current_.items.reserve(items);
}

}  // namespace vp
