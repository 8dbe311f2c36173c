// brennix-report --club: two boards' histories, played by the engine and copied into a club
// database of the test's own, give the same reports as one history that holds both boards'
// matches; the figures summed by the server, rows no match can have left out as a board's own
// reader leaves them; the exit status and message of each mistake.
#include "../storage/storage_fixture.h"
#include "test_postgres.h"

#include "club/club_schema.h"
#include "club/pg.h"
#include "engine/flow.h"
#include "history/history_layout.h"
#include "history/history_store.h"
#include "history/statistics.h"
#include "report/cli.h"

#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <sstream>

namespace brennix::test {
namespace {

using Json = nlohmann::ordered_json;

// 2026-12-07 20:00:00 UTC.
constexpr std::chrono::seconds Evening{1796673600};
// The matches of the second board follow the first's in the merged history.
constexpr int64_t HallOffset = 1000;

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(message, nullptr) << message;
    sqlite3_free(message);
}

// Copies a board's history into the club as the board's sync would leave it: every row as it
// is, the name's key made by the board.
void CopyToClub(club::TConnection& club, const std::string& board, const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const std::pair<const char*, const char*> tables[] = {
        {"SELECT id, 0, started_at, ended_at, game_type, game, match_format, format, starter, "
         "resumed, end_reason, winner FROM matches",
         "matches"},
        {"SELECT match_id, player, name, name, sets, legs FROM match_players", "match_players"},
        {"SELECT match_id, id, set_no, leg_no, starter, winner, winner_darts FROM legs", "legs"},
        {"SELECT match_id, id, leg_id, player, score, darts, remaining_before, won_leg, at FROM "
         "visits",
         "visits"}};
    club.Script("BEGIN");
    for (const auto& [select, table] : tables) {
        sqlite3_stmt* rows = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, select, -1, &rows, nullptr), SQLITE_OK);
        const int columns = sqlite3_column_count(rows);
        std::string insert = "INSERT INTO brennix." + std::string(table) + " VALUES ($1";
        for (int c = 0; c < columns; ++c)
            insert += ", $" + std::to_string(c + 2);
        while (sqlite3_step(rows) == SQLITE_ROW) {
            std::vector<club::TParam> values = {board};
            for (int c = 0; c < columns; ++c) {
                const auto* text = sqlite3_column_text(rows, c);
                values.push_back(text ? club::TParam(reinterpret_cast<const char*>(text))
                                      : std::nullopt);
            }
            if (std::string(table) == "match_players") values[4] = NameKey(*values[4]);
            club.Run(insert + ")", values);
        }
        sqlite3_finalize(rows);
    }
    club.Script("COMMIT");
    sqlite3_close(db);
}

// A club of the third layout, before the summary rows.
void LayoutThree(club::TConnection& club) {
    club::EnsureClubSchema(club);
    club.Script("DROP TABLE brennix.player_figures; UPDATE brennix.club_schema SET version = 3");
}

struct TRun {
    int Status;
    std::string Out, Err;
};

TRun Report(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = report::RunReport(args, out, err);
    return {status, out.str(), err.str()};
}

class ClubReportTest : public StorageTest {
  protected:
    static inline std::unique_ptr<TTestPostgres> server;
    TEventTime now{Evening};
    std::unique_ptr<THistoryStore> store;

    static void SetUpTestSuite() { server = std::make_unique<TTestPostgres>(); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        StorageTest::SetUp();
        MakeSaveFolder();
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        ops.OnSave = [] { SaveGameFile(); };
        MatchClock = [this] { return now; };
    }
    void TearDown() override {
        store.reset();
        MatchClock = [] { return std::chrono::system_clock::now(); };
        StorageTest::TearDown();
    }
    void Board(const std::string& name) {
        store.reset();
        store = std::make_unique<THistoryStore>(
            In(name + ".sqlite"), [](const std::string& text) { ADD_FAILURE() << text; }, 0);
        AddMatchObserver(*store);
    }
    void NewMatch(int minutes, int gameType, int matchFormat, const std::string& first,
                  const std::string& second) {
        now = TEventTime{Evening + std::chrono::minutes(minutes)};
        Settings.PlayerCount = 2;
        Settings.GameType = gameType;
        Settings.MatchFormat = matchFormat;
        Settings.PlayerNames[0] = first;
        Settings.PlayerNames[1] = second;
        NewGame();
    }
};

