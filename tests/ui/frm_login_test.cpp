#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "answering_printer.h"
#include "application.h"
#include "contact_data.h"
#include "controls.h"
#include "diagnostic_pages.h"
#include "fonts.h"
#include "frm_login.h"
#include "gbk.h"
#include "port_error.h"
#include "receipts.h"
#include "stalled_printer.h"
#include "utf8_text.h"

using namespace std::chrono_literals;

namespace {

// A control of the window by name; control arrays share a name and differ by index.
QWidget* control(const QWidget* window, const QString& name, int index = -1) {
    for (QWidget* widget : window->findChildren<QWidget*>(name))
        if (widget->property("index") == (index < 0 ? QVariant() : QVariant(index))) return widget;
    return nullptr;
}

// Answers every message box that comes up while it lives, as a user would: reads it and presses
// its first button.
class BoxAnswerer : public QObject {
public:
    struct Seen {
        QMessageBox::Icon icon;
        QString title, text;
        QStringList buttons;
        bool modal;
    };
    QList<Seen> seen;

    // `beforeAnswering` runs when a box has come up, before it is answered.
    explicit BoxAnswerer(std::function<void()> beforeAnswering = {}) {
        poll_.callOnTimeout(this, [this, beforeAnswering] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            QStringList buttons;
            for (const QAbstractButton* button : box->buttons()) buttons << button->text();
            seen.append({box->icon(), box->windowTitle(), box->text(), buttons, box->isModal()});
            if (beforeAnswering) beforeAnswering();
            box->buttons().value(0)->click();
        });
        poll_.start(10);
    }

private:
    QTimer poll_;
};

// Calls back at every paint of a widget.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* widget, std::function<void()> painted) : painted_(std::move(painted)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted_();
        return false;
    }

private:
    std::function<void()> painted_;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text block a receipt ends with, as it reaches the printer.
QByteArray bodyOf(const ReceiptVariant& variant) {
    QByteArray body;
    for (const std::u8string& line : variant.body)
        body += QByteArray::fromStdString(toGbk(line)) + "\r\n";
    return body;
}

// A page's heading with its time of printing put out of the comparison.
constexpr std::string_view maskedTime = "0000-00-00 00:00:00";
QByteArray timeMasked(QByteArray stream) {
    static const QRegularExpression time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
    return QString::fromLatin1(stream)
        .replace(time, QString::fromLatin1(maskedTime.data()))
        .toLatin1();
}

const QByteArray kCut = QByteArray::fromHex("1b690a");
const QByteArray kPulse = QByteArray::fromHex("1b700080800a");
const QByteArray kBarcode = QByteArray::fromHex("1d68320a1d6b49057b423132330a");

// One control as the window lays it out; lengths in twips, 15 to the pixel.
struct Row {
    const char* name;
    int index;
    const char* container;
    QRect twips;
    QString text;
    QColor back, fore;  // back transparent: the container shows through
    QString face;       // empty: the desktop's dialog font
    qreal points;
    bool bold;
};

QList<Row> table() {
    const QColor lilac(192, 192, 255), blue(128, 128, 255), ink = QColor(0, 0, 255);
    const QPalette desk = QApplication::palette();
    const QColor text = desk.color(QPalette::WindowText),
                 hiText = desk.color(QPalette::HighlightedText);
    const QColor face = desk.color(QPalette::Button), faceText = desk.color(QPalette::ButtonText);
    const QString song = "宋体", kai = "楷体_GB2312", dialog;
    const char* frm = "FrmLogin";
    // clang-format off
    return {
        {"Label1", -1, frm, {120, 120, 6660, 495}, "溪禾云岫信息技术有限公司", blue, Qt::white, kai, 26.25, true},
        {"Label5", -1, frm, {4440, 840, 2055, 255}, "服务创造价值!", lilac, Qt::red, kai, 14.25, false},
        {"Label2", -1, frm, {360, 1080, 1215, 255}, "主要经营", lilac, {255, 128, 0}, song, 14.25, true},
        {"Frame2", 0, frm, {360, 1560, 3855, 975}, "自动识别技术", lilac, ink, song, 10.5, false},
        {"Label6", 0, "Frame2", {120, 360, 3600, 255}, "条码扫描器、条码打印机与软件、无线网络终", lilac, text, dialog, 0, false},
        {"Label6", 1, "Frame2", {120, 600, 3495, 255}, "端、RFID终端等各种自动识别设备。", lilac, text, dialog, 0, false},
        {"Frame2", 1, frm, {360, 2880, 3855, 975}, "商业管理软件", lilac, ink, song, 10.5, false},
        {"Label6", 2, "Frame2", {120, 360, 3600, 255}, "POS系统及商业管理系统 零售业、工业、图书", lilac, text, dialog, 0, false},
        {"Label6", 3, "Frame2", {120, 600, 3615, 255}, "医药、物流、服装、批发、餐饮娱乐等。", lilac, text, dialog, 0, false},
        {"barcode", -1, frm, {5280, 3000, 960, 255}, "打条码", {192, 255, 192}, text, dialog, 0, false},
        {"Label4", -1, frm, {4680, 3240, 675, 210}, "端口：", Qt::transparent, hiText, song, 10.5, true},
        {"Combo1", -1, frm, {5280, 3240, 1125, 300}, "选择端口", blue, Qt::black, song, 9, true},
        {"Label3", -1, frm, {4680, 3600, 675, 210}, "重复：", Qt::transparent, hiText, song, 10.5, true},
        {"TxtQty", -1, frm, {5280, 3600, 555, 255}, "1", {255, 255, 192}, Qt::black, song, 10.5, true},
        {"cmdexit", -1, frm, {5880, 3600, 525, 285}, "切纸", face, faceText, song, 9, true},
        {"Command9", -1, frm, {4560, 3960, 1155, 405}, "", face, faceText, dialog, 0, false},
        {"Command2", -1, frm, {5760, 3960, 915, 405}, "", face, faceText, dialog, 0, false},
        {"Frame3", -1, frm, {360, 4200, 3135, 975}, "联系我们", lilac, ink, song, 10.5, false},
        {"Label6", 4, "Frame3", {120, 240, 3000, 255}, "公司电话：" + qtText(contact::companyPhones), lilac, text, dialog, 0, false},
        {"Label6", 5, "Frame3", {120, 480, 2775, 255}, "公司传真：" + qtText(contact::fax), lilac, text, dialog, 0, false},
        {"Label6", 6, "Frame3", {120, 720, 2700, 240}, "客户邮箱：" + qtText(contact::companyEmail), lilac, text, dialog, 0, false},
        {"Command10", -1, frm, {4560, 4440, 1095, 405}, "", face, faceText, dialog, 0, false},
        {"Command1", -1, frm, {5760, 4440, 915, 405}, "", face, faceText, dialog, 0, false},
        {"CommandStatus", -1, frm, {4560, 4905, 915, 405}, "", face, faceText, dialog, 0, false},
        {"CommandDiagnose", -1, frm, {5760, 4905, 915, 405}, "", face, faceText, dialog, 0, false},
        {"Command11", -1, frm, {5400, 5400, 1695, 375}, "点击进入个人博客", {0, 128, 0}, faceText, "新宋体", 9, true},
        {"Frame1", 0, frm, {3600, 6000, 2880, 255}, "\n" + qtText(contact::allRightsReserved), {0, 64, 0}, hiText, song, 10.5, false},
        {"Picture2", -1, frm, {5520, 1320, 735, 975}, "", QColor(), QColor(), dialog, 0, false},
        {"Image4", -1, frm, {5280, 2400, 1140, 390}, "", QColor(), QColor(), dialog, 0, false},
        {"Picture1", -1, frm, {-360, 5400, 8295, 855}, "", QColor(), QColor(), dialog, 0, false},
    };
    // clang-format on
}

