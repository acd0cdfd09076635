#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "printed_items.h"
#include "printer_state.h"
#include "receipt_renderer.h"

class QHttpServer;
class QTcpSocket;

namespace vp {

class PrinterSession;

// The roll on a web page and for scripts: the page shows what the window shows, and routes
// list the receipts, give one as PNG, JSON or text, clear the roll, read and set the printer's
// simulated state and stream what happens as server-sent events. Qt's HTTP server runs on the
// program's own event loop and never waits on a client: what a client does not read is held
// for it up to a bound, and a client past the bound is dropped, so printing goes on whatever
// the clients do.
class HttpInterface : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 defaultMemoryBudget = qint64(256) << 20;
    // The most lines the roll's event list keeps, as the window's.
    static constexpr int longestEventList = 5000;
    // What one client may leave unread before it is dropped, and how many may be connected.
    static constexpr qint64 unreadBound = qint64(8) << 20;
    static constexpr int mostClients = 64;
    // How long a connection may stay open doing nothing.
    static constexpr int idleMs = 60000;
    // How often, at most, the page hears of the receipt printing now.
    static constexpr int progressMs = 250;

    HttpInterface(PrinterSession& session, qint64 memoryBudget = defaultMemoryBudget,
                  QObject* parent = nullptr);
    ~HttpInterface() override;

    // Starts serving; an empty string, or why it cannot.
    QString listen(const QHostAddress& host, quint16 port);
    quint16 port() const;

    // Hooks itself onto the session's receipts, events and state, after what is hooked there.
    void follow();
    void addReceipt(const Receipt& receipt);
    void addEvent(const std::string& text);
    // The receipt printing now has more on it; the page is told at most a few times a second.
    void showProgress();
    void stateChanged();
    void clear();
    // Called when a client clears the roll, e.g. to clear the window's too.
    std::function<void()> onClear;

    qsizetype receiptCount() const { return static_cast<qsizetype>(kept_.size()); }

private:
    struct Kept {
        int id;
        QByteArray png;
        std::string json, text;
        std::vector<std::string> events;
        int width, height;
        qint64 bytes;
    };
    struct Note {
        int after;  // the receipt it follows, 0 for none
        std::string text;
    };
    class Clients;

    void addRoutes();
    // The receipt's picture as a one-bit PNG, and its size.
    QByteArray png(const Receipt& receipt, QSize* size = nullptr);
    QByteArray rollJson() const;
    QByteArray receiptJson(const Kept& kept) const;
    QByteArray stateJson() const;
    void publish(const char* kind, const QByteArray& data);
    void send(const QByteArray& message);
    void dropOldest();
    int eventLines() const;
    // Whether the receipt printing now has anything to show; events alone print nothing.
    bool printingShows() const;

    PrinterSession& session_;
    ReceiptRenderer renderer_;
    qint64 budget_;
    qint64 used_ = 0;
    std::deque<Kept> kept_;
    std::deque<Note> notes_;
    int lastId_ = 0;
    int dropped_ = 0;
    QTimer progress_, keepAlive_;
    std::unique_ptr<QHttpServer> server_;
    Clients* clients_ = nullptr;
    // The event streams open now, each on its connection.
    struct Stream;
    std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace vp
