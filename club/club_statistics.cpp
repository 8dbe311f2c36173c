#include "club_statistics.h"

#include "club_schema.h"
#include "engine/errors.h"
#include "engine/rules.h"
#include "pg.h"

#include <algorithm>
#include <libpq-fe.h>
#include <map>
#include <utility>

namespace brennix::club {

namespace {

// The most one visit of three darts scores: no remaining score above it is a checkout chance.
constexpr int MostInOneVisit = 180;

// A player's figures in one match as the server sums them (the columns of "s" below), and how
// the slots of one match that share a name, then a player's matches, are put together: one match
// and its legs however many of its slots share the name, every visit of each.
struct TColumn {
    const char* Name;
    const char* OfMatch; // over the slots of one match with the same name
    const char* OfAll;   // over the player's matches
};
constexpr TColumn FigureColumns[] = {
    {"matches", "max", "sum"},
    {"matches_won", "max", "sum"},
    {"legs", "max", "sum"},
    {"legs_won", "sum", "sum"},
    {"darts", "sum", "sum"},
    {"points", "sum", "sum"},
    {"first9_darts", "sum", "sum"},
    {"first9_points", "sum", "sum"},
    {"best_leg", "min", "min"},
    {"highest_checkout", "max", "max"},
    {"checkout_chances", "sum", "sum"},
    {"checkouts", "sum", "sum"},
    {"count_180", "sum", "sum"},
    {"count_140", "sum", "sum"},
    {"count_100", "sum", "sum"},
    {"count_60", "sum", "sum"},
    {"count_40", "sum", "sum"},
};

std::string FigureList(const char* TColumn::*aggregate) {
    std::string list;
    for (const TColumn& column : FigureColumns)
        list += std::string(list.empty() ? "" : ", ") + column.*aggregate + "(" + column.Name +
                ") AS " + column.Name;
    return list;
}

std::string FigureNames() {
    std::string list;
    for (const TColumn& column : FigureColumns)
        list += std::string(list.empty() ? "" : ", ") + column.Name;
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

// The remaining scores a visit can finish from under a rule, as an array indexed by the score
// ([0:180]={f,f,t,...}): the one definition, IsCheckoutChance, handed to the server.
std::string ChanceArray(TOutRule rule) {
    std::string array = "[0:" + std::to_string(MostInOneVisit) + "]={";
    for (int remaining = 0; remaining <= MostInOneVisit; ++remaining)
        array +=
            std::string(remaining ? "," : "") + (IsCheckoutChance(remaining, rule) ? "t" : "f");
    return array + "}";
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

// Every player slot of the matches read with its figures in the match ("s"), summed by the
// server. $3 holds the game types played single out, $4 and $5 the chances of double and single
// out. Only visits a match can have count: a score of 0-180 with at most three darts, of a
// player the match has; the first three of them of each player in each leg are the first nine.
// Over all matches the planner sees the tables themselves (no CTE is materialized), and the visits
// numbered in the order they are then summed in, which the index visits_by_player holds: no sort of
// the visits.
std::string SlotsSql(bool keyed) {
    // The matches of a player are a few: found first, their visits then looked up by match.
    return std::string("WITH m AS ") + (keyed ? "MATERIALIZED" : "NOT MATERIALIZED") + R"( (
    SELECT board, match_id, started_at, game_type = ANY($3::integer[]) AS single,
           coalesce(end_reason = 'won', false) AS finished, winner
    FROM brennix.matches WHERE )" +
           MatchCondition(keyed ? 6 : 0) + R"(),
p AS NOT MATERIALIZED (
    SELECT p.board, p.match_id, p.player, p.name, p.name_key, p.sets, m.started_at, m.single,
           m.finished, coalesce(m.finished AND m.winner = p.player, false) AS won
    FROM brennix.match_players p JOIN m USING (board, match_id)),
v AS (
    SELECT v.board, v.match_id, v.player, v.score, v.darts, v.won_leg,
           v.won_leg OR coalesce((CASE WHEN p.single THEN $5::boolean[] ELSE $4::boolean[]
                                  END)[v.remaining_before], false) AS chance,
           row_number() OVER (PARTITION BY v.board, v.match_id, v.player, v.leg_id
                              ORDER BY v.visit_id) <= 3 AS first9
    FROM brennix.visits v JOIN p USING (board, match_id, player)
    WHERE v.score BETWEEN 0 AND 180 AND v.darts BETWEEN 0 AND 3),
vp AS (
    SELECT board, match_id, player, sum(darts) AS darts, sum(score) AS points,
           sum(darts) FILTER (WHERE first9) AS first9_darts,
           sum(score) FILTER (WHERE first9) AS first9_points,
           max(score) FILTER (WHERE won_leg) AS highest_checkout,
           count(*) FILTER (WHERE chance) AS checkout_chances,
           count(*) FILTER (WHERE won_leg) AS checkouts,
           count(*) FILTER (WHERE score = 180) AS count_180,
           count(*) FILTER (WHERE score BETWEEN 140 AND 179) AS count_140,
           count(*) FILTER (WHERE score BETWEEN 100 AND 139) AS count_100,
           count(*) FILTER (WHERE score BETWEEN 60 AND 99) AS count_60,
           count(*) FILTER (WHERE score BETWEEN 40 AND 59) AS count_40
    FROM v GROUP BY board, match_id, player),
lw AS (
    SELECT l.board, l.match_id, l.winner, count(*) AS won,
           min(l.winner_darts) FILTER (WHERE l.winner_darts > 0) AS best_leg
    FROM brennix.legs l JOIN m ON m.board = l.board AND m.match_id = l.match_id
    WHERE l.winner IS NOT NULL GROUP BY l.board, l.match_id, l.winner),
lm AS (SELECT board, match_id, sum(won) AS legs FROM lw GROUP BY board, match_id),
s AS (
    SELECT p.board, p.match_id, p.player, p.name, p.name_key, p.sets, p.started_at,
           p.finished::integer AS matches, p.won::integer AS matches_won,
           coalesce(lm.legs, 0) AS legs, coalesce(lw.won, 0) AS legs_won,
           coalesce(vp.darts, 0) AS darts, coalesce(vp.points, 0) AS points,
           coalesce(vp.first9_darts, 0) AS first9_darts,
           coalesce(vp.first9_points, 0) AS first9_points, lw.best_leg, vp.highest_checkout,
           coalesce(vp.checkout_chances, 0) AS checkout_chances,
           coalesce(vp.checkouts, 0) AS checkouts, coalesce(vp.count_180, 0) AS count_180,
           coalesce(vp.count_140, 0) AS count_140, coalesce(vp.count_100, 0) AS count_100,
           coalesce(vp.count_60, 0) AS count_60, coalesce(vp.count_40, 0) AS count_40
    FROM p LEFT JOIN vp ON vp.board = p.board AND vp.match_id = p.match_id AND vp.player = p.player
    LEFT JOIN lw ON lw.board = p.board AND lw.match_id = p.match_id AND lw.winner = p.player
    LEFT JOIN lm ON lm.board = p.board AND lm.match_id = p.match_id))";
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

// The parameters of SlotsSql: $1, $2 the period, $3 the game types played single out, $4 and $5
// the checkout chances.
std::vector<TParam> Parameters(const TPeriod& period, const std::vector<int64_t>& gameTypes) {
    // The game types are few; the rule of each is the program's own.
    std::string singleOut = "{";
    for (const int64_t type : gameTypes)
        if (OutRuleOf(type) == TOutRule::Single)
            singleOut += (singleOut.size() > 1 ? "," : "") + std::to_string(type);
    return {period.From.empty() ? TParam() : TParam(period.From),
            period.To.empty() ? TParam() : TParam(period.To), singleOut + "}",
            ChanceArray(TOutRule::Double), ChanceArray(TOutRule::Single)};
}

} // namespace

TClubReader::TClubReader(const std::string& url, int waitSeconds, int stopFd)
    // Every wait is bounded, the statements too: a hung server ends the report with an error
    // rather than holding it (or the program's worker that runs it) for good.
    : db_(std::make_unique<TConnection>(url, TWaits{waitSeconds, stopFd})) {
    // Nothing this reader runs may change the club, whatever the role could do.
    db_->Script("SET default_transaction_read_only = on");
    const int version = ClubSchemaVersionOf(*db_);
    if (version == 0)
        throw EBrennixError("the database holds no Brennix club (no schema brennix with its "
                            "layout version)");
    if (version > ClubSchemaVersion)
        throw EBrennixError("the club database has a newer layout (version " +
                            std::to_string(version) + "; this Brennix knows up to " +
                            std::to_string(ClubSchemaVersion) + ")");
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
        std::vector<TParam> params = {period.From.empty() ? TParam() : TParam(period.From),
                                      period.To.empty() ? TParam() : TParam(period.To)};
        if (keyed) params.push_back(TextArray(keys));
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
        std::vector<int64_t> gameTypes;
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
            if (std::find(gameTypes.begin(), gameTypes.end(), match.GameType) == gameTypes.end())
                gameTypes.push_back(match.GameType);
            index.emplace(std::pair(match.Board, match.Id), matches.size());
            // Known by its key, shown by its name.
            match.Board = rows.Text(r, 11);
            matches.push_back(std::move(match));
        }
        if (matches.empty()) return;

