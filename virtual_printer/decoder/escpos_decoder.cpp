#include "escpos_decoder.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "barcodes.h"
#include "character_sets.h"
#include "printer_replies.h"

namespace vp {
namespace {

constexpr std::uint8_t NUL = 0x00, EOT = 0x04, ENQ = 0x05, HT = 0x09, LF = 0x0A, CR = 0x0D,
                       DLE = 0x10, DC4 = 0x14, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

constexpr int kanjiCell = 24;
constexpr int tabStopDots = 8 * 12;  // every eight font A characters until ESC D sets others
constexpr int hriGapDots = 4;
constexpr int markerPadding = 3;
constexpr int markerCellWidth = 9;  // drawn in font B
constexpr int markerHeight = 21;
constexpr std::size_t markerBytesShown = 8;
constexpr std::size_t longestNulTerminatedData = 255;
// 1016 mm: the most paper a printer feeds for one command.
constexpr int longestFeedDots = 8128;
constexpr const char* unread = "earlier replies were never read";
// A buffer that grew for a data block is given back once the block is done.
constexpr std::size_t smallBuffer = 64 << 10;

std::uint8_t byteAt(std::string_view in, std::size_t i) {
    return static_cast<std::uint8_t>(in[i]);
}

std::size_t little(std::string_view in, std::size_t at) {
    return byteAt(in, at) + 256u * byteAt(in, at + 1);
}

int cellWidth(Font font) {
    return font == Font::A ? 12 : 9;
}
int cellHeight(Font font) {
    return font == Font::A ? 24 : 17;
}

// Many parameters are accepted both as a value and as its ASCII digit: 1 and '1'.
int digitOrValue(std::uint8_t n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}

std::string number(std::size_t value) {
    return std::to_string(value);
}

std::string bytesMissing(std::size_t count) {
    return count == 1 ? "1 byte missing" : number(count) + " bytes missing";
}

// Where something `free` dots narrower than the printable width starts.
int alignedShift(Align align, int free) {
    return align == Align::Centre ? free / 2 : align == Align::Right ? free : 0;
}

// The drawer connector pin of ESC p and DLE DC4 1, or 0 for none.
int drawerPin(std::uint8_t m) {
    return (m == 0 || m == '0') ? 2 : (m == 1 || m == '1') ? 5 : 0;
}

// Real-time requests, as the printer recognises them in what arrives: returns the length of
// the one at the start of `in`, 0 when `in` does not start one, or `incompleteRequest` when
// `in` ends too soon to tell.
constexpr std::size_t incompleteRequest = std::size_t(-1);
std::size_t realTimeLength(std::string_view in) {
    if (in.empty() || byteAt(in, 0) != DLE) return 0;
    if (in.size() < 3) return incompleteRequest;
    const std::uint8_t command = byteAt(in, 1), n = byteAt(in, 2);
    if (command == EOT) return n >= 1 && n <= 4 ? 3 : 0;
    if (command == ENQ) return n == 1 || n == 2 ? 3 : 0;
    if (command != DC4 || n != 1) return 0;
    if (in.size() < 5) return incompleteRequest;
    const std::uint8_t m = byteAt(in, 3), t = byteAt(in, 4);
    return (m == 0 || m == 1) && t >= 1 && t <= 8 ? 5 : 0;
}

// Lengths that depend on parameters; `outOfRange` where they are invalid.
constexpr std::size_t outOfRange = std::size_t(-1);

// ESC * m nL nH: columns of one or three bytes.
std::size_t bitImageBytes(std::string_view header) {
    const std::uint8_t m = byteAt(header, 0);
    const std::size_t columns = little(header, 1);
    if (columns == 0) return outOfRange;
    return m <= 1 ? columns : (m == 32 || m == 33) ? 3 * columns : outOfRange;
}

// GS v 0 m xL xH yL yH: rows of x bytes.
std::size_t rasterBytes(std::string_view header) {
    const std::size_t size = little(header, 1) * little(header, 3);
    return digitOrValue(byteAt(header, 0)) <= 3 && size > 0 ? size : outOfRange;
}

// A count of `size` bytes at `at` in the header, lowest first, as pL pH or p1 p2 p3 p4.
template <std::size_t at, std::size_t size>
std::size_t littleEndian(std::string_view header) {
    std::size_t count = 0;
    for (std::size_t i = size; i-- > 0;) count = count * 256 + byteAt(header, at + i);
    return count > 0 ? count : outOfRange;
}

// ESC p m t1 t2: the pin decides whether the times follow.
std::size_t drawerPulseParameters(std::string_view first) {
    return drawerPin(byteAt(first, 0)) != 0 ? 3 : outOfRange;
}

// GS V m [n]: cuts 65 and 66 feed n dots first.
std::size_t cutParameters(std::string_view first) {
    const std::uint8_t m = byteAt(first, 0);
    return digitOrValue(m) <= 1 ? 1 : (m == 65 || m == 66) ? 2 : outOfRange;
}

// DLE DC4 fn ...: only the drawer pulse, fn 1 m t, is known.
std::size_t realTimeFunctionParameters(std::string_view first) {
    return byteAt(first, 0) == 1 ? 3 : outOfRange;
}
// GS * x y: x × 8 columns of y bytes.
std::size_t downloadedImageBytes(std::string_view header) {
    const std::size_t size = 8u * byteAt(header, 0) * byteAt(header, 1);
    return size > 0 ? size : outOfRange;
}

// FS q n [xL xH yL yH d1...dk]1...[...]n: n pictures of x × 8 columns of y bytes, each with
// its own header. Returns the length after the prefix as far as the headers that have arrived
// tell it: more than `in` holds until the last header is in.
std::size_t nvBitImagesBytes(std::string_view in) {
    const std::size_t count = byteAt(in, 0);
    if (count == 0) return outOfRange;
    std::size_t at = 1;
    for (std::size_t image = 0; image < count; ++image) {
        if (in.size() < at + 4) return at + 4;
        const std::size_t x = little(in, at), y = little(in, at + 2);
        if (x == 0 || x > 1023 || y == 0 || y > 288) return outOfRange;
        const std::size_t size = 8 * x * y;
        at += 4 + size;
    }
    return at;
}

// The picture of a printer's scale parameter m of GS / and FS p: 0-3 or '0'-'3', bit 0
// doubling the width, bit 1 the height.
std::optional<Bitmap> scaled(Bitmap bitmap, std::uint8_t m) {
    const int mode = digitOrValue(m);
    if (mode > 3) return std::nullopt;
    bitmap.widthScale = (mode & 1) ? 2 : 1;
    bitmap.heightScale = (mode & 2) ? 2 : 1;
    return bitmap;
}

// The leftmost `columns` dots of each row: the head has no more.
void keepColumns(Bitmap& bitmap, int columns) {
    if (columns >= bitmap.width) return;
    const std::string_view rows(reinterpret_cast<const char*>(bitmap.rows.data()),
                                bitmap.rows.size());
    Bitmap kept = rasterBitmap(rows, bitmap.rowBytes(), std::max(0, columns));
    kept.widthScale = bitmap.widthScale;
    kept.heightScale = bitmap.heightScale;
    bitmap = std::move(kept);
}

// The top `rows` rows: column data comes in whole bytes of eight dots.
void keepRows(Bitmap& bitmap, int rows) {
    if (rows >= bitmap.height) return;
    bitmap.height = rows;
    bitmap.rows.resize(static_cast<std::size_t>(bitmap.rowBytes() * rows));
}

// How a command's length is known once its prefix has arrived.
struct Length {
    enum class Form : std::uint8_t {
        Fixed,    // `parameters` bytes
        Chosen,   // the first parameter says how many there are: count(first)
        Block,    // a header of `parameters` bytes, then count(header) bytes of data
        Barcode,  // GS k: data ended by NUL or counted, as the barcode system says
        Walked,   // parts that each say their length: count(after the prefix) so far
    };
    Form form;
    std::size_t parameters = 0;
    std::size_t (*count)(std::string_view) = nullptr;
};

constexpr Length fixed(std::size_t parameters) {
    return {Length::Form::Fixed, parameters};
}
constexpr Length chosen(std::size_t (*parameters)(std::string_view first)) {
    return {Length::Form::Chosen, 1, parameters};
}
constexpr Length block(std::size_t header, std::size_t (*dataBytes)(std::string_view header)) {
    return {Length::Form::Block, header, dataBytes};
}
constexpr Length barcodeData() {
    return {Length::Form::Barcode};
}
constexpr Length walked(std::size_t (*bytes)(std::string_view afterPrefix)) {
    return {Length::Form::Walked, 1, bytes};
}

}  // namespace

struct Decoder::Command {
    std::string_view prefix;
    Length length;
    void (Decoder::*handle)(const Received&);
    const char* name = "";  // for events about it
};

// A command whose bytes have all arrived.
struct Decoder::Received {
    const Command& command;
    std::string_view bytes;       // all of them
    std::string_view parameters;  // after the prefix, up to the data
    std::string_view data;
    std::uint8_t parameter(std::size_t i = 0) const { return byteAt(parameters, i); }
    std::string_view header() const {
        return bytes.substr(0, command.prefix.size() + parameters.size());
    }
};

// Every command the printer knows, by its prefix; where prefixes overlap the longest applies.
const Decoder::Command Decoder::commands[] = {
    // ESC: print modes, layout, feeds, cuts, drawer.
    {"\x1B\x21", fixed(1), &Decoder::printModes},                            // ESC !
    {"\x1B\x45", fixed(1), &Decoder::emphasis},                              // ESC E
    {"\x1B\x47", fixed(1), &Decoder::doubleStrike},                          // ESC G
    {"\x1B\x2D", fixed(1), &Decoder::underline},                             // ESC -
    {"\x1B\x4D", fixed(1), &Decoder::characterFont},                         // ESC M
    {"\x1B\x61", fixed(1), &Decoder::justification},                         // ESC a
    {"\x1B\x33", fixed(1), &Decoder::lineSpacing},                           // ESC 3
    {"\x1B\x32", fixed(0), &Decoder::defaultLineSpacing},                    // ESC 2
    {"\x1B\x64", fixed(1), &Decoder::feedLines},                             // ESC d
    {"\x1B\x4A", fixed(1), &Decoder::feedDots},                              // ESC J
    {"\x1B\x20", fixed(1), &Decoder::rightSpacing},                          // ESC SP
    {"\x1B\x74", fixed(1), &Decoder::codeTable},                             // ESC t
    {"\x1B\x52", fixed(1), &Decoder::internationalSet},                      // ESC R
    {"\x1B\x24", fixed(2), &Decoder::absolutePosition},                      // ESC $
    {"\x1B\x5C", fixed(2), &Decoder::relativePosition},                      // ESC backslash
    {"\x1B\x40", fixed(0), &Decoder::initialise},                            // ESC @
    {"\x1B\x69", fixed(0), &Decoder::partialCut},                            // ESC i
    {"\x1B\x6D", fixed(0), &Decoder::partialCut},                            // ESC m
    {"\x1B\x70", chosen(drawerPulseParameters), &Decoder::drawerPulse},      // ESC p
    {"\x1B\x2A", block(3, bitImageBytes), &Decoder::bitImage, "bit image"},  // ESC *
    // GS: character size, barcodes, cuts, pictures, replies.
    {"\x1D\x21", fixed(1), &Decoder::characterSize},                                     // GS !
    {"\x1D\x4C", fixed(2), &Decoder::leftMargin},                                        // GS L
    {"\x1D\x57", fixed(2), &Decoder::printingAreaWidth},                                 // GS W
    {"\x1D\x42", fixed(1), &Decoder::reversePrinting},                                   // GS B
    {"\x1D\x56", chosen(cutParameters), &Decoder::cutPaper},                             // GS V
    {"\x1D\x68", fixed(1), &Decoder::barcodeHeight},                                     // GS h
    {"\x1D\x77", fixed(1), &Decoder::moduleWidth},                                       // GS w
    {"\x1D\x48", fixed(1), &Decoder::hriPosition},                                       // GS H
    {"\x1D\x66", fixed(1), &Decoder::hriFont},                                           // GS f
    {"\x1D\x6B", barcodeData(), &Decoder::barcode, "barcode"},                           // GS k
    {"\x1D\x76\x30", block(5, rasterBytes), &Decoder::rasterImage, "raster bit image"},  // GS v 0
    {"\x1D\x28\x4C", block(2, littleEndian<0, 2>), &Decoder::graphics, "graphics"},      // GS ( L
    {"\x1D\x38\x4C", block(4, littleEndian<0, 4>), &Decoder::graphics, "graphics"},      // GS 8 L
    {"\x1D\x2A", block(2, downloadedImageBytes), &Decoder::defineDownloadedImage},       // GS *
    {"\x1D\x28\x6B", block(2, littleEndian<0, 2>), &Decoder::twoDSymbol, "2-D symbol"},  // GS ( k
    {"\x1D\x2F", fixed(1), &Decoder::printDownloadedImage},                              // GS /
    {"\x1D\x61", fixed(1), &Decoder::statusBack},                                        // GS a
    {"\x1D\x72", fixed(1), &Decoder::statusRequest},                                     // GS r
    {"\x1D\x49", fixed(1), &Decoder::idRequest},                                         // GS I
    // FS: Chinese characters.
    {"\x1C\x26", fixed(0), &Decoder::kanjiOn},                                             // FS &
    {"\x1C\x2E", fixed(0), &Decoder::kanjiOff},                                            // FS .
    {"\x1C\x71", walked(nvBitImagesBytes), &Decoder::defineNvBitImages, "NV bit images"},  // FS q
    {"\x1C\x70", fixed(2), &Decoder::printNvBitImage},                                     // FS p
    {"\x1C\x53", fixed(2), &Decoder::kanjiSpacing},                                        // FS S
    {"\x1C\x21", fixed(1), &Decoder::kanjiModes},                                          // FS !
    {"\x1C\x2D", fixed(1), &Decoder::kanjiUnderline},                                      // FS -
    {"\x1C\x57", fixed(1), &Decoder::kanjiQuadruple},                                      // FS W
    {"\x1C\x43", fixed(1), &Decoder::setting, "Kanji code system"},                        // FS C
    {"\x1C\x28\x41", block(2, littleEndian<0, 2>), &Decoder::setting,
     "Kanji character font"},                                                         // FS ( A
    {"\x1C\x28", block(2, littleEndian<0, 2>), &Decoder::notDrawn, "FS ( function"},  // FS (
    // DLE: real-time requests, acted on as they arrive (see feed()).
    {"\x10\x04", fixed(1), &Decoder::realTime, "DLE EOT"},                            // DLE EOT
    {"\x10\x05", fixed(1), &Decoder::realTime, "DLE ENQ"},                            // DLE ENQ
    {"\x10\x14", chosen(realTimeFunctionParameters), &Decoder::realTime, "DLE DC4"},  // DLE DC4
    // Settings without effect on paper.
    {"\x1B\x63\x33", fixed(1), &Decoder::setting,
     "paper sensors for paper-end signals"},                                          // ESC c 3
    {"\x1B\x63\x34", fixed(1), &Decoder::setting, "paper sensors to stop printing"},  // ESC c 4
    {"\x1B\x63\x35", fixed(1), &Decoder::setting, "panel buttons"},                   // ESC c 5
    {"\x1B\x3D", fixed(1), &Decoder::setting, "peripheral device"},                   // ESC =
    {"\x1B\x55", fixed(1), &Decoder::setting, "unidirectional printing"},             // ESC U
    {"\x1B\x75", fixed(1), &Decoder::setting, "peripheral status request"},           // ESC u
    {"\x1B\x76", fixed(0), &Decoder::setting, "paper sensor status request"},         // ESC v
    {"\x1B\x37", fixed(3), &Decoder::setting, "heating"},                             // ESC 7
    {"\x1D\x62", fixed(1), &Decoder::setting, "smoothing"},                           // GS b
    {"\x1D\x50", fixed(2), &Decoder::setting, "motion units"},                        // GS P
    // Commands that change the paper but are not drawn (yet): a marker shows where.
    {"\x1B\x7B", fixed(1), &Decoder::notDrawn, "upside-down printing"},               // ESC {
    {"\x1B\x56", fixed(1), &Decoder::notDrawn, "90° rotation"},                       // ESC V
    {"\x1B\x25", fixed(1), &Decoder::notDrawn, "user-defined characters"},            // ESC %
    {"\x1D\x28", block(3, littleEndian<1, 2>), &Decoder::notDrawn, "GS ( function"},  // GS (
};

Decoder::Decoder(Paper paper) : paper_(paper) {
    updateArea();
}

// The printer watches what arrives for real-time requests before it interprets anything: the
// command reference warns that 10 04 n inside bit-image data is answered too, and that the
// image still prints whole. So they are acted on here, on arrival, also while printing is
// held, and never again when their bytes are decoded: there they are data inside a data
// block, a parameter where one was due, and passed over in place of a command. What came
// before a request is decoded first, so that events keep stream order however the bytes are
// split.
void Decoder::feed(std::string_view bytes) {
    std::size_t from = 0;  // bytes before it have been received
    if (!arriving_.empty()) {
        // A request begun in an earlier read: the bytes that can complete it are all it needs.
        const std::size_t carried = arriving_.size();
        const std::string joined = std::exchange(arriving_, {}) + std::string(bytes.substr(0, 4));
        for (std::size_t start = 0; start < carried; ++start) {
            const std::size_t length = realTimeLength(std::string_view(joined).substr(start));
            if (length == incompleteRequest) {
                arriving_ = joined.substr(start);
                receive(bytes);
                return;
            }
            if (length == 0) continue;
            from = start + length - carried;
            receive(bytes.substr(0, from));
            actOnRealTime(std::string_view(joined).substr(start, length));
            break;
        }
    }
    std::size_t at = from;
    while ((at = bytes.find(static_cast<char>(DLE), at)) != std::string_view::npos) {
        const std::size_t length = realTimeLength(bytes.substr(at));
        if (length == incompleteRequest) {
            arriving_ = bytes.substr(at);
            break;
        }
        if (length == 0) {
            ++at;
            continue;
        }
        at += length;
        receive(bytes.substr(from, at - from));
        actOnRealTime(bytes.substr(at - length, length));
        from = at;
    }
    receive(bytes.substr(from));
}

void Decoder::receive(std::string_view bytes) {
    if (state_.printing()) {
        decode(bytes);
        return;
    }
    const std::size_t kept = std::min(bytes.size(), room());
    held_.append(bytes.substr(0, kept));
    lost_ += bytes.size() - kept;
}

void Decoder::actOnRealTime(std::string_view request) {
    const std::uint8_t n = byteAt(request, 2);
    switch (byteAt(request, 1)) {
        case EOT:
            reply(realTimeStatus(n, state_), "DLE EOT " + number(n));
            break;
        case ENQ:
            // Recovery from errors that this printer never has.
            note("DLE ENQ " + number(n));
            break;
        default: {
            const int pin = drawerPin(byteAt(request, 3)), time = byteAt(request, 4) * 100;
            note("drawer pin " + number(pin) + " on " + number(time) + " ms off " + number(time) +
                 " ms by DLE DC4");
            ++drawerPulses_;
        }
    }
}

void Decoder::decode(std::string_view bytes) {
    while (!bytes.empty()) {
        if (skip_ > 0) {
            const std::size_t passed = std::min(skip_, bytes.size());
            skip_ -= passed;
            bytes.remove_prefix(passed);
        } else if (!pending_.empty()) {
            // An element begun in an earlier read gets the bytes it lacks and no more, so that
            // a long read is never copied whole.
            const std::size_t lacking = wanted_ > pending_.size() ? wanted_ - pending_.size() : 1;
            const std::size_t given = std::min(lacking, bytes.size());
            pending_.reserve(wanted_);
            pending_.append(bytes.substr(0, given));
            bytes.remove_prefix(given);
            decodePending();
        } else if (const std::size_t used = step(bytes); used > 0) {
            bytes.remove_prefix(used);
        } else {
            pending_.reserve(wanted_);
            pending_.assign(bytes);
            return;
        }
    }
}

void Decoder::decodePending() {
    std::size_t at = 0;
    while (at < pending_.size()) {
        if (skip_ > 0) {
            const std::size_t passed = std::min(skip_, pending_.size() - at);
            skip_ -= passed;
            at += passed;
            continue;
        }
        const std::size_t used = step(std::string_view(pending_).substr(at));
        if (used == 0) break;
        at += used;
    }
    pending_.erase(0, at);
    if (pending_.empty() && pending_.capacity() > smallBuffer) std::string().swap(pending_);
}

void Decoder::finish() {
    if (!held_.empty()) return;
    arriving_.clear();
    if (skip_ > 0) {
        note("truncated " + hexBytes(skipping_, markerBytesShown) + ": " + bytesMissing(skip_));
        skip_ = 0;
    }
    if (!pending_.empty()) {
        std::string event = "truncated " + hexBytes(pending_, markerBytesShown);
        if (wanted_ > pending_.size()) event += ": " + bytesMissing(wanted_ - pending_.size());
        mark(pending_, std::move(event));
        pending_.clear();
    }
    if (line_.started) {
        note("text without a line feed, printed here");
        printLine(modes_.lineSpacing);
    }
}

std::vector<Item> Decoder::take() {
    return std::exchange(out_, {});
}

void Decoder::setState(const PrinterState& state) {
    const PrinterState before = std::exchange(state_, state);
    if (statusBackOn_ && automaticStatusBack(state_) != automaticStatusBack(before))
        sendStatusBack();
    if (!state_.printing() || (held_.empty() && lost_ == 0)) return;
    const std::string held = std::exchange(held_, {});
    decode(held);
    if (lost_ > 0) {
        note("receive buffer full: " + number(lost_) + " bytes lost");
        lost_ = 0;
    }
}

std::string Decoder::takeReplies() {
    return std::exchange(replies_, {});
}

int Decoder::takeDrawerPulses() {
    return std::exchange(drawerPulses_, 0);
}

std::size_t Decoder::more(std::size_t total) {
    wanted_ = total;
    return 0;
}

std::size_t Decoder::step(std::string_view in) {
    const std::uint8_t first = byteAt(in, 0);
    const bool nulExpected = std::exchange(nulMayFollow_, false);
    if (first >= 0x20) return text(in);
    switch (first) {
        case LF:
            printLine(modes_.lineSpacing);
            return 1;
        // Ignored as printers do with automatic line feed off, their default: so CR LF feeds
        // one line, not two.
        case CR:
            return 1;
        case HT:
            moveTo((line_.position / tabStopDots + 1) * tabStopDots);
            return 1;
        case ESC:
        case GS:
        case FS:
        case DLE:
            return command(in);
        case NUL:
            if (nulExpected) return 1;
            break;
        default:
            break;
    }
    mark(in.substr(0, 1), "unknown " + hexBytes(in.substr(0, 1)));
    return 1;
}

std::size_t Decoder::text(std::string_view in) {
    const std::uint8_t first = byteAt(in, 0);
    if (first < 0x80) {
        place(Run::Kind::Single, modes_.internationalSet == 0
                                     ? first
                                     : internationalCharacter(modes_.internationalSet, first));
        return 1;
    }
    if (!modes_.kanji) {
        if (const char32_t c = codeTableCharacter(modes_.codeTable, first)) {
            place(Run::Kind::Single, c);
        } else {
            mark(in.substr(0, 1), "no character " + hexBytes(in.substr(0, 1)) + " in code table " +
                                      number(modes_.codeTable));
        }
        return 1;
    }
    if (!isGbkLead(first)) {
        mark(in.substr(0, 1), "invalid GBK " + hexBytes(in.substr(0, 1)));
        return 1;
    }
    if (in.size() < 2) return more(2);
    const std::uint8_t trail = byteAt(in, 1);
    if (const char32_t c = gbkCharacter(first, trail)) {
        place(Run::Kind::Double, c);
        return 2;
    }
    // A byte that cannot end a pair is read again on its own, so that a stray lead byte does
    // not swallow the line feed after it.
    const bool couldPair = trail >= 0x40 && trail != 0x7F && trail != 0xFF;
    mark(in.substr(0, couldPair ? 2 : 1), "invalid GBK " + hexBytes(in.substr(0, 2)));
    return couldPair ? 2 : 1;
}

std::size_t Decoder::command(std::string_view in) {
    if (in.size() < 2) return more(2);
    // The table's rows by their first two bytes, so that finding a command reads only a few.
    static const auto rowsByStart = [] {
        std::unordered_map<std::uint16_t, std::vector<const Command*>> rows;
        for (const Command& command : commands)
            rows[static_cast<std::uint16_t>(little(command.prefix, 0))].push_back(&command);
        return rows;
    }();
    static const std::vector<const Command*> none;
    const auto rows = rowsByStart.find(static_cast<std::uint16_t>(little(in, 0)));
    const Command* row = nullptr;
    for (const Command* command : rows == rowsByStart.end() ? none : rows->second) {
        if (command->prefix.size() > in.size()) {
            if (command->prefix.starts_with(in)) return more();
        } else if (in.starts_with(command->prefix) &&
                   (row == nullptr || command->prefix.size() > row->prefix.size())) {
            row = command;
        }
    }
    if (row == nullptr) {
        mark(in.substr(0, 2), "unknown " + hexBytes(in.substr(0, 2)));
        return 2;
    }
    const std::size_t prefix = row->prefix.size();
    switch (row->length.form) {
        case Length::Form::Fixed:
            return run(*row, in, prefix + row->length.parameters, 0);
        case Length::Form::Chosen: {
            if (in.size() <= prefix) return more(prefix + 1);
            const std::size_t parameters = row->length.count(in.substr(prefix, 1));
            if (parameters == outOfRange) return invalid(in, prefix + 1);
            return run(*row, in, prefix + parameters, 0);
        }
        case Length::Form::Block: {
            const std::size_t header = prefix + row->length.parameters;
            if (in.size() < header) return more(header);
            const std::size_t data = row->length.count(in.substr(prefix, header - prefix));
            if (data == outOfRange) return invalid(in, header);
            if (data > largestDataBlock) return passOver(*row, in.substr(0, header), data);
            return run(*row, in, header, data);
        }
        case Length::Form::Barcode:
            return barcodeCommand(*row, in);
        case Length::Form::Walked: {
            if (in.size() <= prefix) return more(prefix + 1);
            const std::size_t length = row->length.count(in.substr(prefix));
            if (length == outOfRange) return invalid(in, prefix + 1);
            if (length - 1 > largestDataBlock)
                return passOver(*row, in.substr(0, prefix + 1), length - 1);
            return run(*row, in, prefix + 1, length - 1);
        }
    }
    return 0;
}

// The whole command, once it has arrived, goes to its handler.
std::size_t Decoder::run(const Command& row, std::string_view in, std::size_t header,
                         std::size_t data, std::size_t end) {
    if (end == 0) end = header + data;
    if (in.size() < end) return more(end);
    const std::size_t prefix = row.prefix.size();
    (this->*row.handle)(Received{row, in.substr(0, end), in.substr(prefix, header - prefix),
                                 in.substr(header, data)});
    return end;
}

std::size_t Decoder::passOver(const Command& row, std::string_view header, std::size_t data) {
    mark(header, std::string("not drawn: ") + row.name + " " + hexBytes(header) + " (" +
                     number(data) + " data bytes, more than the " + number(largestDataBlock >> 10) +
                     " KiB a picture may have)");
    skip_ = data;
    skipping_ = header;
    return header.size();
}

std::size_t Decoder::barcodeCommand(const Command& row, std::string_view in) {
    if (line_.started) {
        // The printer takes GS k only at the start of a line and prints what follows as text.
        mark(in.substr(0, 2), "barcode ignored: not at the beginning of a line");
        return 2;
    }
    if (in.size() < 3) return more(3);
    const std::uint8_t m = byteAt(in, 2);
    if (m >= 65 && m <= 73) {
        if (in.size() < 4) return more(4);
        return run(row, in, 4, byteAt(in, 3));
    }
    if (m > 6) return invalid(in, 3);
    // Fixed-length systems end after their longest data, NUL or not.
    static constexpr std::size_t longest[] = {12, 12, 13, 8, 0, 0, 0};
    const std::size_t limit = longest[m] != 0 ? longest[m] : longestNulTerminatedData;
    const std::size_t end = in.find('\0', 3);
    if (end != std::string_view::npos && end - 3 <= limit) return run(row, in, 3, end - 3, end + 1);
    if (in.size() < 3 + limit + (longest[m] == 0 ? 1 : 0)) return more();
    if (longest[m] == 0) {
        mark(in.substr(0, 3),
             "barcode without NUL in " + number(limit) + " bytes " + hexBytes(in.substr(0, 3)));
        return 3;
    }
    nulMayFollow_ = true;
    return run(row, in, 3, limit);
}

void Decoder::printModes(const Received& command) {
    const std::uint8_t n = command.parameter();
    modes_.font = (n & 0x01) ? Font::B : Font::A;
    modes_.emphasised = (n & 0x08) != 0;
    modes_.heightScale = (n & 0x10) ? 2 : 1;
    modes_.widthScale = (n & 0x20) ? 2 : 1;
    modes_.underline = (n & 0x80) ? 1 : 0;
}

void Decoder::emphasis(const Received& command) {
    modes_.emphasised = (command.parameter() & 0x01) != 0;
}

void Decoder::doubleStrike(const Received& command) {
    modes_.doubleStrike = (command.parameter() & 0x01) != 0;
}

void Decoder::underline(const Received& command) {
    if (const auto value = choice(command, 2)) modes_.underline = static_cast<std::uint8_t>(*value);
}

void Decoder::characterFont(const Received& command) {
    if (const auto value = choice(command, 1)) modes_.font = *value == 1 ? Font::B : Font::A;
}

void Decoder::justification(const Received& command) {
    if (const auto value = choice(command, 2)) modes_.align = static_cast<Align>(*value);
}

void Decoder::lineSpacing(const Received& command) {
    modes_.lineSpacing = command.parameter();
}

void Decoder::defaultLineSpacing(const Received&) {
    modes_.lineSpacing = 30;
}

void Decoder::feedLines(const Received& command) {
    printLine(command.parameter() * modes_.lineSpacing);
}

void Decoder::feedDots(const Received& command) {
    printLine(command.parameter());
}

void Decoder::rightSpacing(const Received& command) {
    modes_.rightSpacing = command.parameter();
}

void Decoder::codeTable(const Received& command) {
    modes_.codeTable = command.parameter();
    note("code table " + number(command.parameter()));
}

void Decoder::internationalSet(const Received& command) {
    const std::uint8_t n = command.parameter();
    if (!isInternationalSet(n)) {
        invalid(command);
        return;
    }
    modes_.internationalSet = n;
    note("international character set " + number(n));
}

void Decoder::absolutePosition(const Received& command) {
    moveTo(static_cast<int>(little(command.parameters, 0)));
}

void Decoder::relativePosition(const Received& command) {
    // A two's complement step: 65536 - n moves n dots to the left.
    const auto step = static_cast<std::int16_t>(little(command.parameters, 0));
    moveTo(line_.position + step);
}

void Decoder::leftMargin(const Received& command) {
    if (!atLineStart()) {
        note("left margin ignored: not at the beginning of a line, " + hexBytes(command.bytes));
        return;
    }
    modes_.leftMargin = static_cast<int>(little(command.parameters, 0));
    updateArea();
}

void Decoder::printingAreaWidth(const Received& command) {
    if (!atLineStart()) {
        note("printing area width ignored: not at the beginning of a line, " +
             hexBytes(command.bytes));
        return;
    }
    modes_.areaWidth = static_cast<int>(little(command.parameters, 0));
    updateArea();
}

void Decoder::initialise(const Received&) {
    if (line_.started) note("ESC @ discarded a line that had not been printed");
    line_ = PendingLine{};
    modes_ = Modes{};
    updateArea();
    // The print buffer and the downloaded bit image go; graphics and NV bit images stay.
    graphicsBuffer_.reset();
    downloadedImage_.reset();
    symbolData_.clear();
    if (std::exchange(statusBackOn_, false)) note("automatic status back off");
}

void Decoder::partialCut(const Received& command) {
    cut(true, command.bytes);
}

void Decoder::drawerPulse(const Received& command) {
    const int pin = drawerPin(command.parameter(0));
    const int on = command.parameter(1) * 2;
    const int off = std::max(command.parameter(1), command.parameter(2)) * 2;
    note("drawer pin " + number(pin) + " on " + number(on) + " ms off " + number(off) + " ms");
    ++drawerPulses_;
}

void Decoder::bitImage(const Received& command) {
    const std::uint8_t m = command.parameter();
    const int columnBytes = m >= 32 ? 3 : 1;
    // Single density prints each column two dots wide; the 8-dot modes print each dot three
    // dots tall, so that every mode makes a line 24 dots high.
    const int widthScale = m == 0 || m == 32 ? 2 : 1;
    // Columns beyond the end of the line are not printed.
    const std::size_t fit = std::max(0, area().width - line_.position) / widthScale;
    const std::size_t columns = std::min(fit, command.data.size() / columnBytes);
    if (columns == 0) return;
    LineImage image;
    image.bitmap = columnBitmap(command.data.substr(0, columns * columnBytes), columnBytes);
    image.bitmap.widthScale = static_cast<std::uint8_t>(widthScale);
    image.bitmap.heightScale = columnBytes == 1 ? 3 : 1;
    startLine();
    image.x = area().left + line_.position;
    line_.position += image.bitmap.printedWidth();
    line_.extent = std::max(line_.extent, line_.position);
    line_.images.push_back(std::move(image));
}

void Decoder::characterSize(const Received& command) {
    const std::uint8_t n = command.parameter();
    const int width = (n >> 4) + 1, height = (n & 0x0F) + 1;
    if (width > 8 || height > 8) {
        invalid(command);
        return;
    }
    modes_.widthScale = modes_.kanjiWidthScale = static_cast<std::uint8_t>(width);
    modes_.heightScale = modes_.kanjiHeightScale = static_cast<std::uint8_t>(height);
}

void Decoder::reversePrinting(const Received& command) {
    modes_.reverse = (command.parameter() & 0x01) != 0;
}

void Decoder::cutPaper(const Received& command) {
    const std::uint8_t m = command.parameter();
    if (m == 65 || m == 66) {
        cut(m == 66, command.bytes, command.parameter(1));
    } else {
        cut(digitOrValue(m) == 1, command.bytes);
    }
}

void Decoder::barcodeHeight(const Received& command) {
    if (command.parameter() == 0) {
        invalid(command);
        return;
    }
    modes_.barHeight = command.parameter();
}

void Decoder::moduleWidth(const Received& command) {
    const std::uint8_t n = command.parameter();
    if (n < 1 || n > 6) {
        invalid(command);
        return;
    }
    modes_.moduleWidth = n;
}

void Decoder::hriPosition(const Received& command) {
    if (const auto value = choice(command, 3)) modes_.hri = static_cast<HriPosition>(*value);
}

void Decoder::hriFont(const Received& command) {
    if (const auto value = choice(command, 1)) modes_.hriFont = *value == 1 ? Font::B : Font::A;
}

void Decoder::barcode(const Received& command) {
    const Symbology symbology = static_cast<Symbology>(
        command.parameter() <= 6 ? command.parameter() + 65 : command.parameter());
    const std::string name = symbologyName(symbology);
    const SymbolResult result = encodeSymbol(symbology, command.data, command.parameter() <= 6);
    if (const auto* error = std::get_if<SymbolError>(&result)) {
        mark(command.bytes, "barcode " + name + " not printed: " + error->reason + ", " +
                                hexBytes(command.bytes, markerBytesShown));
        printLine(0);
        return;
    }
    const Symbol& symbol = std::get<Symbol>(result);
    Barcode printed;
    printed.symbology = name;
    printed.text = symbol.text;
    for (std::uint8_t element : symbol.elements)
        printed.bars.push_back(
            static_cast<std::uint16_t>(elementDots(symbol, element, modes_.moduleWidth)));
    const int bars = printed.barsWidth();
    const Area inside = area();
    if (bars > inside.width) {
        mark(command.bytes, "barcode " + name + " not printed: " + number(bars) +
                                " dots wider than the printing area, " +
                                hexBytes(command.bytes, markerBytesShown));
        printLine(0);
        return;
    }
    // Quiet zones are kept inside the printing area while it has room for them, so that a
    // symbol never starts right at the paper's edge.
    printed.quietLeft = symbol.quietLeft * modes_.moduleWidth;
    printed.quietRight = symbol.quietRight * modes_.moduleWidth;
    const int box = printed.quietLeft + bars + printed.quietRight;
    if (box > inside.width) {
        printed.x = inside.left + (inside.width - bars) / 2;
    } else {
        printed.x =
            inside.left + printed.quietLeft + alignedShift(modes_.align, inside.width - box);
    }
    printed.barHeight = modes_.barHeight;
    printed.hri = modes_.hri;
    printed.hriFont = modes_.hriFont;
    const int textHeight = cellHeight(modes_.hriFont) + hriGapDots;
    printed.height = printed.barHeight;
    if (printed.hri == HriPosition::Above || printed.hri == HriPosition::Both)
        printed.height += textHeight;
    if (printed.hri == HriPosition::Below || printed.hri == HriPosition::Both)
        printed.height += textHeight;
    out_.emplace_back(std::in_place_type<Barcode>, std::move(printed));
}

void Decoder::rasterImage(const Received& command) {
    const int mode = digitOrValue(command.parameter());
    Bitmap bitmap = rasterBitmap(command.data, static_cast<int>(little(command.parameters, 1)));
    bitmap.widthScale = (mode & 1) ? 2 : 1;
    bitmap.heightScale = (mode & 2) ? 2 : 1;
    printBlock(std::move(bitmap), command.header(), "raster bit image");
}

void Decoder::printBlock(Bitmap bitmap, std::string_view bytes, const std::string& what) {
    if (!line_.runs.empty() || !line_.images.empty()) {
        // As GS k: the printer takes a picture of its own only with nothing waiting in the line.
        mark(bytes, what + " ignored: not at the beginning of a line");
        return;
    }
    // Dots beyond the printing area are not printed.
    const Area inside = area();
    keepColumns(bitmap, (inside.width - line_.position) / bitmap.widthScale);
    ImageBlock image;
    const int free = inside.width - line_.position - bitmap.printedWidth();
    image.x = inside.left + line_.position +
              alignedShift(line_.started ? line_.align : modes_.align, free);
    image.bitmap = std::move(bitmap);
    line_ = PendingLine{};
    out_.emplace_back(std::in_place_type<ImageBlock>, std::move(image));
}

namespace {

// The dots of one picture of x × y, in raster rows or in columns of whole bytes; nothing when
// `data` is not exactly as long as they take.
std::optional<Bitmap> picture(std::string_view data, int x, int y, bool columns) {
    const int rowBytes = (x + 7) / 8, columnBytes = (y + 7) / 8;
    if (x == 0 || y == 0 ||
        data.size() != static_cast<std::size_t>(columns ? x * columnBytes : rowBytes * y))
        return std::nullopt;
    if (!columns) return rasterBitmap(data, rowBytes, x);
    Bitmap bitmap = columnBitmap(data, columnBytes);
    keepRows(bitmap, y);
    return bitmap;
}

// GS ( L fn 67, 68, 83, 84: a kc1 kc2 b xL xH yL yH [c d1...dk]1...[c d1...dk]b. The first
// colour is the one a one-colour head prints.
std::optional<Bitmap> definedGraphics(std::string_view p, bool columns) {
    if (p.size() < 9 || byteAt(p, 0) != 48 || byteAt(p, 3) < 1 || byteAt(p, 3) > 2)
        return std::nullopt;
    const int x = static_cast<int>(little(p, 4)), y = static_cast<int>(little(p, 6));
    const std::size_t planes = byteAt(p, 3);
    if ((p.size() - 8) % planes != 0) return std::nullopt;
    const std::size_t plane = (p.size() - 8) / planes;
    if (byteAt(p, 8) != 49) return std::nullopt;
    return picture(p.substr(9, plane - 1), x, y, columns);
}

}  // namespace

// GS ( L and GS 8 L: m fn and the function's parameters.
void Decoder::graphics(const Received& command) {
    const std::string_view data = command.data;
    if (data.size() < 2 || byteAt(data, 0) != 48) {
        invalid(command);
        return;
    }
    const std::uint8_t fn = byteAt(data, 1);
    const std::string_view p = data.substr(2);
    const auto key = [&] { return 256 * byteAt(p, 1) + byteAt(p, 2); };
    const auto keyName = [&](std::size_t at) {
        return "\"" + std::string(1, static_cast<char>(byteAt(p, at))) +
               static_cast<char>(byteAt(p, at + 1)) + "\"";
    };
    switch (fn) {
        case 112:  // raster graphics into the print buffer, a bx by c xL xH yL yH d1...dk
        case 113: {
            const bool scales = p.size() >= 8 && byteAt(p, 1) >= 1 && byteAt(p, 1) <= 2 &&
                                byteAt(p, 2) >= 1 && byteAt(p, 2) <= 2;
            if (p.size() >= 1 && byteAt(p, 0) == 52) {
                notDrawn(command);  // multiple tones
                return;
            }
            std::optional<Bitmap> bitmap;
            if (scales && byteAt(p, 0) == 48 && byteAt(p, 3) == 49)
                bitmap = picture(p.substr(8), static_cast<int>(little(p, 4)),
                                 static_cast<int>(little(p, 6)), fn == 113);
            if (!bitmap) {
                invalid(command);
                return;
            }
            bitmap->widthScale = byteAt(p, 1);
            bitmap->heightScale = byteAt(p, 2);
            graphicsBuffer_ = std::move(bitmap);
            return;
        }
        case 50:  // print the print buffer's graphics
            if (graphicsBuffer_)
                printBlock(*std::exchange(graphicsBuffer_, {}), command.bytes, "graphics");
            return;
        case 67:  // define NV graphics, in rows or columns
        case 68:
        case 83:  // define download graphics
        case 84: {
            std::optional<Bitmap> bitmap = definedGraphics(p, fn == 68 || fn == 84);
            if (!bitmap || byteAt(p, 1) < 32 || byteAt(p, 2) < 32) {
                invalid(command);
                return;
            }
            note(std::string(fn < 80 ? "NV" : "download") + " graphics " + keyName(1) +
                 " defined, " + number(bitmap->width) + " x " + number(bitmap->height) + " dots");
            (fn < 80 ? nvGraphics_ : downloadGraphics_)[key()] = std::move(*bitmap);
            return;
        }
        case 69:  // print NV graphics, kc1 kc2 x y
        case 85: {
            const auto& kept = fn == 69 ? nvGraphics_ : downloadGraphics_;
            const auto found =
                p.size() == 4 ? kept.find(256 * byteAt(p, 0) + byteAt(p, 1)) : kept.end();
            if (p.size() != 4 || byteAt(p, 2) < 1 || byteAt(p, 2) > 2 || byteAt(p, 3) < 1 ||
                byteAt(p, 3) > 2) {
                invalid(command);
            } else if (found == kept.end()) {
                note("graphics " + keyName(0) + " not defined: nothing printed");
            } else {
                Bitmap bitmap = found->second;
                bitmap.widthScale = byteAt(p, 2);
                bitmap.heightScale = byteAt(p, 3);
                printBlock(std::move(bitmap), command.bytes, "graphics");
            }
            return;
        }
        case 65:  // delete all NV graphics, "CLR"
        case 81:
            (fn == 65 ? nvGraphics_ : downloadGraphics_).clear();
            note(std::string(fn == 65 ? "NV" : "download") + " graphics deleted");
            return;
        case 66:  // delete one, kc1 kc2
        case 82:
            if (p.size() == 2)
                (fn == 66 ? nvGraphics_ : downloadGraphics_)
                    .erase(256 * byteAt(p, 0) + byteAt(p, 1));
            note(std::string(fn == 66 ? "NV" : "download") + " graphics " + keyName(0) +
                 " deleted");
            return;
        default:
            // Capacity and key code requests, the reference dot density: nothing to print.
            note("graphics function " + number(fn) + " passed over, " +
                 hexBytes(command.bytes, markerBytesShown));
    }
}

namespace {

constexpr std::uint8_t pdf417Code = 48, qrCode = 49, dataMatrixCode = 54;

const char* symbolName(std::uint8_t cn) {
    return cn == qrCode ? "QR Code" : cn == pdf417Code ? "PDF417" : "DataMatrix";
}

// A symbol's modules as the head prints them, each `width` × `height` dots.
Bitmap symbolBitmap(const ModuleMatrix& matrix, int width, int height) {
    Bitmap bitmap;
    bitmap.width = matrix.columns;
    bitmap.height = matrix.rows;
    bitmap.widthScale = static_cast<std::uint8_t>(width);
    bitmap.heightScale = static_cast<std::uint8_t>(height);
    bitmap.rows.assign(static_cast<std::size_t>(bitmap.rowBytes() * bitmap.height), 0);
    for (int y = 0; y < matrix.rows; ++y)
        for (int x = 0; x < matrix.columns; ++x)
            if (matrix.at(x, y))
                bitmap.rows[static_cast<std::size_t>(y * bitmap.rowBytes() + x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    return bitmap;
}

bool within(std::uint8_t n, int lowest, int highest) {
    return n >= lowest && n <= highest;
}

}  // namespace

// GS ( k: cn fn and the function's parameters. Settings last until ESC @; fn 80 stores the
// data, fn 81 prints it and fn 82 answers with its size.
void Decoder::twoDSymbol(const Received& command) {
    const std::string_view data = command.data;
    if (data.size() < 2) {
        invalid(command);
        return;
    }
    const std::uint8_t cn = byteAt(data, 0), fn = byteAt(data, 1);
    const std::string_view p = data.substr(2);
    if (cn != qrCode && cn != pdf417Code && cn != dataMatrixCode) {
        // MaxiCode, GS1 DataBar, composite symbols, Aztec Code.
        if (fn == 81)
            notDrawn(command);
        else
            setting(command);
        return;
    }
    bool valid = true;
    if (fn >= 80) {
        valid = !p.empty() && byteAt(p, 0) == 48 && (fn != 80 || p.size() > 1) && fn <= 82;
        if (valid && fn == 80) symbolData_[cn] = std::string(p.substr(1));
        if (valid && fn == 81) printSymbol(cn, command);
        if (valid && fn == 82) replySymbolSize(cn);
    } else {
        valid = cn == qrCode       ? qrSetting(fn, p)
                : cn == pdf417Code ? pdf417Setting(fn, p)
                                   : dataMatrixSetting(fn, p);
    }
    if (!valid) invalid(command);
}

bool Decoder::qrSetting(std::uint8_t fn, std::string_view p) {
    QrSettings& qr = modes_.qr;
    if (fn == 65 && p.size() == 2 && within(byteAt(p, 0), 49, 51) && byteAt(p, 1) == 0) {
        qr.model = static_cast<QrModel>(byteAt(p, 0) - 49);
        if (qr.model == QrModel::Model1) note("QR Code model 1 drawn as model 2");
    } else if (fn == 67 && p.size() == 1 && within(byteAt(p, 0), 1, 16)) {
        modes_.qrModule = byteAt(p, 0);
    } else if (fn == 69 && p.size() == 1 && within(byteAt(p, 0), 48, 51)) {
        qr.errorCorrection = byteAt(p, 0) - 48;
    } else {
        return false;
    }
    return true;
}

bool Decoder::pdf417Setting(std::uint8_t fn, std::string_view p) {
    Pdf417Settings& pdf417 = modes_.pdf417;
    const std::uint8_t n = p.empty() ? 0 : byteAt(p, 0);
    if (fn == 69 && p.size() == 2) {
        // A level 0-8 (m 48), or a ratio of n × 10 % (m 49).
        const std::uint8_t level = byteAt(p, 1);
        if (n == 48 && within(level, 48, 56)) {
            pdf417.levelGiven = true;
            pdf417.level = level - 48;
            return true;
        }
        if (n == 49 && within(level, 1, 40)) {
            pdf417.levelGiven = false;
            pdf417.ratio = level;
            return true;
        }
        return false;
    }
    if (p.size() != 1) return false;
    if (fn == 65 && n <= 30) {
        pdf417.columns = n;
    } else if (fn == 66 && (n == 0 || within(n, 3, 90))) {
        pdf417.rows = n;
    } else if (fn == 67 && within(n, 2, 8)) {
        modes_.pdf417Module = n;
    } else if (fn == 68 && within(n, 2, 8)) {
        modes_.pdf417RowHeight = n;
    } else if (fn == 70 && digitOrValue(n) <= 1) {
        pdf417.truncated = digitOrValue(n) == 1;
    } else {
        return false;
    }
    return true;
}

bool Decoder::dataMatrixSetting(std::uint8_t fn, std::string_view p) {
    if (fn == 65 && p.size() == 3 && within(byteAt(p, 0), 48, 49)) {
        modes_.dataMatrix = {byteAt(p, 0) == 49, byteAt(p, 1), byteAt(p, 2)};
    } else if (fn == 67 && p.size() == 1 && within(byteAt(p, 0), 2, 16)) {
        modes_.dataMatrixModule = byteAt(p, 0);
    } else {
        return false;
    }
    return true;
}

// The stored data as the symbol the settings make, in dots; why not, when it cannot be made.
std::variant<Bitmap, SymbolError> Decoder::storedSymbol(std::uint8_t cn) const {
    const auto stored = symbolData_.find(cn);
    if (stored == symbolData_.end()) return SymbolError{"no data stored"};
    const MatrixResult result = cn == qrCode ? encodeQr(stored->second, modes_.qr)
                                : cn == pdf417Code
                                    ? encodePdf417(stored->second, modes_.pdf417)
                                    : encodeDataMatrix(stored->second, modes_.dataMatrix);
    if (const auto* error = std::get_if<SymbolError>(&result)) return *error;
    const int module = cn == qrCode       ? modes_.qrModule
                       : cn == pdf417Code ? modes_.pdf417Module
                                          : modes_.dataMatrixModule;
    const int rowHeight = cn == pdf417Code ? module * modes_.pdf417RowHeight : module;
    return symbolBitmap(std::get<ModuleMatrix>(result), module, rowHeight);
}

void Decoder::printSymbol(std::uint8_t cn, const Received& command) {
    const std::string name = symbolName(cn);
    std::variant<Bitmap, SymbolError> symbol = storedSymbol(cn);
    if (const auto* error = std::get_if<SymbolError>(&symbol)) {
        mark(command.bytes, name + " not printed: " + error->reason);
        return;
    }
    Bitmap& bitmap = std::get<Bitmap>(symbol);
    if (bitmap.printedWidth() > area().width) {
        mark(command.bytes, name + " not printed: " + number(bitmap.printedWidth()) +
                                " dots wider than the printing area");
        return;
    }
    printBlock(std::move(bitmap), command.bytes, name);
}

// The size information of fn 82: header 37, an identifier, the width and height in dots as
// decimal digits, separated by 1F, then 31, 1F, 30 when the symbol can be printed (31 when
// not), and NUL.
void Decoder::replySymbolSize(std::uint8_t cn) {
    const std::string request = std::string(symbolName(cn)) + " size information";
    if (cn == dataMatrixCode) {
        reply({}, request);
        return;
    }
    const std::variant<Bitmap, SymbolError> symbol = storedSymbol(cn);
    const auto* bitmap = std::get_if<Bitmap>(&symbol);
    const int width = bitmap ? bitmap->printedWidth() : 0;
    const int height = bitmap ? bitmap->printedHeight() : 0;
    const bool printable = width > 0 && width <= area().width;
    std::string bytes = "\x37";
    bytes += cn == qrCode ? '\x36' : '\x2F';
    bytes += number(width) + "\x1F" + number(height) + "\x1F" + "1\x1F" + (printable ? '0' : '1');
    bytes += '\0';
    reply(bytes, request);
}

void Decoder::defineDownloadedImage(const Received& command) {
    downloadedImage_ = columnBitmap(command.data, command.parameter(1));
    note("downloaded bit image defined, " + number(downloadedImage_->width) + " x " +
         number(downloadedImage_->height) + " dots");
}

void Decoder::printDownloadedImage(const Received& command) {
    if (!downloadedImage_) {
        note("no downloaded bit image: nothing printed");
        return;
    }
    if (auto bitmap = scaled(*downloadedImage_, command.parameter()))
        printBlock(std::move(*bitmap), command.bytes, "downloaded bit image");
    else
        invalid(command);
}

void Decoder::defineNvBitImages(const Received& command) {
    // The pictures replace all those defined before.
    nvBitImages_.clear();
    for (std::string_view data = command.data; data.size() >= 4;) {
        const std::size_t columns = 8 * little(data, 0), columnBytes = little(data, 2);
        nvBitImages_.push_back(
            columnBitmap(data.substr(4, columns * columnBytes), static_cast<int>(columnBytes)));
        data.remove_prefix(4 + columns * columnBytes);
    }
    note(number(nvBitImages_.size()) + " NV bit images defined");
}

void Decoder::printNvBitImage(const Received& command) {
    const std::size_t n = command.parameter(0);
    if (n == 0 || n > nvBitImages_.size()) {
        note("NV bit image " + number(n) + " not defined: nothing printed");
        return;
    }
    if (auto bitmap = scaled(nvBitImages_[n - 1], command.parameter(1)))
        printBlock(std::move(*bitmap), command.bytes, "NV bit image");
    else
        invalid(command);
}

void Decoder::statusBack(const Received& command) {
    statusBackOn_ = command.parameter() != 0;
    note(statusBackOn_ ? "automatic status back on" : "automatic status back off");
    if (statusBackOn_) sendStatusBack();
}

void Decoder::statusRequest(const Received& command) {
    reply(transmittedStatus(command.parameter(), state_), "GS r " + number(command.parameter()));
}

void Decoder::idRequest(const Received& command) {
    reply(printerId(command.parameter(), state_), "GS I " + number(command.parameter()));
}

void Decoder::kanjiOn(const Received&) {
    modes_.kanji = true;
}

void Decoder::kanjiOff(const Received&) {
    modes_.kanji = false;
}

void Decoder::kanjiSpacing(const Received& command) {
    modes_.kanjiLeftSpacing = command.parameter(0);
    modes_.kanjiRightSpacing = command.parameter(1);
}

void Decoder::kanjiModes(const Received& command) {
    // Only bits 2, 3 and 7 mean anything here; the rest are ignored.
    const std::uint8_t n = command.parameter();
    modes_.kanjiWidthScale = (n & 0x04) ? 2 : 1;
    modes_.kanjiHeightScale = (n & 0x08) ? 2 : 1;
    modes_.kanjiUnderline = (n & 0x80) ? 1 : 0;
}

void Decoder::kanjiUnderline(const Received& command) {
    if (const auto value = choice(command, 2))
        modes_.kanjiUnderline = static_cast<std::uint8_t>(*value);
}

void Decoder::kanjiQuadruple(const Received& command) {
    modes_.kanjiWidthScale = modes_.kanjiHeightScale = (command.parameter() & 0x01) ? 2 : 1;
}

// Acted on when they arrived (see feed()); here only bytes that are no request are shown.
void Decoder::realTime(const Received& command) {
    if (realTimeLength(command.bytes) != command.bytes.size()) invalid(command);
}

void Decoder::setting(const Received& command) {
    note(std::string(command.command.name) + " " + hexBytes(command.bytes));
}

void Decoder::notDrawn(const Received& command) {
    const std::string_view header = command.header();
    if (!command.data.empty()) {
        mark(header, std::string("not drawn: ") + command.command.name + " " + hexBytes(header) +
                         " (" + number(command.data.size()) + " data bytes)");
        return;
    }
    // A zero parameter selects what the picture shows anyway.
    if (std::all_of(command.parameters.begin(), command.parameters.end(),
                    [](char c) { return c == 0; })) {
        setting(command);
        return;
    }
    mark(command.bytes,
         std::string("not drawn: ") + command.command.name + " " + hexBytes(command.bytes));
}

void Decoder::place(Run::Kind kind, char32_t character) {
    Run run;
    run.kind = kind;
    run.style.emphasised = modes_.emphasised || modes_.doubleStrike;
    run.style.reverse = modes_.reverse;
    if (kind == Run::Kind::Single) {
        run.style.font = modes_.font;
        run.style.underline = modes_.underline;
        run.style.widthScale = modes_.widthScale;
        run.style.heightScale = modes_.heightScale;
        run.cellWidth = cellWidth(modes_.font);
        run.cellHeight = cellHeight(modes_.font);
        run.pitch = (run.cellWidth + modes_.rightSpacing) * modes_.widthScale;
    } else {
        run.style.underline = modes_.kanjiUnderline;
        run.style.widthScale = modes_.kanjiWidthScale;
        run.style.heightScale = modes_.kanjiHeightScale;
        run.cellWidth = run.cellHeight = kanjiCell;
        run.leftGap = modes_.kanjiLeftSpacing * modes_.kanjiWidthScale;
        run.pitch = (modes_.kanjiLeftSpacing + kanjiCell + modes_.kanjiRightSpacing) *
                    modes_.kanjiWidthScale;
    }
    // Most characters continue the run before them: they need no run of their own.
    if (!line_.runs.empty() && line_.position + run.pitch <= area().width) {
        run.x = area().left + line_.position;
        if (Run& last = line_.runs.back(); continues(last, run)) {
            last.text.push_back(character);
            line_.position += run.pitch;
            line_.extent = std::max(line_.extent, line_.position);
            return;
        }
    }
    run.text = character;
    placeRun(std::move(run));
}

// Whether `next` can join the run `last` as more of its characters.
bool Decoder::continues(const Run& last, const Run& next) {
    return last.kind == next.kind && next.kind != Run::Kind::Marker && last.style == next.style &&
           last.pitch == next.pitch && last.leftGap == next.leftGap &&
           last.cellWidth == next.cellWidth && last.x + last.width() == next.x;
}

void Decoder::updateArea() {
    // A margin past the printable width leaves room for one character; a width past the
    // paper ends at its edge.
    const int left = std::clamp(modes_.leftMargin, 0, paper_.printableDots - cellWidth(Font::A));
    area_ = {left, std::clamp(modes_.areaWidth, 1, paper_.printableDots - left)};
}

void Decoder::moveTo(int position) {
    // A position outside the printing area is ignored.
    if (position >= 0 && position < area().width) line_.position = position;
}

void Decoder::placeRun(Run run) {
    // A character that does not fit prints the line and starts the next one; one wider than
    // the printing area is printed all the same.
    if (line_.position > 0 && line_.position + run.width() > area().width)
        printLine(modes_.lineSpacing);
    startLine();
    run.x = area().left + line_.position;
    line_.position += run.width();
    line_.extent = std::max(line_.extent, line_.position);
    if (!line_.runs.empty() && continues(line_.runs.back(), run)) {
        line_.runs.back().text += run.text;
        return;
    }
    line_.runs.push_back(std::move(run));
}

void Decoder::startLine() {
    // Alignment takes effect only at the start of a line.
    if (!line_.started) {
        line_.started = true;
        line_.align = modes_.align;
    }
}

void Decoder::printLine(int feedDots) {
    PrintedLine printed;
    const Align align = line_.started ? line_.align : modes_.align;
    // ESC $ and ESC \ may have moved back: the line is as wide as what it holds.
    const int shift = alignedShift(align, std::max(0, area().width - line_.extent));
    for (Run& run : line_.runs) {
        run.x += shift;
        printed.inkHeight = std::max(printed.inkHeight, run.height());
    }
    for (LineImage& image : line_.images) {
        image.x += shift;
        printed.inkHeight = std::max(printed.inkHeight, image.bitmap.printedHeight());
    }
    printed.runs = std::move(line_.runs);
    printed.images = std::move(line_.images);
    printed.height = std::max(std::min(feedDots, longestFeedDots), printed.inkHeight);
    line_ = PendingLine{};
    if (printed.height > 0) out_.emplace_back(std::in_place_type<PrintedLine>, std::move(printed));
}

void Decoder::cut(bool partial, std::string_view bytes, int feedDots) {
    if (line_.started) {
        mark(bytes, "cut ignored: not at the beginning of a line, " + hexBytes(bytes));
        return;
    }
    if (feedDots > 0) printLine(feedDots);
    note(partial ? "cut partial" : "cut full");
    out_.emplace_back(std::in_place_type<Cut>, Cut{partial});
}

void Decoder::mark(std::string_view bytes, std::string event) {
    Run marker;
    marker.kind = Run::Kind::Marker;
    for (char c : hexBytes(bytes.substr(0, markerBytesShown))) marker.text += char32_t(c);
    if (bytes.size() > markerBytesShown) marker.text += U" …";
    marker.cellWidth = markerCellWidth;
    marker.cellHeight = markerHeight;
    marker.pitch = markerCellWidth * static_cast<int>(marker.text.size()) + 2 * markerPadding;
    placeRun(std::move(marker));
    note(std::move(event));
}

std::size_t Decoder::invalid(std::string_view in, std::size_t length) {
    mark(in.substr(0, length), "invalid " + hexBytes(in.substr(0, length)));
    return length;
}

void Decoder::invalid(const Received& command) {
    invalid(command.bytes, command.bytes.size());
}

std::optional<int> Decoder::choice(const Received& command, int highest) {
    const int value = digitOrValue(command.parameter());
    if (value <= highest) return value;
    invalid(command);
    return std::nullopt;
}

void Decoder::note(std::string event) {
    out_.emplace_back(std::in_place_type<Event>, Event{std::move(event)});
}

bool Decoder::send(const std::string& bytes) {
    if (replies_.size() + bytes.size() > replyBufferBytes) return false;
    replies_ += bytes;
    return true;
}

void Decoder::reply(const std::string& bytes, const std::string& request) {
    if (bytes.empty()) {
        note("no reply to " + request);
    } else if (!send(bytes)) {
        note("no reply to " + request + ": " + unread);
    } else {
        note("replied " + hexBytes(bytes, 16) + " to " + request);
    }
}

void Decoder::sendStatusBack() {
    const std::string frame = automaticStatusBack(state_);
    if (frame.empty()) return;
    note(send(frame) ? "automatic status back sent " + hexBytes(frame)
                     : std::string("automatic status back sent nothing: ") + unread);
}

}  // namespace vp