// One history holding both boards' matches, the second board's numbers moved past the first's.
std::string Merged(const std::string& bar, const std::string& hall, const std::string& path) {
    fs::copy_file(bar, path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const std::string m = std::to_string(HallOffset);
    Exec(db, "ATTACH '" + hall +
                 "' AS h;"
                 "INSERT INTO matches (id, started_at, ended_at, game_type, game, match_format, "
                 "format, starter, resumed, end_reason, winner) SELECT id + " +
                 m +
                 ", started_at, ended_at, game_type, game, "
                 "match_format, format, starter, resumed, end_reason, winner FROM h.matches;"
                 "INSERT INTO match_players SELECT match_id + " +
                 m +
                 ", player, name, sets, legs "
                 "FROM h.match_players;"
                 "INSERT INTO legs SELECT id + 100000, match_id + " +
                 m +
                 ", set_no, leg_no, "
                 "starter, winner, winner_darts FROM h.legs;"
                 "INSERT INTO visits SELECT id + 1000000, match_id + " +
                 m +
                 ", leg_id + 100000, "
                 "player, score, darts, remaining_before, won_leg, at FROM h.visits;");
    // The figures of the matches copied, and of the rows no board writes.
    MakePlayerFigures(db);
    sqlite3_close(db);
    return path;
}

// The club's matches numbered as in the merged history, their board taken out: the board is
// the one thing a club's report adds.
void AsMerged(Json& json) {
    if (json.is_array() || json.is_object()) {
        if (json.is_object() && json.contains("board")) {
            const std::string board = json["board"];
            EXPECT_TRUE(board == "Bar" || board == "Hall") << board;
            if (board == "Hall") json["match"] = json["match"].get<int64_t>() + HallOffset;
            json.erase("board");
        }
        for (Json& part : json)
            AsMerged(part);
    }
}

// Both boards play: a 0 visit, a bust, an undo, won legs of different length, the same player
// under names that differ in case and blanks on both boards and twice in one match, a name with
// every character the formats escape, a default name, an abandoned and an open match, two
// matches begun in the same second on two boards; then rows no board writes. Every report of the
// club equals the report of the merged history.
TEST_F(ClubReportTest, EveryReportEqualsTheMergedHistorys) {
    Board("bar");
    NewMatch(0, 1, 3, "Ann &<>\"'", "Bob"); // 301 double out, best of 1 set
    Enter("100");
    Enter("0");
    Enter("140");
    UndoVisit();
    Enter("42");
    BookVisit(TKey::F5);
    for (const char* score : {"140", "0", "100", "99", "0", "0", "0"})
        Enter(score);
    Enter("60", "2");
    PlayLegs({1, 0, 0});
    NewMatch(30, 5, 2, "  BOB ", "Cy"); // 301 single out, one leg
    Enter("180");
    Enter("45");
    Enter("121", "2");
    NewMatch(60, 2, 2, "Cy", "ann &<>\"'");
    Enter("60");
    Enter("177");
    NewGame(); // abandoned
    Board("hall");
    NewMatch(0, 2, 2, "BOB\t", " Dee"); // begun with the bar's first match
    PlayLeg(1);
    NewMatch(45, 1, 3, "Ann &<>\"'", "Player2");
    PlayLegs({1, 0, 1, 1});
    NewMatch(60, 2, 2, " CY", "Dee"); // open
    Enter("26");
    Enter("85");
    NewMatch(120, 2, 2, "Eve", "EVE ");
    PlayLeg(1);
    store.reset();

    // Rows no board writes: a type no game has and a winner no player, scores and darts out of
    // range, a player the match lacks, legs won in no darts or by nobody of the match, sets and a
    // winner in an open match.
    sqlite3* bar = nullptr;
    sqlite3_open(In("bar.sqlite").c_str(), &bar);
    Exec(bar,
         "INSERT INTO matches (id, started_at, ended_at, game_type, game, match_format, format, "
         "starter, resumed, end_reason, winner) VALUES (900, '2026-12-07 21:00:00', NULL, 99, 'g', "
         "2, 'f', NULL, 0, "
         "'won', 7), (901, '2026-12-07 21:30:00', NULL, 2, 'g', 2, 'f', NULL, 0, NULL, 1);"
         "INSERT INTO match_players VALUES (900, 1, 'Al', NULL, NULL), (900, 2, 'x', -9, NULL), "
         "(901, 1, 'Al', 3, NULL);"
         "INSERT INTO legs VALUES (9001, 900, 1, 1, 0, 1, -4), (9002, 900, 1, 2, 0, 9, 3), "
         "(9003, 900, 1, 3, 0, 1, 12), (9004, 900, 1, 4, 0, NULL, 1);"
         "INSERT INTO visits (match_id, leg_id, player, score, darts, remaining_before, won_leg, "
         "at) VALUES (900, 9001, 1, 180, 3, 501, 0, '2026-12-07 21:00:00'), (900, 9001, 1, 181, 3, "
         "321, 0, '2026-12-07 21:00:00'), "
         "(900, 9001, 1, -1, 3, 321, 0, '2026-12-07 21:00:00'), (900, 9001, 1, 60, 4, 321, 0, "
         "'2026-12-07 21:00:00'), "
         "(900, 9001, 1, 170, 3, 180, 1, '2026-12-07 21:00:00'), (900, 9001, 1, 2, 1, 2147483647, "
         "1, '2026-12-07 21:00:00'), "
         "(900, 9001, 5, 60, 3, 501, 0, '2026-12-07 21:00:00'), (900, 9001, 2, 180, 3, 501, 0, "
         "'2026-12-07 21:00:00')");
    sqlite3_close(bar);

    club::TConnection club(server->Url());
    LayoutThree(club);
    CopyToClub(club, "Bar", In("bar.sqlite"));
    // The hall's board under a key of its own, its name in its row.
    CopyToClub(club, "zz-hall", In("hall.sqlite"));
    club.Script("INSERT INTO brennix.boards (board, name, seen_at) VALUES ('zz-hall', 'Hall', "
                "now())");
    // The update sums the matches there are.
    club::EnsureClubSchema(club);
    const std::string merged = Merged(In("bar.sqlite"), In("hall.sqlite"), In("merged.sqlite"));
    const std::string where = "Club: club at 127.0.0.1:" + std::to_string(server->Port());

    const std::vector<std::string> queries[] = {
        {"--players"},
        {"--players", "--all-names", "--until", "2026-12-07"},
        {"--player", " ANN &<>\"'"},
        {"--player", "bob", "--since", "2026-12-07"},
        {"--vs", "bob", "cy"},
        {"--vs", "eve", "dee"},
        {"--matches"},
    };
    for (const std::vector<std::string>& query : queries)
        for (const char* format : {"json", "text", "csv", "html"}) {
            // The matches with their boards are compared in JSON, the standings in every format.
            if (query[0] != "--players" && format != std::string("json")) continue;
            SCOPED_TRACE(query[0] + " " + query[1 % query.size()] + " " + format);
            std::vector<std::string> args = query;
            args.insert(args.end(), {"-f", format});
            std::vector<std::string> local = args, fromClub = args;
            local.insert(local.end(), {"--history", merged});
            fromClub.insert(fromClub.end(), {"--club", server->Url()});
            const TRun expected = Report(local), run = Report(fromClub);
            ASSERT_EQ(expected.Status, 0) << expected.Err;
            EXPECT_EQ(run.Status, 0);
            EXPECT_EQ(run.Err, "");
            if (format != std::string("json")) {
                // The text and the page name the club where they name the history; CSV neither.
                std::string shown = run.Out;
                if (const size_t at = shown.find(where); at != std::string::npos)
                    shown.replace(at, where.size(), "History: " + merged);
                EXPECT_EQ(shown, expected.Out);
                EXPECT_EQ(shown != run.Out, format != std::string("csv"));
                continue;
            }
            Json json = Json::parse(run.Out);
            AsMerged(json);
            EXPECT_EQ(json.dump(1), Json::parse(expected.Out).dump(1));
        }
    // The club's matches name their board: the bar's first match and the hall's, begun in the
    // same second, in the order of the boards' names.
    const Json matches =
        Json::parse(Report({"--matches", "-f", "json", "--club", server->Url()}).Out);
    ASSERT_EQ(matches.size(), 9u);
    EXPECT_EQ(matches[0]["board"], "Bar");
    EXPECT_EQ(matches[1]["board"], "Hall");
    EXPECT_EQ(matches[1]["match"], 1);
    EXPECT_EQ(matches[1]["players"][1]["name"], " Dee");

    // Summary rows a board may write, the largest and none, read without harm.
    club.Script("UPDATE brennix.player_figures SET darts = 2147483647, points = 2147483647, "
                "first9_darts = 2147483647; DELETE FROM brennix.player_figures WHERE match_id = 1");
    for (const char* query : {"--players", "--matches"})
        EXPECT_EQ(Report({query, "--club", server->Url()}).Status, 0) << query;
}

// The exit status and message of each mistake and of each club that cannot be read.
TEST_F(ClubReportTest, MistakesAndClubsThatCannotBeRead) {
    {
        club::TConnection db(server->Url("postgres"));
        db.Script("CREATE DATABASE newer");
        db.Script("CREATE DATABASE older");
    }
    {
        club::TConnection older(server->Url("older"));
        LayoutThree(older);
    }
    {
        club::TConnection newer(server->Url("newer"));
        club::EnsureClubSchema(newer);
        newer.Script("UPDATE brennix.club_schema SET version = 5");
    }
    club::TConnection club(server->Url());
    club::EnsureClubSchema(club);
    const std::string me = "brennix-report: ";
    const std::string more = "\nTry 'brennix-report --help' for more information.\n";
    struct TCase {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"--players", "--club", server->Url()}, 0, ""},
        {{"--player", "Nobody", "--club", server->Url()},
         1,
         me + "no player 'Nobody' in the matches of the club\n"},
        {{"--players", "--club", "postgresql://brennix@127.0.0.1:1/club"},
         1,
         me + "club: connection to server at \"127.0.0.1\", port 1 failed: Connection refused\n"
              "\tIs the server running on that host and accepting TCP/IP connections?\n"},
        {{"--matches", "--club", server->Url("postgres")},
         1,
         me + "club: the database holds no Brennix club (no schema brennix with its layout "
              "version)\n"},
        {{"--matches", "--club", server->Url("newer")},
         1,
         me + "club: the club database has a newer layout (version 5; this Brennix knows up to "
              "4)\n"},
        {{"--players", "--club", server->Url("older")},
         1,
         me + "club: the club database's layout is version 3, older than this Brennix reads: the "
              "club's owner sets it up with brennix-report --club URL --set-up\n"},
        {{"--club", server->Url(), "--set-up"}, 0, ""},
        {{"--club", server->Url("newer"), "--set-up"},
         1,
         me + "the club database has a newer layout (version 5; this Brennix knows up to 4)\n"},
        {{"--set-up", "--players", "--club", server->Url()},
         2,
         me + "option '--set-up' goes with --club URL alone" + more},
        {{"--players", "--club", server->Url(), "--history", In("h.sqlite")},
         2,
         me + "--club and --history at the same time" + more},
        {{"--players", "--club", server->Url(), "x.bx3"},
         2,
         me + "game files and --players, --player, --vs or --matches at the same time" + more},
        {{"--club", server->Url(), "x.bx3"},
         2,
         me + "option '--club' needs --players, --player, --vs or --matches" + more},
        {{"--players", "--club"}, 2, me + "option '--club' needs a value" + more},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const TRun run = Report(c.args);
        EXPECT_EQ(run.Status, c.status);
        EXPECT_EQ(run.Err, c.err);
    }
}

} // namespace
} // namespace brennix::test
