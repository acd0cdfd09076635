// Installs the build into a temporary DESTDIR, as the Debian package does, and checks the tree
// against what the install rules promise and what the desktop's own validators accept. The
// validators come with `./scripts/install-deps.sh test`.
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "icon_images.h"
#include "translations.h"

namespace {

const QString appId = QStringLiteral(PRINTER_TESTER_APP_ID);
// The programs for users; each comes with its manual page.
const QStringList programs = {QStringLiteral("printer-tester"), QStringLiteral("virtual-printer")};

struct Run {
    int exitCode = -1;
    QString output;  // standard output and error together, as a person reads them
};

enum class Keep { AllOutput, ErrorsOnly };

Run run(const QString& program, const QStringList& args,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
        Keep keep = Keep::AllOutput) {
    QProcess process;
    process.setProcessEnvironment(env);
    if (keep == Keep::AllOutput)
        process.setProcessChannelMode(QProcess::MergedChannels);
    else
        process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, program + QStringLiteral(" did not run: ") + process.errorString()};
    // Only the channel kept is read: Qt 6.8 warns of a read from a channel merged into another.
    return {process.exitCode(),
            QString::fromUtf8(keep == Keep::AllOutput ? process.readAllStandardOutput()
                                                      : process.readAllStandardError())};
}

// The window icon's images, one per size.
QMap<int, QImage> windowIconImages() {
    QString error;
    const QMap<int, QImage> images = iconImagesBySize(QStringLiteral(APP_ICON_FILE), &error);
    if (images.isEmpty()) qWarning("%s", qPrintable(error));
    return images;
}

QString manualPage(const QString& program) {
    return QStringLiteral("share/man/man1/%1.1.gz").arg(program);
}

QString iconPath(int size) {
    return QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId);
}

QString desktopEntryValue(const QString& entryFile, const QString& key) {
    QFile file(entryFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key.toUtf8() + '=')) return QString::fromUtf8(line.mid(key.size() + 1));
    return {};
}

}  // namespace

class InstalledFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir destdir_;  // removed with everything in it when the test ends
    QString usr_;

    void requireTool(const QString& name) {
        if (QStandardPaths::findExecutable(name).isEmpty())
            QFAIL(qPrintable(name + QStringLiteral(" is missing: ./scripts/install-deps.sh test")));
    }

