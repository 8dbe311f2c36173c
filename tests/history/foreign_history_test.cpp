// History files the program did not write: set aside at open and refused by the report, nothing
// in them run; rows no match can have left out; a query ended when its thread goes.
#include "../storage/storage_fixture.h"
#include "sqlite_rows.h"

#include "history/history_store.h"
#include "history/statistics.h"
#include "report/cli.h"
#include "statistics/query_thread.h"

#include <atomic>
#include <future>
#include <sstream>

namespace brennix::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::ThrowsMessage;

const std::string Endless = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) ";
const std::string Never = "holds objects Brennix never makes ";

using ForeignHistoryTest = StorageTest;

TEST_F(ForeignHistoryTest, CraftedFilesAreSetAsideOrReadWithinBounds) {
    const TEventTime t0{std::chrono::seconds{1796673600}}; // 2026-12-07 20:00:00 UTC
    MatchClock = [&] { return t0; };
    const std::string path = HistoryPath(), aside = path + ".damaged-20261207-200000";
    struct TCase {
        int version;
        std::string sql, reason;             // why it is set aside; "" for a file that is read
        std::vector<std::string> names = {}; // the standings of a file that is read
    } cases[] = {
        {4, "CREATE TRIGGER t AFTER INSERT ON visits BEGIN UPDATE visits SET score = 180; END",
         Never + "(trigger 't')"},
        {4, "CREATE VIEW v AS " + Endless + "SELECT i FROM n", Never + "(view 'v')"},
        {4, "CREATE TABLE notes (x)", Never + "(table 'notes')"},
        {4, "CREATE INDEX by_score ON visits (score)", Never + "(index 'by_score')"},
        {4, "DROP INDEX visits_of_leg", "lacks the index 'visits_of_leg' of its layout"},
        // Bringing the file up to date would fire it.
        {2,
         "CREATE TRIGGER grow AFTER UPDATE ON matches BEGIN INSERT INTO visits (match_id, "
         "leg_id, player, score, darts, remaining_before, won_leg, at) VALUES (1, 1, 1, 60, 3, "
         "501, 0, ''); END",
         Never + "(trigger 'grow')"},
        // Numbers past eight players, a name of a megabyte, 40,000 players in one match.
        {4,
         "INSERT INTO match_players VALUES (1, -3, 'Neg', 0, 0), (1, 9, 'Ninth', 0, 0), (1, 3, "
         "printf('%.1000000c', 'x'), 0, 0)",
         "",
         {"Ann", "Bob"}},
        {4,
         Endless + "INSERT INTO match_players SELECT 1, i + 2, 'P' || i, 0, 0 FROM n LIMIT 40000",
         "",
         {"Ann", "Bob", "P1", "P2", "P3", "P4", "P5", "P6"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.sql);
        fs::remove_all(dir);
        fs::create_directory(dir);
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        ExecSql(db, "BEGIN");
        RaiseHistoryLayout(db, 0, c.version);
        ExecSql(db,
                ("PRAGMA user_version = " + std::to_string(c.version) +
                 "; INSERT INTO matches (id, started_at, game_type, game, match_format, format, "
                 "resumed) VALUES (1, '2026-12-07 19:00:00', 2, '', 2, '', 0); INSERT INTO "
                 "match_players VALUES (1, 1, 'Ann', 0, 0), (1, 2, 'Bob', 0, 0);" +
                 c.sql + "; COMMIT")
                    .c_str());
        sqlite3_close(db);
        std::vector<std::string> warnings;
        THistoryStore store(path, [&](const std::string& text) { warnings.push_back(text); });
        store.MatchBegun({2, 2, {"Ann", "Bob"}, 0}, t0);
        store.VisitBooked({0, 60, 3, 501, false, 1, 1, 0, t0});
        std::ostringstream out, err;
        const int status = report::RunReport(
            {"--players", "--history", c.reason.empty() ? path : aside}, out, err);
        if (c.reason.empty()) {
            EXPECT_THAT(warnings, ElementsAre());
            std::vector<std::string> names;
            for (const TPlayerStatistics& player : THistoryReader(path).Standings({}))
                names.push_back(player.Name);
            EXPECT_THAT(names, ElementsAreArray(c.names));
            EXPECT_EQ(status, 0);
            continue;
        }
        EXPECT_THAT(warnings, ElementsAre("The match history " + path + " " + c.reason +
                                          " and was set aside as " + aside +
                                          ". Play goes on without a history."));
        EXPECT_THAT(FilesIn(dir), ElementsAre(fs::path(aside).filename().string()));
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err.str() + out.str(), "brennix-report: " + aside + ": " + c.reason + "\n");
        // Nothing recorded, nothing run, the file not brought up to date.
        EXPECT_THAT(SqliteRows(aside, "SELECT COUNT(*) FROM visits UNION ALL SELECT * FROM "
                                      "pragma_user_version"),
                    ElementsAre("0", std::to_string(c.version)));
    }
    MatchClock = [] { return std::chrono::system_clock::now(); };
    EXPECT_THAT([&] { THistoryReader(path, 0, {}, std::chrono::milliseconds(0)).Standings({}); },
                ThrowsMessage<EBrennixError>("reading the history took longer than 0 s and was "
                                             "stopped"));
}

