#include "live_server.h"

#include "web_socket.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <optional>

namespace brennix {

namespace {

QByteArray LoadPage(const QString& name) {
    QFile file(QStringLiteral(":/live/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A request's line and headers as far as the server needs them.
struct TRequest {
    QByteArray Method;
    QString Path;
    QByteArray Upgrade;     // the Upgrade header, empty without one
    qint64 BodyBytes = 0;   // from Content-Length
    bool Close = false;     // Connection: close or HTTP/1.0: answered, then the connection closes
    bool Chunked = false;   // a body whose end is not known beforehand: the connection closes too
    bool WebSocket = false; // the key and version a WebSocket handshake needs are there
    QByteArray Key;         // the Sec-WebSocket-Key header
    QByteArray Host;        // the Host header
    QByteArray Origin;      // the Origin header, empty without one
    QByteArray Keypad;      // the keypad cookie's value, empty without one
};

// The value of the keypad's cookie in a Cookie header ("a=1; brennix_keypad=…"), if it is there.
QByteArray KeypadCookieIn(const QByteArray& cookies) {
    for (const QByteArray& cookie : cookies.split(';')) {
        const QByteArray pair = cookie.trimmed();
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0 && pair.left(equals) == KeypadCookie) return pair.mid(equals + 1);
    }
    return {};
}

// The request line and headers (without the blank line that ends them), or none when they are
// not a request of HTTP/1.x.
std::optional<TRequest> ReadRequest(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() != 3 || first[0].isEmpty() || !first[2].startsWith("HTTP/1.") ||
        first[2].size() != 8 || !first[1].startsWith('/'))
        return std::nullopt;
    TRequest request;
    request.Method = first[0];
    request.Path = QUrl(QString::fromLatin1(first[1])).path();
    request.Close = first[2] == "HTTP/1.0";
    bool version = false, length = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).contains(' ') || line.left(colon).contains('\t'))
            return std::nullopt;
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            const qint64 bytes = value.toLongLong(&ok);
            if (!ok || bytes < 0 || value.startsWith('+') || (length && bytes != request.BodyBytes))
                return std::nullopt;
            request.BodyBytes = bytes;
            length = true;
        } else if (name == "transfer-encoding") {
            request.Chunked = true;
        } else if (name == "connection") {
            for (const QByteArray& option : value.split(','))
                request.Close = request.Close || option.trimmed().toLower() == "close";
        } else if (name == "upgrade") {
            request.Upgrade = value.isEmpty() ? QByteArray("?") : value;
        } else if (name == "sec-websocket-key") {
            request.Key = value;
        } else if (name == "sec-websocket-version") {
            version = value == "13";
        } else if (name == "host") {
            request.Host = value;
        } else if (name == "origin") {
            request.Origin = value;
        } else if (name == "cookie" && request.Keypad.isEmpty()) {
            request.Keypad = KeypadCookieIn(value);
        }
    }
    request.WebSocket = !request.Key.isEmpty() && version;
    return request;
}

QByteArray StatusLine(int status) {
    switch (status) {
    case 200:
        return "HTTP/1.1 200 OK\r\n";
    case 303:
        return "HTTP/1.1 303 See Other\r\n";
    case 400:
        return "HTTP/1.1 400 Bad Request\r\n";
    case 403:
        return "HTTP/1.1 403 Forbidden\r\n";
    case 404:
        return "HTTP/1.1 404 Not Found\r\n";
    case 405:
        return "HTTP/1.1 405 Method Not Allowed\r\n";
    case 413:
        return "HTTP/1.1 413 Content Too Large\r\n";
    case 431:
        return "HTTP/1.1 431 Request Header Fields Too Large\r\n";
    default:
        return "HTTP/1.1 503 Service Unavailable\r\n";
    }
}

// An answer that closes the connection: the status alone.
QByteArray Refusal(int status) {
    return StatusLine(status) + "Content-Length: 0\r\nConnection: close\r\n\r\n";
}

