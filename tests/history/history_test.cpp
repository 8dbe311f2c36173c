// The match history: what the engine's play leaves in history.sqlite, loads that take a match
// up again, and a history that cannot be used.
#include "../storage/storage_fixture.h"
#include "sqlite_rows.h"

#include "engine/flow.h"
#include "engine/match_events.h"
#include "history/history_changes.h"
#include "history/history_store.h"
#include "history/statistics.h"
#include "storage/autosave.h"
#include "storage/game_file.h"

#include <iostream>
#include <sqlite3.h>
#include <sstream>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace brennix::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// 2026-12-07 20:00:00 UTC and a minute later.
constexpr std::chrono::seconds Evening{1796673600};
const TEventTime T0{Evening};
const TEventTime T1{Evening + std::chrono::minutes(1)};

class HistoryTest : public StorageTest {
  protected:
    TEventTime now = T0;
    std::vector<std::string> warnings;
    std::unique_ptr<THistoryStore> store;

    void SetUp() override {
        StorageTest::SetUp();
        MakeSaveFolder();
        ops.OnSave = [] { SaveGameFile(); }; // F5 and the save before a checkout write the file
        MatchClock = [this] { return now; };
    }
    void TearDown() override {
        Close();
        MatchClock = [] { return std::chrono::system_clock::now(); };
        StorageTest::TearDown();
    }
    void Open(const std::string& path, int64_t maxPages = 0) {
        store = std::make_unique<THistoryStore>(
            path, [this](const std::string& text) { warnings.push_back(text); }, 0, maxPages);
        AddMatchObserver(*store);
    }
    void Open() { Open(HistoryPath()); }
    void Close() { store.reset(); }
    // A fresh match as New Game gives it, the first player beginning.
    void NewMatch(int gameType, int matchFormat) {
        Settings.PlayerCount = 2;
        Settings.GameType = gameType;
        Settings.MatchFormat = matchFormat;
        Settings.PlayerNames[0] = "Ann &<>\"'";
        Settings.PlayerNames[1] = "J\xFCrgen"; // ISO 8859-1, as the game keeps it
        NewGame();
    }
    void Load(const std::string& path) {
        ops.OpenAnswer = path;
        LoadGameFile();
    }
    // Save As to a file of the test folder.
    void SaveAs(const std::string& name) {
        GameFileName = In(name);
        SaveGameFile();
    }
    // A small tmpfs at `at` when this process may mount one (root, and a mount not refused).
    static bool MountTmpfs(const fs::path& at, const char* options) {
        fs::create_directories(at);
        return ::getuid() == 0 && ::mount("tmpfs", at.c_str(), "tmpfs", 0, options) == 0;
    }
    // Every row a query gives, its columns joined by "|", NULL as "-".
    std::vector<std::string> Rows(const std::string& sql, const std::string& path = "") const {
        return SqliteRows(path.empty() ? HistoryPath() : path, sql);
    }
    // The players' figures made anew from the visits and legs the history holds now.
    static std::vector<std::string> FiguresFromVisits() {
        sqlite3* db = nullptr;
        sqlite3_open(HistoryPath().c_str(), &db);
        ExecSql(db,
                ("CREATE TEMP TABLE player_figures " + std::string(PlayerFiguresColumns)).c_str());
        MakePlayerFigures(db);
        std::vector<std::string> rows;
        sqlite3_exec(
            db, "SELECT * FROM temp.player_figures ORDER BY 1, 2",
            [](void* out, int count, char** values, char**) {
                std::string row;
                for (int c = 0; c < count; ++c)
                    row += (c ? "|" : "") + std::string(values[c] ? values[c] : "-");
                static_cast<std::vector<std::string>*>(out)->push_back(row);
                return 0;
            },
            &rows, nullptr);
        sqlite3_close(db);
        return rows;
    }
};

