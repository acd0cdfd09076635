// The framer: bytes to commands. Real-time requests are answered on arrival in any state,
// what arrives while the printer cannot print is held in its receive buffer, and each command
// goes whole to its handler however the bytes were split.
#include "decoder_internals.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "head_metrics.h"
#include "printer_replies.h"

namespace vp {

using namespace decoding;

Decoder::Decoder(Paper paper, OutputSink& sink) : paper_(paper), sink_(sink) {
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
    // Framed ahead, their requests were answered then: now they are only received.
    const std::size_t framed = std::min(framedAhead_, bytes.size());
    framedAhead_ -= framed;
    if (framed > 0) receive(bytes.substr(0, framed));
    frame(bytes.substr(framed), true);
}

void Decoder::frameAhead(std::string_view bytes) {
    framedAhead_ += bytes.size();
    frame(bytes, false);
}

void Decoder::frame(std::string_view bytes, bool keep) {
    const auto take = [this, keep](std::string_view part) {
        if (keep) receive(part);
    };
    std::size_t from = 0;  // bytes before it have been received
    if (!arriving_.empty()) {
        // A request begun in an earlier read: the bytes that can complete it are all it needs.
        const std::size_t carried = arriving_.size();
        const std::string joined = std::exchange(arriving_, {}) + std::string(bytes.substr(0, 4));
        for (std::size_t start = 0; start < carried; ++start) {
            const std::size_t length = realTimeLength(std::string_view(joined).substr(start));
            if (length == incompleteRequest) {
                arriving_ = joined.substr(start);
                take(bytes);
                return;
            }
            if (length == 0) continue;
            from = start + length - carried;
            take(bytes.substr(0, from));
            if (!hexDump_) actOnRealTime(std::string_view(joined).substr(start, length));
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
        take(bytes.substr(from, at - from));
        // In hex dump mode the printer executes nothing, real-time requests included: they
        // are printed with the rest.
        if (!hexDump_) actOnRealTime(bytes.substr(at - length, length));
        from = at;
    }
    take(bytes.substr(from));
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

void Decoder::decode(std::string_view bytes) {
    while (!bytes.empty()) {
        if (hexDump_) {
            dumpHex(bytes);
            return;
        }
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
        if (hexDump_) {
            dumpHex(std::string_view(pending_).substr(at));
            at = pending_.size();
        }
    }
    pending_.erase(0, at);
    if (pending_.empty() && pending_.capacity() > smallBuffer) std::string().swap(pending_);
}

void Decoder::finish() {
    // Bytes framed ahead were dropped with the stream, and so was any request they began.
    if (std::exchange(framedAhead_, 0) > 0) arriving_.clear();
    if (!held_.empty()) return;
    arriving_.clear();
    if (skip_ > 0) {
        note("truncated " + hexBytes(skipping_, markerBytesShown) + ": " + bytesMissing(skip_));
        skip_ = 0;
    }
    if (!pending_.empty()) {
        // The printer would still be waiting for the rest: nothing of it is printed.
        std::string event = "truncated " + hexBytes(pending_, markerBytesShown);
        if (wanted_ > pending_.size()) event += ": " + bytesMissing(wanted_ - pending_.size());
        note(std::move(event));
        pending_.clear();
    }
    if (!hexRow_.empty()) printHexRow();
    if (line_.started) {
        note("text without a line feed, printed here");
        printLine(modes_.lineSpacing);
    }
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
        case DC2:
            return command(in);
        case NUL:
            if (nulExpected) return 1;
            break;
        default:
            break;
    }
    // A control code the printer does not know is ignored, as a command it does not know.
    note("unknown " + hexBytes(in.substr(0, 1)));
    return 1;
}

std::size_t Decoder::command(std::string_view in) {
    if (in.size() < 2) return more(2);
    // The table's rows by their first two bytes, so that finding a command reads only a few.
    static const auto rowsByStart = [] {
        std::unordered_map<std::uint16_t, std::vector<const Command*>> rows;
        for (const Command& command : commandTable())
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
        note("unknown " + hexBytes(in.substr(0, 2)));
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
    // Any command may have changed the modes that characters are laid out in.
    looksKnown_ = false;
    return end;
}

// A command of functions goes to the row of its function; every function has two bytes at
// least that select it (cn fn, m fn, fn and its first parameter, n m).
void Decoder::function(const Received& command) {
    // GS 8 L is GS ( L with a four-byte length: the same functions.
    const std::string_view prefix =
        command.command.prefix == "\x1D\x38\x4C" ? "\x1D\x28\x4C" : command.command.prefix;
    const Function* row = nullptr;
    if (command.data.size() >= 2)
        for (const Function& candidate : functionTable())
            if (candidate.prefix == prefix &&
                command.data.substr(candidate.at).starts_with(candidate.selector) &&
                (row == nullptr || candidate.selector.size() > row->selector.size()))
                row = &candidate;
    if (row == nullptr)
        invalid(command);
    else
        (this->*row->handle)(command);
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
        note("barcode ignored: not at the beginning of a line");
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
        note("barcode without NUL in " + number(limit) + " bytes " + hexBytes(in.substr(0, 3)));
        return 3;
    }
    nulMayFollow_ = true;
    return run(row, in, 3, limit);
}

}  // namespace vp
