#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <deque>

class QSocketNotifier;
class QTcpSocket;

namespace vp {

// Where the printer's bytes come from. A source says when a writer connects and leaves, so
// that the session can tell one receipt from the next. Nothing is ever sent back.
class ByteSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // What to type into the tester's port box, or give a POS program.
    virtual QString portName() const = 0;

signals:
    void opened();
    void bytesArrived(const QByteArray& bytes);
    void closed();
};

// A pseudo-terminal standing for a serial printer. The slave side is kept open here as well,
// so that a writer closing it never hangs up the line, and it is set raw at creation, since
// writers need not do it. Writers are counted by watching the slave's device node for opens
// and closes; where that watch is not available, each pause in the data counts as a close.
class PtySource : public ByteSource {
    Q_OBJECT
public:
    // Throws std::runtime_error when no pseudo-terminal can be had.
    explicit PtySource(QObject* parent = nullptr);
    ~PtySource() override;
    QString portName() const override { return slavePath_; }

private:
    void readMaster();
    void readWatch();

    int master_ = -1, slave_ = -1, watch_ = -1;
    int writers_ = 0;
    QString slavePath_;
    QSocketNotifier* masterNotifier_ = nullptr;
    QSocketNotifier* watchNotifier_ = nullptr;
};

// A raw-TCP printer port (as port 9100 printers are): one connection is printed at a time,
// later ones wait their turn with their bytes kept.
class TcpSource : public ByteSource {
    Q_OBJECT
public:
    // Throws std::runtime_error when the address cannot be listened on.
    TcpSource(const QHostAddress& host, quint16 port, QObject* parent = nullptr);
    QString portName() const override;

    // "9100" or "HOST:9100" ("[::1]:9100" for IPv6); the host defaults to 127.0.0.1. Returns
    // false for text that is not of that form.
    static bool parseAddress(const QString& text, QHostAddress& host, quint16& port);

private:
    void accept();
    void drainActive();
    void finishActive();

    QTcpServer server_;
    std::deque<QTcpSocket*> connections_;  // the first is being printed
};

}  // namespace vp
