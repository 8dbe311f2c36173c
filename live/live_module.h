// The live board's server as the program sees it. The server (Qt WebSockets, Qt Network) is a
// module of its own that the program loads only when the command line asks for the
// live board, so that a start without it loads none of those libraries. This header is all the
// two sides share: the module exports one function by the name below, which makes a server
// behind this interface, and needs nothing from the program but what it is handed: plain data,
// the board as JSON text, never a type of the game's.
#pragma once

#include <QByteArray>
#include <QString>
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
};

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
};

// The module's one exported function, looked up by this name: a new server with the limits,
// owned by the caller, or none when the module was built for another version of this interface.
inline constexpr char LiveModuleFactoryName[] = "BrennixCreateLiveBoard";
inline constexpr int LiveModuleInterface = 4; // raised whenever anything in this header changes
using TLiveModuleFactory = TLiveBoardModule* (*)(int version, const TLiveLimits& limits);

} // namespace brennix
