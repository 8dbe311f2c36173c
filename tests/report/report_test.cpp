// brennix-report: a played match against the golden text table, a hand-made game whose every
// value is worked out here, the command line and the files it refuses.
#include "../storage/storage_fixture.h"

#include "report/cli.h"
#include "report/text.h"
#include "storage/game_file.h"
#include "storage/settings_file.h"

#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <utime.h>

namespace brennix::test {
namespace {

struct TRun {
    int Status;
    std::string Out, Err;
};

class ReportTest : public StorageTest {
  protected:
    // Local time is UTC here, so that a file's time reads the same on every machine.
    void SetUp() override {
        StorageTest::SetUp();
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    // Gives a file the modification time 2026-12-07 14:05:59 UTC.
    static void Stamp(const std::string& path) {
        const utimbuf times{1796652359, 1796652359};
        ASSERT_EQ(::utime(path.c_str(), &times), 0);
    }

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
        Stamp(In(name));
        EngineTest::SetUp();
        return In(name);
    }

    // 501 Double Out, best of 3 sets, player 2 to throw, player 1 to begin the leg and the set.
    // Player 1: every character HTML escapes in the name, 121 left, won legs of 18 and then 12
    // darts, a visit of 0. Player 2: a name stored in ISO 8859-1, no won leg, 21 visits, averages
    // on both sides of the board's smallest shown one.
    std::string SaveHandMade(const std::string& name,
                             const std::string& first = "Al & \"Bo\" <x>'s",
                             const std::string& second = "Zo\xEB") const {
        TGameFileRecord game;
        game.Settings.PlayerCount = 2, game.Settings.GameType = 2, game.Settings.MatchFormat = 4;
        game.Settings.Outshots = FirstRunSettings().Outshots;
        game.Settings.PlayerNames = {first, second};
        game.ActivePlayer = game.NextLegStarter = 1;
        TPlayerStats &al = game.Players[0], &zo = game.Players[1];
        for (int i = 0; i < HistorySize; ++i) {
            al.History[i] = i < 6 ? std::array{100, 0, 180, 60, 59, 140}[i] : -1; // newest first
            zo.History[i] = i < 21 ? i + 1 : -1;
        }
        al.WonLegDarts[0] = 18, al.WonLegDarts[1] = 12;
        al.Remaining = 121, al.Sets = 1, al.Legs = 2, al.Points = 380;
        al.Count40 = 7, al.Count60 = 6, al.Count100 = 5, al.Count140 = 4, al.Count180 = 3;
        al.LegAverage = 450789, al.MatchAverage = 10059, al.DartsLeg = 9, al.DartsMatch = 48;
        zo.Remaining = 501, zo.LegAverage = 999, zo.MatchAverage = 1000;
        const TGameImage image = EncodeGameRecord(game);
        WriteBytes(In(name), {image.begin(), image.end()});
        Stamp(In(name));
        return In(name);
    }

