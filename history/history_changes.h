// The match history as read by whoever copies it elsewhere (the club's worker): which matches
// changed since a revision, and one match whole. A read-only connection of its own, beside the
// one writing the file. Every value but the revision is the text SQLite gives for its column,
// so a copy holds what the history holds, to the byte. No Qt.
#pragma once

#include "engine/errors.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace brennix {

// The history cannot be opened or read (a problem of the board's own file, not of the copy).
class EHistoryReadError : public EBrennixError {
  public:
    using EBrennixError::EBrennixError;
};

// A match and the revision of its last change.
struct TMatchRevision {
    int64_t Match = 0, Revision = 0;
};

// A column's text as SQLite gives it; none for NULL.
using THistoryText = std::optional<std::string>;

// One match as the history holds it: its row, its players, legs and visits.
struct THistoryMatch {
    struct TPlayer {
        THistoryText Player, Name, Sets, Legs;
    };
    struct TLeg {
        THistoryText Id, SetNo, LegNo, Starter, Winner, WinnerDarts;
    };
    struct TVisit {
        THistoryText Id, LegId, Player, Score, Darts, RemainingBefore, WonLeg, At;
    };

    int64_t Revision = 0;
    THistoryText StartedAt, EndedAt, GameType, Game, MatchFormat, Format, Starter, Resumed,
        EndReason, Winner;
    std::vector<TPlayer> Players;
    std::vector<TLeg> Legs;
    std::vector<TVisit> Visits;
};

class THistoryChanges {
  public:
    // Raises EHistoryReadError when the file cannot be opened.
    explicit THistoryChanges(const std::string& path);
    ~THistoryChanges();
    THistoryChanges(const THistoryChanges&) = delete;
    THistoryChanges& operator=(const THistoryChanges&) = delete;

    // The matches whose revision is above the one given (every match for the lowest int64_t).
    // A revision that is not a whole number reads as SQLite turns it into one ("x" as 0).
    // Raises EHistoryReadError.
    std::vector<TMatchRevision> Revisions(int64_t above);
    // The match read in one snapshot; none when it has no row. Raises EHistoryReadError.
    std::optional<THistoryMatch> Match(int64_t match);
    // The rows each match has (its players, legs and visits together), matches with none left
    // out. Raises EHistoryReadError.
    std::map<int64_t, int64_t> RowCounts();
    // The identity the history was made with (an older layout, not yet brought up to date by
    // the program, has none). Raises EHistoryReadError.
    std::optional<std::string> Identity();

  private:
    void Exec(const char* sql);

    sqlite3* db_ = nullptr;
};

} // namespace brennix
