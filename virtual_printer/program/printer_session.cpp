#include "printer_session.h"

#include <QElapsedTimer>

#include "byte_sources.h"
#include "state_commands.h"

namespace vp {

PrinterSession::PrinterSession(Paper paper, int idleEndMs, QObject* parent)
    : QObject(parent), roll_(paper) {
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
    roll_.endOfStream();
    collect();
    updateReading();
}

void PrinterSession::setState(const PrinterState& state) {
    // The drawer moved by hand stays where it was put.
    if (state.drawerOpen != state_.drawerOpen) drawer_.stop();
    changeState(state, {});
}

void PrinterSession::decodeReceived() {
    QElapsedTimer turn;
    turn.start();
    qsizetype at = 0;
    const bool hadAny = !received_.isEmpty();
    while (at < received_.size() && roll_.decoder().acceptsBytes()) {
        // No more than the printer has room for: the rest waits here, not lost.
        const auto room = static_cast<qsizetype>(
            std::min<std::size_t>(roll_.decoder().room(), static_cast<std::size_t>(sliceBytes)));
        const qsizetype slice = std::min(room, received_.size() - at);
        roll_.feed(std::string_view(received_.constData() + at, static_cast<std::size_t>(slice)));
        at += slice;
        collect();
        if (turn.elapsed() >= turnBudgetMs) break;
    }
    received_.remove(0, at);
    if (!received_.isEmpty() && roll_.decoder().acceptsBytes()) nextTurn_.start();
    updateReading();
    armIdleEnd();
    if (hadAny && onProgress && !roll_.current().empty()) onProgress(roll_.current());
}

void PrinterSession::collect() {
    Decoder& decoder = roll_.decoder();
    if (const std::string replies = decoder.takeReplies(); !replies.empty() && source_)
        source_->reply(QByteArray(replies.data(), static_cast<qsizetype>(replies.size())));
    if (decoder.takeDrawerPulses() > 0) drawerPulsed();
    for (const Receipt& receipt : roll_.takeFinished())
        if (onReceipt) onReceipt(receipt);
}

void PrinterSession::changeState(const PrinterState& next, const std::string& cause) {
    const PrinterState before = state();
    if (next == before) return;
    state_ = next;
    // Through the roll: a receipt that was held whole, cut and all, is finished now.
    roll_.setState(next);
    for (const std::string& change : describeChanges(before, next))
        if (onEvent) onEvent(change + cause);
    if (onStateChanged) onStateChanged(next);
    // Automatic status back, and whatever the printer held while it could not print.
    collect();
    if (onProgress && !roll_.current().empty()) onProgress(roll_.current());
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
    if (source_) source_->setReading(received_.isEmpty() && roll_.decoder().acceptsBytes());
}

void PrinterSession::armIdleEnd() {
    // While bytes wait to be decoded, or the printer cannot print, the receipt is not over.
    if (endDue_ && !writerPresent_ && received_.isEmpty() && state().printing())
        idle_.start();
    else
        idle_.stop();
}

}  // namespace vp
