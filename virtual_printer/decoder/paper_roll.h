#pragma once

#include <string_view>
#include <vector>

#include "escpos_decoder.h"
#include "printed_items.h"

namespace vp {

// Cuts the decoded paper into receipts: one ends at a cut, or when its stream has ended
// (the program decides when: its connection closed and stayed quiet). Blank paper fed after
// the last receipt is not a receipt of its own; it stays at the top of the next one.
class PaperRoll {
public:
    explicit PaperRoll(Paper paper, int longestReceiptDots = 20000);

    void feed(std::string_view bytes);
    void endOfStream();
    // Sets the printer's state; what it held meanwhile prints now if it can.
    void setState(const PrinterState& state);

    // Receipts finished since the last call, oldest first.
    std::vector<Receipt> takeFinished();
    // The receipt printing now: what has been printed of it so far.
    const Receipt& current() const { return current_; }
    const Paper& paper() const { return decoder_.paper(); }
    // The printer behind the paper: its state, replies and drawer pulses.
    Decoder& decoder() { return decoder_; }

private:
    void collect();
    void finishCurrent();

    Decoder decoder_;
    Receipt current_;
    int currentHeight_ = 0;
    int longest_;
    std::vector<Receipt> finished_;
};

}  // namespace vp