    // The tool's run, the temporary folder written DIR.
    TRun Run(const std::vector<std::string>& args, bool brokenOut = false) const {
        std::ostringstream out, err;
        if (brokenOut) out.setstate(std::ios::badbit);
        const int status = report::RunReport(args, out, err);
        return {status, Masked(out.str()), Masked(err.str())};
    }
    std::string Masked(std::string text) const {
        for (size_t at; (at = text.find(dir.string())) != std::string::npos;)
            text.replace(at, dir.string().size(), "DIR");
        return text;
    }
};

TEST_F(ReportTest, TextTableMatchesTheGoldenFile) {
    const TRun run = Run({PlayAndSave("match.bx3")});
    const std::vector<uint8_t> golden = ReadBytes(BRENNIX_REPORT_GOLDEN "/match.txt");
    EXPECT_EQ(run.Out, std::string(golden.begin(), golden.end()));
}

// The hand-made game under two names, as CSV (both styles) and JSON, every field: averages cut
// to three decimals with their zeros, the best leg the shortest, the visit of 0 kept, quoting a
// field with the separator of its style, the caption without the board's doubled words; names
// a spreadsheet would run as formulas marked as text in the excel style only.
TEST_F(ReportTest, EveryFormatGivesTheHandWorkedValues) {
    const std::string path = SaveHandMade("x,y.bx3"), other = In("s;t.bx3");
    const std::string formulas = SaveHandMade("a=b.bx3", "=1+2", "@x");
    fs::copy_file(path, other);
    const auto rfcRows = [](const std::string& file,
                            const std::string& al = "\"Al & \"\"Bo\"\" <x>'s\"",
                            const std::string& zo = "Zo\xC3\xAB") {
        return file + ",501 Double Out,Best of 3 Sets,2,1,2,1,1," + al +
               ",121,T20 T11 D14,1,2,380,7,6,5,4,3,45.078,1.005,9,48,18 12,12,100 0 180 60 59 "
               "140\r\n" +
               file + ",501 Double Out,Best of 3 Sets,2,1,2,1,2," + zo +
               ",501,,0,0,0,0,0,0,0,0,0.099,0.100,0,0,,,1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 "
               "18 19 20 21\r\n";
    };
    const auto excelRows = [](const std::string& file,
                              const std::string& al = "\"Al & \"\"Bo\"\" <x>'s\"",
                              const std::string& zo = "Zo\xC3\xAB") {
        return file + ";501 Double Out;Best of 3 Sets;2;1;2;1;1;" + al +
               ";121;T20 T11 D14;1;2;380;7;6;5;4;3;45,078;1,005;9;48;18 12;12;100 0 180 60 59 "
               "140\r\n" +
               file + ";501 Double Out;Best of 3 Sets;2;1;2;1;2;" + zo +
               ";501;;0;0;0;0;0;0;0;0;0,099;0,100;0;0;;;1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 "
               "18 19 20 21\r\n";
    };
    const std::string rfc =
        "file,game_type,match_format,player_to_throw,leg_starter,next_leg_starter,"
        "next_set_starter,number,name,remaining,checkout,sets,legs,points,count_40,count_60,"
        "count_100,count_140,count_180,leg_average,match_average,darts_leg,darts_match,"
        "won_leg_darts,best_leg,visits\r\n" +
        rfcRows("\"DIR/x,y.bx3\"") + rfcRows("DIR/s;t.bx3");
    const std::string excel =
        "\xEF\xBB\xBF"
        "file;game_type;match_format;player_to_throw;leg_starter;next_leg_starter;"
        "next_set_starter;number;name;remaining;checkout;sets;legs;points;count_40;count_60;"
        "count_100;count_140;count_180;leg_average;match_average;darts_leg;darts_match;"
        "won_leg_darts;best_leg;visits\r\n" +
        excelRows("DIR/x,y.bx3") + excelRows("\"DIR/s;t.bx3\"");
    const auto json = [](const std::string& file) {
        return R"({"file":")" + file +
               R"(","caption":"501 Double Out · Best of 3 Sets",)"
               R"("game_type":{"code":2,"text":"501 Double Out","start_score":501},)"
               R"("match_format":{"code":4,"text":"Best of 3 Sets"},"player_to_throw":2,)"
               R"("leg_starter":1,"next_leg_starter":2,"next_set_starter":1,"players":[{"number":1,)"
               R"("name":"Al & \"Bo\" <x>'s","remaining":121,"checkout":"T20 T11 D14","sets":1,)"
               R"("legs":2,"points":380,"count_40":7,"count_60":6,"count_100":5,"count_140":4,)"
               R"("count_180":3,"leg_average":45.078,"match_average":1.005,"darts_leg":9,)"
               R"("darts_match":48,"won_leg_darts":[18,12],"best_leg":12,"visits":[100,0,180,60,59,)"
               R"(140]},{"number":2,"name":"Zoë","remaining":501,"checkout":null,"sets":0,"legs":0,)"
               R"("points":0,"count_40":0,"count_60":0,"count_100":0,"count_140":0,"count_180":0,)"
               R"("leg_average":0.099,"match_average":0.1,"darts_leg":0,"darts_match":0,)"
               R"("won_leg_darts":[],"best_leg":null,"visits":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,)"
               R"(16,17,18,19,20,21]}]})";
    };
    for (const auto& [args, expected] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--format", "csv"}, rfc},
             {{"--csv-style=rfc", "-fcsv", formulas}, rfc + rfcRows("DIR/a=b.bx3", "=1+2", "@x")},
             {{"-fcsv", "--csv-style", "excel", formulas},
              excel + excelRows("DIR/a=b.bx3", "'=1+2", "'@x")},
             {{"--format", "json"}, "[" + json("DIR/x,y.bx3") + "," + json("DIR/s;t.bx3") + "]"}}) {
        std::vector<std::string> all = args;
        all.insert(all.begin(), {path, other});
        const std::string out = Run(all).Out;
        EXPECT_EQ(args[1] == "json" ? nlohmann::ordered_json::parse(out).dump() : out, expected);
    }
}

