#pragma once

#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <optional>

class QCursor;

// The shared hand pointer. Qt reads the cursor image but not the hot spot stored in the file, so
// the fingertip is given here.
QCursor handCursor();
// A pointer made from an icon file; icon pointers take their hot spot at the centre.
QCursor iconCursor(const QString& iconFile, int size);

// A push button drawn in the graphical style: a bevelled face in one colour with a picture centred
// on it and clipped to the button, and the caption, where there is one, centred over the picture.
// A focused button is pressed by the space bar and also by Enter, as buttons are on the desktop
// the tool comes from.
class PictureButton : public QPushButton {
    Q_OBJECT
public:
    PictureButton(const QString& caption, const QPixmap& face, const QColor& faceColour,
                  QWidget* parent);

    const QPixmap& face() const { return face_; }
    QColor faceColour() const { return faceColour_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap face_;
    QColor faceColour_;
};

// A borderless picture drawn unscaled from its top-left corner; it never takes the focus. A left
// click emits clicked().
class ImageControl : public QFrame {
    Q_OBJECT
public:
    ImageControl(const QPixmap& picture, QWidget* parent);

    const QPixmap& picture() const { return picture_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap picture_;
    bool pressed_ = false;
};

// A focusable picture box with a sunken two-pixel edge; the picture is drawn unscaled from the
// top-left corner of the inside and cut off by the edge.
class PictureBox : public ImageControl {
    Q_OBJECT
public:
    PictureBox(const QPixmap& picture, QWidget* parent);
};

// A captioned frame: an etched rectangle whose top edge runs through the middle of the caption's
// first line, the caption standing on the frame's background at the left. Captions may span
// several lines.
class FrameBox : public QGroupBox {
    Q_OBJECT
public:
    FrameBox(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// How a line of text is drawn whole inside a box: the font to draw it with and the baseline's
// distance from the box's top.
struct TextFit {
    QFont font;
    int baseline = 0;
};
TextFit fitTextInBox(const QFont& asked, const QString& text, QSize box);

// A static text: one line drawn from the top-left corner of its box, as the desktop the tool comes
// from draws it. The substitute Chinese faces are taller and wider than that desktop's, so where
// the text would be cut off at an edge of the box the line is moved, then drawn a little tighter,
// then a little smaller, until every character shows whole. font() stays the face asked for.
class StaticText : public QLabel {
    Q_OBJECT
public:
    StaticText(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Fitting draws the line a few times over; it is done again only when what it depends on
    // has changed.
    struct FittedFor {
        QFont font;
        QString text;
        QSize box;
        bool operator==(const FittedFor&) const = default;
    };
    std::optional<FittedFor> fittedFor_;
    TextFit fit_;
};
