// Reports of the match history: the standings, a player's profile, two players head to head and
// the list of matches, in the same four formats as the game-file reports.
#pragma once

#include "history/statistics.h"
#include "report.h"

#include <optional>
#include <string>
#include <vector>

namespace brennix::report {

enum class THistoryQuery { Players, Player, Vs, Matches };

struct THistoryRequest {
    THistoryQuery Query = THistoryQuery::Players;
    std::vector<std::string> Names;          // the player of --player, the two of --vs
    std::optional<std::string> Since, Until; // as given, "YYYY-MM-DD"
    bool AllNames = false;
};

// The history file the program uses: history.sqlite in the data folder it chooses for the
// executable's folder (the report lies beside the program, built or installed).
std::string DefaultHistoryPath();

// The report of a request on the history at `path`. Raises EBrennixError with the reason when the
// history cannot be read, a date is not one, or a named player played no match in the period.
std::string HistoryReport(const THistoryRequest& request, const std::string& path, TFormat format,
                          TCsvStyle csvStyle = TCsvStyle::Rfc);

// The same report over every board of a club, read from the club's database at `url` (a libpq
// connection string or postgresql:// URI) in read-only transactions; the matches name their
// board beside the board's number for them. Raises EBrennixError with the reason when the server
// cannot be reached, the database holds no club or a newer layout, or as HistoryReport.
std::string ClubReport(const THistoryRequest& request, const std::string& url, TFormat format,
                       TCsvStyle csvStyle = TCsvStyle::Rfc);

} // namespace brennix::report