// The hand-made game twice as HTML and text: the file's name and time first, names escaped, the
// thrower's row picked out, visits as bars oldest first coloured by the counters' bounds, the
// axis labels apart, the colours' legend, the best leg picked out; the board's averages (none
// below ,100), no trailing blanks, twenty visits a line, games a blank line apart.
TEST_F(ReportTest, HtmlAndTextShowTheHandWorkedValues) {
    const std::string path = SaveHandMade("game.bx3");
    const std::string al = "Al &amp; &quot;Bo&quot; &lt;x&gt;&#39;s";
    const std::string n = "<td class=\"n\">";
    for (const auto& [format, part] : std::vector<std::pair<std::string, std::string>>{
             {"html", "<h2>game.bx3 · 2026-12-07 14:05</h2>\n<p class=\"path\">DIR/game.bx3</p>\n"
                      "<p class=\"caption\">501 Double Out · Best of 3 Sets</p>"},
             {"html", "<p class=\"turns\"><span>To throw: 2 Zoë</span><span>Leg starter: 1 " + al +
                          "</span><span>Next leg starter: 2 Zoë</span><span>Next set starter: 1 " +
                          al},
             {"html", "<tr>" + n + "1</td><td>" + al + "</td>" + n + "121</td>" + n + "1</td>" + n +
                          "2</td>" + n + "380</td>" + n + "7</td>" + n + "6</td>" + n + "5</td>" +
                          n + "4</td>" + n + "3</td>" + n + "45,078</td>" + n + "1,005</td>" + n +
                          "9</td>" + n + "48</td><td>T20 T11 D14</td><td>18 12</td>" + n +
                          "12</td></tr>"},
             {"html", "<tr class=\"throw\">" + n + "2</td><td>Zoë</td>" + n + "501</td>"},
             {"html", n + "0</td>" + n + "</td>" + n + ",100</td>" + n + "0</td>" + n +
                          "0</td><td></td><td></td>" + n + "</td></tr>"},
             {"html", "<rect x=\"30\" y=\"35\" width=\"9\" height=\"93\" fill=\"#e06c00\">"
                      "<title>140</title></rect>\n<rect x=\"41\" y=\"89\" width=\"9\" "
                      "height=\"39\" fill=\"#8a9499\"><title>59</title></rect>\n<rect x=\"52\" "
                      "y=\"88\" width=\"9\" height=\"40\" fill=\"#2e8b57\"><title>60</title>"
                      "</rect>\n<rect x=\"63\" y=\"8\" width=\"9\" height=\"120\" "
                      "fill=\"#b3261e\"><title>180</title></rect>\n<rect x=\"74\" y=\"128\" "
                      "width=\"9\" height=\"0\" fill=\"#8a9499\"><title>0</title></rect>\n"
                      "<rect x=\"85\" y=\"61\" width=\"9\" height=\"67\" fill=\"#d9a400\">"
                      "<title>100</title></rect>\n"},
             {"html", "<text x=\"28\" y=\"140\">oldest</text><text x=\"104\" y=\"140\" "
                      "text-anchor=\"end\">newest</text>"},
             {"html",
              "<p class=\"legend\">Visits: <span><b style=\"color:#b3261e\">■</b> 180</span>"
              "<span><b style=\"color:#e06c00\">■</b> 140+</span><span><b style=\"color:"
              "#d9a400\">■</b> 100+</span><span><b style=\"color:#2e8b57\">■</b> 60+</span>"
              "<span><b style=\"color:#8a9499\">■</b> under 60</span>Won legs: <span><b "
              "style=\"color:#2f6f9f\">■</b> darts of a leg</span><span><b style=\"color:"
              "#b3261e\">■</b> best leg</span></p>\n<div class=\"charts\">"},
             {"html", "<rect x=\"4\" y=\"14\" width=\"20\" height=\"90\" fill=\"#2f6f9f\">"
                      "<title>18 darts</title></rect><text x=\"14\" y=\"11\" "
                      "text-anchor=\"middle\">18</text>\n<rect x=\"30\" y=\"44\" width=\"20\" "
                      "height=\"60\" fill=\"#b3261e\"><title>12 darts</title></rect>"},
             {"html", "<figcaption>1 " + al + "</figcaption>"},
             {"html", "<div>Darts of the won legs</div>\n<p class=\"none\">No legs won</p>"},
             {"text", "\n2  Zoë                501     0     0       0    0    0     0     0    0  "
                      "              ,100          0            0\n"},
             {"text", "\n1  Al & \"Bo\" <x>'s  100 0 180 60 59 140\n2  Zoë              1 2 3 4 5 "
                      "6 7 8 9 10 11 12 13 14 15 16 17 18 19 20\n"
                      "                    21\n\ngame.bx3 · 2026-12-07 14:05\nPath:             "
                      "DIR/game.bx3\nGame:             501 Double Out · Best of 3 Sets\n"}})
        EXPECT_NE(Run({"-f", format, path, path}).Out.find(part), std::string::npos) << part;
}

