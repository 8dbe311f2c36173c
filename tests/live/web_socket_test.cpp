// The server's side of a WebSocket against a client written by hand, with a cap of 1024 bytes
// a message: the handshake's answer, the frames it sends byte for byte, and what it makes of
// every kind of frame a client may send, hostile ones included.
#include "live/web_socket.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace brennix;
using namespace Qt::StringLiterals;

namespace {

constexpr int WaitMs = 5000;

// A client's frame, masked with the key 01 02 03 04.
QByteArray Masked(char first, const QByteArray& payload) {
    const auto size = payload.size();
    QByteArray frame = first + (size < 126 ? QByteArray(1, char(0x80 | size))
                                           : "\xFE"_ba + char(size >> 8) + char(size & 0xFF));
    frame += "\x01\x02\x03\x04";
    for (qsizetype i = 0; i < size; ++i)
        frame += char(payload[i] ^ (i % 4 + 1));
    return frame;
}

} // namespace

class WebSocketTest : public QObject {
    Q_OBJECT
    QTcpServer server;
    QTcpSocket client;
    QTcpSocket* peer = nullptr; // the server's end
    TWebSocket* socket = nullptr;
    QByteArray received; // by the client after the 101
    QStringList events;  // messages, "pong <payload>" and "gone", in order

  private slots:
    // The answer to RFC 6455's own example key.
    void init() {
        received.clear();
        events.clear();
        server.close();
        QVERIFY(server.listen(QHostAddress::LocalHost));
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(server.waitForNewConnection(WaitMs));
        peer = server.nextPendingConnection();
        socket = new TWebSocket(peer, "dGhlIHNhbXBsZSBub25jZQ==", 1024);
        connect(socket, &TWebSocket::TextMessageReceived, [this](QString m) { events << m; });
        connect(socket, &TWebSocket::Pong, [this](QByteArray p) { events << "pong " + p; });
        connect(socket, &TWebSocket::Disconnected, [this] { events << "gone"; });
        const QByteArray answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                                  "Connection: Upgrade\r\nSec-WebSocket-Accept: "
                                  "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
        QTRY_COMPARE_WITH_TIMEOUT(client.bytesAvailable(), answer.size(), WaitMs);
        QCOMPARE(client.readAll(), answer);
        connect(&client, &QTcpSocket::readyRead, [this] { received += client.readAll(); });
    }

    void cleanup() {
        client.disconnect();
        client.abort();
        delete socket;
    }

    void sentFrames_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("0 bytes") << qsizetype(0) << "\x81\x00"_ba;
        QTest::newRow("125 bytes") << qsizetype(125) << "\x81\x7D"_ba;
        QTest::newRow("126 bytes") << qsizetype(126) << "\x81\x7E\x00\x7E"_ba;
        QTest::newRow("65535 bytes") << qsizetype(65535) << "\x81\x7E\xFF\xFF"_ba;
        QTest::newRow("65536 bytes") << qsizetype(65536) << "\x81\x7F\0\0\0\0\0\x01\0\0"_ba;
    }

    void sentFrames() {
        QFETCH(qsizetype, size);
        QFETCH(QByteArray, header);
        socket->SendText(QByteArray(size, 't'));
        socket->Ping("ping");
        QByteArray expected = header + QByteArray(size, 't') + "\x89\x04ping";
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), expected.size(), WaitMs);
        QCOMPARE(received, expected);
    }

    // Each row's frames, then a ping of the client's, "sync": the events and what came back
    // before the pong to "sync", which never comes once the server has closed.
    void clientFrames_data() {
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<bool>("byteByByte");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray hello = "\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58"_ba; // RFC 6455
        const QByteArray begun = Masked(0x01, {});
        const QByteArray error = "\x88\x02\x03\xEA"_ba, tooBig = "\x88\x02\x03\xF1"_ba;
        const QStringList gone = {"gone"};
        auto row = [](const char* name, const QByteArray& frames, const QStringList& expected,
                      const QByteArray& reply = {}, bool byteByByte = false) {
            QTest::newRow(name) << frames << byteByByte << expected << reply;
        };
        row("text", hello, {"Hello"});
        row("byte by byte", hello + Masked(0x81, QByteArray(126, 'm')),
            {"Hello", QString(126, 'm')}, {}, true);
        row("fragments, a ping between",
            Masked(0x01, "Hel") + Masked(0x89, "p") + Masked(0x80, "lo"), {"Hello"}, "\x8A\x01p");
        row("a character across fragments", Masked(0x01, "\xE2\x82") + Masked(0x80, "\xAC"), {"€"});
        row("binary, then a pong", Masked(0x82, "\0\xFF"_ba) + Masked(0x8A, "abc"), {"pong abc"});
        row("close", Masked(0x88, "\x0B\xB8ok") + hello, gone, "\x88\x02\x0B\xB8");
        row("close without a code", Masked(0x88, {}), gone, "\x88\x02\x03\xE8");
        row("close with 1005", Masked(0x88, "\x03\xED"), gone, error);
        row("not masked", "\x81\x05Hello", gone, error);
        row("a reserved bit", Masked(0xC1, "a"), gone, error);
        row("a reserved opcode", Masked(0x83, "a"), gone, error);
        row("a fragmented ping", Masked(0x09, "a"), gone, error);
        row("a ping of 126 bytes", Masked(0x89, QByteArray(126, 'p')), gone, error);
        row("a text within a text", begun + Masked(0x81, "a"), gone, error);
        row("not UTF-8", Masked(0x81, "\xC0\x80"), gone, "\x88\x02\x03\xEF");
        row("1018 bytes", Masked(0x81, QByteArray(1018, 'm')), {QString(1018, 'm')});
        row("1019 bytes", Masked(0x81, QByteArray(1019, 'm')), gone, tooBig);
        row("171 empty fragments", begun + Masked(0x00, {}).repeated(170), gone, tooBig);
        row("a length of 2^63", "\x82\xFF\x80\0\0\0\0\0\0\0\x01\x02\x03\x04"_ba, gone, tooBig);
    }

    void clientFrames() {
        QFETCH(QByteArray, frames);
        QFETCH(bool, byteByByte);
        QFETCH(QStringList, expected);
        QFETCH(QByteArray, reply);
        for (qsizetype i = 0; byteByByte && i < frames.size(); ++i) {
            client.write(frames.mid(i, 1));
            QVERIFY(client.waitForBytesWritten(WaitMs) && peer->waitForReadyRead(WaitMs));
        }
        client.write((byteByByte ? QByteArray() : frames) + Masked(0x89, "sync"));
        const QByteArray sync = "\x8A\x04sync";
        QVERIFY(QTest::qWaitFor(
            [&] { return received.endsWith(sync) || client.state() != QTcpSocket::ConnectedState; },
            WaitMs));
        QCOMPARE(events, expected);
        QCOMPARE(received, expected == QStringList{"gone"} ? reply : reply + sync);
    }
};

QTEST_GUILESS_MAIN(WebSocketTest)
#include "web_socket_test.moc"
