// The players' standings on the live board: /players.json is what brennix-report --players
// writes for the same history, and the match page's JSON carries each player's all-time average,
// the visit just booked in it.
#include "engine/board.h"
#include "engine/state.h"
#include "history/history_store.h"
#include "live/live_board.h"
#include "live/live_players.h"
#include "storage/paths.h"
#include "storage/settings_file.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/forms.h"
#include "ui_test_support.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <nlohmann/json.hpp>
#include <sstream>

using namespace brennix;
using namespace brennix::test;

namespace {

constexpr int WaitMs = 10000;

// The body of a GET on the program's live board.
QByteArray Fetch(quint16 port, const QByteArray& path) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(WaitMs)) return "no connection";
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray data;
    (void)QTest::qWaitFor(
        [&] {
            data += socket.readAll();
            const qsizetype end = data.indexOf("\r\n\r\n");
            const qsizetype length = data.indexOf("\r\nContent-Length: ");
            return end >= 0 && length >= 0 &&
                   data.size() >= end + 4 + data.mid(length + 18, end - length - 18).toLongLong();
        },
        WaitMs);
    return data.mid(data.indexOf("\r\n\r\n") + 4);
}

// A player's all-time average in the board's JSON served now; -1 for none.
double AllTime(quint16 port, int player) {
    const auto state =
        nlohmann::json::parse(Fetch(port, "/state.json").toStdString(), nullptr, false);
    const nlohmann::json::json_pointer at("/players/" + std::to_string(player) +
                                          "/all_time_average");
    return state.contains(at) && state[at].is_number() ? state[at].get<double>() : -1;
}

} // namespace

class LivePlayersTest : public QObject {
    Q_OBJECT

    QTemporaryDir base;
    std::unique_ptr<THistoryStore> history;
    std::shared_ptr<TLiveBoardModule> live;
    TBoardFeed feed;
    QTimer answerer;

    void Visit(int score) {
        Form1->Edit33->setFocus();
        QTest::keyClicks(Form1->Edit33, QString::number(score));
        QTest::keyClick(Form1->Edit33, Qt::Key_Return);
    }

  private slots:
    void initTestCase() {
        InstallFontSubstitutes();
        QVERIFY(base.isValid());
        SetBaseDir(base.path().toStdString() + "/");
        QVERIFY(QDir(base.path()).mkdir("save"));
        const TRunOptions options = ReadRunOptions({"/safe", "/live=127.0.0.1:0"});
        CreateForms(options);
        AnswerEveryModal(answerer);
        history = StartHistory({}, [](const std::string& text) { QFAIL(text.c_str()); });
        std::ostringstream out;
        live = StartLiveBoard(options, *Form1, *Form1->HelpMenu, out, {},
                              {QStringLiteral(BRENNIX_LIVE_MODULE)});
        QVERIFY(live);
        Form1->AddBoardObserver([this](const TBoardView& view) { feed.Redrawn(view); });
        FeedLiveBoard(feed, live, report::HistorySource(HistoryPath()), Form1);
        Form1->show();
        QTRY_VERIFY_WITH_TIMEOUT(Form1->Timer1->isActive(), WaitMs);
        Form1->Timer1->stop();
    }
    void cleanupTestCase() {
        DestroyForms();
        live.reset();
        history.reset();
    }

    // 301, the first leg of a set: Ann 180 then 121 (6 darts, 150.5), Bob 60 (3 darts). Once the
    // leg is won the live board serves the report's standings and the board's JSON the averages.
    void standingsFollowTheHistory() {
        auto* standings = Form1->findChild<TLiveStandings*>();
        QVERIFY(standings);
        QSignalSpy published(standings, &TLiveStandings::Published);
        Settings.PlayerCount = 2;
        Settings.GameType = 1;
        Settings.MatchFormat = 3; // the match goes on after the leg
        Settings.PlayerNames[0] = "Ann &<>";
        Settings.PlayerNames[1] = "Bob";
        QTimer::singleShot(0, [] { Form1->NewGame1Click(); });
        QTRY_VERIFY_WITH_TIMEOUT(Players[0].Remaining == 301 && Players[1].Remaining == 301,
                                 WaitMs);
        const int first = ActivePlayer;
        QCOMPARE(first, 0);
        // Each visit is in the average as soon as it is booked, in the middle of a leg too.
        for (const auto& [score, player] : std::vector<std::pair<int, int>>{{180, 0}, {60, 1}}) {
            Visit(score);
            QTRY_COMPARE_WITH_TIMEOUT(AllTime(live->Port(), player), double(score), WaitMs);
        }
        published.clear();
        Visit(121);
        QTRY_VERIFY_WITH_TIMEOUT(published.count() >= 1, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(standings->AllTimeAverage("Ann &<>") == 150.5, WaitMs);

        QProcess report;
        report.start(QStringLiteral(BRENNIX_REPORT), {"--players", "--format", "json", "--history",
                                                      QString::fromStdString(HistoryPath())});
        QVERIFY(report.waitForFinished(WaitMs));
        QCOMPARE(report.exitCode(), 0);
        const QByteArray expected = report.readAllStandardOutput();
        QCOMPARE(Fetch(live->Port(), "/players.json"), expected);
        const nlohmann::json players = nlohmann::json::parse(expected.toStdString());
        QCOMPARE(players.size(), size_t(2));
        QCOMPARE(players[0]["name"], "Ann &<>");

        const nlohmann::json state =
            nlohmann::json::parse(Fetch(live->Port(), "/state.json").toStdString());
        QCOMPARE(state["players"][0]["all_time_average"].get<double>(), 150.5);
        QCOMPARE(state["players"][1]["all_time_average"].get<double>(), 60.0);
    }

    // New standings bring the board as last drawn out again, with the averages in it.
    void newStandingsPublishTheBoardAgain() {
        struct TRecorder : TLiveBoardModule {
            std::vector<QByteArray> states;
            QString Listen(const QString&, quint16) override { return {}; }
            quint16 Port() const override { return 0; }
            std::vector<std::string> Addresses() const override { return {}; }
            void Publish(const QByteArray& state) override { states.push_back(state); }
            void PublishPlayers(const QByteArray&) override {}
            void PublishHall(const QByteArray&) override {}
        };
        const auto recorder = std::make_shared<TRecorder>();
        QObject owner;
        TBoardFeed board;
        FeedLiveBoard(board, recorder, report::HistorySource(HistoryPath()), &owner);
        auto* standings = owner.findChild<TLiveStandings*>();
        QVERIFY(standings);
        QSignalSpy published(standings, &TLiveStandings::Published);
        board.Redrawn(BoardView());
        QTRY_VERIFY_WITH_TIMEOUT(published.count() >= 1, WaitMs);
        QCOMPARE(recorder->states.size(), size_t(2));
        const nlohmann::json state = nlohmann::json::parse(recorder->states[1].toStdString());
        QCOMPARE(state["players"][0]["all_time_average"].get<double>(), 150.5);
    }
};

QTEST_MAIN(LivePlayersTest)
#include "live_players_test.moc"
