#pragma once

#include <QRect>

// The windows are laid out in twips, 15 to the pixel at 96 dpi. Converting to Qt's logical
// pixels keeps every window the same size on a dense screen, only drawn sharper. Every length
// in the layout is a multiple of 15, so the division is exact.
constexpr int twips(int length) {
    return length / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
