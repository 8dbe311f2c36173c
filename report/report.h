// Match reports: what a saved game holds, worked out from the decoded record alone, and the four
// ways of writing it down (a text table, JSON, CSV and a printable HTML sheet). Pure functions:
// nothing here reads or changes the program's match state.
#pragma once

#include "engine/figures.h"
#include "storage/game_file.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix::report {

// One player in play: the board's figures of the record, its texts in UTF-8.
struct TReportPlayer {
    int32_t Number = 0;     // 1-based
    std::string Name;       // as the board shows it
    std::string Checkout;   // the board's suggestion for the remaining score; empty for none
    TPlayerFigures Figures; // as the board works them out (their checkout text as stored)
};

// One game file.
struct TReportGame {
    std::string File;                    // the path as given, UTF-8
    std::optional<std::time_t> Modified; // the file's modification time, when known
    std::string Caption; // game type and match format: "501 Double Out · Best of 3 Sets"
    int32_t GameType = 0;
    std::string GameTypeText; // the list text without its leading blanks; empty outside the list
    int32_t StartScore = 0;
    int32_t MatchFormat = 0;
    std::string MatchFormatText; // empty outside the list
    int32_t PlayerToThrow = 0, LegStarter = 0, NextLegStarter = 0, NextSetStarter = 0; // 1-based
    std::vector<TReportPlayer> Players;
};

enum class TFormat { Text, Json, Csv, Html };

// How the CSV is written: RFC 4180 (commas, decimal points, the data unchanged), or for
// spreadsheets that expect the list separator and decimal comma of most European languages (a
// byte-order mark, semicolons, decimal commas, a ' before a text a spreadsheet would run as a
// formula).
enum class TCsvStyle { Rfc, Excel };

// What a decoded game file holds, as the board would show it after loading the file.
TReportGame ReportGame(const TGameFileRecord& record, const std::string& file);

// The whole report of a list of games in one format.
std::string FormatReport(TFormat format, const std::vector<TReportGame>& games,
                         TCsvStyle csvStyle = TCsvStyle::Rfc);
std::string FormatText(const std::vector<TReportGame>& games);
std::string FormatJson(const std::vector<TReportGame>& games);
std::string FormatCsv(const std::vector<TReportGame>& games, TCsvStyle style = TCsvStyle::Rfc);
std::string FormatHtml(const std::vector<TReportGame>& games);

// "2 Bob" for player 2 of the game, "2" for a number without a player. UTF-8, as stored.
std::string NumberedName(const TReportGame& game, int32_t number);

// The heading of a game: the file's name and its modification time in local time
// ("SaveA104.bx3 · 2026-12-07 14:05"), the name alone when the time is not known. UTF-8.
std::string FileHeading(const TReportGame& game);

// A path is the file system's bytes: kept when they are UTF-8 already, else read as ISO 8859-1.
std::string PathToUtf8(std::string_view path);

} // namespace brennix::report
