#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "output_sink.h"
#include "printer_engine.h"
#include "printer_state.h"

namespace vp {

class ByteSource;

// Turns a source's bytes and connections into receipts, and is the printer the source's
// writer talks to: its answers go back on the same line as soon as they arise, and its
// simulated faults decide whether the source may read on. A receipt ends at a cut, or once
// the stream has been quiet for `idleEnd` after its writer left: the tester closes and
// reopens its port within a receipt, and that must stay one picture. Nothing runs while it
// waits. The printer itself, its state included, is the engine: the session moves bytes into
// it, passes on what it puts out, and runs the clocks (the idle end, the drawer closing).
class PrinterSession : public QObject, private OutputSink {
    Q_OBJECT
public:
    explicit PrinterSession(Paper paper, int idleEndMs = 1000, QObject* parent = nullptr);

    void attach(ByteSource& source);

    void connectionOpened();
    void bytesArrived(const QByteArray& bytes);
    void connectionClosed();
    // Ends the receipt now, as when the program stops or a file is over. Bytes received but
    // not yet decoded are dropped.
    void endOfStream();
    // The printer switched off and on, as the `reset` line and the window's switch do: what
    // it had received and not printed is lost, and it leaves hex dump mode.
    void powerCycle();

    // The simulated printer's faults and sensors, changed by hand or by a script. Each
    // difference is listed through onEvent. A drawer opened by a pulse closes by itself after
    // a while, unless it is opened or closed by hand meanwhile; one opened by hand stays open.
    void setState(const PrinterState& state);
    const PrinterState& state() const { return engine_.state(); }
    const PrinterEngine& printer() const { return engine_; }
    // How long the drawer stays open after a drawer pulse; 0 leaves the sensor alone.
    void setDrawerOpenMs(int ms) { drawerOpenMs_ = ms; }

    const Receipt& current() const { return engine_.current(); }
    const Paper& paper() const { return engine_.paper(); }

    std::function<void(const Receipt&)> onReceipt;
    // The receipt printing now has more on it.
    std::function<void(const Receipt&)> onProgress;
    // A change of the printer's state, e.g. "cover-open set".
    std::function<void(const std::string&)> onEvent;
    std::function<void(const PrinterState&)> onStateChanged;

    // Bytes decoded between two looks at the clock, and the time one turn of the event loop
    // may spend decoding: a stream of tiny receipts must not keep a signal waiting.
    static constexpr qsizetype sliceBytes = 256;
    static constexpr int turnBudgetMs = 20;
    // What is read on for real-time requests while the printer takes no bytes; the writer is
    // held back beyond it.
    static constexpr qsizetype readAheadBytes = 64 << 10;

private:
    // Decodes what has been received, as far as the printer takes it and the turn allows.
    void decodeReceived();
    // What the engine puts out. Replies go back together once the engine has returned from
    // the bytes of a turn (sendReplies): a client that asks several questions in one write
    // and reads once gets every answer. A drawer pulse changes the state and a receipt is
    // passed on once the engine has returned (afterPrinting), in that order.
    void receiptEnded(Receipt&& receipt) override { ended_.push_back(std::move(receipt)); }
    void reply(std::string_view bytes) override;
    void drawerPulse() override { ++drawerPulses_; }
    void event(const std::string& text) override {
        if (onEvent) onEvent(text);
    }
    void sendReplies();
    void afterPrinting();
    void changeState(const PrinterState& next, const std::string& cause);
    void drawerPulsed();
    void updateReading();
    void armIdleEnd();

    PrinterEngine engine_;
    std::vector<Receipt> ended_;
    QByteArray replies_;  // made since the engine was last given bytes or a state
    int drawerPulses_ = 0;
    ByteSource* source_ = nullptr;
    QTimer idle_, drawer_, nextTurn_;
    // Undecoded: a chunk or two, or up to readAheadBytes more while the printer is full.
    QByteArray received_;
    bool writerPresent_ = false;
    bool endDue_ = false;  // a writer left or bytes came since the last end of a receipt
    int drawerOpenMs_ = 2000;
};

}  // namespace vp
