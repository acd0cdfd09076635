#include "http_interface.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

#include "printer_session.h"
#include "transcript.h"

namespace vp {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

// Qt 6.8 reworked the server's interface (Debian 13); 6.4 is Debian 12's. What differs is here.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
using Responder = QHttpServerResponder&;

namespace {
void addHeader(QHttpServerResponse& response, const QByteArray& name, const QByteArray& value) {
    QHttpHeaders headers = response.headers();
    headers.append(name, value);
    response.setHeaders(std::move(headers));
}
void beginEventStream(QHttpServerResponder& responder) {
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, "text/event-stream");
    headers.append(QHttpHeaders::WellKnownHeader::CacheControl, "no-store");
    responder.writeBeginChunked(headers);
}
void writeEvent(QHttpServerResponder& responder, const QByteArray& bytes) {
    responder.writeChunk(bytes);
}
QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    return request.headers().value(name).toByteArray();
}
}  // namespace
#else
using Responder = QHttpServerResponder&&;

namespace {
void addHeader(QHttpServerResponse& response, const QByteArray& name, const QByteArray& value) {
    response.addHeader(name, value);
}
void beginEventStream(QHttpServerResponder& responder) {
    responder.writeStatusLine(Status::Ok);
    // No length and no chunks: the stream ends when the connection does.
    responder.writeHeaders({{"Content-Type", "text/event-stream"},
                            {"Cache-Control", "no-store"},
                            {"Connection", "close"}});
    responder.writeBody("\r\n");
}
void writeEvent(QHttpServerResponder& responder, const QByteArray& bytes) {
    responder.writeBody(bytes);
}
QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    return request.value(name);
}
}  // namespace
#endif

namespace {

QHttpServerResponse plain(Status status, const QString& text) {
    return QHttpServerResponse("text/plain; charset=utf-8", text.toUtf8() + '\n', status);
}

QHttpServerResponse json(const QByteArray& body) {
    QHttpServerResponse response("application/json", body);
    addHeader(response, "Cache-Control", "no-store");
    return response;
}

QHttpServerResponse notAllowed(const QByteArray& allowed) {
    QHttpServerResponse response =
        plain(Status::MethodNotAllowed,
              QStringLiteral("this address takes %1 only").arg(QString::fromLatin1(allowed)));
    addHeader(response, "Allow", allowed);
    return response;
}

// Another site's page in the person's browser may send a plain form here, unasked; a browser
// names the page's origin, a script names none.
bool fromAnotherSite(const QHttpServerRequest& request) {
    const QByteArray origin = header(request, "Origin");
    return !origin.isEmpty() && origin != "http://" + header(request, "Host");
}

QHttpServerResponse refused() {
    return plain(Status::Forbidden,
                 QStringLiteral("only this page, or a program that names no origin, changes "
                                "the printer"));
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

// The listening socket, which also knows every connection: a client past the unread bound is
// dropped, and connections beyond the most allowed are refused.
class HttpInterface::Clients : public QTcpServer {
public:
    explicit Clients(QObject* parent) : QTcpServer(parent) {
        // Answers a client asked for and does not read pile up only as fast as it asks.
        // A connection left open and idle is closed too: Qt keeps every connection open for
        // another request, and the idle ones would take the places of the others.
        connect(&sweep_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.elapsed();
            for (QTcpSocket* socket : std::as_const(sockets_))
                if (socket && !dropWhenBehind(socket) &&
                    now - socket->property(activeAt).toLongLong() > idleMs)
                    QMetaObject::invokeMethod(
                        socket, [socket] { socket->abort(); }, Qt::QueuedConnection);
        });
        clock_.start();
        sweep_.start(sweepMs);
    }

    // The connection to this port of the client, if it is still open.
    QTcpSocket* peer(quint16 port) const {
        for (const QPointer<QTcpSocket>& socket : sockets_)
            if (socket && socket->peerPort() == port) return socket;
        return nullptr;
    }

    // Drops the connection once the event loop is back, never under the server's feet.
    static bool dropWhenBehind(QTcpSocket* socket) {
        if (socket->bytesToWrite() <= unreadBound) return false;
        QMetaObject::invokeMethod(
            socket, [socket] { socket->abort(); }, Qt::QueuedConnection);
        return true;
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        // Closed connections are the server's to delete; they no longer count.
        sockets_.removeIf([](const QPointer<QTcpSocket>& socket) {
            return !socket || socket->state() != QAbstractSocket::ConnectedState;
        });
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor) || sockets_.size() >= mostClients) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        const auto active = [this, socket] { socket->setProperty(activeAt, clock_.elapsed()); };
        active();
        connect(socket, &QTcpSocket::readyRead, socket, active);
        connect(socket, &QTcpSocket::bytesWritten, socket, active);
        sockets_.append(socket);
        addPendingConnection(socket);
    }