const QByteArray NotFound = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; charset=utf-8\r\n";

} // namespace

// Accepts the connections itself, so that each socket is bounded before anything is read.
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
    }

  private:
    TLiveServer* owner_;
};

// A connection that is sending or may send requests; it lives as a child of its socket. It reads
// one complete request at a time, answers it, and reads the next only while the unsent answers
// stay below MaxUnsentAnswerBytes (Qt reads no more than one request's worth from the network
// meanwhile). Its timer closes the connection RequestTimeoutMs after it was opened, however many
// requests it has sent.
class TLiveServer::TRequestConnection : public QObject {
  public:
    TRequestConnection(TLiveServer* owner, QTcpSocket* socket)
        : QObject(socket), owner_(owner), socket_(socket), timer_(new QTimer(this)) {
        const TLiveLimits& limits = owner_->limits_;
        socket_->setReadBufferSize(limits.MaxRequestBytes + 1);
        reading_ = connect(socket, &QTcpSocket::readyRead, this, [this] { Read(); });
        writing_ = connect(socket, &QTcpSocket::bytesWritten, this, [this] { Read(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { Close(); });
        timer_->setSingleShot(true);
        connect(timer_, &QTimer::timeout, this, [this] { Close(); });
        timer_->start(limits.RequestTimeoutMs);
        idle_.start();
    }
    ~TRequestConnection() override {
        if (owner_) owner_->Forget(this);
    }

    qint64 IdleMs() const { return idle_.elapsed(); }
    void Detach() { owner_ = nullptr; }

    // Closes at once, whatever is unsent.
    void Close() {
        if (owner_) owner_->Forget(this);
        owner_ = nullptr;
        timer_->stop();
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }

  private:
    void Read() {
        while (owner_ && !closing_ && socket_->isOpen()) {
            const TLiveLimits& limits = owner_->limits_;
            if (socket_->bytesToWrite() > limits.MaxUnsentAnswerBytes) return;
            const qint64 available = socket_->bytesAvailable();
            if (available == 0) return;
            const QByteArray seen = socket_->peek(std::min(available, limits.MaxRequestBytes + 1));
            const qsizetype end = seen.indexOf("\r\n\r\n");
            if (end < 0 || end + 4 > limits.MaxRequestBytes) {
                if (end >= 0 || available > limits.MaxRequestBytes) Refuse(431);
                return; // the rest of the headers is still to come
            }
            idle_.start();
            const std::optional<TRequest> request = ReadRequest(seen.left(end));
            if (!request) return Refuse(400);
            const qint64 size = end + 4 + request->BodyBytes;
            if (size > limits.MaxRequestBytes) return Refuse(413);
            if (available < size) return; // the body is still to come
            socket_->skip(size);
            if (!request->Upgrade.isEmpty()) return Upgrade(*request);
            QByteArray answer = owner_->AnswerRequest(request->Method, request->Path,
                                                      request->Keypad, socket_->peerAddress());
            if (request->Close || request->Chunked) {
                const qsizetype blank = answer.indexOf("\r\n\r\n");
                answer.insert(blank + 2, "Connection: close\r\n");
                Finish(answer);
                return;
            }
            socket_->write(answer);
        }
    }

    // A page's WebSocket request makes the connection a page; any other upgrade is not found
    // here. A keypad's must come with a paired browser's cookie from a page of this
    // server: a page elsewhere cannot open it in the name of a phone that was paired.
    void Upgrade(const TRequest& request) {
        const bool keypad = request.Path == QLatin1String(KeypadPushPath);
        if ((!keypad && request.Path != QLatin1String(LivePushPath)) ||
            request.Upgrade.toLower() != "websocket" || request.Method != "GET")
            return Finish(NotFound + "Content-Length: 11\r\nConnection: close\r\n\r\nNot found.\n");
        if (!request.WebSocket) return Refuse(400);
        if (keypad && (!owner_->Paired(request.Keypad) ||
                       request.Origin.toLower() != "http://" + request.Host.toLower()))
            return Refuse(403);
        if (!owner_->CanTakePages()) return Refuse(503);
        TLiveServer* owner = owner_;
        owner_->Forget(this);
        owner_ = nullptr;
        timer_->stop();
        socket_->disconnect(this);
        owner->HandOver(socket_, request.Key, keypad ? request.Keypad : QByteArray());
        deleteLater();
    }

    // Answers with an error and closes the connection once the answer is sent; what follows is
    // thrown away.
    void Refuse(int status) { Finish(Refusal(status)); }

    void Finish(const QByteArray& answer) {
        closing_ = true;
        QObject::disconnect(reading_);
        QObject::disconnect(writing_);
        connect(socket_, &QTcpSocket::readyRead, this, [this] { socket_->skip(1 << 20); });
        socket_->skip(socket_->bytesAvailable());
        socket_->write(answer);
        socket_->disconnectFromHost();
    }

    TLiveServer* owner_;
    QTcpSocket* socket_;
    QTimer* timer_;
    QMetaObject::Connection reading_, writing_;
    QElapsedTimer idle_;
    bool closing_ = false;
};

// What a page sends, counted on its socket before its WebSocket, made after this, reads all
// that has come: past MaxIncomingBytesPerCheck in one PageCheckMs, or with more than
// MaxBufferedBytes unsent (the pongs to its pings included), the connection is cut. It lives as
// a child of the socket.
class TLiveServer::TIncoming : public QObject {
  public:
    TIncoming(const TLiveLimits& limits, QTcpSocket* socket)
        : QObject(socket), limits_(limits), socket_(socket) {
        window_.start();
        connect(socket, &QTcpSocket::readyRead, this, [this] { Arrived(); });
    }

  private:
    void Arrived() {
        if (window_.elapsed() >= limits_.PageCheckMs) {
            window_.start();
            received_ = 0;
        }
        received_ += socket_->bytesAvailable();
        if (received_ > limits_.MaxIncomingBytesPerCheck ||
            socket_->bytesToWrite() > limits_.MaxBufferedBytes)
            socket_->abort();
    }

    const TLiveLimits limits_;
    QTcpSocket* socket_;
    QElapsedTimer window_;
    qint64 received_ = 0; // in the current interval
};

// A page: its WebSocket, whom it belongs to, and its last ping.
struct TLiveServer::TPage {
    TWebSocket* Socket = nullptr;
    QHostAddress Address;
    quint64 Order = 0; // the lower, the older
    QByteArray Ping;   // the payload of the last ping, which a pong must echo
    qint64 PingedMs = 0;
    bool Echoed = true;
    int Missed = 0;
    QByteArray Keypad; // a keypad's token; empty for a page that only watches
};

TLiveServer::TLiveServer(TLiveLimits limits, QObject* parent) : QObject(parent), limits_(limits) {
    state_ = QByteArrayLiteral("{}");
    stateText_ = state_;
    players_ = QByteArrayLiteral("[]");
    checker_ = new QTimer(this);
    checker_->setInterval(limits_.PageCheckMs);
    connect(checker_, &QTimer::timeout, this, &TLiveServer::CheckPages);
    clock_.start();
}

TLiveServer::~TLiveServer() {
    for (TRequestConnection* connection : requests_)
        connection->Detach();
    requests_.clear();
    for (const std::unique_ptr<TPage>& page : pages_)
        page->Socket->disconnect(this);
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
    return {};
}

quint16 TLiveServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

void TLiveServer::Admit(QTcpSocket* socket) {
    MakeRoom();
    requests_.push_back(new TRequestConnection(this, socket));
}

// At the cap, the request connection idle the longest goes; pages make room only for pages.
void TLiveServer::MakeRoom() {
    while (!requests_.empty() &&
           static_cast<int>(requests_.size() + pages_.size()) >= limits_.MaxConnections) {
        const auto oldest = std::max_element(
            requests_.begin(), requests_.end(),
            [](TRequestConnection* a, TRequestConnection* b) { return a->IdleMs() < b->IdleMs(); });
        (*oldest)->Close();
    }
}

void TLiveServer::Forget(TRequestConnection* connection) {
    std::erase(requests_, connection);
}

namespace {

const QByteArray HallType = "application/json; charset=utf-8";

// A found page's answer: its headers, and its body unless `head`.
QByteArray Answered(const QByteArray& type, const QByteArray& body, bool head,
                    const QByteArray& status = StatusLine(200)) {
    const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (head)
        return status + "Content-Type: " + type + "\r\n" + length +
               "Cache-Control: no-store\r\n\r\n";
    return status + "Content-Type: " + type +
           "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
           "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; script-src "
           "'unsafe-inline'; connect-src 'self' ws: wss:; img-src 'self' data:\r\n" +
           length + "\r\n" + body;
}

const QByteArray JsonType = "application/json";

// What a pairing address answers when it pairs nobody, whatever the reason.
const QByteArray NotPaired = QByteArrayLiteral(
    "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
    "content=\"width=device-width, initial-scale=1\"><title>Brennix keypad</title></head><body "
    "style=\"font: 20px sans-serif; background: #111; color: #eee; padding: 1em\"><p>This "
    "pairing code cannot be used: it is mistyped, used already or more than two minutes old.</p>"
    "<p>Open Help \xe2\x86\x92 Live Board\xe2\x80\xa6 on the board's computer and scan the "
    "keypad's code again.</p></body></html>\n");

// A JSON number that is a whole number from `least` to `most`, or none.
std::optional<qint64> Whole(const QJsonValue& value, qint64 least, qint64 most) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < double(least) || number > double(most))
        return std::nullopt;
    return static_cast<qint64>(number);
}

} // namespace

