#include "live_server.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>

namespace brennix {

// Accepts the connections itself, so that the server sees each socket before Qt HTTP Server
// reads from it.
class TLiveServer::TListener : public QTcpServer {
  public:
    TListener(TLiveServer* owner) : QTcpServer(owner), owner_(owner) {}

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        owner_->Admit(socket);
        addPendingConnection(socket);
    }

  private:
    TLiveServer* owner_;
};

// A connection that is sending or may send requests; it lives as a child of its socket. Its
// handler of incoming data runs before Qt HTTP Server's and stops a request that grows too big;
// its timer closes the connection when no complete request arrives in time.
class TLiveServer::TRequestConnection : public QObject {
  public:
    TRequestConnection(TLiveServer* owner, QTcpSocket* socket)
        : QObject(socket), owner_(owner), socket_(socket), timer_(new QTimer(this)) {
        guard_ = connect(socket, &QTcpSocket::readyRead, this, [this] { Received(); });
        timer_->setSingleShot(true);
        connect(timer_, &QTimer::timeout, this, [this] { TimedOut(); });
        Restart();
    }
    ~TRequestConnection() override {
        if (owner_) owner_->Forget(this);
    }

    QTcpSocket* Socket() const { return socket_; }
    qint64 IdleMs() const { return idle_.elapsed(); }
    void Detach() { owner_ = nullptr; }

    // A complete request has been answered: the next one starts from nothing.
    void Restart() {
        received_ = 0;
        headerBytes_ = -1;
        tail_.clear();
        idle_.start();
        timer_->start(owner_->limits_.RequestTimeoutMs);
    }

    // The request was a page's WebSocket request: the connection is the WebSocket server's now.
    void HandOver() {
        handedOver_ = true;
        timer_->stop();
        if (owner_) owner_->Forget(this);
        owner_ = nullptr;
    }

    void Close() {
        timer_->stop();
        socket_->abort();
        socket_->deleteLater();
    }

  private:
    void Received() {
        if (!socket_->isReadable()) return;
        if (refused_) {
            socket_->readAll(); // what follows a refused request is thrown away
            return;
        }
        idle_.start();
        const qint64 available = socket_->bytesAvailable();
        // Where the blank line that ends the headers lies decides between "headers too large"
        // and "content too large"; only the start of the data is looked at.
        if (headerBytes_ < 0 && received_ <= owner_->limits_.MaxRequestBytes) {
            const QByteArray seen =
                tail_ +
                socket_->peek(std::min<qint64>(available, owner_->limits_.MaxRequestBytes + 4));
            const qsizetype end = seen.indexOf("\r\n\r\n");
            if (end >= 0) headerBytes_ = received_ - tail_.size() + end + 4;
            tail_ = seen.right(3);
        }
        received_ += available;
        if (received_ > owner_->limits_.MaxRequestBytes) {
            const bool headersFit =
                headerBytes_ >= 0 && headerBytes_ <= owner_->limits_.MaxRequestBytes;
            Refuse(headersFit ? QByteArrayLiteral("413 Content Too Large")
                              : QByteArrayLiteral("431 Request Header Fields Too Large"));
            return;
        }
        // Qt HTTP Server reads the data next; see what it made of it once it has.
        QMetaObject::invokeMethod(
            this, [this] { AfterServerRead(); }, Qt::QueuedConnection);
    }

    void AfterServerRead() {
        if (guard_ || refused_ || handedOver_) return; // still the server's, or done with
        // The server let go of the socket: either the WebSocket server took it over (the
        // request was read back for it) or the request could not be read.
        if (!socket_->isTransactionStarted()) {
            timer_->stop();
            if (owner_) owner_->Forget(this);
            owner_ = nullptr;
            return;
        }
        Refuse(QByteArrayLiteral("400 Bad Request"));
    }

