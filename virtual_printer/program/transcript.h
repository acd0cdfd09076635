#pragma once

#include <string>

#include "printed_items.h"

namespace vp {

// What one receipt says, for a test to assert on: every line's text, symbol's data, picture's
// size and hash, cut, pulse, reply and marker, the same for the same stream, byte for byte.
// As JSON (versioned by its "format") and as plain text.
std::string transcriptJson(const Receipt& receipt);
std::string transcriptText(const Receipt& receipt);

}  // namespace vp
