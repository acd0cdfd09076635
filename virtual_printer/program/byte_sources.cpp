#include "byte_sources.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QHostInfo>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <utility>

namespace vp {
namespace {

// The system's reason in English, whatever the locale: what the program prints stays English.
std::string lastError() {
    return strerrordesc_np(errno);
}

// One read of up to a chunk, tried again when a signal interrupts it; `chunk` holds what came.
ssize_t readChunkFrom(int fd, QByteArray& chunk) {
    chunk = QByteArray(ByteSource::chunkBytes, Qt::Uninitialized);
    ssize_t got;
    do {
        got = ::read(fd, chunk.data(), static_cast<std::size_t>(chunk.size()));
    } while (got < 0 && errno == EINTR);
    chunk.truncate(std::max<ssize_t>(got, 0));
    return got;
}

}  // namespace

// One open descriptor the printer reads from and answers on. It reads one chunk each time
// the descriptor is readable and reading is on, so that one busy writer cannot keep the event
// loop, and a signal, waiting. Answers that cannot be written at once wait for the descriptor
// to take them, up to a printer's small send buffer; beyond it they are lost, as on a printer
// whose host does not read.
class DescriptorLine : public QObject {
public:
    enum class Kind { Socket, Terminal };
    static constexpr qsizetype sendBufferBytes = 4096;

    DescriptorLine(int fd, Kind kind)
        : fd_(fd),
          kind_(kind),
          read_(fd, QSocketNotifier::Read),
          write_(fd, QSocketNotifier::Write) {
        write_.setEnabled(false);
        connect(&read_, &QSocketNotifier::activated, this, [this] {
            if (onReadable)
                onReadable();
            else
                readChunk();
        });
        connect(&write_, &QSocketNotifier::activated, this, [this] { flush(); });
    }
    ~DescriptorLine() override { shut(); }

    // The bytes of each chunk read; and the end of the stream or an error: the writer is gone.
    std::function<void(const QByteArray&)> onBytes;
    std::function<void()> onEnd;
    // Instead of reading a chunk when the descriptor is readable, for an owner that looks
    // after each read itself.
    std::function<void()> onReadable;

    void setReading(bool on) {
        if (fd_ >= 0) read_.setEnabled(on);
    }
    // Reads one chunk if one is waiting; returns its size (0 when none was).
    qsizetype readChunk() {
        if (fd_ < 0) return 0;
        QByteArray chunk;
        const ssize_t got = readChunkFrom(fd_, chunk);
        if (got > 0) {
            if (onBytes) onBytes(chunk);
            return got;
        }
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            shut();
            if (onEnd) onEnd();
        }
        return 0;
    }
    void write(const QByteArray& bytes) {
        if (fd_ < 0) return;
        unsent_ += bytes.left(sendBufferBytes - unsent_.size());
        flush();
    }
    void dropUnsent() {
        unsent_.clear();
        write_.setEnabled(false);
    }
    // Closes the descriptor; the object may still be in a caller's frame, so it stays alive.
    void shut() {
        if (fd_ < 0) return;
        read_.setEnabled(false);
        write_.setEnabled(false);
        if (kind_ == Kind::Socket) ::close(fd_);
        fd_ = -1;
    }

private:
    void flush() {
        while (!unsent_.isEmpty() && fd_ >= 0) {
            const auto size = static_cast<std::size_t>(unsent_.size());
            // A client that has gone must not end the program through SIGPIPE.
            const ssize_t sent = kind_ == Kind::Socket
                                     ? ::send(fd_, unsent_.constData(), size, MSG_NOSIGNAL)
                                     : ::write(fd_, unsent_.constData(), size);
            if (sent > 0) {
                unsent_.remove(0, sent);
            } else if (sent < 0 && errno == EINTR) {
                continue;
            } else {
                if (errno != EAGAIN && errno != EWOULDBLOCK) unsent_.clear();
                break;
            }
        }
        write_.setEnabled(!unsent_.isEmpty());
    }

    int fd_;
    Kind kind_;
    QSocketNotifier read_, write_;
    QByteArray unsent_;
};

void ByteSource::setReading(bool on) {
    if (reading_ == on) return;
    reading_ = on;
    readingChanged();
}

