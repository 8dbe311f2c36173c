#include "club_statistics.h"

#include "club_schema.h"
#include "engine/errors.h"
#include "pg.h"

#include <libpq-fe.h>
#include <map>
#include <utility>

namespace brennix::club {

namespace {

// A player's figures in one match as the club keeps them (the columns of its summary row), and
// how a player's matches are put together. A match and its legs count once for a name however
// many of the match's players share it: on the name's first player only (a match is won by one
// player at most).
struct TColumn {
    const char* Name;
    const char* OfAll; // over the player's matches
    bool OncePerMatch = false;
};
constexpr TColumn FigureColumns[] = {
    {"matches", "sum", true},
    {"matches_won", "sum"},
    {"legs", "sum", true},
    {"legs_won", "sum"},
    {"darts", "sum"},
    {"points", "sum"},
    {"first9_darts", "sum"},
    {"first9_points", "sum"},
    {"best_leg", "min"},
    {"highest_checkout", "max"},
    {"checkout_chances", "sum"},
    {"checkouts", "sum"},
    {"count_180", "sum"},
    {"count_140", "sum"},
    {"count_100", "sum"},
    {"count_60", "sum"},
    {"count_40", "sum"},
};

// The figures of each name over the summary rows "f".
std::string FigureSums() {
    std::string list;
    for (const TColumn& column : FigureColumns)
        list += std::string(list.empty() ? "" : ", ") + column.OfAll + "(f." + column.Name + ")" +
                (column.OncePerMatch ? " FILTER (WHERE f.first_of_name)" : "") + " AS " +
                column.Name;
    return list;
}

// The figures' columns of `table`.
std::string FigureNames(const std::string& table) {
    std::string list;
    for (const TColumn& column : FigureColumns)
        list += std::string(list.empty() ? "" : ", ") + table + "." + column.Name;
    return list;
}

// The figures read from `first` on, in FigureColumns' order.
TFigures FiguresAt(const TResult& rows, int row, int first) {
    auto count = [&](int k) { return rows.Int(row, first + k); };
    auto maybe = [&](int k) {
        return rows.IsNull(row, first + k) ? std::nullopt : std::optional<int64_t>(count(k));
    };
    TFigures f;
    f.Matches = count(0), f.MatchesWon = count(1), f.Legs = count(2), f.LegsWon = count(3);
    f.Darts = count(4), f.Points = count(5), f.First9Darts = count(6), f.First9Points = count(7);
    f.BestLeg = maybe(8), f.HighestCheckout = maybe(9);
    f.CheckoutChances = count(10), f.Checkouts = count(11);
    f.Count180 = count(12), f.Count140 = count(13), f.Count100 = count(14);
    f.Count60 = count(15), f.Count40 = count(16);
    return f;
}

// The matches a query reads: begun in the period ($1, $2: from inclusive, to exclusive, NULL for
// open) and, with a parameter for keys (a text array), those a player of one of the keys played.
std::string MatchCondition(int keysParameter = 0) {
    std::string condition = "($1::timestamp IS NULL OR started_at >= $1::timestamp) AND "
                            "($2::timestamp IS NULL OR started_at < $2::timestamp)";
    if (keysParameter)
        condition += " AND (board, match_id) IN (SELECT board, match_id FROM "
                     "brennix.match_players WHERE name_key = ANY($" +
                     std::to_string(keysParameter) + "::text[]))";
    return condition;
}

constexpr const char* TimeText = "'YYYY-MM-DD HH24:MI:SS'";

// One snapshot of the club's rows for all the queries of a report, read only.
template <typename TBody>
void Reading(TConnection& db, TBody&& body) {
    InTransaction(db, std::forward<TBody>(body),
                  "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
}

std::string TextArray(const std::vector<std::string>& values) {
    // Each element quoted, its quotes and backslashes escaped.
    std::string array = "{";
    for (size_t i = 0; i < values.size(); ++i) {
        array += i ? ",\"" : "\"";
        for (const char c : values[i]) {
            if (c == '"' || c == '\\') array += '\\';
            array += c;
        }
        array += '"';
    }
    return array + "}";
}

// The parameters of MatchCondition: $1, $2 the period, $3 the keys when there are.
std::vector<TParam> Parameters(const TPeriod& period, const std::vector<std::string>& keys = {}) {
    std::vector<TParam> params = {period.From.empty() ? TParam() : TParam(period.From),
                                  period.To.empty() ? TParam() : TParam(period.To)};
    if (!keys.empty()) params.push_back(TextArray(keys));
    return params;
}

} // namespace

TClubReader::TClubReader(const std::string& url, int waitSeconds, int stopFd)
    // Every wait is bounded, the statements too: a hung server ends the report with an error
    // rather than holding it (or the program's worker that runs it) for good.
    : db_(std::make_unique<TConnection>(url, TWaits{waitSeconds, stopFd})) {
    // Nothing this reader runs may change the club, whatever the role could do.
    db_->Script("SET default_transaction_read_only = on");
    // The queries read summary rows: compiling one would take longer than running it.
    db_->Script("SET jit = off");
    const int version = ClubSchemaVersionOf(*db_);
    if (version == 0)
        throw EBrennixError("the database holds no Brennix club (no schema brennix with its "
                            "layout version)");
    if (version > ClubSchemaVersion)
        throw EBrennixError("the club database has a newer layout (version " +
                            std::to_string(version) + "; this Brennix knows up to " +
                            std::to_string(ClubSchemaVersion) + ")");
    // The statistics read the summary rows an older layout lacks.
    if (version < ClubSchemaVersion)
        throw EBrennixError("the club database's layout is version " + std::to_string(version) +
                            ", older than this Brennix reads: the club's owner sets it up with "
                            "brennix-report --club URL --set-up");
}

TClubReader::~TClubReader() = default;

std::string TClubReader::Where() const {
    pg_conn* conn = db_->Handle();
    return std::string(PQdb(conn)) + " at " + PQhost(conn) + ":" + PQport(conn);
}

std::vector<TMatchSummary> TClubReader::Read(const TPeriod& period,
                                             const std::vector<std::string>& keys) {
    const bool keyed = !keys.empty();
    std::vector<TMatchSummary> matches;
    Reading(*db_, [&] {
        const std::vector<TParam> params = Parameters(period, keys);
        const TResult rows =
            db_->Run(std::string("SELECT board, match_id, to_char(started_at, ") + TimeText +
                         "), to_char(ended_at, " + TimeText +
                         "), game_type, game, match_format, format, resumed, end_reason, winner, "
                         "coalesce(b.name, board) FROM brennix.matches LEFT JOIN brennix.boards "
                         "b USING (board) WHERE " +
                         MatchCondition(keyed ? 3 : 0) +
                         " ORDER BY started_at, coalesce(b.name, board) COLLATE \"C\", board, "
                         "match_id",
                     params);
        std::map<std::pair<std::string, int64_t>, size_t> index;
        for (int r = 0; r < rows.Rows(); ++r) {
            TMatchSummary match;
            match.Board = rows.Text(r, 0);
            match.Id = rows.Int(r, 1);
            match.Started = LocalTimeText(rows.Text(r, 2));
            match.Ended = LocalTimeText(rows.Text(r, 3));
            match.GameType = rows.Int(r, 4);
            match.Game = rows.Text(r, 5);
            match.MatchFormat = rows.Int(r, 6);
            match.Format = rows.Text(r, 7);
            match.Resumed = rows.Text(r, 8) == "t";
            match.EndReason = rows.Text(r, 9);
            if (!rows.IsNull(r, 10)) match.Winner = rows.Int(r, 10);
            index.emplace(std::pair(match.Board, match.Id), matches.size());
            // Known by its key, shown by its name.
            match.Board = rows.Text(r, 11);
            matches.push_back(std::move(match));
        }
        if (matches.empty()) return;

        // Every player of the matches read with its figures (none without its summary row): of
        // the few matches of a player, each one's players looked up by the match's key (the
        // matches handed over as read; the fence keeps the planner from hashing every player of
        // the club instead); of every match, all players in one pass.
        std::string matchesRead, players = " JOIN brennix.match_players p USING (board, match_id)";
        std::vector<TParam> slotParams = params;
        if (keyed) {
            std::vector<std::string> boards, ids;
            for (const auto& [key, position] : index) {
                boards.push_back(key.first);
                ids.push_back(std::to_string(key.second));
            }
            matchesRead = "SELECT * FROM unnest($1::text[], $2::bigint[]) AS m(board, match_id)";
            players = " CROSS JOIN LATERAL (SELECT * FROM brennix.match_players p WHERE p.board = "
                      "m.board AND p.match_id = m.match_id OFFSET 0) p";
            slotParams = {TextArray(boards), TextArray(ids)};
        } else {
            matchesRead = "SELECT board, match_id FROM brennix.matches WHERE " + MatchCondition();
        }
        const std::string sql = "WITH m AS NOT MATERIALIZED (" + matchesRead +
                                ") SELECT p.board, p.match_id, p.player, p.name, p.sets, " +
                                FigureNames("f") + " FROM m" + players +
                                " LEFT JOIN brennix.player_figures f ON f.board = p.board AND "
                                "f.match_id = p.match_id AND f.player = p.player ORDER BY p.player";
        const TResult slots = db_->Run(sql, slotParams);
        for (int r = 0; r < slots.Rows(); ++r) {
            const auto found = index.find({slots.Text(r, 0), slots.Int(r, 1)});
            if (found == index.end()) continue;
            TMatchSummary& match = matches[found->second];
            TMatchPlayer player;
            player.Number = slots.Int(r, 2);
            player.Name = slots.Text(r, 3);
            if (match.Finished() && !slots.IsNull(r, 4)) player.Sets = slots.Int(r, 4);
            player.Figures = FiguresAt(slots, r, 5);
            match.Players.push_back(std::move(player));
        }
    });
    return matches;
}

std::vector<TPlayerStatistics> TClubReader::Standings(const TPeriod& period, bool allNames) {
    std::vector<TPlayerStatistics> standings;
    Reading(*db_, [&] {
        // Each name's figures over its matches' summary rows; named as in the latest, of two
        // players of it with the name the lower number's (as a history's reader names them).
        const TResult rows = db_->Run(
            "WITH g AS (SELECT f.name_key, max(f.started_at) AS latest, " + FigureSums() +
                " FROM brennix.player_figures f WHERE " + MatchCondition() +
                " GROUP BY f.name_key),\nlatest AS (SELECT DISTINCT ON (g.name_key) g.name_key, "
                "p.name FROM g JOIN brennix.player_figures f ON f.name_key = g.name_key AND "
                "f.started_at = g.latest JOIN brennix.match_players p USING (board, match_id, "
                "player) ORDER BY g.name_key, f.board COLLATE \"C\" DESC, f.match_id DESC, "
                "f.player)\nSELECT g.name_key, latest.name, to_char(g.latest, " +
                TimeText + "), " + FigureNames("g") +
                " FROM g JOIN latest USING (name_key) ORDER BY g.name_key COLLATE \"C\"",
            Parameters(period));
        for (int r = 0; r < rows.Rows(); ++r) {
            if (!allNames && IsDefaultName(rows.Text(r, 0))) continue;
            standings.push_back(
                {rows.Text(r, 1), FiguresAt(rows, r, 3), LocalTimeText(rows.Text(r, 2))});
        }
    });
    SortStandings(standings);
    return standings;
}

std::optional<TProfile> TClubReader::Profile(std::string_view name, const TPeriod& period) {
    return ProfileOf(Read(period, {NameKey(name)}), name);
}

std::optional<THeadToHead> TClubReader::HeadToHead(std::string_view one, std::string_view other,
                                                   const TPeriod& period, std::string* unknown) {
    return HeadToHeadOf(Read(period, {NameKey(one), NameKey(other)}), one, other, unknown);
}

std::vector<TMatchSummary> TClubReader::Matches(const TPeriod& period) {
    return Read(period, {});
}

} // namespace brennix::club
