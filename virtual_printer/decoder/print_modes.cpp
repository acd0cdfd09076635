// Characters and how they look: text in the code tables and GBK, print modes, Kanji modes.
#include "decoder_internals.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "character_sets.h"

namespace vp {

using namespace decoding;

// Text goes on run after run until a control code: nothing between them can change a mode.
std::size_t Decoder::text(std::string_view in) {
    std::size_t used = 0;
    while (used < in.size() && byteAt(in, used) >= 0x20) {
        const std::size_t taken = textRun(in.substr(used));
        // A code that has not fully arrived is read again with the bytes after it.
        if (taken == 0) break;
        used += taken;
    }
    return used;
}

// A run of characters of one kind is placed in one step: they all take the modes of now.
std::size_t Decoder::textRun(std::string_view in) {
    const std::uint8_t first = byteAt(in, 0);
    char32_t characters[256];
    const std::size_t most = std::min(in.size(), std::size(characters));
    std::size_t count = 0;
    if (first < 0x80) {
        const int set = modes_.internationalSet;
        for (; count < most && within(byteAt(in, count), 0x20, 0x7F); ++count) {
            const std::uint8_t c = byteAt(in, count);
            characters[count] = set == 0 ? c : internationalCharacter(set, c);
        }
        place(Run::Kind::Single, {characters, count});
        return count;
    }
    if (!modes_.kanji) {
        if (const char32_t c = codeTableCharacter(modes_.codeTable, first)) {
            place(Run::Kind::Single, std::u32string_view(&c, 1));
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
    const char32_t* pairs = romPairs(state_.rom);
    std::size_t used = 0;
    for (; count < std::size(characters) && used + 1 < in.size(); ++count) {
        const std::uint8_t lead = byteAt(in, used), trail = byteAt(in, used + 1);
        if (!isGbkLead(lead)) break;
        // A trail byte from 0x40 up makes a pair; one below may begin a four-byte code.
        std::size_t length = 2;
        char32_t c = 0;
        if (trail >= 0x40) {
            c = romPair(pairs, lead, trail);
        } else {
            length = romCodeLength(in.substr(used));
            c = length == 0 ? 0 : romCharacter(state_.rom, in.substr(used, length));
        }
        if (c == 0) break;
        characters[count] = c;
        used += length;
    }
    if (count > 0) {
        place(Run::Kind::Double, {characters, count});
        return used;
    }
    const std::size_t length = romCodeLength(in);
    if (length == 0) return more(in.size() + 1);
    // A code that a lesser ROM lacks, where a larger one has a character: the printer prints
    // what it has for none, shown as a marker.
    if (length == 4 || gbkCharacter(first, byteAt(in, 1)) != 0 ||
        romCharacter(CharacterRom::Gb18030, in.substr(0, 2)) != 0) {
        mark(in.substr(0, length), "no character " + hexBytes(in.substr(0, length)) + " in the " +
                                       romName(state_.rom) + " ROM");
        return length;
    }
    // A byte that cannot end a pair is read again on its own, so that a stray lead byte does
    // not swallow the line feed after it.
    const std::uint8_t trail = byteAt(in, 1);
    const bool couldPair = trail >= 0x40 && trail != 0x7F && trail != 0xFF;
    mark(in.substr(0, couldPair ? 2 : 1), "invalid GBK " + hexBytes(in.substr(0, 2)));
    return couldPair ? 2 : 1;
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

void Decoder::rotation(const Received& command) {
    if (const auto value = choice(command, 2)) modes_.turned = *value != 0;
}

void Decoder::upsideDown(const Received& command) {
    // The whole line turns, so the mode changes only before anything is on it.
    if (!atLineStart()) {
        note("upside-down printing ignored: not at the beginning of a line, " +
             hexBytes(command.bytes));
        return;
    }
    modes_.upsideDown = (command.parameter() & 0x01) != 0;
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

void Decoder::kanjiOn(const Received&) {
    modes_.kanji = true;
}

void Decoder::kanjiOff(const Received&) {
    modes_.kanji = false;
}

void Decoder::kanjiSpacing(const Received& command) {
    modes_.kanjiLeftSpacing = horizontalDots(command.parameter(0));
    modes_.kanjiRightSpacing = horizontalDots(command.parameter(1));
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

}  // namespace vp
