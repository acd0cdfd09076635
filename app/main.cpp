#include <QApplication>
#include <QWidget>

#include "fonts.h"
#include "frm_splash.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry: a Wayland desktop finds the entry, and with
    // it the icon and the Chinese name, only by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral(PRINTER_TESTER_APP_ID));
    registerFontSubstitutions();

    // The splash opens the main window itself and closes; the program ends when the last window
    // is closed.
    (new FrmSplash)->show();
    const int status = app.exec();

    // A main window closed while a job was pausing inside one of its clicks returns into that
    // job, so windows are kept until the event loop has finished rather than deleted on close.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->parentWidget() == nullptr) delete window;
    return status;
}
