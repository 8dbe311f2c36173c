// Player statistics across matches, read from a match history (history.sqlite) that is only ever
// read here: standings of all players, one player's profile, two players head to head, and the
// list of matches. Every row of the file is taken as untrusted: a value no match can have is left
// out, a file that is no match history is an error with its reason. No Qt.
#pragma once

#include "engine/rules.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace brennix {

// What makes two names one player: the name without surrounding blanks (spaces and tabs), its
// letters A-Z and U+00C0-U+00DE (but U+00D7) in lower case. Names are UTF-8.
std::string NameKey(std::string_view name);

// Whether a name is one of the game's default names "Player1" ... "Player8" (by its key).
bool IsDefaultName(std::string_view name);

// Matches taken into account by their start: From inclusive, To exclusive, both UTC texts in the
// history's own form ("2026-12-07 20:00:00"); an empty bound is open.
struct TPeriod {
    std::string From, To;
};

// The period of the local calendar days since..until (both inclusive, "YYYY-MM-DD"). Raises
// EBrennixError naming the text that is not such a date.
TPeriod PeriodOf(const std::optional<std::string>& since, const std::optional<std::string>& until);

// The stored UTC time "YYYY-MM-DD HH:MM:SS" as local time "YYYY-MM-DD HH:MM"; "" for a text that
// is no such time.
std::string LocalTimeText(std::string_view utc);

// A player's figures over some matches: what the standings show.
struct TFigures {
    int64_t Matches = 0, MatchesWon = 0;       // finished matches
    int64_t Legs = 0, LegsWon = 0;             // finished legs of the player's matches
    int64_t Darts = 0, Points = 0;             // every recorded visit
    int64_t First9Darts = 0, First9Points = 0; // the first three visits of each leg
    std::optional<int64_t> BestLeg;            // fewest darts in a won leg
    std::optional<int64_t> HighestCheckout;    // largest visit that won a leg
    int64_t CheckoutChances = 0, Checkouts = 0;
    int64_t Count180 = 0, Count140 = 0, Count100 = 0, Count60 = 0, Count40 = 0;

    // Three-dart averages x 10000, as the board keeps them but cut from the exact quotient, not
    // rounded: shown with three decimals they are the quotient's first three. 0 without darts.
    int32_t Average() const;
    int32_t First9Average() const;
    // Checkouts / checkout chances x 10000 (a fraction), cut likewise; none without a chance.
    std::optional<int32_t> CheckoutRate() const;
    void Add(const TFigures& other);
};

struct TPlayerStatistics {
    // As in the player's latest match taken; of two slots of one match, the lower number's.
    std::string Name;
    TFigures Figures;
    std::string LastPlayed; // the start of the latest match, local "YYYY-MM-DD HH:MM"
};

// A player of a match.
struct TMatchPlayer {
    int64_t Number = 0; // from 1
    std::string Name;
    std::optional<int64_t> Sets; // of a won match
    TFigures Figures;            // in this match (LegsWon: the legs won recorded)
};

struct TMatchSummary {
    int64_t Id = 0;
    std::string Board;          // the club's board that played it; "" in a board's own history
    std::string Started, Ended; // local "YYYY-MM-DD HH:MM"; "" when not known
    int64_t GameType = 0, MatchFormat = 0;
    std::string Game, Format; // "501 Double Out", "Best of 3 Sets"
    std::string EndReason;    // "won", why it was abandoned ("new game", ...), "" while open
    bool Resumed = false;
    std::optional<int64_t> Winner; // a player's number, for a won match
    std::vector<TMatchPlayer> Players;

    bool Finished() const { return EndReason == "won"; }
    // "won", "abandoned (new game)" or "open".
    std::string Result() const;
    // The winner's name; "" without one.
    std::string WinnerName() const;
};

