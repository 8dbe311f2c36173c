// brennix-report on game files that the engine itself played and saved: every format, and the
// files it cannot report.
#include "../storage/storage_fixture.h"

#include "report/cli.h"
#include "storage/checkout_table.h"
#include "storage/game_file.h"
#include "storage/settings_file.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>

namespace brennix::test {
namespace {

using report::RunReport;

struct TRun {
    int Status;
    std::string Out, Err;
};

class ReportTest : public StorageTest {
  protected:
    // Three players in a best-of-three-sets 501 with the standard checkout table: a nine-dart
    // leg for the first, a twelve-dart leg for the second, then a few visits of a third leg.
    // The second name holds a comma, quotes and a "<", the first a character stored as one
    // byte. The match state is wiped afterwards: the report has the file alone.
    std::string PlayAndSave(const std::string& name) {
        Settings.PlayerNames = {"J\xF6rg", "Bo, \"the\" <Arrow>", "Cy"};
        Settings.Outshots = FirstRunSettings().Outshots;
        StartMatch(3, 2, 4);
        PlayLeg(0);
        for (int guard = 0; guard < 30 && Players[1].Legs == 0; ++guard)
            Enter(ActivePlayer == 1 ? std::min(Players[1].Remaining, 140) : 0);
        for (const int score : {60, 100, 140, 26, 180, 45, 81})
            Enter(score);
        Enter("100", "2");
        GameFileName = In(name);
        SaveGameFile();
        EngineTest::SetUp();
        return In(name);
    }

    static TRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = RunReport(args, out, err);
        return {status, out.str(), err.str()};
    }

    // An RFC 4180 reader for the check.
    static std::vector<std::vector<std::string>> ParseCsv(const std::string& csv) {
        std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
        bool quoted = false;
        for (size_t i = 0; i < csv.size(); ++i) {
            const char c = csv[i];
            if (quoted && c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && c == ',') {
                rows.back().emplace_back();
            } else if (!quoted && c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
                rows.emplace_back(1);
                ++i;
            } else {
                rows.back().back() += c;
            }
        }
        if (rows.back() == std::vector<std::string>(1)) rows.pop_back();
        return rows;
    }
};

TEST_F(ReportTest, JsonParsesBackToTheRecords) {
    const std::string path = PlayAndSave("match.bx3");
    const TGameFileRecord record = GameFromFile(ReadBytes(path), path);
    const TRun run = Run({"--format", "json", path});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");

    const auto all = nlohmann::json::parse(run.Out);
    ASSERT_EQ(all.size(), 1u);
    const auto& game = all[0];
    EXPECT_EQ(game["file"], path);
    EXPECT_EQ(game["game_type"]["code"], record.Settings.GameType);
    EXPECT_EQ(game["game_type"]["text"], "501 Double Out");
    EXPECT_EQ(game["game_type"]["start_score"], 501);
    EXPECT_EQ(game["match_format"]["code"], record.Settings.MatchFormat);
    EXPECT_EQ(game["match_format"]["text"], "Best of 3 Sets");
    EXPECT_EQ(game["caption"], "  501 Double Out - Best of Best of 3 Sets");
    EXPECT_EQ(game["player_to_throw"], record.ActivePlayer + 1);
    EXPECT_EQ(game["leg_starter"], record.LegStarter + 1);
    EXPECT_EQ(game["next_leg_starter"], record.NextLegStarter + 1);
    EXPECT_EQ(game["next_set_starter"], record.NextSetStarter + 1);

    ASSERT_EQ(game["players"].size(), 3u);
    const std::array<std::string, 3> names = {"J\xC3\xB6rg", "Bo, \"the\" <Arrow>", "Cy"};
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        const auto& player = game["players"][p];
        const TPlayerStats& stats = record.Players[p];
        EXPECT_EQ(player["number"], p + 1);
        EXPECT_EQ(player["name"], names[p]);
        EXPECT_EQ(player["remaining"], stats.Remaining);
        EXPECT_EQ(player["sets"], stats.Sets);
        EXPECT_EQ(player["legs"], stats.Legs);
        EXPECT_EQ(player["points"], stats.Points);
        EXPECT_EQ(player["count_40"], stats.Count40);
        EXPECT_EQ(player["count_60"], stats.Count60);
        EXPECT_EQ(player["count_100"], stats.Count100);
        EXPECT_EQ(player["count_140"], stats.Count140);
        EXPECT_EQ(player["count_180"], stats.Count180);
        for (const auto& [field, value] : {std::pair{"leg_average", stats.LegAverage},
                                           std::pair{"match_average", stats.MatchAverage}}) {
            ASSERT_TRUE(player[field].is_number_float()) << field;
            const double average = player[field];
            EXPECT_NEAR(average, value / 10000.0, 0.001) << field;
            EXPECT_NEAR(average * 1000, std::round(average * 1000), 1e-6) << "three decimals";
        }
        EXPECT_EQ(player["darts_leg"], stats.DartsLeg);
        EXPECT_EQ(player["darts_match"], stats.DartsMatch);
        std::vector<int32_t> won, visits;
        for (const int32_t darts : stats.WonLegDarts)
            if (darts > 0) won.push_back(darts);
        for (const int32_t visit : stats.History)
            if (visit >= 0) visits.push_back(visit);
        EXPECT_EQ(player["won_leg_darts"].get<std::vector<int32_t>>(), won);
        EXPECT_EQ(player["visits"].get<std::vector<int32_t>>(), visits);
        if (won.empty())
            EXPECT_TRUE(player["best_leg"].is_null());
        else
            EXPECT_EQ(player["best_leg"], *std::min_element(won.begin(), won.end()));
    }
    // The played match: two won legs, a player without one, the newest visit first.
    EXPECT_EQ(game["players"][0]["won_leg_darts"], nlohmann::json::parse("[9]"));
    EXPECT_EQ(game["players"][1]["won_leg_darts"], nlohmann::json::parse("[12]"));
    EXPECT_TRUE(game["players"][2]["best_leg"].is_null());
    EXPECT_EQ(game["players"][0]["visits"][0], 100);
    EXPECT_EQ(game["players"][0]["checkout"], StandardCheckouts[121 - 1]); // 121 left
}