    // Answers with an error and closes the connection once the answer is sent.
    void Refuse(const QByteArray& status) {
        refused_ = true;
        if (owner_) QObject::disconnect(socket_, &QTcpSocket::readyRead, owner_, nullptr);
        if (socket_->isTransactionStarted()) socket_->commitTransaction();
        socket_->readAll();
        socket_->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket_->disconnectFromHost();
        if (socket_->state() == QAbstractSocket::UnconnectedState)
            socket_->deleteLater();
        else
            connect(socket_, &QTcpSocket::disconnected, socket_, &QObject::deleteLater);
    }

    void TimedOut() {
        if (!owner_ && !refused_) return; // handed over to the WebSocket server
        Close();
    }

    TLiveServer* owner_;
    QTcpSocket* socket_;
    QTimer* timer_;
    QMetaObject::Connection guard_;
    QElapsedTimer idle_;
    qint64 received_ = 0;
    qint64 headerBytes_ = -1; // the size of the headers once their end has been seen
    bool refused_ = false;
    bool handedOver_ = false;
    QByteArray tail_;
};

namespace {

QByteArray LoadPage(const QString& name) {
    QFile file(QStringLiteral(":/live/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TLiveServer::TLiveServer(TLiveLimits limits, QObject* parent)
    : QAbstractHttpServer(parent), limits_(limits) {
    state_ = QByteArrayLiteral("{}");
    stateText_ = QString::fromUtf8(state_);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &TLiveServer::TakePages);
    pinger_ = new QTimer(this);
    pinger_->setInterval(limits_.PagePingMs);
    connect(pinger_, &QTimer::timeout, this, &TLiveServer::PingPages);
    clock_.start();
}

TLiveServer::~TLiveServer() {
    for (TRequestConnection* connection : requests_)
        connection->Detach();
    requests_.clear();
    for (QWebSocket* page : pages_)
        page->disconnect(this);
}

QString TLiveServer::Listen(const QHostAddress& address, quint16 port) {
    if (listener_) return QStringLiteral("already listening");
    auto* listener = new TListener(this);
    if (!listener->listen(address, port)) {
        const QString reason = listener->errorString();
        delete listener;
        return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    }
    listener_ = listener;
    bind(listener_);
    return {};
}

quint16 TLiveServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

void TLiveServer::Admit(QTcpSocket* socket) {
    MakeRoom();
    requests_.push_back(new TRequestConnection(this, socket));
}

// At the cap, the request connection idle the longest goes; pages are only dropped when slow.
void TLiveServer::MakeRoom() {
    while (!requests_.empty() &&
           static_cast<int>(requests_.size() + pages_.size()) >= limits_.MaxConnections) {
        const auto oldest = std::max_element(
            requests_.begin(), requests_.end(),
            [](TRequestConnection* a, TRequestConnection* b) { return a->IdleMs() < b->IdleMs(); });
        TRequestConnection* connection = *oldest;
        requests_.erase(oldest);
        connection->Detach();
        connection->Close();
    }
}

void TLiveServer::Forget(TRequestConnection* connection) {
    std::erase(requests_, connection);
}

TLiveServer::TRequestConnection* TLiveServer::Find(const QTcpSocket* socket) const {
    for (TRequestConnection* connection : requests_)
        if (connection->Socket() == socket) return connection;
    return nullptr;
}

bool TLiveServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // A WebSocket request is answered by Qt's WebSocket server once this returns.
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0 &&
        request.method() == QHttpServerRequest::Method::Get &&
        request.url().path() == QLatin1String(LivePushPath)) {
        if (TRequestConnection* connection = Find(socket)) connection->HandOver();
        return true;
    }
    if (TRequestConnection* connection = Find(socket)) connection->Restart();
    QHttpServerResponder responder = makeResponder(request, socket);
    using TStatus = QHttpServerResponder::StatusCode;
    const QHttpServerRequest::Method method = request.method();
    const QString path = request.url().path();
    if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
        responder.write(QByteArrayLiteral("Read only: GET and HEAD only.\n"),
                        {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET, HEAD"}},
                        TStatus::MethodNotAllowed);
        return true;
    }
    QByteArray body;
    QByteArray type;
    if (path == QStringLiteral("/")) {
        static const QByteArray page = LoadPage(QStringLiteral("index.html"));
        body = page;
        type = "text/html; charset=utf-8";
    } else if (path == QStringLiteral("/overlay")) {
        // The strip for a streaming program's browser source, on the same pushes.
        static const QByteArray overlay = LoadPage(QStringLiteral("overlay.html"));
        body = overlay;
        type = "text/html; charset=utf-8";
    } else if (path == QStringLiteral("/state.json")) {
        body = state_;
        type = "application/json";
    } else {
        // A HEAD request gets the headers alone, here as below.
        const bool head = method == QHttpServerRequest::Method::Head;
        responder.write(head ? QByteArray() : QByteArrayLiteral("Not found.\n"),
                        "text/plain; charset=utf-8", TStatus::NotFound);
        return true;
    }
    if (method == QHttpServerRequest::Method::Head) {
        responder.writeStatusLine(TStatus::Ok);
        responder.writeHeader("Content-Type", type);
        responder.writeHeader("Content-Length", QByteArray::number(body.size()));
        responder.writeHeader("Cache-Control", "no-store");
        responder.writeBody(QByteArray());
        return true;
    }
    responder.write(body,
                    {{"Content-Type", type},
                     {"Cache-Control", "no-store"},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Content-Security-Policy",
                      "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                      "connect-src 'self' ws: wss:; img-src 'self' data:"}},
                    TStatus::Ok);
    return true;
}

void TLiveServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

void TLiveServer::TakePages() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket* page = nextPendingWebSocketConnection().release();
        if (!page) continue;
        page->setParent(this);
        if (page->requestUrl().path() != QLatin1String(LivePushPath)) {
            page->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not found"));
            page->deleteLater();
            continue;
        }
        MakeRoom();
        if (static_cast<int>(requests_.size() + pages_.size()) >= limits_.MaxConnections) {
            page->abort();
            page->deleteLater();
            continue;
        }
        page->setMaxAllowedIncomingFrameSize(limits_.MaxIncomingMessageBytes);
        page->setMaxAllowedIncomingMessageSize(limits_.MaxIncomingMessageBytes);
        connect(page, &QWebSocket::disconnected, this, [this, page] { DropPage(page); });
        auto heard = [this, page] { page->setProperty("heard", clock_.elapsed()); };
        heard();
        connect(page, &QWebSocket::pong, this, heard);
        connect(page, &QWebSocket::textMessageReceived, this, heard);
        connect(page, &QWebSocket::binaryMessageReceived, this, heard);
        pages_.push_back(page);
        if (!pinger_->isActive()) pinger_->start();
        page->sendTextMessage(stateText_);
    }
}

// A page that has not answered the last two pings has gone (a phone put away, a network
// gone); the others are pinged again.
void TLiveServer::PingPages() {
    const qint64 now = clock_.elapsed();
    std::vector<QWebSocket*> silent;
    for (QWebSocket* page : pages_) {
        if (now - page->property("heard").toLongLong() > 2LL * limits_.PagePingMs)
            silent.push_back(page);
        else
            page->ping();
    }
    for (QWebSocket* page : silent)
        DropPage(page);
}

void TLiveServer::DropPage(QWebSocket* page) {
    std::erase(pages_, page);
    if (pages_.empty()) pinger_->stop();
    page->disconnect(this);
    page->abort();
    page->deleteLater();
}

void TLiveServer::Publish(const QByteArray& stateJson) {
    state_ = stateJson;
    stateText_ = QString::fromUtf8(state_);
    std::vector<QWebSocket*> slow;
    for (QWebSocket* page : pages_) {
        if (page->bytesToWrite() > limits_.MaxBufferedBytes)
            slow.push_back(page);
        else
            page->sendTextMessage(stateText_);
    }
    for (QWebSocket* page : slow)
        DropPage(page);
}

} // namespace brennix
