// The window's Statistics menu: where it sits, the pages it writes (the report's own, byte for
// byte) and opens, what the status bar says when a page cannot be made or opened, and that a club
// server that never answers holds up neither a visit nor quitting.
#include "engine/state.h"
#include "history/history_store.h"
#include "statistics/statistics_menu.h"
#include "storage/paths.h"
#include "ui/form1.h"
#include "ui/forms.h"
#include "ui_test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace brennix;
using namespace brennix::test;

namespace {

// A won match of one leg between "Ann &<>" and "Bob": 501 in 60, 100, 140, 121, 80 for Ann
// (15 darts), Bob's four visits of 45.
void RecordMatch(const std::string& path) {
    THistoryStore store(
        path, [](const std::string& text) { QFAIL(text.c_str()); }, 0);
    const TEventTime at{std::chrono::seconds{1796673600}};
    store.MatchBegun({2, 2, {"Ann &<>", "Bob"}, 0}, at);
    int32_t ann = 501, bob = 501;
    for (const int32_t score : {60, 100, 140, 121, 80}) {
        store.VisitBooked({0, score, 3, ann, score == ann, 1, 1, 0, at});
        ann -= score;
        if (ann == 0) break;
        store.VisitBooked({1, 45, 3, bob, false, 1, 1, 0, at});
        bob -= 45;
    }
    store.LegWon({1, 1, 0, 0, 15, at});
    store.MatchWon({0, {1, 0}, {1, 0}, at});
}

} // namespace

class StatisticsMenuTest : public QObject {
    Q_OBJECT

    QTemporaryDir base;
    TStatisticsMenu* menu = nullptr;
    std::vector<QUrl> opened;
    bool opens = true;
    QTimer answerer;

    QAction* Item(const char* name) { return Form1->findChild<QAction*>(name); }
    std::string History() const { return base.filePath("history.sqlite").toStdString(); }
    TStatisticsMenuPlace Place() const {
        return {
            Form1->menuBar(), Form1->HelpMenu, {Form1->StatusPanels[0], Form1->StatusPanels[1]}};
    }
    // Asks for a page and waits for what came of it.
    QString Ask(TStatisticsMenu& on, const char* item) {
        QSignalSpy done(&on, &TStatisticsMenu::Done);
        Item(item)->trigger();
        if (!done.wait(10000)) return "nothing came";
        return done.at(0).at(0).toString();
    }

  private slots:
    void initTestCase() {
        QVERIFY(base.isValid());
        SetBaseDir(base.path().toStdString() + "/");
        QVERIFY(QDir(base.path()).mkdir("save"));
        RecordMatch(History());
        CreateForms(ReadRunOptions({"/safe"}));
        AnswerEveryModal(answerer);
        menu = new TStatisticsMenu(Place(), report::HistorySource(History()), std::nullopt,
                                   [this](const QUrl& page) {
                                       opened.push_back(page);
                                       return opens;
                                   });
        Form1->show();
        QTRY_VERIFY_WITH_TIMEOUT(Form1->Timer1->isActive(), 20000);
        Form1->Timer1->stop();
    }
    void cleanupTestCase() { DestroyForms(); }
    void init() {
        opened.clear();
        opens = true;
    }

    // After Settings, before Help, with a key of its own; the other menus as they were.
    void sitsAfterSettings() {
        QStringList titles;
        for (QAction* item : Form1->menuBar()->actions())
            titles << item->text();
        QCOMPARE(titles, QStringList({"&File", "&Settings", "S&tatistics", "&Help"}));
        QCOMPARE(Item("StatisticsPlayers1")->text(), QString("&Players\u2026"));
        QCOMPARE(Item("StatisticsMatches1")->text(), QString("&Matches\u2026"));
    }

