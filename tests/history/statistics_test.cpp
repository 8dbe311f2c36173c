// Player statistics from the match history: a match the engine played with every figure worked
// out by hand, names that are one player, periods, and files that are no history or hold rows no
// match can have.
#include "../storage/storage_fixture.h"

#include "engine/errors.h"
#include "engine/flow.h"
#include "history/history_store.h"
#include "history/statistics.h"
#include "report/cli.h"
#include "storage/game_file.h"

#include "report/text.h"

#include <sqlite3.h>
#include <sstream>

namespace brennix::test {
namespace {

using ::testing::ElementsAre;

// 2026-12-07 20:00:00 UTC.
constexpr std::chrono::seconds Evening{1796673600};

// The figures in the order the standings give them, "-" for none.
std::string Line(const TPlayerStatistics& s) {
    const TFigures& f = s.Figures;
    auto maybe = [](const std::optional<int64_t>& v) { return v ? std::to_string(*v) : "-"; };
    const std::optional<int32_t> rate = f.CheckoutRate();
    std::string line = s.Name;
    for (const std::string& part :
         {std::to_string(f.Matches), std::to_string(f.MatchesWon), std::to_string(f.Legs),
          std::to_string(f.LegsWon), std::to_string(f.Darts), std::to_string(f.Points),
          std::to_string(f.Average()), std::to_string(f.First9Average()), maybe(f.BestLeg),
          maybe(f.HighestCheckout), std::to_string(f.CheckoutChances), std::to_string(f.Checkouts),
          rate ? std::to_string(*rate) : "-", std::to_string(f.Count180),
          std::to_string(f.Count140), std::to_string(f.Count100), std::to_string(f.Count60),
          std::to_string(f.Count40), s.LastPlayed})
        line += "|" + part;
    return line;
}

std::vector<std::string> Lines(const std::vector<TPlayerStatistics>& standings) {
    std::vector<std::string> lines;
    for (const TPlayerStatistics& s : standings)
        lines.push_back(Line(s));
    return lines;
}

class StatisticsTest : public StorageTest {
  protected:
    TEventTime now{Evening};
    std::vector<std::string> warnings;
    std::unique_ptr<THistoryStore> store;

