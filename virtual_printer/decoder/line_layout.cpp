// The line and its layout: positions, the printing area, line feeds and cuts, and markers for
// what is not drawn.
#include "decoder_internals.h"

#include <algorithm>
#include <utility>

#include "head_metrics.h"

namespace vp {

using namespace decoding;

void Decoder::justification(const Received& command) {
    if (const auto value = choice(command, 2)) modes_.align = static_cast<Align>(*value);
}

void Decoder::lineSpacing(const Received& command) {
    modes_.lineSpacing = verticalDots(command.parameter());
}

void Decoder::defaultLineSpacing(const Received&) {
    modes_.lineSpacing = 30;
}

void Decoder::feedLines(const Received& command) {
    printLine(command.parameter() * modes_.lineSpacing);
}

void Decoder::feedDots(const Received& command) {
    printLine(verticalDots(command.parameter()));
}

void Decoder::rightSpacing(const Received& command) {
    modes_.rightSpacing = horizontalDots(command.parameter());
}

void Decoder::absolutePosition(const Received& command) {
    moveTo(horizontalDots(static_cast<int>(little(command.parameters, 0))));
}

void Decoder::relativePosition(const Received& command) {
    // A two's complement step: 65536 - n moves n units to the left.
    const auto step = static_cast<std::int16_t>(little(command.parameters, 0));
    moveTo(line_.position + horizontalDots(step));
}

// GS P x y: the commands that move the paper or the position count in 1/x and 1/y inch, 0
// meaning the default. A Chinese-market head of 203 dpi counts in its own dots both ways: its
// makers' references give x = 203 and y = 203 as the defaults.
void Decoder::motionUnits(const Received& command) {
    const auto unit = [](std::uint8_t n) { return n != 0 ? int(n) : headDpi; };
    modes_.horizontalUnit = unit(command.parameter(0));
    modes_.verticalUnit = unit(command.parameter(1));
    note("motion units " + hexBytes(command.bytes));
}

// What is left after the division is lost: the head moves in whole dots.
int Decoder::horizontalDots(int units) const {
    return units * headDpi / modes_.horizontalUnit;
}

int Decoder::verticalDots(int units) const {
    return units * headDpi / modes_.verticalUnit;
}

void Decoder::leftMargin(const Received& command) {
    if (!atLineStart()) {
        note("left margin ignored: not at the beginning of a line, " + hexBytes(command.bytes));
        return;
    }
    modes_.leftMargin = horizontalDots(static_cast<int>(little(command.parameters, 0)));
    updateArea();
}

void Decoder::printingAreaWidth(const Received& command) {
    if (!atLineStart()) {
        note("printing area width ignored: not at the beginning of a line, " +
             hexBytes(command.bytes));
        return;
    }
    modes_.areaWidth = horizontalDots(static_cast<int>(little(command.parameters, 0)));
    updateArea();
}

void Decoder::initialise(const Received&) {
    if (line_.started) note("ESC @ discarded a line that had not been printed");
    line_.clear();
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

void Decoder::cutPaper(const Received& command) {
    const std::uint8_t m = command.parameter();
    if (m == 65 || m == 66) {
        cut(m == 66, command.bytes, verticalDots(command.parameter(1)));
    } else {
        cut(digitOrValue(m) == 1, command.bytes);
    }
}

void Decoder::drawerPulse(const Received& command) {
    const int pin = drawerPin(command.parameter(0));
    const int on = command.parameter(1) * 2;
    const int off = std::max(command.parameter(1), command.parameter(2)) * 2;
    pulseDrawer("drawer pin " + number(pin) + " on " + number(on) + " ms off " + number(off) +
                " ms");
}

const Decoder::Look& Decoder::look(Run::Kind kind) {
    if (!looksKnown_) {
        looks_[0] = lookInModes(Run::Kind::Single);
        looks_[1] = lookInModes(Run::Kind::Double);
        looksKnown_ = true;
    }
    return looks_[kind == Run::Kind::Double ? 1 : 0];
}

// How characters of `kind` are laid out in the modes of now.
Decoder::Look Decoder::lookInModes(Run::Kind kind) const {
    Look look;
    look.kind = kind;
    look.style.emphasised = modes_.emphasised || modes_.doubleStrike;
    look.style.reverse = modes_.reverse;
    int spacing = 0, leftSpacing = 0;  // dots beside each glyph, before scaling
    if (kind == Run::Kind::Single) {
        look.style.font = modes_.font;
        look.style.underline = modes_.underline;
        look.style.widthScale = modes_.widthScale;
        look.style.heightScale = modes_.heightScale;
        look.cellWidth = cellWidth(modes_.font);
        look.cellHeight = cellHeight(modes_.font);
        spacing = modes_.rightSpacing;
    } else {
        look.style.underline = modes_.kanjiUnderline;
        look.style.widthScale = modes_.kanjiWidthScale;
        look.style.heightScale = modes_.kanjiHeightScale;
        look.cellWidth = look.cellHeight = kanjiCell;
        leftSpacing = modes_.kanjiLeftSpacing;
        spacing = modes_.kanjiLeftSpacing + modes_.kanjiRightSpacing;
    }
    if (modes_.turned) {
        // A quarter turn clockwise (ESC V): the cell turns, enlarged along the character's own
        // width and height, which now lie the other way; turned characters are never
        // underlined.
        std::swap(look.cellWidth, look.cellHeight);
        std::swap(look.style.widthScale, look.style.heightScale);
        look.style.underline = 0;
        look.style.turned = true;
    }
    look.pitch = (look.cellWidth + spacing) * look.style.widthScale;
    look.leftGap = leftSpacing * look.style.widthScale;
    return look;
}

// How many of `count` characters `pitch` dots apart fit in `room` dots. Most runs fit whole,
// and are known to without a division.
static std::size_t fitting(int room, int pitch, std::size_t count) {
    if (room < pitch) return 0;
    if (count * static_cast<std::size_t>(pitch) <= static_cast<std::size_t>(room)) return count;
    return std::min(static_cast<std::size_t>(room / pitch), count);
}

void Decoder::place(Run::Kind kind, std::u32string_view characters) {
    const Look& look = this->look(kind);
    const Area inside = area();
    while (!characters.empty()) {
        const int room = inside.width - line_.position;
        std::size_t taken = 0;
        // Most characters continue the run before them, as many at once as the line has
        // room for: they need no run of their own.
        if (room >= look.pitch && !line_.runs.empty() &&
            continues(line_.runs.back(), look, inside.left + line_.position)) {
            taken = fitting(room, look.pitch, characters.size());
            line_.runs.appendToBack(characters.substr(0, taken));
        } else {
            // A character that does not fit prints the line and starts the next one; one
            // wider than the printing area is printed all the same.
            if (line_.position > 0 && look.pitch > room) printLine(modes_.lineSpacing);
            startLine();
            taken = std::max<std::size_t>(
                fitting(inside.width - line_.position, look.pitch, characters.size()), 1);
            Run& run = line_.runs.emplace_back(characters.substr(0, taken));
            run.kind = look.kind;
            run.style = look.style;
            run.x = inside.left + line_.position;
            run.pitch = look.pitch;
            run.leftGap = look.leftGap;
            run.cellWidth = look.cellWidth;
            run.cellHeight = look.cellHeight;
        }
        line_.position += static_cast<int>(taken) * look.pitch;
        line_.extent = std::max(line_.extent, line_.position);
        characters.remove_prefix(taken);
    }
}

// Whether characters of `next`, placed at `x`, can join the run `last` as more of its own.
bool Decoder::continues(const Run& last, const Look& next, int x) {
    return last.kind == next.kind && next.kind != Run::Kind::Marker && last.style == next.style &&
           last.pitch == next.pitch && last.leftGap == next.leftGap &&
           last.cellWidth == next.cellWidth && last.x + last.width() == x;
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
    printed.runs = line_.runs.print();
    printed.images = std::move(line_.images);
    printed.align = align;
    printed.height = std::max(std::min(feedDots, longestFeedDots), printed.inkHeight);
    printed.upsideDown = modes_.upsideDown && !printed.blank();
    line_.clear();
    if (printed.height > 0) sink_.item(Item(std::in_place_type<PrintedLine>, std::move(printed)));
}

void Decoder::cut(bool partial, std::string_view bytes, int feedDots) {
    if (line_.started) {
        note("cut ignored: not at the beginning of a line, " + hexBytes(bytes));
        return;
    }
    if (feedDots > 0) printLine(feedDots);
    note(partial ? "cut partial" : "cut full");
    sink_.item(Item(std::in_place_type<Cut>, Cut{partial}));
}

void Decoder::mark(std::string_view bytes, std::string event) {
    std::u32string label;
    for (char c : hexBytes(bytes.substr(0, markerBytesShown))) label += char32_t(c);
    if (bytes.size() > markerBytesShown) label += U" …";
    Run marker;
    marker.kind = Run::Kind::Marker;
    marker.text = label;  // copied beside the line's other characters when placed
    marker.bytes = bytes;
    marker.cellWidth = markerCellWidth;
    marker.cellHeight = markerHeight;
    marker.pitch = markerCellWidth * static_cast<int>(label.size()) + 2 * markerPadding;
    placeRun(std::move(marker));
    note(std::move(event));
}

// The printer ignores a command it refuses: nothing of it is on the paper.
std::size_t Decoder::invalid(std::string_view in, std::size_t length) {
    note("invalid " + hexBytes(in.substr(0, length)));
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
    note(Event{std::move(event)});
}

void Decoder::note(Event event) {
    sink_.item(Item(std::in_place_type<Event>, std::move(event)));
}

void Decoder::pulseDrawer(std::string event) {
    note(Event{std::move(event), {}, true});
    sink_.drawerPulse();
}

void Decoder::setting(const Received& command) {
    note(std::string(command.command.name) + " " + hexBytes(command.bytes));
}

// Commands of other printers' languages that libraries send to ESC/POS printers too: the
// printer takes their parameters and data with them, so that these do not print as text.
void Decoder::otherDialect(const Received& command) {
    std::string event = std::string(command.command.name) + " passed over, " +
                        hexBytes(command.header(), markerBytesShown);
    if (!command.data.empty()) event += " (" + number(command.data.size()) + " data bytes)";
    note(std::move(event));
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

}  // namespace vp