private slots:
    void initTestCase() {
        QVERIFY(destdir_.isValid());
        usr_ = destdir_.path() + QStringLiteral("/usr");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), destdir_.path());
        const Run install = run(QStringLiteral(CMAKE_COMMAND),
                                {QStringLiteral("--install"), QStringLiteral(BUILD_DIR),
                                 QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                env);
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
    }

    // Nothing promised is missing and nothing unpromised comes along, the window icon's every
    // size included, so the package's file list and its removal stay what they were meant to be.
    void installsExactlyThePromisedFiles() {
        QStringList promised = {
            QStringLiteral("share/applications/%1.desktop").arg(appId),
            QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId),
            QStringLiteral("share/doc/printer-tester/copyright"),
            QStringLiteral("share/doc/printer-tester/changelog.gz"),
            QStringLiteral("share/printer-tester/translations/virtual-printer_zh_CN.qm"),
        };
        for (const QString& program : programs)
            promised << QStringLiteral("bin/") + program << manualPage(program);
        const QList<int> sizes = windowIconImages().keys();
        for (int size : {16, 24, 32, 48, 64, 128}) QVERIFY2(sizes.contains(size), "icon size lost");
        for (int size : sizes) promised << iconPath(size);

        QStringList installed;
        QDirIterator it(destdir_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            installed << (path.startsWith(usr_ + u'/') ? path.mid(usr_.size() + 1) : path);
        }
        promised.sort();
        installed.sort();
        QCOMPARE(installed, promised);
        for (const QString& program : programs)
            QVERIFY2(QFileInfo(usr_ + QStringLiteral("/bin/") + program).isExecutable(),
                     qPrintable(program));
    }

    void iconsAreTheWindowIconsImages() {
        const QMap<int, QImage> images = windowIconImages();
        QVERIFY(!images.isEmpty());
        for (auto it = images.cbegin(); it != images.cend(); ++it) {
            const QImage installed(usr_ + u'/' + iconPath(it.key()));
            QVERIFY2(!installed.isNull(), qPrintable(iconPath(it.key())));
            QCOMPARE(installed.convertToFormat(QImage::Format_ARGB32), it.value());
        }
    }

    void desktopEntryValidatesAndStartsTheInstalledProgram() {
        requireTool(QStringLiteral("desktop-file-validate"));
        const QString entry = usr_ + QStringLiteral("/share/applications/%1.desktop").arg(appId);
        // Hints count too: a menu may file an entry with hints under "Other".
        const Run validate = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(validate.exitCode == 0 && validate.output.trimmed().isEmpty(),
                 qPrintable(validate.output));

        const QString program =
            desktopEntryValue(entry, QStringLiteral("Exec")).section(u' ', 0, 0);
        QVERIFY2(QFileInfo(usr_ + QStringLiteral("/bin/") + program).isExecutable(),
                 qPrintable(program));
        QCOMPARE(desktopEntryValue(entry, QStringLiteral("Icon")), appId);
    }

    void metainfoValidatesAgainstTheInstalledTree() {
        requireTool(QStringLiteral("appstreamcli"));
        const QString metainfo =
            usr_ + QStringLiteral("/share/metainfo/%1.metainfo.xml").arg(appId);
        const Run file = run(QStringLiteral("appstreamcli"),
                             {QStringLiteral("validate"), QStringLiteral("--no-net"),
                              QStringLiteral("--pedantic"), metainfo});
        // The developer is given in AppStream 1.0's form, which 1.0 asks for; 0.16 (Debian 12)
        // knows no such tag yet and says so, which is the one finding let through.
        QString findings = file.output;
        findings.remove(QRegularExpression(QStringLiteral("^I: \\S+: unknown-tag developer$"),
                                           QRegularExpression::MultilineOption));
        QVERIFY2(file.exitCode == 0 &&
                     !findings.contains(QRegularExpression(QStringLiteral("^\\s*[EWIP]: "),
                                                           QRegularExpression::MultilineOption)),
                 qPrintable(file.output));
        // The tree check also finds the desktop entry the metainfo launches.
        const Run tree = run(QStringLiteral("appstreamcli"),
                             {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), usr_});
        QVERIFY2(tree.exitCode == 0, qPrintable(tree.output));

        QFile xml(metainfo);
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(xml.readAll());
        QVERIFY2(text.contains(QStringLiteral("<release version=\"%1\"").arg(PROJECT_VERSION)),
                 "the newest release is not this version");
        // A software centre finds the package by any program it provides.
        for (const QString& program : programs)
            QVERIFY2(text.contains(QStringLiteral("<binary>%1</binary>").arg(program)),
                     qPrintable(program + QStringLiteral(" is not among the provided binaries")));
    }

    // The package's description and the software centre's both tell of the status query, the
    // one thing the tester reads back.
    void descriptionsTellWhatIsReadBack() {
        QFile metainfo(usr_ + QStringLiteral("/share/metainfo/%1.metainfo.xml").arg(appId));
        QFile package(QStringLiteral(BUILD_DIR "/CPackConfig.cmake"));
        for (QFile* file : {&metainfo, &package}) {
            QVERIFY2(file->open(QIODevice::ReadOnly), qPrintable(file->fileName()));
            const QString text = QString::fromUtf8(file->readAll());
            QVERIFY2(text.contains(QStringLiteral("status button asks the printer")) &&
                         !text.contains(QStringLiteral("Nothing is read back")),
                     qPrintable(file->fileName()));
        }
    }

    // The installed virtual printer finds its window's Chinese where it looks, beside its bin
    // folder.
    void virtualPrinterFindsItsTranslation() {
        QTranslator chinese;
        bool found = false;
        for (const QString& folder : vp::translationFolders(usr_ + QStringLiteral("/bin")))
            found = found ||
                    chinese.load(QLocale(QStringLiteral("zh_CN")),
                                 QStringLiteral("virtual-printer"), QStringLiteral("_"), folder);
        QVERIFY(found);
        QCOMPARE(chinese.translate("vp::RollWindow", "Clear"), QStringLiteral("清空"));
    }

    // What lintian asks of compressed documents and manual pages.
    void manualPagesAndChangelogAreCompressedAndClean() {
        requireTool(QStringLiteral("man"));
        requireTool(QStringLiteral("lexgrog"));
        QStringList compressed = {QStringLiteral("share/doc/printer-tester/changelog.gz")};
        for (const QString& program : programs) compressed << manualPage(program);
        for (const QString& name : compressed) {
            const Run test =
                run(QStringLiteral("gzip"), {QStringLiteral("-t"), usr_ + u'/' + name});
            QVERIFY2(test.exitCode == 0, qPrintable(name + u' ' + test.output));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        for (const QString& program : programs) {
            const QString page = usr_ + u'/' + manualPage(program);
            // groff's warnings, as lintian collects them.
            const Run man =
                run(QStringLiteral("man"),
                    {QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"),
                     QStringLiteral("-l"), QStringLiteral("-Tutf8"), QStringLiteral("-Z"), page},
                    env, Keep::ErrorsOnly);
            QVERIFY2(man.exitCode == 0 && man.output.isEmpty(),
                     qPrintable(program + u' ' + man.output));
            // The whatis entry that apropos and lintian read from the NAME section.
            const Run whatis = run(QStringLiteral("lexgrog"), {page}, env);
            QVERIFY2(whatis.exitCode == 0 &&
                         whatis.output.contains(u'"' + program + QStringLiteral(" - ")),
                     qPrintable(program + u' ' + whatis.output));
        }
    }
};

QTEST_GUILESS_MAIN(InstalledFilesTest)
#include "installed_files_test.moc"
