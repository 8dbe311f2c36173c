// The live board's server: a read-only web page of the running match for the screens in the
// room and a scoreboard strip for a stream (/overlay), with the board pushed to every open page
// over a WebSocket after each redraw.
//
// It runs in the program's one event loop. Qt HTTP Server reads the requests; this class only
// answers them and keeps the connections bounded: a cap on simultaneous connections (the
// longest-idle request connection makes room for a new one), a timeout for a connection that
// sends no complete request, a cap on the size of a request and on what is buffered for a page,
// and a ping for every page now and then. A page that cannot keep up or has gone silent is
// dropped, never waited for.
#pragma once

#include "live_module.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <vector>

class QTimer;
class QWebSocket;

namespace brennix {

// The path the page opens its WebSocket on.
inline constexpr char LivePushPath[] = "/live";

class TLiveServer : public QAbstractHttpServer {
    Q_OBJECT
  public:
    explicit TLiveServer(TLiveLimits limits = {}, QObject* parent = nullptr);
    ~TLiveServer() override;

    // Opens the port: an empty text when it listens, else the reason it could not.
    QString Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const;

    // Serves the board's state (JSON) from now on and hands it to every open page without
    // waiting for any.
    void Publish(const QByteArray& stateJson);

    // The last state published, as served at /state.json.
    const QByteArray& StateJson() const { return state_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    int RequestConnectionCount() const { return static_cast<int>(requests_.size()); }

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    class TListener;
    class TRequestConnection;
    friend class TListener;
    friend class TRequestConnection;

    void Admit(QTcpSocket* socket);
    void MakeRoom();
    void Forget(TRequestConnection* connection);
    TRequestConnection* Find(const QTcpSocket* socket) const;
    void TakePages();
    void DropPage(QWebSocket* page);
    void PingPages();

    TLiveLimits limits_;
    TListener* listener_ = nullptr;
    QByteArray state_;
    QString stateText_;
    std::vector<TRequestConnection*> requests_;
    std::vector<QWebSocket*> pages_;
    QTimer* pinger_;
    QElapsedTimer clock_; // when a page was last heard of, on the "heard" property
};

} // namespace brennix
