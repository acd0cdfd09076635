#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "frm_login.h"
#include "gbk.h"
#include "support.h"
#include "test_receipts.h"

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Jobs open the port without creating it, as a device would be; a plain file stands in for it.
void makeEmpty(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
}

// The text block a receipt ends with, as it reaches the printer.
QByteArray bodyOf(const ReceiptVariant& variant) {
    QByteArray body;
    for (const std::u8string& line : variant.body) {
        const std::string gbk = toGbk(line);
        body += QByteArray(gbk.data(), static_cast<qsizetype>(gbk.size())) + "\r\n";
    }
    return body;
}

enum class Press { Mouse, Space, Enter };

void press(QWidget* widget, Press how) {
    switch (how) {
        case Press::Mouse:
            QTest::mouseClick(widget, Qt::LeftButton);
            break;
        case Press::Space:
            widget->setFocus();
            QTest::keyClick(widget, Qt::Key_Space);
            break;
        case Press::Enter:
            widget->setFocus();
            QTest::keyClick(widget, Qt::Key_Return);
            break;
    }
}

}  // namespace

Q_DECLARE_METATYPE(Press)

class JobRoutingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpFonts(); }

    void init() {
        window_ = std::make_unique<FrmLogin>([](const QUrl&) { return true; });
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        port_ = dir_.filePath("printer");
        makeEmpty(port_);
    }
    void cleanup() {
        window_.reset();
        QFile::remove(port_);
    }

    void oneShotJobs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Press>("how");
        QTest::addColumn<QByteArray>("stream");
        const QByteArray cut = QByteArray::fromHex("1b690a");
        const QByteArray pulse = QByteArray::fromHex("1b700080800a");
        const QByteArray barcode = QByteArray::fromHex("1d68320a1d6b49057b423132330a");
        QTest::newRow("cmdexit click") << "cmdexit" << Press::Mouse << cut;
        QTest::newRow("cmdexit space") << "cmdexit" << Press::Space << cut;
        QTest::newRow("cmdexit enter") << "cmdexit" << Press::Enter << cut;
        QTest::newRow("Command1 click") << "Command1" << Press::Mouse << pulse;
        QTest::newRow("Command1 space") << "Command1" << Press::Space << pulse;
        QTest::newRow("barcode click") << "barcode" << Press::Mouse << barcode;
        QTest::newRow("barcode space") << "barcode" << Press::Space << barcode;
    }

    void oneShotJobs() {
        QFETCH(QString, name);
        QFETCH(Press, how);
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->setEditText(port_);
        BoxAnswerer boxes;
        press(control(window_.get(), name), how);
        QTEST(readAll(port_), "stream");
        QVERIFY(boxes.seen.isEmpty());
    }

    // The focus starts on the cut button, so the space bar alone cuts the paper.
    void spaceRightAfterOpeningCuts() {
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->setEditText(port_);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(readAll(port_), QByteArray::fromHex("1b690a"));
    }

    void barcodeFlipsItsMarkAndPrintsTheSameEveryClick() {
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->setEditText(port_);
        auto* barcode = qobject_cast<QCheckBox*>(control(window_.get(), "barcode"));
        for (bool checkedAfter : {true, false, true}) {
            makeEmpty(port_);
            QTest::mouseClick(barcode, Qt::LeftButton);
            QCOMPARE(barcode->isChecked(), checkedAfter);
            QCOMPARE(readAll(port_), QByteArray::fromHex("1d68320a1d6b49057b423132330a"));
        }
    }

    void receipts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("Command2 welcome") << "Command2" << bodyOf(WelcomeReceipt());
        QTest::newRow("Command9 brochure") << "Command9" << bodyOf(BrochureReceipt());
        QTest::newRow("Command10 technician") << "Command10" << bodyOf(TechnicianReceipt());
    }

    void receipts() {
        QFETCH(QString, name);
        QFETCH(QByteArray, body);
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->setEditText(port_);
        QTest::mouseClick(control(window_.get(), name), Qt::LeftButton);
        QVERIFY(readAll(port_).contains(body));
    }

    void placeholderMeetsThePortCheck_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("chosenAgain");
        for (const char* name : {"cmdexit", "Command1", "Command2", "Command9", "Command10"})
            QTest::newRow(name) << name << false;
        QTest::newRow("cmdexit, placeholder chosen again") << "cmdexit" << true;
    }

    void placeholderMeetsThePortCheck() {
        QFETCH(QString, name);
        QFETCH(bool, chosenAgain);
        auto* combo = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"));
        if (chosenAgain) {
            combo->setCurrentIndex(3);
            combo->setCurrentIndex(0);
        }
        BoxAnswerer boxes;
        QTest::mouseClick(control(window_.get(), name), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        const SeenBox box = boxes.seen.first();
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.title, QString("提示！"));
        QCOMPARE(box.buttons, 1);
        QVERIFY(box.modal);
        QCOMPARE(combo->currentText(), QString("选择端口"));
    }

    // A name typed by hand reaches the job as typed, and the copies box is never read.
    void typedPortNameAndCopiesBox() {
        auto* edit = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, port_);
        auto* copies = qobject_cast<QLineEdit*>(control(window_.get(), "TxtQty"));
        copies->selectAll();
        QTest::keyClicks(copies, "3x");
        QTest::mouseClick(control(window_.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(readAll(port_), QByteArray::fromHex("1b700080800a"));
    }

    void failureShowsTheErrorBox() {
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))
            ->setEditText(dir_.filePath("no-such-port"));
        BoxAnswerer boxes;
        QTest::mouseClick(control(window_.get(), "cmdexit"), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.seen.first().title, QString("错误!"));
        QVERIFY(boxes.seen.first().text.startsWith("出错提示:"));
        QCOMPARE(boxes.seen.first().buttons, 1);
    }

    // The user closes the window during the receipt's first pause: the receipt still prints to
    // its end, and only then does the event loop finish.
    void closingDuringAReceiptLetsItFinish() {
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->setEditText(port_);
        bool jobReturned = false;
        bool loopEndedAfterJob = false;
        QTimer::singleShot(0, window_.get(), [&] {
            QTest::mouseClick(control(window_.get(), "Command10"), Qt::LeftButton);
            jobReturned = true;
        });
        QTimer::singleShot(100, window_.get(), [&] { window_->close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, qApp, &QCoreApplication::quit);
        watchdog.start(10000);

        QElapsedTimer clock;
        clock.start();
        QApplication::exec();
        loopEndedAfterJob = jobReturned;

        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(loopEndedAfterJob);
        QVERIFY(!window_->isVisible());
        QVERIFY(readAll(port_).contains(bodyOf(TechnicianReceipt())));
    }

private:
    QTemporaryDir dir_;
    QString port_;
    std::unique_ptr<FrmLogin> window_;
};

QTEST_MAIN(JobRoutingTest)
#include "job_routing_test.moc"
