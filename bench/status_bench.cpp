// Measures the printer status query through the main window (off screen): the time from the
// click on 查状态 to its box, for a printer answering over a pseudo-terminal and over loopback
// TCP, for one that answers nothing and for one that floods bytes; and the longest time the
// window went without painting while the query ran, with a repaint asked for every 10 ms.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "answering_printer.h"
#include "application.h"
#include "frm_login.h"
#include "window_watch.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareApplication(app);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;

    FrmLogin window([](const QUrl&, std::function<void()>) {},
                    [] { return std::vector<FoundPort>{}; });
    window.show();
    QApplication::processEvents();
    QTimer repaint;
    repaint.callOnTimeout(&window, [&] { window.update(); });
    repaint.start(10);

    AnsweringPrinter::Script flood;
    flood.flood = true;
    struct Printer {
        const char* name;
        AnsweringPrinter::Line line;
        AnsweringPrinter::Script script;
    };
    const Printer printers[] = {
        {"answering, pty", AnsweringPrinter::Line::PseudoTerminal, answersFor({})},
        {"answering, TCP", AnsweringPrinter::Line::Tcp, answersFor({})},
        {"silent, pty", AnsweringPrinter::Line::PseudoTerminal, {}},
        {"flooding, TCP", AnsweringPrinter::Line::Tcp, flood},
    };
    std::printf("%-16s %6s %14s %14s %16s\n", "printer", "rounds", "to box ms", "max ms",
                "paint gap ms");
    for (const Printer& printer : printers) {
        double sum = 0;
        qint64 most = 0, gap = 0;
        for (int i = 0; i < rounds; ++i) {
            AnsweringPrinter answering(printer.line, printer.script);
            window.findChild<QComboBox*>("Combo1")->setEditText(
                QString::fromStdString(answering.portName()));
            Watch watch(&window);
            const qint64 clicked = watch.clock.elapsed();
            window.findChild<QPushButton*>("CommandStatus")->click();
            const qint64 took = watch.boxShown - clicked;
            sum += static_cast<double>(took);
            most = std::max(most, took);
            gap = std::max(gap, longestPaintGap(watch, clicked));
        }
        std::printf("%-16s %6d %14.1f %14lld %16lld\n", printer.name, rounds, sum / rounds,
                    static_cast<long long>(most), static_cast<long long>(gap));
    }
    return 0;
}
