#include "frm_diagnose.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "controls.h"
#include "fonts.h"
#include "job_host.h"
#include "port_error.h"
#include "printer_report.h"
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

PictureButton* actionButton(const QString& caption, const QString& name, QWidget* parent) {
    auto* button = new PictureButton(caption, QPixmap(QStringLiteral(":/assets/face_plain.jpg")),
                                     parent->palette().color(QPalette::Button), parent);
    button->setObjectName(name);
    button->setFixedSize(twips(915), twips(405));
    button->setFont(faceFont(songFace(), 9, true));
    button->setCursor(handCursor());
    return button;
}

QLabel* heading(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(faceFont(songFace(), 10.5, true));
    fill(label, QPalette::Window, kPanelLilac);
    label->setContentsMargins(4, 2, 4, 2);
    return label;
}

}  // namespace

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

        auto* printButton =
            actionButton(QStringLiteral("打印"), QStringLiteral("Print_") + key, this);
        printButton->setAccessibleName(QStringLiteral("打印") + qtText(info.name));
        connect(printButton, &QPushButton::clicked, this, [this, page = info.page] {
            if (std::optional<std::string> printedAt = print_(page))
                printedAt_[page] = std::move(*printedAt);
        });

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

    // The strip below the pages holds the window's own actions: reading the printer back, a
    // burn-in run, saving the verdicts as a report.
    auto* actions = new QHBoxLayout;
    actions->setObjectName(QStringLiteral("Actions"));
    infoNotice_ = new QLabel;
    infoNotice_->setObjectName(QStringLiteral("InfoNotice"));
    infoNotice_->setWordWrap(true);
    infoNotice_->setStyleSheet(QStringLiteral("color: #C00000"));
    infoNotice_->hide();
    actions->addWidget(infoNotice_, 1);
    actions->addStretch(1);
    auto* readButton = actionButton(QStringLiteral("读取"), QStringLiteral("ReadInfo"), this);
    readButton->setAccessibleName(QStringLiteral("读取打印机信息"));
    readButton->setToolTip(QStringLiteral("读取打印机的型号、设置和计数器(只读，不写入任何设置)"));
    connect(readButton, &QPushButton::clicked, this, &FrmDiagnose::readInfo);
    actions->addWidget(readButton);
    auto* room = new QWidget;
    room->setFixedHeight(twips(405));
    actions->addWidget(room);

    // 烧机 (burn-in): the rounds box and the buttons in the strip, where the run stands in a
    // row above it, what it came to below that.
    BurnInControls& burnIn = burnInControls_;
    burnIn.rounds = new QSpinBox;
    burnIn.rounds->setObjectName(QStringLiteral("BurnInRounds"));
    burnIn.rounds->setRange(1, mostBurnInRounds);
    burnIn.rounds->setValue(10);
    burnIn.rounds->setSuffix(QStringLiteral(" 轮"));
    burnIn.rounds->setAccessibleName(QStringLiteral("烧机轮数"));
    fill(burnIn.rounds, QPalette::Base, kBoxYellow);
    burnIn.start = actionButton(QStringLiteral("烧机"), QStringLiteral("BurnIn"), this);
    burnIn.stop = actionButton(QStringLiteral("停止"), QStringLiteral("StopBurnIn"), this);
    burnIn.stop->setEnabled(false);
    connect(burnIn.start, &QPushButton::clicked, this, &FrmDiagnose::startBurnIn);
    connect(burnIn.stop, &QPushButton::clicked, this, [this] { stopBurnIn_ = true; });
    auto* stopKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stopKey, &QShortcut::activated, this, [this] { stopBurnIn_ = true; });
    actions->addWidget(burnIn.rounds);
    actions->addWidget(burnIn.start);
    actions->addWidget(burnIn.stop);

    auto* saveButton = actionButton(QStringLiteral("保存报告"), QStringLiteral("SaveReport"), this);
    saveButton->setFixedWidth(twips(1215));
    saveButton->setAccessibleName(QStringLiteral("保存报告"));
    connect(saveButton, &QPushButton::clicked, this, &FrmDiagnose::saveReport);
    actions->addWidget(saveButton);

    auto* burnInRow = new QHBoxLayout;
    burnIn.bar = new QProgressBar;
    burnIn.bar->setObjectName(QStringLiteral("BurnInProgress"));
    burnIn.bar->setValue(0);
    burnIn.round = new QLabel;
    burnIn.round->setObjectName(QStringLiteral("BurnInRound"));
    burnIn.elapsed = new QLabel;
    burnIn.elapsed->setObjectName(QStringLiteral("BurnInElapsed"));
    burnIn.status = new QLabel;
    burnIn.status->setObjectName(QStringLiteral("BurnInStatus"));
    burnInRow->addWidget(heading(QStringLiteral("烧机")));
    burnInRow->addWidget(burnIn.bar, 1);
    for (QLabel* label : {burnIn.round, burnIn.elapsed, burnIn.status}) {
        label->setMinimumWidth(twips(1200));
        burnInRow->addWidget(label);
    }
    burnIn.summary = new QPlainTextEdit;
    burnIn.summary->setObjectName(QStringLiteral("BurnInSummary"));
    burnIn.summary->setReadOnly(true);
    burnIn.summary->setAccessibleName(QStringLiteral("烧机结果"));
    burnIn.summary->setFixedHeight(burnIn.summary->fontMetrics().lineSpacing() * 12);
    burnIn.summary->hide();

    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(twips(240), twips(240), twips(240), twips(240));
    whole->setSpacing(twips(180));
    whole->addLayout(rows);
    whole->addStretch(1);
    whole->addLayout(burnInRow);
    whole->addWidget(burnIn.summary);
    whole->addLayout(actions);
}

