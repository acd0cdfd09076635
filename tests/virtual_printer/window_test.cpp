#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "printer_session.h"
#include "roll_window.h"
#include "sample_streams.h"
#include "temp_files.h"
#include "translations.h"

namespace {

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList texts(const QListWidget* list) {
    QStringList found;
    for (int i = 0; i < list->count(); ++i) found << list->item(i)->text();
    return found;
}

QAction* action(const QMainWindow& window, const QString& text) {
    for (QAction* candidate : window.findChildren<QAction*>())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

vp::Receipt blankReceipt(int lines) {
    vp::Receipt receipt;
    for (int i = 0; i < lines; ++i) receipt.items.push_back(vp::PrintedLine{{}, 0, 30, {}});
    return receipt;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    // The window fed by a session, as the program wires them: the receipt shows while it
    // prints, stays one picture across the writer's reconnection, and its events are listed.
    void showsReceiptsAsTheyPrint() {
        vp::RollWindow window(vp::Paper::millimetres80(), QStringLiteral("/dev/pts/9"));
        vp::PrinterSession session(vp::Paper::millimetres80(), 100);
        session.onReceipt = [&](const vp::Receipt& receipt) { window.addReceipt(receipt); };
        session.onProgress = [&](const vp::Receipt& printing) { window.showProgress(printing); };
        window.show();

        session.connectionOpened();
        session.bytesArrived(bytes(technicianBannerPhase()));
        session.connectionClosed();
        QTest::qWait(60);
        session.connectionOpened();  // within the idle time: the same receipt goes on
        session.bytesArrived(bytes(technicianTextPhase() + bytesFromHex("1B 70 00 80 80")));
        auto* printing = window.rollArea()->widget()->findChildren<QLabel*>().first();
        QVERIFY(printing->isVisible());
        session.connectionClosed();
        QCOMPARE(window.receiptCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(window.receiptCount(), 1, 1000);
        QVERIFY(!printing->isVisible());

        session.connectionOpened();
        session.bytesArrived(bytes(bytesFromHex("41 0A 1B 69")));
        QCOMPARE(window.receiptCount(), 2);  // a cut ends a receipt at once
        QCOMPARE(texts(window.eventList()),
                 (QStringList{"Receipt 1", "    drawer pin 2 on 256 ms off 256 ms", "Receipt 2",
                              "    cut partial"}));

        // A status query prints nothing: no receipt, and nothing left showing as printing.
        session.bytesArrived(bytes(bytesFromHex("10 04 01")));
        session.connectionClosed();
        QTest::qWait(250);
        QCOMPARE(window.receiptCount(), 2);
        QVERIFY(!printing->isVisible());
    }

    void savesAndClearsTheRoll() {
        vp::RollWindow window(vp::Paper::millimetres58(), QStringLiteral("127.0.0.1:9100"));
        window.resize(600, 300);
        window.show();
        const vp::Receipt receipt = blankReceipt(20);
        for (int i = 0; i < 3; ++i) window.addReceipt(receipt);
        // The newest receipt is in view.
        QScrollBar* scroll = window.rollArea()->verticalScrollBar();
        QTRY_VERIFY(scroll->maximum() > 0);
        QTRY_COMPARE(scroll->value(), scroll->maximum());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("roll.png"));
        QVERIFY(window.saveRoll(path));
        const QImage saved(path);
        QCOMPARE(saved.size(), QSize(464, 3 * 600));

        QAction* clear = action(window, QStringLiteral("Clear"));
        QVERIFY(clear != nullptr);
        QVERIFY(action(window, QStringLiteral("Save as PNG…")) != nullptr);
        QSignalSpy cleared(&window, &vp::RollWindow::clearedByHand);
        clear->trigger();
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(window.receiptCount(), 0);
        QCOMPARE(window.eventList()->count(), 0);
        window.addReceipt(receipt);
        QCOMPARE(texts(window.eventList()), QStringList{"Receipt 1"});
    }

    // The switches ask for a state and show the one in force, whoever changed it.
    void switchesAskForAStateAndShowIt() {
        vp::RollWindow window(vp::Paper::millimetres80(), QStringLiteral("/dev/pts/9"));
        QList<vp::PrinterState> asked;
        connect(&window, &vp::RollWindow::stateRequested,
                [&](const vp::PrinterState& state) { asked << state; });
        vp::PrinterState out;
        out.paperEnd = true;
        out.model = "POS-80";
        vp::RecordingSink sink;
        vp::PrinterEngine printer(vp::Paper::millimetres80(), sink);
        printer.setState(out);
        window.watch(printer);
        QVERIFY(action(window, QStringLiteral("Paper end"))->isChecked());
        QVERIFY(!action(window, QStringLiteral("Cover open"))->isChecked());
        QVERIFY(asked.isEmpty());
        action(window, QStringLiteral("Cover open"))->trigger();
        QCOMPARE(asked.size(), 1);
        vp::PrinterState wanted = out;
        wanted.coverOpen = true;
        QVERIFY(asked[0] == wanted);
        window.addEvent(QStringLiteral("cover-open set"));
        QCOMPARE(texts(window.eventList()), QStringList{"cover-open set"});
        // The power switch asks for no state: it switches the printer off and on.
        int cycled = 0;
        connect(&window, &vp::RollWindow::powerCycleRequested, [&] { ++cycled; });
        action(window, QStringLiteral("Switch off and on"))->trigger();
        QCOMPARE(cycled, 1);
        QCOMPARE(asked.size(), 1);
    }

    // Older receipts go, with their events, once the pictures pass the budget; the window says
    // so, and numbering goes on.
    void keepsTheNewestReceiptsWithinItsBudget() {
        vp::RollWindow window(vp::Paper::millimetres58(), QStringLiteral("x"), 3 << 20);
        const vp::Receipt receipt = blankReceipt(20);  // 464 x 600 dots
        for (int i = 0; i < 5; ++i) {
            window.addEvent(QStringLiteral("before %1").arg(i + 1));
            window.addReceipt(receipt);
        }
        QVERIFY(window.receiptCount() >= 1 && window.receiptCount() < 5);
        QCOMPARE(window.droppedCount() + window.receiptCount(), 5);
        const int first = window.droppedCount() + 1;
        QStringList expected{QStringLiteral("Receipts up to %1 are no longer shown: the window "
                                            "keeps the newest 3 MB of pictures")
                                 .arg(first - 1)};
        for (int i = first; i <= 5; ++i) {
            if (i > first) expected << QStringLiteral("before %1").arg(i);
            expected << QStringLiteral("Receipt %1").arg(i);
        }
        QCOMPARE(texts(window.eventList()), expected);
        QCOMPARE(window.rollPicture().height(), window.receiptCount() * 600);
        QCOMPARE(window.rollArea()->widget()->findChildren<QLabel*>().size(),
                 window.receiptCount() + 1);  // and the receipt printing now
    }

    // English unless the user's language has a translation: Chinese has, with Qt's own texts.
    void speaksTheUsersLanguage() {
        const QStringList folders{QStringLiteral(TRANSLATIONS_DIR)};
        QVERIFY(!vp::installTranslations(*qApp, QLocale(QStringLiteral("en_US")), folders));
        vp::RollWindow english(vp::Paper::millimetres80(), QStringLiteral("x"));
        QVERIFY(action(english, QStringLiteral("Clear")) != nullptr);

        QVERIFY(vp::installTranslations(*qApp, QLocale(QStringLiteral("zh_CN")), folders));
        vp::RollWindow chinese(vp::Paper::millimetres80(), QStringLiteral("/dev/pts/9"));
        QCOMPARE(chinese.windowTitle(), QStringLiteral("虚拟打印机 — /dev/pts/9"));
        for (const char* text : {"清空", "另存为 PNG…", "上盖打开", "纸将尽", "缺纸", "钱箱打开"})
            QVERIFY2(action(chinese, QString::fromUtf8(text)) != nullptr, text);
        chinese.addReceipt(blankReceipt(1));
        QCOMPARE(texts(chinese.eventList()), QStringList{QStringLiteral("第 1 张小票")});
        // Qt's own, from qt6-translations-l10n: the buttons of its dialogs.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
