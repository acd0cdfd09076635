#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "printed_items.h"

// Drawing on paper one bit a dot, as the head's line buffer holds it: rows of bytes, the
// leftmost dot in a byte's high bit, 1 for black (the layout of Bitmap and of QImage's
// Format_Mono). Everything is clipped to the surface.
namespace vp::dots {

struct Surface {
    std::uint8_t* bits;
    int width, height;
    std::ptrdiff_t stride;  // bytes from one row to the next
    std::uint8_t* row(int y) const { return bits + y * stride; }
};

void fill(const Surface& surface, int x, int y, int width, int height, bool black);

// How the dots of a picture are put on paper: its black ones printed black (characters), its
// black ones left white (characters on a reversed background), or all of them as they are.
enum class Ink : std::uint8_t { Black, White, Opaque };

// Puts `dots` with its top left at `x`, `y`, each of its rows `repeat` times, nothing left of
// `clipLeft` or from `clipRight` on.
void paint(const Surface& surface, int x, int y, const Bitmap& dots, int repeat, Ink ink,
           int clipLeft = 0, int clipRight = 1 << 30);

// Every dot `scale` dots wide.
Bitmap widened(const Bitmap& dots, int scale);
// Turned a quarter clockwise: the left column becomes the top row.
Bitmap turnedClockwise(const Bitmap& dots);
// The rectangle turned half round in place, as a line printed upside down.
void upend(const Surface& surface, int left, int top, int width, int height);

// Writes the surface as a one-bit PNG with a palette (white, black), compressed for speed: a
// receipt is mostly blank paper, which packs well anyway.
bool writePng(const Surface& surface, const std::string& path);

}  // namespace vp::dots
