#pragma once

#include <cstddef>
#include <string_view>

#include "escpos_decoder.h"
#include "output_sink.h"
#include "printed_items.h"
#include "printer_state.h"

namespace vp {

// The simulated printer: the decoder, the paper roll it prints on, and the printer's state,
// of which this is the one copy. What it does goes to its sink as it happens: receipts as
// they end, replies, drawer pulses, and each change of state as an event. It holds no timer
// and no connection: the program moves bytes into it and runs the clocks.
//
// The roll cuts the paper into receipts: one ends at a cut, or when its stream has ended
// (the program decides when: its connection closed and stayed quiet). Blank paper fed after
// the last receipt is not a receipt of its own; it stays at the top of the next one.
class PrinterEngine : private OutputSink {
public:
    PrinterEngine(Paper paper, OutputSink& out, int longestReceiptDots = 20000);

    void feed(std::string_view bytes);
    // Answers the real-time requests in bytes the printer has no room for yet (Decoder).
    void frameAhead(std::string_view bytes) { decoder_.frameAhead(bytes); }
    std::size_t framedAhead() const { return decoder_.framedAhead(); }
    void endOfStream();
    // Sets the printer's state, listing each difference as an event, with `cause` after it
    // (" by a drawer pulse"); what it held meanwhile prints now if it can.
    void setState(const PrinterState& state, std::string_view cause = {});
    const PrinterState& state() const { return decoder_.state(); }
    // The printer switched off and on (Decoder::powerCycle); endOfStream() ends the receipt.
    void powerCycle() { decoder_.powerCycle(); }
    bool hexDumping() const { return decoder_.hexDumping(); }

    // The receipt printing now: what has been printed of it so far.
    const Receipt& current() const { return current_; }
    const Paper& paper() const { return decoder_.paper(); }
    // Whether the printer takes more bytes now, and how many the next feed() keeps.
    bool acceptsBytes() const { return decoder_.acceptsBytes(); }
    std::size_t room() const { return decoder_.room(); }

private:
    // What the decoder puts out: items go onto the roll, the rest straight on.
    void item(Item&& item) override;
    void reply(std::string_view bytes) override { out_.reply(bytes); }
    void drawerPulse() override { out_.drawerPulse(); }
    void finishCurrent();

    OutputSink& out_;
    Decoder decoder_;
    Receipt current_;
    int currentHeight_ = 0;
    int longest_;
};

}  // namespace vp