QString shownText(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(w)) return frame->title();
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    return {};
}

QPair<QColor, QColor> coloursOf(const QWidget* w) {
    const QPalette p = w->palette();
    if (auto* button = qobject_cast<const PictureButton*>(w))
        return {button->faceColour(), p.color(QPalette::ButtonText)};
    if (qobject_cast<const QComboBox*>(w) || qobject_cast<const QLineEdit*>(w))
        return {p.color(QPalette::Base), p.color(QPalette::Text)};
    return {w->autoFillBackground() ? p.color(QPalette::Window) : QColor(Qt::transparent),
            p.color(QPalette::WindowText)};
}

}  // namespace

class FrmLoginTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(*qApp); }

    void init() {
        opened_.clear();
        handled_ = true;
        found_.clear();
        openWindow({});
        // Jobs never create the port, as it would be a device; a plain file stands in for it.
        port_ = dir_.filePath("printer");
        QFile file(port_);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }
    void cleanup() { window_.reset(); }

    void controls_data() {
        QTest::addColumn<int>("row");
        const QList<Row> rows = table();
        for (int i = 0; i < rows.size(); ++i)
            QTest::addRow("%s(%d)", rows[i].name, rows[i].index) << i;
    }

    void controls() {
        QFETCH(int, row);
        const Row r = table()[row];
        QWidget* w = control(window_.get(), r.name, r.index);
        QVERIFY(w);
        QCOMPARE(w->parentWidget()->objectName(), QString(r.container));
        const QRect t = r.twips;
        QCOMPARE(w->geometry(), QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
        if (!r.back.isValid()) return;  // picture controls: geometry only
        QCOMPARE(shownText(w), r.text);
        QCOMPARE(coloursOf(w), qMakePair(r.back, r.fore));
        const QFont expected =
            r.face.isEmpty() ? QApplication::font() : faceFont(r.face, r.points, r.bold);
        QCOMPARE(w->font().family(), expected.family());
        QCOMPARE(w->font().pointSizeF(), expected.pointSizeF());
        QCOMPARE(w->font().bold(), expected.bold());
    }

    void windowAndInitialState() {
        QCOMPARE(window_->geometry(), QRect(4290 / 15, 2880 / 15, 459, 415));
        QCOMPARE(window_->minimumSize(), window_->maximumSize());
        const Qt::WindowFlags flags = window_->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        auto* combo = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"));
        QVERIFY(combo->isEditable());
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i) {
            entries << combo->itemText(i);
            QCOMPARE(combo->itemData(i), QVariant(0));
        }
        QCOMPARE(entries, (QStringList{"选择端口", "LPT1", "LPT2", "COM1", "COM2"}));
        for (QPushButton* button : window_->findChildren<QPushButton*>())
            QVERIFY2(!button->isDefault() && !button->autoDefault(),
                     qPrintable(button->objectName()));
        // Qt ignores the hot spot stored in the cursor file.
        QCOMPARE(control(window_.get(), "cmdexit")->cursor().hotSpot(), QPoint(6, 0));
        QCOMPARE(control(window_.get(), "CommandDiagnose")->cursor().hotSpot(), QPoint(6, 0));
    }

    // Windowed controls overlap in the listed order; static texts and the badge lie beneath.
    void stackingOrder() {
        QStringList windowed;
        for (QObject* child : window_->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (w == nullptr || w->isWindow()) continue;
            if (qobject_cast<QLabel*>(w) || w->objectName() == "Image4")
                QVERIFY2(windowed.isEmpty(), qPrintable(w->objectName() + " stacks too high"));
            else
                windowed << w->objectName();
        }
        QCOMPARE(windowed, (QStringList{"cmdexit", "TxtQty", "Frame3", "Frame2", "Frame2",
                                        "Picture2", "Frame1", "Picture1", "Command2", "barcode",
                                        "Combo1", "Command9", "Command10", "Command11", "Command1",
                                        "CommandStatus", "CommandDiagnose"}));
    }

    void focusOpensOnCmdexitAndTabFollowsTheKeyboardOrder() {
        QCOMPARE(QApplication::focusWidget(), control(window_.get(), "cmdexit"));
        QStringList visited;
        for (int i = 0; i < 13; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            // The selector's edit field stands for the selector.
            if (qobject_cast<QComboBox*>(focus->parentWidget())) focus = focus->parentWidget();
            visited << focus->objectName();
        }
        QCOMPARE(visited, (QStringList{"Command1", "CommandStatus", "CommandDiagnose", "Command11",
                                       "Command10", "Command9", "Combo1", "barcode", "TxtQty",
                                       "Command2", "Picture1", "Picture2", "cmdexit"}));
    }

    // What shows where pictures meet controls: pictures unscaled from the top-left inside the
    // boxes' two-pixel edge, the banner's box 24 pixels off the left edge.
    void pixels() {
        const QImage shown = window_->grab().toImage();
        const QImage background(":/assets/background.jpg"), banner(":/assets/banner.jpg");
        QCOMPARE(shown.pixelColor(4, 4), background.pixelColor(4, 4));
        QCOMPARE(shown.pixelColor(458, 200), background.pixelColor(458, 200));
        QCOMPARE(shown.pixelColor(300, 405), banner.pixelColor(322, 43));
        QCOMPARE(shown.pixelColor(370, 90), QImage(":/assets/portrait.jpg").pixelColor(0, 0));
        QCOMPARE(shown.pixelColor(440, 381), QColor(0, 128, 0));  // Command11 over the banner
        // Frame1 lies wholly behind the banner.
        const QRect frame1 = control(window_.get(), "Frame1", 0)->geometry() & window_->rect();
        for (int y = frame1.top(); y <= frame1.bottom(); ++y)
            for (int x = frame1.left(); x <= frame1.right(); ++x)
                QVERIFY2(shown.pixelColor(x, y) != QColor(0, 64, 0),
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
    }

    // Every character of every static text is drawn whole: the line as the label draws it, drawn
    // again on a canvas with room all round, inks nothing outside the label's box, and the label
    // shows exactly the part inside. Run in the C and the zh_CN locale, whose default faces differ.
    void staticTextsAreDrawnWhole() {
        QStringList cut;
        const QList<StaticText*> labels = window_->findChildren<StaticText*>();
        QCOMPARE(labels.size(), 12);
        for (StaticText* label : labels) {
            const QString which = label->objectName() + label->property("index").toString();
            const QSize box = label->size();
            const TextFit fit = fitTextInBox(label->font(), label->text(), box);
            const int room = 40;
            QImage free(box + QSize(2 * room, 2 * room), QImage::Format_RGB32);
            free.fill(Qt::white);
            QPainter painter(&free);
            painter.setFont(fit.font);
            painter.setPen(Qt::black);
            painter.drawText(QPoint(room, room + fit.baseline), label->text());
            painter.end();
            QRect ink;
            for (int y = 0; y < free.height(); ++y)
                for (int x = 0; x < free.width(); ++x)
                    if (free.pixel(x, y) != qRgb(255, 255, 255)) ink |= QRect(x, y, 1, 1);
            ink.translate(-room, -room);
            if (!QRect(QPoint(0, 0), box).contains(ink) ||
                ink.height() < QFontInfo(label->font()).pixelSize() * 6 / 10)
                cut << QString("%1: ink %2,%3 to %4,%5 in %6x%7")
                           .arg(which)
                           .arg(ink.left())
                           .arg(ink.top())
                           .arg(ink.right())
                           .arg(ink.bottom())
                           .arg(box.width())
                           .arg(box.height());

            // The label itself, in black on white, shows the same pixels.
            QImage shown(box, QImage::Format_RGB32);
            shown.fill(Qt::white);
            QPalette blackOnWhite = label->palette();
            blackOnWhite.setColor(QPalette::WindowText, Qt::black);
            blackOnWhite.setColor(QPalette::Window, Qt::white);
            const QPalette kept = label->palette();
            label->setPalette(blackOnWhite);
            label->render(&shown, QPoint(), QRegion(), QWidget::DrawChildren);
            label->setPalette(kept);
            if (shown != free.copy(QRect(QPoint(room, room), box)))
                cut << which + ": drawn otherwise than fitted";
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
    }

    // The check box stands on the form's green, not on a patch of the style's button colour: its
    // corners and most of its surface show the green. (Its last row lies under Combo1 in the
    // window, so the box is drawn on its own.)
    void barcodeIsDrawnOnTheFormGreen() {
        const QColor green(192, 255, 192);
        QWidget* barcode = control(window_.get(), "barcode");
        const QImage shown = barcode->grab().toImage();
        QHash<QRgb, int> counts;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) ++counts[shown.pixel(x, y)];
        const QRgb mostCommon = std::max_element(counts.cbegin(), counts.cend()).key();
        QCOMPARE(QColor(mostCommon), green);
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(shown.width() - 1, 0), QPoint(0, shown.height() - 1),
              QPoint(shown.width() - 1, shown.height() - 1)})
            QCOMPARE(shown.pixelColor(corner), green);
    }

    void clicksWriteTheirStreams_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");  // 0: a mouse click
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("cmdexit") << "cmdexit" << 0 << kCut;
        QTest::newRow("cmdexit space") << "cmdexit" << int(Qt::Key_Space) << kCut;
        QTest::newRow("cmdexit enter") << "cmdexit" << int(Qt::Key_Return) << kCut;
        QTest::newRow("Command1") << "Command1" << 0 << kPulse;
        QTest::newRow("Command1 space") << "Command1" << int(Qt::Key_Space) << kPulse;
        QTest::newRow("barcode") << "barcode" << 0 << kBarcode;
        QTest::newRow("barcode space") << "barcode" << int(Qt::Key_Space) << kBarcode;
        QTest::newRow("Command2 welcome") << "Command2" << 0 << bodyOf(WelcomeReceipt());
        QTest::newRow("Command9 brochure") << "Command9" << 0 << bodyOf(BrochureReceipt());
        QTest::newRow("Command10 technician") << "Command10" << 0 << bodyOf(TechnicianReceipt());
    }

    // The port name is typed by hand, so it reaches the job as typed.
    void clicksWriteTheirStreams() {
        QFETCH(QString, name);
        QFETCH(int, key);
        QFETCH(QByteArray, stream);
        QLineEdit* edit = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, port_);
        BoxAnswerer boxes;
        QWidget* target = control(window_.get(), name);
        auto press = [&] {
            if (key == 0) {
                QTest::mouseClick(target, Qt::LeftButton);
            } else {
                target->setFocus();
                QTest::keyClick(target, Qt::Key(key));
            }
        };
        press();
        const QByteArray written = readAll(port_);
        QVERIFY(stream.size() < 20 ? written == stream : written.contains(stream));
        QVERIFY(boxes.seen.isEmpty());
        // Every click flips the barcode's mark and prints the same, checked or not.
        if (auto* mark = qobject_cast<QCheckBox*>(target)) {
            QVERIFY(mark->isChecked());
            QFile(port_).resize(0);
            press();
            QVERIFY(!mark->isChecked());
            QCOMPARE(readAll(port_), stream);
        }
    }

    // After its five entries the box lists the ports found, found again at every drop-down,
    // with a USB device's names as its tooltip; the edited text stays as it is.
    void portBoxListsThePortsFound() {
        found_ = {{"/dev/usb/lp0", "Maker", "Receipt Printer"}, {"/dev/ttyUSB0", "", ""}};
        auto* box = combo();
        box->showPopup();
        // The list is wide enough for its longest entry, wider than the box.
        QVERIFY(box->view()->width() >= box->view()->sizeHintForColumn(0));
        box->hidePopup();
        QStringList entries;
        for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
        QCOMPARE(entries, (QStringList{"选择端口", "LPT1", "LPT2", "COM1", "COM2", "/dev/usb/lp0",
                                       "/dev/ttyUSB0"}));
        QCOMPARE(box->itemData(5, Qt::ToolTipRole).toString(), QString("Maker Receipt Printer"));
        QVERIFY(!box->itemData(6, Qt::ToolTipRole).isValid());
        QCOMPARE(box->itemData(6), QVariant(0));
        QCOMPARE(box->currentText(), QString("选择端口"));

        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), "/dev/usb/l");
        found_ = {{"/dev/ttyACM0", "", ""}};
        box->showPopup();
        box->hidePopup();
        QCOMPARE(box->count(), 6);
        QCOMPARE(box->itemText(5), QString("/dev/ttyACM0"));
        QCOMPARE(box->currentText(), QString("/dev/usb/l"));
        // Chosen from the list, a found port is the port name.
        box->setCurrentIndex(5);
        QCOMPARE(window_->portName(), std::string("/dev/ttyACM0"));
    }

    // While a job waits on a printer that takes no bytes, the window goes on painting, and the
    // job goes on when the printer does.
    void windowPaintsWhileAJobWaitsOnItsPrinter() {
        BoxAnswerer boxes;
        const auto [longestGap, received] = clickIntoAStall("cmdexit", 1000ms, [] {});
        QVERIFY2(longestGap >= 0, "the job never waited");
        QVERIFY2(longestGap <= 100, qPrintable(QString("no paint for %1 ms").arg(longestGap)));
        QCOMPARE(received, kCut);
        QVERIFY(boxes.seen.isEmpty());
    }

    // Real input from the window system, arriving while a job waits on its printer, is neither
    // lost nor run in the middle of the job: the click waits until the job is done. Needs an X
    // server (the test runs under Xvfb) and xdotool.
    void inputDuringAWaitIsHeldUntilTheJobEnds() {
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs real window-system input: run under an X server");
        const QString xdotool = QStandardPaths::findExecutable("xdotool");
        if (xdotool.isEmpty()) QSKIP("needs xdotool");
        BoxAnswerer boxes;
        QWidget* drawer = control(window_.get(), "Command1");
        const QPoint at = drawer->mapToGlobal(drawer->rect().center());
        const auto [longestGap, received] = clickIntoAStall("cmdexit", 1500ms, [&] {
            QProcess::startDetached(xdotool, {"mousemove", QString::number(at.x()),
                                              QString::number(at.y()), "click", "1"});
        });
        QVERIFY2(longestGap >= 0 && longestGap <= 100,
                 qPrintable(QString("longest gap between paints %1 ms").arg(longestGap)));
        QVERIFY2(boxes.seen.isEmpty(), qPrintable(boxes.seen.value(0).text));
        QCOMPARE(received, kCut + kPulse);
    }

    // A name is taken as typed: "CO" is not completed to "COM1". Choosing from the list still
    // puts the entry in the box.
    void portBoxTakesANameAsTyped() {
        auto* combo = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"));
        combo->setFocus();
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), "CO");
        QCOMPARE(combo->currentText(), QString("CO"));
        QCOMPARE(window_->portName(), std::string("CO"));
        combo->setCurrentIndex(3);
        QCOMPARE(combo->currentText(), QString("COM1"));
    }

    void refusedJobsShowTheirBox_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("port");  // empty: the placeholder chosen again from the list
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("title");
        const int info = QMessageBox::Information, critical = QMessageBox::Critical;
        for (const char* name : {"cmdexit", "Command1", "Command2", "Command9", "Command10"})
            QTest::newRow(name) << name << "选择端口" << info << "提示！";
        QTest::newRow("placeholder chosen again") << "cmdexit"
                                                  << "" << info << "提示！";
        QTest::newRow("missing port") << "cmdexit"
                                      << "/nonexistent/port" << critical << "错误!";
    }

    void refusedJobsShowTheirBox() {
        QFETCH(QString, port);
        auto* combo = qobject_cast<QComboBox*>(control(window_.get(), "Combo1"));
        combo->setCurrentIndex(3);
        if (port.isEmpty())
            combo->setCurrentIndex(0);
        else
            combo->setEditText(port);
        BoxAnswerer boxes;
        QFETCH(QString, name);
        QTest::mouseClick(control(window_.get(), name), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QTEST(int(boxes.seen[0].icon), "icon");
        QTEST(boxes.seen[0].title, "title");
        // Qt's own texts are Chinese whatever the locale; the system's descriptions follow it.
        QCOMPARE(boxes.seen[0].buttons, QStringList{"确定"});
        if (boxes.seen[0].icon == QMessageBox::Critical)
            QCOMPARE(boxes.seen[0].text, "出错提示:" + QString::fromLocal8Bit(strerror(ENOENT)));
        QVERIFY(boxes.seen[0].modal);
    }

    // Closed during the receipt's first pause: the receipt still prints to its end, then the
    // event loop finishes.
    void closingDuringAReceiptLetsItFinish() {
        qobject_cast<QComboBox*>(control(window_.get(), "Combo1"))->setEditText(port_);
        bool jobReturned = false;
        QTimer::singleShot(0, window_.get(), [&] {
            QTest::mouseClick(control(window_.get(), "Command10"), Qt::LeftButton);
            jobReturned = true;
        });
        QTimer::singleShot(100, window_.get(), [&] { window_->close(); });
        QTimer watchdog;
        watchdog.callOnTimeout([] { QCoreApplication::exit(1); });
        watchdog.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(jobReturned);
        QVERIFY(readAll(port_).contains(bodyOf(TechnicianReceipt())));
    }

    void links_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<QString>("target");
        const QString personal = qtText(contact::personalPage);
        const QString chat = "tencent://message/?uin=" + qtText(contact::technicianQq) +
                             "&Site=" + qtText(contact::chatSite) + "&Menu=yes";
        QTest::newRow("Command11") << "Command11" << true << personal;
        QTest::newRow("Picture2") << "Picture2" << true << personal;
        QTest::newRow("Picture1") << "Picture1" << true << "http://" + qtText(contact::companySite);
        QTest::newRow("Image4") << "Image4" << true << chat;
        QTest::newRow("Image4, no handler") << "Image4" << false << chat;
    }

    // A link nothing handles is reported in a plain box, and the window carries on.
    void links() {
        QFETCH(QString, name);
        QFETCH(bool, handled);
        handled_ = handled;
        BoxAnswerer boxes;
        // Command11 is cut off at the window's edge; click where it can be seen.
        QWidget* link = control(window_.get(), name);
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(20, link->height() / 2));
        QCOMPARE(opened_.size(), 1);
        QTEST(opened_[0].toString(), "target");
        QCOMPARE(boxes.seen.size(), handled ? 0 : 1);
        if (!handled) {
            QCOMPARE(boxes.seen[0].icon, QMessageBox::Information);
            QVERIFY(boxes.seen[0].text.contains(opened_[0].toString()));
        }
        QVERIFY(window_->isVisible());
    }

    // The copies box repeats a job, one whole job after another; anything but 1 to 99 is
    // refused with a notice naming the range, and nothing is written.
    void copiesBoxRepeatsTheJob_data() {
        QTest::addColumn<QString>("copies");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("times");  // 0: refused
        QTest::newRow("3 cuts") << "3"
                                << "cmdexit" << kCut << 3;
        QTest::newRow("2 pulses, spaces around") << " 2 "
                                                 << "Command1" << kPulse << 2;
        QTest::newRow("99 barcodes") << "99"
                                     << "barcode" << kBarcode << 99;
        QTest::newRow("2 receipts") << "02"
                                    << "Command10" << bodyOf(TechnicianReceipt()) << 2;
        for (const char* refused : {"0", "100", "", "x", "1.5", "-1", "+3", "２"})
            QTest::newRow(refused) << QString::fromUtf8(refused) << "cmdexit" << kCut << 0;
    }

    void copiesBoxRepeatsTheJob() {
        QFETCH(QString, copies);
        QFETCH(QString, name);
        QFETCH(QByteArray, stream);
        QFETCH(int, times);
        combo()->setEditText(port_);
        qobject_cast<QLineEdit*>(control(window_.get(), "TxtQty"))->setText(copies);
        BoxAnswerer boxes;
        QTest::mouseClick(control(window_.get(), name), Qt::LeftButton);
        const QByteArray written = readAll(port_);
        QCOMPARE(written.count(stream), times);
        if (times == 0) {
            QCOMPARE(written, QByteArray());
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen[0].icon, QMessageBox::Information);
            QVERIFY2(boxes.seen[0].text.contains("1到99"), qPrintable(boxes.seen[0].text));
        } else {
            QVERIFY(boxes.seen.isEmpty());
        }
    }

    // A copy that fails ends the series: one box, not one a copy.
    void aFailedCopyEndsTheSeries() {
        combo()->setEditText(dir_.filePath("missing"));
        qobject_cast<QLineEdit*>(control(window_.get(), "TxtQty"))->setText("5");
        BoxAnswerer boxes;
        QTest::mouseClick(control(window_.get(), "Command2"), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
    }

    // Esc pressed while a copy prints lets that copy finish and stops the series.
    void escStopsTheSeriesAfterTheCopyPrintingNow() {
        combo()->setEditText(port_);
        qobject_cast<QLineEdit*>(control(window_.get(), "TxtQty"))->setText("5");
        QTimer::singleShot(100, window_.get(), [this] {
            QTest::keyClick(control(window_.get(), "Command10"), Qt::Key_Escape);
        });
        QTest::mouseClick(control(window_.get(), "Command10"), Qt::LeftButton);
        QCOMPARE(readAll(port_).count(bodyOf(TechnicianReceipt())), 1);
    }

    // 诊断 opens one diagnosis window, however often it is clicked, with a row for each page;
    // the verdicts given in it last while it stays open.
    void diagnoseOpensOneWindowThatKeepsItsVerdicts() {
        QWidget* button = control(window_.get(), "CommandDiagnose");
        QTest::mouseClick(button, Qt::LeftButton);
        FrmDiagnose* diagnose = diagnosisWindow();
        QVERIFY(diagnose != nullptr);
        QVERIFY(diagnose->isVisible() && !diagnose->isModal());
        QCOMPARE(diagnose->windowTitle(), QString("打印机诊断"));
        for (const DiagnosticPageInfo& page : diagnosticPages()) {
            const QString key = qtText(page.key);
            QCOMPARE(diagnose->findChild<QLabel*>("Name_" + key)->text(), qtText(page.name));
            QCOMPARE(diagnose->findChild<QLabel*>("HowToRead_" + key)->text(),
                     qtText(page.howToRead));
            QCOMPARE(diagnose->findChild<QPushButton*>("Print_" + key)->text(), QString("打印"));
            QCOMPARE(verdict(diagnose, page)->currentText(), QString("未测"));
        }
        const DiagnosticPageInfo& first = diagnosticPages().front();
        verdict(diagnose, first)->setCurrentText("异常");
        diagnose->findChild<QLineEdit*>("Note_" + qtText(first.key))->setText("问号");

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(window_->findChildren<FrmDiagnose*>().size(), 1);
        QCOMPARE(verdict(diagnose, first)->currentText(), QString("异常"));
        QCOMPARE(diagnose->findChild<QLineEdit*>("Note_" + qtText(first.key))->text(),
                 QString("问号"));

        diagnose->close();
        QTRY_VERIFY(window_->findChildren<FrmDiagnose*>().isEmpty());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(verdict(diagnosisWindow(), first)->currentText(), QString("未测"));
    }

    // 打印 prints its page on the port the main window's selector names, whole, once.
    void printsAPageOnTheMainWindowsPort_data() {
        QTest::addColumn<int>("page");
        for (const DiagnosticPageInfo& page : diagnosticPages())
            QTest::newRow(page.key.data()) << int(page.page);
    }
    void printsAPageOnTheMainWindowsPort() {
        QFETCH(int, page);
        QTest::mouseClick(control(window_.get(), "CommandDiagnose"), Qt::LeftButton);
        combo()->setEditText(port_);
        const auto& info = *findDiagnosticPage(QTest::currentDataTag());
        BoxAnswerer boxes;  // the self-test and the hex dump tell what they do first
        QTest::mouseClick(diagnosisWindow()->findChild<QWidget*>("Print_" + qtText(info.key)),
                          Qt::LeftButton);
        const std::string expected = diagnosticPageStream(
            DiagnosticPage(page), {port_.toStdString(), std::string(maskedTime)});
        QCOMPARE(timeMasked(readAll(port_)), QByteArray::fromStdString(expected));
    }

    // A page asked for while a receipt holds the port is refused as busy; the receipt goes on.
    void aPagePrintedWhileAReceiptHoldsThePortIsRefused() {
        QTest::mouseClick(control(window_.get(), "CommandDiagnose"), Qt::LeftButton);
        combo()->setEditText(port_);
        BoxAnswerer boxes;
        QTimer::singleShot(100, window_.get(), [this] {
            QTest::mouseClick(diagnosisWindow()->findChild<QWidget*>("Print_charset"),
                              Qt::LeftButton);
        });
        QTest::mouseClick(control(window_.get(), "Command2"), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
        QVERIFY2(boxes.seen[0].text.contains(qtText(systemErrorText(EBUSY))),
                 qPrintable(boxes.seen[0].text));
        const QByteArray written = readAll(port_);
        QCOMPARE(written.count(bodyOf(WelcomeReceipt())), 1);
        QVERIFY(!timeMasked(written).contains(QByteArray::fromStdString(diagnosticPageStream(
            DiagnosticPage::Charset, {port_.toStdString(), std::string(maskedTime)}))));
    }

    // 烧机 runs its rounds on the main window's port inside the click and shows what they came
    // to; Esc, 停止 and closing the window each end the run after the round printing now.
    void burnInRunsAndStopsAfterTheRoundPrintingNow_data() {
        QTest::addColumn<QString>("stop");
        QTest::addColumn<int>("receipts");
        QTest::newRow("all rounds") << "" << 3;
        QTest::newRow("Esc") << "Esc" << 1;
        QTest::newRow("停止") << "StopBurnIn" << 1;
        QTest::newRow("close") << "close" << 1;
    }
    void burnInRunsAndStopsAfterTheRoundPrintingNow() {
        QFETCH(QString, stop);
        QFETCH(int, receipts);
        QTest::mouseClick(control(window_.get(), "CommandDiagnose"), Qt::LeftButton);
        combo()->setEditText(port_);
        QPointer<FrmDiagnose> diagnose = diagnosisWindow();
        diagnose->findChild<QSpinBox*>("BurnInRounds")->setValue(3);
        QTimer::singleShot(100, diagnose, [&] {
            QVERIFY(!diagnose->findChild<QWidget*>("Print_charset")->isEnabled());
            if (stop == "Esc")
                QTest::keyClick(diagnose, Qt::Key_Escape);
            else if (stop == "close")
                diagnose->close();
            else if (!stop.isEmpty())
                QTest::mouseClick(diagnose->findChild<QWidget*>(stop), Qt::LeftButton);
        });
        QTest::mouseClick(diagnose->findChild<QWidget*>("BurnIn"), Qt::LeftButton);
        QCOMPARE(readAll(port_).count(bodyOf(TechnicianReceipt())), receipts);
        if (stop == "close") {
            QTRY_VERIFY(diagnose.isNull());
            return;
        }
        const BurnInResult& result = *diagnose->lastBurnIn();
        QCOMPARE(result.roundsDone, receipts);
        QCOMPARE(result.stoppedByUser, !stop.isEmpty());
        QCOMPARE(diagnose->findChild<QProgressBar*>("BurnInProgress")->value(), receipts);
        QCOMPARE(diagnose->findChild<QLabel*>("BurnInRound")->text(),
                 QString("第 %1/3 轮").arg(receipts));
        const QString summary =
            diagnose->findChild<QPlainTextEdit*>("BurnInSummary")->toPlainText();
        QVERIFY2(summary.contains(QString("%1/3 轮通过").arg(receipts)), qPrintable(summary));
        QVERIFY(diagnose->findChild<QWidget*>("Print_charset")->isEnabled());
        QVERIFY(!diagnose->findChild<QWidget*>("StopBurnIn")->isEnabled());
    }

    // 保存报告 proposes 打印机报告-MODEL-YYYYMMDD-HHMM.pdf in the documents folder and writes
    // what the window holds: the pages' times, verdicts and notes. A file it cannot write says
    // why, and the verdicts stay.
    void saveReportProposesANameAndKeepsTheVerdicts() {
        const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", dir_.filePath("home").toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
        const QString documents = dir_.filePath("home/Documents");
        QVERIFY(QDir().mkpath(documents));

        QTest::mouseClick(control(window_.get(), "CommandDiagnose"), Qt::LeftButton);
        combo()->setEditText(port_);
        FrmDiagnose* diagnose = diagnosisWindow();
        QTest::mouseClick(diagnose->findChild<QWidget*>("Print_charset"), Qt::LeftButton);
        verdict(diagnose, diagnosticPages().front())->setCurrentText("异常");
        diagnose->findChild<QLineEdit*>("Note_charset")->setText("三区问号");

        // Answers the save dialog with `path`, noting what it proposed.
        QString proposed;
        const auto saveAs = [&](const QString& path) {
            QTimer poll;
            poll.callOnTimeout([&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (dialog == nullptr) return;
                poll.stop();
                proposed = dialog->selectedFiles().value(0);
                // The dialog leaves the name box as it is while the box has the focus, which
                // it gets or not depending on when the window system activates the dialog.
                if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");  // as the 保存 button does
            });
            poll.start(10);
            QTest::mouseClick(diagnose->findChild<QWidget*>("SaveReport"), Qt::LeftButton);
        };
        const QString saved = dir_.filePath("report.html");
        saveAs(saved);
        QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(documents) +
                                    "/打印机报告-未知型号-\\d{8}-\\d{4}\\.pdf$")
                     .match(proposed)
                     .hasMatch(),
                 qPrintable(proposed));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(file.readAll());
        QVERIFY(report.contains("三区问号") && report.contains("异常"));
        QVERIFY(report.contains(port_.toHtmlEscaped()));
        // The time the report gives the page is the time in the page's heading.
        const QRegularExpression time("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
        const QString heading = time.match(QString::fromLatin1(readAll(port_))).captured();
        QVERIFY(!heading.isEmpty());
        QVERIFY2(report.contains(heading), qPrintable(heading));

        BoxAnswerer boxes;
        const QString unwritable = port_ + "/report.pdf";  // the port is a plain file
        saveAs(unwritable);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
        QVERIFY2(boxes.seen[0].text.contains(unwritable) &&
                     boxes.seen[0].text.contains(qtText(systemErrorText(ENOTDIR))),
                 qPrintable(boxes.seen[0].text));
        QVERIFY(diagnose->isVisible());
        QCOMPARE(verdict(diagnose, diagnosticPages().front())->currentText(), QString("异常"));
        QCOMPARE(diagnose->findChild<QLineEdit*>("Note_charset")->text(), QString("三区问号"));

        qputenv("HOME", home);
        if (!config.isNull()) qputenv("XDG_CONFIG_HOME", config);
    }

    // 查状态 asks the printer once, whatever the copies box says, and shows its answer.
    void statusButtonShowsWhatThePrinterSays() {
        AnsweringPrinter printer(AnsweringPrinter::Line::PseudoTerminal,
                                 answersFor({.drawerHigh = true}));
        combo()->setEditText(QString::fromStdString(printer.portName()));
        qobject_cast<QLineEdit*>(control(window_.get(), "TxtQty"))->setText("3");
        BoxAnswerer boxes;
        QTest::mouseClick(control(window_.get(), "CommandStatus"), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].title, QString("打印机状态"));
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Information);
        QVERIFY2(boxes.seen[0].text.contains("钱箱信号(引脚3)：高"),
                 qPrintable(boxes.seen[0].text));
        QCOMPARE(QByteArray::fromStdString(printer.received()).count("\x10\x04\x01"), 1);
    }

    // 读取, first in the diagnosis window's actions, reads the printer on the main window's port
    // once, keeps the readout and says when the charset verdict contradicts the ROM it named.
    void readButtonReadsThePrinterAndComparesTheCharsetVerdict() {
        AnsweringPrinter printer(AnsweringPrinter::Line::PseudoTerminal, readoutAnswersFor({}));
        QTest::mouseClick(control(window_.get(), "CommandDiagnose"), Qt::LeftButton);
        FrmDiagnose* diagnose = diagnosisWindow();
        combo()->setEditText(QString::fromStdString(printer.portName()));
        auto* charset = diagnose->findChild<QComboBox*>("Verdict_charset");
        charset->setCurrentText("异常");
        BoxAnswerer boxes;
        QTest::mouseClick(diagnose->findChild<QWidget*>("ReadInfo"), Qt::LeftButton);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].title, QString("打印机信息"));
        QVERIFY2(boxes.seen[0].text.contains("字库：CHINA GB18030"),
                 qPrintable(boxes.seen[0].text));
        QVERIFY(diagnose->lastInfo() && diagnose->lastInfo()->identity.serial == "XH2026120801");
        auto* notice = diagnose->findChild<QLabel*>("InfoNotice");
        QVERIFY(notice->isVisible() && notice->text().contains("字库与打印结果不符"));
        charset->setCurrentText("正常");
        QVERIFY(!notice->isVisible());
        QCOMPARE(QByteArray::fromStdString(printer.received()).count("\x10\x04\x01"), 1);
        auto* actions = diagnose->findChild<QHBoxLayout*>("Actions");
        for (int i = 0; i < actions->count(); ++i) {
            if (auto* first = qobject_cast<QAbstractButton*>(actions->itemAt(i)->widget())) {
                QCOMPARE(first->objectName(), QString("ReadInfo"));
                break;
            }
        }
    }

    // A screen reader, and any desktop automation, tells the controls apart by what a person
    // reads on them or what they open.
    void everyControlHasTheNameAPersonReadsOnIt() {
        // clang-format off
        const QList<QPair<const char*, QString>> names = {
            {"cmdexit", "切纸"},
            {"CommandStatus", "查状态"},
            {"CommandDiagnose", "诊断"},
            {"Command1", "开钱箱"},
            {"Command2", "测试页"},
            {"Command9", "公司名片"},
            {"Command10", "个人名片"},
            {"Command11", "点击进入个人博客"},
            {"barcode", "打条码"},
            {"Combo1", "端口："},
            {"TxtQty", "重复"},
            {"Picture2", "个人博客"},
            {"Image4", "QQ交谈"},
            {"Picture1", qtText(contact::companySite)},
        };
        // clang-format on
        for (const auto& [name, expected] : names) {
            QWidget* widget = control(window_.get(), name);
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(accessible, name);
            // On Linux a combo box's name is its text; the label beside it names it.
            const auto labels = accessible->relations(QAccessible::Label);
            const QString read = qobject_cast<QComboBox*>(widget) && !labels.isEmpty()
                                     ? labels[0].first->text(QAccessible::Name)
                                     : accessible->text(QAccessible::Name);
            QCOMPARE(read, expected);
        }
    }

    // Input that arrives while a job waits on a printer that then fails the job is not lost to
    // the error box: a click on another job, a digit typed and a close request all take effect,
    // in that order, once the box has been answered. Needs an X server (the test runs under
    // Xvfb), xdotool and python3-xlib.
    void inputDuringAFailedWaitRunsAfterTheBox() {
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs real window-system input: run under an X server");
        const QString xdotool = QStandardPaths::findExecutable("xdotool");
        if (xdotool.isEmpty()) QSKIP("needs xdotool");
        openWindow({.stall = 1500ms});
        StalledPrinter printer(dir_.filePath("stalled").toStdString());
        combo()->setEditText(QString::fromStdString(printer.path()));
        auto* copies = qobject_cast<QLineEdit*>(control(window_.get(), "TxtQty"));
        auto centre = [](QWidget* w) { return w->mapToGlobal(w->rect().center()); };
        const QPoint drawer = centre(control(window_.get(), "Command1")), box = centre(copies);
        // While the cut waits: a click on 开钱箱, a click into the copies box and a digit typed
        // there, then a close request from the title bar.
        QTimer::singleShot(100, window_.get(), [&] {
            QProcess input;
            input.start("sh", {"-c", QString("'%1' mousemove %2 %3 click 1 mousemove %4 %5 click 1 "
                                             "&& '%1' type 7 && '%6/close_window.py' '%7' %8 5")
                                         .arg(xdotool)
                                         .arg(drawer.x())
                                         .arg(drawer.y())
                                         .arg(box.x())
                                         .arg(box.y())
                                         .arg(TEST_SUPPORT_DIR)
                                         .arg(window_->windowTitle())
                                         .arg(QCoreApplication::applicationPid())});
            QVERIFY(input.waitForFinished(3000));
            QVERIFY2(input.exitCode() == 0, input.readAllStandardError().constData());
        });
        QByteArray received;
        // The box stays up a while, as a person reads it; meanwhile the printer recovers, so the
        // held click's pulse goes through.
        BoxAnswerer boxes([&] {
            QTest::qWait(300);
            received += QByteArray::fromStdString(printer.drain());
        });
        qobject_cast<QPushButton*>(control(window_.get(), "cmdexit"))->click();
        received += QByteArray::fromStdString(printer.drain());
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(received, kPulse);
        QCOMPARE(copies->text(), QString("17"));
        QVERIFY(!window_->isVisible());
    }

