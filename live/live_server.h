// The live board's server: a read-only web page of the running match for the screens in the
// room, a scoreboard strip for a stream (/overlay) and the players' standings for the room's TV
// (/players), with the board pushed to every open page over a WebSocket after each redraw.
//
// It reads the requests itself and answers them one at a time, and keeps every connection
// bounded (TLiveLimits): a connection cap, a deadline for a request connection's whole life, a
// cap on the size of a request and on the unsent answers (past which a connection reads no
// further request), a cap on the pages of one client address (the oldest goes), and for a page
// a cap on its unsent data, on what it may send per interval and on a message, and a ping it
// must echo. A client that breaks a bound is dropped, never waited for. The module runs the
// server in a thread of its own; in the tests and benches it may run in the caller's.
#pragma once

#include "keypad_pairing.h"
#include "live_module.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QTcpSocket;
class QTimer;

namespace brennix {

class TWebSocket;

// The path the page opens its WebSocket on.
inline constexpr char LivePushPath[] = "/live";
// A keypad's: only a paired browser's (its cookie), from a page of this server (its Origin).
inline constexpr char KeypadPushPath[] = "/pad/live";
// Where a pairing code is opened ("/k/CODE"), and the cookie that keeps the token it gives.
inline constexpr char KeypadPairPath[] = "/k/";
inline constexpr char KeypadCookie[] = "brennix_keypad";

class TLiveServer : public QObject {
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
    // Serves the players' standings (a JSON array) at /players.json from now on.
    void PublishPlayers(const QByteArray& playersJson);
    // Serves every board of the club at /hall.json and the hall's page at /hall from now on.
    void PublishHall(const QByteArray& hallJson);

    // Keypads (see TLiveBoardModule): the pairing is guarded, so that the window may ask for a
    // code or the count from its own thread; the rest runs on the server's.
    std::string NewKeypadCode();
    int KeypadCount() const;
    void ForgetKeypads();
    void SetKeypadHandler(TKeypadHandler handler) { keypadHandler_ = std::move(handler); }
    void AnswerKeypad(quint64 pad, qint64 id, const QString& why);
    void PublishKeypadMode(const QByteArray& modeJson);
    int KeypadPageCount() const;

    // The last state published, as served at /state.json.
    const QByteArray& StateJson() const { return state_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    int RequestConnectionCount() const { return static_cast<int>(requests_.size()); }

  private:
    class TListener;
    class TRequestConnection;
    class TIncoming;
    struct TPage;
    friend class TListener;
    friend class TRequestConnection;

    void Admit(QTcpSocket* socket);
    void MakeRoom();
    void Forget(TRequestConnection* connection);
    QByteArray Answer(const QByteArray& method, const QString& path) const;
    QByteArray AnswerRequest(const QByteArray& method, const QString& path,
                             const QByteArray& keypad, const QHostAddress& peer);
    QByteArray PairingAnswer(const QString& code, const QHostAddress& address);
    bool Paired(const QByteArray& token) const;
    bool CanTakePages() const;
    void HandOver(QTcpSocket* socket, const QByteArray& key, const QByteArray& token);
    void MakeRoomForPage(const QHostAddress& address);
    void DropPage(TWebSocket* socket);
    void CheckPages();
    void Ping(TPage& page);
    void KeypadSent(TPage& page, const QString& message);
    void Reply(TPage& page, qint64 id, const QString& why);
    bool WithinBudget(std::vector<qint64>& times, int most);

    TLiveLimits limits_;
    TListener* listener_ = nullptr;
    QByteArray state_;
    QByteArray stateText_; // the state as valid UTF-8, as the pages are sent it
    QByteArray players_;
    QByteArray hall_;       // empty until the first: no hall without a club
    QByteArray hallAnswer_; // the whole answer to GET /hall.json, shared by every request
    std::vector<TRequestConnection*> requests_;
    std::vector<std::unique_ptr<TPage>> pages_;
    quint64 admitted_ = 0; // pages so far, for the order of age
    QTimer* checker_;
    QElapsedTimer clock_;

    mutable std::mutex pairingLock_;
    TKeypadPairing pairing_; // guarded by pairingLock_
    TKeypadHandler keypadHandler_;
    QByteArray keypadModeText_;
    // When each keypad and each address sent its last entries, within KeypadWindowMs.
    std::map<QByteArray, std::vector<qint64>> entriesByToken_;
    std::map<QString, std::vector<qint64>> entriesByAddress_;
};

} // namespace brennix
