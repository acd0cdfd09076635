#pragma once

#include <QFont>
#include <QImage>
#include <QStringList>
#include <unordered_map>

#include "printed_items.h"

namespace vp {

// Draws receipts as thermal paper: one printer dot is one pixel, black on white, the paper's
// unprintable margins included. The picture has one bit a dot (QImage::Format_Mono, 1 for
// black) and is drawn into bit by bit, as the head's line buffer is: glyphs are rasterised
// once per character into dots and enlarged dot by dot; pictures and symbols are copied as
// bits. Needs a QGuiApplication for its fonts.
class ReceiptRenderer {
public:
    explicit ReceiptRenderer(Paper paper);

    QImage render(const Receipt& receipt);

    // The font families asked for that are not installed; their characters would be drawn
    // with whatever face the system substitutes.
    static QStringList missingFonts();
    // The tallest picture drawn; paper beyond it is left out.
    static constexpr int tallestPicture = 30000;

private:
    // A character's dots in its cell, widened by `widthScale`, turned as ESC V turns it.
    const Bitmap& glyph(Run::Kind kind, Font font, char32_t character, int widthScale = 1,
                        bool turned = false);
    void drawRun(QImage& picture, const Run& run, int lineTop, int inkHeight);
    void drawCharacters(QImage& picture, const Run& run, int top, int shift);
    void drawBarcode(QImage& picture, const Barcode& barcode, int top);
    // `x` counts from the left of the printable area.
    void drawBitmap(QImage& picture, const Bitmap& bitmap, int x, int top);
    void drawCut(QImage& picture, const Cut& cut, int top, int width);

    Paper paper_;
    QFont fontA_, fontB_, kanjiFont_;
    std::unordered_map<std::uint64_t, Bitmap> glyphs_;
};

// Saves a rendered receipt as a one-bit PNG. Any other picture is saved with its pixels darker
// than mid grey as black.
bool savePicture(const QImage& picture, const QString& path);

}  // namespace vp
