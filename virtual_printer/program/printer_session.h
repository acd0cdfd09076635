#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

#include "paper_roll.h"

namespace vp {

class ByteSource;

// Turns a source's bytes and connections into receipts. A receipt ends at a cut, or once the
// stream has been quiet for `idleEnd` after its writer left: the tester closes and reopens
// its port within a receipt, and that must stay one picture. Nothing runs while it waits.
class PrinterSession : public QObject {
    Q_OBJECT
public:
    explicit PrinterSession(Paper paper, int idleEndMs = 1000, QObject* parent = nullptr);

    void attach(ByteSource& source);

    void connectionOpened();
    void bytesArrived(const QByteArray& bytes);
    void connectionClosed();
    // Ends the receipt now, as when the program stops.
    void endOfStream();

    const Receipt& current() const { return roll_.current(); }
    const Paper& paper() const { return roll_.paper(); }

    std::function<void(const Receipt&)> onReceipt;
    // The receipt printing now has more on it.
    std::function<void(const Receipt&)> onProgress;

private:
    void deliver();

    PaperRoll roll_;
    QTimer idle_;
    bool writerPresent_ = false;
};

}  // namespace vp
