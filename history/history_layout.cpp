#include "history_layout.h"

#include "engine/rules.h"
#include "engine/text_forms.h"

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <tuple>
#include <vector>

namespace brennix {

// The first layout: one table each for matches, their players, legs, visits and game-file saves.
const char* const HistoryLayout1 = R"(
CREATE TABLE matches (
    id INTEGER PRIMARY KEY,
    started_at TEXT NOT NULL,
    ended_at TEXT,
    game_type INTEGER NOT NULL,
    game TEXT NOT NULL,
    match_format INTEGER NOT NULL,
    format TEXT NOT NULL,
    starter INTEGER,
    resumed INTEGER NOT NULL,
    end_reason TEXT,
    winner INTEGER
);
CREATE TABLE match_players (
    match_id INTEGER NOT NULL REFERENCES matches(id),
    player INTEGER NOT NULL,
    name TEXT NOT NULL,
    sets INTEGER,
    legs INTEGER,
    PRIMARY KEY (match_id, player)
);
CREATE TABLE legs (
    id INTEGER PRIMARY KEY,
    match_id INTEGER NOT NULL REFERENCES matches(id),
    set_no INTEGER NOT NULL,
    leg_no INTEGER NOT NULL,
    starter INTEGER NOT NULL,
    winner INTEGER,
    winner_darts INTEGER,
    UNIQUE (match_id, set_no, leg_no)
);
CREATE TABLE visits (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    match_id INTEGER NOT NULL REFERENCES matches(id),
    leg_id INTEGER NOT NULL REFERENCES legs(id),
    player INTEGER NOT NULL,
    score INTEGER NOT NULL,
    darts INTEGER NOT NULL,
    remaining_before INTEGER NOT NULL,
    won_leg INTEGER NOT NULL,
    at TEXT NOT NULL
);
CREATE INDEX visits_of_match ON visits (match_id, player);
CREATE INDEX visits_of_leg ON visits (leg_id);
CREATE TABLE saves (
    path TEXT PRIMARY KEY,
    match_id INTEGER NOT NULL REFERENCES matches(id),
    last_visit INTEGER NOT NULL,
    saved_at TEXT NOT NULL
);
)";

const char* const PlayerFiguresColumns = R"((
    match_id INTEGER NOT NULL REFERENCES matches(id),
    player INTEGER NOT NULL,
    legs INTEGER NOT NULL,
    legs_won INTEGER NOT NULL,
    best_leg INTEGER,
    darts INTEGER NOT NULL,
    points INTEGER NOT NULL,
    first9_darts INTEGER NOT NULL,
    first9_points INTEGER NOT NULL,
    highest_checkout INTEGER,
    checkout_chances INTEGER NOT NULL,
    checkouts INTEGER NOT NULL,
    count_180 INTEGER NOT NULL,
    count_140 INTEGER NOT NULL,
    count_100 INTEGER NOT NULL,
    count_60 INTEGER NOT NULL,
    count_40 INTEGER NOT NULL,
    PRIMARY KEY (match_id, player)
))";

namespace {

// A statement of MakePlayerFigures, bound to the one match when there is one.
class TFiguresQuery {
  public:
    TFiguresQuery(sqlite3* db, const std::string& sql, std::optional<int64_t> match) : db_(db) {
        const int code = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr);
        if (code != SQLITE_OK) throw ESqlError(code, sqlite3_errmsg(db));
        if (match) sqlite3_bind_int64(statement_, 1, *match);
    }
    ~TFiguresQuery() { sqlite3_finalize(statement_); }
    TFiguresQuery(const TFiguresQuery&) = delete;
    TFiguresQuery& operator=(const TFiguresQuery&) = delete;

    bool Step() {
        const int code = sqlite3_step(statement_);
        if (code == SQLITE_ROW) return true;
        if (code != SQLITE_DONE) throw ESqlError(code, sqlite3_errmsg(db_));
        sqlite3_reset(statement_);
        return false;
    }
    int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
    bool Whole(int column) const {
        return sqlite3_column_type(statement_, column) == SQLITE_INTEGER;
    }
    bool Null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    sqlite3_stmt* Handle() const { return statement_; }