// One match of a player's profile.
struct TProfileMatch {
    TMatchSummary Match;
    std::vector<std::string> Opponents; // the other players' names, in order
    std::string Result;                 // "won", "lost", "abandoned" or "open"
    TFigures Figures;                   // the player's own in this match
};

struct TProfile {
    TPlayerStatistics Player;
    std::vector<TProfileMatch> Matches; // in the order they were played
};

// Two players over the matches both played: each one's figures in those matches.
struct THeadToHead {
    std::array<TPlayerStatistics, 2> Players;
    std::vector<TMatchSummary> Matches; // in the order they were played
};

// What the standings, a profile and head to head make of matches read with every player's figures
// in them, whoever read them (a board's history or the club's): the same rules for both.
// By matches won, then average as shown (three decimals; both highest first), then name; equal
// ones keep their order.
void SortStandings(std::vector<TPlayerStatistics>& standings);
// One player's figures and matches; none when the name played none of the matches.
std::optional<TProfile> ProfileOf(const std::vector<TMatchSummary>& matches, std::string_view name);
// Two players over the matches both played, named as in the latest of these (as in their own
// latest when they never met); none when either played none (unknown says which).
std::optional<THeadToHead> HeadToHeadOf(const std::vector<TMatchSummary>& matches,
                                        std::string_view one, std::string_view other,
                                        std::string* unknown = nullptr);

// How long one read of a history may take: past it the read ends with an error saying so.
inline constexpr std::chrono::milliseconds HistoryReadLimit{10000};

// A player's number in a match of the history: 1 to 8; a name of at most this many bytes (the
// game keeps 26 characters). Rows with others are no player's and are left out.
inline constexpr int64_t MostNameBytes = 256;

// A match history opened for reading only; it may be written by the program at the same time.
// Nothing the file holds beyond the program's own tables and indexes is run or read.
class THistoryReader {
  public:
    // Raises EBrennixError with the reason when the file is missing, is not an SQLite database,
    // holds anything but the tables and indexes of its layout, or has a layout newer than this
    // program knows. busyMilliseconds bounds the wait for a file locked by its writer; once
    // stopped() says so, or a read has taken `limit`, waits and reads end with an error.
    explicit THistoryReader(const std::string& path, int busyMilliseconds = 2000,
                            std::function<bool()> stopped = {},
                            std::chrono::milliseconds limit = HistoryReadLimit);
    ~THistoryReader();
    THistoryReader(const THistoryReader&) = delete;
    THistoryReader& operator=(const THistoryReader&) = delete;

    // Every player of the matches in the period, in SortStandings' order; the default names only
    // with allNames.
    std::vector<TPlayerStatistics> Standings(const TPeriod& period, bool allNames = false);
    // One player's figures and matches; none when the name played no match in the period.
    std::optional<TProfile> Profile(std::string_view name, const TPeriod& period);
    // Two players; none when either played no match in the period (unknown says which name).
    std::optional<THeadToHead> HeadToHead(std::string_view one, std::string_view other,
                                          const TPeriod& period, std::string* unknown = nullptr);
    // Every match of the period, finished, abandoned or open, in the order they were played.
    std::vector<TMatchSummary> Matches(const TPeriod& period);

  private:
    // The matches of the period (with keys, those a player of one of them played), their players
    // and figures, in the order played.
    std::vector<TMatchSummary> Read(const TPeriod& period, const std::vector<std::string>& keys);
    // Runs a read within the time limit.
    void Within(const std::function<void()>& read);

    bool Stopped() const { return stopped_ && stopped_(); }
    // Whether the read under way has run past its limit (said once it has).
    bool Overdue();

    std::string path_;
    int busyMilliseconds_;
    std::function<bool()> stopped_;
    std::chrono::milliseconds limit_;
    std::chrono::steady_clock::time_point deadline_;
    bool overdue_ = false;
    sqlite3* db_ = nullptr;
    int64_t layout_ = 0; // the file's layout version
};

} // namespace brennix
