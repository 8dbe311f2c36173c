// A hostile client of the live board, for its tests and its bench: `live_attacker ATTACK PORT
// [COOKIE]` attacks 127.0.0.1:PORT from 127.0.0.2 until it is killed, reconnecting whatever the
// server closes, and writes "ready" once its connections are open. ATTACK is one of
//   pipeline   4 connections pipelining GET / (500 a burst) that never read an answer
//   pings      4 pages flooding pings that never read a pong
//   fragments  4 pages sending empty fragments of a message that never ends
//   messages   4 pages flooding 1 KiB text messages
//   pages      255 pages that answer every ping
//   silent     255 pages that answer nothing and read nothing
//   elsewhere  4 connections sending WebSocket handshakes for another path, one after another
//   codes      4 connections guessing pairing codes, 100 a burst, reading the answers
//   keypad     4 keypads with the paired COOKIE sending 100 entries a second each (who begins,
//              outside Start Leg)
#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

QByteArray Handshake(const QByteArray& path, const QByteArray& more = {}) {
    return "GET " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           more + "\r\n";
}

// A client's frame, masked (with a key of zeros, which leaves the payload as it is).
QByteArray Frame(int first, const QByteArray& payload) {
    QByteArray frame(1, char(first));
    if (payload.size() < 126) {
        frame += char(0x80 | payload.size());
    } else {
        frame += char(0x80 | 126);
        frame += char(payload.size() >> 8);
        frame += char(payload.size() & 0xFF);
    }
    return frame + QByteArray(4, '\0') + payload;
}

class TAttacker : public QObject {
  public:
    TAttacker(QString attack, quint16 port, QByteArray cookie)
        : attack_(std::move(attack)), port_(port), cookie_(std::move(cookie)) {
        const bool many = attack_ == "pages" || attack_ == "silent";
        for (int i = 0; i < (many ? 255 : 4); ++i)
            Open();
    }

  private:
    void Open() {
        auto* socket = new QTcpSocket(this);
        const bool reads = attack_ == "pages" || attack_ == "codes" || attack_ == "keypad";
        if (!reads) socket->setReadBufferSize(1); // reads next to nothing
        socket->bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
        connect(socket, &QTcpSocket::connected, this, [this, socket] { Start(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Again(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            if (socket->state() == QAbstractSocket::UnconnectedState) Again(socket);
        });
        socket->connectToHost(QHostAddress::LocalHost, port_);
    }

    void Again(QTcpSocket* socket) {
        if (socket->property("gone").toBool()) return;
        socket->setProperty("gone", true);
        socket->deleteLater();
        QTimer::singleShot(attack_ == "elsewhere" ? 0 : 50, this, [this] { Open(); });
    }

    void Start(QTcpSocket* socket) {
        if (++opened_ == (attack_ == "pages" || attack_ == "silent" ? 255 : 4)) {
            std::puts("ready");
            std::fflush(stdout);
        }
        if (attack_ == "elsewhere") {
            socket->write(Handshake("/x"));
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            return;
        }
        if (attack_ == "pipeline") {
            QByteArray burst;
            for (int i = 0; i < 500; ++i)
                burst += "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
            Flood(socket, burst);
            return;
        }
        if (attack_ == "codes") {
            QByteArray burst;
            for (int i = 0; i < 100; ++i)
                burst += "GET /k/" + QByteArray::number(1000000000 + i) + " HTTP/1.1\r\n\r\n";
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            Flood(socket, burst);
            return;
        }
        if (attack_ == "keypad") {
            socket->write(Handshake("/pad/live", "Cookie: " + cookie_ +
                                                     "\r\nOrigin: http://127.0.0.1\r\n"));
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            // 100 entries a second, under what a page may send in bytes: the entries' own
            // budget has to stop them.
            QByteArray burst;
            for (int i = 0; i < 10; ++i)
                burst += Frame(0x81, R"({"id":)" + QByteArray::number(i) + R"(,"begin":1})");
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, burst] { socket->write(burst); });
            timer->start(100);
            return;
        }
        socket->write(Handshake("/live"));
        if (attack_ == "pages") {
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { Answer(*socket); });
        } else if (attack_ == "pings") {
            QByteArray burst;
            for (int i = 0; i < 1000; ++i)
                burst += Frame(0x89, "ping");
            Flood(socket, burst);
        } else if (attack_ == "fragments") {
            socket->write(Frame(0x01, {})); // a text message begun, never ended
            QByteArray burst;
            for (int i = 0; i < 1000; ++i)
                burst += Frame(0x00, {});
            Flood(socket, burst);
        } else if (attack_ == "messages") {
            QByteArray burst;
            for (int i = 0; i < 16; ++i)
                burst += Frame(0x81, QByteArray(1024, 'm'));
            Flood(socket, burst);
        }
    }

    // Writes `burst` again whenever the last has gone out.
    static void Flood(QTcpSocket* socket, const QByteArray& burst) {
        socket->write(burst);
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket, burst] {
            if (socket->bytesToWrite() == 0) socket->write(burst);
        });
    }

    // Reads the server's frames after its 101 and echoes every ping in a pong.
    static void Answer(QTcpSocket& socket) {
        QByteArray data = socket.property("data").toByteArray() + socket.readAll();
        if (!socket.property("open").toBool()) {
            const qsizetype end = data.indexOf("\r\n\r\n");
            if (end < 0) {
                socket.setProperty("data", data);
                return;
            }
            data.remove(0, end + 4);
            socket.setProperty("open", true);
        }
        for (;;) {
            if (data.size() < 2) break;
            qsizetype length = data[1] & 0x7F, start = 2;
            if (length == 126) {
                if (data.size() < 4) break;
                length = (uchar(data[2]) << 8) | uchar(data[3]);
                start = 4;
            } else if (length == 127) {
                if (data.size() < 10) break;
                length = 0;
                for (int i = 2; i < 10; ++i)
                    length = (length << 8) | uchar(data[i]);
                start = 10;
            }
            if (data.size() < start + length) break;
            if ((data[0] & 0x0F) == 0x9) socket.write(Frame(0x8A, data.mid(start, length)));
            data.remove(0, start + length);
        }
        socket.setProperty("data", data);
    }

    QString attack_;
    quint16 port_;
    QByteArray cookie_;
    int opened_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fputs("usage: live_attacker ATTACK PORT [COOKIE]\n", stderr);
        return 2;
    }
    TAttacker attacker(QString::fromLatin1(argv[1]), static_cast<quint16>(atoi(argv[2])),
                       argc == 4 ? QByteArray(argv[3]) : QByteArray());
    return application.exec();
}
