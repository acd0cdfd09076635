#include "printer_session.h"

#include "byte_sources.h"

namespace vp {

PrinterSession::PrinterSession(Paper paper, int idleEndMs, QObject* parent)
    : QObject(parent), roll_(paper) {
    idle_.setSingleShot(true);
    idle_.setInterval(idleEndMs);
    connect(&idle_, &QTimer::timeout, this, &PrinterSession::endOfStream);
}

void PrinterSession::attach(ByteSource& source) {
    connect(&source, &ByteSource::opened, this, &PrinterSession::connectionOpened);
    connect(&source, &ByteSource::bytesArrived, this, &PrinterSession::bytesArrived);
    connect(&source, &ByteSource::closed, this, &PrinterSession::connectionClosed);
}

void PrinterSession::connectionOpened() {
    writerPresent_ = true;
    idle_.stop();
}

void PrinterSession::bytesArrived(const QByteArray& bytes) {
    roll_.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    // Bytes still draining after the writer left put the end off.
    if (!writerPresent_) idle_.start();
    deliver();
    if (onProgress && !roll_.current().empty()) onProgress(roll_.current());
}

void PrinterSession::connectionClosed() {
    writerPresent_ = false;
    idle_.start();
}

void PrinterSession::endOfStream() {
    idle_.stop();
    roll_.endOfStream();
    deliver();
}

void PrinterSession::deliver() {
    for (const Receipt& receipt : roll_.takeFinished())
        if (onReceipt) onReceipt(receipt);
}

}  // namespace vp