// The answer to a request that is not a WebSocket's: a pairing address, whether the browser is
// paired, or a page or state everybody may read.
QByteArray TLiveServer::AnswerRequest(const QByteArray& method, const QString& path,
                                      const QByteArray& keypad, const QHostAddress& peer) {
    if (method == "GET" && path.startsWith(QLatin1String(KeypadPairPath)))
        return PairingAnswer(path.mid(qsizetype(std::size(KeypadPairPath)) - 1), peer);
    if (path == QStringLiteral("/pad/paired") && (method == "GET" || method == "HEAD"))
        return Answered(JsonType,
                        Paired(keypad) ? QByteArrayLiteral("{\"paired\":true}")
                                       : QByteArrayLiteral("{\"paired\":false}"),
                        method == "HEAD");
    return Answer(method, path);
}

QByteArray TLiveServer::PairingAnswer(const QString& code, const QHostAddress& address) {
    std::optional<std::string> token;
    {
        const std::lock_guard lock(pairingLock_);
        token = pairing_.Pair(code.toStdString(), address.toString().toStdString(),
                              TKeypadPairing::TClock::now());
    }
    if (!token) return Answered("text/html; charset=utf-8", NotPaired, false, StatusLine(403));
    return StatusLine(303) + "Location: /pad\r\nSet-Cookie: " + KeypadCookie + "=" +
           QByteArray::fromStdString(*token) +
           "; Path=/; HttpOnly; SameSite=Strict\r\nCache-Control: no-store\r\n"
           "Content-Length: 0\r\n\r\n";
}