    void SetUp() override {
        StorageTest::SetUp();
        MakeSaveFolder();
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        ops.OnSave = [] { SaveGameFile(); };
        MatchClock = [this] { return now; };
        store = std::make_unique<THistoryStore>(
            HistoryPath(), [this](const std::string& text) { warnings.push_back(text); }, 0);
        AddMatchObserver(*store);
    }
    void TearDown() override {
        store.reset();
        MatchClock = [] { return std::chrono::system_clock::now(); };
        StorageTest::TearDown();
    }
    void NewMatch(int gameType, int matchFormat, const std::string& first,
                  const std::string& second) {
        Settings.PlayerCount = 2;
        Settings.GameType = gameType;
        Settings.MatchFormat = matchFormat;
        Settings.PlayerNames[0] = first;
        Settings.PlayerNames[1] = second;
        NewGame();
    }
    void At(int minutes) { now = TEventTime{Evening + std::chrono::minutes(minutes)}; }
};

// 301 double out, best of 1 set, Ann beginning. Leg 1, visit by visit (remaining before it):
//   Ann 100 (301), Bob 0 bust typed as 0 (301), Ann 140 taken back by Undo, Ann 42 (201), F5,
//   Bob 140 (301), Ann 0 (159), Bob 100 (161), Ann 99 (159), Bob 0 (61), Ann 0 (60),
//   Bob 0 (61), Ann 60 with 2 darts (60): won, 17 darts.
// Leg 2 Bob: 180, 121 won (Ann 0 between). Legs 3 and 4 Ann: 180, 121 (Bob 0, and 0 twice).
// Ann: 903 points in 5x3+2 + 3 + 6 + 6 = 32 darts: 903 / 32 x 3 = 84.65625. First three visits
//   of each leg: 100+42+0, 0, 180+121, 180+121 = 744 in 24 darts: 93.0. Chances: 0 (60), 60
//   (60), 121, 121 = 4 (from 159 none), 3 checkouts: 0.75. Best leg 6, highest checkout 121.
//   180s 2; 100-139: 100, 121, 121; 60-99: 99, 60; 40-59: 42.
// Bob: 541 points in 5x3 + 6 + 3 + 6 = 30 darts: 54.1. First nine: 0+140+100, 180+121, 0, 0+0
//   = 541 in 24 darts: 67.625. Chances 100 (161), 0 (61), 0 (61), 121 = 4, 1 checkout: 0.25.
TEST_F(StatisticsTest, ScriptedMatchGivesTheHandWorkedFigures) {
    NewMatch(1, 3, "Ann &<>\"'", "Bob");
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

    THistoryReader reader(HistoryPath());
    EXPECT_THAT(Lines(reader.Standings({})),
                ElementsAre("Ann &<>\"'|1|1|4|3|32|903|846562|930000|6|121|4|3|7500|2|0|3|2|1|"
                            "2026-12-07 20:00",
                            "Bob|1|0|4|1|30|541|541000|676250|6|121|4|1|2500|1|1|2|0|0|"
                            "2026-12-07 20:00"));
    const std::vector<TMatchSummary> matches = reader.Matches({});
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].Result(), "won");
    EXPECT_EQ(matches[0].WinnerName(), "Ann &<>\"'");
    EXPECT_EQ(matches[0].Game, "301 Double Out");
    EXPECT_EQ(matches[0].Players[0].Sets, 1);
    EXPECT_EQ(matches[0].Players[1].Figures.LegsWon, 1);
    const std::optional<TProfile> bob = reader.Profile("  BOB ", {});
    ASSERT_TRUE(bob.has_value());
    EXPECT_EQ(bob->Matches.at(0).Result, "lost");
    EXPECT_THAT(bob->Matches[0].Opponents, ElementsAre("Ann &<>\"'"));
    EXPECT_EQ(bob->Matches[0].Figures.First9Average(), 676250);
    EXPECT_TRUE(warnings.empty());
}

// Names equal but for case and surrounding blanks are one player, named as in the latest match;
// an abandoned match counts its visits but not as a match; the default names only when asked
// for; order by matches won, then average, then name; a period of local days takes a match by
// its start.
TEST_F(StatisticsTest, PlayersByNameOrderAndPeriod) {
    NewMatch(2, 2, "\xC9mile", "Player2"); // 2026-12-07 20:00 UTC, 501 double out, one leg
    PlayLeg(1);
    At(210); // 23:30 UTC
    NewMatch(2, 2, " \xE9MILE\t", "Zed");
    Enter("180");
    Enter("45");
    NewGame(); // abandoned
    At(300);   // 2026-12-08 01:00 UTC
    NewMatch(2, 2, "Zed", "Al");
    PlayLeg(1);
    store.reset();

    THistoryReader reader(HistoryPath());
    auto names = [](const std::vector<TPlayerStatistics>& standings) {
        std::vector<std::string> shown;
        for (const TPlayerStatistics& s : standings)
            shown.push_back(s.Name + " " + std::to_string(s.Figures.Matches) + "/" +
                            std::to_string(s.Figures.Darts));
        return shown;
    };
    // Al and Player2 won in 9 darts; Émile lost in 9 and threw 180 in the abandoned match (45.0);
    // Zed 45 and nine darts of 0 (11.25).
    EXPECT_THAT(names(reader.Standings({})),
                ElementsAre("Al 1/9", " \xC3\xA9MILE\t 1/12", "Zed 1/12"));
    EXPECT_THAT(names(reader.Standings({}, true)),
                ElementsAre("Al 1/9", "Player2 1/9", " \xC3\xA9MILE\t 1/12", "Zed 1/12"));
    // In Berlin (UTC+1) the first match began on the 7th at 21:00, the others on the 8th at 0:30
    // and 2:00.
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    struct TCase {
        std::optional<std::string> since, until;
        std::vector<std::string> shown;
    } cases[] = {
        {"2026-12-08", std::nullopt, {"Al 1/9", " \xC3\xA9MILE\t 0/3", "Zed 1/12"}},
        {std::nullopt, "2026-12-07", {"\xC3\x89mile 1/9"}},
        {"2026-12-07", "2026-12-07", {"\xC3\x89mile 1/9"}},
        {"2026-12-09", std::nullopt, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.since.value_or("-") + " " + c.until.value_or("-"));
        EXPECT_EQ(names(reader.Standings(PeriodOf(c.since, c.until))), c.shown);
    }
    EXPECT_EQ(reader.Matches(PeriodOf("2026-12-08", "2026-12-08")).at(0).Started,
              "2026-12-08 00:30");
    EXPECT_FALSE(reader.Profile("player9", {}).has_value());
    std::string unknown;
    EXPECT_FALSE(reader.HeadToHead("zed", "Bo", {}, &unknown).has_value());
    EXPECT_EQ(unknown, "Bo");
    EXPECT_FALSE(reader.HeadToHead("EMILE", "zed", {}).has_value()); // "E" is not "É"
    const THeadToHead met = *reader.HeadToHead("\xC3\xA9mile", "zed", {});
    EXPECT_EQ(met.Matches.size(), 1u);
    EXPECT_EQ(Line(met.Players[1]), "Zed|0|0|0|0|3|45|450000|450000|-|-|0|0|-|0|0|0|0|1|"
                                    "2026-12-08 00:30");
}

