#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>

#include "byte_sources.h"
#include "golden_receipts.h"
#include "http_interface.h"
#include "printer_session.h"
#include "receipt_renderer.h"
#include "roll_window.h"
#include "state_commands.h"
#include "translations.h"

namespace {

const char usage[] = R"(Usage:
  virtual-printer --pty [OPTIONS]
  virtual-printer --listen [HOST:]PORT [OPTIONS]
  virtual-printer --render FILE [OPTIONS]
  virtual-printer --render FILE --expect DIR [--update] [OPTIONS]

Shows what an ESC/POS receipt printer with a Chinese character ROM prints, and answers
status requests (DLE EOT, GS I, GS r, GS a), its settings (GS ( E) and its maintenance
counters (GS g 2) as such a printer does.

  --pty            open a pseudo-terminal; its name (/dev/pts/N) is the port to print to
  --listen [HOST:]PORT
                   take raw TCP connections, as a network printer does on port 9100;
                   HOST defaults to 127.0.0.1 (this computer only)
  --render FILE    print a captured stream and stop
  --out DIR        no window: write each receipt as DIR/receipt-NNN.png, with its
                   transcripts receipt-NNN.json and receipt-NNN.txt beside, and print a line
                   per picture: its path, a tab, and the receipt's events joined by "; "
  --expect DIR     with --render, no window: compare each receipt with DIR/receipt-NNN.png
                   and .json, print a line per difference, and exit with 1 when any differs;
                   receipt-NNN.diff.png shows a changed picture (in DIR, or in --out with
                   the receipt as printed now)
  --update         with --expect: write the golden files of the receipts that differ
  --paper 80|58    paper width in millimetres: 576 or 384 printable dots (default 80)
  --state LIST     start with these faults, comma-separated: cover-open, paper-near-end,
                   paper-end, drawer-open
  --model NAME     the model name the printer gives when asked (GS I 67), sent in GBK
                   (default POS-80C)
  --rom gb2312|gbk|gb18030
                   the character ROM: what it prints and names (GS I 69; default gb18030)
  --settings LIST  start with these settings, comma-separated: msw1=00100000 (a memory
                   switch, bit 8 first; msw1 to msw8), width=58|80 (as --paper),
                   density=-6..8, speed=1..9, codetable=N (ESC t at power on)
  --drawer-seconds N
                   a drawer pulse opens the drawer for N seconds (default 2; 0: never)
  --idle-timeout N close a TCP connection silent for N seconds (default 30; 0: never)
  --http [HOST:]PORT
                   also show the roll on a web page at http://HOST:PORT/, with an HTTP
                   interface for scripts; HOST defaults to 127.0.0.1 (this computer only)
  --help           this text

The first line printed is "port: " and the port name (not with --render). A receipt ends
at a cut, or when the stream has been quiet for a second after its connection closed.
Without --out a window shows the paper roll, newest at the bottom, with the events beside,
and switches for the faults. Lines "set NAME" and "clear NAME" on standard input change
the state too, and a line "reset" switches the printer off and on (which ends hex dump
mode); each change, and each connection closed for its silence, is printed as a
line "event: " and what happened (in the window's list without --out).
)";

struct Options {
    enum class Source { None, Pty, Listen, Render } source = Source::None;
    QString file, out;
    QString expect;
    bool update = false;
    QHostAddress host;
    quint16 port = 0;
    vp::Paper paper = vp::Paper::millimetres80();
    vp::PrinterState state;
    double drawerSeconds = 2;
    double idleTimeoutSeconds = 30;
    // The web page's address, when asked for.
    std::optional<std::pair<QHostAddress, quint16>> http;
};

// A number of seconds, fractions allowed, not negative.
std::optional<double> seconds(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < 0 || value > 86400) return std::nullopt;
    return value;
}

// Parses the command line; prints the problem and returns nothing when it is not usable.
std::optional<Options> parse(const QStringList& arguments) {
    Options options;
    int sources = 0;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 < arguments.size()) return arguments[++i];
            std::fprintf(stderr, "%s needs a value\n", qPrintable(argument));
            return std::nullopt;
        };
        auto secondsValue = [&](double& into) {
            const auto given = value();
            if (!given) return false;
            const auto parsed = seconds(*given);
            if (!parsed)
                std::fprintf(stderr, "%s wants a number of seconds, not %s\n", qPrintable(argument),
                             qPrintable(*given));
            else
                into = *parsed;
            return parsed.has_value();
        };
        if (argument == QLatin1String("--help")) {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (argument == QLatin1String("--pty")) {
            options.source = Options::Source::Pty;
            ++sources;
        } else if (argument == QLatin1String("--listen") || argument == QLatin1String("--render")) {
            const auto given = value();
            if (!given) return std::nullopt;
            ++sources;
            if (argument == QLatin1String("--render")) {
                options.source = Options::Source::Render;
                options.file = *given;
            } else if (vp::TcpSource::parseAddress(*given, options.host, options.port)) {
                options.source = Options::Source::Listen;
            } else {
                std::fprintf(stderr, "--listen wants [HOST:]PORT, not %s\n", qPrintable(*given));
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--http")) {
            const auto given = value();
            if (!given) return std::nullopt;
            QHostAddress host;
            quint16 port = 0;
            if (!vp::TcpSource::parseAddress(*given, host, port)) {
                std::fprintf(stderr, "--http wants [HOST:]PORT, not %s\n", qPrintable(*given));
                return std::nullopt;
            }
            options.http.emplace(host, port);
        } else if (argument == QLatin1String("--out")) {
            const auto given = value();
            if (!given) return std::nullopt;
            options.out = *given;
        } else if (argument == QLatin1String("--expect")) {
            const auto given = value();
            if (!given) return std::nullopt;
            options.expect = *given;
        } else if (argument == QLatin1String("--update")) {
            options.update = true;
        } else if (argument == QLatin1String("--paper")) {
            const auto given = value();
            if (!given) return std::nullopt;
            if (*given == QLatin1String("80")) {
                options.paper = vp::Paper::millimetres80();
            } else if (*given == QLatin1String("58")) {
                options.paper = vp::Paper::millimetres58();
            } else {
                std::fprintf(stderr, "--paper is 80 or 58, not %s\n", qPrintable(*given));
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--state")) {
            const auto given = value();
            if (!given) return std::nullopt;
            const std::string problem = vp::setStateFlags(given->toStdString(), options.state);
            if (!problem.empty()) {
                std::fprintf(stderr, "--state: %s\n", problem.c_str());
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--model")) {
            const auto given = value();
            if (!given) return std::nullopt;
            options.state.model = given->toStdString();
        } else if (argument == QLatin1String("--rom")) {
            const auto given = value();
            if (!given) return std::nullopt;
            const auto rom = vp::romNamed(given->toStdString());
            if (!rom) {
                std::fprintf(stderr, "--rom is gb2312, gbk or gb18030, not %s\n",
                             qPrintable(*given));
                return std::nullopt;
            }
            options.state.rom = *rom;
        } else if (argument == QLatin1String("--settings")) {
            const auto given = value();
            if (!given) return std::nullopt;
            // A width given here is the paper's, as --paper: the later of the two applies.
            vp::PrinterSettings settings = options.state.settings;
            settings.customized.erase(vp::PrinterSettings::paperWidth);
            const std::string problem = vp::setSettings(given->toStdString(), settings);
            if (!problem.empty()) {
                std::fprintf(stderr, "--settings: %s\n", problem.c_str());
                return std::nullopt;
            }
            const auto width = settings.customized.find(vp::PrinterSettings::paperWidth);
            if (width != settings.customized.end())
                options.paper = width->second == vp::PrinterSettings::width58
                                    ? vp::Paper::millimetres58()
                                    : vp::Paper::millimetres80();
            options.state.settings = settings;
        } else if (argument == QLatin1String("--drawer-seconds")) {
            if (!secondsValue(options.drawerSeconds)) return std::nullopt;
        } else if (argument == QLatin1String("--idle-timeout")) {
            if (!secondsValue(options.idleTimeoutSeconds)) return std::nullopt;
        } else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(argument));
            return std::nullopt;
        }
    }
    if (sources != 1) {
        std::fputs("give one of --pty, --listen or --render\n", stderr);
        return std::nullopt;
    }
    if (!options.expect.isEmpty() && options.source != Options::Source::Render) {
        std::fputs("--expect compares what --render prints\n", stderr);
        return std::nullopt;
    }
    if (options.update && options.expect.isEmpty()) {
        std::fputs("--update writes the golden files of --expect DIR\n", stderr);
        return std::nullopt;
    }
    options.state.settings.customized[vp::PrinterSettings::paperWidth] =
        options.paper.printableDots == vp::Paper::millimetres58().printableDots
            ? vp::PrinterSettings::width58
            : vp::PrinterSettings::width80;
    return options;
}

