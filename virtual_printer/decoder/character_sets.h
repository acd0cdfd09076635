#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The printer's character tables, turned into Unicode for drawing.
namespace vp {

// The character a GBK (code page 936) double-byte code stands for, or 0 when the pair has none.
char32_t gbkCharacter(std::uint8_t lead, std::uint8_t trail);

// Whether a byte can start a GBK double-byte code.
inline bool isGbkLead(std::uint8_t byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// The Chinese character ROM a printer is made with: GB2312 has the symbols and the 6,763
// hanzi of its two-byte rows A1-F7, GBK adds the rest of the two-byte codes, GB18030 also
// the four-byte ones (CJK extensions, the other Unicode planes).
enum class CharacterRom : std::uint8_t { Gb2312, Gbk, Gb18030 };

// What GS I 69 answers, "CHINA GB2312" etc.
const char* romName(CharacterRom rom);
// "gb2312", "gbk", "gb18030": the names given on the command line.
const char* romKey(CharacterRom rom);
std::optional<CharacterRom> romNamed(std::string_view key);

// The length of the multi-byte code at the start of `in` as the ROM reads it: 4 for a
// GB18030 four-byte code (in any ROM: the lesser ones know it is one and lack it), else 2; 0
// when `in` ends too soon to tell.
std::size_t romCodeLength(std::string_view in);
// The character of a two- or four-byte code in the ROM, or 0 when the ROM has none there.
char32_t romCharacter(CharacterRom rom, std::string_view code);

// The ROM's two-byte codes as one table, for a run of text at one table access a character:
// romPair(romPairs(rom), lead, trail) is romCharacter(rom, the pair).
const char32_t* romPairs(CharacterRom rom);
// Where a pair stands in that table: a row for each lead byte 0x80-0xFE, a column for each
// trail byte 0x40-0xFE.
inline std::size_t romPairIndex(std::uint8_t lead, std::uint8_t trail) {
    return std::size_t(lead - 0x80) * (0xFF - 0x40) + (trail - 0x40);
}
inline char32_t romPair(const char32_t* pairs, std::uint8_t lead, std::uint8_t trail) {
    if (!isGbkLead(lead) || trail < 0x40 || trail == 0x7F || trail == 0xFF) return 0;
    return pairs[romPairIndex(lead, trail)];
}

// The character a single byte stands for in the code table selected by ESC t, or 0 when the
// table is unknown or has no character there. Bytes below 0x80 are ASCII in every table.
char32_t codeTableCharacter(int table, std::uint8_t byte);

// The code table's name for events, e.g. "PC437"; empty when the table is unknown.
const char* codeTableName(int table);

// Whether ESC R knows the international character set `set` (0 U.S.A. to 17 Arabia).
bool isInternationalSet(int set);
// The character an ASCII byte stands for in international character set `set`: twelve
// positions (# $ @ [ \ ] ^ ` { | } ~) differ from country to country.
char32_t internationalCharacter(int set, std::uint8_t byte);

}  // namespace vp
