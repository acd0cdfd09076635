#pragma once

#include <QImage>
#include <QList>
#include <QMainWindow>

#include "printed_items.h"
#include "receipt_renderer.h"

class QLabel;
class QListWidget;
class QScrollArea;
class QVBoxLayout;

namespace vp {

// The paper roll on screen: receipts one below the other, the newest at the bottom and the
// one printing now below it, with each receipt's events listed beside the roll.
class RollWindow : public QMainWindow {
    Q_OBJECT
public:
    RollWindow(Paper paper, const QString& port);

    void addReceipt(const Receipt& receipt);
    void showProgress(const Receipt& printing);
    // The whole roll as one picture, receipts in order.
    QImage rollPicture() const;
    bool saveRoll(const QString& path) const;
    void clear();

    qsizetype receiptCount() const { return pictures_.size(); }
    QListWidget* eventList() const { return events_; }
    QScrollArea* rollArea() const { return scroll_; }

private:
    void saveAs();
    QLabel* paperLabel(const QImage& picture);

    ReceiptRenderer renderer_;
    QList<QImage> pictures_;
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* roll_ = nullptr;
    QLabel* printing_ = nullptr;  // the receipt not yet finished
    QListWidget* events_ = nullptr;
};

}  // namespace vp
