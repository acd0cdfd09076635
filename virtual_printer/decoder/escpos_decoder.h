#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "maintenance_counters.h"
#include "output_sink.h"
#include "printed_items.h"
#include "printer_state.h"
#include "two_d_symbols.h"

namespace vp {

// Reads an ESC/POS byte stream the way a Chinese-market receipt printer does and lays out
// what it prints, putting items, replies and drawer pulses into its sink as they arise. Bytes
// may come in any chunks: a command split across two calls of feed() decodes exactly as if it
// had come in one. Print modes persist across receipts and connections, as they do in the
// printer, until ESC @.
class Decoder {
public:
    // The most data one command may carry and still be drawn: a picture the height of a long
    // receipt on the widest paper fits. Longer data is passed over as it streams, never held.
    static constexpr std::size_t largestDataBlock = 1 << 20;
    // What the printer keeps of a stream while it cannot print.
    static constexpr std::size_t receiveBufferBytes = 64 << 10;
    // The room for NV graphics, and as much again for download graphics, in bytes of their
    // dots: fixed, as a printer's memory is.
    static constexpr std::size_t graphicsCapacity = 1 << 20;
    Decoder(Paper paper, OutputSink& sink);

    void feed(std::string_view bytes);
    // Acts on the real-time requests in the bytes that follow what was fed, which the printer
    // has no room for yet: it answers them even then. The bytes are fed later as usual, and
    // their requests are not answered again.
    void frameAhead(std::string_view bytes);
    // How many bytes after what was fed have been framed ahead; finish() forgets them.
    std::size_t framedAhead() const { return framedAhead_; }
    // The stream has paused for good (the receipt is over): a command still incomplete is
    // shown as truncated, and text still waiting for its line feed is printed with an event
    // saying so, since a printer would hold it back. Bytes held while the printer could not
    // print are left alone: they have not printed yet, so the receipt goes on with them.
    void finish();

    const Paper& paper() const { return paper_; }

    // The printer switched off and on: a row of hex dump not yet printed is printed, and it
    // starts as at power on, out of hex dump and user setting mode, its modes and buffers
    // reset. What it keeps in non-volatile memory (settings, NV graphics) and the counters
    // stay.
    void powerCycle();
    // In hex dump mode (GS ( A) it prints every byte it receives as hex and executes none.
    bool hexDumping() const { return hexDump_; }
    const MaintenanceCounters& counters() const { return sink_.counters; }

    // The simulated printer's faults and sensors. Setting them may send a reply (automatic
    // status back, when enabled and something it reports changed) and, when printing can go on
    // again, decodes what was held meanwhile.
    void setState(const PrinterState& state);
    const PrinterState& state() const { return state_; }
    // False while the printer holds as much unprinted data as its receive buffer takes: the
    // byte source should stop reading until the state changes.
    bool acceptsBytes() const { return room() > 0; }
    // How many bytes the next feed() keeps; any beyond are lost, as on a printer whose host
    // ignores its busy signal.
    std::size_t room() const {
        return state_.printing() ? std::numeric_limits<std::size_t>::max()
                                 : receiveBufferBytes - held_.size();
    }

private:
    struct Modes {
        Font font = Font::A;
        bool emphasised = false;
        bool doubleStrike = false;
        std::uint8_t underline = 0;
        std::uint8_t widthScale = 1, heightScale = 1;
        std::uint8_t kanjiUnderline = 0;
        std::uint8_t kanjiWidthScale = 1, kanjiHeightScale = 1;
        bool turned = false, upsideDown = false;  // ESC V, ESC {
        bool reverse = false;
        bool kanji = true;  // Chinese-market printers start in Kanji mode
        int codeTable = 0;
        int rightSpacing = 0;
        int kanjiLeftSpacing = 0, kanjiRightSpacing = 0;
        int lineSpacing = 30;  // in dots, whatever the unit it was given in
        // GS P: the motion units are 1/x and 1/y inch.
        int horizontalUnit = 203, verticalUnit = 203;
        Align align = Align::Left;
        int moduleWidth = 3;
        int barHeight = 162;
        HriPosition hri = HriPosition::None;
        Font hriFont = Font::A;
        int leftMargin = 0;        // GS L
        int areaWidth = 1 << 16;   // GS W, down to what the paper has
        int internationalSet = 0;  // ESC R
        // GS ( k: each symbol's settings, and the size of its modules in dots.
        QrSettings qr;
        int qrModule = 3;
        Pdf417Settings pdf417;
        int pdf417Module = 3, pdf417RowHeight = 3;  // the row height in modules
        DataMatrixSettings dataMatrix;
        int dataMatrixModule = 3;
    };
    struct PendingLine {
        PendingRuns runs;
        std::vector<LineImage> images;
        int position = 0;      // where the next character goes, dots into the printing area
        int extent = 0;        // the right edge of what is placed
        bool started = false;  // something placed: alignment is now fixed for this line
        Align align = Align::Left;
        // Empties the line, member by member: its runs' block stays for the next one.
        void clear() {
            runs.clear();
            images.clear();
            position = extent = 0;
            started = false;
            align = Align::Left;
        }
    };
    // The printing area of GS L and GS W, inside the printable width.
    struct Area {
        int left, width;
    };
    // The command table (command_table.cpp) and what a handler is given.
    struct Command;
    struct Received;
    static const Command commands[];
    static std::span<const Command> commandTable();
    // Functions of a command (GS ( k), by the bytes after its pL pH; the longest match applies.
    struct Function;
    static const Function functions[];
    static std::span<const Function> functionTable();
    void function(const Received& command);
    // The sink the decoder's output goes to, counting on the way what the head and the cutter
    // did.
    class CountingSink : public OutputSink {
    public:
        explicit CountingSink(OutputSink& out) : out_(out) {}
        void item(Item&& item) override {
            counters.count(item);
            out_.item(std::move(item));
        }
        void receiptEnded(Receipt&& receipt) override { out_.receiptEnded(std::move(receipt)); }
        void reply(std::string_view bytes) override { out_.reply(bytes); }
        void drawerPulse() override { out_.drawerPulse(); }
        void event(const std::string& text) override { out_.event(text); }
        MaintenanceCounters counters;

