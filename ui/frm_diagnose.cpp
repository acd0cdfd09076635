#include "frm_diagnose.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QVBoxLayout>

#include "controls.h"
#include "fonts.h"
#include "twips.h"
#include "utf8_text.h"

namespace {

// The main window's colours: the form's green, the panel's lilac, the copies box's yellow.
const QColor kFormGreen(192, 255, 192);
const QColor kPanelLilac(192, 192, 255);
const QColor kBoxYellow(255, 255, 192);

void fill(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
    if (role == QPalette::Window) widget->setAutoFillBackground(true);
}

QLabel* heading(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(faceFont(songFace(), 10.5, true));
    fill(label, QPalette::Window, kPanelLilac);
    label->setContentsMargins(4, 2, 4, 2);
    return label;
}

}  // namespace

// The window's buttons look like the main window's job buttons.
PictureButton* FrmDiagnose::button(const QString& caption, const QString& name) {
    auto* made = new PictureButton(caption, QPixmap(QStringLiteral(":/assets/face_plain.jpg")),
                                   palette().color(QPalette::Button), this);
    made->setObjectName(name);
    made->setFixedSize(twips(915), twips(405));
    made->setFont(faceFont(songFace(), 9, true));
    made->setCursor(handCursor());
    return made;
}

FrmDiagnose::FrmDiagnose(Printer print, JobHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), print_(std::move(print)), host_(host) {
    setObjectName(QStringLiteral("FrmDiagnose"));
    setWindowTitle(QStringLiteral("打印机诊断"));
    fill(this, QPalette::Window, kFormGreen);
    setFont(faceFont(songFace(), 10.5, false));

    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(8);
    rows->setVerticalSpacing(6);
    const QString titles[] = {QStringLiteral("测试页"), QStringLiteral("看什么、怎样看"), QString(),
                              QStringLiteral("结论"), QStringLiteral("备注")};
    for (int column = 0; column < 5; ++column)
        if (!titles[column].isEmpty()) rows->addWidget(heading(titles[column]), 0, column);

    int row = 1;
    for (const DiagnosticPageInfo& info : diagnosticPages()) {
        const QString key = qtText(info.key);
        auto* name = new QLabel(qtText(info.name));
        name->setObjectName(QStringLiteral("Name_") + key);
        name->setFont(faceFont(songFace(), 10.5, true));

        auto* howToRead = new QLabel(qtText(info.howToRead));
        howToRead->setObjectName(QStringLiteral("HowToRead_") + key);
        howToRead->setToolTip(howToRead->text());

        auto* printButton = button(QStringLiteral("打印"), QStringLiteral("Print_") + key);
        printButton->setAccessibleName(QStringLiteral("打印") + qtText(info.name));
        connect(printButton, &QPushButton::clicked, this,
                [this, page = info.page] { print_(page); });

        auto* verdict = new QComboBox;
        verdict->setObjectName(QStringLiteral("Verdict_") + key);
        verdict->addItems({QStringLiteral("未测"), QStringLiteral("正常"), QStringLiteral("异常")});
        if (info.page == DiagnosticPage::Charset)
            connect(verdict, &QComboBox::currentTextChanged, this,
                    &FrmDiagnose::showCharsetConflict);
        verdict->setAccessibleName(qtText(info.name) + QStringLiteral("结论"));

        auto* note = new QLineEdit;
        note->setObjectName(QStringLiteral("Note_") + key);
        note->setMinimumWidth(twips(2400));
        note->setAccessibleName(qtText(info.name) + QStringLiteral("备注"));
        fill(note, QPalette::Base, kBoxYellow);

        rows->addWidget(name, row, 0);
        rows->addWidget(howToRead, row, 1);
        rows->addWidget(printButton, row, 2);
        rows->addWidget(verdict, row, 3);
        rows->addWidget(note, row, 4);
        ++row;
    }
    rows->setColumnStretch(1, 1);
    rows->setColumnStretch(4, 1);

    // The strip below the pages holds the window's own actions (reading the printer's settings
    // back, a burn-in run, saving the verdicts as a report) as they come; it is kept, empty,
    // so that they take their place without moving the rows.
    auto* actions = new QHBoxLayout;
    actions->setObjectName(QStringLiteral("Actions"));
    // The readout (读取) comes first.
    infoNotice_ = new QLabel;
    infoNotice_->setObjectName(QStringLiteral("InfoNotice"));
    infoNotice_->setWordWrap(true);
    infoNotice_->setStyleSheet(QStringLiteral("color: #C00000"));
    infoNotice_->hide();
    actions->addWidget(infoNotice_, 1);
    actions->addStretch(1);
    auto* readButton = button(QStringLiteral("读取"), QStringLiteral("ReadInfo"));
    readButton->setAccessibleName(QStringLiteral("读取打印机信息"));
    readButton->setToolTip(QStringLiteral("读取打印机的型号、设置和计数器(只读，不写入任何设置)"));
    connect(readButton, &QPushButton::clicked, this, &FrmDiagnose::readInfo);
    actions->addWidget(readButton);
    auto* room = new QWidget;
    room->setFixedHeight(twips(405));
    actions->addWidget(room);

    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(twips(240), twips(240), twips(240), twips(240));
    whole->setSpacing(twips(180));
    whole->addLayout(rows);
    whole->addStretch(1);
    whole->addLayout(actions);
}

void FrmDiagnose::readInfo() {
    const auto* verdict = findChild<QComboBox*>(QStringLiteral("Verdict_charset"));
    PrinterInfoJob(host_, verdict ? verdict->currentText().toStdString() : std::string(),
                   lastInfo_);
    showCharsetConflict();
    // Input held while the printer was asked is delivered now.
    host_.pumpEvents(std::chrono::milliseconds(0));
}

void FrmDiagnose::showCharsetConflict() {
    const auto* verdict = findChild<QComboBox*>(QStringLiteral("Verdict_charset"));
    const std::optional<std::string> conflict =
        lastInfo_ && verdict
            ? charsetVerdictConflict(*lastInfo_, verdict->currentText().toStdString())
            : std::nullopt;
    infoNotice_->setText(conflict ? qtText(*conflict) : QString());
    infoNotice_->setVisible(conflict.has_value());
}