private:
    void openWindow(PortLimits limits) {
        window_ = std::make_unique<FrmLogin>(
            [this](const QUrl& url, std::function<void()> refused) {
                opened_ << url;
                if (!handled_) refused();
            },
            [this] { return found_; }, limits);
        window_->show();
        // Under a bare X server no window manager gives the window the focus.
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }

    // Clicks `button` with the port box set to a printer that has stopped taking bytes, lets it
    // wait on the printer for `stall` and then drains it; `duringTheWait` runs meanwhile. Returns
    // the longest time the window went without painting while the job waited, and what the
    // printer received.
    QPair<int, QByteArray> clickIntoAStall(const QString& button, std::chrono::milliseconds stall,
                                           const std::function<void()>& duringTheWait) {
        StalledPrinter printer(dir_.filePath("stalled").toStdString());
        combo()->setEditText(QString::fromStdString(printer.path()));
        // Something asks the window to repaint every 10 ms; every paint is noted.
        QElapsedTimer clock;
        clock.start();
        qint64 lastPaint = 0, longestGap = 0;
        PaintWatch watch(window_.get(), [&] {
            longestGap = std::max(longestGap, clock.elapsed() - lastPaint);
            lastPaint = clock.elapsed();
        });
        QTimer repaint;
        repaint.callOnTimeout(window_.get(), [this] { window_->update(); });
        repaint.start(10);
        QByteArray received;
        QTimer::singleShot(stall / 2, window_.get(), duringTheWait);
        QTimer::singleShot(stall, window_.get(),
                           [&] { received += QByteArray::fromStdString(printer.drain()); });
        QTest::mouseClick(control(window_.get(), button), Qt::LeftButton);
        const qint64 jobTook = clock.elapsed();
        lastPaint = clock.elapsed();
        QTest::qWait(300);
        received += QByteArray::fromStdString(printer.drain());
        if (jobTook < stall.count()) longestGap = -1;  // it never waited
        return {int(longestGap), received};
    }

    QComboBox* combo() const { return qobject_cast<QComboBox*>(control(window_.get(), "Combo1")); }
    FrmDiagnose* diagnosisWindow() const { return window_->findChild<FrmDiagnose*>(); }
    static QComboBox* verdict(FrmDiagnose* diagnose, const DiagnosticPageInfo& page) {
        return diagnose->findChild<QComboBox*>("Verdict_" + qtText(page.key));
    }

    QTemporaryDir dir_;
    std::vector<FoundPort> found_;
    QString port_;
    QList<QUrl> opened_;
    bool handled_ = true;
    std::unique_ptr<FrmLogin> window_;
};

QTEST_MAIN(FrmLoginTest)
#include "frm_login_test.moc"