#include <QApplication>
#include <QMessageBox>
#include <csignal>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "application.h"
#include "command_line.h"
#include "fonts.h"
#include "frm_login.h"
#include "frm_splash.h"
#include "job_steps.h"
#include "printer_report.h"
#include "utf8_text.h"

// The report is laid out and set in type by Qt, so --report alone needs an application object:
// on the offscreen platform unless one is asked for, since the report needs no display. Qt sees
// only the program's name: the job's arguments are not its options.
int reportCommand(const CommandLine& command, char* program) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {program, nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    registerFontSubstitutions();
    ConsoleHost host(command.port, std::cout, std::cerr);
    return runCommandLine(command, host, std::cout, std::cerr, {}, writeReport);
}

int main(int argc, char* argv[]) {
    // A port may be a pipe (a capture tool, a virtual printer): when its reader goes away the
    // write must fail and be reported, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // With arguments the tool runs one job and no window: it must run where there is no
    // display, so no application object is made for it. Qt's own options (-platform, -style)
    // have a single dash and still open the window.
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc > 1 && (first.rfind("--", 0) == 0 || first.rfind('-', 0) != 0)) {
        const CommandLine command =
            parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (command.job == CommandLine::Job::Report && command.usageError.empty())
            return reportCommand(command, argv[0]);
        ConsoleHost host(command.port, std::cout, std::cerr);
        return runCommandLine(command, host, std::cout, std::cerr);
    }
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry: a Wayland desktop finds the entry, and with
    // it the icon and the Chinese name, only by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral(PRINTER_TESTER_APP_ID));
    prepareApplication(app);

    // The main window belongs to this function, not to the window it is closed from: a window
    // closed while a job is pausing inside one of its clicks returns into that job, so it lives
    // until the event loop has finished. Declared after the application, it goes first.
    std::unique_ptr<FrmLogin> mainWindow;
    auto* splash = new FrmSplash([&] {
        try {
            mainWindow = std::make_unique<FrmLogin>();
            mainWindow->show();
        } catch (const std::exception& failure) {
            QMessageBox::critical(nullptr, qtText(failureTitle),
                                  QStringLiteral("无法打开主窗口：") + qtText(failure.what()));
            QCoreApplication::exit(1);
        }
    });
    splash->show();
    return app.exec();
}
