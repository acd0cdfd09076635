// The line and its layout: positions, the printing area, line feeds and cuts, and markers for
// what is not drawn.
#include "decoder_internals.h"

#include <algorithm>

#include "head_metrics.h"

namespace vp {

using namespace decoding;

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

void Decoder::cutPaper(const Received& command) {
    const std::uint8_t m = command.parameter();
    if (m == 65 || m == 66) {
        cut(m == 66, command.bytes, command.parameter(1));
    } else {
        cut(digitOrValue(m) == 1, command.bytes);
    }
}

void Decoder::drawerPulse(const Received& command) {
    const int pin = drawerPin(command.parameter(0));
    const int on = command.parameter(1) * 2;
    const int off = std::max(command.parameter(1), command.parameter(2)) * 2;
    note("drawer pin " + number(pin) + " on " + number(on) + " ms off " + number(off) + " ms");
    sink_.drawerPulse();
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
    if (modes_.turned) turnClockwise(run);
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
    printed.upsideDown = modes_.upsideDown && !printed.blank();
    line_ = PendingLine{};
    if (printed.height > 0) sink_.item(Item(std::in_place_type<PrintedLine>, std::move(printed)));
}

void Decoder::cut(bool partial, std::string_view bytes, int feedDots) {
    if (line_.started) {
        mark(bytes, "cut ignored: not at the beginning of a line, " + hexBytes(bytes));
        return;
    }
    if (feedDots > 0) printLine(feedDots);
    note(partial ? "cut partial" : "cut full");
    sink_.item(Item(std::in_place_type<Cut>, Cut{partial}));
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
    sink_.item(Item(std::in_place_type<Event>, Event{std::move(event)}));
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

}  // namespace vp