// The command line: options before, between or after the files, exit statuses 0, 1 and 2, the
// first line of the report and every message exactly; a folder without game files; the file's
// time in local time.
TEST_F(ReportTest, CommandLine) {
    const std::string game = SaveHandMade("game.bx3"), me = "brennix-report: ";
    const std::string heading = "game.bx3 · 2026-12-07 14:05";
    const std::string usage =
        "Usage: brennix-report [--format text|json|csv|html] [--csv-style rfc|excel]";
    fs::create_directory(dir / "e");
    const std::string more = "\nTry 'brennix-report --help' for more information.\n";
    for (const auto& [args, status, firstLine, err] :
         std::vector<std::tuple<std::vector<std::string>, int, std::string, std::string>>{
             {{game}, 0, heading, ""},
             {{"-fjson", game}, 0, "[", ""},
             {{game, "--format=html"}, 0, "<!DOCTYPE html>", ""},
             {{"-f", "json", "--", "-f"}, 1, "[]", me + "-f: File not found\n"},
             {{In("\xE9.bx3"), game}, 1, heading, me + "DIR/\xC3\xA9.bx3: File not found\n"},
             {{In("e"), game}, 1, heading, me + "DIR/e: no game files (*.bx3) in this folder\n"},
             {{"-h", "--bogus"}, 0, usage, ""},
             {{}, 2, "", me + "no game file or folder given" + more},
             {{"--bogus", "-h"}, 2, "", me + "unknown option '--bogus'" + more},
             {{"--form", "csv", game}, 2, "", me + "unknown option '--form'" + more},
             {{"-hx"}, 2, "", me + "unknown option '-hx'" + more},
             {{"-fxml"}, 2, "", me + "unknown format 'xml' (text, json, csv or html)" + more},
             {{"--csv-style=x"}, 2, "", me + "unknown CSV style 'x' (rfc or excel)" + more},
             {{"--csv-style=rfc"}, 2, "", me + "option '--csv-style' needs --format csv" + more},
             {{game, "--output"}, 2, "", me + "option '--output' needs a value" + more}}) {
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, status) << err;
        EXPECT_EQ(run.Out.substr(0, run.Out.find('\n')), firstLine);
        EXPECT_EQ(run.Err, err);
    }
    ::setenv("TZ", "XYZ-1", 1); // an hour east of UTC
    ::tzset();
    EXPECT_EQ(Run({game}).Out.substr(0, heading.size()), "game.bx3 · 2026-12-07 15:05");
    const TRun broken = Run({game}, true);
    EXPECT_EQ(broken.Status, 1);
    EXPECT_EQ(broken.Err, me + "cannot write the report\n");
}

