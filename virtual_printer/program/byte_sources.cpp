#include "byte_sources.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <QHostInfo>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vp {

PtySource::PtySource(QObject* parent) : ByteSource(parent) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        const std::string why = std::strerror(errno);
        if (master_ >= 0) ::close(master_);
        throw std::runtime_error("no pseudo-terminal: " + why);
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) {
        const std::string why = std::strerror(errno);
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
    masterNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(masterNotifier_, &QSocketNotifier::activated, this, &PtySource::readMaster);
    if (watch_ >= 0) {
        watchNotifier_ = new QSocketNotifier(watch_, QSocketNotifier::Read, this);
        connect(watchNotifier_, &QSocketNotifier::activated, this, &PtySource::readWatch);
    }
}

PtySource::~PtySource() {
    if (watch_ >= 0) ::close(watch_);
    ::close(slave_);
    ::close(master_);
}

void PtySource::readMaster() {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got > 0) {
            emit bytesArrived(QByteArray(chunk, static_cast<qsizetype>(got)));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break;
    }
    if (watch_ < 0) emit closed();
}

void PtySource::readWatch() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(watch_, buffer, sizeof buffer);
        if (got <= 0) break;
        for (const char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->mask & IN_OPEN) {
                if (writers_++ == 0) emit opened();
            } else if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (writers_ > 0 && --writers_ == 0) {
                    // Bytes written just before the close may still wait in the terminal.
                    readMaster();
                    emit closed();
                }
            }
            at += sizeof(inotify_event) + event->len;
        }
    }
}

TcpSource::TcpSource(const QHostAddress& host, quint16 port, QObject* parent) : ByteSource(parent) {
    if (!server_.listen(host, port))
        throw std::runtime_error("cannot listen on " + host.toString().toStdString() + ":" +
                                 std::to_string(port) + ": " + server_.errorString().toStdString());
    connect(&server_, &QTcpServer::newConnection, this, &TcpSource::accept);
}

QString TcpSource::portName() const {
    const QHostAddress host = server_.serverAddress();
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(host.toString())
                             : host.toString();
    return name + QLatin1Char(':') + QString::number(server_.serverPort());
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
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connections_.push_back(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (!connections_.empty() && connections_.front() == socket) drainActive();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (!connections_.empty() && connections_.front() == socket) finishActive();
        });
        if (connections_.size() == 1) {
            emit opened();
            drainActive();
        }
    }
}

void TcpSource::drainActive() {
    const QByteArray bytes = connections_.front()->readAll();
    if (!bytes.isEmpty()) emit bytesArrived(bytes);
}

void TcpSource::finishActive() {
    // A waiting connection may have sent everything and left already: print it whole.
    while (!connections_.empty()) {
        drainActive();
        connections_.front()->deleteLater();
        connections_.pop_front();
        emit closed();
        if (connections_.empty()) return;
        emit opened();
        drainActive();
        if (connections_.front()->state() != QAbstractSocket::UnconnectedState) return;
    }
}

}  // namespace vp
