#include "printer_report.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "fonts.h"
#include "utf8_text.h"

using namespace std::chrono_literals;

namespace {

// A printer that said everything, a technician who judged two pages, and a burn-in stopped by a
// fault: every field of the report has a value.
ReportContent everythingRead() {
    ReportContent content;
    content.madeAt = "2026-12-08 19:05";
    content.port = "COM2:19200,e,7,2,p";
    content.portMeaning = portMeaning(content.port);
    content.toolVersion = "1.0";
    PrinterInfo info;
    info.identity = {0x20,        0x03,     0x64,      "FW-2.07",
                     "SHOPMAKER", "TP-806", "SN4711X", "CHINA GB18030"};
    info.settings.memorySwitches = {"00100000", "01000001", "00000011", "11110000",
                                    "10101010", "01010101", "00001111", std::nullopt};
    info.settings.customized = {{3, 6}, {5, 65533}, {6, std::nullopt}};
    info.counters = {{20, 1234567},  {21, 7654321},  {50, 4242},   {70, 313},
                     {148, 9123456}, {149, 8765432}, {178, 52525}, {198, 2718}};
    content.info = info;
    StatusFindings status;
    status.answers.printer = 0x16;      // online, drawer pin high
    status.answers.paperSensor = 0x1E;  // paper near its end
    status.answers.errorCause = 0x12;
    content.status = status;
    for (const DiagnosticPageInfo& page : diagnosticPages())
        content.pages.push_back({page.page, "", "未测", ""});
    content.pages[0] = {DiagnosticPage::Charset, "2026-12-08 18:51:07", "异常", "GBK三区问号"};
    content.pages[3] = {DiagnosticPage::Barcodes, "2026-12-08 18:55:42", "正常", "扫码枪全读出"};
    BurnInResult burnIn;
    burnIn.rounds = 50;
    burnIn.roundsDone = 36;
    burnIn.receipts = 37;
    burnIn.cuts = 36;
    burnIn.pulses = 36;
    burnIn.fault = "缺纸";
    burnIn.faultRound = 37;
    burnIn.roundTimes = {611ms, 680ms, 640ms, 1250ms};
    burnIn.countersBefore = std::vector<CounterReading>{{20, 1000}, {50, 40}, {148, 91000}};
    burnIn.countersAfter = std::vector<CounterReading>{{20, 3219}, {50, 76}, {148, 93219}};
    content.burnIn = burnIn;
    return content;
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text a reader gets out of the file, with the layout's spaces and line breaks left out:
// pdftotext for a PDF, the HTML's own text for a page.
QString textOf(const QString& path) {
    QString text;
    if (path.endsWith(".pdf")) {
        text = run("pdftotext", {"-layout", path, "-"});
    } else {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QTextDocument document;
        document.setHtml(QString::fromUtf8(file.readAll()));
        text = document.toPlainText();
    }
    return text.remove(QRegularExpression("\\s"));
}

}  // namespace

class PrinterReportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void holdsEveryField_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("pdf") << "report.pdf";
        QTest::newRow("html") << "report.html";
    }
    void holdsEveryField() {
        QFETCH(QString, name);
        const QString path = dir_.filePath(name);
        QCOMPARE(writeReport(everythingRead(), path.toStdString(), false), std::nullopt);
        const QString text = textOf(path);
        const QStringList fields = {
            // when, where, which tool
            "2026-12-0819:05",
            "COM2:19200,e,7,2,p",
            "/dev/ttyS1，串口，19200波特，e,7,2，RTS/CTS",
            "printer-tester1.0",
            // who the printer is
            "TP-806",
            "SHOPMAKER",
            "FW-2.07",
            "SN4711X",
            "CHINAGB18030",
            "20H",
            "03H",
            "64H",
            // its state, as the status box says it
            "联机",
            "将尽",
            "钱箱信号(引脚3)",
            "高",
            "错误",
            "无",
            // its settings: the switch it did not send says so
            "00100000",
            "01000001",
            "00000011",
            "11110000",
            "10101010",
            "01010101",
            "00001111",
            "纸宽",
            "6",
            "打印浓度",
            "65533",
            "打印速度",
            // its counters
            "1234567",
            "7654321",
            "4242",
            "313",
            "9123456",
            "8765432",
            "52525",
            "2718",
            // the pages and the verdicts
            "字符集",
            "2026-12-0818:51:07",
            "异常",
            "GBK三区问号",
            "条码",
            "2026-12-0818:55:42",
            "正常",
            "扫码枪全读出",
            "十六进制模式",
            "未打印",
            "未测",
            // the burn-in
            "第37轮出现故障：缺纸",
            "完成36轮，共要求50轮",
            "小票37张，切纸36次，钱箱脉冲36次",
            "最短0.61秒，中位0.66秒，最长1.25秒",
            "1000",
            "3219",
            "2219",
            "40",
            "76",
            "36",
            "91000",
            "93219",
        };
        for (const QString& field : fields)
            QVERIFY2(text.contains(field), qPrintable(field + " missing from " + text));
        // A switch, a customized value and counters the printer did not send.
        QVERIFY(text.contains("存储开关8未读取"));
        QVERIFY(text.contains("打印速度未读取"));
    }

    // One A4 page, in the windows' face, embedded so that any reader shows it.
    void aPdfIsOnePageWithItsFaceEmbedded() {
        const QString path = dir_.filePath("one-page.pdf");
        QCOMPARE(writeReport(everythingRead(), path.toStdString(), false), std::nullopt);
        const QString info = run("pdfinfo", {path});
        QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
        QVERIFY2(info.contains("(A4)"), qPrintable(info));
        const QStringList fonts = run("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!fonts.isEmpty());
        const QString face = QFontInfo(faceFont(songFace(), 10, false)).family();
        for (const QString& font : fonts) {
            QVERIFY2(font.contains(QRegularExpression("\\byes\\s+(yes|no)\\s+yes\\b")),
                     qPrintable(font));  // embedded, with its text
            // PDF names a face by its PostScript name: "UMingCN" for "AR PL UMing CN".
            const QString postScriptName = font.section(' ', 0, 0).section('+', -1);
            QVERIFY2(QString(face).remove(' ').contains(postScriptName), qPrintable(font + face));
        }
    }

    // Nothing read: every field says so, nothing stands in for it.
    void whatWasNotReadSaysSo() {
        ReportContent content;
        content.madeAt = "2026-12-08 19:05";
        const QString path = dir_.filePath("empty.pdf");
        QCOMPARE(writeReport(content, path.toStdString(), false), std::nullopt);
        const QString text = textOf(path);
        // 8 identity fields, the status, the settings, 8 counters.
        QVERIFY2(text.count("未读取") >= 18, qPrintable(text));
        QVERIFY(text.contains("未进行"));
        QVERIFY(!text.contains("通过"));
    }

    // The README's picture of a report: docs/make-report-picture.sh asks for it.
    void samplePicture() {
        const QString out = qEnvironmentVariable("REPORT_PICTURE_OUT");
        if (out.isEmpty()) QSKIP("REPORT_PICTURE_OUT names no folder");
        const QString path = QDir(out).filePath("report.pdf");
        QCOMPARE(writeReport(everythingRead(), path.toStdString(), true), std::nullopt);
    }

private:
    QTemporaryDir dir_;
};

QTEST_MAIN(PrinterReportTest)
#include "printer_report_test.moc"
