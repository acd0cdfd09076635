#pragma once

#include "printed_items.h"

namespace vp {

// The print head's character cells and the sizes of what it draws besides characters, in
// dots. The decoder lays lines out with them and the renderer fills the same cells: a
// difference between the two would show as characters overlapping or apart.

inline constexpr int kanjiCell = 24;  // a Chinese character, square
// Every eight font A characters until ESC D sets others.
inline constexpr int tabStopDots = 8 * 12;
// Between a barcode's bars and its human-readable text.
inline constexpr int hriGapDots = 4;
// A marker is white font B text on a black box, with this much black on either side.
inline constexpr int markerPadding = 3;
inline constexpr int markerCellWidth = 9;
inline constexpr int markerHeight = 21;

constexpr int cellWidth(Font font) {
    return font == Font::A ? 12 : 9;
}
constexpr int cellHeight(Font font) {
    return font == Font::A ? 24 : 17;
}

}  // namespace vp
