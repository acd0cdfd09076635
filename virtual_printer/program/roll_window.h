#pragma once

#include <QImage>
#include <QMainWindow>
#include <deque>

#include "printed_items.h"
#include "printer_engine.h"
#include "receipt_renderer.h"

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QScrollArea;
class QVBoxLayout;

namespace vp {

// The paper roll on screen: receipts one below the other, the newest at the bottom and the
// one printing now below it, with each receipt's events listed beside the roll, and switches
// for the printer's simulated faults. It keeps the newest receipts within a memory budget and
// says when it lets older ones go.
class RollWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr qint64 defaultMemoryBudget = qint64(256) << 20;
    // The most lines the event list keeps, whatever the pictures take.
    static constexpr int longestEventList = 5000;

    RollWindow(Paper paper, const QString& port, qint64 memoryBudget = defaultMemoryBudget);

    void addReceipt(const Receipt& receipt);
    void showProgress(const Receipt& printing);
    // Something that happened outside a receipt: a change of the printer's state, a closed
    // connection.
    void addEvent(const QString& text);
    // The printer whose state the switches show and ask to change; they show it now.
    void watch(const PrinterEngine& printer);
    // Sets the switches to the printer's state now, without asking for a change.
    void showState();
    // The kept receipts as one picture, in order.
    QImage rollPicture() const;
    bool saveRoll(const QString& path) const;
    void clear();

    // Receipts on the roll now, and those let go to stay within the budget.
    qsizetype receiptCount() const { return static_cast<qsizetype>(kept_.size()); }
    int droppedCount() const { return dropped_; }
    QListWidget* eventList() const { return events_; }
    QScrollArea* rollArea() const { return scroll_; }

signals:
    // A switch was flipped: the state the person wants.
    void stateRequested(const vp::PrinterState& state);
    // The printer's switch: off and on again.
    void powerCycleRequested();
    // The person cleared the roll here, so that the web page's roll is cleared too.
    void clearedByHand();

private:
    struct Kept {
        QImage picture;  // one bit a dot, for saving
        QLabel* label;
        QListWidgetItem* heading;
        qint64 bytes;
    };
    void saveAs();
    void dropOldest();
    void sayDropped();

    ReceiptRenderer renderer_;
    qint64 budget_;
    qint64 used_ = 0;
    std::deque<Kept> kept_;
    int numbered_ = 0;  // receipts shown since the last clear, dropped ones included
    int dropped_ = 0;
    const PrinterEngine* printer_ = nullptr;
    QList<QAction*> switches_;  // in the order of stateFlags
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* roll_ = nullptr;
    QLabel* printing_ = nullptr;  // the receipt not yet finished
    QListWidget* events_ = nullptr;
    QListWidgetItem* droppedNote_ = nullptr;
};

}  // namespace vp