TEST_F(ReportTest, CsvHasOneRowPerPlayerAndKeepsCommasAndQuotes) {
    const std::string path = PlayAndSave("match.bx3");
    const TRun run = Run({"--format=csv", path, path});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto rows = ParseCsv(run.Out);
    ASSERT_EQ(rows.size(), 1u + 2 * 3) << "a header and a row per player per file";
    EXPECT_EQ(rows[0][0], "file");
    EXPECT_EQ(rows[0][8], "name");
    for (const auto& row : rows)
        EXPECT_EQ(row.size(), rows[0].size());
    EXPECT_EQ(rows[1][8], "J\xC3\xB6rg");
    EXPECT_EQ(rows[2][8], "Bo, \"the\" <Arrow>");
    EXPECT_EQ(rows[3][8], "Cy");
    EXPECT_EQ(rows[4][0], path);
    EXPECT_EQ(rows[0][19], "leg_average");
    EXPECT_TRUE(rows[1][19].find('.') != std::string::npos) << rows[1][19];
}

TEST_F(ReportTest, HtmlIsOneSelfContainedPageWithEscapedNames) {
    const std::string path = PlayAndSave("match.bx3");
    const TRun run = Run({"--format", "html", path});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string& html = run.Out;
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find("Bo, &quot;the&quot; &lt;Arrow&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<Arrow"), std::string::npos);
    EXPECT_NE(html.find("J\xC3\xB6rg"), std::string::npos);
    EXPECT_NE(html.find("<svg"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("http:"), std::string::npos) << "nothing from the internet";
}

TEST_F(ReportTest, TextTableMatchesTheGoldenFile) {
    const std::string path = PlayAndSave("match.bx3");
    const TRun run = Run({path});
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::string text = run.Out;
    text.replace(0, dir.string().size(), "DIR");
    const std::string golden = BRENNIX_REPORT_GOLDEN "/match.txt";
    if (std::getenv("BRENNIX_UPDATE_GOLDEN")) std::ofstream(golden) << text;
    const std::vector<uint8_t> expected = ReadBytes(golden);
    EXPECT_EQ(text, std::string(expected.begin(), expected.end()));
}