    // Each item writes the report's page into the data folder's "statistics" and opens it; the
    // note says nothing once it opened.
    void opensTheReportsPage_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("query");
        QTest::addColumn<QString>("file");
        QTest::newRow("players") << "StatisticsPlayers1" << int(report::THistoryQuery::Players)
                                 << "players.html";
        QTest::newRow("matches") << "StatisticsMatches1" << int(report::THistoryQuery::Matches)
                                 << "matches.html";
    }
    void opensTheReportsPage() {
        QFETCH(QString, item);
        QFETCH(int, query);
        QFETCH(QString, file);
        QCOMPARE(Ask(*menu, item.toLatin1().constData()), QString());
        const QString page = base.filePath("statistics/" + file);
        QCOMPARE(opened, std::vector<QUrl>{QUrl::fromLocalFile(page)});
        QFile written(page);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const std::string html = written.readAll().toStdString();
        const report::TStatisticsOutcome read = report::QueryStatistics(
            report::Request(report::THistoryQuery(query)), report::HistorySource(History()));
        QVERIFY(read.Statistics);
        QCOMPARE(html, report::FormatStatistics(*read.Statistics, report::TFormat::Html));
        QVERIFY(html.find("Ann &amp;&lt;&gt;") != std::string::npos);
        QVERIFY(menu->Note()->isHidden());
    }

    // An item chosen while a page is made follows it.
    void anItemChosenMeanwhileFollows() {
        QSignalSpy done(menu, &TStatisticsMenu::Done);
        Item("StatisticsPlayers1")->trigger();
        Item("StatisticsMatches1")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);
        QCOMPARE(opened, (std::vector<QUrl>{
                             QUrl::fromLocalFile(base.filePath("statistics/players.html")),
                             QUrl::fromLocalFile(base.filePath("statistics/matches.html"))}));
    }

    // Nothing to open the page with: the status bar names the page written.
    void tellsWhenNothingOpensIt() {
        opens = false;
        const QString said = "No browser opened the players page: open " +
                             base.filePath("statistics/players.html") + " in a browser.";
        QCOMPARE(Ask(*menu, "StatisticsPlayers1"), said);
        QVERIFY(menu->Note()->isVisible());
        QCOMPARE(menu->Note()->toolTip(), said);
        QCOMPARE(menu->Note()->text(), said);
    }

    // A club whose server refuses: the board's own figures, the page and the note saying so.
    void aClubAwayGivesTheBoardsOwnFigures() {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        const std::string url =
            "postgresql://board@127.0.0.1:" + std::to_string(gone.serverPort()) + "/club";
        gone.close();
        TStatisticsMenu club(Place(), report::ClubSource(url), report::HistorySource(History()),
                             [](const QUrl&) { return true; });
        QSignalSpy done(&club, &TStatisticsMenu::Done);
        Form1->findChildren<QAction*>("StatisticsPlayers1").last()->trigger();
        QVERIFY(done.wait(10000));
        const report::THistoryRequest players = report::Request(report::THistoryQuery::Players);
        const std::string refused = report::QueryStatistics(players, report::ClubSource(url)).Error;
        QVERIFY(refused.starts_with("club: connection to server at \"127.0.0.1\""));
        report::TStatisticsOutcome own =
            report::QueryStatistics(players, report::HistorySource(History()));
        own.Statistics->Caveat = "The club's figures cannot be read (" +
                                 QString::fromStdString(refused).simplified().toStdString() +
                                 "): these are this board's own only.";
        QCOMPARE(done.at(0).at(0).toString().toStdString(),
                 "The players page: " + own.Statistics->Caveat);
        QFile written(base.filePath("statistics/players.html"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().toStdString(),
                 report::FormatStatistics(*own.Statistics, report::TFormat::Html));
    }

    // A club server that takes the connection and never answers: a visit typed a second later is
    // booked at once, the reason comes after the query's bound (3 s), and a window closed while
    // the query waits does not wait for it.
    void aHungClubHoldsUpNothing() {
        QTcpServer hung;
        QVERIFY(hung.listen(QHostAddress::LocalHost, 0));
        const std::string url =
            "postgresql://board@127.0.0.1:" + std::to_string(hung.serverPort()) + "/club";
        auto* club =
            new TStatisticsMenu(Place(), report::ClubSource(url), std::nullopt, OpenInBrowser, 3);
        QSignalSpy done(club, &TStatisticsMenu::Done);
        QElapsedTimer asked;
        asked.start();
        Form1->findChildren<QAction*>("StatisticsPlayers1").last()->trigger();
        QVERIFY(club->Note()->isVisible());
        QTest::qWait(1000);
        const int32_t before = Players[ActivePlayer].Remaining;
        const int thrower = ActivePlayer;
        QElapsedTimer typing;
        typing.start();
        QTest::keyClicks(Form1->Edit33, "60");
        QTest::keyClick(Form1->Edit33, Qt::Key_Return);
        QVERIFY2(typing.elapsed() < 1000, qPrintable(QString::number(typing.elapsed())));
        QCOMPARE(Players[thrower].Remaining, before - 60);
        QVERIFY(done.wait(10000));
        QVERIFY(asked.elapsed() >= 3000);
        QCOMPARE(done.at(0).at(0).toString(),
                 QString("club: the server did not answer within 3 seconds"));

        Form1->findChildren<QAction*>("StatisticsMatches1").last()->trigger();
        QTest::qWait(200);
        QElapsedTimer quitting;
        quitting.start();
        delete club;
        QVERIFY2(quitting.elapsed() < 2000, qPrintable(QString::number(quitting.elapsed())));
    }
};

QTEST_MAIN(StatisticsMenuTest)
#include "statistics_menu_test.moc"