// One match of 301 in one set: a bust typed as 0, an Undo, F5, the save before each possible
// checkout, four legs and the match won, every row as worked out by hand.
TEST_F(HistoryTest, ScriptedMatchLeavesExactlyItsRows) {
    Open();
    NewMatch(1, 3);
    Enter("100"); // visit 1: Ann 301 -> 201
    Enter("0");   // visit 2: Jürgen's bust, typed as 0
    Enter("140"); // visit 3, taken back at once
    UndoVisit();  // ... and its row with it
    Enter("60");  // visit 4: Ann 201 -> 141
    BookVisit(TKey::F5);
    const std::string slot = SlotPath(100);
    const std::string saves = "SELECT path, match_id, last_visit, held_visits, saved_at FROM "
                              "saves ORDER BY last_visit DESC LIMIT 1";
    EXPECT_THAT(Rows(saves), ElementsAre(slot + "|1|4|[[1,2],[4,4]]|2026-12-07 20:00:00"));
    Enter("180");      // visit 5: Jürgen 301 -> 121
    Enter("141", "2"); // visit 6: Ann checks out with 3 + 3 + 2 darts, after a save
    EXPECT_THAT(Rows(saves), ElementsAre(slot + "|1|5|[[1,2],[4,5]]|2026-12-07 20:00:00"));
    PlayLegs({1, 0});
    now = T1;
    PlayLeg(0); // the third leg of Ann's wins the set and the match

    EXPECT_THAT(Rows("SELECT * FROM matches"),
                ElementsAre("1|2026-12-07 20:00:00|2026-12-07 20:01:00|1|301 Double Out|3|"
                            "Best of 1 Set|1|0|won|1|27"));
    EXPECT_THAT(Rows("SELECT * FROM match_players"),
                ElementsAre("1|1|Ann &<>\"'|1|3", "1|2|J\xC3\xBCrgen|0|1"));
    EXPECT_THAT(Rows("SELECT * FROM legs"),
                ElementsAre("1|1|1|1|1|1|8", "2|1|1|2|2|2|6", "3|1|1|3|1|1|6", "4|1|1|4|2|1|6"));
    EXPECT_THAT(Rows("SELECT * FROM visits WHERE leg_id = 1"),
                ElementsAre("1|1|1|1|100|3|301|0|2026-12-07 20:00:00",
                            "2|1|1|2|0|3|301|0|2026-12-07 20:00:00",
                            "4|1|1|1|60|3|201|0|2026-12-07 20:00:00",
                            "5|1|1|2|180|3|301|0|2026-12-07 20:00:00",
                            "6|1|1|1|141|2|141|1|2026-12-07 20:00:00"));
    // Legs 2-4: 180 and 121 for the winner, 0 for the other, the loser of leg 4 beginning it.
    EXPECT_THAT(
        Rows("SELECT player, COUNT(*), SUM(score), SUM(darts), SUM(won_leg), MAX(at) "
             "FROM visits GROUP BY player"),
        ElementsAre("1|8|903|23|3|2026-12-07 20:01:00", "2|7|481|21|1|2026-12-07 20:01:00"));
    // Legs, won, best; darts, points, first nine; highest checkout, chances, checkouts; 180s,
    // 140+, 100+, 60+, 40+. The 140 taken back is in none of them; 141 and 121 are chances.
    EXPECT_THAT(Rows("SELECT * FROM player_figures"),
                ElementsAre("1|1|4|3|6|23|903|23|903|141|3|3|2|1|3|1|0",
                            "1|2|4|1|6|21|481|21|481|121|1|1|2|0|1|0|0"));
    // The save before the last checkout holds the match up to Jürgen's last 0.
    EXPECT_THAT(Rows(saves), ElementsAre(slot + "|1|15|[[1,2],[4,15]]|2026-12-07 20:01:00"));
    EXPECT_TRUE(warnings.empty());
}

