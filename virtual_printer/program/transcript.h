#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "printed_items.h"

namespace vp {

// What one receipt says, for a test to assert on: every line's text, symbol's data, picture's
// size and hash, cut, pulse, reply and marker, the same for the same stream, byte for byte.
// As JSON (versioned by its "format") and as plain text.
std::string transcriptJson(const Receipt& receipt);
std::string transcriptText(const Receipt& receipt);

inline constexpr int transcriptFormat = 1;

// "fnv1a64:" and 16 hexadecimal digits: FNV-1a (64 bits) of the bitmap's rows, `rowBytes()`
// bytes each, leftmost dot in the high bit, the bits right of its width taken as 0.
std::string dotsHash(const Bitmap& bitmap);

// A line's text as the transcripts give it: its characters left to right, one space where
// its runs leave a gap between them, markers left out.
std::string lineText(const PrintedLine& line);

// Text as UTF-8, and a JSON string of bytes that are UTF-8 (control characters escaped).
std::string utf8(std::u32string_view text);
bool isUtf8(std::string_view bytes);
std::string jsonString(std::string_view utf8);

}  // namespace vp