bool TLiveServer::Paired(const QByteArray& token) const {
    if (token.isEmpty()) return false;
    const std::lock_guard lock(pairingLock_);
    return pairing_.Paired(std::string_view(token.constData(), size_t(token.size())));
}

// The answer to a request that is not a WebSocket's.
QByteArray TLiveServer::Answer(const QByteArray& method, const QString& path) const {
    const bool head = method == "HEAD";
    if (method != "GET" && !head)
        return "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain; charset=utf-8\r\n"
               "Allow: GET, HEAD\r\nContent-Length: 30\r\n\r\nRead only: GET and HEAD only.\n";
    QByteArray body;
    QByteArray type = "text/html; charset=utf-8";
    if (path == QStringLiteral("/")) {
        static const QByteArray page = LoadPage(QStringLiteral("index.html"));
        body = page;
    } else if (path == QStringLiteral("/overlay")) {
        // The strip for a streaming program's browser source, on the same pushes.
        static const QByteArray overlay = LoadPage(QStringLiteral("overlay.html"));
        body = overlay;
    } else if (path == QStringLiteral("/pad")) {
        // The keypad; it scores only once its browser is paired.
        static const QByteArray keypad = LoadPage(QStringLiteral("pad.html"));
        body = keypad;
    } else if (path == QStringLiteral("/players")) {
        static const QByteArray standings = LoadPage(QStringLiteral("players.html"));
        body = standings;
    } else if (path == QStringLiteral("/hall") && !hall_.isEmpty()) {
        static const QByteArray boards = LoadPage(QStringLiteral("hall.html"));
        body = boards;
    } else if (path == QStringLiteral("/hall.json") && !hall_.isEmpty()) {
        // Made once per publication: every request shares it.
        return head ? Answered(HallType, hall_, true) : hallAnswer_;
    } else if (path == QStringLiteral("/state.json")) {
        body = state_;
        type = "application/json";
    } else if (path == QStringLiteral("/players.json")) {
        body = players_;
        type = "application/json; charset=utf-8";
    } else {
        // A HEAD request gets the headers alone, here as below.
        return NotFound +
               (head ? "Content-Length: 0\r\n\r\n" : "Content-Length: 11\r\n\r\nNot found.\n");
    }
    return Answered(type, body, head);
}

