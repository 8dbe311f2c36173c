// The live board's server, in the process with the real windows: its answers to every kind of
// request, the state it serves and pushes compared with the match records after visits booked
// through the score field, the switch on the command line, and its bounds (idle connections, a
// page that never reads, a port in use). Everything talks to 127.0.0.1; every wait is bounded.
#include "engine/state.h"
#include "live/board_json.h"
#include "live/live_board.h"
#include "live/live_server.h"
#include "live/live_switch.h"
#include "storage/paths.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/form5.h"
#include "ui/forms.h"
#include "ui_test_support.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

using namespace brennix;
using namespace brennix::test;
using nlohmann::json;

namespace {

constexpr int WaitMs = 5000;

// The module as the build made it (BRENNIX_LIVE_MODULE comes from the build).
const std::vector<QString> Module = {QStringLiteral(BRENNIX_LIVE_MODULE)};

// One exchange over a fresh connection: the raw bytes in, the answer (status line, headers and
// as much body as Content-Length names) out; empty when none came within the time.
struct TAnswer {
    QByteArray status; // "HTTP/1.1 200 OK"
    QByteArray headers;
    QByteArray body;
    QByteArray Header(const QByteArray& name) const {
        for (const QByteArray& line : headers.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

TAnswer Exchange(quint16 port, const QByteArray& request, bool head = false) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, WaitMs))
        return {};
    socket.write(request);
    QByteArray data;
    TAnswer answer;
    auto complete = [&] {
        data += socket.readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0) return socket.state() != QAbstractSocket::ConnectedState;
        const qsizetype lineEnd = data.indexOf("\r\n");
        answer.status = data.left(lineEnd);
        answer.headers = data.mid(lineEnd + 2, end - lineEnd);
        answer.body = data.mid(end + 4);
        const qint64 length = head ? 0 : answer.Header("Content-Length").toLongLong();
        return answer.body.size() >= length || socket.state() != QAbstractSocket::ConnectedState;
    };
    if (!QTest::qWaitFor(complete, WaitMs)) answer.status.clear();
    return answer;
}

QByteArray Get(const QByteArray& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// A page's connection: every message it receives, newest last.
struct TPage {
    QWebSocket socket;
    QStringList messages;
    explicit TPage(quint16 port, const QString& path = QStringLiteral("/live")) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
                         [this](const QString& message) { messages.append(message); });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
    }
    json Last() const { return json::parse(messages.last().toStdString()); }
};

} // namespace

class LiveTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir base;
    TForm1* form = nullptr;
    QTimer* answerer = nullptr;
    QList<TSeenWindow> seen;
    std::shared_ptr<TLiveBoardModule> live; // the program's live board, as /live starts it
    quint16 port = 0;

    // Answers every modal window: a message box with OK (noted), the Start Leg dialog with Ok,
    // anything else is rejected.
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            seen.append(NoteAndPressOk(box));
        else if (auto* startLeg = qobject_cast<TForm5*>(modal))
            startLeg->Button1->click();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
    }

    // A fresh game of two players, 501 double out, best of 3 sets, as the window shows it.
    void FreshGame(const std::string& first, const std::string& second) {
        ResetState();
        Settings.PlayerCount = 2;
        Settings.GameType = 2;
        Settings.MatchFormat = 4;
        Settings.PlayerNames[0] = first;
        Settings.PlayerNames[1] = second;
        StartScore = 501;
        ResetPlayers();
        NextSetStarter = Wrap(0);
        NextLegStarter = NextSetStarter;
        ShowActivePlayer();
        form->RefreshBoard();
    }

    // A visit typed into the score field and booked with Enter, as the operator does.
    void Visit(int score) {
        form->Edit33->setFocus();
        QTest::keyClicks(form->Edit33, QString::number(score));
        QTest::keyClick(form->Edit33, Qt::Key_Return);
    }

    // The served state next to the match records, field by field.
    static void CompareWithRecords(const json& state) {
        QCOMPARE(QString::fromStdString(state.at("caption").get<std::string>()),
                 QString::fromLatin1(GameCaption().c_str()));
        QCOMPARE(state.at("player_to_throw").get<int>(), ActivePlayer + 1);
        QCOMPARE(state.at("leg_starter").get<int>(), LegStarter + 1);
        QVERIFY(state.at("special").is_string());
        QVERIFY(state.contains("winner"));
        const json& players = state.at("players");
        QCOMPARE(int(players.size()), PlayersInPlay());
        for (int p = 0; p < PlayersInPlay(); ++p) {
            const json& shown = players.at(p);
            const TPlayerStats& record = Players[p];
            QCOMPARE(shown.at("number").get<int>(), p + 1);
            QCOMPARE(QString::fromStdString(shown.at("name").get<std::string>()),
                     QString::fromLatin1(Settings.PlayerNames[p].c_str()));
            QCOMPARE(shown.at("remaining").get<int>(), record.Remaining);
            if (record.Remaining <= MaxCheckout)
                QCOMPARE(shown.at("checkout").get<std::string>(),
                         std::string(CheckoutText(record.Remaining)));
            else
                QVERIFY(shown.at("checkout").is_null());
            QCOMPARE(shown.at("sets").get<int>(), record.Sets);
            QCOMPARE(shown.at("legs").get<int>(), record.Legs);
            QCOMPARE(shown.at("leg_average").get<double>(), (record.LegAverage / 10) / 1000.0);
            QCOMPARE(shown.at("match_average").get<double>(), (record.MatchAverage / 10) / 1000.0);
            QCOMPARE(shown.at("darts_leg").get<int>(), record.DartsLeg);
            QCOMPARE(shown.at("darts_match").get<int>(), record.DartsMatch);
            std::vector<int> visits;
            for (const int32_t visit : record.History)
                if (visit >= 0 && visits.size() < 3) visits.push_back(visit);
            QCOMPARE(shown.at("last_visits").get<std::vector<int>>(), visits);
        }
    }

  private slots:
    void initTestCase() {
        InstallFontSubstitutes();
        QVERIFY(base.isValid());
        SetBaseDir(base.path().toStdString());
        QVERIFY(QDir(base.path()).mkdir("save"));
        const std::vector<std::string> arguments = {"/safe", "/live=127.0.0.1:0"};
        CreateForms(arguments);
        form = Form1;
        answerer = new QTimer(this);
        answerer->setInterval(10);
        connect(answerer, &QTimer::timeout, this, &LiveTest::Answer);
        answerer->start();

        std::ostringstream out;
        live = StartLiveBoard(arguments, *form, out, {}, Module);
        QVERIFY(live);
        port = live->Port();
        QVERIFY(port != 0);
        QCOMPARE(QString::fromStdString(out.str()),
                 QStringLiteral("Live board: open one of these in a browser on a TV or phone:\n"
                                "  http://127.0.0.1:%1/\n")
                     .arg(port));
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->Timer1->isActive(), 20000);
        form->Timer1->stop();
        seen.clear(); // the low-resolution warning of the offscreen screen
        // Start-up's first redraw has reached the server.
        QCOMPARE(json::parse(Exchange(port, Get("/state.json")).body.toStdString()).at("players").size(), 2u);
    }

    void cleanupTestCase() {
        DestroyForms();
        live.reset();
    }

    void init() { seen.clear(); }

    void cleanup() {
        QVERIFY2(seen.isEmpty(), qPrintable("unexpected message box: " + seen.value(0).text));
    }

    // ---- The command line ---------------------------------------------------------------------

    void switchOnTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("text"); // the address as messages name it
        QTest::addColumn<bool>("valid");
        QTest::newRow("none") << QStringList{} << false << "" << true;
        QTest::newRow("safe only") << QStringList{"/safe"} << false << "" << true;
        QTest::newRow("live") << QStringList{"/live"} << true << "0.0.0.0:8010" << true;
        QTest::newRow("safe, live")
            << QStringList{"/safe", "/live"} << true << "0.0.0.0:8010" << true;
        QTest::newRow("live, safe")
            << QStringList{"/live=9000", "/safe"} << true << "0.0.0.0:9000" << true;
        QTest::newRow("address") << QStringList{"/live=127.0.0.1:8011"} << true << "127.0.0.1:8011"
                                 << true;
        QTest::newRow("IPv6") << QStringList{"/live=[::1]:8012"} << true << "[::1]:8012" << true;
        QTest::newRow("port too big") << QStringList{"/live=70000"} << true << "70000" << false;
        QTest::newRow("no port") << QStringList{"/live="} << true << "" << false;
        QTest::newRow("bad address")
            << QStringList{"/live=pub:8010"} << true << "pub:8010" << false;
        QTest::newRow("not the switch") << QStringList{"/lively", "/LIVE"} << false << "" << true;
    }

    void switchOnTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, found);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        std::vector<std::string> list;
        for (const QString& argument : arguments)
            list.push_back(argument.toStdString());
        const std::optional<TLiveSwitch> live = FindLiveSwitch(list);
        QCOMPARE(live.has_value(), found);
        if (!live) return;
        QCOMPARE(live->Text, text);
        QCOMPARE(live->Error.isEmpty(), valid);
    }

    void withoutTheSwitchNothingListens() {
        std::ostringstream out;
        QVERIFY(!StartLiveBoard({"/safe"}, *form, out, {}, Module));
        QCOMPARE(QString::fromStdString(out.str()), QString());
    }

    // The port is taken: a "Warning" box names the address and the reason, and the program
    // plays on; a switch that cannot be read is named the same way.
    void portInUseGivesAWarningAndThePlayGoesOn() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
        const QString address = QStringLiteral("127.0.0.1:%1").arg(squatter.serverPort());
        std::ostringstream out;
        QVERIFY(
            !StartLiveBoard({"/live=" + address.toStdString(), "/safe"}, *form, out, {}, Module));
        QCOMPARE(seen.size(), 1);
        const TSeenWindow warning = seen.takeFirst();
        QCOMPARE(warning.title, QString("Warning"));
        QVERIFY2(
            warning.text.startsWith("The live board could not be started on " + address + ": ") &&
                warning.text.contains("in use"),
            qPrintable(warning.text));

        QVERIFY(!StartLiveBoard({"/live=pub:80"}, *form, out, {}, Module));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.takeFirst().text,
                 QString("The live board could not be started on pub:80: \"pub\" is not an IP "
                         "address."));

        // The module is not where it is looked for: the same box, with the loader's reason.
        const QString missing = base.filePath(QStringLiteral("missing/libbrennix-live.so"));
        QVERIFY(!StartLiveBoard({"/live=127.0.0.1:0"}, *form, out, {}, {missing}));
        QCOMPARE(seen.size(), 1);
        const QString text = seen.takeFirst().text;
        QVERIFY2(text.startsWith("The live board could not be started on 127.0.0.1:0: ") &&
                     text.contains(missing),
                 qPrintable(text));

        FreshGame("Anna", "Ben");
        Visit(100);
        QCOMPARE(Players[0].Remaining, 401);
        QCOMPARE(ActivePlayer, 1);
    }

    // ---- Requests -----------------------------------------------------------------------------

    void answersToRequests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("type");
        const QByteArray big(20000, 'a');
        QTest::newRow("page") << Get("/") << QByteArray("200") << QByteArray("text/html");
        QTest::newRow("state") << Get("/state.json") << QByteArray("200")
                               << QByteArray("application/json");
        QTest::newRow("state with a query")
            << Get("/state.json?x=1") << QByteArray("200") << QByteArray("application/json");
        QTest::newRow("unknown path") << Get("/admin") << QByteArray("404") << QByteArray();
        QTest::newRow("push path without upgrade")
            << Get("/live") << QByteArray("404") << QByteArray();
        QTest::newRow("POST") << QByteArray("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n"
                                            "\r\nabc")
                              << QByteArray("405") << QByteArray();
        QTest::newRow("PUT") << QByteArray("PUT /state.json HTTP/1.1\r\nHost: x\r\n"
                                           "Content-Length: 2\r\n\r\n{}")
                             << QByteArray("405") << QByteArray();
        QTest::newRow("DELETE unknown") << QByteArray("DELETE /x HTTP/1.1\r\nHost: x\r\n\r\n")
                                        << QByteArray("405") << QByteArray();
        QTest::newRow("headers too large")
            << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + big + "\r\n\r\n")
            << QByteArray("431") << QByteArray();
        QTest::newRow("headers never ending")
            << QByteArray("GET / HTTP/1.1\r\nX-Big: " + big) << QByteArray("431") << QByteArray();
        QTest::newRow("body too large")
            << QByteArray("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 20000\r\n\r\n" + big)
            << QByteArray("413") << QByteArray();
    }

    void answersToRequests() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, type);
        const QByteArray before = Exchange(port, Get("/state.json")).body;
        const int32_t remaining = Players[0].Remaining;
        const TAnswer answer = Exchange(port, request);
        QVERIFY2(answer.status.startsWith("HTTP/1.1 " + status), answer.status.constData());
        if (status == "405") QCOMPARE(answer.Header("Allow"), QByteArray("GET, HEAD"));
        if (!type.isEmpty()) {
            QVERIFY(answer.Header("Content-Type").startsWith(type));
            QCOMPARE(answer.body.size(), answer.Header("Content-Length").toLongLong());
        }
        if (type == "text/html") QVERIFY(answer.body.contains("new WebSocket("));
        if (type == "application/json") QCOMPARE(answer.body, Exchange(port, Get("/state.json")).body);
        // Nothing a request says changes the match or the board.
        QCOMPARE(Exchange(port, Get("/state.json")).body, before);
        QCOMPARE(Players[0].Remaining, remaining);
    }

    void headAnswersWithoutABody() {
        const TAnswer answer = Exchange(port, "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n", true);
        QVERIFY(answer.status.startsWith("HTTP/1.1 200"));
        QVERIFY(answer.Header("Content-Length").toLongLong() > 1000);
        QCOMPARE(answer.body, QByteArray());
        const TAnswer missing = Exchange(port, "HEAD /x HTTP/1.1\r\nHost: x\r\n\r\n", true);
        QVERIFY(missing.status.startsWith("HTTP/1.1 404"));
        QCOMPARE(missing.body, QByteArray());
    }

    // ---- The state, served and pushed ---------------------------------------------------------

    // A scripted match through the score field: after every visit each page has received the
    // new state, and /state.json equals the engine's records, field by field.
    void stateFollowsTheMatchRecords() {
        FreshGame("J\xFCrgen", "<b>x</b>");
        TPage first(port), second(port);
        QTRY_COMPARE_WITH_TIMEOUT(first.messages.size(), 1, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(second.messages.size(), 1, WaitMs);
        CompareWithRecords(first.Last());

        // Two legs of 501: Jürgen wins the first in nine darts, then a few visits of the second.
        const int visits[] = {180, 60, 180, 60, 141, 100, 85, 26, 140, 45};
        int published = 1;
        for (const int score : visits) {
            Visit(score);
            ++published;
            QTRY_COMPARE_WITH_TIMEOUT(first.messages.size(), published, WaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(second.messages.size(), published, WaitMs);
            QCOMPARE(first.messages.last(), second.messages.last());
            CompareWithRecords(first.Last());
            const TAnswer served = Exchange(port, Get("/state.json"));
            QCOMPARE(QString::fromUtf8(served.body), first.messages.last());
        }
        const json state = json::parse(Exchange(port, Get("/state.json")).body.toStdString());
        QCOMPARE(state.at("players").at(0).at("name").get<std::string>(),
                 std::string("J\xC3\xBCrgen"));
        QCOMPARE(state.at("players").at(1).at("name").get<std::string>(), std::string("<b>x</b>"));
        QCOMPARE(state.at("players").at(0).at("legs").get<int>(), 1);
        QCOMPARE(state.at("players").at(0).at("last_visits"), json({140, 85, 141}));
        QCOMPARE(state.at("players").at(1).at("leg_average").get<double>(), 57.0);
        QCOMPARE(state.at("player_to_throw").get<int>(), 1);
        QCOMPARE(state.at("leg_starter").get<int>(), 2);
    }

    void pagesOnOtherPathsAreClosed() {
        TPage stray(port, QStringLiteral("/other"));
        QTRY_VERIFY_WITH_TIMEOUT(stray.socket.state() == QAbstractSocket::UnconnectedState, WaitMs);
        QVERIFY(stray.messages.isEmpty());
    }

    // ---- Bounds -------------------------------------------------------------------------------

    // A hundred connections that send nothing hold up neither a visit pushed to a page nor a
    // page load.
    void idleConnectionsDelayNothing() {
        FreshGame("Anna", "Ben");
        TPage page(port);
        QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 1, WaitMs);
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 100; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        QVERIFY(Exchange(port, Get("/state.json")).status.startsWith("HTTP/1.1 200"));
        Visit(60);
        QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 2, WaitMs);
        QCOMPARE(page.Last().at("players").at(0).at("remaining").get<int>(), 441);
        const TAnswer load = Exchange(port, Get("/"));
        QVERIFY(load.status.startsWith("HTTP/1.1 200"));
        QVERIFY(load.body.endsWith("</html>\n"));
        for (const auto& socket : idle)
            QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    }

    // With a small server: idle connections are closed after the timeout, and at the cap the
    // connection idle the longest makes room for a new one.
    void idleConnectionsAreBounded() {
        TLiveLimits limits;
        limits.MaxConnections = 10;
        limits.RequestTimeoutMs = 1500;
        TLiveServer small(limits);
        QCOMPARE(small.Listen(QHostAddress::LocalHost, 0), QString());
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 12; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, small.Port());
            QTRY_VERIFY_WITH_TIMEOUT(idle.back()->state() == QAbstractSocket::ConnectedState,
                                     WaitMs);
            QTest::qWait(5); // an order of age
        }
        QTRY_COMPARE_WITH_TIMEOUT(idle[0]->state(), QAbstractSocket::UnconnectedState, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(idle[1]->state(), QAbstractSocket::UnconnectedState, WaitMs);
        QVERIFY(small.RequestConnectionCount() <= 10);
        QCOMPARE(idle[11]->state(), QAbstractSocket::ConnectedState);
        // And the rest goes once its time is up.
        for (const auto& socket : idle)
            QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, WaitMs);
        QCOMPARE(small.RequestConnectionCount(), 0);
    }

    // At the cap, a page's own connection turns into the page: it takes no other's place.
    void aPageTakesOnlyItsOwnPlace() {
        TLiveLimits limits;
        limits.MaxConnections = 3;
        TLiveServer server(limits);
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 2; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, server.Port());
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.RequestConnectionCount(), 2, WaitMs);
        TPage page(server.Port());
        QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 1, WaitMs);
        QCOMPARE(server.PageCount(), 1);
        QCOMPARE(server.RequestConnectionCount(), 2);
        QTest::qWait(50);
        for (const auto& socket : idle)
            QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    }

    // A page that answers no ping is dropped after two; a page that answers stays, however long
    // ago its request was.
    void aSilentPageIsDropped() {
        TLiveLimits limits;
        limits.PagePingMs = 300;
        limits.RequestTimeoutMs = 150; // no concern of a page once it is one
        TLiveServer server(limits);
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        TPage answering(server.Port());
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 1, WaitMs);
        QTcpSocket silent;
        silent.setReadBufferSize(1);
        silent.connectToHost(QHostAddress::LocalHost, server.Port());
        QTRY_VERIFY_WITH_TIMEOUT(silent.state() == QAbstractSocket::ConnectedState, WaitMs);
        silent.write("GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                     "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                     "Sec-WebSocket-Version: 13\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 2, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 1, WaitMs);
        QTest::qWait(1000); // more pings, all answered
        QCOMPARE(server.PageCount(), 1);
        QCOMPARE(answering.socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(server.RequestConnectionCount(), 0);
    }

    // A page that never reads what it is sent is dropped once too much waits for it; the other
    // pages, the server and the program go on.
    void aPageThatNeverReadsIsDropped() {
        TLiveLimits limits;
        limits.MaxBufferedBytes = 64 * 1024;
        TLiveServer server(limits);
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        // The sleeper speaks the handshake and then reads nothing, not even into Qt's buffer.
        QTcpSocket sleeper;
        sleeper.setReadBufferSize(1);
        sleeper.connectToHost(QHostAddress::LocalHost, server.Port());
        QTRY_VERIFY_WITH_TIMEOUT(sleeper.state() == QAbstractSocket::ConnectedState, WaitMs);
        sleeper.write("GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                      "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                      "Sec-WebSocket-Version: 13\r\n\r\n");
        TPage reader(server.Port());
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 2, WaitMs);

        TBoardView view = BoardView();
        view.Caption = std::string(100000, 'c'); // a heavy state fills the buffers sooner
        int published = 0;
        for (; published < 2000 && server.PageCount() == 2; ++published) {
            server.Publish(BoardJson(view));
            QTest::qWait(1);
        }
        QCOMPARE(server.PageCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(reader.messages.size(), published + 1, 20000);
        view.Caption = "after";
        server.Publish(BoardJson(view));
        QTRY_COMPARE_WITH_TIMEOUT(reader.messages.size(), published + 2, WaitMs);
        QCOMPARE(QString::fromStdString(reader.Last().at("caption").get<std::string>()),
                 QString("after"));
        QVERIFY(Exchange(server.Port(), Get("/state.json")).status.startsWith("HTTP/1.1 200"));
    }
};

QTEST_MAIN(LiveTest)
#include "live_test.moc"
