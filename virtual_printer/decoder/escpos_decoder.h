#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "printed_items.h"
#include "printer_state.h"

namespace vp {

// Reads an ESC/POS byte stream the way a Chinese-market receipt printer does and lays out
// what it prints. Bytes may come in any chunks: a command split across two calls of feed()
// decodes exactly as if it had come in one. Print modes persist across receipts and
// connections, as they do in the printer, until ESC @.
class Decoder {
public:
    explicit Decoder(Paper paper);

    void feed(std::string_view bytes);
    // The stream has paused for good (the receipt is over): a command still incomplete is
    // shown as truncated, and text still waiting for its line feed is printed with an event
    // saying so, since a printer would hold it back.
    void finish();
    // Items completed since the last call, in stream order.
    std::vector<Item> take();

    const Paper& paper() const { return paper_; }

    // The simulated printer's faults and sensors. Setting them may queue a reply (automatic
    // status back, when enabled and something it reports changed) and, when printing can go on
    // again, decodes what was held meanwhile.
    void setState(const PrinterState& state);
    const PrinterState& state() const { return state_; }
    // Bytes the printer sends back on its line (status replies, IDs, automatic status back),
    // in the order they arose, since the last call. The byte source writes them at once.
    std::string takeReplies();
    // Drawer kick pulses decoded since the last call: the program raises the drawer sensor
    // for a while after each.
    int takeDrawerPulses();
    // False while the printer holds as much unprinted data as its receive buffer takes: the
    // byte source should stop reading until the state changes.
    bool acceptsBytes() const { return true; }

private:
    struct Modes {
        Font font = Font::A;
        bool emphasised = false;
        bool doubleStrike = false;
        std::uint8_t underline = 0;
        std::uint8_t widthScale = 1, heightScale = 1;
        std::uint8_t kanjiUnderline = 0;
        std::uint8_t kanjiWidthScale = 1, kanjiHeightScale = 1;
        bool reverse = false;
        bool kanji = true;  // Chinese-market printers start in Kanji mode
        int codeTable = 0;
        int rightSpacing = 0;
        int kanjiLeftSpacing = 0, kanjiRightSpacing = 0;
        int lineSpacing = 30;
        Align align = Align::Left;
        int moduleWidth = 3;
        int barHeight = 162;
        HriPosition hri = HriPosition::None;
        Font hriFont = Font::A;
    };
    struct PendingLine {
        std::vector<Run> runs;
        int width = 0;
        bool started = false;  // something placed: alignment is now fixed for this line
        Align align = Align::Left;
    };

    // Decodes one element at the start of `in`; returns the bytes it used, or 0 when `in`
    // ends before the element does.
    std::size_t step(std::string_view in);
    std::size_t escape(std::string_view in);
    std::size_t groupSeparator(std::string_view in);
    std::size_t fileSeparator(std::string_view in);
    std::size_t dataLinkEscape(std::string_view in);
    std::size_t text(std::string_view in);
    std::size_t knownCommand(std::string_view in);
    std::size_t barcode(std::string_view in);

    void place(Run::Kind kind, char32_t character);
    void placeRun(Run run);
    void startLine();
    void printLine(int feedDots);
    void cut(bool partial, std::string_view bytes, int feedDots = 0);
    void mark(std::string_view bytes, std::string event);
    // Marks a command whose parameter is out of range; the bytes after it are read afresh.
    std::size_t invalid(std::string_view in, std::size_t length);
    void note(std::string event);

    Paper paper_;
    Modes modes_;
    PendingLine line_;
    std::string pending_;        // bytes of an element that has not fully arrived
    std::size_t skip_ = 0;       // data bytes of a command that is not drawn, still to come
    std::string skipping_;       // that command's start, for the truncation event
    bool nulMayFollow_ = false;  // a fixed-length barcode ended without its optional NUL
    std::vector<Item> out_;
    PrinterState state_;
    std::string replies_;
    int drawerPulses_ = 0;
};

}  // namespace vp
