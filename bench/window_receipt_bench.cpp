// Prints each test receipt through the real main window (off screen, its Qt
// event pump keeping the window live during the pauses) to a pseudo-terminal,
// and reports wall time and processor time per receipt.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include "fonts.h"
#include "frm_login.h"

namespace {

double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    registerFontSubstitutions();
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    const int keepOpen = open(ptsname(master), O_RDWR | O_NOCTTY);

    FrmLogin window([](const QUrl&, std::function<void()>) {});
    window.show();
    window.findChild<QComboBox*>("Combo1")->setEditText(slave);

    std::printf("%-11s %6s %12s %12s %12s\n", "receipt", "rounds", "wall s", "cpu s", "cpu s max");
    for (const char* button : {"Command10", "Command2", "Command9"}) {
        double wall = 0, cpu = 0, cpuMax = 0;
        for (int i = 0; i < rounds; ++i) {
            QApplication::processEvents();
            timespec start{};
            clock_gettime(CLOCK_MONOTONIC, &start);
            const double cpuStart = processorSeconds();
            window.findChild<QPushButton*>(button)->click();
            const double cpuUsed = processorSeconds() - cpuStart;
            timespec end{};
            clock_gettime(CLOCK_MONOTONIC, &end);
            wall += static_cast<double>(end.tv_sec - start.tv_sec) +
                    static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
            cpu += cpuUsed;
            cpuMax = std::max(cpuMax, cpuUsed);
            char sink[4096];
            pollfd readable{master, POLLIN, 0};
            while (poll(&readable, 1, 0) > 0 && read(master, sink, sizeof sink) > 0) {
            }
        }
        std::printf("%-11s %6d %12.4f %12.5f %12.5f\n", button, rounds, wall / rounds, cpu / rounds,
                    cpuMax);
    }
    close(keepOpen);
    close(master);
    return 0;
}