PtySource::PtySource(QObject* parent) : ByteSource(parent) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        const std::string why = lastError();
        if (master_ >= 0) ::close(master_);
        throw std::runtime_error("no pseudo-terminal: " + why);
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) {
        const std::string why = lastError();
        ::close(master_);
        throw std::runtime_error("cannot open " + std::string(name) + ": " + why);
    }
    // Every byte as written: no line-end translation, no echo, no line editing.
    cfmakeraw(&settings);
    tcsetattr(slave_, TCSANOW, &settings);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Opened after our own descriptor, so only other processes' opens and closes count.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 &&
        inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    line_ = std::make_unique<DescriptorLine>(master_, DescriptorLine::Kind::Terminal);
    line_->onBytes = [this](const QByteArray& bytes) { emit bytesArrived(bytes); };
    line_->onReadable = [this] { readMaster(); };
    if (watch_ >= 0) {
        watchNotifier_ = new QSocketNotifier(watch_, QSocketNotifier::Read, this);
        connect(watchNotifier_, &QSocketNotifier::activated, this, &PtySource::readWatch);
    }
}

PtySource::~PtySource() {
    line_.reset();
    if (watch_ >= 0) ::close(watch_);
    ::close(slave_);
    ::close(master_);
}

void PtySource::reply(const QByteArray& bytes) {
    line_->write(bytes);
}

void PtySource::readingChanged() {
    line_->setReading(reading());
    // A close seen while reading was off waits for the rest of the writer's bytes.
    if (reading() && closePending_) QTimer::singleShot(0, this, &PtySource::readMaster);
}

void PtySource::readMaster() {
    if (!reading()) return;
    // Opens and closes come on a descriptor of their own and may be seen after the data that
    // followed them: a writer that closed and opened again, then asked at once, must not have its
    // answer thrown away as the last writer's. What the watch says is taken first.
    if (watch_ >= 0 && !readingWatch_) readWatch();
    const qsizetype got = line_->readChunk();
    // Without the watch, each pause in the data stands for a close.
    if (watch_ < 0 && got > 0) closePending_ = true;
    if (closePending_ && writers_ == 0 && got < chunkBytes && reading()) {
        closePending_ = false;
        emit closed();
    }
}

void PtySource::readWatch() {
    const QScopedValueRollback<bool> reentry(readingWatch_, true);
    alignas(inotify_event) char buffer[4096];
    // A writer that closed and opened again at once may have been answered already, before its
    // close was seen: a close followed by an open among the events seen together is no leaving,
    // and its answer is not thrown away.
    bool left = false;
    for (;;) {
        const ssize_t got = ::read(watch_, buffer, sizeof buffer);
        if (got <= 0) break;
        for (const char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->mask & IN_OPEN) {
                closePending_ = false;
                if (writers_++ == 0 && !std::exchange(left, false)) emit opened();
            } else if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (writers_ > 0 && --writers_ == 0) left = true;
            }
            at += sizeof(inotify_event) + event->len;
        }
    }
    if (left) lastWriterLeft();
}

void PtySource::lastWriterLeft() {
    // Answers nobody read are gone, as on a serial line: the next writer must not find them.
    tcflush(slave_, TCIFLUSH);
    line_->dropUnsent();
    // Bytes written just before the close may still wait in the terminal.
    closePending_ = true;
    readMaster();
}

namespace {

QString describePeer(const sockaddr_storage& peer) {
    QHostAddress address(reinterpret_cast<const sockaddr*>(&peer));
    const quint16 port =
        ntohs(peer.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(peer).sin6_port
                                         : reinterpret_cast<const sockaddr_in&>(peer).sin_port);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

}  // namespace

TcpSource::TcpSource(const QHostAddress& host, quint16 port, int idleTimeoutMs, QObject* parent)
    : ByteSource(parent), host_(host) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&in6.sin6_addr, &bytes, sizeof bytes);
        length = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(address);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        in.sin_addr.s_addr = htonl(host.toIPv4Address());
        length = sizeof in;
    }
    const std::string where = host.toString().toStdString() + ":" + std::to_string(port);
    listener_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (listener_ < 0 || setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, SOMAXCONN) != 0) {
        const std::string why = lastError();
        if (listener_ >= 0) ::close(listener_);
        throw std::runtime_error("cannot listen on " + where + ": " + why);
    }
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.ss_family == AF_INET6
                      ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                      : reinterpret_cast<const sockaddr_in&>(address).sin_port);

    listenNotifier_ = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
    connect(listenNotifier_, &QSocketNotifier::activated, this, &TcpSource::accept);
    idle_.setSingleShot(true);
    idle_.setInterval(idleTimeoutMs);
    connect(&idle_, &QTimer::timeout, this, [this, idleTimeoutMs] {
        emit notice(QStringLiteral("connection from %1 closed: silent for %2 s")
                        .arg(peer_)
                        .arg(idleTimeoutMs / 1000.0));
        finishActive();
    });
    trickle_.setInterval(idleTimeoutMs);
    connect(&trickle_, &QTimer::timeout, this, [this, idleTimeoutMs] {
        const qsizetype got = std::exchange(periodBytes_, 0);
        // Silence is the idle timer's to end.
        if (std::exchange(heldInPeriod_, !reading()) || got == 0 || got >= trickleBytes) return;
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 0) <= 0) return;
        emit notice(QStringLiteral("connection from %1 closed: %2 bytes in %3 s while another "
                                   "waits")
                        .arg(peer_)
                        .arg(got)
                        .arg(idleTimeoutMs / 1000.0));
        finishActive();
    });
    acceptPause_.setSingleShot(true);
    acceptPause_.setInterval(acceptPauseMs);
    connect(&acceptPause_, &QTimer::timeout, this, [this] {
        if (!active_) listenNotifier_->setEnabled(true);
    });
}

