#pragma once

#include <cstdint>

// The printer's character tables, turned into Unicode for drawing.
namespace vp {

// The character a GBK (code page 936) double-byte code stands for, or 0 when the pair has none.
char32_t gbkCharacter(std::uint8_t lead, std::uint8_t trail);

// Whether a byte can start a GBK double-byte code.
inline bool isGbkLead(std::uint8_t byte) {
    return byte >= 0x81 && byte <= 0xFE;
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
