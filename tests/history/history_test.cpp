// The match history: what the engine's play leaves in history.sqlite, loads that take a match
// up again, and a history that cannot be used.
#include "../storage/storage_fixture.h"

#include "engine/flow.h"
#include "engine/match_events.h"
#include "history/history_store.h"
#include "storage/autosave.h"
#include "storage/game_file.h"

#include <sqlite3.h>

namespace brennix::test {
namespace {

using ::testing::ElementsAre;

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
    void Open(const std::string& path) {
        store = std::make_unique<THistoryStore>(
            path, [this](const std::string& text) { warnings.push_back(text); }, 0);
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
    // Every row a query gives, its columns joined by "|", NULL as "-".
    std::vector<std::string> Rows(const std::string& sql, const std::string& path = "") const {
        sqlite3* db = nullptr;
        sqlite3_open_v2((path.empty() ? HistoryPath() : path).c_str(), &db, SQLITE_OPEN_READONLY,
                        nullptr);
        sqlite3_stmt* statement = nullptr;
        std::vector<std::string> rows;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            rows.push_back(std::string("error: ") + sqlite3_errmsg(db));
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                const auto* text = sqlite3_column_text(statement, c);
                row += (c ? "|" : "") +
                       (text ? std::string(reinterpret_cast<const char*>(text)) : std::string("-"));
            }
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
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
    EXPECT_THAT(Rows("SELECT * FROM saves"), ElementsAre(slot + "|1|4|2026-12-07 20:00:00"));
    Enter("180");      // visit 5: Jürgen 301 -> 121
    Enter("141", "2"); // visit 6: Ann checks out with 3 + 3 + 2 darts, after a save
    EXPECT_THAT(Rows("SELECT * FROM saves"), ElementsAre(slot + "|1|5|2026-12-07 20:00:00"));
    PlayLegs({1, 0});
    now = T1;
    PlayLeg(0); // the third leg of Ann's wins the set and the match

    EXPECT_THAT(Rows("SELECT * FROM matches"),
                ElementsAre("1|2026-12-07 20:00:00|2026-12-07 20:01:00|1|301 Double Out|3|"
                            "Best of 1 Set|1|0|won|1"));
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
    // The save before the last checkout holds the match up to Jürgen's last 0.
    EXPECT_THAT(Rows("SELECT * FROM saves"), ElementsAre(slot + "|1|15|2026-12-07 20:01:00"));
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
                ElementsAre("1|2026-12-07 20:00:00|-|5|301 Single Out|4|Best of 3 Sets|-|1|-|-"));
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
             sqlite3_exec(db, "PRAGMA user_version = 2", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         },
         path,
         "The match history " + path +
             " has a newer layout (version 2; this Brennix knows up to 1) and is left as it is. "
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

// A write that fails (a full disk) warns once and keeps what was there; play goes on.
TEST_F(HistoryTest, FailedWriteWarnsOnceAndKeepsEarlierRows) {
    Open();
    NewMatch(2, 2);
    Enter("60");
    {
        TFileSizeLimit limit(fs::file_size(HistoryPath() + "-wal"));
        for (int n = 0; n < 20; ++n)
            Enter("1");
    }
    EXPECT_FALSE(store->Recording());
    EXPECT_THAT(warnings, ElementsAre("The match history " + HistoryPath() +
                                      " could not be written (disk I/O error). Play "
                                      "goes on without a history."));
    EXPECT_EQ(Players[0].Remaining, 431);
    Close();
    EXPECT_THAT(Rows("SELECT id, score FROM visits"), ElementsAre("1|60"));
}

// "/nohistory" opens nothing; otherwise the file has the current layout in WAL mode, and a clean
// close leaves no log beside it.
TEST_F(HistoryTest, NoHistorySwitchAndCleanClose) {
    auto warn = [this](const std::string& text) { warnings.push_back(text); };
    EXPECT_EQ(StartHistory({"/safe", "/nohistory"}, warn), nullptr);
    EXPECT_THAT(FilesIn(dir), ElementsAre("save"));
    store = StartHistory({"/safe"}, warn);
    NewMatch(2, 2);
    Enter("60");
    Close();
    EXPECT_THAT(warnings, ElementsAre());
    EXPECT_THAT(FilesIn(dir), ElementsAre("history.sqlite", "save"));
    EXPECT_THAT(Rows("PRAGMA user_version"), ElementsAre("1"));
    EXPECT_THAT(Rows("PRAGMA journal_mode"), ElementsAre("wal"));
    EXPECT_THAT(Rows("SELECT player, score FROM visits"), ElementsAre("1|60"));
}

} // namespace
} // namespace brennix::test
