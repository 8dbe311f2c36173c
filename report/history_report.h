// Player statistics as a library: the four queries (the standings, a player's profile, two players
// head to head, the matches) over a board's own history or its club's database, their typed
// results, and the report's formats writing them. The program calls these directly; only
// brennix-report's entry reads a command line. No Qt.
#pragma once

#include "history/statistics.h"
#include "report.h"

#include <atomic>
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

// A request of all the matches, names and period, for a query without names.
inline THistoryRequest Request(THistoryQuery query) {
    THistoryRequest request;
    request.Query = query;
    return request;
}

// Where the figures are read from: a board's history file, or a club's PostgreSQL database (a
// libpq connection string or postgresql:// URI).
struct TStatisticsSource {
    enum class TKind { History, Club } Kind = TKind::History;
    std::string Place; // the history's path or the club's URL
};
inline TStatisticsSource HistorySource(std::string path) {
    return {TStatisticsSource::TKind::History, std::move(path)};
}
inline TStatisticsSource ClubSource(std::string url) {
    return {TStatisticsSource::TKind::Club, std::move(url)};
}

// Ends a query under way from another thread: a club's connection stops waiting for the server
// at once, a history stops reading. Raised once, it stays raised.
class TQueryStop {
  public:
    TQueryStop();
    ~TQueryStop();
    TQueryStop(const TQueryStop&) = delete;
    TQueryStop& operator=(const TQueryStop&) = delete;

    void Raise();
    bool Raised() const { return raised_.load(); }
    // Readable once raised (for poll).
    int Fd() const { return pipe_[0]; }

  private:
    int pipe_[2] = {-1, -1};
    std::atomic<bool> raised_{false};
};

struct TQueryOptions {
    int ClubWaitSeconds = 60;         // bounds the club's connect and every statement
    const TQueryStop* Stop = nullptr; // none: the query runs to its end
};

// What a request found, as read: the rows of the report before any format is chosen.
struct TStatistics {
    THistoryRequest Request;
    std::string Note; // where from: "History: PATH", "Club: DATABASE at HOST:PORT"
    bool Club = false;
    // --players: the standings; --player: the player; --vs: the two players.
    std::vector<TPlayerStatistics> Players;
    std::vector<TProfileMatch> Profile; // --player: the player's matches
    std::vector<TMatchSummary> Matches; // --vs: the matches both played; --matches: every one
    std::string Caveat; // a line the report adds after its notes (what the figures lack); or none
};

// The statistics, or the reason they could not be read (the history or the club that cannot be
// read, a date that is not one, a named player without a match in the period).
struct TStatisticsOutcome {
    std::optional<TStatistics> Statistics;
    std::string Error;
};

// Runs a request on a source. Never raises: every failure comes back with its reason.
TStatisticsOutcome QueryStatistics(const THistoryRequest& request, const TStatisticsSource& source,
                                   const TQueryOptions& options = {});

// The report of what was read, in one of the four formats.
std::string FormatStatistics(const TStatistics& statistics, TFormat format,
                             TCsvStyle csvStyle = TCsvStyle::Rfc);

// The history file the program uses: history.sqlite in the data folder it chooses for the
// executable's folder (the report lies beside the program, built or installed).
std::string DefaultHistoryPath();

} // namespace brennix::report
