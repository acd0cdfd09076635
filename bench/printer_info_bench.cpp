// Measures the readout through the diagnosis window (off screen): the time from the click on
// 读取 to its box, for a printer answering every readout request over a pseudo-terminal and over
// loopback TCP, and for the port named on the command line (e.g. virtual-printer --pty's); and
// the longest time the diagnosis window went without painting meanwhile.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
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
    const std::optional<std::string> otherPort =
        argc > 2 ? std::optional<std::string>(argv[2]) : std::nullopt;

    FrmLogin window([](const QUrl&, std::function<void()>) {},
                    [] { return std::vector<FoundPort>{}; });
    window.show();
    window.findChild<QPushButton*>("CommandDiagnose")->click();
    auto* diagnose = window.findChild<FrmDiagnose*>();
    QApplication::processEvents();
    QTimer repaint;
    repaint.callOnTimeout(diagnose, [&] { diagnose->update(); });
    repaint.start(10);

    struct Printer {
        std::string name;
        std::optional<AnsweringPrinter::Line> line;  // none: `otherPort`
    };
    std::vector<Printer> printers = {{"answering, pty", AnsweringPrinter::Line::PseudoTerminal},
                                     {"answering, TCP", AnsweringPrinter::Line::Tcp}};
    if (otherPort) printers.push_back({*otherPort, std::nullopt});
    std::printf("%-16s %6s %14s %14s %16s %10s\n", "printer", "rounds", "to box ms", "max ms",
                "paint gap ms", "answered");
    for (const Printer& printer : printers) {
        double sum = 0;
        qint64 most = 0, gap = 0;
        bool answered = true;
        for (int i = 0; i < rounds; ++i) {
            std::unique_ptr<AnsweringPrinter> fake;
            if (printer.line)
                fake = std::make_unique<AnsweringPrinter>(*printer.line, readoutAnswersFor({}));
            window.findChild<QComboBox*>("Combo1")->setEditText(
                QString::fromStdString(fake ? fake->portName() : *otherPort));
            Watch watch(diagnose);
            const qint64 clicked = watch.clock.elapsed();
            diagnose->findChild<QPushButton*>("ReadInfo")->click();
            const qint64 took = watch.boxShown - clicked;
            sum += static_cast<double>(took);
            most = std::max(most, took);
            gap = std::max(gap, longestPaintGap(watch, clicked));
            const auto& info = diagnose->lastInfo();
            answered = answered && info && info->answered && info->unanswered.empty();
        }
        std::printf("%-16s %6d %14.1f %14lld %16lld %10s\n", printer.name.c_str(), rounds,
                    sum / rounds, static_cast<long long>(most), static_cast<long long>(gap),
                    answered ? "all" : "not all");
    }
    return 0;
}
