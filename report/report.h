// Match reports: what a saved game holds, worked out from the decoded record alone, and the four
// ways of writing it down (a text table, JSON, CSV and a printable HTML sheet). Pure functions:
// nothing here reads or changes the program's match state.
#pragma once

#include "storage/game_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix::report {

// One player in play. Texts are UTF-8.
struct TReportPlayer {
    int32_t Number = 0; // 1-based
    std::string Name;   // as the board shows it
    int32_t Remaining = 0;
    std::string Checkout; // the board's suggestion for the remaining score; empty for none
    int32_t Sets = 0, Legs = 0, Points = 0;
    std::array<int32_t, 5> Counts{};          // 40+, 60+, 100+, 140+, 180
    int32_t LegAverage = 0, MatchAverage = 0; // three-dart averages x 10000
    int32_t DartsLeg = 0, DartsMatch = 0;
    std::vector<int32_t> WonLegDarts; // darts of every won leg, in the order they were won
    std::optional<int32_t> BestLeg;   // the shortest of them
    std::vector<int32_t> Visits;      // the stored visits, newest first
};

// One game file.
struct TReportGame {
    std::string File;    // the path as given, UTF-8
    std::string Caption; // the board's game-type caption
    int32_t GameType = 0;
    std::string GameTypeText; // the list text without its leading blanks; empty outside the list
    int32_t StartScore = 0;
    int32_t MatchFormat = 0;
    std::string MatchFormatText; // empty outside the list
    int32_t PlayerToThrow = 0, LegStarter = 0, NextLegStarter = 0, NextSetStarter = 0; // 1-based
    std::vector<TReportPlayer> Players;
};

enum class TFormat { Text, Json, Csv, Html };

// What a decoded game file holds, as the board would show it after loading the file.
TReportGame ReportGame(const TGameFileRecord& record, const std::string& file);

// The whole report of a list of games in one format.
std::string FormatReport(TFormat format, const std::vector<TReportGame>& games);
std::string FormatText(const std::vector<TReportGame>& games);
std::string FormatJson(const std::vector<TReportGame>& games);
std::string FormatCsv(const std::vector<TReportGame>& games);
std::string FormatHtml(const std::vector<TReportGame>& games);

// A path is the file system's bytes: kept when they are UTF-8 already, else read as ISO 8859-1.
std::string PathToUtf8(std::string_view path);
// A three-dart average x 10000 with three decimals, cut as the board cuts it: "45.678".
std::string AverageDecimal(int32_t value);

} // namespace brennix::report