void FrmDiagnose::startBurnIn() {
    if (!burnIn_ || burnInRunning_) return;
    const int rounds = burnInControls_.rounds->value();
    burnInControls_.bar->setRange(0, rounds);
    burnInControls_.bar->setValue(0);
    burnInControls_.round->setText(QStringLiteral("第 0/%1 轮").arg(rounds));
    burnInControls_.elapsed->clear();
    burnInControls_.status->clear();
    setBurnInRunning(true);
    const BurnInResult result = burnIn_(
        rounds, [this](const BurnInProgress& progress) { return showBurnInProgress(progress); });
    setBurnInRunning(false);
    lastBurnIn_ = result;
    burnInControls_.elapsed->setText(
        QStringLiteral("已用 %1 s").arg(double(result.elapsed.count()) / 1000, 0, 'f', 1));
    burnInControls_.status->setText(result.passed() ? QStringLiteral("合格")
                                                    : QStringLiteral("不合格"));
    burnInControls_.summary->setPlainText(qtText(burnInSummaryText(result)));
    burnInControls_.summary->show();
    if (std::exchange(closeAfterBurnIn_, false)) close();
}

bool FrmDiagnose::showBurnInProgress(const BurnInProgress& progress) {
    burnInControls_.bar->setValue(progress.round);
    burnInControls_.round->setText(
        QStringLiteral("第 %1/%2 轮").arg(progress.round).arg(progress.rounds));
    burnInControls_.elapsed->setText(
        QStringLiteral("已用 %1 s").arg(double(progress.elapsed.count()) / 1000, 0, 'f', 1));
    burnInControls_.status->setText(QStringLiteral("状态：") + qtText(progress.lastStatus));
    return !stopBurnIn_;
}

void FrmDiagnose::setBurnInRunning(bool running) {
    burnInRunning_ = running;
    stopBurnIn_ = false;
    burnInControls_.start->setEnabled(!running);
    burnInControls_.rounds->setEnabled(!running);
    burnInControls_.stop->setEnabled(running);
    // A page printed between rounds would land among the burn-in's receipts.
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->objectName().startsWith(QStringLiteral("Print_"))) button->setEnabled(!running);
}

void FrmDiagnose::closeEvent(QCloseEvent* event) {
    // The window is the run's own: it goes once the round printing now has ended.
    if (burnInRunning_) {
        stopBurnIn_ = closeAfterBurnIn_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

ReportContent FrmDiagnose::reportContent() const {
    ReportContent content;
    content.madeAt = reportTimeNow();
    try {
        content.port = host_.portName();
    } catch (const PortError&) {
        // A selector that cannot be read names no port; the report says what it denotes.
    }
    content.portMeaning = portMeaning(content.port);
    content.info = lastInfo_;
    content.status = lastStatus_;
    content.burnIn = lastBurnIn_;
    content.toolVersion = PRINTER_TESTER_VERSION;
    for (const DiagnosticPageInfo& info : diagnosticPages()) {
        const QString key = qtText(info.key);
        const auto* verdict = findChild<QComboBox*>(QStringLiteral("Verdict_") + key);
        const auto* note = findChild<QLineEdit*>(QStringLiteral("Note_") + key);
        const auto printed = printedAt_.find(info.page);
        content.pages.push_back({info.page,
                                 printed == printedAt_.end() ? std::string() : printed->second,
                                 verdict->currentText().toStdString(), note->text().toStdString()});
    }
    return content;
}

QString FrmDiagnose::proposedReportPath(const ReportContent& content) const {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    return QDir(folder).filePath(qtText(reportFileName(content)));
}

void FrmDiagnose::saveReport() {
    const ReportContent content = reportContent();
    QFileDialog dialog(this, QStringLiteral("保存报告"), proposedReportPath(content),
                       QStringLiteral("PDF 文件 (*.pdf);;HTML 网页 (*.html *.htm)"));
    dialog.setObjectName(QStringLiteral("SaveReportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    // A name typed without its ending gets the chosen form's.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.startsWith(QStringLiteral("HTML")) ? QStringLiteral("html")
                                                                          : QStringLiteral("pdf"));
    });
    dialog.selectFile(proposedReportPath(content));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().front();
    // The dialog asked before it gave a file that is there; one that appears after it is kept.
    const bool replaceAsked = QFileInfo::exists(path);
    if (const auto failure = writeReport(content, path.toStdString(), replaceAsked))
        QMessageBox::critical(this, QStringLiteral("保存报告"),
                              QStringLiteral("报告未能保存到 %1：%2").arg(path, qtText(*failure)));
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