TcpSource::~TcpSource() {
    active_.reset();
    ::close(listener_);
}

QString TcpSource::portName() const {
    const QString name = host_.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(host_.toString())
                             : host_.toString();
    return name + QLatin1Char(':') + QString::number(port_);
}

void TcpSource::reply(const QByteArray& bytes) {
    if (active_) active_->write(bytes);
}

bool TcpSource::parseAddress(const QString& text, QHostAddress& host, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString hostText = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    bool numeric = false;
    const uint number = text.mid(colon + 1).toUInt(&numeric);
    if (!numeric || number > 65535 || hostText.isEmpty()) return false;
    if (hostText.startsWith(QLatin1Char('[')) && hostText.endsWith(QLatin1Char(']')))
        hostText = hostText.mid(1, hostText.size() - 2);
    if (!host.setAddress(hostText)) {
        const QHostInfo found = QHostInfo::fromName(hostText);
        if (found.addresses().isEmpty()) return false;
        host = found.addresses().constFirst();
    }
    port = static_cast<quint16>(number);
    return true;
}

void TcpSource::accept() {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        // Out of descriptors the connection stays pending and the listener stays readable:
        // trying again at once would spin. Rest a while instead.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            listenNotifier_->setEnabled(false);
            acceptPause_.start();
            if (!std::exchange(outOfDescriptors_, true))
                emit notice(QStringLiteral("cannot accept a connection: %1; trying again every "
                                           "%2 s")
                                .arg(QString::fromStdString(lastError()))
                                .arg(acceptPauseMs / 1000.0));
        }
        return;
    }
    outOfDescriptors_ = false;
    // Answers are a byte or a few: each goes out at once, not held back to join the next.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // The next connection waits in the kernel, unread, until this one is over.
    listenNotifier_->setEnabled(false);
    peer_ = describePeer(peer);
    active_ = std::make_unique<DescriptorLine>(fd, DescriptorLine::Kind::Socket);
    active_->onBytes = [this](const QByteArray& bytes) {
        restartIdle();
        periodBytes_ += bytes.size();
        emit bytesArrived(bytes);
    };
    active_->onEnd = [this] { finishActive(); };
    periodBytes_ = 0;
    heldInPeriod_ = false;
    if (trickle_.interval() > 0) trickle_.start();
    emit opened();
    readingChanged();
}

void TcpSource::readingChanged() {
    if (!active_) return;
    active_->setReading(reading());
    // Time the printer spends not reading is not the client's silence.
    if (reading()) {
        restartIdle();
    } else {
        idle_.stop();
        heldInPeriod_ = true;
    }
}

void TcpSource::restartIdle() {
    if (idle_.interval() > 0) idle_.start();
}

void TcpSource::finishActive() {
    if (!active_) return;
    idle_.stop();
    trickle_.stop();
    // finishActive may run inside the line's own read: it goes once the call is over.
    DescriptorLine* line = active_.release();
    line->shut();
    line->deleteLater();
    emit closed();
    if (!acceptPause_.isActive()) listenNotifier_->setEnabled(true);
}

FileSource::FileSource(const QString& path, QObject* parent) : ByteSource(parent), path_(path) {
    file_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (file_ < 0)
        throw std::runtime_error("cannot read " + path.toStdString() + ": " + lastError());
    next_.setInterval(0);
    connect(&next_, &QTimer::timeout, this, &FileSource::readChunk);
    QTimer::singleShot(0, this, [this] {
        emit opened();
        readingChanged();
    });
}

FileSource::~FileSource() {
    if (file_ >= 0) ::close(file_);
}

void FileSource::readingChanged() {
    if (reading() && file_ >= 0)
        next_.start();
    else
        next_.stop();
}

void FileSource::readChunk() {
    QByteArray chunk;
    const ssize_t got = readChunkFrom(file_, chunk);
    if (got > 0) {
        emit bytesArrived(chunk);
        return;
    }
    if (got < 0)
        emit notice(QStringLiteral("reading %1 stopped: %2")
                        .arg(path_, QString::fromStdString(lastError())));
    ::close(file_);
    file_ = -1;
    next_.stop();
    emit closed();
    emit finished();
}

}  // namespace vp
