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
#include <iterator>

#include "state_commands.h"

namespace vp {
namespace {
// The roll is one continuous paper: receipts follow each other without a gap, so that a cut
// sent on its own shows at the end of the receipt before it.
constexpr int gapBetweenReceipts = 0;
}  // namespace

RollWindow::RollWindow(Paper paper, const QString& port, qint64 memoryBudget)
    : renderer_(paper), budget_(memoryBudget) {
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
    QAction* wipe = tools->addAction(tr("Clear"), this, [this] {
        clear();
        emit clearedByHand();
    });
    wipe->setShortcut(Qt::CTRL | Qt::Key_L);

    // The faults a technician wants to see the sender cope with, and the drawer sensor.
    QToolBar* faults = addToolBar(tr("Printer state"));
    const QString labels[] = {tr("Cover open"), tr("Paper near end"), tr("Paper end"),
                              tr("Drawer open")};
    const QString tips[] = {
        tr("The cover is open: the printer stops printing and keeps what it receives"),
        tr("The paper roll is nearly used up: the printer says so and prints on"),
        tr("The paper has run out: the printer stops printing and keeps what it receives"),
        tr("The drawer's sensor reads open; a drawer pulse also opens it for a while"),
    };
    static_assert(std::size(labels) == std::size(stateFlags));
    for (std::size_t i = 0; i < std::size(stateFlags); ++i) {
        QAction* flip = faults->addAction(labels[i]);
        flip->setCheckable(true);
        flip->setToolTip(tips[i]);
        connect(flip, &QAction::triggered, this, [this, i](bool on) {
            PrinterState wanted = printer_ ? printer_->state() : PrinterState{};
            wanted.*stateFlags[i].member = on;
            emit stateRequested(wanted);
        });
        switches_ << flip;
    }
    // As the power switch of a real printer: the one way out of its hex dump mode.
    QAction* power =
        faults->addAction(tr("Switch off and on"), this, &RollWindow::powerCycleRequested);
    power->setToolTip(
        tr("The printer restarts: it loses what it has not printed and leaves hex dump mode"));
    statusBar()->showMessage(tr("port: %1").arg(port));
    resize(paper.widthDots() + 400, 800);
}

void RollWindow::watch(const PrinterEngine& printer) {
    printer_ = &printer;
    showState();
}

void RollWindow::showState() {
    if (!printer_) return;
    const PrinterState& state = printer_->state();
    for (std::size_t i = 0; i < std::size(stateFlags); ++i)
        switches_[static_cast<qsizetype>(i)]->setChecked(state.*stateFlags[i].member);
}

void RollWindow::addReceipt(const Receipt& receipt) {
    Kept kept;
    kept.picture = renderer_.render(receipt).convertToFormat(QImage::Format_Mono);
    kept.label = new QLabel;
    kept.label->setPixmap(QPixmap::fromImage(kept.picture));
    const QPixmap& shown = kept.label->pixmap();
    kept.bytes = kept.picture.sizeInBytes() +
                 qint64(shown.width()) * shown.height() * std::max(shown.depth(), 8) / 8;
    roll_->insertWidget(roll_->count() - 1, kept.label, 0, Qt::AlignHCenter);
    printing_->hide();

    kept.heading = new QListWidgetItem(tr("Receipt %1").arg(++numbered_));
    QFont bold = kept.heading->font();
    bold.setBold(true);
    kept.heading->setFont(bold);
    events_->addItem(kept.heading);
    for (const std::string& event : receipt.events())
        events_->addItem(QStringLiteral("    ") + QString::fromStdString(event));
    used_ += kept.bytes;
    kept_.push_back(std::move(kept));
    // The newest receipt stays whatever it takes.
    const qsizetype before = receiptCount();
    while (kept_.size() > 1 && (used_ > budget_ || events_->count() > longestEventList))
        dropOldest();
    if (receiptCount() != before) sayDropped();
    events_->scrollToBottom();
}

void RollWindow::addEvent(const QString& text) {
    auto* item = new QListWidgetItem(text);
    QFont italic = item->font();
    italic.setItalic(true);
    item->setFont(italic);
    events_->addItem(item);
    // With no receipt to let go of, the oldest lines go.
    while (events_->count() > longestEventList && !kept_.empty()) dropOldest();
    while (events_->count() > longestEventList) delete events_->takeItem(droppedNote_ ? 1 : 0);
    events_->scrollToBottom();
}

void RollWindow::dropOldest() {
    const Kept oldest = kept_.front();
    kept_.pop_front();
    used_ -= oldest.bytes;
    ++dropped_;
    roll_->removeWidget(oldest.label);
    delete oldest.label;
    // Its heading, its events and the events before the next receipt go with it.
    QListWidgetItem* nextHeading = kept_.empty() ? nullptr : kept_.front().heading;
    const int first = droppedNote_ ? 1 : 0;
    while (events_->count() > first && events_->item(first) != nextHeading)
        delete events_->takeItem(first);
}

void RollWindow::sayDropped() {
    const QString note =
        tr("Receipts up to %1 are no longer shown: the window keeps the newest %2 MB of pictures")
            .arg(dropped_)
            .arg(budget_ >> 20);
    if (!droppedNote_) {
        droppedNote_ = new QListWidgetItem;
        events_->insertItem(0, droppedNote_);
    }
    droppedNote_->setText(note);
    statusBar()->showMessage(note, 10000);
}

void RollWindow::showProgress(const Receipt& printing) {
    // Events alone print nothing, and a stream of them alone is no receipt: no picture for them.
    if (printing.events().size() == printing.items.size()) {
        printing_->hide();
        return;
    }
    printing_->setPixmap(QPixmap::fromImage(renderer_.render(printing)));
    printing_->show();
}

QImage RollWindow::rollPicture() const {
    int height = 0, width = 0;
    for (const Kept& kept : kept_) {
        height += kept.picture.height() + gapBetweenReceipts;
        width = std::max(width, kept.picture.width());
    }
    QImage roll(std::max(width, 1), std::max(height - gapBetweenReceipts, 1), QImage::Format_RGB32);
    roll.fill(Qt::white);
    QPainter painter(&roll);
    int top = 0;
    for (const Kept& kept : kept_) {
        painter.drawImage(0, top, kept.picture);
        top += kept.picture.height() + gapBetweenReceipts;
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
    for (const Kept& kept : kept_) {
        roll_->removeWidget(kept.label);
        delete kept.label;
    }
    kept_.clear();
    used_ = 0;
    numbered_ = 0;
    dropped_ = 0;
    droppedNote_ = nullptr;
    printing_->hide();
    events_->clear();
}

}  // namespace vp