private:
    static constexpr int sweepMs = 500;
    static constexpr const char* activeAt = "vpActiveAt";
    QList<QPointer<QTcpSocket>> sockets_;
    QTimer sweep_;
    QElapsedTimer clock_;
};

struct HttpInterface::Stream {
    explicit Stream(QHttpServerResponder&& from) : responder(std::move(from)) {}
    QHttpServerResponder responder;
    QPointer<QTcpSocket> socket;
};

HttpInterface::HttpInterface(PrinterSession& session, qint64 memoryBudget, QObject* parent)
    : QObject(parent),
      session_(session),
      renderer_(session.paper()),
      budget_(memoryBudget),
      server_(std::make_unique<QHttpServer>()) {
    progress_.setSingleShot(true);
    progress_.setInterval(progressMs);
    connect(&progress_, &QTimer::timeout, this, [this] {
        publish("printing", compact({{"shown", printingShows()}}));
    });
    // A comment now and then keeps a quiet event stream from being taken for an idle one.
    connect(&keepAlive_, &QTimer::timeout, this, [this] { send(":\n\n"); });
    keepAlive_.start(idleMs / 3);
    addRoutes();
}

HttpInterface::~HttpInterface() {
    streams_.clear();
    server_.reset();
}

QString HttpInterface::listen(const QHostAddress& host, quint16 port) {
    clients_ = new Clients(this);
    if (!clients_->listen(host, port))
        return QStringLiteral("the web page cannot listen on %1:%2: %3")
            .arg(host.toString())
            .arg(port)
            .arg(clients_->errorString());
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (!server_->bind(clients_)) return QStringLiteral("the web page's server cannot start");
#else
    server_->bind(clients_);
#endif
    return {};
}

quint16 HttpInterface::port() const {
    return clients_ ? clients_->serverPort() : 0;
}

void HttpInterface::follow() {
    // Each hook keeps what was there before and runs it first.
    auto chain = [](auto& hook, auto then) {
        hook = [before = std::move(hook), then](const auto& value) {
            if (before) before(value);
            then(value);
        };
    };
    chain(session_.onReceipt, [this](const Receipt& receipt) { addReceipt(receipt); });
    chain(session_.onProgress, [this](const Receipt&) { showProgress(); });
    chain(session_.onEvent, [this](const std::string& text) { addEvent(text); });
    chain(session_.onStateChanged, [this](const PrinterState&) { stateChanged(); });
}

void HttpInterface::addReceipt(const Receipt& receipt) {
    Kept kept;
    kept.id = ++lastId_;
    QSize size;
    kept.png = png(receipt, &size);
    kept.width = size.width();
    kept.height = size.height();
    kept.json = transcriptJson(receipt);
    kept.text = transcriptText(receipt);
    kept.events = receipt.events();
    kept.bytes = kept.png.size() + qint64(kept.json.size() + kept.text.size()) + 64;
    for (const std::string& event : kept.events) kept.bytes += qint64(event.size()) + 32;
    used_ += kept.bytes;
    kept_.push_back(std::move(kept));
    // The newest receipt stays whatever it takes.
    while (kept_.size() > 1 && (used_ > budget_ || eventLines() > longestEventList)) dropOldest();
    publish("receipt", receiptJson(kept_.back()));
}

