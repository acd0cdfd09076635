#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "link_launcher.h"

class LinkLauncherTest : public QObject {
    Q_OBJECT

private slots:
    // The desktop opener judges a link by how the desktop's handler ends, not by whether it
    // started: xdg-open starts fine and then finds nothing for the chat scheme.
    void desktopOpenerReportsAHandlerThatFails() {
        QTemporaryDir bin;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ":" + path);
        for (const int exitCode : {4, 0}) {
            QFile script(bin.filePath("xdg-open"));
            QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
            script.write("#!/bin/sh\nexit " + QByteArray::number(exitCode) + "\n");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            int refusals = 0;
            LinkLauncher::desktopOpener()(QUrl("tencent://message/?uin=1"), [&] { ++refusals; });
            if (exitCode != 0) {
                QTRY_COMPARE(refusals, 1);
            } else {
                QTest::qWait(500);
                QCOMPARE(refusals, 0);
            }
        }
        qputenv("PATH", path);
    }
};

QTEST_MAIN(LinkLauncherTest)
#include "link_launcher_test.moc"