  private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// A player's figures in a match, in player_figures' order.
struct TPlayerFigures {
    int64_t Legs = 0, LegsWon = 0;
    std::optional<int64_t> BestLeg;
    int64_t Darts = 0, Points = 0, First9Darts = 0, First9Points = 0;
    std::optional<int64_t> HighestCheckout;
    int64_t CheckoutChances = 0, Checkouts = 0;
    int64_t Count180 = 0, Count140 = 0, Count100 = 0, Count60 = 0, Count40 = 0;
};

} // namespace

void MakePlayerFigures(sqlite3* db, std::optional<int64_t> match) {
    const std::string one = match ? " WHERE match_id = ?1" : "";
    // The players, with the out rule of their match. Ordered maps: numbers from the file cannot
    // be chosen to make a lookup slow.
    std::map<std::pair<int64_t, int64_t>, TPlayerFigures> players; // match, number
    std::map<int64_t, TOutRule> rules;
    TFiguresQuery rows(db,
                       "SELECT p.match_id, p.player, m.game_type FROM match_players p JOIN "
                       "matches m ON m.id = p.match_id" +
                           std::string(match ? " WHERE p.match_id = ?1" : ""),
                       match);
    while (rows.Step()) {
        players.try_emplace({rows.Int(0), rows.Int(1)});
        rules.emplace(rows.Int(0), OutRuleOf(rows.Int(2)));
    }
    // The visits in the order they were booked, in one pass. Only visits a match can have count:
    // a whole score of 0-180 with at most three darts, of a player the match has; the first
    // three of them of each player in each leg are the first nine.
    std::map<std::tuple<int64_t, int64_t, int64_t>, int> visitsInLeg; // match, leg, player
    TFiguresQuery visits(db,
                         "SELECT match_id, leg_id, player, score, darts, remaining_before, "
                         "won_leg FROM visits" +
                             one + " ORDER BY id",
                         match);
    while (visits.Step()) {
        if (!visits.Whole(3) || !visits.Whole(4)) continue;
        const int64_t score = visits.Int(3), darts = visits.Int(4);
        if (score < 0 || score > 180 || darts < 0 || darts > 3) continue;
        const auto found = players.find({visits.Int(0), visits.Int(2)});
        if (found == players.end()) continue;
        TPlayerFigures& f = found->second;
        const bool won = visits.Int(6) == 1;
        f.Points += score;
        f.Darts += darts;
        // The board's counters: 180, 140-179, 100-139, 60-99, 40-59.
        int64_t* counter = score == 180   ? &f.Count180
                           : score >= 140 ? &f.Count140
                           : score >= 100 ? &f.Count100
                           : score >= 60  ? &f.Count60
                           : score >= 40  ? &f.Count40
                                          : nullptr;
        if (counter) ++*counter;
        if (won) {
            ++f.Checkouts;
            f.HighestCheckout = std::max(f.HighestCheckout.value_or(score), score);
        }
        if (won || IsCheckoutChance(visits.Int(5), rules.at(visits.Int(0)))) ++f.CheckoutChances;
        if (++visitsInLeg[{visits.Int(0), visits.Int(1), visits.Int(2)}] <= 3) {
            f.First9Points += score;
            f.First9Darts += darts;
        }
    }
    // Finished legs: each one counts for every player of its match.
    TFiguresQuery legs(db,
                       "SELECT match_id, winner, COUNT(*), MIN(CASE WHEN winner_darts > 0 THEN "
                       "winner_darts END) FROM legs WHERE winner IS NOT NULL" +
                           std::string(match ? " AND match_id = ?1" : "") +
                           " GROUP BY match_id, winner",
                       match);
    while (legs.Step())
        for (auto at = players.lower_bound({legs.Int(0), INT64_MIN});
             at != players.end() && at->first.first == legs.Int(0); ++at) {
            at->second.Legs += legs.Int(2);
            if (at->first.second != legs.Int(1)) continue;
            at->second.LegsWon = legs.Int(2);
            at->second.BestLeg = legs.Null(3) ? std::nullopt : std::optional<int64_t>(legs.Int(3));
        }

    TFiguresQuery(db, "DELETE FROM player_figures" + one, match).Step();
    TFiguresQuery write(db,
                        "INSERT INTO player_figures VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                        "?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)",
                        std::nullopt);
    for (const auto& [key, f] : players) {
        sqlite3_stmt* statement = write.Handle();
        const int64_t values[] = {
            key.first,         key.second,  f.Legs,        f.LegsWon,      0,
            f.Darts,           f.Points,    f.First9Darts, f.First9Points, 0,
            f.CheckoutChances, f.Checkouts, f.Count180,    f.Count140,     f.Count100,
            f.Count60,         f.Count40};
        for (int k = 0; k < 17; ++k)
            sqlite3_bind_int64(statement, k + 1, values[k]);
        for (const auto& [column, value] :
             {std::pair(5, f.BestLeg), std::pair(10, f.HighestCheckout)})
            if (value)
                sqlite3_bind_int64(statement, column, *value);
            else
                sqlite3_bind_null(statement, column);
        write.Step();
    }
}