int milliseconds(double seconds) {
    return static_cast<int>(seconds * 1000 + 0.5);
}

// Writes each finished receipt into the folder and says so on standard output. Numbering
// goes on after the pictures already there, so that a second run keeps the first one's.
class PictureFolder {
public:
    PictureFolder(const QString& folder, vp::Paper paper) : folder_(folder), renderer_(paper) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("receipt-*.png")}, QDir::Files))
            next_ = std::max(next_, name.mid(8, name.size() - 12).toInt() + 1);
    }

    void write(const vp::Receipt& receipt) {
        const QString prefix =
            QStringLiteral("%1/receipt-%2").arg(folder_).arg(next_++, 3, 10, QLatin1Char('0'));
        const QString path = prefix + QStringLiteral(".png");
        vp::writeReceiptFiles(renderer_.render(receipt), receipt, prefix);
        std::string events;
        for (const std::string& event : receipt.events()) {
            if (!events.empty()) events += "; ";
            events += event;
        }
        std::printf("%s\t%s\n", qPrintable(path), events.c_str());
        std::fflush(stdout);
    }

private:
    QString folder_;
    vp::ReceiptRenderer renderer_;
    int next_ = 1;
};

// Lines "set NAME" and "clear NAME" on standard input change the printer's state, so that a
// script can drive it; a bad line is explained on standard error and changes nothing.
class StateCommands : public QObject {
public:
    explicit StateCommands(vp::PrinterSession& session) : session_(session) {
        // A program in the background of a terminal would be stopped by reading it; ignoring
        // the signal makes the read fail instead, and the commands are then not read.
        signal(SIGTTIN, SIG_IGN);
        notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &StateCommands::readInput);
    }