// Whether a page can be given a place (one always makes room for a newcomer, but with
// limits that leave no place for a page there is none).
bool TLiveServer::CanTakePages() const {
    return limits_.MaxPagesPerAddress > 0 && limits_.MaxConnections > 0;
}

// A page's handshake has been read: its WebSocket answers it, and the page is made.
void TLiveServer::HandOver(QTcpSocket* connection, const QByteArray& key,
                           const QByteArray& keypad) {
    new TIncoming(limits_, connection);
    auto* socket = new TWebSocket(connection, key, limits_.MaxIncomingMessageBytes, this);
    MakeRoomForPage(socket->PeerAddress());
    auto page = std::make_unique<TPage>();
    page->Socket = socket;
    page->Address = socket->PeerAddress();
    page->Order = ++admitted_;
    page->Keypad = keypad;
    connect(socket, &TWebSocket::Disconnected, this, [this, socket] { DropPage(socket); });
    TPage* seen = page.get();
    connect(socket, &TWebSocket::Pong, this, [seen](const QByteArray& payload) {
        if (payload == seen->Ping) seen->Echoed = true;
    });
    if (!keypad.isEmpty())
        connect(socket, &TWebSocket::TextMessageReceived, this,
                [this, seen](const QString& message) { KeypadSent(*seen, message); });
    pages_.push_back(std::move(page));
    if (!checker_->isActive()) checker_->start();
    socket->SendText(stateText_);
    if (!keypad.isEmpty() && !keypadModeText_.isEmpty()) socket->SendText(keypadModeText_);
    Ping(*seen);
}

// A new page of an address at its cap makes that address's oldest page go; with every
// connection in use, the longest-idle request connection goes, else the oldest page of the
// address with the most pages.
void TLiveServer::MakeRoomForPage(const QHostAddress& address) {
    auto count = [this](const QHostAddress& of) {
        return std::count_if(pages_.begin(), pages_.end(),
                             [&](const std::unique_ptr<TPage>& p) { return p->Address == of; });
    };
    auto oldestOf = [this](const QHostAddress& of) {
        TPage* oldest = nullptr;
        for (const std::unique_ptr<TPage>& page : pages_)
            if (page->Address == of && (!oldest || page->Order < oldest->Order))
                oldest = page.get();
        return oldest;
    };
    while (count(address) >= limits_.MaxPagesPerAddress)
        DropPage(oldestOf(address)->Socket);
    MakeRoom();
    while (!pages_.empty() &&
           static_cast<int>(requests_.size() + pages_.size()) >= limits_.MaxConnections) {
        QHostAddress most = pages_.front()->Address;
        for (const std::unique_ptr<TPage>& page : pages_)
            if (count(page->Address) > count(most)) most = page->Address;
        DropPage(oldestOf(most)->Socket);
    }
}

