#include "roll_window.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace vp {
namespace {
// The roll is one continuous paper: receipts follow each other without a gap, so that a cut
// sent on its own shows at the end of the receipt before it.
constexpr int gapBetweenReceipts = 0;
}  // namespace

RollWindow::RollWindow(Paper paper, const QString& port) : renderer_(paper) {
    setWindowTitle(tr("Virtual printer — %1").arg(port));

    auto* paperColumn = new QWidget;
    roll_ = new QVBoxLayout(paperColumn);
    roll_->setSpacing(gapBetweenReceipts);
    roll_->addStretch(1);  // receipts gather at the bottom, like paper leaving the printer
    printing_ = new QLabel;
    printing_->hide();
    roll_->addWidget(printing_, 0, Qt::AlignHCenter);

    scroll_ = new QScrollArea;
    scroll_->setWidget(paperColumn);
    scroll_->setWidgetResizable(true);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setMinimumWidth(paper.widthDots() + 40);
    // Follow the paper out while it prints.
    connect(scroll_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int maximum) { scroll_->verticalScrollBar()->setValue(maximum); });

    events_ = new QListWidget;
    auto* splitter = new QSplitter;
    splitter->addWidget(scroll_);
    splitter->addWidget(events_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    QToolBar* tools = addToolBar(tr("Roll"));
    QAction* save = tools->addAction(tr("Save as PNG…"), this, &RollWindow::saveAs);
    save->setShortcut(QKeySequence::Save);
    QAction* wipe = tools->addAction(tr("Clear"), this, &RollWindow::clear);
    wipe->setShortcut(Qt::CTRL | Qt::Key_L);
    statusBar()->showMessage(tr("port: %1").arg(port));
    resize(paper.widthDots() + 400, 800);
}

QLabel* RollWindow::paperLabel(const QImage& picture) {
    auto* label = new QLabel;
    label->setPixmap(QPixmap::fromImage(picture));
    return label;
}

void RollWindow::addReceipt(const Receipt& receipt) {
    const QImage picture = renderer_.render(receipt);
    pictures_ << picture;
    roll_->insertWidget(roll_->count() - 1, paperLabel(picture), 0, Qt::AlignHCenter);
    printing_->hide();

    auto* heading = new QListWidgetItem(tr("Receipt %1").arg(pictures_.size()));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    events_->addItem(heading);
    for (const std::string& event : receipt.events())
        events_->addItem(QStringLiteral("    ") + QString::fromStdString(event));
    events_->scrollToBottom();
}

void RollWindow::showProgress(const Receipt& printing) {
    printing_->setPixmap(QPixmap::fromImage(renderer_.render(printing)));
    printing_->show();
}

QImage RollWindow::rollPicture() const {
    int height = 0, width = 0;
    for (const QImage& picture : pictures_) {
        height += picture.height() + gapBetweenReceipts;
        width = std::max(width, picture.width());
    }
    QImage roll(std::max(width, 1), std::max(height - gapBetweenReceipts, 1), QImage::Format_RGB32);
    roll.fill(Qt::white);
    QPainter painter(&roll);
    int top = 0;
    for (const QImage& picture : pictures_) {
        painter.drawImage(0, top, picture);
        top += picture.height() + gapBetweenReceipts;
    }
    return roll;
}

bool RollWindow::saveRoll(const QString& path) const {
    return savePicture(rollPicture(), path);
}

void RollWindow::saveAs() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save the roll"), QStringLiteral("roll.png"), tr("PNG pictures (*.png)"));
    if (!path.isEmpty() && !saveRoll(path))
        QMessageBox::critical(this, tr("Save the roll"), tr("Could not write %1.").arg(path));
}

void RollWindow::clear() {
    pictures_.clear();
    while (roll_->count() > 2) {
        QLayoutItem* item = roll_->takeAt(1);
        delete item->widget();
        delete item;
    }
    printing_->hide();
    events_->clear();
}

}  // namespace vp