// A folder gives its *.bx3 files in name order; what is not a game file gets one line on
// standard error, the rest is still reported, and the exit status says so.
TEST_F(ReportTest, BadFilesAreNamedAndTheOthersStillReported) {
    const std::string good = PlayAndSave("b-good.bx3");
    const std::vector<uint8_t> bytes = ReadBytes(good);
    WriteBytes(In("a-short.bx3"), {bytes.begin(), bytes.begin() + 100});
    for (const uint8_t count : {0, 9}) {
        std::vector<uint8_t> changed = bytes;
        changed[0] = count;
        WriteBytes(In("c-count" + std::to_string(count) + ".bx3"), changed);
    }
    ASSERT_EQ(::mkfifo(In("d-pipe.bx3").c_str(), 0644), 0);
    WriteBytes(In("e-protected.bx3"), bytes);
    fs::permissions(In("e-protected.bx3"), fs::perms::owner_read | fs::perms::group_read);
    WriteBytes(In("f-not-a-game.txt"), {});
    fs::create_directory(dir / "g-folder.bx3");

    const TRun run = Run({"--format", "json", dir.string(), In("missing.bx3"), good});
    EXPECT_EQ(run.Status, 1);
    std::vector<std::string> files;
    for (const auto& game : nlohmann::json::parse(run.Out))
        files.push_back(game["file"]);
    EXPECT_EQ(files, (std::vector<std::string>{good, In("e-protected.bx3"), good}));

    std::vector<std::string> lines;
    std::istringstream err(run.Err);
    for (std::string line; std::getline(err, line);)
        lines.push_back(line);
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "brennix-report: " + In("a-short.bx3") +
                ": not a game file: 100 bytes, a game file has 14516",
            "brennix-report: " + In("c-count0.bx3") + ": not a game file: player count 0, not 1-8",
            "brennix-report: " + In("c-count9.bx3") + ": not a game file: player count 9, not 1-8",
            "brennix-report: " + In("d-pipe.bx3") + ": not a regular file",
            "brennix-report: " + In("missing.bx3") + ": File not found",
        }));

    // Every file good: status 0. A wrong command line: status 2 and nothing reported.
    EXPECT_EQ(Run({good}).Status, 0);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"--format", "xml", good}, {"--bogus", good}, {"-o"}}) {
        const TRun wrong = Run(args);
        EXPECT_EQ(wrong.Status, 2);
        EXPECT_EQ(wrong.Out, "");
        EXPECT_NE(wrong.Err, "");
    }
    const TRun help = Run({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.starts_with("Usage: brennix-report")) << help.Out;

    // -o writes the same report to a file; a file that cannot be written is an error.
    const TRun toFile = Run({"-o", In("out.csv"), "--format", "csv", good});
    EXPECT_EQ(toFile.Status, 0);
    EXPECT_EQ(toFile.Out, "");
    const std::vector<uint8_t> written = ReadBytes(In("out.csv"));
    EXPECT_EQ(std::string(written.begin(), written.end()), Run({"-f", "csv", good}).Out);
    const TRun nowhere = Run({"-o", In("no-folder/out.csv"), good});
    EXPECT_EQ(nowhere.Status, 1);
    EXPECT_NE(nowhere.Err.find("no-folder/out.csv"), std::string::npos) << nowhere.Err;

    // -o never destroys anything: not a game file read, nor an earlier report when nothing
    // could be reported, nor a folder.
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"-o", good, good},
                                               {"-o", good, dir.string()},
                                               {"-o", In("out.csv"), In("gone.bx3")}}) {
        const TRun kept = Run(args);
        EXPECT_NE(kept.Status, 0) << args[1];
        EXPECT_EQ(ReadBytes(good), bytes) << args[1];
        EXPECT_EQ(ReadBytes(In("out.csv")), written) << args[1];
    }
    EXPECT_EQ(Run({"-o", dir.string(), good}).Status, 2);
}

} // namespace
} // namespace brennix::test
