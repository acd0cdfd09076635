#include "receipt_renderer.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "dot_surface.h"
#include "head_metrics.h"

namespace vp {
namespace {

// Single-byte characters: a monospace face whose advance fills the printer's cells.
const QString latinFamily = QStringLiteral("DejaVu Sans Mono");
// Chinese characters: a Song (Ming) face like the printers' character ROMs, then a sans face
// that most Chinese desktops have.
const QStringList kanjiFamilies = {QStringLiteral("AR PL UMing CN"),
                                   QStringLiteral("Noto Sans CJK SC")};

// The face at the largest pixel size whose characters fit the cell.
QFont fittedFont(const QStringList& families, int width, int height) {
    QFont font;
    font.setFamilies(families);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    for (int pixels = height; pixels > 4; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(QLatin1Char('M')) <= width &&
            metrics.ascent() + metrics.descent() <= height + 1)
            break;
    }
    return font;
}

// A character's dots in a cell of its own: the face drawn without smoothing, centred, a dot
// black where the glyph covers it at least half.
Bitmap drawCell(const QFont& font, char32_t character, int width, int height) {
    QImage cell(width, height, QImage::Format_ARGB32_Premultiplied);
    cell.fill(Qt::transparent);
    {
        QPainter painter(&cell);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const QFontMetrics metrics(font);
        const int baseline = (height - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
        const QString text = QString::fromUcs4(&character, 1);
        const int left = (width - metrics.horizontalAdvance(text)) / 2;
        painter.drawText(left, baseline, text);
    }
    Bitmap dots;
    dots.width = width;
    dots.height = height;
    dots.rows.assign(std::size_t(dots.rowBytes()) * std::size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
        for (int x = 0; x < width; ++x)
            if (qAlpha(pixels[x]) >= 128)
                dots.rows[std::size_t(y * dots.rowBytes() + x / 8)] |=
                    std::uint8_t(0x80 >> (x % 8));
    }
    return dots;
}

dots::Surface surfaceOf(QImage& picture) {
    return {picture.bits(), picture.width(), picture.height(), picture.bytesPerLine()};
}

}  // namespace

ReceiptRenderer::ReceiptRenderer(Paper paper)
    : paper_(paper),
      fontA_(fittedFont({latinFamily}, cellWidth(Font::A), cellHeight(Font::A))),
      fontB_(fittedFont({latinFamily}, cellWidth(Font::B), cellHeight(Font::B))),
      kanjiFont_(fittedFont(kanjiFamilies, kanjiCell, kanjiCell)) {}

QStringList ReceiptRenderer::missingFonts() {
    const QStringList installed = QFontDatabase::families();
    QStringList missing;
    if (!installed.contains(latinFamily)) missing << latinFamily;
    if (std::none_of(kanjiFamilies.begin(), kanjiFamilies.end(),
                     [&](const QString& family) { return installed.contains(family); }))
        missing << kanjiFamilies;
    return missing;
}

const Bitmap& ReceiptRenderer::glyph(Run::Kind kind, Font font, char32_t character, int widthScale,
                                     bool turned) {
    const bool kanji = kind == Run::Kind::Double;
    const std::uint64_t key = (std::uint64_t(character) << 16) | std::uint64_t(widthScale) << 4 |
                              (turned ? 4 : 0) | (kanji ? 2 : 0) | (font == Font::B ? 1 : 0);
    if (auto found = glyphs_.find(key); found != glyphs_.end()) return found->second;
    Bitmap dots;
    if (widthScale > 1) {
        dots = dots::widened(glyph(kind, font, character, 1, turned), widthScale);
    } else if (turned) {
        dots = dots::turnedClockwise(glyph(kind, font, character));
    } else {
        const QFont& face = kanji ? kanjiFont_ : font == Font::A ? fontA_ : fontB_;
        dots = drawCell(face, character, kanji ? kanjiCell : cellWidth(font),
                        kanji ? kanjiCell : cellHeight(font));
    }
    return glyphs_.emplace(key, std::move(dots)).first->second;
}

QImage ReceiptRenderer::render(const Receipt& receipt) {
    const int width = paper_.widthDots();
    const int height = std::clamp(receipt.heightDots(), 8, tallestPicture);
    QImage picture(width, height, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    picture.fill(0);
    int top = 0;
    for (const Item& item : receipt.items) {
        if (top >= height) break;
        std::visit(
            Overloaded{
                [&](const PrintedLine& line) {
                    for (const Run& run : line.runs) drawRun(picture, run, top, line.inkHeight);
                    // Images stand on the baseline, as glyphs do.
                    for (const LineImage& image : line.images)
                        drawBitmap(picture, image.bitmap, image.x,
                                   top + line.inkHeight - image.bitmap.printedHeight());
                    // The head prints the line's last dot row first, from its right end.
                    if (line.upsideDown)
                        dots::upend(surfaceOf(picture), paper_.marginDots, top,
                                    paper_.printableDots, line.inkHeight);
                },
                [&](const Barcode& barcode) { drawBarcode(picture, barcode, top); },
                [&](const ImageBlock& image) { drawBitmap(picture, image.bitmap, image.x, top); },
                [&](const Cut& cut) { drawCut(picture, cut, top, width); },
                [](const Event&) {},
            },
            item);
        top += heightDots(item);
    }
    return picture;
}

void ReceiptRenderer::drawRun(QImage& picture, const Run& run, int lineTop, int inkHeight) {
    const dots::Surface surface = surfaceOf(picture);
    // Characters of different heights stand on one baseline.
    const int top = lineTop + inkHeight - run.height();
    const int left = paper_.marginDots + run.x;
    if (run.kind == Run::Kind::Marker) {
        dots::fill(surface, left, top, run.width(), run.height(), true);
        for (std::size_t i = 0; i < run.text.size(); ++i) {
            const Bitmap& white = glyph(Run::Kind::Single, Font::B, run.text[i]);
            dots::paint(surface, left + markerPadding + int(i) * white.width,
                        top + (run.height() - white.height) / 2, white, 1, dots::Ink::White);
        }
        return;
    }
    if (run.style.reverse) dots::fill(surface, left, top, run.width(), run.height(), true);
    drawCharacters(picture, run, top, 0);
    // An emphasised character is printed twice, one dot to the right.
    if (run.style.emphasised) drawCharacters(picture, run, top, 1);
    // Reverse printing outranks underline: the printer keeps the mode but draws no line.
    if (run.style.underline > 0 && !run.style.reverse)
        dots::fill(surface, left, top + run.height() - run.style.underline, run.width(),
                   run.style.underline, true);
}

void ReceiptRenderer::drawCharacters(QImage& picture, const Run& run, int top, int shift) {
    const dots::Surface surface = surfaceOf(picture);
    const int left = paper_.marginDots + run.x + run.leftGap + shift;
    const dots::Ink ink = run.style.reverse ? dots::Ink::White : dots::Ink::Black;
    for (std::size_t i = 0; i < run.text.size(); ++i) {
        if (run.text[i] == U' ') continue;
        // Enlarged dot by dot, as the head does.
        dots::paint(
            surface, left + int(i) * run.pitch, top,
            glyph(run.kind, run.style.font, run.text[i], run.style.widthScale, run.style.turned),
            run.style.heightScale, ink);
    }
}

void ReceiptRenderer::drawBarcode(QImage& picture, const Barcode& barcode, int top) {
    const dots::Surface surface = surfaceOf(picture);
    const int textHeight = cellHeight(barcode.hriFont) + hriGapDots;
    const bool above = barcode.hri == HriPosition::Above || barcode.hri == HriPosition::Both;
    const bool below = barcode.hri == HriPosition::Below || barcode.hri == HriPosition::Both;
    const int barsTop = top + (above ? textHeight : 0);
    int x = paper_.marginDots + barcode.x;
    for (std::size_t i = 0; i < barcode.bars.size(); ++i) {
        if (i % 2 == 0) dots::fill(surface, x, barsTop, barcode.bars[i], barcode.barHeight, true);
        x += barcode.bars[i];
    }
    const int textWidth = int(barcode.text.size()) * cellWidth(barcode.hriFont);
    const int textLeft = paper_.marginDots + barcode.x + (barcode.barsWidth() - textWidth) / 2;
    auto drawText = [&](int textTop) {
        for (std::size_t i = 0; i < barcode.text.size(); ++i) {
            const auto c = static_cast<unsigned char>(barcode.text[i]);
            dots::paint(surface, textLeft + int(i) * cellWidth(barcode.hriFont), textTop,
                        glyph(Run::Kind::Single, barcode.hriFont, c), 1, dots::Ink::Black);
        }
    };
    if (above) drawText(top);
    if (below) drawText(barsTop + barcode.barHeight + hriGapDots);
}

void ReceiptRenderer::drawBitmap(QImage& picture, const Bitmap& bitmap, int x, int top) {
    if (bitmap.width == 0 || bitmap.height == 0) return;
    // Nothing prints outside the head's width.
    dots::paint(surfaceOf(picture), paper_.marginDots + x, top,
                dots::widened(bitmap, bitmap.widthScale), bitmap.heightScale, dots::Ink::Opaque,
                paper_.marginDots, paper_.marginDots + paper_.printableDots);
}

void ReceiptRenderer::drawCut(QImage& picture, const Cut& cut, int top, int width) {
    // A dashed line across the whole paper; a partial cut leaves its middle uncut.
    const int y = top + cutStripDots / 2 - 1;
    const int middle = width / 2, uncut = 24;
    for (int x = 0; x < width; x += 12) {
        if (cut.partial && x + 8 > middle - uncut / 2 && x < middle + uncut / 2) continue;
        dots::fill(surfaceOf(picture), x, y, 8, 2, true);
    }
}

bool savePicture(const QImage& picture, const QString& path) {
    const std::string file = QFile::encodeName(path).toStdString();
    if (picture.format() == QImage::Format_Mono && picture.colorCount() == 2 &&
        picture.color(0) == qRgb(255, 255, 255) && picture.color(1) == qRgb(0, 0, 0)) {
        auto* bits = const_cast<uchar*>(picture.constBits());
        return dots::writePng({bits, picture.width(), picture.height(), picture.bytesPerLine()},
                              file);
    }
    // Anything else, such as the window's whole roll: a dot is black exactly when it is darker
    // than mid grey, as Qt's threshold has it.
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    QImage mono(grey.width(), grey.height(), QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const int width = grey.width(), rowBytes = int(mono.bytesPerLine());
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        uchar* out = mono.scanLine(y);
        std::fill_n(out, rowBytes, 0);
        for (int x = 0; x < width; ++x)
            if (in[x] < 128) out[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return savePicture(mono, path);
}

}  // namespace vp