void TLiveServer::Ping(TPage& page) {
    page.Ping = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    page.PingedMs = clock_.elapsed();
    page.Echoed = false;
    page.Socket->Ping(page.Ping);
}

// Every PageCheckMs: a page with too much unsent goes, and every PagePingMs each page is pinged
// again; one that has not echoed its last two pings has gone (a phone put away, a network gone).
void TLiveServer::CheckPages() {
    const qint64 now = clock_.elapsed();
    std::vector<TWebSocket*> gone;
    for (const std::unique_ptr<TPage>& page : pages_) {
        // A keypad forgotten by the operator goes at once.
        if (page->Socket->BytesToWrite() > limits_.MaxBufferedBytes ||
            (!page->Keypad.isEmpty() && !Paired(page->Keypad))) {
            gone.push_back(page->Socket);
            continue;
        }
        if (now - page->PingedMs < limits_.PagePingMs) continue;
        page->Missed = page->Echoed ? 0 : page->Missed + 1;
        if (page->Missed >= 2)
            gone.push_back(page->Socket);
        else
            Ping(*page);
    }
    for (TWebSocket* socket : gone)
        DropPage(socket);
    // The entries' times are kept only as long as they count.
    std::erase_if(entriesByToken_, [&](const auto& times) {
        return times.second.empty() || now - times.second.back() >= limits_.KeypadWindowMs;
    });
    std::erase_if(entriesByAddress_, [&](const auto& times) {
        return times.second.empty() || now - times.second.back() >= limits_.KeypadWindowMs;
    });
}

void TLiveServer::DropPage(TWebSocket* socket) {
    if (!socket) return;
    const auto page =
        std::find_if(pages_.begin(), pages_.end(),
                     [&](const std::unique_ptr<TPage>& p) { return p->Socket == socket; });
    if (page == pages_.end()) return;
    pages_.erase(page);
    if (pages_.empty()) checker_->stop();
    socket->disconnect(this);
    socket->Abort();
    socket->deleteLater();
}

void TLiveServer::Publish(const QByteArray& stateJson) {
    state_ = stateJson;
    stateText_ = QString::fromUtf8(state_).toUtf8();
    std::vector<TWebSocket*> slow;
    for (const std::unique_ptr<TPage>& page : pages_) {
        if (page->Socket->BytesToWrite() > limits_.MaxBufferedBytes)
            slow.push_back(page->Socket);
        else
            page->Socket->SendText(stateText_);
    }
    for (TWebSocket* socket : slow)
        DropPage(socket);
}

std::string TLiveServer::NewKeypadCode() {
    const std::lock_guard lock(pairingLock_);
    return pairing_.NewCode(TKeypadPairing::TClock::now());
}

int TLiveServer::KeypadCount() const {
    const std::lock_guard lock(pairingLock_);
    return static_cast<int>(pairing_.Count());
}

// Their pages go at the next check (within PageCheckMs), their entries at once.
void TLiveServer::ForgetKeypads() {
    const std::lock_guard lock(pairingLock_);
    pairing_.ForgetAll();
}

int TLiveServer::KeypadPageCount() const {
    return static_cast<int>(std::count_if(
        pages_.begin(), pages_.end(), [](const auto& page) { return !page->Keypad.isEmpty(); }));
}

// Whether one more entry fits within the last KeypadWindowMs, which then counts it.
bool TLiveServer::WithinBudget(std::vector<qint64>& times, int most) {
    const qint64 now = clock_.elapsed();
    std::erase_if(times, [&](qint64 at) { return now - at >= limits_.KeypadWindowMs; });
    if (static_cast<int>(times.size()) >= most) return false;
    times.push_back(now);
    return true;
}

