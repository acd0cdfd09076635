#pragma once

#include <QFont>
#include <QHash>
#include <QImage>
#include <QStringList>

#include "printed_items.h"

namespace vp {

// Draws receipts as thermal paper: one printer dot is one pixel, black on white, the paper's
// unprintable margins included. Glyphs are drawn once per character and enlarged dot by dot,
// as the printer's head does. Needs a QGuiApplication for its fonts.
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
    struct Cell {
        QImage black, white;
    };
    // A character drawn once, at its unscaled cell size, in both colours.
    const Cell& glyph(Run::Kind kind, Font font, char32_t character);
    void drawRun(QPainter& painter, const Run& run, int lineTop, int inkHeight);
    void drawCharacters(QPainter& painter, const Run& run, int top, bool white);
    void drawBarcode(QPainter& painter, const Barcode& barcode, int top);
    // `x` counts from the left of the printable area.
    void drawBitmap(QPainter& painter, const Bitmap& bitmap, int x, int top);
    void drawCut(QPainter& painter, const Cut& cut, int top, int width);

    Paper paper_;
    QFont fontA_, fontB_, kanjiFont_;
    QHash<quint64, Cell> glyphs_;
};

// Saves a rendered receipt as a one-bit PNG.
bool savePicture(const QImage& picture, const QString& path);

}  // namespace vp
