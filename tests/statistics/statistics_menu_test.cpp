// The window's Statistics menu: where it sits, the pages it writes (the report's own, byte for
// byte) and opens, and the error box when the history cannot be read or nothing opens the page.
#include "engine/match_events.h"
#include "history/history_store.h"
#include "report/cli.h"
#include "statistics/statistics_menu.h"
#include "storage/paths.h"
#include "ui/form1.h"
#include "ui_test_support.h"

#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>
#include <sstream>

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

std::string ReportOf(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    report::RunReport(args, out, err);
    return out.str();
}

} // namespace

class StatisticsMenuTest : public QObject {
    Q_OBJECT

    QTemporaryDir base;
    std::unique_ptr<TForm1> window;
    std::vector<QUrl> opened;
    bool opens = true;
    std::optional<TSeenWindow> box;

    QAction* Item(const char* name) { return window->findChild<QAction*>(name); }
    std::string History() const { return base.filePath("history.sqlite").toStdString(); }

  private slots:
    void initTestCase() {
        QVERIFY(base.isValid());
        SetBaseDir(base.path().toStdString() + "/");
        RecordMatch(History());
        window = std::make_unique<TForm1>();
        AddStatisticsMenu(*window, report::HistorySource(History()), [this](const QUrl& page) {
            opened.push_back(page);
            return opens;
        });
    }
    void init() {
        opened.clear();
        opens = true;
        box.reset();
    }

    // After Settings, before Help, with a key of its own; the other menus as they were.
    void sitsAfterSettings() {
        QStringList titles;
        for (QAction* menu : window->menuBar()->actions())
            titles << menu->text();
        QCOMPARE(titles, QStringList({"&File", "&Settings", "S&tatistics", "&Help"}));
        QCOMPARE(Item("StatisticsPlayers1")->text(), QString("&Players\u2026"));
        QCOMPARE(Item("StatisticsMatches1")->text(), QString("&Matches\u2026"));
    }

    // Each item writes the report's page into the data folder's "statistics" and opens it.
    void opensTheReportsPage_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("file");
        QTest::newRow("players") << "StatisticsPlayers1"
                                 << "--players"
                                 << "players.html";
        QTest::newRow("matches") << "StatisticsMatches1"
                                 << "--matches"
                                 << "matches.html";
    }
    void opensTheReportsPage() {
        QFETCH(QString, item);
        QFETCH(QString, query);
        QFETCH(QString, file);
        AnswerMessageBox(&box, 1000); // none may come up
        Item(item.toLatin1().constData())->trigger();
        const QString page = base.filePath("statistics/" + file);
        QCOMPARE(opened, std::vector<QUrl>{QUrl::fromLocalFile(page)});
        QFile written(page);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const std::string html = written.readAll().toStdString();
        QCOMPARE(html, ReportOf({query.toStdString(), "--format", "html", "--history", History()}));
        QVERIFY(html.find("Ann &amp;&lt;&gt;") != std::string::npos);
        QVERIFY2(!box, qPrintable(box ? box->text : QString()));
    }

    // Nothing to open the page with: the error box says so, the page stays written.
    void tellsWhenNothingOpensIt() {
        opens = false;
        AnswerMessageBox(&box);
        Item("StatisticsPlayers1")->trigger();
        QTRY_VERIFY(box.has_value());
        QCOMPARE(box->title, QString("Brennix 3.2"));
        QCOMPARE(box->text,
                 "No browser could open " + base.filePath("statistics/players.html") + ".");
    }
};

QTEST_MAIN(StatisticsMenuTest)
#include "statistics_menu_test.moc"