// The rules that stand alone: the name key, dates that are not dates, figures cut (not rounded)
// and ordered as shown, a name from the latest match met in and of two slots the lower number's.
TEST(StatisticsRules, NamesAndDates) {
    // À..Þ fold to à..þ, but × (U+00D7) and ß stay; blanks inside stay.
    EXPECT_EQ(NameKey(" \tJ\xC3\x9CRGEN Z\xC3\x80\xC3\x9E\xC3\x97\xC3\x9F \t"),
              "j\xC3\xBCrgen z\xC3\xA0\xC3\xBE\xC3\x97\xC3\x9F");
    EXPECT_EQ(NameKey("\xC3"), "\xC3"); // a cut sequence stays as it is
    EXPECT_EQ(NameKey("AZ@[`az"), "az@[`az");
    EXPECT_TRUE(IsDefaultName(" PLAYER1"));
    EXPECT_TRUE(IsDefaultName("player8"));
    EXPECT_FALSE(IsDefaultName("Player9"));
    EXPECT_FALSE(IsDefaultName("Player0"));
    EXPECT_FALSE(IsDefaultName("Player10"));

    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(PeriodOf("2028-02-29", "2026-12-31").From, "2028-02-29 00:00:00");
    EXPECT_EQ(PeriodOf(std::nullopt, "2026-12-31").To, "2027-01-01 00:00:00");
    for (const char* bad : {"2026-02-29", "2026-13-01", "2026-04-31", "2026-1-01", "2026-01-00",
                            "26-01-01", "2026/01/01", "2026-01-01 ", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(PeriodOf(std::string(bad), std::nullopt), EBrennixError);
    }
    EXPECT_EQ(LocalTimeText("2026-12-07 20:00:59"), "2026-12-07 20:00");
    EXPECT_EQ(LocalTimeText("2026-12-07T20:00:59"), "");
    // 886 in 53 darts (50.1509...) and 1003 in 60 (50.1500) are both shown 50.150: a tie, by name.
    std::vector<TPlayerStatistics> tied(2);
    tied[0].Name = "Zed", tied[0].Figures.Darts = 53, tied[0].Figures.Points = 886;
    tied[1].Name = "Amy", tied[1].Figures.Darts = 60, tied[1].Figures.Points = 1003;
    SortStandings(tied);
    TFigures& f = tied[0].Figures; // 53.0869... and 0.38095..., cut
    f.Darts = 23, f.Points = 407, f.CheckoutChances = 21, f.Checkouts = 8;
    EXPECT_EQ(Line(tied[0]), "Amy|0|0|0|0|23|407|530869|0|-|-|21|8|3809|0|0|0|0|0|");
    std::vector<TMatchSummary> matches(2); // Dora met Bo in the first only
    for (const auto& [m, number, name] :
         {std::tuple(0, 1, "Dora"), {0, 2, "dora"}, {0, 3, "Bo"}, {1, 1, "DORA"}, {1, 2, "Cy"}})
        matches[m].Players.push_back({number, name, std::nullopt, {}});
    EXPECT_EQ(HeadToHeadOf(matches, "bo", "dora")->Players[1].Name, "Dora");
}

// Files that are no history give their reason; rows no match can have are left out or read as
// they are, never a crash or a wild number.
TEST_F(StatisticsTest, FilesAndRowsThatCannotBeTrusted) {
    store.reset();
    auto exec = [](const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        char* message = nullptr;
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
        EXPECT_EQ(message, nullptr) << message;
        sqlite3_free(message);
        sqlite3_close(db);
    };
    auto reason = [](const std::string& path) {
        try {
            THistoryReader reader(path);
        } catch (const EBrennixError& error) {
            return std::string(error.what());
        }
        return std::string("opened");
    };
    WriteBytes(In("garbage"), std::vector<uint8_t>(4096, 0xA5));
    exec(In("empty"), "CREATE TABLE t (x)");
    exec(In("newer"), "PRAGMA user_version = " + std::to_string(HistorySchemaVersion + 1));
    exec(In("partial"), "PRAGMA user_version = 1; CREATE TABLE matches (id)");
    EXPECT_EQ(reason(In("missing")), "unable to open database file");
    EXPECT_EQ(reason(In("garbage")), "file is not a database");
    EXPECT_EQ(reason(In("empty")), "not a match history (no layout version)");
    EXPECT_EQ(reason(In("newer")),
              "a newer layout (version " + std::to_string(HistorySchemaVersion + 1) +
                  "; this Brennix knows up to " + std::to_string(HistorySchemaVersion) + ")");
    EXPECT_EQ(reason(In("partial")), "holds objects Brennix never makes (table 'matches')");
    EXPECT_EQ(reason(HistoryPath()), "opened");

    // A history made by hand in the program's layout but not by the store: a match with no
    // types at all, names that are a blob and no UTF-8, visits that are no visits, legs won by
    // nobody of the match or in no darts.
    const std::string path = In("by-hand.sqlite");
    exec(path,
         std::string(HistoryLayout1) +
             "PRAGMA user_version = 1;"
             "INSERT INTO matches VALUES (1, 'x', NULL, 'y', '', -5, '', NULL, 2, 'won', 7), "
             "(2, '2026-12-07 20:00:00', NULL, 99, 'g', 'n', 'f', NULL, 'n', 'won', 1), "
             "(3, '2026-12-07 19:00:00', NULL, 2, 'g', 2, 'f', NULL, 0, 'new game', NULL);"
             "INSERT INTO match_players VALUES (1, 1, x'FF41', NULL, NULL), (2, 1, 'Al', 1, "
             "NULL), (2, 2, 'x', -9, NULL), (2, 'n', 'n', NULL, NULL), (3, 1, 'al ', NULL, NULL);"
             "INSERT INTO legs VALUES (1, 2, 1, 1, 1, 1, -4), (2, 2, 1, 2, 1, 9, 3), (3, 2, 1, 3, "
             "1, 1, 12), (4, 2, 1, 4, 1, NULL, 1), (5, 3, 1, 1, 1, 1, 15);"
             "INSERT INTO visits (match_id, leg_id, player, score, darts, remaining_before, "
             "won_leg, at) VALUES (2, 1, 1, 180, 3, 501, 0, ''), (2, 1, 1, 181, 3, 321, 0, ''), "
             "(2, 1, 1, -1, 3, 321, 0, ''), (2, 1, 1, 60, 9, 321, 0, ''), "
             "(2, 1, 1, 9223372036854775807, 3, 0, 1, ''), (2, 1, 1, 'abc', 3, 0, 1, ''), "
             "(2, 1, 1, 170, 3, 180, 1, ''), (2, 1, 5, 60, 3, 501, 0, ''), "
             "(2, 1, 1, 2, 1, 'n', 1, ''), (1, 1, 1, 50, 3, 2, 1, ''), "
             "(2, 1, 2, 180, 3, 501, 'n', '')");
    THistoryReader reader(path);
    // Al: 180, a won 170 begun on 180 (a chance as it won), a won 2 begun on nothing: 352 in 7
    // darts. Legs 1 and 3 won (-4 darts is none), leg 2 by a number not in the match; an
    // abandoned match's leg of 15 darts as "al ". x: one
    // 180, a higher average than Al's but no match won. The blob's name: a finished match won by
    // nobody of it, begun at no time.
    EXPECT_THAT(Lines(reader.Standings({})),
                ElementsAre("Al|1|1|4|3|7|352|1508571|1508571|12|170|2|2|10000|1|1|0|0|0|"
                            "2026-12-07 20:00",
                            "x|1|0|3|0|3|180|1800000|1800000|-|-|0|0|-|1|0|0|0|0|"
                            "2026-12-07 20:00",
                            "\xFF"
                            "A|1|0|0|0|3|50|500000|500000|-|50|1|1|10000|0|0|0|0|1|"));
    const std::vector<TMatchSummary> matches = reader.Matches({});
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(matches[2].Started, "");
    EXPECT_EQ(matches[2].WinnerName(), "");
    EXPECT_EQ(matches[1].WinnerName(), "Al");
    EXPECT_EQ(matches[1].Players.size(), 2u); // not the one without a number
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

// brennix-report on a history of one match: whole reports in every format (the name with every
// character that HTML, CSV and JSON escape), and the exit status of each kind of mistake.
TEST_F(StatisticsTest, ReportOfTheHistory) {
    NewMatch(5, 2, "Al & \"Bo\" <x>'s", "Zo\xEB"); // 301 single out, one leg
    Enter("180");
    Enter("60");
    Enter("121", "2"); // Al: 301 in 5 darts, 180.6; one chance, taken
    At(24 * 60);
    NewMatch(5, 2, "Al & \"Bo\" <x>'s", "Zo\xEB");
    Enter("26");
    store.reset();
    const std::string h = HistoryPath();
    const std::string al = "\"Al & \"\"Bo\"\" <x>'s\"", zoe = "Zo\xC3\xAB";
    const std::string players =
        "name,matches,matches_won,legs,legs_won,darts,points,average,first9_average,best_leg,"
        "highest_checkout,checkout_chances,checkouts,checkout_rate,count_180,count_140,count_100,"
        "count_60,count_40,last_played\r\n";
    const std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Brennix "
        "standings</title>\n<style>\n" +
        std::string(report::HtmlStyle()) +
        "</style>\n</head>\n<body>\n<h1>Brennix standings</h1>\n<p class=\"path\">History: " + h +
        " \xC2\xB7 Until 2026-12-07</p>\n<table>\n<thead><tr><th>Name</th><th>Matches</th><th>"
        "Won</th><th>Legs</th><th>Legs won</th><th>Darts</th><th>Points</th><th>Average</th><th>"
        "First 9</th><th>Best leg</th><th>High out</th><th>Chances</th><th>Checkouts</th><th>"
        "Rate</th><th>180</th><th>140+</th><th>100+</th><th>60+</th><th>40+</th><th>Last played"
        "</th></tr></thead>\n<tbody>\n<tr><td>Al &amp; &quot;Bo&quot; &lt;x&gt;&#39;s</td>";
    const std::string cells = "<td class=\"n\">";
    struct TCase {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {{"--players", "--history", h},
         0,
         "Brennix standings\nHistory: " + h +
             "\n\nName             Matches  Won  Legs  Legs won  Darts  Points  Average  First 9  "
             "Best leg  High out  Chances  Checkouts   Rate  180  140+  100+  60+  40+  Last "
             "played\nAl & \"Bo\" <x>'s        1    1     1         1      8     327  122,625  "
             "122,625         5       121        1          1  1,000    1     0     1    0    0  "
             "2026-12-08 20:00\nZo\xC3\xAB                    1    0     1         0      3      "
             "60   60,000   60,000         -         -        0          0      -    0     0     0"
             "    1    0  2026-12-08 20:00\n",
         ""},
        {{"--format", "csv", "--players", "--history", h},
         0,
         players +
             "\"Al & \"\"Bo\"\" <x>'s\",1,1,1,1,8,327,122.625,122.625,5,121,1,1,1.000,1,0,1,"
             "0,0,2026-12-08 20:00\r\n" +
             zoe + ",1,0,1,0,3,60,60.000,60.000,,,0,0,,0,0,0,1,0,2026-12-08 20:00\r\n",
         ""},
        {{"--vs", zoe, " AL & \"bo\" <X>'s", "--since", "2026-12-07", "-f", "csv", "--csv-style",
          "excel", "--history", h},
         0,
         "\xEF\xBB\xBF"
         "name;matches;matches_won;legs;legs_won;darts;points;average;"
         "first9_average;best_leg;highest_checkout;checkout_chances;checkouts;checkout_rate;"
         "count_180;count_140;count_100;count_60;count_40;last_played\r\n" +
             zoe + ";1;0;1;0;3;60;60,000;60,000;;;0;0;;0;0;0;1;0;2026-12-08 20:00\r\n" + al +
             ";1;1;1;1;8;327;122,625;122,625;5;121;1;1;1,000;1;0;1;0;0;2026-12-08 20:00\r\n\r\n"
             "match;started;ended;game;format;result;winner;resumed;number;name;sets;legs_won;"
             "average;first9_average\r\n1;2026-12-07 20:00;2026-12-07 20:00;301 Single Out;Best of "
             "1 Leg;won;" +
             al + ";false;1;" + al +
             ";0;1;180,600;180,600\r\n1;2026-12-07 20:00;2026-12-07 "
             "20:00;301 Single Out;Best of 1 Leg;won;" +
             al + ";false;2;" + zoe +
             ";0;0;60,000;60,000\r\n2;2026-12-08 20:00;;301 Single Out;Best of 1 "
             "Leg;open;;false;1;" +
             al +
             ";;0;26,000;26,000\r\n2;2026-12-08 20:00;;301 Single Out;Best of 1 "
             "Leg;open;;false;2;" +
             zoe + ";;0;0,000;0,000\r\n",
         ""},
        {{"--player", " zo\xC3\x8B", "-f", "json", "--history", h, "--until", "2026-12-07"},
         0,
         "{\n  \"player\": {\n    \"name\": \"" + zoe +
             "\",\n    \"matches\": 1,\n    \"matches_won\": 0,\n    \"legs\": 1,\n    "
             "\"legs_won\": 0,\n    \"darts\": 3,\n    \"points\": 60,\n    \"average\": 60.0,\n   "
             " \"first9_average\": 60.0,\n    \"best_leg\": null,\n    \"highest_checkout\": "
             "null,\n    \"checkout_chances\": 0,\n    \"checkouts\": 0,\n    \"checkout_rate\": "
             "null,\n    \"count_180\": 0,\n    \"count_140\": 0,\n    \"count_100\": 0,\n    "
             "\"count_60\": 1,\n    \"count_40\": 0,\n    \"last_played\": \"2026-12-07 "
             "20:00\"\n  },\n  \"matches\": [\n    {\n      \"match\": 1,\n      \"started\": "
             "\"2026-12-07 20:00\",\n      \"game\": \"301 Single Out\",\n      \"format\": \"Best "
             "of 1 Leg\",\n      \"opponents\": [\n        \"Al & \\\"Bo\\\" <x>'s\"\n      ],\n "
             "     \"result\": \"lost\",\n      \"legs\": 1,\n      \"legs_won\": 0,\n      "
             "\"darts\": 3,\n      \"points\": 60,\n      \"average\": 60.0,\n      "
             "\"first9_average\": 60.0,\n      \"best_leg\": null,\n      \"highest_checkout\": "
             "null,\n      \"checkout_chances\": 0,\n      \"checkouts\": 0,\n      "
             "\"checkout_rate\": null,\n      \"count_180\": 0,\n      \"count_140\": 0,\n      "
             "\"count_100\": 0,\n      \"count_60\": 1,\n      \"count_40\": 0\n    }\n  ]\n}\n",
         ""},
        {{"--players", "--format", "html", "--until", "2026-12-07", "--history", h},
         0,
         html + cells + "1</td>" + cells + "1</td>" + cells + "1</td>" + cells + "1</td>" + cells +
             "5</td>" + cells + "301</td>" + cells + "180,600</td>" + cells + "180,600</td>" +
             cells + "5</td>" + cells + "121</td>" + cells + "1</td>" + cells + "1</td>" + cells +
             "1,000</td>" + cells + "1</td>" + cells + "0</td>" + cells + "1</td>" + cells +
             "0</td>" + cells + "0</td><td>2026-12-07 20:00</td></tr>\n<tr><td>" + zoe + "</td>" +
             cells + "1</td>" + cells + "0</td>" + cells + "1</td>" + cells + "0</td>" + cells +
             "3</td>" + cells + "60</td>" + cells + "60,000</td>" + cells + "60,000</td>" + cells +
             "-</td>" + cells + "-</td>" + cells + "0</td>" + cells + "0</td>" + cells + "-</td>" +
             cells + "0</td>" + cells + "0</td>" + cells + "0</td>" + cells + "1</td>" + cells +
             "0</td><td>2026-12-07 20:00</td></tr>\n</tbody>\n</table>\n</body>\n</html>\n",
         ""},
        {{"--player", "Nobody", "--history", h},
         1,
         "",
         "brennix-report: no player 'Nobody' in the matches of the history\n"},
        {{"--matches", "--history", In("none.sqlite")},
         1,
         "",
         "brennix-report: " + In("none.sqlite") + ": unable to open database file\n"},
        {{"--players", "--matches"},
         2,
         "",
         "one of --players, --player, --vs and --matches at a time"},
        {{"--players", "x.bx3"},
         2,
         "",
         "game files and --players, --player, --vs or --matches at the same time"},
        {{"--players", "--since", "2026-02-29"},
         2,
         "",
         "'2026-02-29' is not a date of the form YYYY-MM-DD"},
        {{"--matches", "--all-names"}, 2, "", "option '--all-names' needs --players"},
        {{"--until", "2026-12-07", "x.bx3"},
         2,
         "",
         "option '--until' needs --players, --player, --vs or --matches"},
        {{"--vs", "Al"}, 2, "", "option '--vs' needs two names"},
        {{"--vs", "zo\xC3\xAB", "ZO\xC3\x8B "}, 2, "", "option '--vs' needs two different players"},
        {{"--players", "--history", h, "-o", h},
         2,
         "",
         "brennix-report: " + h + ": is the history read; nothing was written\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const TRun run = Report(c.args);
        EXPECT_EQ(run.Status, c.status);
        EXPECT_EQ(run.Out, c.out);
        if (c.status == 2 && !c.err.ends_with("\n"))
            EXPECT_EQ(run.Err, "brennix-report: " + c.err +
                                   "\nTry 'brennix-report --help' for more information.\n");
        else
            EXPECT_EQ(run.Err, c.err);
    }
}

} // namespace
} // namespace brennix::test
