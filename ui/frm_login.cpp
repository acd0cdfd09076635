#include "frm_login.h"

#include <poll.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <iterator>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

#include "contact_data.h"
#include "controls.h"
#include "device_commands.h"
#include "diagnostic_pages.h"
#include "fonts.h"
#include "job_steps.h"
#include "printer_status.h"
#include "receipts.h"
#include "twips.h"
#include "utf8_text.h"

namespace {

const QColor kFormGreen(192, 255, 192);
const QColor kPanelLilac(192, 192, 255);
const QColor kBannerBlue(128, 128, 255);

// The copies box takes 1 to this many copies.
constexpr int mostCopies = 99;

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// Buttons, the check box among them, fill with the Button role unless told otherwise.
void setBackground(QWidget* widget, const QColor& colour) {
    setColour(widget, QPalette::Window, colour);
    widget->setBackgroundRole(QPalette::Window);
    widget->setAutoFillBackground(true);
}

// Controls of a control array share their name and are told apart by an index.
void name(QWidget* widget, const char* objectName, int index = -1) {
    widget->setObjectName(QString::fromLatin1(objectName));
    if (index >= 0) widget->setProperty("index", index);
}

QLabel* staticText(QWidget* parent, const char* objectName, int index, const QRect& geometry,
                   const QString& text) {
    auto* label = new StaticText(text, parent);
    name(label, objectName, index);
    label->setGeometry(geometry);
    return label;
}

// A line of the panel inside a frame: lilac, in the desktop's font and text colour, not the
// frame's caption font and colour that it would otherwise inherit.
QLabel* panelLine(QWidget* frame, int index, const QRect& geometry, const QString& text) {
    QLabel* label = staticText(frame, "Label6", index, geometry, text);
    setBackground(label, kPanelLilac);
    setColour(label, QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    label->setFont(dialogFont());
    return label;
}

FrameBox* panelFrame(QWidget* parent, int index, const QRect& geometry, const QString& caption) {
    auto* frame = new FrameBox(caption, parent);
    name(frame, index < 0 ? "Frame3" : "Frame2", index);
    frame->setGeometry(geometry);
    frame->setFont(faceFont(songFace(), 10.5, false));
    setBackground(frame, kPanelLilac);
    setColour(frame, QPalette::WindowText, QColor(0, 0, 255));
    return frame;
}

// What the window holds back while a job waits on its printer: everything the user does.
bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Close:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

}  // namespace

// The pointer a job button shows.
enum class Pointer { Arrow, Hand, Printer };

struct FrmLogin::JobButton {
    const char* objectName;
    QRect geometry;
    // The picture lettered with what the button does; none for a plain face.
    const char* face;
    // What the face picture reads, the button's name for a screen reader.
    const char* lettering;
    const char* caption;
    // The face its caption is drawn in, and the button's own colour where it has one.
    QString (*captionFace)();
    QColor faceColour;
    Pointer pointer;
    void (FrmLogin::*click)();
    // Whether the keys reach it after the port, barcode and copies boxes rather than before.
    bool afterBoxes;
};

// In the order the keys go through them.
const std::vector<FrmLogin::JobButton>& FrmLogin::jobButtons() {
    static const std::vector<JobButton> rows = {
        {"cmdexit", twipsRect(5880, 3600, 525, 285), ":/assets/face_plain.jpg", nullptr, "切纸",
         &songFace, QColor(), Pointer::Hand, &FrmLogin::cmdexit_Click, false},
        {"Command1", twipsRect(5760, 4440, 915, 405), ":/assets/face_cash_drawer.jpg", "开钱箱",
         nullptr, nullptr, QColor(), Pointer::Hand, &FrmLogin::Command1_Click, false},
        // Asks the printer, in the strip between the job buttons and the banner.
        {"CommandStatus", twipsRect(4560, 4905, 915, 405), ":/assets/face_status.jpg", "查状态",
         nullptr, nullptr, QColor(), Pointer::Hand, &FrmLogin::CommandStatus_Click, false},
        {"CommandDiagnose", twipsRect(5760, 4905, 915, 405), ":/assets/face_diagnose.jpg", "诊断",
         nullptr, nullptr, QColor(), Pointer::Hand, &FrmLogin::CommandDiagnose_Click, false},
        {"Command11", twipsRect(5400, 5400, 1695, 375), nullptr, nullptr, "点击进入个人博客",
         &newSongFace, QColor(0, 128, 0), Pointer::Arrow, &FrmLogin::Command11_Click, false},
        {"Command10", twipsRect(4560, 4440, 1095, 405), ":/assets/face_personal_card.jpg",
         "个人名片", nullptr, nullptr, QColor(), Pointer::Hand, &FrmLogin::Command10_Click, false},
        {"Command9", twipsRect(4560, 3960, 1155, 405), ":/assets/face_company_card.jpg", "公司名片",
         nullptr, nullptr, QColor(), Pointer::Hand, &FrmLogin::Command9_Click, false},
        {"Command2", twipsRect(5760, 3960, 915, 405), ":/assets/face_test_page.jpg", "测试页",
         nullptr, nullptr, QColor(), Pointer::Printer, &FrmLogin::Command2_Click, true},
    };
    return rows;
}

PictureButton* FrmLogin::makeJobButton(const JobButton& row) {
    const QColor faceColour =
        row.faceColour.isValid() ? row.faceColour : QApplication::palette().color(QPalette::Button);
    auto* button = new PictureButton(QString::fromUtf8(row.caption ? row.caption : ""),
                                     row.face ? QPixmap(QString::fromUtf8(row.face)) : QPixmap(),
                                     faceColour, this);
    name(button, row.objectName);
    button->setGeometry(row.geometry);
    if (row.lettering) button->setAccessibleName(QString::fromUtf8(row.lettering));
    if (row.captionFace) button->setFont(faceFont(row.captionFace(), 9, true));
    switch (row.pointer) {
        case Pointer::Arrow:
            break;
        case Pointer::Hand:
            button->setCursor(handCursor());
            break;
        case Pointer::Printer:
            button->setCursor(iconCursor(QStringLiteral(":/assets/printer.ico"), 32));
            break;
    }
    connect(button, &QPushButton::clicked, this, row.click);
    return button;
}

FrmLogin::FrmLogin(LinkLauncher::Opener opener, PortSelector::Lister ports, PortLimits limits)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      links_(std::move(opener),
             [this](const QString& title, const QString& text) {
                 showInformation(title.toStdString(), text.toStdString());
             }),
      limits_(limits) {
    setObjectName(QStringLiteral("FrmLogin"));
    setWindowTitle(QStringLiteral("澄星--柯岚"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/app.ico")));
    setGeometry(twips(4290), twips(2880), twips(6885), twips(6225));
    setFixedSize(twips(6885), twips(6225));
    setBackground(this, kFormGreen);
    background_ = QPixmap(QStringLiteral(":/assets/background.jpg"));

    // Static texts and the badge are drawn on the window's surface, so they are made first and
    // every windowed control stacks above them.
    QLabel* label1 = staticText(this, "Label1", -1, twipsRect(120, 120, 6660, 495),
                                QStringLiteral("溪禾云岫信息技术有限公司"));
    setBackground(label1, kBannerBlue);
    setColour(label1, QPalette::WindowText, Qt::white);
    label1->setFont(faceFont(kaiFace(), 26.25, true));

    QLabel* label5 = staticText(this, "Label5", -1, twipsRect(4440, 840, 2055, 255),
                                QStringLiteral("服务创造价值!"));
    setBackground(label5, kPanelLilac);
    setColour(label5, QPalette::WindowText, QColor(255, 0, 0));
    label5->setFont(faceFont(kaiFace(), 14.25, false));

    QLabel* label2 =
        staticText(this, "Label2", -1, twipsRect(360, 1080, 1215, 255), QStringLiteral("主要经营"));
    setBackground(label2, kPanelLilac);
    setColour(label2, QPalette::WindowText, QColor(255, 128, 0));
    label2->setFont(faceFont(songFace(), 14.25, true));

    auto* image4 = new ImageControl(QPixmap(QStringLiteral(":/assets/messenger_badge.jpg")), this);
    name(image4, "Image4");
    // The image control takes the size of its picture.
    image4->setGeometry(QRect(QPoint(twips(5280), twips(2400)),
                              image4->picture().deviceIndependentSize().toSize()));
    image4->setCursor(iconCursor(QStringLiteral(":/assets/penguin.ico"), 32));
    image4->setAccessibleName(QStringLiteral("QQ交谈"));

    const QColor highlightText = QApplication::palette().color(QPalette::HighlightedText);
    QLabel* portLabel = nullptr;
    QLabel* copiesLabel = nullptr;
    for (auto [label, objectName, top, caption] :
         {std::tuple{&portLabel, "Label4", 3240, QStringLiteral("端口：")},
          std::tuple{&copiesLabel, "Label3", 3600, QStringLiteral("重复：")}}) {
        *label = staticText(this, objectName, -1, twipsRect(4680, top, 675, 210), caption);
        setColour(*label, QPalette::WindowText, highlightText);
        (*label)->setFont(faceFont(songFace(), 10.5, true));
    }

    // Windowed controls.
    TxtQty = new QLineEdit(QStringLiteral("1"), this);
    name(TxtQty, "TxtQty");
    TxtQty->setGeometry(twipsRect(5280, 3600, 555, 255));
    TxtQty->setToolTip(QStringLiteral("重复测试次数..."));
    TxtQty->setAccessibleName(QStringLiteral("重复"));
    // A screen reader names a box after the label beside it.
    copiesLabel->setBuddy(TxtQty);
    setColour(TxtQty, QPalette::Base, QColor(255, 255, 192));
    TxtQty->setFont(faceFont(songFace(), 10.5, true));

    FrameBox* frame3 =
        panelFrame(this, -1, twipsRect(360, 4200, 3135, 975), QStringLiteral("联系我们"));
    panelLine(frame3, 4, twipsRect(120, 240, 3000, 255),
              QStringLiteral("公司电话：") + qtText(contact::companyPhones));
    panelLine(frame3, 5, twipsRect(120, 480, 2775, 255),
              QStringLiteral("公司传真：") + qtText(contact::fax));
    panelLine(frame3, 6, twipsRect(120, 720, 2700, 240),
              QStringLiteral("客户邮箱：") + qtText(contact::companyEmail));

    FrameBox* frame2b =
        panelFrame(this, 1, twipsRect(360, 2880, 3855, 975), QStringLiteral("商业管理软件"));
    panelLine(frame2b, 2, twipsRect(120, 360, 3600, 255),
              QStringLiteral("POS系统及商业管理系统 零售业、工业、图书"));
    panelLine(frame2b, 3, twipsRect(120, 600, 3615, 255),
              QStringLiteral("医药、物流、服装、批发、餐饮娱乐等。"));

    FrameBox* frame2a =
        panelFrame(this, 0, twipsRect(360, 1560, 3855, 975), QStringLiteral("自动识别技术"));
    panelLine(frame2a, 0, twipsRect(120, 360, 3600, 255),
              QStringLiteral("条码扫描器、条码打印机与软件、无线网络终"));
    panelLine(frame2a, 1, twipsRect(120, 600, 3495, 255),
              QStringLiteral("端、RFID终端等各种自动识别设备。"));

    auto* picture2 = new PictureBox(QPixmap(QStringLiteral(":/assets/portrait.jpg")), this);
    name(picture2, "Picture2");
    picture2->setGeometry(twipsRect(5520, 1320, 735, 975));
    picture2->setCursor(iconCursor(QStringLiteral(":/assets/globe.ico"), 16));
    picture2->setAccessibleName(QStringLiteral("个人博客"));

    // The notice frame lies wholly behind the banner; it is part of the window all the same.
    auto* frame1 = new FrameBox(QStringLiteral("\n") + qtText(contact::allRightsReserved), this);
    name(frame1, "Frame1", 0);
    frame1->setGeometry(twipsRect(3600, 6000, 2880, 255));
    frame1->setFont(faceFont(songFace(), 10.5, false));
    setBackground(frame1, QColor(0, 64, 0));
    setColour(frame1, QPalette::WindowText, highlightText);

    auto* picture1 = new PictureBox(QPixmap(QStringLiteral(":/assets/banner.jpg")), this);
    name(picture1, "Picture1");
    picture1->setGeometry(twipsRect(-360, 5400, 8295, 855));
    picture1->setCursor(handCursor());
    picture1->setAccessibleName(qtText(contact::companySite));

    auto* barcode = new QCheckBox(QStringLiteral("打条码"), this);
    name(barcode, "barcode");
    barcode->setGeometry(twipsRect(5280, 3000, 960, 255));
    setBackground(barcode, kFormGreen);

    Combo1 = new PortSelector({qtText(portPlaceholder), "LPT1", "LPT2", "COM1", "COM2"},
                              std::move(ports), this);
    name(Combo1, "Combo1");
    Combo1->setGeometry(twipsRect(5280, 3240, 1125, 300));
    setColour(Combo1, QPalette::Base, kBannerBlue);
    setColour(Combo1, QPalette::Text, Qt::black);
    Combo1->setFont(faceFont(songFace(), 9, true));
    portLabel->setBuddy(Combo1);

    std::vector<QWidget*> keyboardOrder;
    std::map<std::string_view, QWidget*> buttons;
    bool boxesPlaced = false;
    for (const JobButton& row : jobButtons()) {
        if (row.afterBoxes && !std::exchange(boxesPlaced, true))
            keyboardOrder.insert(keyboardOrder.end(), {Combo1, barcode, TxtQty});
        keyboardOrder.push_back(buttons[row.objectName] = makeJobButton(row));
    }
    keyboardOrder.insert(keyboardOrder.end(), {picture1, picture2});
    for (std::size_t i = 1; i < keyboardOrder.size(); ++i)
        setTabOrder(keyboardOrder[i - 1], keyboardOrder[i]);
    keyboardOrder.front()->setFocus();

    // From back to front: the banner covers the notice frame, the blog button lies over the
    // banner. A button not named here lies behind them all.
    for (QWidget* control : std::initializer_list<QWidget*>{
             buttons["cmdexit"], TxtQty, frame3, frame2b, frame2a, picture2, frame1, picture1,
             buttons["Command2"], barcode, Combo1, buttons["Command9"], buttons["Command10"],
             buttons["Command11"], buttons["Command1"], buttons["CommandStatus"],
             buttons["CommandDiagnose"]})
        control->raise();

    connect(barcode, &QCheckBox::clicked, this, &FrmLogin::barcode_Click);
    connect(picture2, &PictureBox::clicked, this, &FrmLogin::Picture2_Click);
    connect(picture1, &PictureBox::clicked, this, &FrmLogin::Picture1_Click);
    connect(image4, &ImageControl::clicked, this, &FrmLogin::Image4_Click);

    // Esc stops a series of copies after the copy printing now.
    auto* stopCopies = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stopCopies, &QShortcut::activated, this, [this] { stopCopies_ = true; });
}

FrmLogin::~FrmLogin() = default;

std::string FrmLogin::portName() {
    return Combo1->currentText().toStdString();
}

void FrmLogin::pumpEvents(std::chrono::milliseconds waitUpTo) {
    runHeldInput();
    if (waitUpTo.count() > 0) {
        // The timer bounds the wait: the dispatcher sleeps until it or any other event
        // arrives, so a pausing job costs no processor time.
        QTimer wakeUp;
        wakeUp.setSingleShot(true);
        wakeUp.setTimerType(Qt::PreciseTimer);
        wakeUp.start(waitUpTo);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
}

bool FrmLogin::waitOnDevice(int fd, short events, std::chrono::milliseconds limit) {
    // Painting, timers and the desktop's messages go on; what the user does meanwhile (clicks,
    // keys, a close request) is taken out of the way and kept until the job's next pump point or
    // its end, so that none of it runs in the middle of a write and none is lost to an error box
    // that follows. Processing events by hand rather than in an event loop of its own, the wait
    // also goes on to its end after the window has been closed and the application told to quit.
    bool ready = false;
    std::optional<QSocketNotifier> device;
    if (events & (POLLIN | POLLOUT)) {
        device.emplace(static_cast<qintptr>(fd),
                       events & POLLOUT ? QSocketNotifier::Write : QSocketNotifier::Read);
        connect(&*device, &QSocketNotifier::activated, this, [&] {
            ready = true;
            device->setEnabled(false);
        });
    }
    bool timeUp = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, this, [&] { timeUp = true; });
    deadline.start(limit);
    const bool alreadyHolding = std::exchange(holdingInput_, true);
    if (!alreadyHolding) qApp->installEventFilter(this);
    while (!ready && !timeUp)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!alreadyHolding) qApp->removeEventFilter(this);
    holdingInput_ = alreadyHolding;
    return ready;
}

void FrmLogin::showInformation(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::Information, qtText(title), qtText(text), QMessageBox::Ok, this);
    box.exec();
}

