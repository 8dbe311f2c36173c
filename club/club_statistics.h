// Player statistics over every board of a club, read from the club's database: the standings, a
// player's profile, head to head and the matches, as a board's own history gives them (the same
// structures, figures and rules), the figures worked out by the server. Only ever reads: every
// query runs in a read-only transaction. No Qt.
#pragma once

#include "history/statistics.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix::club {

class TConnection;

class TClubReader {
  public:
    // Connects to the club's database (a libpq connection string or postgresql:// URI). Raises
    // EBrennixError with libpq's reason when the server cannot be reached, and when the database
    // has no club layout or a newer one than this program knows.
    // waitSeconds bounds the connect and every statement; stopFd, when readable, ends them at
    // once (the program is quitting).
    explicit TClubReader(const std::string& url, int waitSeconds = 60, int stopFd = -1);
    ~TClubReader();
    TClubReader(const TClubReader&) = delete;
    TClubReader& operator=(const TClubReader&) = delete;

    // Where the figures come from, without a password: "club at 127.0.0.1:5432".
    std::string Where() const;

    // As THistoryReader's, over every board; a match is known by its board and the board's number.
    std::vector<TPlayerStatistics> Standings(const TPeriod& period, bool allNames = false);
    std::optional<TProfile> Profile(std::string_view name, const TPeriod& period);
    std::optional<THeadToHead> HeadToHead(std::string_view one, std::string_view other,
                                          const TPeriod& period, std::string* unknown = nullptr);
    std::vector<TMatchSummary> Matches(const TPeriod& period);

  private:
    std::vector<TMatchSummary> Read(const TPeriod& period, const std::vector<std::string>& keys);

    std::unique_ptr<TConnection> db_;
};

} // namespace brennix::club