namespace {

// The second layout. A visit taken back or cut by a load is set aside with what its leg needs to
// be made again, since a game file saved before may still hold it. A save is known by its
// content (a 64-bit FNV-1a hash of the file's bytes), wherever the file lies, and records the
// runs of the match's visit ids the file holds: [[first, last], ...].
constexpr const char* SchemaVersion2 = R"(
ALTER TABLE saves RENAME TO saves_v1;
CREATE TABLE saves (
    content_hash INTEGER PRIMARY KEY,
    path TEXT NOT NULL,
    match_id INTEGER NOT NULL REFERENCES matches(id),
    last_visit INTEGER NOT NULL,
    held_visits TEXT NOT NULL,
    saved_at TEXT NOT NULL
);
CREATE TABLE visits_aside (
    id INTEGER PRIMARY KEY,
    match_id INTEGER NOT NULL REFERENCES matches(id),
    set_no INTEGER NOT NULL,
    leg_no INTEGER NOT NULL,
    leg_starter INTEGER NOT NULL,
    player INTEGER NOT NULL,
    score INTEGER NOT NULL,
    darts INTEGER NOT NULL,
    remaining_before INTEGER NOT NULL,
    won_leg INTEGER NOT NULL,
    at TEXT NOT NULL,
    winner_darts INTEGER
);
CREATE INDEX visits_aside_of_match ON visits_aside (match_id);
)";

// The third layout: a match's revision, raised by every change the store makes to the match, so
// that a reader (the club's sync) finds what changed since it last looked. Each change gives its
// match the highest revision of all matches plus one; the matches of an older file are numbered
// in the order they were recorded.
constexpr const char* SchemaVersion3 = R"(
ALTER TABLE matches ADD COLUMN revision INTEGER NOT NULL DEFAULT 0;
UPDATE matches SET revision = id;
CREATE INDEX matches_by_revision ON matches (revision);
)";

// The fourth layout: the history's identity, made once with the file, so that whoever copies it
// elsewhere (a club) knows it from any other history, whatever its board is called. A history
// set aside and started again is another one.
constexpr const char* SchemaVersion4 = R"(
CREATE TABLE history_identity (identity TEXT NOT NULL);
INSERT INTO history_identity VALUES (lower(hex(randomblob(16))));
)";

// The fifth layout: each player's figures in each match, kept with every change to the match so
// that statistics over many matches sum a row per player and match instead of every visit. Made
// for the matches already there from their visits and legs.
// (Made by MakePlayerFigures once the table is there.)
const std::string SchemaVersion5 =
    std::string("CREATE TABLE player_figures ") + PlayerFiguresColumns + ";";

// The SQL that makes each version from the one before.
const std::array<const char*, HistorySchemaVersion> Steps = {
    HistoryLayout1, SchemaVersion2, SchemaVersion3, SchemaVersion4, SchemaVersion5.c_str()};

struct TObject {
    std::string Type, Name, Table, Sql;
    auto operator<=>(const TObject&) const = default;
};

