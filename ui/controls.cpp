#include "controls.h"

#include <qdrawutil.h>
#include <QCursor>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

QCursor handCursor() {
    return QCursor(QPixmap(QStringLiteral(":/assets/hand.cur")), 6, 0);
}

QCursor iconCursor(const QString& iconFile, int size) {
    return QCursor(QIcon(iconFile).pixmap(size, size));
}

namespace {

// The pixels a line of text inks when drawn with its baseline `baseline` below y = 0 from x = 0.
QRect inkOf(const QFont& font, const QString& text, int baseline) {
    // Drawn with room on every side, so that nothing of it is cut off.
    const QFontMetrics metrics(font);
    const int room = metrics.height();
    QImage canvas(metrics.horizontalAdvance(text) + 2 * room, 3 * room, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(room, room + baseline), text);
    painter.end();
    QRect ink;
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x)
            if (qAlpha(line[x]) != 0) ink |= QRect(x, y, 1, 1);
    }
    return ink.translated(-room, -room);
}

// Click semantics shared by the picture controls: a left press followed by a release over the
// control, wherever the pointer went in between.
bool isLeftRelease(const QMouseEvent* event, const QWidget* widget, bool pressed) {
    return pressed && event->button() == Qt::LeftButton && widget->rect().contains(event->pos());
}

}  // namespace

PictureButton::PictureButton(const QString& caption, const QPixmap& face, const QColor& faceColour,
                             QWidget* parent)
    : QPushButton(caption, parent), face_(face), faceColour_(faceColour) {
    setAutoDefault(false);
    setDefault(false);
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool down = isDown();
    const QRect outer = rect();
    const QRect inside = outer.adjusted(2, 2, -2, -2);
    // A pressed button shows its face one pixel down and to the right.
    const QPoint shift = down ? QPoint(1, 1) : QPoint(0, 0);

    painter.fillRect(outer, faceColour_);
    painter.save();
    painter.setClipRect(inside);
    if (!face_.isNull()) {
        const QSize faceSize = face_.deviceIndependentSize().toSize();
        const QPoint topLeft((outer.width() - faceSize.width()) / 2,
                             (outer.height() - faceSize.height()) / 2);
        painter.drawPixmap(topLeft + shift, face_);
    }
    if (!text().isEmpty()) {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(outer.translated(shift), Qt::AlignCenter, text());
    }
    painter.restore();

    qDrawWinButton(&painter, outer, palette(), down, nullptr);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
        painter.drawRect(inside.adjusted(1, 1, -2, -2));
    }
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

ImageControl::ImageControl(const QPixmap& picture, QWidget* parent)
    : QFrame(parent), picture_(picture) {
    setFocusPolicy(Qt::NoFocus);
}

void ImageControl::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inside = contentsRect();
    painter.setClipRect(inside);
    painter.drawPixmap(inside.topLeft(), picture_);
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    QFrame::mousePressEvent(event);
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = isLeftRelease(event, this, pressed_);
    if (event->button() == Qt::LeftButton) pressed_ = false;
    if (click) emit clicked();
    QFrame::mouseReleaseEvent(event);
}

PictureBox::PictureBox(const QPixmap& picture, QWidget* parent) : ImageControl(picture, parent) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    // Opaque in the button-face colour wherever the picture does not reach, so nothing behind
    // the box shows through.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);
}

FrameBox::FrameBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    setAutoFillBackground(true);
}

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int edgeTop = metrics.height() / 2;

    // Etched edge: a shadow line with a light line one pixel inside and below it.
    const QRect edge = rect().adjusted(0, edgeTop, -2, -2);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(edge);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(edge.translated(1, 1));

    if (title().isEmpty()) return;
    const QSize captionSize = metrics.size(0, title());
    const QRect captionRect(QPoint(8, 0), captionSize + QSize(2, 0));
    painter.fillRect(captionRect, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(captionRect.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, title());
}

StaticText::StaticText(const QString& text, QWidget* parent) : QLabel(parent) {
    // Text never reads as markup.
    setTextFormat(Qt::PlainText);
    setText(text);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void StaticText::paintEvent(QPaintEvent*) {
    const FittedFor now{font(), text(), size()};
    if (fittedFor_ != now) {
        fit_ = fitTextInBox(now.font, now.text, now.box);
        fittedFor_ = now;
    }
    QPainter painter(this);
    painter.setFont(fit_.font);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(QPoint(0, fit_.baseline), text());
}

TextFit fitTextInBox(const QFont& asked, const QString& text, QSize box) {
    QFont font = asked;
    font.setPixelSize(QFontInfo(asked).pixelSize());
    const int characters = std::max<int>(1, static_cast<int>(text.size()));
    const int smallest = 6;
    // Tighten the spacing by at most a pixel a character before making the characters smaller.
    for (qreal tighten = 0;;) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, -tighten);
        const int ascent = QFontMetrics(font).ascent();
        const QRect ink = inkOf(font, text, ascent);
        const int overhang = ink.right() - (box.width() - 1);
        if (overhang > 0 && tighten < 1 && font.pixelSize() > smallest) {
            tighten = std::min<qreal>(1, tighten + qreal(overhang) / characters);
            continue;
        }
        if ((overhang > 0 || ink.height() > box.height()) && font.pixelSize() > smallest) {
            font.setPixelSize(font.pixelSize() - 1);
            tighten = 0;
            continue;
        }
        // Drawn from the top of the box where the ink fits so; otherwise the ink is centred.
        if (ink.top() >= 0 && ink.bottom() < box.height()) return {font, ascent};
        const int top = (box.height() - ink.height()) / 2;
        return {font, ascent + top - ink.top()};
    }
}
