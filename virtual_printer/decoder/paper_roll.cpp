#include "paper_roll.h"

#include <algorithm>
#include <utility>

namespace vp {

PaperRoll::PaperRoll(Paper paper, int longestReceiptDots)
    : decoder_(paper), longest_(longestReceiptDots) {}

void PaperRoll::feed(std::string_view bytes) {
    // A slice at a time, so that a long read turns into receipts as it goes rather than into
    // one long list of items first.
    constexpr std::size_t slice = 4096;
    do {
        decoder_.feed(bytes.substr(0, slice));
        collect();
        bytes.remove_prefix(std::min(slice, bytes.size()));
    } while (!bytes.empty());
}

void PaperRoll::endOfStream() {
    decoder_.finish();
    collect();
    const bool blankOnly =
        std::all_of(current_.items.begin(), current_.items.end(), [](const Item& item) {
            return std::visit(Overloaded{
                                  [](const PrintedLine& line) { return line.blank(); },
                                  [](const Barcode&) { return false; },
                                  [](const ImageBlock&) { return false; },
                                  [](const Cut&) { return false; },
                                  [](const Event&) { return false; },
                              },
                              item);
        });
    if (!blankOnly) finishCurrent();
}

void PaperRoll::setState(const PrinterState& state) {
    decoder_.setState(state);
    collect();
}

std::vector<Receipt> PaperRoll::takeFinished() {
    return std::exchange(finished_, {});
}

void PaperRoll::collect() {
    for (Item& item : decoder_.take()) {
        const bool cut = std::visit(Overloaded{
                                        [](const Cut&) { return true; },
                                        [](const PrintedLine&) { return false; },
                                        [](const Barcode&) { return false; },
                                        [](const ImageBlock&) { return false; },
                                        [](const Event&) { return false; },
                                    },
                                    item);
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
}

void PaperRoll::finishCurrent() {
    finished_.push_back(std::exchange(current_, {}));
    currentHeight_ = 0;
}

}  // namespace vp