    private:
        OutputSink& out_;
    };

    // Real-time requests are acted on as they arrive, the rest is decoded or held.
    void frame(std::string_view bytes, bool keep);
    void receive(std::string_view bytes);
    void actOnRealTime(std::string_view request);
    void decode(std::string_view bytes);
    void decodePending();
    // Decodes one element at the start of `in`; returns the bytes it used, or 0 (through
    // more()) when `in` ends before the element does.
    std::size_t step(std::string_view in);
    std::size_t more(std::size_t total = 0);
    std::size_t text(std::string_view in);
    std::size_t textRun(std::string_view in);
    std::size_t command(std::string_view in);
    std::size_t barcodeCommand(const Command& row, std::string_view in);
    std::size_t run(const Command& row, std::string_view in, std::size_t header, std::size_t data,
                    std::size_t end = 0);
    std::size_t passOver(const Command& row, std::string_view header, std::size_t data);

    // Handlers, by concern.
    // Print modes and character tables (print_modes.cpp).
    void printModes(const Received& command);
    void emphasis(const Received& command);
    void doubleStrike(const Received& command);
    void underline(const Received& command);
    void characterFont(const Received& command);
    void characterSize(const Received& command);
    void reversePrinting(const Received& command);
    void rotation(const Received& command);
    void upsideDown(const Received& command);
    void codeTable(const Received& command);
    void internationalSet(const Received& command);
    void kanjiOn(const Received& command);
    void kanjiOff(const Received& command);
    void kanjiSpacing(const Received& command);
    void kanjiModes(const Received& command);
    void kanjiUnderline(const Received& command);
    void kanjiQuadruple(const Received& command);
    // The line and its layout, feeds, cuts, the drawer, and commands only listed (line_layout.cpp).
    void justification(const Received& command);
    void lineSpacing(const Received& command);
    void defaultLineSpacing(const Received& command);
    void feedLines(const Received& command);
    void feedDots(const Received& command);
    void rightSpacing(const Received& command);
    void absolutePosition(const Received& command);
    void relativePosition(const Received& command);
    void leftMargin(const Received& command);
    void printingAreaWidth(const Received& command);
    void initialise(const Received& command);
    void partialCut(const Received& command);
    void cutPaper(const Received& command);
    void drawerPulse(const Received& command);
    void motionUnits(const Received& command);
    void setting(const Received& command);
    void otherDialect(const Received& command);
    void notDrawn(const Received& command);
    // Pictures (picture_commands.cpp).
    void bitImage(const Received& command);
    void rasterImage(const Received& command);
    // GS ( L and GS 8 L, by their function.
    void rasterGraphics(const Received& command);
    void printGraphicsBuffer(const Received& command);
    void defineGraphics(const Received& command);
    void printDefinedGraphics(const Received& command);
    void deleteAllGraphics(const Received& command);
    void deleteGraphics(const Received& command);
    void graphicsRequest(const Received& command);
    void defineDownloadedImage(const Received& command);
    void printDownloadedImage(const Received& command);
    void defineNvBitImages(const Received& command);
    void printNvBitImage(const Received& command);
    // Barcodes and 2-D symbols (symbol_commands.cpp).
    void barcodeHeight(const Received& command);
    void moduleWidth(const Received& command);
    void hriPosition(const Received& command);
    void hriFont(const Received& command);
    void barcode(const Received& command);
    void symbolSetting(const Received& command);
    void storeSymbolData(const Received& command);
    void printStoredSymbol(const Received& command);
    void symbolSize(const Received& command);
    void undrawnSymbol(const Received& command);
    bool qrSetting(std::uint8_t fn, std::string_view parameters);
    bool pdf417Setting(std::uint8_t fn, std::string_view parameters);
    bool dataMatrixSetting(std::uint8_t fn, std::string_view parameters);
    std::variant<Bitmap, SymbolError> storedSymbol(std::uint8_t cn) const;
    void printSymbol(std::uint8_t cn);
    void replySymbolSize(std::uint8_t cn);
    // Replies (reply_commands.cpp).
    void statusBack(const Received& command);
    void statusRequest(const Received& command);
    void idRequest(const Received& command);
    void realTime(const Received& command);
    // The printer's own diagnosis (diagnosis_commands.cpp): test prints and hex dump
    // (GS ( A), the user setting mode (GS ( E) and the maintenance counters (GS g).
    bool startTestPrint(const Received& command, const std::string& event);
    void statusPrintout(const Received& command);
    void hexDumpMode(const Received& command);
    void otherTestPrint(const Received& command);
    void enterUserSetting(const Received& command);
    void endUserSetting(const Received& command);
    void setMemorySwitches(const Received& command);
    void setCustomizedValues(const Received& command);
    void sendSetting(const Received& command);
    bool refusedOutsideUserSetting(const Received& command, const std::string& what);
    void otherUserSetting(const Received& command);
    void sendCounter(const Received& command);
    void resetCounter(const Received& command);
    void printTextLine(const std::string& ascii);
    void dumpHex(std::string_view bytes);
    void printHexRow();
    void softwareReset(const Received& command);

