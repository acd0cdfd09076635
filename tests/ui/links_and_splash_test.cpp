#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "contact_data.h"
#include "frm_login.h"
#include "frm_splash.h"
#include "support.h"

namespace {

QList<FrmLogin*> mainWindows() {
    QList<FrmLogin*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<FrmLogin*>(window)) found << main;
    return found;
}

}  // namespace

class LinksAndSplashTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpFonts(); }

    void cleanup() { qDeleteAll(mainWindows()); }

    void links_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<QString>("target");
        const QString personal = fromContact(contact::personalPage);
        const QString site = "http://" + fromContact(contact::companySite);
        const QString chat = "tencent://message/?uin=" + fromContact(contact::technicianQq) +
                             "&Site=" + fromContact(contact::chatSite) + "&Menu=yes";
        QTest::newRow("Command11") << "Command11" << false << personal;
        QTest::newRow("Command11 by space") << "Command11" << true << personal;
        QTest::newRow("Picture2") << "Picture2" << false << personal;
        QTest::newRow("Picture1") << "Picture1" << false << site;
        QTest::newRow("Image4") << "Image4" << false << chat;
    }

    void links() {
        QFETCH(QString, name);
        QFETCH(bool, byKeyboard);
        QList<QUrl> opened;
        FrmLogin window([&](const QUrl& url) {
            opened << url;
            return true;
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* link = control(&window, name);
        if (byKeyboard) {
            link->setFocus();
            QTest::keyClick(link, Qt::Key_Space);
        } else {
            // Command11 is cut off at the window's edge; click where it can be seen.
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(20, link->height() / 2));
        }
        QCOMPARE(opened.size(), 1);
        QTEST(opened.first().toString(), "target");
    }

    void nothingElseIsALink() {
        int opened = 0;
        FrmLogin window([&](const QUrl&) { return ++opened, true; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (const char* name : {"Label1", "Label5", "Label2", "Frame3", "Label4", "TxtQty"})
            QTest::mouseClick(control(&window, name), Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mouseClick(control(&window, "Label6", 0), Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(100, 350));
        QCOMPARE(opened, 0);
    }

    void refusedLinkIsReportedAndTheWindowCarriesOn() {
        int tries = 0;
        FrmLogin window([&](const QUrl&) { return ++tries, false; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        BoxAnswerer boxes;
        QTest::mouseClick(control(&window, "Image4"), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().icon, QMessageBox::Information);
        QVERIFY(boxes.seen.first().text.contains("tencent://message/"));
        QCOMPARE(boxes.seen.first().buttons, 1);
        QVERIFY(window.isVisible());
        QTest::mouseClick(control(&window, "Picture2"), Qt::LeftButton);
        QCOMPARE(tries, 2);
    }

    void splashLook() {
        auto* splash = new FrmSplash;
        splash->show();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        QVERIFY(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(splash->geometry(), QRect(4620 / 15, 4260 / 15, 393, 174));
        QCOMPARE(splash->windowTitle(), QString("登录中"));
        auto* label = splash->findChild<QLabel*>("Label1");
        QCOMPARE(label->geometry(), QRect(1680 / 15, 2400 / 15, 240 / 15, 435 / 15));
        QVERIFY(label->text().isEmpty());
        const QImage shown = splash->grab().toImage();
        const QImage picture(":/assets/splash.jpg");
        QCOMPARE(shown.pixelColor(0, 0), picture.pixelColor(0, 0));
        QCOMPARE(shown.pixelColor(392, 172), picture.pixelColor(392, 172));
        splash->close();
    }

    // Ticks one to four count; the fifth opens the main window once and closes the splash.
    void splashHandsOverOnTheFifthTick() {
        QPointer<FrmSplash> splash = new FrmSplash;
        auto* timer = splash->findChild<QTimer*>("Timer1");
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 200);
        struct Tick {
            qint16 counter;
            int mainWindows;
            bool splashVisible;
        };
        QList<Tick> ticks;
        // Connected after the splash's own handler, so it sees each tick's outcome.
        connect(timer, &QTimer::timeout, this, [&] {
            ticks << Tick{splash->tickCount(), static_cast<int>(mainWindows().size()),
                          splash->isVisible()};
        });
        QElapsedTimer clock;
        clock.start();
        splash->show();
        QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), 5, 3000);
        const qint64 handOver = clock.elapsed();
        QTest::qWait(600);

        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ticks[i].counter, qint16(i + 1));
            QCOMPARE(ticks[i].mainWindows, 0);
            QVERIFY(ticks[i].splashVisible);
        }
        QCOMPARE(ticks[4].mainWindows, 1);
        QVERIFY(!ticks[4].splashVisible);
        QVERIFY(handOver >= 900);
        QCOMPARE(ticks.size(), 5);
        QVERIFY(splash.isNull());
        QCOMPARE(mainWindows().size(), 1);
        QVERIFY(mainWindows().first()->isVisible());
        QVERIFY(mainWindows().first()->parentWidget() == nullptr);
    }

    void splashClosedEarlyNeverOpensTheMainWindow() {
        QPointer<FrmSplash> splash = new FrmSplash;
        splash->show();
        QTest::qWait(500);
        QCOMPARE(splash->tickCount(), qint16(2));
        splash->close();
        QTest::qWait(1200);
        QVERIFY(splash.isNull());
        QVERIFY(mainWindows().isEmpty());
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }
};

QTEST_MAIN(LinksAndSplashTest)
#include "links_and_splash_test.moc"