        params = Parameters(period, gameTypes);
        if (keyed) params.push_back(TextArray(keys));
        const TResult slots = db_->Run(SlotsSql(keyed) +
                                           " SELECT board, match_id, player, name, "
                                           "sets, " +
                                           FigureNames() + " FROM s ORDER BY player",
                                       params);
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
        std::vector<int64_t> gameTypes;
        const TResult types = db_->Run("SELECT DISTINCT game_type FROM brennix.matches");
        for (int r = 0; r < types.Rows(); ++r)
            gameTypes.push_back(types.Int(r, 0));
        // Each player's figures in each match, then over the matches; named as in the latest,
        // of two slots of it with the name the lower number's (as a history's reader names them).
        const TResult rows = db_->Run(
            SlotsSql(false) + ",\nk AS (SELECT board, match_id, name_key, " +
                FigureList(&TColumn::OfMatch) +
                " FROM s GROUP BY board, match_id, name_key),\n"
                "latest AS (SELECT DISTINCT ON (name_key) name_key, name, started_at FROM s "
                "ORDER BY name_key, started_at DESC, board COLLATE \"C\" DESC, match_id DESC, "
                "player)\nSELECT k.name_key, latest.name, to_char(latest.started_at, " +
                TimeText + "), " + FigureList(&TColumn::OfAll) +
                " FROM k JOIN latest USING (name_key) GROUP BY k.name_key, latest.name, "
                "latest.started_at ORDER BY k.name_key COLLATE \"C\"",
            Parameters(period, gameTypes));
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