    // A distance in the motion units of GS P, in dots of the head.
    int horizontalDots(int units) const;
    int verticalDots(int units) const;
    const Area& area() const { return area_; }
    void updateArea();
    bool atLineStart() const {
        return line_.runs.empty() && line_.images.empty() && line_.position == 0;
    }
    // Moves the next character to `position` in the printing area, when it lies inside.
    void moveTo(int position);
    // Prints a picture as a block of its own, aligned in the printing area; an event says
    // `what` was ignored when the line holds something already.
    // A 2-D symbol's block keeps its `data`, with `what` as its kind.
    void printBlock(Bitmap bitmap, const std::string& what,
                    std::optional<std::string_view> symbolData = std::nullopt);
    // How characters of a kind are laid out: a run without its place and text.
    struct Look {
        Run::Kind kind = Run::Kind::Single;
        CharStyle style;
        int pitch = 0, leftGap = 0, cellWidth = 0, cellHeight = 0;
    };
    // Worked out once after each command, for the characters that follow it.
    const Look& look(Run::Kind kind);
    Look lookInModes(Run::Kind kind) const;
    // Places characters of one kind side by side, wrapping where the line is full.
    void place(Run::Kind kind, std::u32string_view characters);
    void place(Run::Kind kind, char32_t character) { place(kind, {&character, 1}); }
    // Places a marker as a run of its own.
    void placeRun(Run run);
    static bool continues(const Run& last, const Look& next, int x);
    void startLine();
    void printLine(int feedDots);
    void cut(bool partial, std::string_view bytes, int feedDots = 0);
    void mark(std::string_view bytes, std::string event);
    // Marks a command whose parameter is out of range; the bytes after it are read afresh.
    std::size_t invalid(std::string_view in, std::size_t length);
    void invalid(const Received& command);
    // The parameter, as a value or its digit, when it is at most `highest`; else it is invalid.
    std::optional<int> choice(const Received& command, int highest);
    void note(std::string event);
    void note(Event event);
    // Lists a drawer kick pulse and has the program open the drawer.
    void pulseDrawer(std::string event);
    void reply(const std::string& bytes, const std::string& request);
    void sendStatusBack();

    Paper paper_;
    Modes modes_;
    PendingLine line_;
    Area area_{};                // of the modes' GS L and GS W, on this paper
    Look looks_[2];              // of single-byte and double-byte characters in the modes
    bool looksKnown_ = false;    // looks_ were worked out in the modes of now
    std::string pending_;        // bytes of an element that has not fully arrived
    std::size_t wanted_ = 0;     // that element's length, where it is known yet
    std::size_t skip_ = 0;       // data bytes of a command that is not drawn, still to come
    std::string skipping_;       // that command's start, for the truncation event
    bool nulMayFollow_ = false;  // a fixed-length barcode ended without its optional NUL
    std::string arriving_;       // the start of a real-time request still arriving
    std::size_t framedAhead_ = 0;
    std::string held_;                      // received while the printer cannot print
    std::size_t lost_ = 0;                  // bytes that found the receive buffer full
    std::optional<Bitmap> graphicsBuffer_;  // GS ( L fn 112, 113, printed by fn 50
    // GS ( L fn 67 and 83: graphics by their key codes, kc1 × 256 + kc2, kept while the
    // program runs (a printer keeps NV graphics when switched off).
    std::map<int, Bitmap> nvGraphics_, downloadGraphics_;
    std::optional<Bitmap> downloadedImage_;  // GS *
    std::vector<Bitmap> nvBitImages_;        // FS q, numbered from 1
    std::map<int, std::string> symbolData_;  // GS ( k fn 80, by the symbol's cn
    CountingSink sink_;
    PrinterState state_;
    bool statusBackOn_ = false;
    bool userSettingMode_ = false;  // GS ( E function 1 to 2
    bool hexDump_ = false;
    std::string hexRow_;  // dumped bytes not yet printed: less than a row
};

}  // namespace vp