// Play, save, play on, a kill, a fresh start, the save loaded, play on to the end: the visits
// after the save are gone, and the match is one match with each visit once.
TEST_F(HistoryTest, LoadingASaveTakesItsMatchUpAgainFromThatPoint) {
    Open();
    NewMatch(2, 2);
    Enter("100");
    Enter("60");
    BookVisit(TKey::F5); // holds visits 1 and 2
    Enter("45");
    Enter("26");
    Close(); // killed: nothing else happens
    Open();
    NewMatch(2, 2); // the next start's match, which never gets a row of its own
    Load(SlotPath(100));
    EXPECT_THAT(Rows("SELECT id, score FROM visits"), ElementsAre("1|100", "2|60"));
    EXPECT_THAT(Rows("SELECT ended_at, end_reason FROM matches"), ElementsAre("-|-"));
    Enter("81");
    PlayLeg(0);
    EXPECT_THAT(Rows("SELECT match_id, score, remaining_before, won_leg FROM visits"),
                ElementsAre("1|100|501|0", "1|60|501|0", "1|81|401|0", "1|0|441|0", "1|180|320|0",
                            "1|0|441|0", "1|140|140|1"));
    EXPECT_THAT(Rows("SELECT id, resumed, end_reason, winner FROM matches"),
                ElementsAre("1|0|won|1"));
    EXPECT_THAT(Rows("SELECT winner, winner_darts FROM legs"), ElementsAre("1|12"));
    // The save before that checkout takes the won match back to before it.
    Load(SlotPath(100));
    EXPECT_THAT(Rows("SELECT MAX(id), COUNT(*) FROM visits"),
                ElementsAre("8|6")); // 3 and 4 never come back
    EXPECT_THAT(Rows("SELECT end_reason, winner FROM matches"), ElementsAre("-|-"));
    EXPECT_THAT(Rows("SELECT winner, winner_darts FROM legs"), ElementsAre("-|-"));
    EXPECT_THAT(Rows("SELECT sets, legs FROM match_players"), ElementsAre("-|-", "-|-"));
}