void FrmLogin::showCritical(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::Critical, qtText(title), qtText(text), QMessageBox::Ok, this);
    box.exec();
}

bool FrmLogin::eventFilter(QObject* watched, QEvent* event) {
    // Kept where the window system's input lands: clicks and keys at the control the window gave
    // them to (so the focus and the pressed button are settled as they came), a close request at
    // the window. Delivered again there later, they act as they would have then.
    const bool atControl = watched->isWidgetType() && event->type() != QEvent::Close;
    const bool closingWindow = watched->isWindowType() && event->type() == QEvent::Close;
    if (holdingInput_ && event->spontaneous() && isUserInput(event->type()) &&
        (atControl || closingWindow)) {
        heldInput_.emplace_back(watched, std::unique_ptr<QEvent>(event->clone()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmLogin::runHeldInput() {
    // Delivering may run another job, which may hold input of its own meanwhile.
    for (auto& [target, event] : std::exchange(heldInput_, {}))
        if (target) QCoreApplication::sendEvent(target, event.get());
}

std::optional<int> FrmLogin::copiesWanted() const {
    const QString text = TxtQty->text().trimmed();
    if (text.isEmpty() || text.size() > 2) return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const int copies = text.toInt();
    if (copies < 1 || copies > mostCopies) return std::nullopt;
    return copies;
}

void FrmLogin::runCopies(const std::function<bool()>& job) {
    const std::optional<int> copies = copiesWanted();
    if (!copies) {
        showInformation(noticeTitle,
                        "重复次数须为1到" + std::to_string(mostCopies) + "之间的整数！");
        return;
    }
    stopCopies_ = false;
    for (int copy = 1; copy <= *copies; ++copy) {
        if (!job()) break;
        if (copy == *copies) break;
        // Live between copies: the window paints, and Esc or another click is handled here.
        pumpEvents(std::chrono::milliseconds(0));
        if (stopCopies_) break;
    }
    runHeldInput();
}

void FrmLogin::paintEvent(QPaintEvent*) {
    // Drawn unscaled: the window cuts off the picture's right edge and leaves a strip of the
    // background colour below it.
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}

void FrmLogin::cmdexit_Click() {
    runCopies([this] { return CutPaperJob(*this); });
}
void FrmLogin::Command1_Click() {
    runCopies([this] { return DrawerPulseJob(*this); });
}
// A question, not a print: asked once whatever the copies box says.
void FrmLogin::CommandStatus_Click() {
    PrinterStatusJob(*this);
    runHeldInput();
}
// The pages print on the port the selector names when each is printed, once each.
void FrmLogin::CommandDiagnose_Click() {
    if (!diagnose_) {
        diagnose_ = new FrmDiagnose(
            [this](DiagnosticPage page) -> std::optional<std::string> {
                std::string printedAt;
                const bool printed = DiagnosticPageJob(*this, page, &printedAt);
                runHeldInput();
                if (!printed) return std::nullopt;
                return printedAt;
            },
            *this, this);
        diagnose_->setAttribute(Qt::WA_DeleteOnClose);
        diagnose_->setBurnInRunner([this](int rounds, const auto& progress) {
            const BurnInResult result = runBurnIn(*this, rounds, progress);
            runHeldInput();
            return result;
        });
    }
    diagnose_->show();
    diagnose_->raise();
    diagnose_->activateWindow();
}
void FrmLogin::barcode_Click() {
    runCopies([this] { return BarcodeJob(*this); });
}
void FrmLogin::Command2_Click() {
    runCopies([this] { return TestReceiptJob(*this, WelcomeReceipt()); });
}
void FrmLogin::Command9_Click() {
    runCopies([this] { return TestReceiptJob(*this, BrochureReceipt()); });
}
void FrmLogin::Command10_Click() {
    runCopies([this] { return TestReceiptJob(*this, TechnicianReceipt()); });
}
void FrmLogin::Command11_Click() {
    links_.launch(LinkLauncher::Link::PersonalPage);
}
void FrmLogin::Picture2_Click() {
    links_.launch(LinkLauncher::Link::PersonalPage);
}
void FrmLogin::Picture1_Click() {
    links_.launch(LinkLauncher::Link::CompanySite);
}
void FrmLogin::Image4_Click() {
    links_.launch(LinkLauncher::Link::MessengerChat);
}
