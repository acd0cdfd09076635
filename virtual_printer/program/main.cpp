#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>

#include "byte_sources.h"
#include "printer_session.h"
#include "receipt_renderer.h"
#include "roll_window.h"

namespace {

const char usage[] = R"(Usage:
  virtual-printer --pty [--out DIR] [--paper 80|58]
  virtual-printer --listen [HOST:]PORT [--out DIR] [--paper 80|58]
  virtual-printer --render FILE [--out DIR] [--paper 80|58]

Shows what an ESC/POS receipt printer with a Chinese (GBK) character set prints.

  --pty            open a pseudo-terminal; its name (/dev/pts/N) is the port to print to
  --listen [HOST:]PORT
                   take raw TCP connections, as a network printer does on port 9100;
                   HOST defaults to 127.0.0.1 (this computer only)
  --render FILE    print a captured stream and stop
  --out DIR        no window: write each receipt as DIR/receipt-NNN.png and print a line
                   per picture: its path, a tab, and the receipt's events joined by "; "
  --paper 80|58    paper width in millimetres: 576 or 384 printable dots (default 80)
  --help           this text

The first line printed is "port: " and the port name (not with --render). A receipt ends
at a cut, or when the stream has been quiet for a second after its connection closed.
Without --out a window shows the paper roll, newest at the bottom, with the events beside.
)";

struct Options {
    enum class Source { None, Pty, Listen, Render } source = Source::None;
    QString file, out;
    QHostAddress host;
    quint16 port = 0;
    vp::Paper paper = vp::Paper::millimetres80();
};

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
        } else if (argument == QLatin1String("--out")) {
            const auto given = value();
            if (!given) return std::nullopt;
            options.out = *given;
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
        } else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(argument));
            return std::nullopt;
        }
    }
    if (sources != 1) {
        std::fputs("give one of --pty, --listen or --render\n", stderr);
        return std::nullopt;
    }
    return options;
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
        const QString path =
            QStringLiteral("%1/receipt-%2.png").arg(folder_).arg(next_++, 3, 10, QLatin1Char('0'));
        if (!vp::savePicture(renderer_.render(receipt), path))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
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

int stopSignals[2] = {-1, -1};

void onStopSignal(int) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t ignored = write(stopSignals[1], &stop, 1);
}

// SIGINT and SIGTERM end the receipt that is printing and then the program, so that
// nothing received is lost.
void stopCleanly(vp::PrinterSession& session) {
    if (pipe(stopSignals) != 0) return;
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

std::unique_ptr<vp::ByteSource> openSource(const Options& options) {
    if (options.source == Options::Source::Pty) return std::make_unique<vp::PtySource>();
    return std::make_unique<vp::TcpSource>(options.host, options.port);
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const std::optional<Options> options = parse(arguments);
    if (!options) {
        std::fputs("virtual-printer --help explains the options\n", stderr);
        return 2;
    }
    const bool headless = !options->out.isEmpty();
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
    if (headless && !QDir().mkpath(options->out)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(options->out));
        return 1;
    }

    vp::PrinterSession session(options->paper);
    std::unique_ptr<vp::ByteSource> source;
    QString port = options->file;
    if (options->source != Options::Source::Render) {
        try {
            source = openSource(*options);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "%s\n", failure.what());
            return 1;
        }
        session.attach(*source);
        port = source->portName();
        std::printf("port: %s\n", qPrintable(port));
        std::fflush(stdout);
    }

    std::unique_ptr<PictureFolder> folder;
    std::unique_ptr<vp::RollWindow> window;
    if (headless) {
        folder = std::make_unique<PictureFolder>(options->out, options->paper);
        session.onReceipt = [&](const vp::Receipt& receipt) { folder->write(receipt); };
    } else {
        window = std::make_unique<vp::RollWindow>(options->paper, port);
        session.onReceipt = [&](const vp::Receipt& receipt) { window->addReceipt(receipt); };
        session.onProgress = [&](const vp::Receipt& printing) { window->showProgress(printing); };
        window->show();
    }

    if (options->source == Options::Source::Render) {
        QFile file(options->file);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(options->file),
                         qPrintable(file.errorString()));
            return 1;
        }
        session.bytesArrived(file.readAll());
        session.endOfStream();
        if (headless) return 0;
    }
    stopCleanly(session);
    return app->exec();
}
