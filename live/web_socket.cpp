#include "web_socket.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace brennix {

namespace {

// The frames' opcodes; a control frame's is CloseFrame or above.
constexpr int Continuation = 0x0, Text = 0x1, Binary = 0x2, CloseFrame = 0x8, PingFrame = 0x9,
              PongFrame = 0xA;

// The status codes the server closes with.
constexpr quint16 ProtocolError = 1002, NotUtf8 = 1007, TooBig = 1009;

// The text, or none when the bytes are not valid UTF-8.
std::optional<QString> Utf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) return std::nullopt;
    return text;
}

// Whether a client may close with this code (1004 to 1006 and 1015 are never sent).
bool SendableCode(quint16 code) {
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) ||
           (code >= 3000 && code <= 4999);
}

} // namespace

QByteArray TWebSocket::AcceptValue(const QByteArray& key) {
    return QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                    QCryptographicHash::Sha1)
        .toBase64();
}

TWebSocket::TWebSocket(QTcpSocket* socket, const QByteArray& key, quint64 maxMessageBytes,
                       QObject* parent)
    : QObject(parent), socket_(socket), maxMessageBytes_(maxMessageBytes) {
    socket_->setParent(this);
    socket_->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                   "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
                   AcceptValue(key) + "\r\n\r\n");
    connect(socket_, &QTcpSocket::readyRead, this, &TWebSocket::Read);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        closing_ = true;
        emit Disconnected();
    });
    QTimer::singleShot(0, this, &TWebSocket::Read);
}

void TWebSocket::SendText(const QByteArray& text) {
    Send(Text, text);
}

void TWebSocket::Ping(const QByteArray& payload) {
    if (payload.size() <= 125) Send(PingFrame, payload);
}

qint64 TWebSocket::BytesToWrite() const {
    return socket_->bytesToWrite();
}

QHostAddress TWebSocket::PeerAddress() const {
    return socket_->peerAddress();
}

void TWebSocket::Abort() {
    closing_ = true;
    socket_->abort();
}

// Reads the frames as far as they have come, a header and its payload at a time.
void TWebSocket::Read() {
    while (!closing_ && socket_->isOpen()) {
        if (!inPayload_ && !ReadHeader()) return;
        ReadPayload();
        if (inPayload_) return; // the rest is still to come
    }
}

// Reads the header as far as it has come: true once it is whole and allowed. Its first two
// bytes are checked as soon as they are there.
bool TWebSocket::ReadHeader() {
    header_ += socket_->read(2 - std::min<qsizetype>(header_.size(), 2));
    if (header_.size() < 2) return false;
    const auto first = static_cast<quint8>(header_[0]), second = static_cast<quint8>(header_[1]);
    opcode_ = first & 0x0F;
    last_ = first & 0x80;
    const int length = second & 0x7F;
    bool allowed = (first & 0x70) == 0 && (second & 0x80); // no reserved bit; masked
    switch (opcode_) {
    case Continuation:
        allowed = allowed && message_ != 0;
        break;
    case Text:
    case Binary:
        allowed = allowed && message_ == 0;
        break;
    case CloseFrame:
    case PingFrame:
    case PongFrame:
        allowed = allowed && last_ && length <= 125;
        break;
    default:
        allowed = false;
    }
    if (!allowed) {
        Close(ProtocolError);
        return false;
    }
    const qsizetype size = (length == 127 ? 10 : length == 126 ? 4 : 2) + 4;
    header_ += socket_->read(size - header_.size());
    if (header_.size() < size) return false;
    quint64 bytes = length;
    if (length == 126) bytes = qFromBigEndian<quint16>(header_.constData() + 2);
    if (length == 127) bytes = qFromBigEndian<quint64>(header_.constData() + 2);
    std::memcpy(mask_, header_.constData() + size - 4, 4);
    header_.clear();
    if (opcode_ < CloseFrame) {
        if (bytes > maxMessageBytes_ || counted_ + bytes + 6 > maxMessageBytes_) {
            Close(TooBig);
            return false;
        }
        counted_ += bytes + 6;
        if (opcode_ != Continuation) message_ = opcode_;
    }
    left_ = bytes;
    masked_ = 0;
    control_.clear();
    inPayload_ = true;
    return true;
}

void TWebSocket::ReadPayload() {
    const auto available = static_cast<quint64>(socket_->bytesAvailable());
    QByteArray bytes = socket_->read(static_cast<qint64>(std::min(left_, available)));
    for (char& byte : bytes)
        byte ^= mask_[masked_++ % 4];
    left_ -= bytes.size();
    if (opcode_ >= CloseFrame)
        control_ += bytes;
    else if (message_ == Text)
        text_ += bytes;
    if (left_ > 0) return;
    inPayload_ = false;
    FrameDone();
}

void TWebSocket::FrameDone() {
    if (opcode_ >= CloseFrame) return Control();
    if (!last_) return;
    const int message = std::exchange(message_, 0);
    counted_ = 0;
    if (message != Text) return;
    const std::optional<QString> text = Utf8(std::exchange(text_, {}));
    if (!text) return Close(NotUtf8);
    emit TextMessageReceived(*text);
}

// A ping is echoed, a pong told, a close echoed with its code before the connection closes.
void TWebSocket::Control() {
    if (opcode_ == PingFrame) return Send(PongFrame, control_);
    if (opcode_ == PongFrame) {
        emit Pong(control_);
        return;
    }
    if (control_.isEmpty()) return Close(1000);
    const quint16 code = control_.size() < 2 ? 0 : qFromBigEndian<quint16>(control_.constData());
    if (!SendableCode(code)) return Close(ProtocolError);
    if (!Utf8(control_.mid(2))) return Close(NotUtf8);
    Close(code);
}

void TWebSocket::Send(int opcode, const QByteArray& payload) {
    if (closing_) return;
    const auto size = static_cast<quint64>(payload.size());
    char header[10] = {static_cast<char>(0x80 | opcode)};
    qsizetype headerSize = 2;
    if (size < 126) {
        header[1] = static_cast<char>(size);
    } else if (size <= 0xFFFF) {
        header[1] = 126;
        qToBigEndian(static_cast<quint16>(size), header + 2);
        headerSize = 4;
    } else {
        header[1] = 127;
        qToBigEndian(size, header + 2);
        headerSize = 10;
    }
    socket_->write(header, headerSize);
    socket_->write(payload);
}

// Hands a close frame with the code to the system and drops the connection: a client that breaks
// a rule is not waited for, and one that closes has nothing more to say.
void TWebSocket::Close(quint16 code) {
    char payload[2];
    qToBigEndian(code, payload);
    Send(CloseFrame, QByteArray(payload, 2));
    socket_->flush();
    Abort();
}

} // namespace brennix
