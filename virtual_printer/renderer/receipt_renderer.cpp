#include "receipt_renderer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

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

QImage drawCell(const QFont& font, char32_t character, int width, int height, QColor colour) {
    QImage cell(width, height, QImage::Format_ARGB32_Premultiplied);
    cell.fill(Qt::transparent);
    QPainter painter(&cell);
    painter.setFont(font);
    painter.setPen(colour);
    const QFontMetrics metrics(font);
    const int baseline = (height - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    const QString text = QString::fromUcs4(&character, 1);
    const int left = (width - metrics.horizontalAdvance(text)) / 2;
    painter.drawText(left, baseline, text);
    return cell;
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

const ReceiptRenderer::Cell& ReceiptRenderer::glyph(Run::Kind kind, Font font, char32_t character) {
    const bool kanji = kind == Run::Kind::Double;
    const quint64 key = (quint64(character) << 8) | (kanji ? 2 : 0) | (font == Font::B ? 1 : 0);
    auto found = glyphs_.constFind(key);
    if (found != glyphs_.constEnd()) return *found;
    const QFont& face = kanji ? kanjiFont_ : font == Font::A ? fontA_ : fontB_;
    const int width = kanji ? kanjiCell : cellWidth(font);
    const int height = kanji ? kanjiCell : cellHeight(font);
    Cell cell{drawCell(face, character, width, height, Qt::black),
              drawCell(face, character, width, height, Qt::white)};
    return *glyphs_.insert(key, cell);
}

QImage ReceiptRenderer::render(const Receipt& receipt) {
    const int width = paper_.widthDots();
    const int height = std::clamp(receipt.heightDots(), 8, tallestPicture);
    QImage picture(width, height, QImage::Format_Grayscale8);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    int top = 0;
    for (const Item& item : receipt.items) {
        if (top >= height) break;
        std::visit(
            Overloaded{
                [&](const PrintedLine& line) {
                    for (const Run& run : line.runs) drawRun(painter, run, top, line.inkHeight);
                    // Images stand on the baseline, as glyphs do.
                    for (const LineImage& image : line.images)
                        drawBitmap(painter, image.bitmap, image.x,
                                   top + line.inkHeight - image.bitmap.printedHeight());
                },
                [&](const Barcode& barcode) { drawBarcode(painter, barcode, top); },
                [&](const ImageBlock& image) { drawBitmap(painter, image.bitmap, image.x, top); },
                [&](const Cut& cut) { drawCut(painter, cut, top, width); },
                [](const Event&) {},
            },
            item);
        top += heightDots(item);
    }
    return picture;
}

void ReceiptRenderer::drawRun(QPainter& painter, const Run& run, int lineTop, int inkHeight) {
    // Characters of different heights stand on one baseline.
    const int top = lineTop + inkHeight - run.height();
    const QRect box(paper_.marginDots + run.x, top, run.width(), run.height());
    if (run.kind == Run::Kind::Marker) {
        painter.fillRect(box, Qt::black);
        for (std::size_t i = 0; i < run.text.size(); ++i) {
            const QImage& white = glyph(Run::Kind::Single, Font::B, run.text[i]).white;
            painter.drawImage(box.x() + markerPadding + int(i) * white.width(),
                              top + (run.height() - white.height()) / 2, white);
        }
        return;
    }
    if (run.style.reverse) painter.fillRect(box, Qt::black);
    drawCharacters(painter, run, top, run.style.reverse);
    // An emphasised character is printed twice, one dot to the right.
    if (run.style.emphasised) {
        painter.translate(1, 0);
        drawCharacters(painter, run, top, run.style.reverse);
        painter.translate(-1, 0);
    }
    if (run.style.underline > 0) {
        const QRect line(box.x(), box.bottom() + 1 - run.style.underline, box.width(),
                         run.style.underline);
        painter.fillRect(line, run.style.reverse ? Qt::white : Qt::black);
    }
}

void ReceiptRenderer::drawCharacters(QPainter& painter, const Run& run, int top, bool white) {
    const int left = paper_.marginDots + run.x + run.leftGap;
    const QSize scaled(run.cellWidth * run.style.widthScale, run.height());
    for (std::size_t i = 0; i < run.text.size(); ++i) {
        if (run.text[i] == U' ') continue;
        const Cell& cell = glyph(run.kind, run.style.font, run.text[i]);
        // Enlarged dot by dot: without smoothing, scaling repeats pixels as the head does.
        painter.drawImage(QRect(QPoint(left + int(i) * run.pitch, top), scaled),
                          white ? cell.white : cell.black);
    }
}

void ReceiptRenderer::drawBarcode(QPainter& painter, const Barcode& barcode, int top) {
    const int textHeight = cellHeight(barcode.hriFont) + hriGapDots;
    const bool above = barcode.hri == HriPosition::Above || barcode.hri == HriPosition::Both;
    const bool below = barcode.hri == HriPosition::Below || barcode.hri == HriPosition::Both;
    const int barsTop = top + (above ? textHeight : 0);
    int x = paper_.marginDots + barcode.x;
    for (std::size_t i = 0; i < barcode.bars.size(); ++i) {
        if (i % 2 == 0) painter.fillRect(x, barsTop, barcode.bars[i], barcode.barHeight, Qt::black);
        x += barcode.bars[i];
    }
    const int textWidth = int(barcode.text.size()) * cellWidth(barcode.hriFont);
    const int textLeft = paper_.marginDots + barcode.x + (barcode.barsWidth() - textWidth) / 2;
    auto drawText = [&](int textTop) {
        for (std::size_t i = 0; i < barcode.text.size(); ++i) {
            const auto c = static_cast<unsigned char>(barcode.text[i]);
            painter.drawImage(textLeft + int(i) * cellWidth(barcode.hriFont), textTop,
                              glyph(Run::Kind::Single, barcode.hriFont, c).black);
        }
    };
    if (above) drawText(top);
    if (below) drawText(barsTop + barcode.barHeight + hriGapDots);
}

void ReceiptRenderer::drawBitmap(QPainter& painter, const Bitmap& bitmap, int x, int top) {
    if (bitmap.width == 0 || bitmap.height == 0) return;
    QImage dots(bitmap.rows.data(), bitmap.width, bitmap.height, bitmap.rowBytes(),
                QImage::Format_Mono);
    dots.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    painter.save();
    // Nothing prints outside the head's width.
    painter.setClipRect(paper_.marginDots, 0, paper_.printableDots, painter.device()->height());
    // Without smoothing, enlarging repeats each dot.
    painter.drawImage(
        QRect(paper_.marginDots + x, top, bitmap.printedWidth(), bitmap.printedHeight()), dots);
    painter.restore();
}

void ReceiptRenderer::drawCut(QPainter& painter, const Cut& cut, int top, int width) {
    // A dashed line across the whole paper; a partial cut leaves its middle uncut.
    const int y = top + cutStripDots / 2 - 1;
    const int middle = width / 2, uncut = 24;
    for (int x = 0; x < width; x += 12) {
        if (cut.partial && x + 8 > middle - uncut / 2 && x < middle + uncut / 2) continue;
        painter.fillRect(x, y, 8, 2, Qt::black);
    }
}

bool savePicture(const QImage& picture, const QString& path) {
    // Qt's general conversion to one bit costs more than drawing the receipt; the picture
    // holds only black and white, so a dot is black exactly when it is darker than mid grey,
    // as Qt's threshold has it.
    const QImage grey = picture.format() == QImage::Format_Grayscale8
                            ? picture
                            : picture.convertToFormat(QImage::Format_Grayscale8);
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
    // zlib's fastest level, which Qt's PNG writer takes as quality 89 ((100 - 89) * 9 / 91):
    // a receipt is mostly blank paper, which any level packs well.
    return mono.save(path, "PNG", 89);
}

}  // namespace vp
