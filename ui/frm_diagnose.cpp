#include "frm_diagnose.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
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

        auto* printButton = new PictureButton(QStringLiteral("打印"),
                                              QPixmap(QStringLiteral(":/assets/face_plain.jpg")),
                                              palette().color(QPalette::Button), this);
        printButton->setObjectName(QStringLiteral("Print_") + key);
        printButton->setFixedSize(twips(915), twips(405));
        printButton->setFont(faceFont(songFace(), 9, true));
        printButton->setCursor(handCursor());
        printButton->setAccessibleName(QStringLiteral("打印") + qtText(info.name));
        connect(printButton, &QPushButton::clicked, this, [this, page = info.page] {
            if (print_(page))
                printedAt_[page] = QDateTime::currentDateTime()
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                       .toStdString();
        });

        auto* verdict = new QComboBox;
        verdict->setObjectName(QStringLiteral("Verdict_") + key);
        verdict->addItems({QStringLiteral("未测"), QStringLiteral("正常"), QStringLiteral("异常")});
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
    actions->addStretch(1);
    auto* room = new QWidget;
    room->setFixedHeight(twips(405));
    actions->addWidget(room);
    auto* saveButton = new PictureButton(QStringLiteral("保存报告"),
                                         QPixmap(QStringLiteral(":/assets/face_plain.jpg")),
                                         palette().color(QPalette::Button), this);
    saveButton->setObjectName(QStringLiteral("SaveReport"));
    saveButton->setFixedSize(twips(1215), twips(405));
    saveButton->setFont(faceFont(songFace(), 9, true));
    saveButton->setCursor(handCursor());
    saveButton->setAccessibleName(QStringLiteral("保存报告"));
    connect(saveButton, &QPushButton::clicked, this, &FrmDiagnose::saveReport);
    actions->addWidget(saveButton);

    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(twips(240), twips(240), twips(240), twips(240));
    whole->setSpacing(twips(180));
    whole->addLayout(rows);
    whole->addStretch(1);
    whole->addLayout(actions);
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
