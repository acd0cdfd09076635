#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "printer_session.h"
#include "roll_window.h"
#include "sample_streams.h"
#include "temp_files.h"

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
    for (QAction* candidate : window.findChild<QToolBar*>()->actions())
        if (candidate->text() == text) return candidate;
    return nullptr;
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
    }

    void savesAndClearsTheRoll() {
        vp::RollWindow window(vp::Paper::millimetres58(), QStringLiteral("127.0.0.1:9100"));
        window.resize(600, 300);
        window.show();
        vp::Receipt receipt;
        for (int i = 0; i < 20; ++i) receipt.items.push_back(vp::PrintedLine{{}, 0, 30, {}});
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
        clear->trigger();
        QCOMPARE(window.receiptCount(), 0);
        QCOMPARE(window.eventList()->count(), 0);
        window.addReceipt(receipt);
        QCOMPARE(texts(window.eventList()), QStringList{"Receipt 1"});
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
