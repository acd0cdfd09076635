#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "application.h"
#include "frm_splash.h"

class FrmSplashTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(*qApp); }

    // Ticks one to four count; the fifth hands over once and closes the splash.
    void handsOverOnTheFifthTick() {
        int handOvers = 0;
        bool visibleAtHandOver = false;
        QPointer<FrmSplash> splash = new FrmSplash([&] {
            ++handOvers;
            visibleAtHandOver = splash->isVisible();
        });
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash->geometry(), QRect(4620 / 15, 4260 / 15, 393, 174));
        auto* timer = splash->findChild<QTimer*>("Timer1");
        QCOMPARE(timer->interval(), 200);
        struct Tick {
            qint16 counter;
            int handOvers;
            bool splashVisible;
        };
        QList<Tick> ticks;
        // Connected after the splash's own handler, so it sees each tick's outcome.
        connect(timer, &QTimer::timeout, this, [&] {
            ticks << Tick{splash->tickCount(), handOvers, splash->isVisible()};
        });
        splash->show();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        const QImage picture(":/assets/splash.jpg");
        QCOMPARE(splash->grab().toImage().pixelColor(392, 172), picture.pixelColor(392, 172));

        QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), 5, 3000);
        QTest::qWait(500);
        QCOMPARE(ticks.size(), 5);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ticks[i].counter, qint16(i + 1));
            QCOMPARE(ticks[i].handOvers, 0);
            QVERIFY(ticks[i].splashVisible);
        }
        QCOMPARE(ticks[4].handOvers, 1);
        QVERIFY(visibleAtHandOver);
        QVERIFY(!ticks[4].splashVisible);
        QVERIFY(splash.isNull());
    }

    void closedEarlyNeverHandsOver() {
        int handOvers = 0;
        QPointer<FrmSplash> splash = new FrmSplash([&] { ++handOvers; });
        splash->show();
        QTest::qWait(500);
        QCOMPARE(splash->tickCount(), qint16(2));
        splash->close();
        QTest::qWait(1200);
        QVERIFY(splash.isNull());
        QCOMPARE(handOvers, 0);
    }
};

QTEST_MAIN(FrmSplashTest)
#include "frm_splash_test.moc"
