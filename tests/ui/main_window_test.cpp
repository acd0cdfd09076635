#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "contact_data.h"
#include "controls.h"
#include "fonts.h"
#include "frm_login.h"
#include "support.h"

namespace {

// Layout lengths are written as the window's table gives them, in twips.
QRect tw(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QString shownText(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(widget)) return frame->title();
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    return {};
}

// Transparent where the control lets its container show through.
QColor backgroundOf(const QWidget* widget) {
    if (auto* button = qobject_cast<const PictureButton*>(widget)) return button->faceColour();
    if (qobject_cast<const QComboBox*>(widget) || qobject_cast<const QLineEdit*>(widget))
        return widget->palette().color(QPalette::Base);
    if (!widget->autoFillBackground()) return Qt::transparent;
    return widget->palette().color(QPalette::Window);
}

QColor foregroundOf(const QWidget* widget) {
    if (qobject_cast<const QPushButton*>(widget))
        return widget->palette().color(QPalette::ButtonText);
    if (qobject_cast<const QComboBox*>(widget) || qobject_cast<const QLineEdit*>(widget))
        return widget->palette().color(QPalette::Text);
    return widget->palette().color(QPalette::WindowText);
}

const QStringList kWindowedBackToFront = {
    "cmdexit",  "TxtQty",  "Frame3", "Frame2",   "Frame2",    "Picture2",  "Frame1",  "Picture1",
    "Command2", "barcode", "Combo1", "Command9", "Command10", "Command11", "Command1"};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpFonts(); }

    void init() {
        window_ = std::make_unique<FrmLogin>([](const QUrl&) { return true; });
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    void cleanup() { window_.reset(); }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("foreground");
        QTest::addColumn<QString>("face");  // empty: the desktop's dialog font
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");

        const QColor lilac(192, 192, 255), blue(128, 128, 255), green(192, 255, 192);
        const QColor text = QApplication::palette().color(QPalette::WindowText);
        const QColor highlightText = QApplication::palette().color(QPalette::HighlightedText);
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        const QColor buttonText = QApplication::palette().color(QPalette::ButtonText);
        const QColor none = Qt::transparent;
        const QString song = "宋体", kai = "楷体_GB2312";

        auto row = [](const char* tag) -> QTestData& { return QTest::newRow(tag); };
        row("Label1") << "Label1" << -1 << "FrmLogin" << tw(120, 120, 6660, 495)
                      << "溪禾云岫信息技术有限公司" << blue << QColor(Qt::white) << kai << 26.25
                      << true;
        row("Label5") << "Label5" << -1 << "FrmLogin" << tw(4440, 840, 2055, 255) << "服务创造价值!"
                      << lilac << QColor(255, 0, 0) << kai << 14.25 << false;
        row("Label2") << "Label2" << -1 << "FrmLogin" << tw(360, 1080, 1215, 255) << "主要经营"
                      << lilac << QColor(255, 128, 0) << song << 14.25 << true;
        row("Frame2(0)") << "Frame2" << 0 << "FrmLogin" << tw(360, 1560, 3855, 975)
                         << "自动识别技术" << lilac << QColor(0, 0, 255) << song << 10.5 << false;
        row("Label6(0)") << "Label6" << 0 << "Frame2" << tw(120, 360, 3600, 255)
                         << "条码扫描器、条码打印机与软件、无线网络终" << lilac << text << "" << 0.0
                         << false;
        row("Label6(1)") << "Label6" << 1 << "Frame2" << tw(120, 600, 3495, 255)
                         << "端、RFID终端等各种自动识别设备。" << lilac << text << "" << 0.0
                         << false;
        row("Frame2(1)") << "Frame2" << 1 << "FrmLogin" << tw(360, 2880, 3855, 975)
                         << "商业管理软件" << lilac << QColor(0, 0, 255) << song << 10.5 << false;
        row("Label6(2)") << "Label6" << 2 << "Frame2" << tw(120, 360, 3600, 255)
                         << "POS系统及商业管理系统 零售业、工业、图书" << lilac << text << "" << 0.0
                         << false;
        row("Label6(3)") << "Label6" << 3 << "Frame2" << tw(120, 600, 3615, 255)
                         << "医药、物流、服装、批发、餐饮娱乐等。" << lilac << text << "" << 0.0
                         << false;
        row("barcode") << "barcode" << -1 << "FrmLogin" << tw(5280, 3000, 960, 255) << "打条码"
                       << green << text << "" << 0.0 << false;
        row("Label4") << "Label4" << -1 << "FrmLogin" << tw(4680, 3240, 675, 210) << "端口："
                      << none << highlightText << song << 10.5 << true;
        row("Combo1") << "Combo1" << -1 << "FrmLogin" << tw(5280, 3240, 1125, 300) << "选择端口"
                      << blue << QColor(Qt::black) << song << 9.0 << true;
        row("Label3") << "Label3" << -1 << "FrmLogin" << tw(4680, 3600, 675, 210) << "重复："
                      << none << highlightText << song << 10.5 << true;
        row("TxtQty") << "TxtQty" << -1 << "FrmLogin" << tw(5280, 3600, 555, 255) << "1"
                      << QColor(255, 255, 192) << QColor(Qt::black) << song << 10.5 << true;
        row("cmdexit") << "cmdexit" << -1 << "FrmLogin" << tw(5880, 3600, 525, 285) << "切纸"
                       << buttonFace << buttonText << song << 9.0 << true;
        row("Command9") << "Command9" << -1 << "FrmLogin" << tw(4560, 3960, 1155, 405) << ""
                        << buttonFace << buttonText << "" << 0.0 << false;
        row("Command2") << "Command2" << -1 << "FrmLogin" << tw(5760, 3960, 915, 405) << ""
                        << buttonFace << buttonText << "" << 0.0 << false;
        row("Frame3") << "Frame3" << -1 << "FrmLogin" << tw(360, 4200, 3135, 975) << "联系我们"
                      << lilac << QColor(0, 0, 255) << song << 10.5 << false;
        row("Label6(4)") << "Label6" << 4 << "Frame3" << tw(120, 240, 3000, 255)
                         << "公司电话：" + fromContact(contact::companyPhones) << lilac << text
                         << "" << 0.0 << false;
        row("Label6(5)") << "Label6" << 5 << "Frame3" << tw(120, 480, 2775, 255)
                         << "公司传真：" + fromContact(contact::fax) << lilac << text << "" << 0.0
                         << false;
        row("Label6(6)") << "Label6" << 6 << "Frame3" << tw(120, 720, 2700, 240)
                         << "客户邮箱：" + fromContact(contact::companyEmail) << lilac << text << ""
                         << 0.0 << false;
        row("Command10") << "Command10" << -1 << "FrmLogin" << tw(4560, 4440, 1095, 405) << ""
                         << buttonFace << buttonText << "" << 0.0 << false;
        row("Command1") << "Command1" << -1 << "FrmLogin" << tw(5760, 4440, 915, 405) << ""
                        << buttonFace << buttonText << "" << 0.0 << false;
        row("Command11") << "Command11" << -1 << "FrmLogin" << tw(5400, 5400, 1695, 375)
                         << "点击进入个人博客" << QColor(0, 128, 0) << buttonText << "新宋体" << 9.0
                         << true;
        row("Frame1(0)") << "Frame1" << 0 << "FrmLogin" << tw(3600, 6000, 2880, 255)
                         << "\n" + fromContact(contact::allRightsReserved) << QColor(0, 64, 0)
                         << highlightText << song << 10.5 << false;
    }

    void controls() {
        QFETCH(QString, name);
        QFETCH(int, index);
        QWidget* widget = control(window_.get(), name, index);
        QVERIFY(widget);
        QTEST(widget->parentWidget()->objectName(), "container");
        QTEST(widget->geometry(), "rect");
        QTEST(shownText(widget), "text");
        QTEST(backgroundOf(widget), "background");
        QTEST(foregroundOf(widget), "foreground");

        QFETCH(QString, face);
        const QFont font = widget->font();
        if (face.isEmpty()) {
            QCOMPARE(font.family(), QApplication::font().family());
            QCOMPARE(font.pointSizeF(), QApplication::font().pointSizeF());
            QCOMPARE(font.bold(), QApplication::font().bold());
        } else {
            QCOMPARE(font.family(), face);
            QTEST(font.pointSizeF(), "points");
            QTEST(font.bold(), "bold");
        }
    }

    void pictureControls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Picture2") << "Picture2" << tw(5520, 1320, 735, 975);
        QTest::newRow("Image4 takes its picture's size") << "Image4" << tw(5280, 2400, 1140, 390);
        QTest::newRow("Picture1 starts off the left edge")
            << "Picture1" << tw(-360, 5400, 8295, 855);
    }

    void pictureControls() {
        QFETCH(QString, name);
        QWidget* widget = control(window_.get(), name);
        QVERIFY(widget);
        QTEST(widget->geometry(), "rect");
    }

    void homeFacesAreMappedOntoInstalledOnes_data() {
        QTest::addColumn<QString>("face");
        QTest::addColumn<QStringList>("installed");
        const QStringList song = {"Noto Serif CJK SC", "AR PL UMing CN", "AR PL UMing TW"};
        QTest::newRow("宋体") << "宋体" << song;
        QTest::newRow("新宋体") << "新宋体" << song;
        QTest::newRow("楷体_GB2312")
            << "楷体_GB2312" << QStringList{"AR PL UKai CN", "AR PL UKai TW"};
    }

    void homeFacesAreMappedOntoInstalledOnes() {
        QFETCH(QString, face);
        QFETCH(QStringList, installed);
        const QString shown = QFontInfo(faceFont(face, 10.5, false)).family();
        QVERIFY2(installed.contains(shown), qPrintable(face + " is drawn with " + shown));
    }

    void windowFrameAndPlace() {
        QCOMPARE(window_->windowTitle(), QString("澄星--柯岚"));
        QCOMPARE(window_->geometry(), tw(4290, 2880, 6885, 6225));
        QCOMPARE(window_->minimumSize(), window_->maximumSize());
        const Qt::WindowFlags flags = window_->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!window_->windowIcon().isNull());
    }

    void initialValues() {
        auto* combo = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"));
        QVERIFY(combo->isEditable());
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i) {
            entries << combo->itemText(i);
            QCOMPARE(combo->itemData(i), QVariant(0));
        }
        QCOMPARE(entries, (QStringList{"选择端口", "LPT1", "LPT2", "COM1", "COM2"}));
        QVERIFY(!qobject_cast<QCheckBox*>(control(window_.get(), "barcode"))->isChecked());
        QCOMPARE(control(window_.get(), "TxtQty")->toolTip(), QString("重复测试次数..."));
    }

    // Windowed controls overlap in the listed order; static texts and the badge lie beneath them.
    void stackingOrder() {
        QStringList windowed;
        bool windowedSeen = false;
        for (QObject* child : window_->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget == nullptr || widget->isWindow()) continue;
            const bool surface = qobject_cast<QLabel*>(widget) || widget->objectName() == "Image4";
            if (surface) {
                QVERIFY2(!windowedSeen, qPrintable(widget->objectName() + " stacks too high"));
            } else {
                windowedSeen = true;
                windowed << widget->objectName();
            }
        }
        QCOMPARE(windowed, kWindowedBackToFront);
        QCOMPARE(window_->childAt(window_->mapFromGlobal(
                     control(window_.get(), "Frame1", 0)->mapToGlobal(QPoint(10, 10)))),
                 control(window_.get(), "Picture1"));
    }

    void focusOpensOnCmdexitAndTabFollowsTheKeyboardOrder() {
        QCOMPARE(QApplication::focusWidget(), control(window_.get(), "cmdexit"));
        const QStringList expected = {"Command1", "Command11", "Command10", "Command9",
                                      "Combo1",   "barcode",   "TxtQty",    "Command2",
                                      "Picture1", "Picture2",  "cmdexit"};
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            // The port selector's edit field stands for the selector.
            if (qobject_cast<QComboBox*>(focus->parentWidget())) focus = focus->parentWidget();
            visited << focus->objectName();
        }
        QCOMPARE(visited, expected);
    }

    void noDefaultButton() {
        for (QPushButton* button : window_->findChildren<QPushButton*>()) {
            QVERIFY2(!button->isDefault() && !button->autoDefault(),
                     qPrintable(button->objectName()));
            QVERIFY2(!button->text().contains('&'), qPrintable(button->objectName()));
        }
    }

    void pointers_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Qt::CursorShape>("shape");
        QTest::addColumn<QPoint>("hotSpot");  // checked for the shared hand only
        const QPoint fingertip(6, 0), any(-1, -1);
        for (const char* hand : {"cmdexit", "Command9", "Command10", "Command1", "Picture1"})
            QTest::newRow(hand) << hand << Qt::BitmapCursor << fingertip;
        for (const char* icon : {"Picture2", "Image4", "Command2"})
            QTest::newRow(icon) << icon << Qt::BitmapCursor << any;
        for (const char* arrow : {"Command11", "Combo1", "barcode", "Label1", "Frame3"})
            QTest::newRow(arrow) << arrow << Qt::ArrowCursor << any;
        // A text box keeps the desktop's usual pointer for text.
        QTest::newRow("TxtQty") << "TxtQty" << Qt::IBeamCursor << any;
    }

    void pointers() {
        QFETCH(QString, name);
        QFETCH(QPoint, hotSpot);
        const QCursor cursor = control(window_.get(), name)->cursor();
        QTEST(cursor.shape(), "shape");
        if (cursor.shape() == Qt::BitmapCursor) QVERIFY(!cursor.pixmap().isNull());
        if (hotSpot != QPoint(-1, -1)) QCOMPARE(cursor.hotSpot(), hotSpot);
    }

    // What the window shows where the pictures meet the controls.
    void pixels_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("picture");  // empty: the colour below
        QTest::addColumn<QPoint>("pictureAt");
        QTest::addColumn<QColor>("colour");
        const QString background = ":/assets/background.jpg", banner = ":/assets/banner.jpg";
        QTest::newRow("background from the top-left")
            << QPoint(4, 4) << background << QPoint(4, 4) << QColor();
        QTest::newRow("background cut off at the right")
            << QPoint(458, 200) << background << QPoint(458, 200) << QColor();
        // The banner box starts 24 pixels left of the window and has a 2-pixel edge.
        QTest::newRow("banner hides Frame1")
            << QPoint(300, 405) << banner << QPoint(322, 43) << QColor();
        QTest::newRow("portrait from the box's top-left")
            << QPoint(370, 90) << ":/assets/portrait.jpg" << QPoint(0, 0) << QColor();
        QTest::newRow("Command11 above the banner")
            << QPoint(440, 381) << "" << QPoint() << QColor(0, 128, 0);
        QTest::newRow("Label1 background")
            << QPoint(450, 12) << "" << QPoint() << QColor(128, 128, 255);
    }

    void pixels() {
        QFETCH(QPoint, at);
        QFETCH(QString, picture);
        QFETCH(QPoint, pictureAt);
        QFETCH(QColor, colour);
        const QImage shown = window_->grab().toImage();
        const QColor expected = picture.isEmpty() ? colour : QImage(picture).pixelColor(pictureAt);
        QCOMPARE(shown.pixelColor(at), expected);
    }

    void frame1IsNowhereToBeSeen() {
        const QImage shown = window_->grab().toImage();
        const QRect frame1 = control(window_.get(), "Frame1", 0)->geometry() & window_->rect();
        for (int y = frame1.top(); y <= frame1.bottom(); ++y)
            for (int x = frame1.left(); x <= frame1.right(); ++x)
                QVERIFY2(shown.pixelColor(x, y) != QColor(0, 64, 0),
                         qPrintable(QString("at %1, %2").arg(x).arg(y)));
    }

private:
    std::unique_ptr<FrmLogin> window_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