// A keypad's message, untrusted: one JSON object with the keypad's number for it and one of
// {"enter": 0-180, "darts": 1-3}, {"undo": true}, {"begin": 1-8}, {"confirm": true}. Every
// message counts against the keypad's and its address's budget; what is left goes to the
// program, which answers it.
void TLiveServer::KeypadSent(TPage& page, const QString& message) {
    if (!Paired(page.Keypad)) return DropPage(page.Socket);
    const QJsonObject sent = QJsonDocument::fromJson(message.toUtf8()).object();
    const std::optional<qint64> id = Whole(sent.value(QLatin1String("id")), 0, qint64(1) << 53);
    if (!id) return; // nothing it could be told about
    const bool keypadWithin =
        WithinBudget(entriesByToken_[page.Keypad], limits_.KeypadEntriesPerWindow);
    if (!keypadWithin || !WithinBudget(entriesByAddress_[page.Address.toString()],
                                       2 * limits_.KeypadEntriesPerWindow))
        return Reply(page, *id, QStringLiteral("too many entries: wait a moment"));

    TKeypadEntry entry{.Pad = page.Order, .Id = *id};
    const auto yes = [&](const char* key) {
        return sent.value(QLatin1String(key)) == QJsonValue(true);
    };
    if (sent.size() == 2 && yes("undo")) {
        entry.Kind = TKeypadEntry::TKind::Undo;
    } else if (sent.size() == 2 && yes("confirm")) {
        entry.Kind = TKeypadEntry::TKind::Confirm;
    } else if (const auto player = Whole(sent.value(QLatin1String("begin")), 1, 8);
               sent.size() == 2 && player) {
        entry.Kind = TKeypadEntry::TKind::Begin;
        entry.Player = static_cast<int>(*player);
    } else if (const auto darts = Whole(sent.value(QLatin1String("darts")), 1, 3);
               sent.size() == 3 && darts && sent.value(QLatin1String("enter")).isDouble()) {
        const std::optional<qint64> score = Whole(sent.value(QLatin1String("enter")), 0, 180);
        if (!score) return Reply(page, *id, QString::fromUtf8("not 0\u2013180"));
        entry.Score = static_cast<int>(*score);
        entry.Darts = static_cast<int>(*darts);
    } else {
        return Reply(page, *id, QStringLiteral("not understood"));
    }
    if (!keypadHandler_) return Reply(page, *id, QStringLiteral("the board's operator is needed"));
    keypadHandler_(entry);
}

void TLiveServer::Reply(TPage& page, qint64 id, const QString& why) {
    QJsonObject reply{{QStringLiteral("id"), id}, {QStringLiteral("taken"), why.isEmpty()}};
    if (!why.isEmpty()) reply.insert(QStringLiteral("why"), why);
    page.Socket->SendText(QJsonDocument(QJsonObject{{QStringLiteral("reply"), reply}})
                              .toJson(QJsonDocument::Compact));
}

void TLiveServer::AnswerKeypad(quint64 pad, qint64 id, const QString& why) {
    for (const std::unique_ptr<TPage>& page : pages_)
        if (page->Order == pad && !page->Keypad.isEmpty()) return Reply(*page, id, why);
}

void TLiveServer::PublishKeypadMode(const QByteArray& modeJson) {
    keypadModeText_ = QString::fromUtf8("{\"keypad\":" + modeJson + "}").toUtf8();
    for (const std::unique_ptr<TPage>& page : pages_)
        if (!page->Keypad.isEmpty()) page->Socket->SendText(keypadModeText_);
}

void TLiveServer::PublishPlayers(const QByteArray& playersJson) {
    players_ = playersJson;
}

void TLiveServer::PublishHall(const QByteArray& hallJson) {
    hall_ = hallJson;
    hallAnswer_ = Answered(HallType, hall_, false);
}

} // namespace brennix