void HttpInterface::addEvent(const std::string& text) {
    notes_.push_back({lastId_, text});
    while (eventLines() > longestEventList && !kept_.empty()) dropOldest();
    while (eventLines() > longestEventList) notes_.pop_front();
    publish("event", compact({{"after", notes_.back().after},
                              {"text", QString::fromStdString(notes_.back().text)}}));
}

void HttpInterface::showProgress() {
    if (!progress_.isActive()) progress_.start();
}

bool HttpInterface::printingShows() const {
    const Receipt& printing = session_.current();
    return printing.events().size() != printing.items.size();
}

void HttpInterface::stateChanged() {
    publish("state", stateJson());
}

void HttpInterface::clear() {
    kept_.clear();
    notes_.clear();
    used_ = 0;
    dropped_ = 0;
    publish("clear", "{}");
}

QByteArray HttpInterface::png(const Receipt& receipt, QSize* size) {
    const QImage picture = renderer_.render(receipt).convertToFormat(QImage::Format_Mono);
    if (size) *size = picture.size();
    QByteArray bytes;
    QBuffer into(&bytes);
    into.open(QIODevice::WriteOnly);
    // zlib's fastest level, as the pictures written to a folder.
    picture.save(&into, "PNG", 89);
    return bytes;
}

int HttpInterface::eventLines() const {
    qsizetype lines = static_cast<qsizetype>(notes_.size());
    for (const Kept& kept : kept_) lines += 1 + static_cast<qsizetype>(kept.events.size());
    return static_cast<int>(lines);
}

void HttpInterface::dropOldest() {
    used_ -= kept_.front().bytes;
    kept_.pop_front();
    ++dropped_;
    // The events before the next receipt go with it, as in the window.
    const int next = kept_.empty() ? lastId_ + 1 : kept_.front().id;
    while (!notes_.empty() && notes_.front().after < next) notes_.pop_front();
}

QByteArray HttpInterface::receiptJson(const Kept& kept) const {
    QJsonArray events;
    for (const std::string& event : kept.events) events.append(QString::fromStdString(event));
    return compact({{"id", kept.id},
                    {"width", kept.width},
                    {"height", kept.height},
                    {"events", events},
                    {"oldest", kept_.front().id},
                    {"dropped", dropped_}});
}

QByteArray HttpInterface::stateJson() const {
    QJsonObject state;
    for (const StateFlag& flag : stateFlags)
        state.insert(QLatin1String(flag.name), session_.state().*flag.member);
    return compact(state);
}

QByteArray HttpInterface::rollJson() const {
    QJsonArray receipts, notes;
    for (const Kept& kept : kept_)
        receipts.append(QJsonDocument::fromJson(receiptJson(kept)).object());
    for (const Note& note : notes_)
        notes.append(
            QJsonObject{{"after", note.after}, {"text", QString::fromStdString(note.text)}});
    return compact({{"receipts", receipts},
                    {"events", notes},
                    {"dropped", dropped_},
                    {"state", QJsonDocument::fromJson(stateJson()).object()}});
}

void HttpInterface::publish(const char* kind, const QByteArray& data) {
    send(QByteArray("event: ") + kind + "\ndata: " + data + "\n\n");
}

void HttpInterface::send(const QByteArray& message) {
    std::erase_if(streams_, [&](const std::unique_ptr<Stream>& stream) {
        if (!stream->socket || stream->socket->state() != QAbstractSocket::ConnectedState)
            return true;
        writeEvent(stream->responder, message);
        return Clients::dropWhenBehind(stream->socket);
    });
}

