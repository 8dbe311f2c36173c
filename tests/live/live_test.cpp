// The live board: the switch on the command line, the board started by the program (its
// messages, the state it serves and pushes after visits booked through the score field, built once
// for it and the club), the board's JSON, the module's one function, and the server's answers and
// bounds (the request size, the connection cap, the timeout, silent and slow pages). Everything
// talks to 127.0.0.1; every wait is for an event and bounded.
#include "engine/flow.h"
#include "engine/state.h"
#include "live/board_json.h"
#include "live/keypads.h"
#include "live/live_board.h"
#include "live/live_server.h"
#include "live/live_switch.h"
#include "storage/paths.h"
#include "storage/settings_file.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form5.h"
#include "ui/forms.h"
#include "ui_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QMutex>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>
#include <fstream>
#include <memory>
#include <sstream>

using namespace brennix;
using namespace brennix::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int WaitMs = 5000;

// The module as the build made it, and the pages as the source has them (both from the build).
const std::vector<QString> Module = {QStringLiteral(BRENNIX_LIVE_MODULE)};

QByteArray Page(const char* name = "index.html") {
    QFile file(QStringLiteral(BRENNIX_LIVE_PAGES "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
}

std::unique_ptr<QTcpSocket> Connect(quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    (void)QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::ConnectedState; },
                          WaitMs);
    return socket;
}

// One request over a connection: the answer as it came, complete once the headers and as many
// bytes as Content-Length names have (none for HEAD), or once the server has closed.
QByteArray Ask(QTcpSocket& socket, const QByteArray& request) {
    socket.write(request);
    QByteArray data;
    (void)QTest::qWaitFor(
        [&] {
            data += socket.readAll();
            const qsizetype end = data.indexOf("\r\n\r\n");
            if (end < 0) return socket.state() != QAbstractSocket::ConnectedState;
            const qsizetype length = data.indexOf("\r\nContent-Length: ");
            const qint64 body = request.startsWith("HEAD") || length < 0
                                    ? 0
                                    : data.mid(length + 18, end - length - 18).toLongLong();
            return data.size() >= end + 4 + body;
        },
        WaitMs);
    return data;
}

// Requests over a connection that the server closes: everything it answered.
QByteArray AskUntilClosed(QTcpSocket& socket, const QByteArray& requests) {
    socket.write(requests);
    QByteArray data;
    (void)QTest::qWaitFor(
        [&] {
            data += socket.readAll();
            return socket.state() != QAbstractSocket::ConnectedState;
        },
        WaitMs);
    return data + socket.readAll();
}

QByteArray Get(const QByteArray& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// A request of exactly `size` bytes: `start`, a padding header and the blank line, then `body`.
QByteArray Padded(const QByteArray& start, qsizetype size, const QByteArray& body = {}) {
    const QByteArray head = start + "X-Pad: ";
    return head + QByteArray(size - head.size() - 4 - body.size(), 'a') + "\r\n\r\n" + body;
}

// The answer to a GET of the page or the state.
QByteArray Ok(const QByteArray& type, const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
           "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
           "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; script-src "
           "'unsafe-inline'; connect-src 'self' ws: wss:; img-src 'self' "
           "data:\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A name with every character that markup treats specially, as the game keeps it and as JSON.
const std::string Odd = "<b>&'\"</b>";
const QByteArray OddJson = "\"<b>&'\\\"</b>\"";

// A page's handshake, written by hand for a page that then reads nothing.
const QByteArray Handshake =
    "GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
    "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
    "Sec-WebSocket-Version: 13\r\n\r\n";

// A page's connection: every message it receives, newest last.
struct TPage {
    QWebSocket socket;
    QStringList messages;
    explicit TPage(quint16 port) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
                         [this](const QString& message) { messages.append(message); });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
    }
};

// The most the kernel can hold of a connection's data: the largest receive buffer of the reader
// and the largest send buffer of the writer.
qint64 KernelBuffers() {
    qint64 total = 0, least, first, most;
    for (const char* name : {"/proc/sys/net/ipv4/tcp_rmem", "/proc/sys/net/ipv4/tcp_wmem"})
        total += std::ifstream(name) >> least >> first >> most ? most : qint64(64) << 20;
    return total;
}

// The program's resident memory.
qint64 ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    return -1;
}

// A page written by hand from an address of this machine: its handshake, then what the test
// writes; it reads everything that comes.
struct TRawPage {
    QTcpSocket socket;
    QByteArray received;
    TRawPage(quint16 port, const QString& from = "127.0.0.1") {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.bind(QHostAddress(from), 0);
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(Handshake);
    }
    // Whether the server answered the handshake with a 101.
    bool Upgraded() {
        return QTest::qWaitFor([&] { return received.contains("\r\n\r\n"); }, WaitMs) &&
               received.startsWith("HTTP/1.1 101 ");
    }
    bool Open() const { return socket.state() == QAbstractSocket::ConnectedState; }
};

// A page's frame, masked with a key of zeros.
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

// What Qt logs while an attack runs.
QMutex logged;
QStringList logLines;
QtMessageHandler testLog = nullptr;
void Note(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    {
        QMutexLocker lock(&logged);
        logLines.append(message);
    }
    testLog(type, context, message);
}

} // namespace

class LiveTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir base;
    TForm1* form = nullptr;
    QTimer* answerer = nullptr;
    QList<TSeenWindow> seen;
    std::shared_ptr<TLiveBoardModule> live; // the program's live board, as /live starts it
    TBoardFeed feed;                        // and what feeds it, as the program does
    std::vector<QByteArray> club;           // what the feed hands the club meanwhile
    quint16 port = 0;
    QTcpServer squatter; // a port in use

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
        Settings.Outshots = FirstRunSettings().Outshots; // the standard checkout table
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

  private slots:
    void initTestCase() {
        InstallFontSubstitutes();
        QVERIFY(base.isValid());
        SetBaseDir(base.path().toStdString());
        QVERIFY(QDir(base.path()).mkdir("save"));
        QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
        const TRunOptions options = ReadRunOptions({"/safe", "/live=127.0.0.1:0"});
        CreateForms(options);
        form = Form1;
        answerer = new QTimer(this);
        answerer->setInterval(10);
        connect(answerer, &QTimer::timeout, this, &LiveTest::Answer);
        answerer->start();

        std::ostringstream out;
        live = StartLiveBoard(options, *form, *form->HelpMenu, out,
                              {.KeypadEntriesPerWindow = 100}, Module); // a keypad in a hurry
        QVERIFY(live);
        form->AddBoardObserver([this](const TBoardView& view) { feed.Redrawn(view); });
        FeedLiveBoard(feed, live, std::nullopt, form);
        ServeKeypads(live, *form);
        feed.AddSink([this](const QByteArray& json) { club.push_back(json); });
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

    // The last live switch counts: its text for messages, address and port, or why it is wrong.
    void switchOnTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("found"); // "text | address | port | error", "-" for none
        const QString port = " | 8010 | \"%1\" is not a port number (0-65535)";
        auto row = [](const char* name, const QStringList& arguments) -> QTestData& {
            return QTest::newRow(name) << arguments;
        };
        row("none", {"/safe", "/lively", "/LIVE", "live"}) << "-";
        row("bare", {"/live"}) << "0.0.0.0:8010 |  | 8010 | ";
        row("port 0", {"/live=0"}) << "0.0.0.0:0 |  | 0 | ";
        row("port 65535", {"/live=65535"}) << "0.0.0.0:65535 |  | 65535 | ";
        row("port 65536", {"/live=65536"}) << "65536 | " + port.arg("65536");
        row("port +80", {"/live=+80"}) << "+80 | " + port.arg("+80");
        row("no port", {"/live="}) << " | " + port.arg("");
        row("address", {"/live=127.0.0.1:8011"}) << "127.0.0.1:8011 | 127.0.0.1 | 8011 | ";
        row("IPv6", {"/live=[0:0::1]:8012"}) << "[::1]:8012 | ::1 | 8012 | ";
        row("IPv6 scope", {"/live=fe80::1%lo:80"}) << "[fe80::1%lo]:80 | fe80::1%lo | 80 | ";
        row("bad address", {"/live=pub:80"}) << "pub:80 |  | 80 | \"pub\" is not an IP address";
        row("last wins", {"/live=pub:1", "/safe", "/live=9000"}) << "0.0.0.0:9000 |  | 9000 | ";
        row("bare wins", {"/live=9000", "/live"}) << "0.0.0.0:8010 |  | 8010 | ";
    }

    void switchOnTheCommandLine() {
        QFETCH(QStringList, arguments);
        std::vector<std::string> list;
        for (const QString& argument : arguments)
            list.push_back(argument.toStdString());
        const std::optional<TLiveSwitch> live = LiveSwitchOf(ReadRunOptions(list));
        const QStringList found =
            live ? QStringList{live->Text, live->Address, QString::number(live->Port), live->Error}
                 : QStringList{"-"};
        QTEST(found.join(" | "), "found");
    }

    // A board that cannot start: a "Warning" box and the same line on the output name the address
    // and the reason, and the play goes on. Without the switch nothing is even looked for.
    void aBoardThatCannotStartWarns_data() {
        QTest::addColumn<QStringList>("arguments"); // %1: a port in use
        QTest::addColumn<bool>("found");            // the module is where it is looked for
        QTest::addColumn<QString>("warning");       // %1: the port in use, %2: the module
        const QString start = "The live board could not be started on ";
        QTest::newRow("no switch") << QStringList{"/safe"} << false << "";
        QTest::newRow("port in use")
            << QStringList{"/live=127.0.0.1:%1", "/safe"} << true
            << start + "127.0.0.1:%1: The bound address is already in use.";
        QTest::newRow("port 65536") << QStringList{"/live=65536"} << true
                                    << start + "65536: \"65536\" is not a port number (0-65535).";
        QTest::newRow("bad address") << QStringList{"/live=pub:80"} << true
                                     << start + "pub:80: \"pub\" is not an IP address.";
        QTest::newRow("module missing") << QStringList{"/live=127.0.0.1:0"} << false
                                        << start + "127.0.0.1:0: its module %2 is missing.";
    }

    void aBoardThatCannotStartWarns() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, found);
        QFETCH(QString, warning);
        const QString missing = base.filePath(QStringLiteral("missing/libbrennix-live.so"));
        const QString inUse = QString::number(squatter.serverPort());
        warning.replace("%1", inUse).replace("%2", missing);
        std::vector<std::string> list;
        for (QString argument : arguments)
            list.push_back(argument.replace("%1", inUse).toStdString());
        std::ostringstream out;
        QVERIFY(!StartLiveBoard(ReadRunOptions(list), *form, *form->HelpMenu, out, {},
                                found ? Module : std::vector{missing}));
        QCOMPARE(QString::fromStdString(out.str()), warning.isEmpty() ? "" : warning + "\n");
        QCOMPARE(seen.size(), warning.isEmpty() ? 0 : 1);
        for (const TSeenWindow& box : std::exchange(seen, {}))
            QCOMPARE(box.title + ": " + box.text, "Warning: " + warning);
        FreshGame("Anna", "Ben");
        Visit(100);
        QCOMPARE(Players[0].Remaining, 401);
        QCOMPARE(ActivePlayer, 1);
    }

    // ---- The state, served and pushed ---------------------------------------------------------

    // A game through the score field, from its start: each page gets the state on connecting and
    // once per visit, the same on every page and at /state.json. Averages are worked out by hand:
    // 60, 0, 45 is 105 in 9 darts, 35.000; 100, 26, 140 is 266 in 9, 88.666 (cut, not rounded).
    // The leg's visits are the last ones of the leg being played only.
    void theStateFollowsTheMatch_data() {
        QTest::addColumn<QList<int>>("visits");
        QTest::addColumn<QList<int>>("remaining");
        QTest::addColumn<int>("leg");          // the leg being played in the first set
        QTest::addColumn<QByteArray>("state"); // leg_starter and player_to_throw
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("a 0 visit")
            << QList<int>{60, 100, 0, 26, 45, 140} << QList<int>{396, 235} << 1
            << R"("leg_starter":1,"player_to_throw":1)"_ba
            << R"("checkout":null,"darts_leg":9,"darts_match":9,"last_visits":[45,0,60],"leg_average":35.0,"leg_visits":[45,0,60],"legs":0,"match_average":35.0)"_ba
            << R"("checkout":null,"darts_leg":9,"darts_match":9,"last_visits":[140,26,100],"leg_average":88.666,"leg_visits":[140,26,100],"legs":0,"match_average":88.666)"_ba;
        // 285 in 12 darts is 71.250, 361 in 12 is 90.250; 140 left has a checkout.
        QTest::newRow("a checkout")
            << QList<int>{60, 100, 0, 26, 45, 140, 180, 95} << QList<int>{216, 140} << 1
            << R"("leg_starter":1,"player_to_throw":1)"_ba
            << R"("checkout":null,"darts_leg":12,"darts_match":12,"last_visits":[180,45,0],"leg_average":71.25,"leg_visits":[180,45,0],"legs":0,"match_average":71.25)"_ba
            << R"("checkout":"T20 T20 D10","darts_leg":12,"darts_match":12,"last_visits":[95,140,26],"leg_average":90.25,"leg_visits":[95,140,26],"legs":0,"match_average":90.25)"_ba;
        // The first leg won in 9 darts, then 85 in the second: the match is 586 in 12 darts,
        // 146.500; the other's 60, 60, 100 is 220 in 9, 73.333.
        QTest::newRow("a won leg")
            << QList<int>{180, 60, 180, 60, 141, 100, 85} << QList<int>{416, 401} << 2
            << R"("leg_starter":2,"player_to_throw":2)"_ba
            << R"("checkout":null,"darts_leg":3,"darts_match":12,"last_visits":[85,141,180],"leg_average":85.0,"leg_visits":[85],"legs":1,"match_average":146.5)"_ba
            << R"("checkout":null,"darts_leg":3,"darts_match":9,"last_visits":[100,60,60],"leg_average":100.0,"leg_visits":[100],"legs":0,"match_average":73.333)"_ba;
    }

    void theStateFollowsTheMatch() {
        QFETCH(QList<int>, visits);
        QFETCH(QList<int>, remaining);
        QFETCH(int, leg);
        QFETCH(QByteArray, state);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        FreshGame("J\xFCrgen", Odd);
        TPage one(port), two(port);
        QTRY_COMPARE_WITH_TIMEOUT(one.messages.size(), 1, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(two.messages.size(), 1, WaitMs);
        const int64_t built = BoardJsonBuilds();
        club.clear();
        for (const int score : visits)
            Visit(score);
        QTRY_COMPARE_WITH_TIMEOUT(one.messages.size(), 1 + visits.size(), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(two.messages.size(), 1 + visits.size(), WaitMs);
        QCOMPARE(two.messages, one.messages);
        // One JSON per redraw, the same bytes for the club as for the pages.
        QCOMPARE(BoardJsonBuilds(), built + visits.size());
        QCOMPARE(qsizetype(club.size()), visits.size());
        for (qsizetype i = 0; i < visits.size(); ++i)
            QCOMPARE(club[size_t(i)], one.messages[i + 1].toUtf8());
        const QByteArray number = QByteArray::number(leg);
        // (moc reads a raw string right only with its quotes in pairs.)
        const QByteArray expected =
            R"({"caption":"501 Double Out · Best of 3 Sets","leg":)" + number + "," + state +
            ",\"players\":[{" + first + R"(,"name":"Jürgen","number":1,"remaining":)" +
            QByteArray::number(remaining[0]) + R"(,"sets":0},{)" + second + ",\"name\":" + OddJson +
            R"(,"number":2,"remaining":)" + QByteArray::number(remaining[1]) + R"(,"sets":0}],)" +
            "\"progress\":\"Set 1 · Leg " + number + "\"," +
            R"("result":null,"set":1,"special":"","target":"first to 3 legs","winner":null})";
        QCOMPARE(one.messages.last().toUtf8(), expected);
        QCOMPARE(Ask(*Connect(port), Get("/state.json")), Ok("application/json", expected));
    }

    // The JSON of a view at the end of a match: texts in UTF-8 with control characters as
    // blanks, visits without the empty places,
    // averages cut to three decimals, numbers 1-based, a checkout without text null, the result
    // as handed over.
    void boardJsonOfAView() {
        TBoardView view;
        view.Caption = "the window's";
        view.SpectatorCaption = "Caf\xE9 \xB7 x";
        view.Special = "Sudden Death";
        view.Winner = Odd;
        view.ActivePlayer = 1;
        view.SetNumber = 2;
        view.LegNumber = 11;
        view.Progress = "Set 2 \xB7 Leg 11";
        view.Target = "sudden death";
        // Remaining, checkout, sets, legs, points, counts, leg and match average, darts in the
        // leg and in the match, and what the JSON leaves out.
        const TPlayerFigures first{32, "T20\xB7T4", 1, 2, 0, {}, 336666, 1000, 9, 45, {}, {}, {}};
        const TPlayerFigures second{501, "", 0, 3, 0, {}, 0, 999999, 0, 30, {}, {}, {}};
        view.Players = {{1, "J\xFCrgen", first, {}, {0, 60, -1}, {0}},
                        {2, "x\t\x01\x7F\x85y", second, {}, {-1, -1, -1}, {}}};
        view.Result = TLegResult{"set", "J\xFCrgen", {{"J\xFCrgen", 1, 6}, {Odd, 0, 5}}};
        QCOMPARE(BoardJson(view),
                 R"({"caption":"Café · x","leg":11,"leg_starter":1,"player_to_throw":2,"players":[)"
                 R"({"checkout":"T20·T4","darts_leg":9,"darts_match":45,"last_visits":[0,60],)"
                 R"("leg_average":33.666,"leg_visits":[0],"legs":2,"match_average":0.1,)"
                 R"("name":"Jürgen","number":1,"remaining":32,"sets":1},{"checkout":null,)"
                 R"("darts_leg":0,"darts_match":30,"last_visits":[],"leg_average":0.0,)"
                 R"("leg_visits":[],"legs":3,"match_average":99.999,"name":"x    y","number":2,)"
                 R"("remaining":501,"sets":0}],"progress":"Set 2 · Leg 11","result":{"players":[)"
                 R"({"legs":6,"name":"Jürgen","sets":1},{"legs":5,"name":)" +
                     OddJson +
                     R"(,"sets":0}],"winner":"Jürgen","won":"set"},"set":2,)"
                     R"("special":"Sudden Death","target":"sudden death","winner":)" +
                     OddJson + "}");
    }

    // A hundred connections that send nothing keep neither a visit from the pages nor the page
    // from a browser, and none of them is closed for it.
    void idleConnectionsHoldUpNothing() {
        FreshGame("Anna", "Ben");
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 100; ++i)
            idle.push_back(Connect(port));
        TPage page(port);
        QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 1, WaitMs);
        Visit(60);
        QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 2, WaitMs);
        QVERIFY(page.messages.last().contains(R"("number":1,"remaining":441,)"));
        QCOMPARE(Ask(*Connect(port), Get("/")), Ok("text/html; charset=utf-8", Page()));
        for (const auto& socket : idle)
            QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    }

    // The players' standings as the program hands them over are served byte for byte, "[]"
    // before the first; the board's state is left as it was.
    void theStandingsAsPublished() {
        const QByteArray type = "application/json; charset=utf-8";
        const QByteArray state = Ask(*Connect(port), Get("/state.json"));
        QCOMPARE(Ask(*Connect(port), Get("/players.json")), Ok(type, "[]"));
        const QByteArray standings = R"([{"name":)" + OddJson + R"(,"average":null},{"x":1.5}])";
        live->PublishPlayers(standings);
        QTRY_COMPARE_WITH_TIMEOUT(Ask(*Connect(port), Get("/players.json")), Ok(type, standings),
                                  WaitMs);
        QCOMPARE(Ask(*Connect(port), Get("/state.json")), state);
    }

    // The hall is there once the club's boards are published: not found before, then the page
    // and the boards byte for byte.
    // A paired keypad plays a leg of Ann and Bob as the operator would type it: who begins in
    // Start Leg, visits, an Undo, a total above what is left, a 2-dart finish, the result's
    // Restart; it waits while the operator types and while a dialog is not its to answer.
    void keypadsScoreAsTyped() {
        answerer->stop(); // the keypad answers the dialogs here
        FreshGame("Ann", "Bob");
        Settings.MatchFormat = 2; // best of 1 leg
        const QByteArray pairing = QByteArray::fromStdString(
            live->KeypadAddress(QStringLiteral("http://127.0.0.1:%1/").arg(port).toStdString()));
        const QByteArray paired = Ask(*Connect(port), Get(pairing.mid(pairing.indexOf("/k/"))));
        const QByteArray cookie = paired.mid(paired.indexOf("brennix_keypad="), 15 + 64);
        QWebSocket pad(QStringLiteral("http://127.0.0.1:%1").arg(port));
        QNetworkRequest opening(QUrl(QStringLiteral("ws://127.0.0.1:%1/pad/live").arg(port)));
        opening.setRawHeader("Cookie", cookie);
        std::map<int, QString> replies; // by the entry's number: "" taken, else why not
        QStringList modes;
        int sent = 0;
        const auto send = [&](const QString& what) {
            pad.sendTextMessage(QStringLiteral("{\"id\":%1,%2}").arg(++sent).arg(what));
            return sent;
        };
        // What the keypad does in each dialog, as the dialog's mode arrives.
        std::map<QString, std::function<void()>> inDialog;
        connect(&pad, &QWebSocket::textMessageReceived, [&](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains(u"reply"_s)) {
                const QJsonObject reply = message[u"reply"_s].toObject();
                replies[reply[u"id"_s].toInt()] = reply[u"why"_s].toString();
            } else if (message.contains(u"keypad"_s)) {
                const QJsonObject mode = message[u"keypad"_s].toObject();
                modes << QString::fromUtf8(QJsonDocument(mode).toJson(QJsonDocument::Compact));
                // Not within the socket's own signal, which would hold back the answers.
                if (inDialog.contains(mode[u"mode"_s].toString()))
                    QTimer::singleShot(0, &pad, inDialog[mode[u"mode"_s].toString()]);
            }
        });
        pad.open(opening);
        QTRY_COMPARE_WITH_TIMEOUT(modes, QStringList{R"({"mode":"play"})"}, WaitMs);
        const auto answered = [&](int id) {
            return QTest::qWaitFor([&] { return replies.contains(id); }, WaitMs) ? replies[id]
                                                                                 : u"(none)"_s;
        };

        // Start Leg: the keypad picks Bob, but only after trying what is not offered there.
        std::vector<QString> inStartLeg;
        inDialog[u"start"_s] = [&] {
            inStartLeg = {answered(send(u"\"enter\":60,\"darts\":3"_s)),
                          answered(send(u"\"undo\":true"_s)),
                          answered(send(u"\"confirm\":true"_s)),
                          answered(send(u"\"begin\":2"_s))};
        };
        Form5->exec();
        QCOMPARE(inStartLeg, (std::vector<QString>{u"the board's operator is needed"_s,
                                                   u"the board's operator is needed"_s,
                                                   u"not offered now"_s, QString()}));
        QCOMPARE(ActivePlayer, 1);
        SetStarters();

        // Visits, each with the remaining scores after it (Ann, Bob) and the answer.
        const std::vector<std::tuple<QString, QString, int, int>> visits = {
            {u"\"enter\":0,\"darts\":3"_s, {}, 501, 501},
            {u"\"enter\":180,\"darts\":3"_s, {}, 321, 501},
            {u"\"enter\":100,\"darts\":3"_s, {}, 321, 401},
            {u"\"undo\":true"_s, {}, 321, 501},
            {u"\"enter\":140,\"darts\":3"_s, {}, 321, 361},
            {u"\"enter\":180,\"darts\":3"_s, {}, 141, 361},
            {u"\"enter\":0,\"darts\":3"_s, {}, 141, 361},
            {u"\"enter\":150,\"darts\":2"_s, u"above what is left"_s, 141, 361},
        };
        for (const auto& [what, why, ann, bob] : visits) {
            QCOMPARE(answered(send(what)), why);
            QCOMPARE(std::pair(Players[0].Remaining, Players[1].Remaining), std::pair(ann, bob));
            QCOMPARE(form->Edit33->text() + u'/' + form->Edit49->text(), u"/3"_s);
        }
        form->Edit33->setText(u"6"_s); // the operator is typing
        QCOMPARE(answered(send(u"\"enter\":141,\"darts\":2"_s)), u"the operator is typing a score"_s);
        QCOMPARE(form->Edit33->text(), u"6"_s);
        form->Edit33->clear();

        // The finish is taken before the result shows; the keypad restarts.
        int darts = 0;
        inDialog[u"result"_s] = [&] {
            darts = Players[0].DartsLeg;
            (void)answered(send(u"\"confirm\":true"_s));
        };
        const int finish = send(u"\"enter\":141,\"darts\":2"_s);
        QTRY_COMPARE_WITH_TIMEOUT(modes.size(), 5, WaitMs);
        QCOMPARE(replies[finish], QString());
        QCOMPARE(darts, 3 + 3 + 2);
        QCOMPARE(modes, (QStringList{R"({"mode":"play"})",
                                     R"({"begins":1,"mode":"start","players":["Ann","Bob"]})",
                                     R"({"mode":"play"})", R"({"mode":"result","winner":"Ann"})",
                                     R"({"mode":"play"})"}));
        QCOMPARE(Players[0].Remaining, 501);
        answerer->start();
    }

    void theHallOnceItIsPublished() {
        const QByteArray notFound = Ask(*Connect(port), Get("/nowhere"));
        QCOMPARE(Ask(*Connect(port), Get("/hall")), notFound);
        QCOMPARE(Ask(*Connect(port), Get("/hall.json")), notFound);
        const QByteArray hall = R"({"boards":[{"board":)" + OddJson + R"(,"away":true}]})";
        live->PublishHall(hall);
        QTRY_COMPARE_WITH_TIMEOUT(Ask(*Connect(port), Get("/hall.json")),
                                  Ok("application/json; charset=utf-8", hall), WaitMs);
        QCOMPARE(Ask(*Connect(port), Get("/hall")),
                 Ok("text/html; charset=utf-8", Page("hall.html")));
    }

    // Each attack, from 127.0.0.2, with the operator's view: while it runs, a visit typed into
    // the window reaches a page that has just connected within the bound of the same visits
    // without it (twice the slowest of ten, and 100 ms), the program's memory grows by less
    // than 24 MB, the page gets every push, and nothing is written to the log.
    void attacksCostTheOperatorNothing_data() {
        QTest::addColumn<QString>("attack");
        for (const char* attack :
             {"pipeline", "pings", "fragments", "messages", "pages", "silent", "elsewhere", "codes",
              "keypad"})
            QTest::newRow(attack) << QString(attack);
    }

    void attacksCostTheOperatorNothing() {
        QFETCH(QString, attack);
        FreshGame("Anna", "Ben");
        // The slowest of ten visits of 20 from Enter until the page has the push.
        auto slowest = [&](TPage& page) {
            qint64 most = 0;
            for (int i = 0; i < 10; ++i) {
                const qsizetype before = page.messages.size();
                QElapsedTimer clock;
                clock.start();
                Visit(20);
                if (!QTest::qWaitFor([&] { return page.messages.size() > before; }, WaitMs))
                    return qint64{WaitMs};
                most = std::max(most, clock.elapsed());
            }
            return most;
        };
        qint64 quiet = 0;
        {
            TPage page(port);
            QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 1, WaitMs);
            quiet = slowest(page);
        }
        QProcess attacker;
        QStringList arguments = {attack, QString::number(port)};
        if (attack == u"keypad"_s) { // a keypad paired as the dialog pairs it
            const std::string pairing = live->KeypadAddress("http://127.0.0.1/");
            const QByteArray paired =
                Ask(*Connect(port), Get(QByteArray::fromStdString(pairing.substr(16))));
            arguments << QString::fromLatin1(paired.mid(paired.indexOf("brennix_keypad="), 15 + 64));
        }
        attacker.start(QStringLiteral(BRENNIX_LIVE_ATTACKER), arguments);
        QVERIFY(attacker.waitForReadyRead(WaitMs));
        QCOMPARE(attacker.readAll(), "ready\n");
        QTest::qWait(500); // under way
        const qint64 memory = ResidentBytes();
        logLines.clear();
        testLog = qInstallMessageHandler(Note);
        TPage page(port);
        QTRY_COMPARE_WITH_TIMEOUT(page.messages.size(), 1, WaitMs);
        const qint64 attacked = slowest(page);
        const qint64 grown = ResidentBytes() - memory;
        qInstallMessageHandler(testLog);
        attacker.kill();
        attacker.waitForFinished();
        QVERIFY2(attacked <= 2 * quiet + 100,
                 qPrintable(u"%1 ms, %2 ms quiet"_s.arg(attacked).arg(quiet)));
        QCOMPARE(page.messages.size(), 11);
        QVERIFY(page.messages.last().contains(R"("number":1,"remaining":301,)"));
        QVERIFY(page.messages.last().contains(R"("number":2,"remaining":301,)"));
        QVERIFY2(grown < 24 << 20, qPrintable(QString::number(grown)));
        QCOMPARE(logLines.join('\n'), QString());
    }

    // ---- The module and the server ------------------------------------------------------------

    // The module makes a server for its own interface version only; the server names the
    // addresses a browser can open it at.
    void theModule_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("answer"); // the URLs (%1: the port), or why it cannot listen
        for (const auto& [name, address, answer] :
             {std::array{"IPv4", "127.0.0.1", "http://127.0.0.1:%1/"},
              std::array{"IPv6", "::1", "http://[::1]:%1/"},
              std::array{"every interface", "", "http://127.0.0.1:%1/ (this machine)"},
              std::array{"not an address", "pub", "\"pub\" is not an IP address"}})
            QTest::newRow(name) << QString(address) << QString(answer);
    }

    void theModule() {
        QFETCH(QString, address);
        QFETCH(QString, answer);
        const auto factory = reinterpret_cast<TLiveModuleFactory>(
            QLibrary::resolve(Module.front(), LiveModuleFactoryName));
        QVERIFY(factory);
        QVERIFY(!std::unique_ptr<TLiveBoardModule>(factory(LiveModuleInterface - 1, {})));
        QVERIFY(!std::unique_ptr<TLiveBoardModule>(factory(LiveModuleInterface + 1, {})));
        const std::unique_ptr<TLiveBoardModule> module(factory(LiveModuleInterface, {}));
        const QString reason = module->Listen(address, 0);
        const QString last =
            reason.isEmpty() ? QString::fromStdString(module->Addresses().back()) : reason;
        QCOMPARE(last, answer.replace("%1", QString::number(module->Port())));
    }

    // Every kind of request, from a fresh connection to a server with requests of at most 1000
    // bytes: the answer byte for byte (all of it, and the connection closed, when it says
    // "Connection: close"), and the state as it was published.
    void answersToRequests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray state = "{\"name\":" + OddJson + "}";
        const QByteArray html = "text/html; charset=utf-8";
        const QByteArray notFound = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; "
                                    "charset=utf-8\r\nContent-Length: ";
        const QByteArray readOnly =
            "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Allow: GET, HEAD\r\nContent-Length: 30\r\n\r\nRead only: GET and HEAD only.\n";
        auto refused = [](const QByteArray& status) {
            return "HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        };
        auto head = [](const QByteArray& type, qsizetype size) {
            return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                   "\r\nContent-Length: " + QByteArray::number(size) +
                   "\r\nCache-Control: no-store\r\n\r\n";
        };
        const QByteArray get = "GET /state.json HTTP/1.1\r\nHost: x\r\n";
        const QByteArray post = "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n";
        QTest::newRow("page") << Get("/") << Ok(html, Page());
        QTest::newRow("state") << Get("/state.json") << Ok("application/json", state);
        QTest::newRow("state, a query") << Get("/state.json?x=1") << Ok("application/json", state);
        QTest::newRow("HEAD page") << "HEAD / HTTP/1.1\r\n\r\n"_ba << head(html, Page().size());
        QTest::newRow("overlay") << Get("/overlay") << Ok(html, Page("overlay.html"));
        QTest::newRow("HEAD overlay")
            << "HEAD /overlay HTTP/1.1\r\n\r\n"_ba << head(html, Page("overlay.html").size());
        QTest::newRow("HEAD state")
            << "HEAD /state.json HTTP/1.1\r\n\r\n"_ba << head("application/json", state.size());
        QTest::newRow("unknown path") << Get("/admin") << notFound + "11\r\n\r\nNot found.\n";
        QTest::newRow("HEAD unknown path")
            << "HEAD /x HTTP/1.1\r\n\r\n"_ba << notFound + "0\r\n\r\n";
        QTest::newRow("push path, no upgrade")
            << Get("/live") << notFound + "11\r\n\r\nNot found.\n";
        QTest::newRow("POST") << "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc"_ba << readOnly;
        QTest::newRow("PUT") << "PUT /state.json HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"_ba
                             << readOnly;
        QTest::newRow("DELETE unknown path") << "DELETE /x HTTP/1.1\r\n\r\n"_ba << readOnly;
        QTest::newRow("1000 bytes") << Padded(get, 1000) << Ok("application/json", state);
        QTest::newRow("1001 bytes")
            << Padded(get, 1001) << refused("431 Request Header Fields Too Large");
        QTest::newRow("headers without end") << "GET / HTTP/1.1\r\nX: " + QByteArray(990, 'a')
                                             << refused("431 Request Header Fields Too Large");
        QTest::newRow("1000 bytes with a body")
            << Padded(post, 1000, QByteArray(100, 'b')) << readOnly;
        QTest::newRow("1001 bytes with a body")
            << Padded(post, 1001, QByteArray(100, 'b')) << refused("413 Content Too Large");
        QTest::newRow("1000 bytes of headers, 1 of body")
            << Padded("POST / HTTP/1.1\r\nContent-Length: 1\r\n", 1001, "b")
            << refused("413 Content Too Large");
        const QByteArray close = "\r\nConnection: close\r\n\r\n";
        QTest::newRow("Connection: close")
            << "GET /state.json HTTP/1.1\r\nConnection: keep-alive, Close\r\n\r\n"_ba
            << Ok("application/json", state).replace("\r\n\r\n", close);
        QTest::newRow("HTTP/1.0") << "GET /state.json HTTP/1.0\r\n\r\n"_ba
                                  << Ok("application/json", state).replace("\r\n\r\n", close);
        QTest::newRow("pipelined, the second closing")
            << Get("/state.json") + "HEAD /x HTTP/1.1\r\nConnection: close\r\n\r\n"
            << Ok("application/json", state) + notFound + "0" + close;
        QTest::newRow("WebSocket elsewhere")
            << QByteArray(Handshake).replace("/live", "/state.json")
            << notFound + "11" + close + "Not found.\n";
        QTest::newRow("not HTTP/1") << "GET / HTTP/2.0\r\n\r\n"_ba << refused("400 Bad Request");
        QTest::newRow("players before any")
            << Get("/players.json") << Ok("application/json; charset=utf-8", "[]");
        QTest::newRow("players page") << Get("/players") << Ok(html, Page("players.html"));
        QTest::newRow("keypad page") << Get("/pad") << Ok(html, Page("pad.html"));
        QTest::newRow("keypad, not paired")
            << Get("/pad/paired") << Ok("application/json", R"({"paired":false})");
        QTest::newRow("pairing, HEAD") << "HEAD /k/0 HTTP/1.1\r\n\r\n"_ba << notFound + "0\r\n\r\n";
        QTest::newRow("keypad push, no cookie")
            << "GET /pad/live HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://127.0.0.1\r\n"
               "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: "
               "dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"_ba
            << refused("403 Forbidden");
    }

    void answersToRequests() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        TLiveServer server({.MaxRequestBytes = 1000});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        server.Publish("{\"name\":" + OddJson + "}");
        // An answer that says so closes the connection; the others leave it open.
        const bool closes = answer.contains("Connection: close");
        const auto socket = Connect(server.Port());
        QCOMPARE(closes ? AskUntilClosed(*socket, request) : Ask(*socket, request), answer);
        QCOMPARE(socket->state() == QAbstractSocket::ConnectedState, !closes);
        QCOMPARE(server.StateJson(), "{\"name\":" + OddJson + "}");
    }

    // With MaxConnections = 3 the third connection stays; the fourth makes the one idle the
    // longest go, which is not the oldest once that has been answered. Each request answered
    // starts the next from nothing: three of 600 bytes on one connection pass a limit of 1000.
    // A keypad pairs once with the window's code, opens its WebSocket only with the cookie it
    // got and from a page of the server, and what it sends is checked and budgeted before the
    // program hears of it.
    void keypads() {
        TLiveServer server({.PageCheckMs = 100, .KeypadEntriesPerWindow = 12,
                            .KeypadWindowMs = 60 * 1000});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        const QByteArray host = "127.0.0.1:" + QByteArray::number(server.Port());
        std::vector<TKeypadEntry> entries;
        server.SetKeypadHandler([&](const TKeypadEntry& entry) { entries.push_back(entry); });
        auto ask = [&](const QByteArray& path, const QByteArray& cookie = {}) {
            return Ask(*Connect(server.Port()),
                       "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nCookie: " + cookie +
                           "\r\n\r\n");
        };

        const QByteArray code = QByteArray::fromStdString(server.NewKeypadCode());
        const QByteArray refused = ask("/k/" + QByteArray(10, '0'));
        QCOMPARE(refused.left(refused.indexOf("Content-Type")), "HTTP/1.1 403 Forbidden\r\n");
        QVERIFY(refused.contains("This pairing code cannot be used"));
        const QByteArray paired = ask("/k/" + code.toLower());
        const QByteArray token = paired.mid(paired.indexOf("brennix_keypad=") + 15, 64);
        QCOMPARE(paired, "HTTP/1.1 303 See Other\r\nLocation: /pad\r\nSet-Cookie: brennix_keypad=" +
                             token + "; Path=/; HttpOnly; SameSite=Strict\r\n"
                             "Cache-Control: no-store\r\nContent-Length: 0\r\n\r\n");
        QVERIFY(QByteArray::fromHex(token).toHex() == token);
        QCOMPARE(ask("/k/" + code), refused); // used
        QCOMPARE(server.KeypadCount(), 1);
        const QByteArray cookie = "a=1; brennix_keypad=" + token;
        QVERIFY(ask("/pad/paired", cookie).endsWith(R"({"paired":true})"));
        QVERIFY(ask("/pad/paired", "brennix_keypad=" + QByteArray(64, 'a')).endsWith("false}"));

        // The upgrade: only the paired cookie, only from a page of this server.
        const QByteArray origin = "http://" + host;
        const std::pair<QByteArray, QByteArray> upgrades[] = {
            {"brennix_keypad=" + QByteArray(64, 'a'), origin}, // forged, or a run before's
            {cookie, "http://127.0.0.2:" + QByteArray::number(server.Port())},
            {cookie, {}},
            {cookie, origin}};
        for (const auto& [sent, from] : upgrades) {
            const QByteArray answer = Ask(
                *Connect(server.Port()),
                "GET /pad/live HTTP/1.1\r\nHost: " + host + "\r\nUpgrade: websocket\r\n"
                "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                "Sec-WebSocket-Version: 13\r\nCookie: " + sent + "\r\n" +
                (from.isEmpty() ? QByteArray() : "Origin: " + from + "\r\n") + "\r\n");
            QCOMPARE(answer.left(12), &sent == &upgrades[3].first ? "HTTP/1.1 101" : "HTTP/1.1 403");
        }

        // What a paired keypad sends, row by row: handed over, answered here, or ignored.
        server.Publish(R"({"caption":"x"})");
        server.PublishKeypadMode(R"({"mode":"play"})");
        QNetworkRequest opening(QUrl(QStringLiteral("ws://%1/pad/live").arg(QLatin1String(host))));
        opening.setRawHeader("Cookie", cookie);
        QWebSocket other(QString::fromLatin1(origin)); // a keypad that sends nothing
        other.open(opening);
        QTRY_COMPARE_WITH_TIMEOUT(server.KeypadPageCount(), 1, WaitMs);
        QWebSocket pad(QString::fromLatin1(origin));
        QStringList received;
        connect(&pad, &QWebSocket::textMessageReceived, [&](const QString& m) { received << m; });
        pad.open(opening);
        QTRY_COMPARE_WITH_TIMEOUT(received, QStringList({R"({"caption":"x"})",
                                                         R"({"keypad":{"mode":"play"}})"}), WaitMs);
        QCOMPARE(server.KeypadPageCount(), 2);
        using K = TKeypadEntry::TKind;
        const auto why = [](int id, const char* reason) {
            return QString::fromUtf8(R"({"reply":{"id":%1,"taken":false,"why":"%2"}})")
                .arg(id)
                .arg(QString::fromUtf8(reason));
        };
        const std::vector<std::tuple<QString, std::optional<TKeypadEntry>, QString>> rows = {
            {R"({"id":1,"enter":180,"darts":2})", TKeypadEntry{.Id = 1, .Score = 180, .Darts = 2}, {}},
            {R"({"id":2,"enter":0,"darts":3})", TKeypadEntry{.Id = 2, .Score = 0, .Darts = 3}, {}},
            {R"({"id":3,"enter":181,"darts":3})", std::nullopt, why(3, "not 0–180")},
            {R"({"id":4,"enter":-1,"darts":3})", std::nullopt, why(4, "not 0–180")},
            {R"({"id":5,"enter":60.5,"darts":3})", std::nullopt, why(5, "not 0–180")},
            {R"({"id":6,"enter":60,"darts":0})", std::nullopt, why(6, "not understood")},
            {R"({"id":7,"enter":"60","darts":3})", std::nullopt, why(7, "not understood")},
            {R"({"id":8,"undo":true,"darts":3})", std::nullopt, why(8, "not understood")},
            {R"({"id":9,"undo":true})", TKeypadEntry{.Id = 9, .Kind = K::Undo}, {}},
            {R"({"id":10,"begin":8})", TKeypadEntry{.Id = 10, .Kind = K::Begin, .Player = 8}, {}},
            {R"({"id":11,"begin":9})", std::nullopt, why(11, "not understood")},
            {R"({"id":12,"confirm":true})", TKeypadEntry{.Id = 12, .Kind = K::Confirm}, {}},
            {R"({"enter":60,"darts":3})", std::nullopt, {}}, // no number to answer: not counted
            {R"({"id":-1,"undo":true})", std::nullopt, {}},
            {R"(not json)", std::nullopt, {}},
            {R"({"id":13,"undo":true})", std::nullopt, why(13, "too many entries: wait a moment")},
        };
        bool ponged = false; // the server has read everything before the ping
        connect(&pad, &QWebSocket::pong, [&] { ponged = true; });
        for (const auto& [message, entry, reply] : rows) {
            const size_t before = entries.size();
            received.clear();
            ponged = false;
            pad.sendTextMessage(message);
            pad.ping();
            QTRY_VERIFY_WITH_TIMEOUT(ponged, WaitMs);
            QCOMPARE(received, reply.isEmpty() ? QStringList() : QStringList{reply});
            QCOMPARE(entries.size(), before + (entry ? 1 : 0));
            if (!entry) continue;
            const TKeypadEntry& got = entries.back();
            QCOMPARE(got.Pad, entries.front().Pad);
            QCOMPARE(std::tuple(got.Id, got.Kind, got.Score, got.Darts, got.Player),
                     std::tuple(entry->Id, entry->Kind, entry->Score, entry->Darts, entry->Player));
        }
        // The program's answer reaches the keypad it is for.
        server.AnswerKeypad(entries.front().Pad, 1, {});
        QTRY_COMPARE_WITH_TIMEOUT(received.last(), R"({"reply":{"id":1,"taken":true}})", WaitMs);

        // Forgotten, the keypad's page goes and its cookie opens nothing.
        server.ForgetKeypads();
        QCOMPARE(server.KeypadCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(pad.state(), QAbstractSocket::UnconnectedState, WaitMs);
        QVERIFY(ask("/pad/paired", cookie).endsWith("false}"));
    }

    void theConnectionCap() {
        TLiveServer server({.MaxConnections = 3, .MaxRequestBytes = 1000});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 3; ++i) {
            idle.push_back(Connect(server.Port()));
            QTRY_COMPARE_WITH_TIMEOUT(server.RequestConnectionCount(), i + 1, WaitMs);
            QTest::qWait(5); // an order of age
        }
        for (int i = 0; i < 3; ++i)
            QCOMPARE(Ask(*idle[0], Padded("GET /state.json HTTP/1.1\r\n", 600)),
                     Ok("application/json", "{}"));
        QTest::qWait(5);
        idle.push_back(Connect(server.Port()));
        QCOMPARE(Ask(*idle[3], Get("/state.json")), Ok("application/json", "{}"));
        QCOMPARE(server.RequestConnectionCount(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(idle[1]->state(), QAbstractSocket::UnconnectedState, WaitMs);
        QCOMPARE(Ask(*idle[0], Get("/state.json")), Ok("application/json", "{}"));
    }

    // Room for newcomers, with MaxConnections = 5 and MaxPagesPerAddress = 3: a page's own
    // connection turns into the page and takes no other's place; a fourth page of 127.0.0.1
    // makes its oldest go; a page of a third address with every place taken makes the oldest
    // page of the address with the most pages go. Every newcomer gets its 101 and the state.
    void roomForNewcomers() {
        TLiveServer server({.MaxConnections = 5, .MaxPagesPerAddress = 3});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        std::vector<std::unique_ptr<TRawPage>> pages;
        // The pages open after each newcomer: a fourth of one address makes its first go.
        const std::vector<std::pair<const char*, int>> arrivals = {
            {"127.0.0.1", 1}, {"127.0.0.1", 2}, {"127.0.0.1", 3}, {"127.0.0.1", 3},
            {"127.0.0.2", 4}, {"127.0.0.2", 5}, {"127.0.0.3", 5}};
        for (const auto& [from, open] : arrivals) {
            pages.push_back(std::make_unique<TRawPage>(server.Port(), from));
            QVERIFY(pages.back()->Upgraded());
            QTRY_VERIFY_WITH_TIMEOUT(pages.back()->received.contains("{}"), WaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), open, WaitMs);
        }
        QCOMPARE(server.PageCount(), 5);
        QCOMPARE(server.RequestConnectionCount(), 0);
        for (const int gone : {0, 1})
            QTRY_VERIFY_WITH_TIMEOUT(!pages[gone]->Open(), WaitMs);
        for (size_t i = 2; i < pages.size(); ++i)
            QVERIFY2(pages[i]->Open(), qPrintable(QString::number(i)));
    }

    // A request connection is closed RequestTimeoutMs after it opened, whether it sends
    // nothing, half a request, or a request every 300 ms that is answered.
    void requestConnectionsTimeOut() {
        TLiveServer server({.RequestTimeoutMs = 1000});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        const auto idle = Connect(server.Port()), half = Connect(server.Port()),
                   busy = Connect(server.Port());
        half->write("GET / HTTP/1.1\r\n");
        QCOMPARE(Ask(*busy, Get("/state.json")), Ok("application/json", "{}"));
        QElapsedTimer asking;
        asking.start();
        while (busy->state() == QAbstractSocket::ConnectedState && asking.elapsed() < WaitMs) {
            QTest::qWait(300);
            Ask(*busy, Get("/state.json"));
        }
        // Closed while it was still asking: answers do not buy it more time.
        QCOMPARE(busy->state(), QAbstractSocket::UnconnectedState);
        for (const auto& socket : {&idle, &half, &busy})
            QTRY_COMPARE_WITH_TIMEOUT((*socket)->state(), QAbstractSocket::UnconnectedState,
                                      WaitMs);
        QCOMPARE(server.RequestConnectionCount(), 0);
    }

    // Only a pong that echoes the server's ping keeps a page: one that answers no ping, or
    // answers with pongs of its own every 100 ms, is dropped after two pings; one that echoes
    // stays, however long ago its request was, and gets the next state.
    void onlyAnEchoKeepsAPage_data() {
        QTest::addColumn<QString>("pongs"); // "echo", "none", "own"
        QTest::addColumn<bool>("stays");
        QTest::newRow("echoes") << "echo" << true;
        QTest::newRow("silent") << "none" << false;
        QTest::newRow("pongs of its own") << "own" << false;
    }

    void onlyAnEchoKeepsAPage() {
        QFETCH(QString, pongs);
        QFETCH(bool, stays);
        TLiveServer server({.RequestTimeoutMs = 150, .PageCheckMs = 100, .PagePingMs = 300});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        TPage answering(server.Port());
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 1, WaitMs);
        std::unique_ptr<TPage> echoing;
        std::unique_ptr<TRawPage> raw;
        QTimer own;
        if (pongs == "echo") {
            echoing = std::make_unique<TPage>(server.Port());
        } else {
            raw = std::make_unique<TRawPage>(server.Port());
            QVERIFY(raw->Upgraded());
            connect(&own, &QTimer::timeout, [&] {
                if (pongs == "own") raw->socket.write(Frame(0x8A, "mine"));
            });
            own.start(100);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 2, WaitMs);
        // Four pings' time: long enough for two missed pings and the check after them.
        QTest::qWait(4 * 300 + 2 * 100);
        QCOMPARE(server.PageCount(), stays ? 2 : 1);
        server.Publish("[]");
        QTRY_COMPARE_WITH_TIMEOUT(answering.messages, QStringList({"{}", "[]"}), WaitMs);
        if (echoing)
            QTRY_COMPARE_WITH_TIMEOUT(echoing->messages, QStringList({"{}", "[]"}), WaitMs);
        QCOMPARE(server.RequestConnectionCount(), 0);
    }

    // What a page sends is bounded, each on both sides of its bound (a frame counts six bytes
    // besides its payload; a ping the test sends last, "sync", ten bytes): a message of 1024
    // bytes, an unfinished message's fragments likewise, 4096 bytes per PageCheckMs in all.
    void whatAPageSendsIsBounded_data() {
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<bool>("stays");
        const QByteArray begun = Frame(0x01, {}); // a text message begun, not ended
        QTest::newRow("message of 1018 bytes") << Frame(0x81, QByteArray(1018, 'm')) << true;
        QTest::newRow("message of 1019 bytes") << Frame(0x81, QByteArray(1019, 'm')) << false;
        QTest::newRow("170 empty fragments") << begun + Frame(0x00, {}).repeated(169) << true;
        QTest::newRow("171 empty fragments") << begun + Frame(0x00, {}).repeated(170) << false;
        QTest::newRow("4 messages of 1000 bytes")
            << Frame(0x81, QByteArray(1000, 'm')).repeated(4) << true;
        QTest::newRow("408 pings: 4090 bytes") << Frame(0x89, "ping").repeated(408) << true;
        QTest::newRow("409 pings: 4100 bytes") << Frame(0x89, "ping").repeated(409) << false;
    }

    void whatAPageSendsIsBounded() {
        QFETCH(QByteArray, frames);
        QFETCH(bool, stays);
        TLiveServer server({.PageCheckMs = 60000, .PagePingMs = 60000});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        TRawPage page(server.Port());
        QVERIFY(page.Upgraded());
        QTRY_VERIFY_WITH_TIMEOUT(page.received.endsWith("{}") || page.received.contains("\x89"),
                                 WaitMs);
        page.socket.write(frames + Frame(0x89, "sync"));
        const QByteArray pong = "\x8A\x04sync";
        QVERIFY(
            QTest::qWaitFor([&] { return page.received.contains(pong) || !page.Open(); }, WaitMs));
        QCOMPARE(page.Open(), stays);
        QCOMPARE(server.PageCount(), stays ? 1 : 0);
    }

    // A page that never reads is dropped once more than MaxBufferedBytes waits for it; a page
    // that reads each state before the next is published never is. Each state is twice the
    // limit, so the sleeper goes at the latest one publish after the kernel's buffers are full.
    void aPageThatNeverReadsIsDropped() {
        constexpr qint64 limit = 64 * 1024;
        TLiveServer server({.MaxBufferedBytes = limit});
        QCOMPARE(server.Listen(QHostAddress::LocalHost, 0), QString());
        QTcpSocket sleeper;
        sleeper.setReadBufferSize(1);
        sleeper.connectToHost(QHostAddress::LocalHost, server.Port());
        sleeper.write(Handshake);
        TPage reader(server.Port());
        QTRY_COMPARE_WITH_TIMEOUT(server.PageCount(), 2, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(reader.messages.size(), 1, WaitMs);

        // Just under the limit: the reader, which reads everything, never has a whole state
        // unsent when the pages are checked; the sleeper falls behind by one state a publish.
        const QByteArray state = "{\"caption\":\"" + QByteArray(limit - 64, 'c') + "\"}";
        const qint64 most = (KernelBuffers() + limit) / state.size() + 2;
        int dropped = 0; // the publish that found the sleeper too far behind
        for (int published = 1; published <= most && !dropped; ++published) {
            server.Publish(state);
            if (server.PageCount() < 2) dropped = published;
            QTRY_COMPARE_WITH_TIMEOUT(reader.messages.size(), published + 1, WaitMs);
        }
        QVERIFY2(dropped >= 2, qPrintable(QString::number(dropped))); // 0: never dropped
        QCOMPARE(server.PageCount(), 1);
        server.Publish(R"({"caption":"after"})");
        QTRY_COMPARE_WITH_TIMEOUT(reader.messages.size(), dropped + 2, WaitMs);
        QCOMPARE(reader.messages.last(), QString(R"({"caption":"after"})"));
        QCOMPARE(Ask(*Connect(server.Port()), Get("/state.json")),
                 Ok("application/json", R"({"caption":"after"})"));
    }
};

QTEST_MAIN(LiveTest)
#include "live_test.moc"
