#include "history_changes.h"

#include "history_layout.h"

#include <sqlite3.h>
#include <string_view>

namespace brennix {

namespace {

EHistoryReadError ReadError(sqlite3* db) {
    return EHistoryReadError(std::string("the match history cannot be read (") +
                             sqlite3_errmsg(db) + ")");
}

// The rows of a query with one parameter (?1), finalized however the reading ends.
class TRows {
  public:
    TRows(sqlite3* db, const char* sql, int64_t parameter) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) throw ReadError(db);
        sqlite3_bind_int64(statement_, 1, parameter);
    }
    ~TRows() { sqlite3_finalize(statement_); }
    TRows(const TRows&) = delete;
    TRows& operator=(const TRows&) = delete;

    // Steps to the next row; false after the last.
    bool Next() {
        const int code = sqlite3_step(statement_);
        if (code == SQLITE_ROW) return true;
        if (code != SQLITE_DONE) throw ReadError(db_);
        return false;
    }
    int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
    THistoryText Text(int column) const {
        const auto* text = sqlite3_column_text(statement_, column);
        if (!text) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(text));
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

std::optional<THistoryMatch> ReadMatch(sqlite3* db, int64_t match) {
    THistoryMatch read;
    {
        TRows head(db,
                   "SELECT revision, started_at, ended_at, game_type, game, match_format, "
                   "format, starter, resumed, end_reason, winner FROM matches WHERE id = ?",
                   match);
        if (!head.Next()) return std::nullopt;
        read.Revision = head.Int(0);
        int c = 1;
        for (THistoryText* column :
             {&read.StartedAt, &read.EndedAt, &read.GameType, &read.Game, &read.MatchFormat,
              &read.Format, &read.Starter, &read.Resumed, &read.EndReason, &read.Winner})
            *column = head.Text(c++);
    }
    TRows players(db, "SELECT player, name, sets, legs FROM match_players WHERE match_id = ?",
                  match);
    while (players.Next())
        read.Players.push_back(
            {players.Text(0), players.Text(1), players.Text(2), players.Text(3)});
    TRows legs(db,
               "SELECT id, set_no, leg_no, starter, winner, winner_darts FROM legs WHERE "
               "match_id = ?",
               match);
    while (legs.Next())
        read.Legs.push_back(
            {legs.Text(0), legs.Text(1), legs.Text(2), legs.Text(3), legs.Text(4), legs.Text(5)});
    TRows visits(db,
                 "SELECT id, leg_id, player, score, darts, remaining_before, won_leg, at FROM "
                 "visits WHERE match_id = ?",
                 match);
    while (visits.Next())
        read.Visits.push_back({visits.Text(0), visits.Text(1), visits.Text(2), visits.Text(3),
                               visits.Text(4), visits.Text(5), visits.Text(6), visits.Text(7)});
    return read;
}

} // namespace

THistoryChanges::THistoryChanges(const std::string& path) {
    const int code = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    if (code != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        sqlite3_close_v2(db_);
        throw EHistoryReadError("the match history " + path + " cannot be read (" + reason + ")");
    }
    sqlite3_busy_timeout(db_, 2000);
    GuardHistory(db_);
}

THistoryChanges::~THistoryChanges() {
    sqlite3_close_v2(db_);
}

std::vector<TMatchRevision> THistoryChanges::Revisions(int64_t above) {
    std::vector<TMatchRevision> changed;
    TRows rows(db_, "SELECT id, revision FROM matches WHERE revision > ?", above);
    while (rows.Next()) {
        // SQLite sorts a text above every number: it counts as the number it reads as.
        const TMatchRevision match{rows.Int(0), rows.Int(1)};
        if (match.Revision > above) changed.push_back(match);
    }
    return changed;
}

std::optional<THistoryMatch> THistoryChanges::Match(int64_t match) {
    Exec("BEGIN");
    std::optional<THistoryMatch> read;
    try {
        read = ReadMatch(db_, match);
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return read;
}

std::map<int64_t, int64_t> THistoryChanges::RowCounts() {
    std::map<int64_t, int64_t> counts;
    TRows rows(db_,
               "SELECT match_id, count(*) FROM (SELECT match_id FROM match_players UNION ALL "
               "SELECT match_id FROM legs UNION ALL SELECT match_id FROM visits) GROUP BY match_id",
               int64_t{0});
    while (rows.Next())
        counts[rows.Int(0)] = rows.Int(1);
    return counts;
}

std::optional<std::string> THistoryChanges::Identity() {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT identity FROM history_identity", -1, &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        if (std::string_view(sqlite3_errmsg(db_)).starts_with("no such table")) return std::nullopt;
        throw ReadError(db_);
    }
    const int code = sqlite3_step(statement);
    std::optional<std::string> identity;
    if (code == SQLITE_ROW && sqlite3_column_type(statement, 0) == SQLITE_TEXT)
        identity = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    if (code != SQLITE_ROW && code != SQLITE_DONE) throw ReadError(db_);
    // Only what the program makes: 32 hexadecimal digits.
    if (!identity || identity->size() != 32 ||
        identity->find_first_not_of("0123456789abcdef") != std::string::npos)
        return std::nullopt;
    return identity;
}

void THistoryChanges::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw ReadError(db_);
}

} // namespace brennix
