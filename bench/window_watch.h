#pragma once

// What the window benchmarks share: when the window painted and when a box came up.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <vector>

// Notes when the window paints and when a box comes up, and answers the box at once.
class Watch : public QObject {
public:
    explicit Watch(QWidget* window) : window_(window) {
        clock.start();
        qApp->installEventFilter(this);
    }
    QElapsedTimer clock;
    std::vector<qint64> paints;
    qint64 boxShown = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Paint) paints.push_back(clock.elapsed());
        if (auto* box = qobject_cast<QMessageBox*>(watched); box && event->type() == QEvent::Show) {
            boxShown = clock.elapsed();
            QTimer::singleShot(0, box, &QMessageBox::accept);
        }
        return false;
    }

private:
    QWidget* window_;
};

// The longest time the window went without painting from `from` to the box.
inline qint64 longestPaintGap(const Watch& watch, qint64 from) {
    qint64 gap = 0, last = from;
    for (const qint64 at : watch.paints) {
        if (at > watch.boxShown) break;
        gap = std::max(gap, at - last);
        last = at;
    }
    return std::max(gap, watch.boxShown - last);
}
