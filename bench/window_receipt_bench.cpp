// Prints each test receipt through the real main window (off screen, its Qt
// event pump keeping the window live during the pauses) to a pseudo-terminal,
// and reports wall time and processor time per receipt.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <cstdlib>

#include "application.h"
#include "bench_support.h"
#include "frm_login.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareApplication(app);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    PseudoTerminal printer;

    FrmLogin window([](const QUrl&, std::function<void()>) {});
    window.show();
    window.findChild<QComboBox*>("Combo1")->setEditText(QString::fromStdString(printer.slavePath));
    QApplication::processEvents();

    printTimesHeader();
    for (const char* button : {"Command10", "Command2", "Command9"}) {
        timeReceipt(button, rounds, printer,
                    [&] { window.findChild<QPushButton*>(button)->click(); });
    }
    return 0;
}