// After any sequence of play, Undo, saves and loads, a match's visits are exactly those of the
// loaded position plus those booked after it, each once. Steps: a number is a visit (ids count
// from 1 in booking order), "u" Undo, "sA" Save As A, "lA" loading A, "cBA" B copied over A,
// "xA" A saved with no history listening (a file made elsewhere), "k" a kill and a fresh start.
TEST_F(HistoryTest, SavesAndLoadsInAnyOrderKeepEachVisitOnce) {
    struct TCase {
        int matchFormat;
        std::string steps;
        std::vector<std::string> visits;  // match_id|id|score
        std::vector<std::string> matches; // id|resumed|end_reason|winner
    } cases[] = {
        // The visit taken back after the save comes back with it.
        {3, "60 40 sA u 20 30 lA", {"1|1|60", "1|2|40"}, {"1|0|-|-"}},
        // The newer save after an older one was loaded and played on from.
        {3, "60 sA 40 20 sB lA 30 lB", {"1|1|60", "1|2|40", "1|3|20"}, {"1|0|-|-"}},
        {3, "60 sA 40 sB 20 sC lA 30 lC lB", {"1|1|60", "1|2|40"}, {"1|0|-|-"}},
        // The same save twice, an Undo between: what was taken back and what was cut return.
        {3, "60 40 sA 20 lA u 50 lA", {"1|1|60", "1|2|40"}, {"1|0|-|-"}},
        // A copy is known by its content, at any path: no cut when B lies at A's path.
        {3, "60 sA 40 20 sB cBA lA", {"1|1|60", "1|2|40", "1|3|20"}, {"1|0|-|-"}},
        {3, "60 sB 40 cBA lA 20", {"1|1|60", "1|3|20"}, {"1|0|-|-"}},
        // A file the history never saw over a known path: a new resumed match, nothing cut.
        {3,
         "60 40 sA 20 xX cXA lA 30",
         {"1|1|60", "1|2|40", "1|3|20", "2|4|30"},
         {"1|0|game loaded|-", "2|1|-|-"}},
        // A won leg cut and brought back: its winner with it.
        {3, "180 60 sA 121 sB lA lB", {"1|1|180", "1|2|60", "1|3|121"}, {"1|0|-|-"}},
        // A kill, a fresh start, the save loaded: one match.
        {3, "60 sA 40 20 k lA 30", {"1|1|60", "1|4|30"}, {"1|0|-|-"}},
        // A won match reopened by the save before its checkout, then won again.
        {2, "180 60 sA 121 lA 121", {"1|1|180", "1|2|60", "1|4|121"}, {"1|0|won|1"}},
        {2, "180 60 sA 121 lA", {"1|1|180", "1|2|60"}, {"1|0|-|-"}},
        // A 0 of the last leg taken back after the leg: the leg's checkout stays.
        {3, "180 180 0 121 u sA 60 lA", {"1|1|180", "1|2|180", "1|4|121"}, {"1|0|-|-"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.steps);
        fs::remove_all(dir);
        fs::create_directory(dir);
        MakeSaveFolder();
        Open();
        NewMatch(1, c.matchFormat);
        std::istringstream steps(c.steps);
        for (std::string step; steps >> step;) {
            const std::string a = step.size() > 1 ? In(step.substr(1, 1)) : "";
            if (step == "u")
                UndoVisit();
            else if (step == "k") {
                Close();
                Open();
                NewGame();
            } else if (step[0] == 's')
                SaveAs(step.substr(1));
            else if (step[0] == 'l')
                Load(a);
            else if (step[0] == 'c')
                fs::copy_file(a, In(step.substr(2)), fs::copy_options::overwrite_existing);
            else if (step[0] == 'x') {
                RemoveMatchObserver(*store);
                SaveAs(step.substr(1));
                AddMatchObserver(*store);
            } else
                Enter(step);
        }
        EXPECT_THAT(Rows("SELECT match_id, id, score FROM visits ORDER BY id"),
                    ElementsAreArray(c.visits));
        EXPECT_THAT(Rows("SELECT id, resumed, end_reason, winner FROM matches"),
                    ElementsAreArray(c.matches));
        // Every leg row has a visit, and a winner exactly when its winning visit is recorded, with
        // the darts the winner threw in it.
        EXPECT_THAT(Rows("SELECT COUNT(*) FROM legs WHERE NOT EXISTS (SELECT 1 FROM visits WHERE "
                         "leg_id = legs.id) OR (winner IS NULL) = EXISTS (SELECT 1 FROM visits "
                         "WHERE leg_id = legs.id AND won_leg = 1) OR winner_darts IS NOT (SELECT "
                         "SUM(darts) FROM visits WHERE leg_id = legs.id AND player = winner)"),
                    ElementsAre("0"));
        // The figures kept with each change are those the visits and legs give now.
        EXPECT_EQ(Rows("SELECT * FROM player_figures ORDER BY 1, 2"), FiguresFromVisits());
        Close();
    }
}

// A history of the first layout is brought to the second in place: its rows kept, a save whose
// file is still there known by that file's content, one whose file is gone dropped.
TEST_F(HistoryTest, FirstLayoutIsMigratedWithItsRows) {
    NewMatch(2, 2);
    Enter("60");
    SaveAs("kept.bx3");
    {
        sqlite3* db = nullptr;
        sqlite3_open(HistoryPath().c_str(), &db);
        sqlite3_exec(db, HistoryLayout1, nullptr, nullptr, nullptr);
        const std::string rows =
            "PRAGMA user_version = 1;"
            "INSERT INTO matches VALUES (1, '2026-12-06 20:00:00', NULL, 2, '501 Double Out', 2, "
            "'Best of 1 Leg', 1, 0, NULL, NULL);"
            "INSERT INTO match_players VALUES (1, 1, 'Ann', NULL, NULL), (1, 2, 'Bob', NULL, "
            "NULL);"
            "INSERT INTO legs VALUES (1, 1, 1, 1, 1, NULL, NULL);"
            "INSERT INTO visits VALUES (1, 1, 1, 1, 60, 3, 501, 0, '2026-12-06 20:00:00'), "
            "(4, 1, 1, 2, 0, 3, 501, 0, '2026-12-06 20:01:00');"
            "INSERT INTO saves VALUES ('" +
            In("kept.bx3") + "', 1, 3, '2026-12-06 20:00:30'), ('" + In("gone.bx3") +
            "', 1, 4, '2026-12-06 20:01:30');";
        sqlite3_exec(db, rows.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    Open();
    EXPECT_THAT(Rows("PRAGMA user_version"), ElementsAre("5"));
    EXPECT_THAT(Rows("SELECT path, match_id, last_visit, held_visits, saved_at FROM saves"),
                ElementsAre(In("kept.bx3") + "|1|3|[[0,3]]|2026-12-06 20:00:30"));
    // The players' figures made for the matches there: no leg finished, a 60 and a 0.
    EXPECT_THAT(
        Rows("SELECT * FROM player_figures"),
        ElementsAre("1|1|0|0|-|3|60|3|60|-|0|0|0|0|0|1|0", "1|2|0|0|-|3|0|3|0|-|0|0|0|0|0|0|0"));
    Load(In("kept.bx3")); // visit 4 lies beyond the save
    Enter("45");
    EXPECT_THAT(Rows("SELECT * FROM visits"),
                ElementsAre("1|1|1|1|60|3|501|0|2026-12-06 20:00:00",
                            "5|1|1|2|45|3|501|0|2026-12-07 20:00:00"));
    EXPECT_THAT(Rows("SELECT * FROM match_players"), ElementsAre("1|1|Ann|-|-", "1|2|Bob|-|-"));
    // The match carried over has its id as its revision; the load and the visit raised it.
    EXPECT_THAT(Rows("SELECT id, started_at, end_reason, revision FROM matches"),
                ElementsAre("1|2026-12-06 20:00:00|-|3"));
}

// A history of the second layout: every match gets its id as its revision, in the same order
// as recorded, whatever ids are missing.
TEST_F(HistoryTest, SecondLayoutGetsRevisionsByRecordingOrder) {
    {
        sqlite3* db = nullptr;
        sqlite3_open(HistoryPath().c_str(), &db);
        RaiseHistoryLayout(db, 0, 2);
        sqlite3_exec(db,
                     "PRAGMA user_version = 2;"
                     "INSERT INTO matches VALUES (2, '2026-12-06 20:00:00', NULL, 2, '501 Double "
                     "Out', 2, 'Best of 1 Leg', 1, 0, 'exit', NULL), (5, '2026-12-06 21:00:00', "
                     "NULL, 2, '501 Double Out', 2, 'Best of 1 Leg', 1, 0, NULL, NULL);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    Open();
    EXPECT_THAT(Rows("PRAGMA user_version"), ElementsAre("5"));
    EXPECT_THAT(Rows("SELECT id, revision FROM matches"), ElementsAre("2|2", "5|5"));
    EXPECT_THAT(Rows("SELECT name FROM pragma_index_list('matches')"),
                ElementsAre("matches_by_revision"));
    NewMatch(2, 2);
    Enter("60"); // a new match 6, one past the highest revision
    EXPECT_THAT(Rows("SELECT id, revision FROM matches"), ElementsAre("2|2", "5|5", "6|6"));
}

// Every change to a match gives that match the highest revision of all plus one, in the change's
// own transaction: its first visit, a visit, Undo, a won leg, a save, a New Game abandoning it,
// a load taking it up again; the other match keeps its revision.
TEST_F(HistoryTest, EveryChangeRaisesItsMatchsRevision) {
    Open();
    NewMatch(1, 3);
    const std::string revisions = "SELECT id, revision FROM matches ORDER BY id";
    struct TStep {
        std::function<void()> act;
        std::vector<std::string> revisions;
    } steps[] = {
        {[&] { Enter("180"); }, {"1|1"}},
        {[&] { Enter("0"); }, {"1|2"}},
        {[&] { UndoVisit(); }, {"1|3"}},
        {[&] { SaveAs("a"); }, {"1|4"}},
        {[&] { Enter("60"); }, {"1|5"}},
        {[&] { Enter("121"); }, {"1|8"}}, // the save before a checkout, the visit, the won leg
        {[&] { NewGame(); }, {"1|9"}},
        {[&] { Enter("60"); }, {"1|9", "2|10"}},
        {[&] { Load(In("a")); }, {"1|12", "2|11"}}, // match 2 abandoned, then match 1 taken up
    };
    for (const TStep& step : steps) {
        step.act();
        EXPECT_THAT(Rows(revisions), ElementsAreArray(step.revisions));
    }
    EXPECT_TRUE(warnings.empty());
}

// What a copy of the history reads: the matches changed above a revision (one that is no number
// reads as 0, never an error), and a match whole, each value as the history's text, NULL as none.
TEST_F(HistoryTest, ChangesReadMatchesAsTheHistoryHoldsThem) {
    Open();
    NewMatch(1, 3);
    Enter("100");
    Enter("0");
    NewGame(); // match 1 abandoned at revision 3
    Enter("60");
    sqlite3* db = nullptr;
    sqlite3_open(HistoryPath().c_str(), &db);
    sqlite3_exec(db, "UPDATE matches SET revision = 'x' WHERE id = 2", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    THistoryChanges changes(HistoryPath());
    const std::pair<int64_t, std::vector<std::string>> cases[] = {
        {INT64_MIN, {"1|3", "2|0"}}, {0, {"1|3"}}, {3, {}}};
    for (const auto& [above, expected] : cases) {
        std::vector<std::string> read;
        for (const auto& [match, revision] : changes.Revisions(above))
            read.push_back(std::to_string(match) + "|" + std::to_string(revision));
        EXPECT_THAT(read, ElementsAreArray(expected)) << above;
    }
    const std::optional<THistoryMatch> match = changes.Match(1);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->Revision, 3);
    EXPECT_EQ(match->StartedAt, "2026-12-07 20:00:00");
    EXPECT_EQ(match->EndReason, "new game");
    EXPECT_EQ(match->Winner, std::nullopt);
    ASSERT_EQ(match->Players.size(), 2u);
    EXPECT_EQ(match->Players[1].Name, "J\xC3\xBCrgen");
    ASSERT_EQ(match->Visits.size(), 2u);
    EXPECT_EQ(match->Visits[1].Score, "0");
    EXPECT_EQ(changes.Match(9), std::nullopt);
}

// A game file the history has never seen starts a new match marked as resumed, with what the
// file says and no starter; loading it again takes that match up from the file's point.
TEST_F(HistoryTest, UnknownGameFileStartsAResumedMatch) {
    NewMatch(5, 4); // 301 single out, best of 3 sets, played without a history
    PlayLeg(0);
    Enter("60");
    SaveGameFile();
    Open();
    NewGame();
    Load(SlotPath(100));
    Enter("20"); // Ann in set 1, leg 2, which Jürgen began
    EXPECT_THAT(Rows("SELECT * FROM matches"),
                ElementsAre("1|2026-12-07 20:00:00|-|5|301 Single Out|4|Best of 3 Sets|-|1|-|-|2"));
    EXPECT_THAT(Rows("SELECT player, score, remaining_before, set_no, leg_no, starter FROM visits "
                     "JOIN legs ON legs.id = leg_id"),
                ElementsAre("1|20|301|1|2|2"));
    UndoVisit(); // the leg's only visit, and the leg with it
    EXPECT_THAT(Rows("SELECT COUNT(*) FROM legs"), ElementsAre("0"));
    Enter("30");
    Load(SlotPath(100));
    EXPECT_THAT(Rows("SELECT COUNT(*) FROM visits UNION ALL SELECT COUNT(*) FROM legs"),
                ElementsAre("0", "0"));
    EXPECT_THAT(Rows("SELECT id, end_reason FROM matches"), ElementsAre("1|-"));
}

// New Game, changed settings and the exit end a match as abandoned; a match that never had a
// visit or a save leaves no row.
TEST_F(HistoryTest, MatchesEndedBeforeTheirEndAreAbandoned) {
    Open();
    NewMatch(2, 2);
    Enter("60");
    NewGame();
    NewGame();
    Enter("60");
    ops.SettingsOk = true;
    ChangeSettings();
    Enter("60");
    now = T1;
    ExitCleanup();
    EXPECT_THAT(Rows("SELECT id, ended_at, end_reason FROM matches"),
                ElementsAre("1|2026-12-07 20:00:00|new game",
                            "2|2026-12-07 20:00:00|settings changed",
                            "3|2026-12-07 20:01:00|exit"));
}

// A history that cannot be used: one warning naming the file and the reason, nothing recorded,
// play going on, and a damaged file set aside unchanged under a new name.
TEST_F(HistoryTest, UnusableHistoryWarnsOnceAndPlayGoesOn) {
    const std::string path = HistoryPath();
    const std::vector<uint8_t> garbage(4096, 0xA5);
    struct TCase {
        std::function<void()> prepare;
        std::string file;
        std::string warning;
        std::vector<std::string> left;
    } cases[] = {
        {[&] { WriteBytes(path, garbage); },
         path,
         "The match history " + path +
             " is damaged (file is not a database) and was set aside as " + path +
             ".damaged-20261207-200000. Play goes on without a history.",
         {"history.sqlite.damaged-20261207-200000", "save"}},
        {[&] {
             sqlite3* db = nullptr;
             sqlite3_open(path.c_str(), &db);
             sqlite3_exec(db, "PRAGMA user_version = 6", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         },
         path,
         "The match history " + path +
             " has a newer layout (version 6; this Brennix knows up to 5) and is left as it is. "
             "Play goes on without a history.",
         {"history.sqlite", "save"}},
        {[] {},
         In("missing/history.sqlite"),
         "The match history " + In("missing/history.sqlite") +
             " cannot be opened (unable to open database file). Play goes on without a history.",
         {"save"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.warning);
        fs::remove(path);
        c.prepare();
        warnings.clear();
        Open(c.file);
        NewMatch(2, 2);
        Enter("60");
        BookVisit(TKey::F5);
        EXPECT_FALSE(store->Recording());
        EXPECT_THAT(warnings, ElementsAre(c.warning));
        EXPECT_EQ(Players[0].Remaining, 441);
        EXPECT_EQ(FilesIn(dir), c.left);
        Close();
        for (const std::string& name : FilesIn(dir))
            if (name.starts_with("history.sqlite.damaged")) {
                EXPECT_EQ(ReadBytes(In(name)), garbage);
            }
        for (const std::string& name : FilesIn(dir))
            if (name != "save") fs::remove(dir / name);
    }
}

// A full disk: one warning, play goes on, the change that met it rolled back whole, the rows
// before it intact. On a real small tmpfs when this process may mount one, else at SQLite's own
// page limit, which meets the same SQLITE_FULL.
TEST_F(HistoryTest, FullDiskWarnsOnceAndKeepsEarlierRows) {
    const fs::path small = dir / "small";
    const bool tmpfs = MountTmpfs(small, "size=160k");
    RecordProperty("full_disk", tmpfs ? "tmpfs" : "max_page_count");
    std::cout << "full disk: " << (tmpfs ? "a 160 KiB tmpfs" : "PRAGMA max_page_count") << "\n";
    const std::string path = (small / "history.sqlite").string();
    Open(path, tmpfs ? 0 : 10); // a new file has 10 pages, the visits' first one among them
    NewMatch(2, 3);
    int booked = 0;
    while (warnings.empty() && booked < 400) {
        Enter("1");
        ++booked;
    }
    Enter("2"); // play goes on, with no second warning
    EXPECT_THAT(warnings, ElementsAre("The match history " + path +
                                      " could not be written (database or disk is full). Play "
                                      "goes on without a history."));
    EXPECT_EQ(Players[0].Points + Players[1].Points, booked + 2);
    Close();
    EXPECT_THAT(Rows("SELECT COUNT(*), MAX(id), SUM(score) FROM visits", path),
                ElementsAre(std::to_string(booked - 1) + "|" + std::to_string(booked - 1) + "|" +
                            std::to_string(booked - 1)));
    EXPECT_THAT(
        Rows("SELECT COUNT(*) FROM legs UNION ALL SELECT * FROM pragma_integrity_check", path),
        ElementsAre("1", "ok"));
    if (tmpfs) ::umount(small.c_str());
}

// A data folder that cannot be written (a read-only mount, or no write permission) keeps the
// history there as it is: one warning, play goes on, the rows untouched.
TEST_F(HistoryTest, ReadOnlyDataFolderWarnsOnceAndKeepsTheHistory) {
    const fs::path folder = dir / "readonly";
    const bool tmpfs = MountTmpfs(folder, "size=1m");
    const std::string path = (folder / "history.sqlite").string();
    Open(path);
    NewMatch(2, 2);
    Enter("60");
    Close();
    const std::vector<uint8_t> before = ReadBytes(path);
    if (tmpfs)
        ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    else
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    Open(path);
    NewMatch(2, 2);
    Enter("45");
    EXPECT_FALSE(store->Recording());
    // A read-only mount refuses the file itself; a folder without write permission the log.
    EXPECT_THAT(warnings, ElementsAre("The match history " + path + " cannot be opened (" +
                                      (tmpfs ? "unable to open database file"
                                             : "attempt to write a readonly database") +
                                      "). Play goes on without a history."));
    EXPECT_EQ(Players[0].Remaining, 456);
    Close();
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_THAT(FilesIn(folder), ElementsAre("history.sqlite"));
    if (tmpfs) ::umount(folder.c_str());
}

// "/nohistory" opens nothing; otherwise the file has the current layout in WAL mode, and a clean
// close leaves no log beside it.
// Written on the store's own thread: Enter hands its visit over and returns; the next change is
// handed over only once the one before it is written (a kill loses at most the visit being
// booked); the program's readers wait until what it told is written. Another connection holding
// the file makes a write wait.
TEST_F(HistoryTest, WritingOnItsThreadKeepsTheOrderAndReadersSeeEveryChange) {
    store = std::make_unique<THistoryStore>(
        HistoryPath(), [this](const std::string& text) { warnings.push_back(text); }, 5000);
    store->WriteOnThread();
    AddMatchObserver(*store);
    NewMatch(2, 2);
    Enter("60");
    ASSERT_TRUE(store->Recording());
    sqlite3* other = nullptr;
    sqlite3_open(HistoryPath().c_str(), &other);
    sqlite3_busy_timeout(other, 5000);
    auto holdThenRelease = [&] {
        ExecSql(other, "BEGIN IMMEDIATE");
        return std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ExecSql(other, "COMMIT");
        });
    };
    std::thread release = holdThenRelease();
    Enter("45"); // Jürgen's, waiting for the file
    EXPECT_THAT(Rows("SELECT COUNT(*) FROM visits"), ElementsAre("1"));
    Enter("100"); // Ann's: handed over once Jürgen's is written
    EXPECT_GE(std::stoi(Rows("SELECT COUNT(*) FROM visits").at(0)), 2);
    release.join();
    release = holdThenRelease();
    Enter("26");
    const std::vector<TMatchSummary> read = THistoryReader(HistoryPath()).Matches({});
    release.join();
    sqlite3_close(other);
    ASSERT_EQ(read.size(), 1u);
    ASSERT_EQ(read[0].Players.size(), 2u);
    EXPECT_EQ(read[0].Players[0].Figures.Points, 160);
    EXPECT_EQ(read[0].Players[1].Figures.Points, 71);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(HistoryTest, NoHistorySwitchAndCleanClose) {
    auto warn = [this](const std::string& text) { warnings.push_back(text); };
    EXPECT_EQ(StartHistory(ReadRunOptions({"/safe", "/nohistory"}), warn), nullptr);
    EXPECT_THAT(FilesIn(dir), ElementsAre("save"));
    store = StartHistory(ReadRunOptions({"/safe"}), warn);
    NewMatch(2, 2);
    Enter("60");
    Close();
    EXPECT_THAT(warnings, ElementsAre());
    EXPECT_THAT(FilesIn(dir), ElementsAre("history.sqlite", "save"));
    EXPECT_THAT(Rows("PRAGMA user_version"), ElementsAre("5"));
    EXPECT_THAT(Rows("PRAGMA journal_mode"), ElementsAre("wal"));
    EXPECT_THAT(Rows("SELECT player, score FROM visits"), ElementsAre("1|60"));
}

} // namespace
} // namespace brennix::test