// A folder stands for its *.bx3 files in name order, not a folder so named; a file that cannot
// be reported is named with the reason and the others are still reported.
TEST_F(ReportTest, AFolderAndTheFilesThatCannotBeReported) {
    const std::vector<uint8_t> bytes = ReadBytes(SaveHandMade("d.bx3"));
    for (const char* name : {"b.bx3", "h.bx3", "c.bx3", "e.bx3", "a.bx3.txt"})
        WriteBytes(In(name), bytes);
    WriteBytes(In("c-short.bx3"), {bytes.begin(), bytes.begin() + 100});
    fs::create_directory(dir / "e-folder.bx3");
    const TRun run = Run({"-f", "json", dir.string(), In("gone.bx3")});
    EXPECT_EQ(run.Status, 1);
    std::vector<std::string> files;
    for (const auto& game : nlohmann::json::parse(run.Out))
        files.push_back(game["file"]);
    EXPECT_EQ(files, (std::vector<std::string>{"DIR/b.bx3", "DIR/c.bx3", "DIR/d.bx3", "DIR/e.bx3",
                                               "DIR/h.bx3"}));
    EXPECT_EQ(run.Err, "brennix-report: DIR/c-short.bx3: not a game file: 100 bytes, a game file "
                       "has 14516\nbrennix-report: DIR/gone.bx3: File not found\n");
}

// -o replaces its file only with a whole report; never a folder, a game file read (by any name)
// or an earlier report when no file could be reported.
TEST_F(ReportTest, OutputFile) {
    const std::string game = SaveHandMade("game.bx3");
    const std::vector<uint8_t> bytes = ReadBytes(game);
    EXPECT_EQ(Run({"-o", In("out.csv"), "-f", "csv", game}).Out, "");
    const std::vector<uint8_t> csv = ReadBytes(In("out.csv"));
    EXPECT_EQ(Masked({csv.begin(), csv.end()}), Run({"-f", "csv", game}).Out);
    fs::create_hard_link(game, In("link"));
    ASSERT_EQ(::mkfifo(In("pipe").c_str(), 0644), 0);
    const std::string me = "brennix-report: DIR",
                      same = ": is one of the game files read; nothing was written\n";
    for (const auto& [args, status, err] :
         std::vector<std::tuple<std::vector<std::string>, int, std::string>>{
             {{"-o", game, game}, 2, me + "/game.bx3" + same},
             {{"-o", In("link"), game}, 2, me + "/link" + same},
             {{"-o", In("pipe"), In("pipe")}, 2, me + "/pipe" + same},
             {{"-o", game, dir.string()}, 2, me + "/game.bx3" + same},
             {{"-o", dir.string(), game}, 2, me + ": is a folder\n"},
             {{"-o", In("out.csv"), In("gone.bx3")}, 1, me + "/gone.bx3: File not found\n"},
             {{"-o", In("no/out.csv"), game}, 1, me + "/no/out.csv: Invalid filename\n"}}) {
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, status) << err;
        EXPECT_EQ(run.Err, err);
        EXPECT_EQ(ReadBytes(game), bytes);
        EXPECT_EQ(ReadBytes(In("out.csv")), csv);
    }
}

// Texts: UTF-8 checked (overlong forms, surrogates, past U+10FFFF, cut sequences), control
// characters (C0, DEL, C1) shown as U+FFFD.
TEST(ReportText, Utf8AndControlCharacters) {
    const std::string x = "\xEF\xBF\xBD";
    for (const auto& [text, utf8, shown] : std::vector<std::tuple<std::string, bool, std::string>>{
             {"Zo\xC3\xAB \xF0\x9F\x8E\xAF", true, "Zo\xC3\xAB \xF0\x9F\x8E\xAF"},
             {"a\tb\x7F", true, "a" + x + "b" + x},
             {"\xC2\x9F\xC2\xA0", true, x + "\xC2\xA0"},
             {"\xE0\x80\xAF", false, x + x + x},
             {"\xED\xA0\x80", false, x + x + x},
             {"\xF4\x90\x80\x80", false, x + x + x + x},
             {"\xE2\x82", false, x + x}}) {
        EXPECT_EQ(report::IsUtf8(text), utf8) << shown;
        EXPECT_EQ(report::Printable(text), shown);
    }
}

} // namespace
} // namespace brennix::test