private:
    // Lines longer than this are not commands.
    static constexpr qsizetype longestLine = 1024;

    void readInput() {
        char chunk[4096];
        // The descriptor is readable, so one read does not block; standard input is shared
        // with the shell and stays blocking.
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) return;
            if (got < 0)
                std::fprintf(stderr, "standard input cannot be read (%s): no set/clear lines\n",
                             strerrordesc_np(errno));
            notifier_->setEnabled(false);
            return;
        }
        pending_.append(chunk, got);
        for (qsizetype end; (end = pending_.indexOf('\n')) >= 0;) {
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 1);
            if (!line.trimmed().isEmpty()) apply(line.toStdString());
        }
        if (pending_.size() > longestLine) {
            std::fputs("standard input: a line too long for a command, ignored\n", stderr);
            pending_.clear();
        }
    }

    void apply(const std::string& line) {
        if (vp::isResetCommand(line)) {
            session_.powerCycle();
            return;
        }
        vp::PrinterState state = session_.state();
        const std::string problem = vp::applyStateCommand(line, state);
        if (!problem.empty())
            std::fprintf(stderr, "standard input: %s\n", problem.c_str());
        else
            session_.setState(state);
    }

    vp::PrinterSession& session_;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray pending_;
};

int stopSignals[2] = {-1, -1};

void onStopSignal(int) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t ignored = write(stopSignals[1], &stop, 1);
}