std::string Column(sqlite3_stmt* statement, int column) {
    const auto* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

// The objects of a file's schema, sorted: at most `most` of them.
std::vector<TObject> Objects(sqlite3* db, size_t most) {
    sqlite3_stmt* raw = nullptr;
    const int prepared = sqlite3_prepare_v2(
        db, "SELECT type, name, tbl_name, sql FROM sqlite_schema LIMIT ?", -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    if (prepared != SQLITE_OK) throw ESqlError(prepared, sqlite3_errmsg(db));
    sqlite3_bind_int64(raw, 1, static_cast<sqlite3_int64>(most));
    std::vector<TObject> objects;
    int code;
    while ((code = sqlite3_step(raw)) == SQLITE_ROW)
        objects.push_back(
            {Column(raw, 0), Column(raw, 1), Column(raw, 2), OneLine(Column(raw, 3))});
    if (code != SQLITE_DONE) throw ESqlError(code, sqlite3_errmsg(db));
    std::sort(objects.begin(), objects.end());
    return objects;
}

// The schema of a layout version, as the program makes it: made in memory once, when that version
// is first asked for (an opening needs only the file's own).
const std::vector<TObject>& Layout(int64_t version) {
    static std::array<std::once_flag, HistorySchemaVersion + 1> made;
    static std::array<std::vector<TObject>, HistorySchemaVersion + 1> layouts;
    const auto v = static_cast<size_t>(version);
    std::call_once(made[v], [v] {
        sqlite3* raw = nullptr;
        const int code = sqlite3_open(":memory:", &raw);
        const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
        if (code != SQLITE_OK) throw ESqlError(code, sqlite3_errstr(code));
        RaiseHistoryLayout(raw, 0, static_cast<int64_t>(v));
        layouts[v] = Objects(raw, SIZE_MAX / 2);
    });
    return layouts[v];
}

// A name from the file, fit for a message: printable ASCII, cut short.
std::string Shown(const std::string& name) {
    std::string shown;
    for (const char c : name.substr(0, 40))
        shown += c >= ' ' && c <= '~' ? c : '?';
    return shown + (name.size() > 40 ? "..." : "");
}

} // namespace

void ExecSql(sqlite3* db, const char* sql) {
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) throw ESqlError(code, sqlite3_errmsg(db));
}

namespace {
std::mutex writesMutex;
std::function<void()> writesWait;
} // namespace

void SetHistoryWritesWait(std::function<void()> wait) {
    const std::lock_guard lock(writesMutex);
    writesWait = std::move(wait);
}

void WaitForHistoryWrites() {
    const std::lock_guard lock(writesMutex);
    if (writesWait) writesWait();
}

void RaiseHistoryLayout(sqlite3* db, int64_t from, int64_t to,
                        const std::function<void()>& carrySaves) {
    for (int64_t version = std::max<int64_t>(from, 0) + 1; version <= to; ++version) {
        ExecSql(db, Steps[static_cast<size_t>(version - 1)]);
        if (version == HistoryFiguresLayout) MakePlayerFigures(db);
        if (version != 2) continue;
        if (carrySaves) carrySaves();
        ExecSql(db, "DROP TABLE saves_v1");
    }
}

void GuardHistory(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
}

std::optional<std::string> ForeignHistory(sqlite3* db, int64_t version) {
    if (version < 0 || version > HistorySchemaVersion)
        return "has a layout Brennix never makes (version " + std::to_string(version) + ")";
    const std::vector<TObject>& expected = Layout(version);
    // One more than the layout has is already one too many.
    const std::vector<TObject> found = Objects(db, expected.size() + 1);
    for (const TObject& object : found)
        if (!std::binary_search(expected.begin(), expected.end(), object))
            return "holds objects Brennix never makes (" + Shown(object.Type) + " '" +
                   Shown(object.Name) + "')";
    for (const TObject& object : expected)
        if (!std::binary_search(found.begin(), found.end(), object))
            return "lacks the " + object.Type + " '" + object.Name + "' of its layout";
    return std::nullopt;
}

} // namespace brennix
