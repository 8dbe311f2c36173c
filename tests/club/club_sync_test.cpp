// The club's copy of a board's history, against a real PostgreSQL 15 of the test's own: after
// any sequence of play, Undo, loads, outages, interrupted pushes and restarts the club's rows for
// the board equal its history; what the operator is told, once; a hung server that never holds
// anything up; a newer club layout refused.
#include "../history/sqlite_rows.h"
#include "../storage/storage_fixture.h"
#include "test_postgres.h"

#include "club/club_schema.h"
#include "club/club_sync.h"
#include "club/pg.h"
#include "engine/errors.h"
#include "engine/flow.h"
#include "engine/match_events.h"
#include "history/history_store.h"
#include "storage/autosave.h"
#include "storage/game_file.h"

#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sqlite3.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace brennix::test {
namespace {

using club::TClubSync;
using ::testing::ElementsAre;

class ClubSyncTest : public StorageTest {
  protected:
    static inline TTestPostgres* server = nullptr;
    std::unique_ptr<THistoryStore> store;
    std::unique_ptr<TClubSync> sync;
    std::mutex mutex;
    std::vector<std::string> notes; // the short notes as the worker gives them, under mutex

    static void SetUpTestSuite() { server = new TTestPostgres(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        StorageTest::SetUp();
        MakeSaveFolder();
        ClubScript("DROP SCHEMA IF EXISTS brennix CASCADE");
    }
    void TearDown() override {
        sync.reset();
        store.reset();
        StorageTest::TearDown();
    }

    static void ClubScript(const std::string& sql) {
        club::TConnection db(server->Url());
        db.Script("SET client_min_messages = warning");
        db.Script(sql);
    }
    // A worker destroyed is a killed one unless a finish is given.
    static TClubSync::TOptions Quick(int waitSeconds = 5, int finishMilliseconds = 0) {
        TClubSync::TOptions options;
        options.Poll = std::chrono::milliseconds(10);
        options.Heartbeat = std::chrono::hours(1);
        options.FirstBackoff = std::chrono::milliseconds(10);
        options.LastBackoff = std::chrono::milliseconds(80);
        options.WaitSeconds = waitSeconds;
        options.FinishWait = std::chrono::milliseconds(finishMilliseconds);
        return options;
    }
    void StartSync(const std::string& url, TClubSync::TOptions options = Quick()) {
        sync = std::make_unique<TClubSync>(
            club::TClubPlace{url, "board &<>\"'"}, HistoryPath(),
            [this](const club::TSyncStatus& status) {
                const std::lock_guard lock(mutex);
                notes.push_back(club::StatusNoteOf(status).Text);
            },
            options);
    }
    void OpenStore() {
        store = std::make_unique<THistoryStore>(HistoryPath(), [](const std::string&) {});
        AddMatchObserver(*store);
    }
    std::vector<std::string> Notes() {
        const std::lock_guard lock(mutex);
        return notes;
    }
    // How often the notes went from something else to the server being away.
    size_t Absences() {
        size_t count = 0;
        bool away = false;
        for (const std::string& note : Notes()) {
            const bool now = note.starts_with("Club: server away");
            count += now && !away;
            away = now;
        }
        return count;
    }
    // Polls a condition for at most 60 seconds.
    static bool WaitFor(const std::function<bool()>& condition) {
        for (int i = 0; i < 6000; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }
    // The club holds every revision the history has.
    bool InStep() {
        const std::vector<std::string> newest =
            Local("SELECT IFNULL(MAX(revision), 0) FROM matches");
        const club::TSyncStatus status = sync->Status();
        return status.Reached && status.Known && status.Waiting == 0 &&
               status.InStepUpTo >= std::stoll(newest[0]);
    }

    // The board's rows, table by table, in one form for both sides: columns joined by "|",
    // NULL as "-", truth as 0 and 1.
    static constexpr const char* Tables[] = {
        "matches: match_id, revision, started_at, ended_at, game_type, game, match_format, "
        "format, starter, resumed, end_reason, winner",
        "match_players: match_id, player, name, sets, legs",
        "legs: match_id, leg_id, set_no, leg_no, starter, winner, winner_darts",
        "visits: match_id, visit_id, leg_id, player, score, darts, remaining_before, won_leg, at"};
    std::vector<std::string> Local(const std::string& sql) const {
        return SqliteRows(HistoryPath(), sql);
    }
    static std::vector<std::string> Remote(const std::string& sql,
                                           const std::vector<club::TParam>& params = {}) {
        std::vector<std::string> rows;
        club::TConnection db(server->Url());
        std::optional<club::TResult> found;
        try {
            found.emplace(db.Run(sql, params));
        } catch (const EBrennixError& error) {
            return {std::string("error: ") + error.what()};
        }
        const club::TResult& result = *found;
        for (int r = 0; r < result.Rows(); ++r) {
            std::string row;
            for (int c = 0; c < result.Columns(); ++c)
                row += (c ? "|" : "") + (result.IsNull(r, c) ? "-" : result.Text(r, c));
            rows.push_back(row);
        }
        return rows;
    }
    std::vector<std::string> LocalRows() const {
        std::vector<std::string> rows;
        for (std::string table : Tables) {
            const std::string name = table.substr(0, table.find(':'));
            std::string columns = table.substr(name.size() + 2);
            // The history names a row's own number "id".
            if (name != "matches") columns.replace(0, 8, "match_id");
            if (name == "matches") columns.replace(0, 8, "id");
            if (name == "legs") columns.replace(columns.find("leg_id"), 6, "id");
            if (name == "visits") columns.replace(columns.find("visit_id"), 8, "id");
            for (const std::string& row :
                 Local("SELECT " + columns + " FROM " + name + " ORDER BY 1, 2"))
                rows.push_back(name + ": " + row);
        }
        return rows;
    }
    static std::vector<std::string> ClubRows(const std::string& board = "board &<>\"'") {
        std::vector<std::string> rows;
        for (std::string table : Tables) {
            const std::string name = table.substr(0, table.find(':'));
            std::string columns = table.substr(name.size() + 2);
            for (const char* truth : {"resumed", "won_leg"})
                if (const size_t at = columns.find(truth); at != std::string::npos)
                    columns.replace(at, std::strlen(truth), std::string(truth) + "::int");
            for (const std::string& row :
                 Remote("SELECT " + columns + " FROM brennix." + name +
                            " WHERE board = $1 OR board IN (SELECT board FROM "
                            "brennix.boards WHERE name = $1) ORDER BY 1, 2",
                        {board}))
                rows.push_back(name + ": " + row);
        }
        return rows;
    }
    static void LocalScript(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open(HistoryPath().c_str(), &db);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    // A fresh match as New Game gives it, the first player beginning.
    void NewMatch(int matchFormat) {
        Settings.PlayerCount = 2;
        Settings.GameType = 1;
        Settings.MatchFormat = matchFormat;
        Settings.PlayerNames[0] = "Ann &<>\"'";
        Settings.PlayerNames[1] = "J\xDCRGEN"; // ISO 8859-1, as the game keeps it
        NewGame();
    }
};

// Steps: a number is a visit, "u" Undo, "sA" Save As A, "lA" loading A, "n" New Game, "k" a kill
// of the board and a fresh start, "S" the server stopped, "T" started, "D" the worker found it
// down, "W" the club in step, "x" the worker destroyed (a kill of the sync) and started anew,
// "F" the next push cut off inside its transaction, after the match's row and the deletes.
// Whatever came before, once the worker has caught up the club holds the board's history.
TEST_F(ClubSyncTest, ClubRowsEqualTheHistoryAfterAnySequence) {
    const std::string cases[] = {
        "60 40 W u 20 sA 30 W lA 45",
        "180 W S 60 D sA 121 n 45 T lA 20",
        "60 W F 40 20 u 180",
        "60 sA 40 x 20 x lA 30 W x 45 x",
        "180 sA 180 S 60 D k lA 45 D T 121 u 0 x",
        "60 40 n 100 n 20 W S 45 D x 60 D T",
    };
    for (const std::string& steps : cases) {
        SCOPED_TRACE(steps);
        fs::remove_all(dir);
        fs::create_directory(dir);
        MakeSaveFolder();
        ClubScript("DROP SCHEMA IF EXISTS brennix CASCADE; DROP SEQUENCE IF EXISTS kills");
        notes.clear();
        OpenStore();
        StartSync(server->Url());
        NewMatch(3);
        size_t outages = 0;
        bool up = true;
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            if (step == "u")
                UndoVisit();
            else if (step == "n")
                NewGame();
            else if (step == "k") {
                sync.reset();
                store.reset();
                OpenStore();
                StartSync(server->Url());
                NewGame();
            } else if (step == "x") {
                sync.reset();
                StartSync(server->Url());
            } else if (step == "S") {
                server->Stop();
                up = false;
            } else if (step == "T") {
                server->Start();
                up = true;
            } else if (step == "D") {
                ++outages;
                ASSERT_TRUE(WaitFor([&] { return sync->Status().Failures >= 2; }));
            } else if (step == "W")
                ASSERT_TRUE(WaitFor([&] { return InStep(); }));
            else if (step == "F") {
                ClubScript(
                    "CREATE SEQUENCE kills; CREATE FUNCTION kill_once() RETURNS trigger LANGUAGE "
                    "plpgsql AS $$ BEGIN IF nextval('kills') = 1 THEN PERFORM "
                    "pg_terminate_backend(pg_backend_pid()); END IF; RETURN NULL; END $$; CREATE "
                    "TRIGGER kill_once BEFORE INSERT ON brennix.visits FOR EACH STATEMENT EXECUTE "
                    "FUNCTION kill_once()");
            } else if (step[0] == 's') {
                GameFileName = In(step.substr(1));
                SaveGameFile();
            } else if (step[0] == 'l') {
                ops.OpenAnswer = In(step.substr(1));
                LoadGameFile();
            } else
                Enter(step);
        }
        if (!up) server->Start();
        ASSERT_TRUE(WaitFor([&] { return InStep(); }));
        EXPECT_EQ(ClubRows(), LocalRows()) << sync->Note();
        EXPECT_GT(std::stoi(Local("SELECT COUNT(*) FROM visits")[0]), 0);
        // The notes said so each time a worker found the server down.
        EXPECT_EQ(Absences(), outages);
        if (steps.find('F') != std::string::npos) {
            EXPECT_THAT(Remote("SELECT last_value > 1 FROM kills"), ElementsAre("t"));
        }
        sync.reset();
        store.reset();
    }
}

// A push repeated, and an older copy of the history pushed after a newer one: the club keeps
// the newer rows, each visit once. The players get their name key from the board.
TEST_F(ClubSyncTest, RepeatedAndStalePushesChangeNothing) {
    OpenStore();
    NewMatch(3);
    Enter("60");
    Enter("45");
    LocalScript("VACUUM INTO '" + In("older.sqlite") + "'");
    Enter("100");
    UndoVisit();
    Enter("26"); // match 1 now at revision 5: the older copy holds it at 2
    club::TConnection db(server->Url());
    club::EnsureClubSchema(db);
    THistoryChanges newer(HistoryPath()), older(In("older.sqlite"));
    const std::string board = "board &<>\"'";
    EXPECT_EQ(club::PushMatch(db, board, newer, 1), 5);
    const std::vector<std::string> rows = ClubRows();
    EXPECT_EQ(club::PushMatch(db, board, newer, 1), 5);
    EXPECT_EQ(club::PushMatch(db, board, older, 1), 2);
    EXPECT_EQ(ClubRows(), rows);
    EXPECT_EQ(rows, LocalRows());
    EXPECT_THAT(Remote("SELECT visit_id, score FROM brennix.visits ORDER BY 1"),
                ElementsAre("1|60", "2|45", "4|26"));
    EXPECT_THAT(Remote("SELECT name, name_key FROM brennix.match_players ORDER BY player"),
                ElementsAre("Ann &<>\"'|ann &<>\"'", "J\xC3\x9CRGEN|j\xC3\xBCrgen"));
    EXPECT_EQ(club::PushMatch(db, board, newer, 7), 0); // no such match
}

// A match's summary rows are its visits' figures, whichever copy was pushed last: a newer one
// with other visits, an older one replacing it. The checks refuse rows no visits give.
TEST_F(ClubSyncTest, SummaryRowsFollowTheVisits) {
    OpenStore();
    NewMatch(3);
    Enter("60");
    Enter("45");
    LocalScript("VACUUM INTO '" + In("older.sqlite") + "'");
    Enter("100");
    Enter("180");
    Enter("141"); // from 141: a checkout chance, and the leg in 9 darts
    club::TConnection db(server->Url());
    club::EnsureClubSchema(db);
    THistoryChanges newer(HistoryPath()), older(In("older.sqlite"));
    const auto figures = [] {
        return Remote("SELECT name_key, first_of_name::int, matches, legs, legs_won, best_leg, "
                      "darts, points, first9_darts, first9_points, highest_checkout, "
                      "checkout_chances, checkouts, count_180, count_140, count_100, count_60, "
                      "count_40 FROM brennix.player_figures ORDER BY player");
    };
    const std::vector<std::string> before = {"ann &<>\"'|1|0|0|0|-|3|60|3|60|-|0|0|0|0|0|1|0",
                                             "j\xC3\xBCrgen|1|0|0|0|-|3|45|3|45|-|0|0|0|0|0|0|1"};
    club::PushMatch(db, "b", older, 1);
    EXPECT_EQ(figures(), before);
    club::PushMatch(db, "b", newer, 1);
    EXPECT_THAT(figures(), ElementsAre("ann &<>\"'|1|0|1|1|9|9|301|9|301|141|1|1|0|1|1|1|0",
                                       "j\xC3\xBCrgen|1|0|1|0|-|6|225|6|225|-|0|0|1|0|0|0|1"));
    club::PushMatch(db, "b", older, 1, true);
    EXPECT_EQ(figures(), before);
    for (const char* broken : {"points = -1", "first9_darts = darts + 1", "matches = 2",
                               "checkouts = checkout_chances + 1", "highest_checkout = 0",
                               "count_60 = 2", "best_leg = 3", "legs_won = legs + 1"}) {
        SCOPED_TRACE(broken);
        EXPECT_THROW(db.Run(std::string("UPDATE brennix.player_figures SET ") + broken),
                     club::EStatementError);
    }
}

// A board is known by its history, its name is a label. A club of the first layout keeps every
// row: its matches become the board's whose history they came from. A second running board of
// the same name is told whose it is and sends nothing until the name is free; a rename keeps one
// copy of each match; a history started again keeps syncing under the same name.
TEST_F(ClubSyncTest, BoardsAreKnownByTheirHistoryNotTheirName) {
    OpenStore();
    NewMatch(3);
    Enter("60");
    Enter("45");
    const std::string name = "board &<>\"'";
    {
        club::TConnection db(server->Url());
        // The first layout had no summary rows: the pushes write theirs to a copy of today's
        // table, gone before the update.
        club::EnsureClubSchema(db);
        db.Script("CREATE TABLE public.player_figures (LIKE brennix.player_figures INCLUDING "
                  "INDEXES); DROP SCHEMA brennix CASCADE");
        db.Script(std::string("CREATE SCHEMA brennix;") + club::ClubLayout1 +
                  "UPDATE brennix.club_schema SET version = 1; INSERT INTO brennix.boards VALUES "
                  "('Old', now() - interval '1 day', NULL, ''); ALTER TABLE "
                  "public.player_figures SET SCHEMA brennix");
        THistoryChanges history(HistoryPath());
        club::PushMatch(db, name, history, 1);
        club::PushMatch(db, "Old", history, 1);
        db.Script("DROP TABLE brennix.player_figures");
    }
    const auto boards = [] {
        return Remote("SELECT name, (SELECT count(*) FROM brennix.visits v WHERE v.board = "
                      "b.board) FROM brennix.boards b ORDER BY name COLLATE \"C\", 2");
    };
    const auto start = [](const std::string& board, const std::string& path) {
        return std::make_unique<TClubSync>(club::TClubPlace{server->Url(), board}, path, nullptr,
                                           Quick(5, 3000));
    };
    // Who holds the name once the worker has claimed it or been refused ("" for none).
    const auto holder = [](const TClubSync& worker) {
        std::string taken;
        EXPECT_TRUE(WaitFor([&] {
            const club::TSyncStatus status = worker.Status();
            taken = status.NameTakenBy;
            return status.Known || !taken.empty();
        }));
        return taken;
    };
    sync = start(name, HistoryPath());
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    EXPECT_THAT(boards(), ElementsAre("Old|2", name + "|2"));
    EXPECT_EQ(ClubRows(), LocalRows());
    // Its first-layout copy became its own: only the board that never came back keeps one.
    EXPECT_THAT(Remote("SELECT DISTINCT board FROM brennix.matches WHERE board LIKE 'named %'"),
                ElementsAre("named Old"));

    // A copy of the history with an identity of its own: another board.
    LocalScript("VACUUM INTO '" + In("second.sqlite") + "'");
    const auto identify = [&](const std::string& identity) {
        sqlite3* db = nullptr;
        sqlite3_open(In("second.sqlite").c_str(), &db);
        sqlite3_exec(db, ("UPDATE history_identity SET identity = '" + identity + "'").c_str(),
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return THistoryChanges(In("second.sqlite")).Identity();
    };
    // Only what the program makes is an identity: 32 hexadecimal digits in lower case.
    for (const char* made : {"0123456789abcdef0123456789abcdef0",
                             "0123456789ABCDEF0123456789abcdef", "0123456789abcdef0123456789abcde"})
        EXPECT_EQ(identify(made), std::nullopt) << made;
    EXPECT_EQ(identify("0123456789abcdef0123456789abcdef"), "0123456789abcdef0123456789abcdef");
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::unique_ptr<TClubSync> second = start(name, In("second.sqlite"));
    EXPECT_EQ(holder(*second), host);
    Enter("100");
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    EXPECT_THAT(boards(), ElementsAre("Old|2", name + "|3"));

    // Renamed, the first board frees the name: the second takes it. The renamed board's new run
    // starts while the old one still runs, on the same machine: the same board.
    std::unique_ptr<TClubSync> renamed = start("C", HistoryPath());
    EXPECT_EQ(holder(*renamed), "");
    sync = std::move(renamed);
    ASSERT_TRUE(WaitFor([&] {
        const club::TSyncStatus taken = second->Status();
        return InStep() && taken.Known && taken.Waiting == 0 && taken.NameTakenBy.empty();
    }));
    EXPECT_THAT(boards(), ElementsAre("C|3", "Old|2", name + "|2"));

    // Its history set aside and started again, the board goes on under its name.
    sync.reset();
    store.reset();
    fs::remove(HistoryPath());
    OpenStore();
    NewMatch(3);
    Enter("26");
    sync = start("C", HistoryPath());
    EXPECT_EQ(holder(*sync), ""); // the board before left cleanly: no wait
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    EXPECT_THAT(boards(), ElementsAre("C|1", "C|3", "Old|2", name + "|2"));
}

// A server that cannot be reached: the notes say since when and why, however often the worker
// tries, and no more once it was reached; the next absence has its own time.
TEST_F(ClubSyncTest, UnreachableServerIsShownUntilItIsBack) {
    OpenStore();
    NewMatch(3);
    Enter("60");
    server->Stop();
    const auto firstStop = std::chrono::system_clock::now();
    StartSync(server->Url());
    ASSERT_TRUE(WaitFor([&] { return sync->Status().Failures >= 3; }));
    const std::string reason = "connection to server at \"127.0.0.1\", port " +
                               std::to_string(server->Port()) +
                               " failed: Connection refused Is the server running on that host "
                               "and accepting TCP/IP connections?";
    const std::optional<std::chrono::system_clock::time_point> away = sync->Status().AwaySince;
    ASSERT_TRUE(away);
    EXPECT_GE(*away, firstStop);
    ASSERT_TRUE(WaitFor([&] { return sync->Status().Failures >= 4; }));
    EXPECT_EQ(sync->Status().AwaySince, away);
    EXPECT_EQ(Notes().size(), 2u);
    EXPECT_TRUE(Notes().back().ends_with(": " + reason)) << Notes().back();
    EXPECT_EQ(sync->Note(),
              "Club: not reached yet (board board &<>\"'); the server cannot be reached: " +
                  reason);
    server->Start();
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    EXPECT_EQ(sync->Note(), "Club: in step (board board &<>\"')");
    EXPECT_FALSE(sync->Status().AwaySince);
    server->Stop();
    const auto secondStop = std::chrono::system_clock::now();
    Enter("45");
    Enter("20");
    ASSERT_TRUE(WaitFor([&] { return sync->Status().Failures >= 3; }));
    EXPECT_GE(sync->Status().AwaySince.value_or(firstStop), secondStop);
    EXPECT_EQ(Absences(), 2u);
    EXPECT_EQ(sync->Note(),
              "Club: 1 match waiting (board board &<>\"'); the server cannot be reached: " +
                  reason);
    server->Start();
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    EXPECT_EQ(ClubRows(), LocalRows());
    EXPECT_EQ(Notes().back(), "Club: in step");
}

// A hung server (it accepts, but never answers): the worker gives up after its own wait and
// says so; it stops at once when told to, in the middle of a wait however long, or when its
// finish's bound is over; nothing is lost, the last change sent by the finish.
TEST_F(ClubSyncTest, HungServerNeverHoldsTheWorker) {
    OpenStore();
    NewMatch(3);
    Enter("60");
    StartSync(server->Url(), Quick(1));
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    server->Freeze(true);
    Enter("45");
    ASSERT_TRUE(WaitFor([&] { return sync->Status().Failures >= 2; }));
    EXPECT_EQ(sync->Status().Reason, "the server did not answer within 1 seconds");
    sync->SetState("{}"); // handed over while the worker waits
    sync.reset();
    StartSync(server->Url(), Quick(3600, 500)); // waits for the server's answer to its connect
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // well inside that wait
    EXPECT_FALSE(sync->Status().Reached);
    const auto start = std::chrono::steady_clock::now();
    sync.reset(); // returns after the finish's bound although the server never answers
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    server->Freeze(false);
    // A table held locked by another session: the server ends each statement at its bound and
    // the connection is closed before the next is made, so that at most one of the board's
    // backends ever waits on the lock; exit within its bound all the same.
    club::TConnection holder(server->Url());
    const std::string holderPid = holder.Run("SELECT pg_backend_pid()").Text(0, 0);
    holder.Script("BEGIN; LOCK TABLE brennix.visits IN ACCESS EXCLUSIVE MODE");
    StartSync(server->Url(), Quick(2, 2500));
    Enter("20");
    std::string most = "0";
    for (int i = 0; i < 40; ++i) {
        most = std::max(most, Remote("SELECT count(*) FROM pg_stat_activity WHERE "
                                     "wait_event_type = 'Lock' AND pid <> $1",
                                     {holderPid})[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(most, "1");
    EXPECT_TRUE(sync->Status().Reason.starts_with("ERROR: canceling statement due to lock "
                                                  "timeout LINE 1: "))
        << sync->Status().Reason;
    const auto locked = std::chrono::steady_clock::now();
    sync.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - locked, std::chrono::milliseconds(3000));
    holder.Script("ROLLBACK");
    StartSync(server->Url(), Quick(5, 5000));
    ExitCleanup(); // the window closed: the worker's finish sends what the club lacks
    sync.reset();
    EXPECT_EQ(ClubRows(), LocalRows());
}

// A row the club refuses (a visit's score no whole number) sets its match aside with the server's
// reason and holds back no later one; the match goes once the history changes it.
TEST_F(ClubSyncTest, RefusedMatchHoldsBackNoOther) {
    OpenStore();
    NewMatch(3);
    Enter("60");
    NewGame();
    Enter("45");
    LocalScript("UPDATE visits SET score = 'x' WHERE match_id = 1");
    StartSync(server->Url());
    ASSERT_TRUE(WaitFor([&] {
        return Remote("SELECT sync_note FROM brennix.boards") ==
               std::vector<std::string>{"1 match refused"};
    }));
    EXPECT_EQ(sync->Note(), "Club: in step (board board &<>\"'); match 1 refused: invalid input "
                            "syntax for type integer: \"x\"");
    EXPECT_THAT(Remote("SELECT match_id FROM brennix.matches"), ElementsAre("2"));
    LocalScript("UPDATE visits SET score = 60 WHERE match_id = 1; UPDATE matches SET revision = 9 "
                "WHERE id = 1");
    ASSERT_TRUE(WaitFor([&] { return InStep() && sync->Status().Refused == 0; }));
    EXPECT_EQ(ClubRows(), LocalRows());
}

// The board's row: the newest state handed over, as JSON (none for one the server cannot read),
// and the note '' once in step; a watching board reads every board's row.
TEST_F(ClubSyncTest, BoardRowHoldsTheNewestState) {
    OpenStore();
    StartSync(server->Url());
    sync->WatchBoards(true);
    sync->SetState(R"({"caption": "a", )"); // cut short: not JSON to the server
    ASSERT_TRUE(WaitFor([&] {
        return Remote("SELECT state IS NULL, sync_note FROM brennix.boards") ==
               std::vector<std::string>{"t|"};
    }));
    sync->SetState(R"({"caption": "a", "players": []})");
    sync->SetState(R"({"caption": "<b>&amp;", "players": [{"name": "J\u00fcrgen"}]})");
    ASSERT_TRUE(WaitFor([&] { return !sync->Boards().empty(); }));
    ASSERT_TRUE(WaitFor([&] {
        return Remote("SELECT state->>'caption' FROM brennix.boards") ==
               std::vector<std::string>{"<b>&amp;"};
    }));
    EXPECT_THAT(Remote("SELECT name, state::text, sync_note, seen_at > now() - interval '1 "
                       "minute' FROM brennix.boards"),
                ElementsAre("board &<>\"'|{\"caption\": \"<b>&amp;\", \"players\": [{\"name\": "
                            "\"J\xC3\xBCrgen\"}]}||t"));
    ASSERT_TRUE(WaitFor([&] { return sync->Boards()[0].State.find("amp") != std::string::npos; }));
    const club::TClubBoard seen = sync->Boards()[0];
    EXPECT_EQ(seen.Board, "board &<>\"'");
    EXPECT_EQ(seen.SyncNote, "");
    EXPECT_LT(seen.SecondsAgo, 60);
    // The boards age as time goes by, read again or not (a server away answers no more reads).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GE(sync->Boards()[0].SecondsAgo, seen.SecondsAgo + 0.2);
}

// Clubs a board does not write to: a newer layout, tables changed by hand, a club without a
// layout that the board's role may not make. The note says why; the club stays as it was.
TEST_F(ClubSyncTest, ClubsNotToWriteToAreRefused) {
    ClubScript("DROP ROLE IF EXISTS reader; CREATE ROLE reader LOGIN");
    const std::string reader =
        "postgresql://reader@127.0.0.1:" + std::to_string(server->Port()) + "/club";
    const std::string layout = "CREATE SCHEMA brennix; CREATE TABLE brennix.club_schema (version "
                               "integer NOT NULL); INSERT INTO brennix.club_schema VALUES ";
    struct TCase {
        std::string sql, url, reason, tables;
    } cases[] = {
        {layout + "(5)", server->Url(),
         "the club database has a newer layout (version 5; this Brennix knows up to 4)",
         "club_schema"},
        {"ALTER TABLE brennix.boards ALTER COLUMN state TYPE text", server->Url(),
         "the club database's tables were changed by hand (their columns are not those this "
         "Brennix makes): the board sends nothing to it",
         "boards legs match_players matches player_figures visits club_schema"},
        {"", reader,
         "the club database has no layout yet, and this board's role may not change it: the "
         "club's owner sets it up with brennix-report --club URL --set-up",
         ""},
        {layout + "(2)", reader,
         "the club database's layout cannot be read by this board's role: the club's owner sets "
         "it up with brennix-report --club URL --set-up",
         "club_schema"},
        {"DROP TABLE brennix.player_figures; UPDATE brennix.club_schema SET version = 3", reader,
         "the club database's layout is version 3, and this board's role may not change it: the "
         "club's owner sets it up with brennix-report --club URL --set-up",
         "boards legs match_players matches visits club_schema"},
    };
    OpenStore();
    NewMatch(3);
    Enter("60");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.reason);
        ClubScript("DROP SCHEMA IF EXISTS brennix CASCADE");
        if (c.sql.starts_with("ALTER") || c.sql.starts_with("DROP")) club::SetUpClub(server->Url());
        if (!c.sql.empty()) ClubScript(c.sql);
        notes.clear();
        StartSync(c.url);
        ASSERT_TRUE(WaitFor([&] { return sync->Status().Failures > 0; }));
        EXPECT_EQ(sync->Status().Reason, c.reason);
        sync.reset();
        std::string tables;
        for (const std::string& table :
             Remote("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                    "'brennix' ORDER BY table_name = 'club_schema', table_name"))
            tables += (tables.empty() ? "" : " ") + table;
        EXPECT_EQ(tables, c.tables);
        if (c.tables.starts_with("boards")) {
            EXPECT_THAT(Remote("SELECT count(*) FROM brennix.boards"), ElementsAre("0"));
        }
    }
}

// The README's set-up: the club's tables are its owner's, the boards log in with a role of their
// own that may read everything and write only the rows of the board whose history it holds. A
// member that turns hostile can neither change the layout nor touch another board's rows; rows
// changed behind a board's back (here by the owner) are noticed and sent again.
TEST_F(ClubSyncTest, BoardsWriteOnlyTheirOwnRows) {
    ClubScript("CREATE ROLE brennix_owner LOGIN PASSWORD 'x'");
    ClubScript("CREATE ROLE brennix_board LOGIN PASSWORD 'y'");
    ClubScript("CREATE DATABASE club2 OWNER brennix_owner");
    ClubScript("REVOKE ALL ON DATABASE club2 FROM PUBLIC");
    ClubScript("GRANT CONNECT ON DATABASE club2 TO brennix_board");
    const std::string port = std::to_string(server->Port());
    const std::string owner = "postgresql://brennix_owner@127.0.0.1:" + port + "/club2";
    const std::string board = "postgresql://brennix_board@127.0.0.1:" + port + "/club2";
    EXPECT_EQ(club::SetUpClub(owner), 4);
    OpenStore();
    NewMatch(3);
    Enter("60");
    Enter("45");
    TClubSync::TOptions options = Quick();
    options.Recount = std::chrono::milliseconds(50);
    StartSync(board, options);
    ASSERT_TRUE(WaitFor([&] { return InStep(); }));
    club::TConnection owned(owner);
    const auto rows = [&] { // boards, visits, newest revision, points
        return owned
            .Run("SELECT (SELECT count(*) FROM brennix.boards) || ' ' || (SELECT count(*) FROM "
                 "brennix.visits) || ' ' || max(revision) || ' ' || (SELECT sum(points) FROM "
                 "brennix.player_figures) FROM brennix.matches")
            .Text(0, 0);
    };
    EXPECT_EQ(rows(), "1 2 2 105");
    // A member with the same role, without this board's history, while the board is away.
    sync.reset();
    club::TConnection member(board);
    for (const char* hostile : {
             "DROP TABLE brennix.visits",
             "ALTER TABLE brennix.boards ALTER COLUMN state TYPE text",
             "CREATE TRIGGER t BEFORE INSERT ON brennix.visits EXECUTE FUNCTION brennix.own_key()",
             "INSERT INTO brennix.boards (board, name, seen_at) VALUES ('x', 'x', now())",
             "UPDATE brennix.matches SET revision = 9223372036854775807",
             "DELETE FROM brennix.visits",
             "UPDATE brennix.player_figures SET points = 0",
             "SELECT set_config('brennix.secret', board, false) FROM brennix.boards; DELETE FROM "
             "brennix.visits",
         }) {
        try {
            member.Script(hostile);
        } catch (const EBrennixError&) {
        }
    }
    EXPECT_EQ(rows(), "1 2 2 105");
    // Rows lost, then a revision set beyond the history's: each is sent again.
    StartSync(board, options);
    owned.Script("DELETE FROM brennix.visits WHERE visit_id = 2");
    EXPECT_TRUE(WaitFor([&] { return rows() == "1 2 2 105"; })) << rows();
    owned.Script("UPDATE brennix.matches SET revision = 9223372036854775807");
    EXPECT_TRUE(WaitFor([&] { return rows() == "1 2 2 105"; })) << rows();
    EXPECT_EQ(Notes().back(), "Club: in step");
}

// Where the club is: "/club=" and "/board=" first, else club.conf's first line and the host
// name; "/nohistory" and an empty URL mean none. A password on the command line and a club.conf
// others can read are refused.
TEST_F(ClubSyncTest, FindClubReadsSwitchesThenClubConf) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string onCommandLine = "The club's password is not taken from the command line, "
                                      "where every user of this computer can read it",
                      readable = "club.conf can be read by other users";
    struct TCase {
        std::vector<std::string> arguments;
        std::string conf; // "" for no club.conf
        std::optional<club::TClubPlace> place;
        std::string refused = "";         // the refusal up to its first colon
        fs::perms mode = fs::perms{0600}; // club.conf's
    } cases[] = {
        {{"/club=postgresql://a/club", "/board=Board 2"},
         "",
         club::TClubPlace{"postgresql://a/club", "Board 2"}},
        {{"/safe"}, " host=b dbname=club \nhost=c\n", club::TClubPlace{"host=b dbname=club", host}},
        {{"/club=host=d"}, "host=c\n", club::TClubPlace{"host=d", host}},
        {{"/club=host=d", "/nohistory"}, "", std::nullopt},
        {{"/club="}, "host=c\n", std::nullopt},
        {{}, "\nhost=c\n", std::nullopt},
        {{"/board=x"}, "", std::nullopt},
        {{"/club=postgres://u:pw@a/club"}, "host=c\n", std::nullopt, onCommandLine},
        {{"/club=host=d password = 'p w'"}, "", std::nullopt, onCommandLine},
        {{"/club=host=d password=''"}, "", club::TClubPlace{"host=d password=''", host}},
        {{}, "host=c password=pw\n", club::TClubPlace{"host=c password=pw", host}},
        {{}, "host=c\n", std::nullopt, readable, fs::perms{0640}},
        {{}, "host=c\n", std::nullopt, readable, fs::perms{0604}},
    };
    for (const TCase& c : cases) {
        fs::remove(dir / "club.conf");
        if (!c.conf.empty()) {
            std::ofstream(dir / "club.conf") << c.conf;
            fs::permissions(dir / "club.conf", c.mode);
        }
        std::string refusal = "?";
        const std::optional<club::TClubPlace> place =
            club::FindClub(ReadRunOptions(c.arguments), dir.string() + "/", refusal);
        EXPECT_EQ(refusal.substr(0, refusal.find(':')), c.refused);
        ASSERT_EQ(place.has_value(), c.place.has_value()) << c.conf;
        if (place) {
            EXPECT_EQ(place->Url, c.place->Url);
            EXPECT_EQ(place->Board, c.place->Board);
        }
    }
}

// The operator's notes for each state of the copy, the whole and the status bar's, refused
// matches last; "!" marks a short note shown as trouble.
TEST_F(ClubSyncTest, NoteSaysHowFarTheCopyIs) {
    std::tm evening{};
    evening.tm_year = 126, evening.tm_mon = 11, evening.tm_mday = 7;
    evening.tm_hour = 21, evening.tm_min = 4, evening.tm_isdst = -1;
    const auto since = std::chrono::system_clock::from_time_t(std::mktime(&evening));
    using Status = club::TSyncStatus;
    struct TCase {
        Status status;
        std::string note, shortNote;
    } cases[] = {
        {{"B", false, false, 0, 0, "", false, 0, 0, 0, "", "", {}},
         "Club: connecting (board B)",
         "Club: connecting…"},
        {{"B", false, false, 3, 0, "refused", false, 1, 0, 0, "", "", since},
         "Club: not reached yet (board B); the server cannot be reached: refused",
         "!Club: server away since 21:04: refused"},
        {{"B", true, true, 0, 7, "", false, 0, 0, 0, "", "", {}},
         "Club: in step (board B)",
         "Club: in step"},
        {{"B", true, true, 1, 7, "", false, 0, 0, 0, "", "", {}},
         "Club: 1 match waiting (board B)",
         "Club: 1 match waiting"},
        {{"B", false, true, 0, 7, "gone", false, 2, 0, 0, "", "", since},
         "Club: 0 matches waiting (board B); the server cannot be reached: gone",
         "!Club: server away since 21:04: gone"},
        {{"B", true, true, 12, 7, "history x (y)", true, 0, 0, 0, "", "", {}},
         "Club: 12 matches waiting (board B); history x (y)",
         "!Club: history x (y)"},
        {{"B", false, true, 3, 7, "gone", false, 2, 2, 3, "bad", "", since},
         "Club: 3 matches waiting (board B); the server cannot be reached: gone; 2 matches "
         "refused, match 3: bad",
         "!Club: server away since 21:04, 3 matches waiting: gone; 2 matches refused"},
        {{"B", true, true, 0, 7, "", false, 0, 1, 9, "bad", "", {}},
         "Club: in step (board B); match 9 refused: bad",
         "!Club: in step; match 9 refused"},
        {{"B", true, true, 4, 7, "", false, 0, 0, 0, "", "pc 2", {}},
         "Club: the name B is taken by the board on pc 2; this board plays on locally until the "
         "name is free or it is started with another /board=NAME",
         "!Club: the name B is taken by the board on pc 2"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(club::NoteOf(c.status), c.note);
        const club::TStatusNote shown = club::StatusNoteOf(c.status);
        EXPECT_EQ((shown.Trouble ? "!" : "") + shown.Text, c.shortNote);
    }
}

} // namespace
} // namespace brennix::test