// A player's figures in a match as the file keeps them are taken only when each is one a match
// can have; else the player is read without figures.
TEST_F(ForeignHistoryTest, FiguresNoMatchCanHaveAreLeftOut) {
    const std::string good = "3, 60, 3, 60, NULL, 0, 0, 0, 0, 0, 1, 0";
    struct TCase {
        std::string figures; // legs ... count_40 of Bob's row
        int64_t darts;       // Bob's darts as read
    } cases[] = {
        {"0, 0, NULL, " + good, 3},
        {"0, 0, 1, " + good, 3}, // a best leg of one dart: odd, but a figure
        {"-1, 0, NULL, " + good, 0},
        {"0, 0, NULL, 3, 60, 3, 60, NULL, 0, 0, 0, 0, 0, 1, -1", 0},
        {"0, 0, NULL, 2147483648, 60, 3, 60, NULL, 0, 0, 0, 0, 0, 1, 0", 0},
        {"0, 0, NULL, 'three', 60, 3, 60, NULL, 0, 0, 0, 0, 0, 1, 0", 0},
        {"0, 0, NULL, 3, 60, 3, 60, 2.5, 0, 0, 0, 0, 0, 1, 0", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.figures);
        fs::remove_all(dir);
        fs::create_directory(dir);
        sqlite3* db = nullptr;
        sqlite3_open(HistoryPath().c_str(), &db);
        RaiseHistoryLayout(db, 0, HistorySchemaVersion);
        ExecSql(db, ("INSERT INTO matches (id, started_at, game_type, game, match_format, format, "
                     "resumed) VALUES (1, '2026-12-07 19:00:00', 2, '', 2, '', 0); INSERT INTO "
                     "match_players VALUES (1, 1, 'Ann', 0, 0), (1, 2, 'Bob', 0, 0); INSERT INTO "
                     "player_figures VALUES (1, 1, 0, 0, NULL, " +
                     good + "), (1, 2, " + c.figures +
                     "); PRAGMA user_version = " + std::to_string(HistorySchemaVersion))
                        .c_str());
        sqlite3_close(db);
        const std::vector<TMatchSummary> matches = THistoryReader(HistoryPath()).Matches({});
        ASSERT_EQ(matches.size(), 1u);
        ASSERT_EQ(matches[0].Players.size(), 2u);
        EXPECT_EQ(matches[0].Players[0].Figures.Darts, 3);
        EXPECT_EQ(matches[0].Players[1].Figures.Darts, c.darts);
        EXPECT_EQ(matches[0].Players[1].Figures.Count60, c.darts ? 1 : 0);
    }
}

// A query that never ends by itself: destroying its thread stops it and waits for it (the test's
// own timeout is the bound).
TEST(QueryThreadTest, DestructionEndsAnEndlessQuery) {
    std::promise<void> started;
    std::atomic<bool> ended = false;
    {
        TQueryThread thread;
        thread.Post([&](const report::TQueryStop& stop) {
            sqlite3* db = nullptr;
            sqlite3_open(":memory:", &db);
            sqlite3_progress_handler(
                db, 1000,
                [](void* s) { return static_cast<const report::TQueryStop*>(s)->Raised() ? 1 : 0; },
                const_cast<report::TQueryStop*>(&stop));
            started.set_value();
            sqlite3_exec(db, (Endless + "SELECT COUNT(*) FROM n").c_str(), nullptr, nullptr,
                         nullptr);
            sqlite3_close(db);
            ended = true;
        });
        started.get_future().wait();
    }
    EXPECT_TRUE(ended);
}

} // namespace
} // namespace brennix::test