// SIGINT and SIGTERM end the receipt that is printing and then the program, so that nothing
// received is lost; whatever still waits to be received is not waited for.
void stopCleanly(vp::PrinterSession& session) {
    if (pipe2(stopSignals, O_CLOEXEC) != 0) return;
    auto* notifier = new QSocketNotifier(stopSignals[0], QSocketNotifier::Read, &session);
    QObject::connect(notifier, &QSocketNotifier::activated, &session, [&session] {
        session.endOfStream();
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A descriptor 0, 1 or 2 that is not open would be taken by the next one opened, and the
// terminal or a socket read as standard input.
void keepStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0) ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
}

std::unique_ptr<vp::ByteSource> openSource(const Options& options) {
    switch (options.source) {
        case Options::Source::Pty:
            return std::make_unique<vp::PtySource>();
        case Options::Source::Listen:
            return std::make_unique<vp::TcpSource>(options.host, options.port,
                                                   milliseconds(options.idleTimeoutSeconds));
        default:
            return std::make_unique<vp::FileSource>(options.file);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    keepStandardDescriptors();
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const std::optional<Options> options = parse(arguments);
    if (!options) {
        std::fputs("virtual-printer --help explains the options\n", stderr);
        return 2;
    }
    const bool headless = !options->out.isEmpty() || !options->expect.isEmpty();
    // Pictures alone need no display.
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (qEnvironmentVariableIsEmpty("DISPLAY") &&
               qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
               qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("no display for the window: give --out DIR to write pictures instead\n", stderr);
        return 1;
    }
    std::unique_ptr<QGuiApplication> app(headless ? new QGuiApplication(argc, argv)
                                                  : new QApplication(argc, argv));
    if (const QStringList missing = vp::ReceiptRenderer::missingFonts(); !missing.isEmpty())
        std::fprintf(stderr, "fonts not installed, others stand in: %s\n",
                     qPrintable(missing.join(QStringLiteral(", "))));
    if (!options->out.isEmpty() && !QDir().mkpath(options->out)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(options->out));
        return 1;
    }

    std::unique_ptr<vp::ByteSource> source;
    try {
        source = openSource(*options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    const QString port = source->portName();

    vp::PrinterSession session(options->paper);
    session.setDrawerOpenMs(milliseconds(options->drawerSeconds));
    std::unique_ptr<PictureFolder> folder;
    std::unique_ptr<vp::GoldenReceipts> golden;
    std::unique_ptr<vp::RollWindow> window;
    if (!options->expect.isEmpty()) {
        // Differences alone on standard output, for a test runner to show.
        golden = std::make_unique<vp::GoldenReceipts>(
            options->expect, options->out.isEmpty() ? options->expect : options->out,
            options->paper, options->update);
        golden->report = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
        session.onReceipt = [&](const vp::Receipt& receipt) { golden->check(receipt); };
    } else if (headless) {
        folder = std::make_unique<PictureFolder>(options->out, options->paper);
        session.onReceipt = [&](const vp::Receipt& receipt) { folder->write(receipt); };
        session.onEvent = [](const std::string& event) {
            std::printf("event: %s\n", event.c_str());
            std::fflush(stdout);
        };
    } else {
        vp::installTranslations(*app, QLocale());
        window = std::make_unique<vp::RollWindow>(options->paper, port);
        session.onReceipt = [&](const vp::Receipt& receipt) { window->addReceipt(receipt); };
        session.onProgress = [&](const vp::Receipt& printing) { window->showProgress(printing); };
        session.onEvent = [&](const std::string& event) {
            window->addEvent(QString::fromStdString(event));
        };
        window->watch(session.printer());
        session.onStateChanged = [&](const vp::PrinterState&) { window->showState(); };
        QObject::connect(window.get(), &vp::RollWindow::stateRequested, &session,
                         &vp::PrinterSession::setState);
        QObject::connect(window.get(), &vp::RollWindow::powerCycleRequested, &session,
                         &vp::PrinterSession::powerCycle);
        window->show();
    }
    QObject::connect(source.get(), &vp::ByteSource::notice, &session,
                     [&session](const QString& text) {
                         if (session.onEvent) session.onEvent(text.toStdString());
                     });
    // The web page follows the roll whatever else shows it, and is named after the port line.
    std::unique_ptr<vp::HttpInterface> web;
    if (options->http) {
        web = std::make_unique<vp::HttpInterface>(session);
        if (const QString problem = web->listen(options->http->first, options->http->second);
            !problem.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(problem));
            return 1;
        }
        web->follow();
        // One roll, whichever of them clears it.
        if (window) {
            web->onClear = [&] { window->clear(); };
            QObject::connect(window.get(), &vp::RollWindow::clearedByHand, web.get(),
                             [&] { web->clear(); });
        }
    }
    // Once everything is ready: a writer that starts at the port line is served at once.
    if (options->source != Options::Source::Render) {
        std::printf("port: %s\n", qPrintable(port));
        std::fflush(stdout);
    }
    if (web) {
        const QHostAddress& host = options->http->first;
        const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol
                                  ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                                  : host.toString();
        std::printf("http: http://%s:%u/\n", qPrintable(shown), unsigned(web->port()));
        std::fflush(stdout);
    }
    // The self-test page names the interface.
    vp::PrinterState start = options->state;
    const char* kind = options->source == Options::Source::Pty      ? "serial "
                       : options->source == Options::Source::Listen ? "Ethernet "
                                                                    : "file ";
    start.interfaceName = kind + port.toStdString();
    session.setState(start);
    session.attach(*source);
    if (auto* file = qobject_cast<vp::FileSource*>(source.get())) {
        QObject::connect(file, &vp::FileSource::finished, &session,
                         [&session, &golden, headless, &web] {
                             session.endOfStream();
                             if (golden) {
                                 std::fflush(stdout);
                                 QCoreApplication::exit(golden->finish());
                             } else if (headless && !web) {
                                 // The web page stays to be looked at, until the program is
                                 // stopped.
                                 QCoreApplication::quit();
                             }
                         });
    }
    StateCommands commands(session);
    stopCleanly(session);
    return app->exec();
}
