#include "escpos_decoder.h"

#include <algorithm>
#include <utility>

#include "barcodes.h"
#include "character_sets.h"

namespace vp {
namespace {

constexpr std::uint8_t NUL = 0x00, HT = 0x09, LF = 0x0A, CR = 0x0D, DLE = 0x10, ESC = 0x1B,
                       FS = 0x1C, GS = 0x1D;

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

std::uint8_t byteAt(std::string_view in, std::size_t i) {
    return static_cast<std::uint8_t>(in[i]);
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

// Commands recognised for their length only, so that their parameters never print as text.
struct KnownCommand {
    std::string_view prefix;
    std::size_t parameters;
    bool changesPrint;  // a picture without it would differ from the paper
    const char* what;
};

constexpr KnownCommand knownCommands[] = {
    {"\x1B\x63\x33", 1, false, "paper sensors for paper-end signals"},
    {"\x1B\x63\x34", 1, false, "paper sensors to stop printing"},
    {"\x1B\x63\x35", 1, false, "panel buttons"},
    {"\x1B\x3D", 1, false, "peripheral device"},
    {"\x1B\x55", 1, false, "unidirectional printing"},
    {"\x1B\x75", 1, false, "peripheral status request"},
    {"\x1B\x76", 0, false, "paper sensor status request"},
    {"\x1B\x37", 3, false, "heating"},
    {"\x1D\x61", 1, false, "automatic status back"},
    {"\x1D\x72", 1, false, "status request"},
    {"\x1D\x49", 1, false, "printer ID request"},
    {"\x1D\x62", 1, false, "smoothing"},
    {"\x1D\x50", 2, false, "motion units"},
    {"\x10\x05", 1, false, "real-time request"},
    {"\x1B\x7B", 1, true, "upside-down printing"},
    {"\x1B\x56", 1, true, "90° rotation"},
    {"\x1B\x52", 1, true, "international character set"},
    {"\x1B\x25", 1, true, "user-defined characters"},
    {"\x1B\x5C", 2, true, "relative print position"},
    {"\x1D\x4C", 2, true, "left margin"},
    {"\x1D\x57", 2, true, "printing area width"},
    {"\x1D\x2F", 1, true, "downloaded bit image"},
    {"\x1C\x70", 2, true, "NV bit image"},
};

// Commands whose header says how many data bytes follow; their data is passed over.
struct DataCommand {
    std::string_view prefix;
    std::size_t header;  // bytes up to the data
    const char* what;
    std::size_t (*dataLength)(std::string_view header);  // 0 for an invalid header
};

std::size_t little(std::string_view in, std::size_t at) {
    return byteAt(in, at) + 256u * byteAt(in, at + 1);
}

constexpr DataCommand dataCommands[] = {
    {"\x1B\x2A", 5, "bit image",
     [](std::string_view h) -> std::size_t {
         const std::uint8_t m = byteAt(h, 2);
         return m <= 1 ? little(h, 3) : (m == 32 || m == 33) ? 3 * little(h, 3) : 0;
     }},
    {"\x1D\x76\x30", 8, "raster bit image",
     [](std::string_view h) -> std::size_t { return little(h, 4) * little(h, 6); }},
    {"\x1D\x28", 5, "GS ( function", [](std::string_view h) { return little(h, 3); }},
};

std::string number(int value) {
    return std::to_string(value);
}

}  // namespace

Decoder::Decoder(Paper paper) : paper_(paper) {}

void Decoder::feed(std::string_view bytes) {
    // Skipped data that has not been buffered yet need not be.
    if (skip_ > 0 && pending_.empty()) {
        const std::size_t passed = std::min(skip_, bytes.size());
        skip_ -= passed;
        bytes.remove_prefix(passed);
    }
    pending_.append(bytes);
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
}

void Decoder::finish() {
    if (skip_ > 0) {
        note("truncated " + hexBytes(skipping_, markerBytesShown) + ": " + std::to_string(skip_) +
             " data bytes missing");
        skip_ = 0;
    }
    if (!pending_.empty()) {
        mark(pending_, "truncated " + hexBytes(pending_, markerBytesShown));
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
    state_ = state;
}

std::string Decoder::takeReplies() {
    return std::exchange(replies_, {});
}

int Decoder::takeDrawerPulses() {
    return std::exchange(drawerPulses_, 0);
}

std::size_t Decoder::step(std::string_view in) {
    const std::uint8_t first = byteAt(in, 0);
    const bool nulExpected = std::exchange(nulMayFollow_, false);
    switch (first) {
        case LF:
            printLine(modes_.lineSpacing);
            return 1;
        // Ignored as printers do with automatic line feed off, their default: so CR LF feeds
        // one line, not two.
        case CR:
            return 1;
        case HT: {
            const int next = (line_.width / tabStopDots + 1) * tabStopDots;
            if (next < paper_.printableDots) {
                startLine();
                line_.width = next;
            }
            return 1;
        }
        case ESC:
            return escape(in);
        case GS:
            return groupSeparator(in);
        case FS:
            return fileSeparator(in);
        case DLE:
            return dataLinkEscape(in);
        default:
            break;
    }
    if (first < 0x20) {
        if (first == NUL && nulExpected) return 1;
        mark(in.substr(0, 1), "unknown " + hexBytes(in.substr(0, 1)));
        return 1;
    }
    return text(in);
}

std::size_t Decoder::text(std::string_view in) {
    const std::uint8_t first = byteAt(in, 0);
    if (first < 0x80) {
        place(Run::Kind::Single, first);
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
    if (in.size() < 2) return 0;
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

std::size_t Decoder::escape(std::string_view in) {
    if (in.size() < 2) return 0;
    const std::uint8_t command = byteAt(in, 1);
    // Commands with one parameter byte.
    if (std::string_view("!EG-Ma3dJ t").find(static_cast<char>(command)) !=
        std::string_view::npos) {
        if (in.size() < 3) return 0;
        const std::uint8_t n = byteAt(in, 2);
        const int value = digitOrValue(n);
        switch (command) {
            case '!':
                modes_.font = (n & 0x01) ? Font::B : Font::A;
                modes_.emphasised = (n & 0x08) != 0;
                modes_.heightScale = (n & 0x10) ? 2 : 1;
                modes_.widthScale = (n & 0x20) ? 2 : 1;
                modes_.underline = (n & 0x80) ? 1 : 0;
                break;
            case 'E':
                modes_.emphasised = (n & 0x01) != 0;
                break;
            case 'G':
                modes_.doubleStrike = (n & 0x01) != 0;
                break;
            case '-':
                if (value > 2) return invalid(in, 3);
                modes_.underline = static_cast<std::uint8_t>(value);
                break;
            case 'M':
                if (value > 1) return invalid(in, 3);
                modes_.font = value == 1 ? Font::B : Font::A;
                break;
            case 'a':
                if (value > 2) return invalid(in, 3);
                modes_.align = static_cast<Align>(value);
                break;
            case '3':
                modes_.lineSpacing = n;
                break;
            case 'd':
                printLine(n * modes_.lineSpacing);
                break;
            case 'J':
                printLine(n);
                break;
            case ' ':
                modes_.rightSpacing = n;
                break;
            case 't':
                modes_.codeTable = n;
                note("code table " + number(n));
                break;
        }
        return 3;
    }
    switch (command) {
        case '@':
            if (line_.started) note("ESC @ discarded a line that had not been printed");
            line_ = PendingLine{};
            modes_ = Modes{};
            return 2;
        case '2':
            modes_.lineSpacing = 30;
            return 2;
        case 'i':
        case 'm':
            cut(true, in.substr(0, 2));
            return 2;
        case '$': {
            if (in.size() < 4) return 0;
            const int position = static_cast<int>(little(in, 2));
            if (position < paper_.printableDots) {
                startLine();
                line_.width = position;
            }
            return 4;
        }
        case 'p': {
            if (in.size() < 3) return 0;
            const std::uint8_t m = byteAt(in, 2);
            const int pin = (m == 0 || m == '0') ? 2 : (m == 1 || m == '1') ? 5 : 0;
            if (pin == 0) return invalid(in, 3);
            if (in.size() < 5) return 0;
            const int on = byteAt(in, 3) * 2, off = std::max(byteAt(in, 3), byteAt(in, 4)) * 2;
            note("drawer pin " + number(pin) + " on " + number(on) + " ms off " + number(off) +
                 " ms");
            return 5;
        }
        default:
            return knownCommand(in);
    }
}

std::size_t Decoder::groupSeparator(std::string_view in) {
    if (in.size() < 2) return 0;
    const std::uint8_t command = byteAt(in, 1);
    if (command == 'k') return barcode(in);
    if (std::string_view("!BVhwHf").find(static_cast<char>(command)) == std::string_view::npos)
        return knownCommand(in);
    if (in.size() < 3) return 0;
    const std::uint8_t n = byteAt(in, 2);
    const int value = digitOrValue(n);
    switch (command) {
        case '!': {
            const int width = (n >> 4) + 1, height = (n & 0x0F) + 1;
            if (width > 8 || height > 8) return invalid(in, 3);
            modes_.widthScale = modes_.kanjiWidthScale = static_cast<std::uint8_t>(width);
            modes_.heightScale = modes_.kanjiHeightScale = static_cast<std::uint8_t>(height);
            break;
        }
        case 'B':
            modes_.reverse = (n & 0x01) != 0;
            break;
        case 'V':
            if (value == 0 || value == 1) {
                cut(value == 1, in.substr(0, 3));
            } else if (n == 65 || n == 66) {
                if (in.size() < 4) return 0;
                cut(n == 66, in.substr(0, 4), byteAt(in, 3));
                return 4;
            } else {
                return invalid(in, 3);
            }
            break;
        case 'h':
            if (n == 0) return invalid(in, 3);
            modes_.barHeight = n;
            break;
        case 'w':
            if (n < 1 || n > 6) return invalid(in, 3);
            modes_.moduleWidth = n;
            break;
        case 'H':
            if (value > 3) return invalid(in, 3);
            modes_.hri = static_cast<HriPosition>(value);
            break;
        case 'f':
            if (value > 1) return invalid(in, 3);
            modes_.hriFont = value == 1 ? Font::B : Font::A;
            break;
    }
    return 3;
}

std::size_t Decoder::fileSeparator(std::string_view in) {
    if (in.size() < 2) return 0;
    const std::uint8_t command = byteAt(in, 1);
    switch (command) {
        case '&':
            modes_.kanji = true;
            return 2;
        case '.':
            modes_.kanji = false;
            return 2;
        case 'S':
            if (in.size() < 4) return 0;
            modes_.kanjiLeftSpacing = byteAt(in, 2);
            modes_.kanjiRightSpacing = byteAt(in, 3);
            return 4;
        case '!':
        case '-':
        case 'W':
            break;
        default:
            return knownCommand(in);
    }
    if (in.size() < 3) return 0;
    const std::uint8_t n = byteAt(in, 2);
    if (command == '!') {
        // Only bits 2, 3 and 7 mean anything here; the rest are ignored.
        modes_.kanjiWidthScale = (n & 0x04) ? 2 : 1;
        modes_.kanjiHeightScale = (n & 0x08) ? 2 : 1;
        modes_.kanjiUnderline = (n & 0x80) ? 1 : 0;
    } else if (command == '-') {
        if (digitOrValue(n) > 2) return invalid(in, 3);
        modes_.kanjiUnderline = static_cast<std::uint8_t>(digitOrValue(n));
    } else {
        modes_.kanjiWidthScale = modes_.kanjiHeightScale = (n & 0x01) ? 2 : 1;
    }
    return 3;
}

std::size_t Decoder::dataLinkEscape(std::string_view in) {
    if (in.size() < 2) return 0;
    if (byteAt(in, 1) != 0x04) return knownCommand(in);
    if (in.size() < 3) return 0;
    const std::uint8_t n = byteAt(in, 2);
    if (n < 1 || n > 4) return invalid(in, 3);
    // A status request: a printer would answer; nothing here reads answers.
    note("DLE EOT " + number(n));
    return 3;
}

std::size_t Decoder::knownCommand(std::string_view in) {
    bool mayBeLonger = false;
    for (const KnownCommand& known : knownCommands) {
        if (in.size() < known.prefix.size()) {
            mayBeLonger = mayBeLonger || known.prefix.starts_with(in);
            continue;
        }
        if (!in.starts_with(known.prefix)) continue;
        const std::size_t length = known.prefix.size() + known.parameters;
        if (in.size() < length) return 0;
        const std::string_view command = in.substr(0, length);
        const bool allZero = std::all_of(command.begin() + known.prefix.size(), command.end(),
                                         [](char c) { return c == 0; });
        // A zero parameter selects what the picture shows anyway.
        if (known.changesPrint && !allZero) {
            mark(command, std::string("not drawn: ") + known.what + " " + hexBytes(command));
        } else {
            note(std::string(known.what) + " " + hexBytes(command));
        }
        return length;
    }
    for (const DataCommand& data : dataCommands) {
        if (in.size() < data.prefix.size()) {
            mayBeLonger = mayBeLonger || data.prefix.starts_with(in);
            continue;
        }
        if (!in.starts_with(data.prefix)) continue;
        if (in.size() < data.header) return 0;
        const std::string_view header = in.substr(0, data.header);
        const std::size_t length = data.dataLength(header);
        if (length == 0) return invalid(in, data.header);
        mark(header, std::string("not drawn: ") + data.what + " " + hexBytes(header) + " (" +
                         std::to_string(length) + " data bytes)");
        skip_ = length;
        skipping_ = header;
        return data.header;
    }
    if (mayBeLonger) return 0;
    mark(in.substr(0, 2), "unknown " + hexBytes(in.substr(0, 2)));
    return 2;
}

std::size_t Decoder::barcode(std::string_view in) {
    if (line_.started) {
        // The printer takes GS k only at the start of a line and prints what follows as text.
        mark(in.substr(0, 2), "barcode ignored: not at the beginning of a line");
        return 2;
    }
    if (in.size() < 3) return 0;
    const std::uint8_t m = byteAt(in, 2);
    Symbology symbology;
    std::string_view data;
    std::size_t used = 0;
    if (m <= 6) {
        symbology = static_cast<Symbology>(m + 65);
        // Fixed-length systems end after their longest data, NUL or not.
        static constexpr std::size_t longest[] = {12, 12, 13, 8, 0, 0, 0};
        const std::size_t limit = longest[m] != 0 ? longest[m] : longestNulTerminatedData;
        const std::size_t end = in.find('\0', 3);
        if (end != std::string_view::npos && end - 3 <= limit) {
            data = in.substr(3, end - 3);
            used = end + 1;
        } else if (in.size() >= 3 + limit + 1 || (longest[m] != 0 && in.size() >= 3 + limit)) {
            if (longest[m] == 0) {
                mark(in.substr(0, 3), "barcode without NUL in " + number(static_cast<int>(limit)) +
                                          " bytes " + hexBytes(in.substr(0, 3)));
                return 3;
            }
            data = in.substr(3, limit);
            used = 3 + limit;
            nulMayFollow_ = true;
        } else {
            return 0;
        }
    } else if (m >= 65 && m <= 73) {
        symbology = static_cast<Symbology>(m);
        if (in.size() < 4) return 0;
        used = 4 + byteAt(in, 3);
        if (in.size() < used) return 0;
        data = in.substr(4, used - 4);
    } else {
        return invalid(in, 3);
    }

    const std::string name = symbologyName(symbology);
    const std::string_view command = in.substr(0, used);
    const SymbolResult result = encodeSymbol(symbology, data);
    if (const auto* error = std::get_if<SymbolError>(&result)) {
        mark(command, "barcode " + name + " not printed: " + error->reason + ", " +
                          hexBytes(command, markerBytesShown));
        printLine(0);
        return used;
    }
    const Symbol& symbol = std::get<Symbol>(result);
    Barcode printed;
    printed.symbology = name;
    printed.text = symbol.text;
    for (std::uint8_t element : symbol.elements)
        printed.bars.push_back(
            static_cast<std::uint16_t>(elementDots(symbol, element, modes_.moduleWidth)));
    const int bars = printed.barsWidth();
    if (bars > paper_.printableDots) {
        mark(command, "barcode " + name + " not printed: " + number(bars) +
                          " dots wider than the paper, " + hexBytes(command, markerBytesShown));
        printLine(0);
        return used;
    }
    // Quiet zones are kept inside the printable width while it has room for them, so that
    // a symbol never starts right at the paper's edge.
    printed.quietLeft = symbol.quietLeft * modes_.moduleWidth;
    printed.quietRight = symbol.quietRight * modes_.moduleWidth;
    const int box = printed.quietLeft + bars + printed.quietRight;
    if (box > paper_.printableDots) {
        printed.x = (paper_.printableDots - bars) / 2;
    } else {
        const int free = paper_.printableDots - box;
        printed.x = printed.quietLeft + (modes_.align == Align::Centre  ? free / 2
                                         : modes_.align == Align::Right ? free
                                                                        : 0);
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
    out_.emplace_back(std::in_place_type<decltype(printed)>, std::move(printed));
    return used;
}

void Decoder::place(Run::Kind kind, char32_t character) {
    Run run;
    run.kind = kind;
    run.text = character;
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
    placeRun(std::move(run));
}

void Decoder::placeRun(Run run) {
    // A character that does not fit prints the line and starts the next one.
    if (line_.width > 0 && line_.width + run.width() > paper_.printableDots)
        printLine(modes_.lineSpacing);
    startLine();
    run.x = line_.width;
    line_.width += run.width();
    if (!line_.runs.empty() && run.kind != Run::Kind::Marker) {
        Run& last = line_.runs.back();
        if (last.kind == run.kind && last.style == run.style && last.pitch == run.pitch &&
            last.leftGap == run.leftGap && last.cellWidth == run.cellWidth &&
            last.x + last.width() == run.x) {
            last.text += run.text;
            return;
        }
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
    const int free = std::max(0, paper_.printableDots - line_.width);
    const int shift = align == Align::Centre ? free / 2 : align == Align::Right ? free : 0;
    for (Run& run : line_.runs) {
        run.x += shift;
        printed.inkHeight = std::max(printed.inkHeight, run.height());
    }
    printed.runs = std::move(line_.runs);
    printed.height = std::max(std::min(feedDots, longestFeedDots), printed.inkHeight);
    line_ = PendingLine{};
    if (printed.height > 0)
        out_.emplace_back(std::in_place_type<decltype(printed)>, std::move(printed));
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

void Decoder::note(std::string event) {
    out_.emplace_back(std::in_place_type<Event>, Event{std::move(event)});
}

}  // namespace vp
