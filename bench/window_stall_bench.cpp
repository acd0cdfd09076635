// Measures how live the main window stays while a job waits on a printer that
// takes no bytes: the window (off screen) is asked to repaint every 10 ms, the
// cut button is pressed with the port box on a stalled pipe, the pipe is
// drained after the stall, and the longest time without a paint is printed.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "application.h"
#include "frm_login.h"
#include "stalled_printer.h"

namespace {

// Notes the time of every paint of the window.
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget* window) {
        clock.start();
        window->installEventFilter(this);
    }
    QElapsedTimer clock;
    std::vector<qint64> paints;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) paints.push_back(clock.elapsed());
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareApplication(app);
    const int stallMs = argc > 1 ? std::atoi(argv[1]) : 2000;

    QTemporaryDir dir;
    StalledPrinter printer(dir.filePath("stalled").toStdString());
    FrmLogin window([](const QUrl&, std::function<void()>) {},
                    [] { return std::vector<FoundPort>{}; });
    window.show();
    window.findChild<QComboBox*>("Combo1")->setEditText(QString::fromStdString(printer.path()));
    QApplication::processEvents();

    PaintClock paints(&window);
    QTimer repaint;
    repaint.callOnTimeout(&window, [&] { window.update(); });
    repaint.start(10);
    std::string received;
    QTimer::singleShot(stallMs, &window, [&] { received += printer.drain(); });
    const qint64 pressed = paints.clock.elapsed();
    window.findChild<QPushButton*>("cmdexit")->click();
    const qint64 done = paints.clock.elapsed();
    received += printer.drain();

    qint64 longest = 0, last = pressed;
    int during = 0;
    for (const qint64 at : paints.paints) {
        if (at < pressed || at > done) continue;
        longest = std::max(longest, at - last);
        last = at;
        ++during;
    }
    longest = std::max(longest, done - last);
    std::printf(
        "job waited %lld ms on a stalled printer; %d paints meanwhile, longest gap %lld ms\n",
        static_cast<long long>(done - pressed), during, static_cast<long long>(longest));
    return received == "\x1B\x69\x0A" ? 0 : 1;
}
