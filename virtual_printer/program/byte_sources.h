#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace vp {

class DescriptorLine;

// Where the printer's bytes come from, and where its answers go. A source says when a writer
// connects and leaves, so that the session can tell one receipt from the next. It hands on at
// most `chunkBytes` at a time and reads nothing while reading is off: the writer's bytes then
// wait in the kernel, which is how a printer that cannot print holds its sender back.
class ByteSource : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype chunkBytes = 64 * 1024;

    using QObject::QObject;
    // What to type into the tester's port box, or give a POS program.
    virtual QString portName() const = 0;
    // Sends the printer's answer to the writer being printed now, at once; dropped when there
    // is none, as a printer's answer is lost when nobody listens.
    virtual void reply(const QByteArray& bytes) = 0;

    void setReading(bool on);
    bool reading() const { return reading_; }

signals:
    void opened();
    void bytesArrived(const QByteArray& bytes);
    void closed();
    // Something that happened to a connection, for the program's list of events.
    void notice(const QString& text);

protected:
    virtual void readingChanged() {}

private:
    bool reading_ = true;
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
    void reply(const QByteArray& bytes) override;

private:
    void readingChanged() override;
    void readMaster();
    void readWatch();
    void lastWriterLeft();

    int master_ = -1, slave_ = -1, watch_ = -1;
    int writers_ = 0;
    // The last writer left, but what it wrote has not all been read: closed() waits for that.
    bool closePending_ = false;
    bool readingWatch_ = false;
    QString slavePath_;
    std::unique_ptr<DescriptorLine> line_;
    QSocketNotifier* watchNotifier_ = nullptr;
};

// A raw-TCP printer port (as port 9100 printers are): one connection is printed at a time.
// Later ones are not accepted until their turn, so the kernel holds them and their bytes, as
// a network printer's full receive buffer holds its senders. A connection silent for
// `idleTimeoutMs` (0: no limit) is closed, so that a client that never ends cannot keep the
// printer; so is one that trickles, sending fewer than `trickleBytes` in that time while
// another connection waits.
class TcpSource : public ByteSource {
    Q_OBJECT
public:
    // Throws std::runtime_error when the address cannot be listened on.
    TcpSource(const QHostAddress& host, quint16 port, int idleTimeoutMs = 30000,
              QObject* parent = nullptr);
    ~TcpSource() override;
    QString portName() const override;
    void reply(const QByteArray& bytes) override;

    // "9100" or "HOST:9100" ("[::1]:9100" for IPv6); the host defaults to 127.0.0.1. Returns
    // false for text that is not of that form.
    static bool parseAddress(const QString& text, QHostAddress& host, quint16& port);
    // How long accepting rests after the process ran out of descriptors.
    static constexpr int acceptPauseMs = 500;
    static constexpr qsizetype trickleBytes = 256;

private:
    void readingChanged() override;
    void restartIdle();
    void accept();
    void finishActive();

    int listener_ = -1;
    QHostAddress host_;
    quint16 port_ = 0;
    QSocketNotifier* listenNotifier_ = nullptr;
    std::unique_ptr<DescriptorLine> active_;  // the connection being printed
    QString peer_;
    QTimer idle_, acceptPause_, trickle_;
    qsizetype periodBytes_ = 0;  // received since trickle_ last ran
    bool heldInPeriod_ = false;  // the printer stopped reading meanwhile: not the client's fault
    bool outOfDescriptors_ = false;  // said once until accepting works again
};

// A captured stream read from a file in chunks, so that a file of any size takes no more
// memory than a connection does. Reading starts once the event loop runs; `finished` follows
// the last chunk.
class FileSource : public ByteSource {
    Q_OBJECT
public:
    // Throws std::runtime_error when the file cannot be read.
    explicit FileSource(const QString& path, QObject* parent = nullptr);
    ~FileSource() override;
    QString portName() const override { return path_; }
    void reply(const QByteArray&) override {}

signals:
    void finished();

private:
    void readingChanged() override;
    void readChunk();

    QString path_;
    int file_ = -1;
    QTimer next_;
};

}  // namespace vp
