#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "printed_items.h"

namespace vp {

// Where the simulated printer puts everything it does, as it does it: the program writes
// replies back on the line, opens the drawer, shows receipts and lists events. Nothing is
// queued for anyone to fetch. The calls come in stream order, from inside feed() and
// setState(); a sink must not feed the printer from them.
class OutputSink {
public:
    virtual ~OutputSink() = default;

    // Something printed, or an event about the receipt printing now. The sink may keep it.
    virtual void item(Item&& item) { (void)item; }
    // A receipt is over: at a cut, at the end of its stream, or at the longest picture.
    virtual void receiptEnded(Receipt&& receipt) { (void)receipt; }
    // Bytes the printer sends back on its line: status replies, IDs, automatic status back.
    virtual void reply(std::string_view bytes) { (void)bytes; }
    // A drawer kick pulse: the program raises the drawer sensor for a while.
    virtual void drawerPulse() {}
    // Something that happened to the printer outside any receipt, e.g. "cover-open set".
    virtual void event(const std::string& text) { (void)text; }
};

// Keeps what the printer put out until it is taken: for tests, benchmarks, and whoever looks
// at the output only after a stream.
class RecordingSink : public OutputSink {
public:
    void item(Item&& item) override { items_.push_back(std::move(item)); }
    void receiptEnded(Receipt&& receipt) override { receipts_.push_back(std::move(receipt)); }
    void reply(std::string_view bytes) override { replies_ += bytes; }
    void drawerPulse() override { ++drawerPulses_; }
    void event(const std::string& text) override { events_.push_back(text); }

    std::vector<Item> takeItems() { return std::exchange(items_, {}); }
    std::vector<Receipt> takeReceipts() { return std::exchange(receipts_, {}); }
    std::string takeReplies() { return std::exchange(replies_, {}); }
    int takeDrawerPulses() { return std::exchange(drawerPulses_, 0); }
    std::vector<std::string> takeEvents() { return std::exchange(events_, {}); }

private:
    std::vector<Item> items_;
    std::vector<Receipt> receipts_;
    std::string replies_;
    int drawerPulses_ = 0;
    std::vector<std::string> events_;
};

}  // namespace vp
