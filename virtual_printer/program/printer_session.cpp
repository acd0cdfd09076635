#include "printer_session.h"

#include <QElapsedTimer>

#include "byte_sources.h"
#include "state_commands.h"

namespace vp {

PrinterSession::PrinterSession(Paper paper, int idleEndMs, QObject* parent)
    : QObject(parent), engine_(paper, *this) {
    idle_.setSingleShot(true);
    idle_.setInterval(idleEndMs);
    connect(&idle_, &QTimer::timeout, this, &PrinterSession::endOfStream);
    drawer_.setSingleShot(true);
    connect(&drawer_, &QTimer::timeout, this, [this] {
        PrinterState closed = state();
        closed.drawerOpen = false;
        changeState(closed,
                    " after " + QString::number(drawerOpenMs_ / 1000.0).toStdString() + " s");
    });
    nextTurn_.setSingleShot(true);
    nextTurn_.setInterval(0);
    connect(&nextTurn_, &QTimer::timeout, this, &PrinterSession::decodeReceived);
}

void PrinterSession::attach(ByteSource& source) {
    source_ = &source;
    connect(&source, &ByteSource::opened, this, &PrinterSession::connectionOpened);
    connect(&source, &ByteSource::bytesArrived, this, &PrinterSession::bytesArrived);
    connect(&source, &ByteSource::closed, this, &PrinterSession::connectionClosed);
    updateReading();
}

void PrinterSession::connectionOpened() {
    writerPresent_ = true;
    armIdleEnd();
}

void PrinterSession::bytesArrived(const QByteArray& bytes) {
    endDue_ = true;
    received_ += bytes;
    decodeReceived();
}

void PrinterSession::connectionClosed() {
    writerPresent_ = false;
    endDue_ = true;
    armIdleEnd();
}

void PrinterSession::endOfStream() {
    endDue_ = false;
    idle_.stop();
    nextTurn_.stop();
    received_.clear();
    engine_.endOfStream();
    sendReplies();
    afterPrinting();
    // What printed nothing ended without a receipt: the window stops showing it as printing.
    if (onProgress) onProgress(engine_.current());
    updateReading();
}

void PrinterSession::powerCycle() {
    engine_.powerCycle();
    endOfStream();
}

void PrinterSession::setState(const PrinterState& state) {
    // The drawer moved by hand stays where it was put.
    if (state.drawerOpen != this->state().drawerOpen) drawer_.stop();
    changeState(state, {});
}

void PrinterSession::decodeReceived() {
    QElapsedTimer turn;
    turn.start();
    qsizetype at = 0;
    const bool hadAny = !received_.isEmpty();
    while (at < received_.size() && engine_.acceptsBytes()) {
        // No more than the printer has room for: the rest waits here, not lost.
        const auto room = static_cast<qsizetype>(
            std::min<std::size_t>(engine_.room(), static_cast<std::size_t>(sliceBytes)));
        const qsizetype slice = std::min(room, received_.size() - at);
        engine_.feed(std::string_view(received_.constData() + at, static_cast<std::size_t>(slice)));
        at += slice;
        afterPrinting();
        if (turn.elapsed() >= turnBudgetMs) break;
    }
    received_.remove(0, at);
    if (!received_.isEmpty() && engine_.acceptsBytes()) nextTurn_.start();
    // Full, the printer still answers real-time requests: it reads on for them.
    const auto framed = static_cast<qsizetype>(engine_.framedAhead());
    if (!engine_.acceptsBytes() && framed < received_.size())
        engine_.frameAhead(std::string_view(received_.constData() + framed,
                                            static_cast<std::size_t>(received_.size() - framed)));
    sendReplies();
    updateReading();
    armIdleEnd();
    if (hadAny && onProgress && !engine_.current().empty()) onProgress(engine_.current());
}

void PrinterSession::reply(std::string_view bytes) {
    replies_.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void PrinterSession::sendReplies() {
    if (replies_.isEmpty()) return;
    const QByteArray replies = std::exchange(replies_, {});
    if (source_) source_->reply(replies);
}

void PrinterSession::afterPrinting() {
    if (std::exchange(drawerPulses_, 0) > 0) drawerPulsed();
    for (const Receipt& receipt : std::exchange(ended_, {}))
        if (onReceipt) onReceipt(receipt);
}

void PrinterSession::changeState(const PrinterState& next, const std::string& cause) {
    if (next == state()) return;
    // Lists the changes, then sends automatic status back and prints what it held.
    engine_.setState(next, cause);
    sendReplies();
    if (onStateChanged) onStateChanged(next);
    afterPrinting();
    if (onProgress && !engine_.current().empty()) onProgress(engine_.current());
    if (!received_.isEmpty()) nextTurn_.start();
    updateReading();
    armIdleEnd();
}

void PrinterSession::drawerPulsed() {
    if (drawerOpenMs_ <= 0) return;
    if (state().drawerOpen) {
        // Opened by an earlier pulse: the new one keeps it open longer. Opened by hand: it
        // stays as the person left it.
        if (drawer_.isActive()) drawer_.start(drawerOpenMs_);
        return;
    }
    PrinterState open = state();
    open.drawerOpen = true;
    changeState(open, " by a drawer pulse");
    drawer_.start(drawerOpenMs_);
}

void PrinterSession::updateReading() {
    if (source_)
        source_->setReading(engine_.acceptsBytes() ? received_.isEmpty()
                                                   : received_.size() < readAheadBytes);
}

void PrinterSession::armIdleEnd() {
    // While bytes wait to be decoded, or the printer cannot print, the receipt is not over.
    if (endDue_ && !writerPresent_ && received_.isEmpty() && state().printing())
        idle_.start();
    else
        idle_.stop();
}

}  // namespace vp