void HttpInterface::addRoutes() {
    server_->route("/", [](const QHttpServerRequest& request) {
        if (request.method() != Method::Get) return notAllowed("GET");
        QFile page(QStringLiteral(":/virtual-printer/web_page.html"));
        page.open(QIODevice::ReadOnly);
        return QHttpServerResponse("text/html; charset=utf-8", page.readAll());
    });
    server_->route("/receipts", [this](const QHttpServerRequest& request) {
        if (request.method() == Method::Get) return json(rollJson());
        if (request.method() != Method::Delete) return notAllowed("GET, DELETE");
        if (fromAnotherSite(request)) return refused();
        clear();
        if (onClear) onClear();
        return QHttpServerResponse(Status::NoContent);
    });
    server_->route("/receipts/<arg>", [this](const QString& name,
                                             const QHttpServerRequest& request) {
        if (request.method() != Method::Get) return notAllowed("GET");
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        bool numeric = false;
        const int id = name.left(dot).toInt(&numeric);
        const QString format = dot < 0 ? QString() : name.mid(dot + 1);
        const auto kept = std::find_if(kept_.begin(), kept_.end(),
                                       [id](const Kept& kept) { return kept.id == id; });
        if (!numeric || kept == kept_.end())
            return plain(Status::NotFound, QStringLiteral("no receipt %1 on the roll").arg(name));
        if (format == QLatin1String("png")) return QHttpServerResponse("image/png", kept->png);
        if (format == QLatin1String("json"))
            return QHttpServerResponse("application/json", QByteArray::fromStdString(kept->json));
        if (format == QLatin1String("txt"))
            return QHttpServerResponse("text/plain; charset=utf-8",
                                       QByteArray::fromStdString(kept->text));
        return plain(Status::NotFound,
                     QStringLiteral("a receipt is NUMBER.png, NUMBER.json or NUMBER.txt"));
    });
    server_->route("/printing.png", [this](const QHttpServerRequest& request) {
        if (request.method() != Method::Get) return notAllowed("GET");
        if (!printingShows())
            return plain(Status::NotFound, QStringLiteral("no receipt is printing now"));
        return QHttpServerResponse("image/png", png(session_.current()));
    });
    server_->route("/state", [this](const QHttpServerRequest& request) {
        if (request.method() == Method::Get) return json(stateJson());
        if (request.method() != Method::Post) return notAllowed("GET, POST");
        if (fromAnotherSite(request)) return refused();
        const QJsonDocument body = QJsonDocument::fromJson(request.body());
        if (!body.isObject())
            return plain(Status::BadRequest,
                         QStringLiteral("the state is a JSON object, e.g. {\"cover-open\": true}"));
        PrinterState wanted = session_.state();
        const QJsonObject changes = body.object();
        for (auto change = changes.begin(); change != changes.end(); ++change) {
            const auto flag =
                std::find_if(std::begin(stateFlags), std::end(stateFlags),
                             [&](const StateFlag& flag) { return change.key() == flag.name; });
            if (flag == std::end(stateFlags) || !change.value().isBool())
                return plain(Status::BadRequest,
                             QStringLiteral("\"%1\" is not a state, or not true or false; the "
                                            "states are cover-open, paper-near-end, paper-end "
                                            "and drawer-open")
                                 .arg(change.key()));
            wanted.*flag->member = change.value().toBool();
        }
        session_.setState(wanted);
        return json(stateJson());
    });
    server_->route("/events", [this](const QHttpServerRequest& request, Responder responder) {
        if (request.method() != Method::Get) {
            responder.write(QByteArray("this address takes GET only\n"), "text/plain",
                            Status::MethodNotAllowed);
            return;
        }
        auto stream = std::make_unique<Stream>(std::move(responder));
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        stream->socket = clients_ ? clients_->peer(request.remotePort()) : nullptr;
#else
        stream->socket = stream->responder.socket();
#endif
        beginEventStream(stream->responder);
        writeEvent(stream->responder, "event: state\ndata: " + stateJson() + "\n\n");
        streams_.push_back(std::move(stream));
    });
}

}  // namespace vp
