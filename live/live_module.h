// The live board's server as the program sees it. The server (Qt Network) is a
// module of its own that the program loads only when the command line asks for the
// live board, so that a start without it loads none of those libraries. This header is all the
// two sides share: the module exports one function by the name below, which makes a server
// behind this interface, and needs nothing from the program but what it is handed: plain data,
// the board as JSON text, never a type of the game's.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace brennix {

// Every bound the server keeps, so that no client on the network can slow down the operator,
// grow the program's memory or keep spectators out. The server runs in a thread of its own; the
// window only hands it each state.
struct TLiveLimits {
    int MaxConnections = 256;                // requests and pages together
    int MaxPagesPerAddress = 8;              // a further page of the address makes its oldest go
    int RequestTimeoutMs = 5000;             // a request connection's whole life, from connect
    qint64 MaxRequestBytes = 16 * 1024;      // request line, headers and body together
    qint64 MaxUnsentAnswerBytes = 64 * 1024; // past this a request connection reads no request
    qint64 MaxBufferedBytes = 256 * 1024;    // unsent bytes a page may have before it is dropped
    quint64 MaxIncomingMessageBytes = 1024;  // a page's message, unfinished fragments included
    qint64 MaxIncomingBytesPerCheck = 4096;  // all a page sends per PageCheckMs, pings included
    int PageCheckMs = 1000;                  // how often the pages are looked at
    // A page is pinged this often and dropped once it has not echoed two pings in a row: within
    // 2 * (PagePingMs + PageCheckMs) of the first ping it left unanswered.
    int PagePingMs = 20000;
    // What a keypad may send: at most this many entries per KeypadWindowMs from one keypad, and
    // twice as many from one address, whatever its keypads.
    int KeypadEntriesPerWindow = 5;
    int KeypadWindowMs = 5000;
};

// What a paired keypad asks of the board, read and checked by the server (a total of 0-180, 1-3
// darts, a player's place 1-8); the program answers each with AnswerKeypad.
struct TKeypadEntry {
    enum class TKind { Enter, Undo, Begin, Confirm };
    quint64 Pad = 0; // which keypad, for the answer
    qint64 Id = 0;   // the keypad's own number for it
    TKind Kind = TKind::Enter;
    int Score = 0;  // Enter: the visit's total
    int Darts = 3;  // Enter: the darts thrown
    int Player = 0; // Begin: who begins, the 1-based place in the Start Leg dialog's list
};
using TKeypadHandler = std::function<void(const TKeypadEntry&)>;

class TLiveBoardModule {
  public:
    virtual ~TLiveBoardModule() = default;

    // Opens the port on an IP address given as text, or on every interface for an empty one: an
    // empty text when it listens, else the reason it could not.
    virtual QString Listen(const QString& address, quint16 port) = 0;
    virtual quint16 Port() const = 0;
    // Where a browser can open the board, one URL each, every address of this machine when it
    // listens on all of them; a note may follow a URL ("http://127.0.0.1:8010/ (this machine)").
    virtual std::vector<std::string> Addresses() const = 0;

    // The board's state as JSON, serialised once by the program: served at /state.json from now
    // on and handed to every open page without waiting for any.
    virtual void Publish(const QByteArray& stateJson) = 0;
    // The players' standings as a JSON array, serialised by the program: served at /players.json
    // from now on ("[]" until the first).
    virtual void PublishPlayers(const QByteArray& playersJson) = 0;
    // Every board of the club as JSON, serialised by the program: served at /hall.json, with the
    // hall's page at /hall, from the first on (both are not found before, as on a board that is
    // in no club).
    virtual void PublishHall(const QByteArray& hallJson) = 0;

    // Keypads: phones and tablets at the board, paired by opening KeypadAddress (a one-time
    // code, valid two minutes, in place of the one before) and remembered until the program ends
    // or ForgetKeypads. Callable from any thread. A server without keypads pairs none.
    virtual std::string KeypadAddress(const std::string& /*boardUrl*/) { return {}; }
    virtual int KeypadCount() const { return 0; }
    virtual void ForgetKeypads() {}
    // Whom the checked entries of paired keypads go to. It is called on the server's thread: the
    // program crosses over to its own.
    virtual void SetKeypadHandler(TKeypadHandler) {}
    // The answer to an entry: taken when `why` is empty, else not taken, for that reason.
    virtual void AnswerKeypad(quint64 /*pad*/, qint64 /*id*/, const QString& /*why*/) {}
    // What the keypads offer now, as JSON ({"mode":"play"}, ...): sent to every keypad and to
    // each one that opens later.
    virtual void PublishKeypadMode(const QByteArray& /*modeJson*/) {}
};

// The module's one exported function, looked up by this name: a new server with the limits,
// owned by the caller, or none when the module was built for another version of this interface.
inline constexpr char LiveModuleFactoryName[] = "BrennixCreateLiveBoard";
inline constexpr int LiveModuleInterface = 5; // raised whenever anything in this header changes
using TLiveModuleFactory = TLiveBoardModule* (*)(int version, const TLiveLimits& limits);

} // namespace brennix
