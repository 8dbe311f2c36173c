// The server's side of a WebSocket (RFC 6455) on a connected TCP socket whose handshake request
// has been read: it answers the handshake, sends text messages and pings, and reads what the
// client sends, every byte of it untrusted. A client's frames must be masked; a message counts
// its frames' payloads and six bytes a frame (a masked frame's smallest header), so that endless
// empty fragments count too, and past its cap the connection is closed with 1009. A broken rule
// closes it with 1002 (1007 for text that is not UTF-8), a close from the client with its own
// code: a close frame, then the connection is dropped at once. Pings are answered with pongs;
// binary messages are read and thrown away.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace brennix {

class TWebSocket : public QObject {
    Q_OBJECT
  public:
    // The Sec-WebSocket-Accept value for a request's Sec-WebSocket-Key.
    static QByteArray AcceptValue(const QByteArray& key);

    // Takes the socket as its child and writes the 101 answer to the handshake with this key;
    // what has already come after the handshake is read once the event loop runs again.
    // Delete it with deleteLater() only, as a QTcpSocket.
    TWebSocket(QTcpSocket* socket, const QByteArray& key, quint64 maxMessageBytes,
               QObject* parent = nullptr);

    // Both take UTF-8 text, and do nothing once the connection is closing.
    void SendText(const QByteArray& text);
    void Ping(const QByteArray& payload); // at most 125 bytes

    qint64 BytesToWrite() const;
    QHostAddress PeerAddress() const;
    // Closes at once, whatever is unsent.
    void Abort();

  signals:
    void TextMessageReceived(const QString& message);
    void Pong(const QByteArray& payload);
    void Disconnected();

  private:
    void Read();
    bool ReadHeader();
    void ReadPayload();
    void FrameDone();
    void Control();
    void Send(int opcode, const QByteArray& payload);
    void Close(quint16 code);

    QTcpSocket* socket_;
    const quint64 maxMessageBytes_;
    QByteArray header_;      // the frame's header so far
    bool inPayload_ = false; // the header is done, the payload is coming
    int opcode_ = 0;
    bool last_ = false;  // the FIN bit
    quint64 left_ = 0;   // payload bytes still to come
    char mask_[4] = {};  // the frame's masking key
    quint64 masked_ = 0; // payload bytes unmasked so far
    QByteArray control_; // a control frame's payload
    int message_ = 0;    // the opcode of the message under way (text or binary), 0 for none
    QByteArray text_;    // a text message's payload so far
    quint64 counted_ = 0;
    bool closing_ = false;
};

} // namespace brennix
