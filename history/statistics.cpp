#include "statistics.h"

#include "engine/errors.h"
#include "engine/rules.h"
#include "engine/state.h"
#include "history_layout.h"

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <tuple>

namespace brennix {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The history's time form; false for any other text.
bool ParseUtc(std::string_view text, std::tm& parts) {
    if (text.size() != 19) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        constexpr std::string_view form = "0000-00-00 00:00:00";
        if (form[i] == '0' ? c < '0' || c > '9' : c != form[i]) return false;
    }
    auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    parts = {};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(5, 2) - 1;
    parts.tm_mday = number(8, 2);
    parts.tm_hour = number(11, 2);
    parts.tm_min = number(14, 2);
    parts.tm_sec = number(17, 2);
    return parts.tm_mon >= 0 && parts.tm_mon < 12 && parts.tm_mday >= 1 && parts.tm_mday <= 31 &&
           parts.tm_hour < 24 && parts.tm_min < 60 && parts.tm_sec < 61;
}

std::string Formatted(const std::tm& parts, const char* format) {
    char text[64];
    return std::strftime(text, sizeof text, format, &parts) ? text : "";
}

// The UTC text of the first second of a local calendar day given as "YYYY-MM-DD", moved by
// `days`; none for a text that is no date.
std::optional<std::string> LocalDayStart(std::string_view date, int days) {
    std::tm parts{};
    if (date.size() != 10 || !ParseUtc(std::string(date) + " 00:00:00", parts)) return std::nullopt;
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = parts.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (parts.tm_mday > lengths[parts.tm_mon] + (parts.tm_mon == 1 && leap)) return std::nullopt;
    parts.tm_mday += days;
    parts.tm_isdst = -1;
    const std::time_t start = std::mktime(&parts);
    std::tm utc{};
    if (start == -1 || !::gmtime_r(&start, &utc)) return std::nullopt;
    return Formatted(utc, "%Y-%m-%d %H:%M:%S");
}

class TQuery {
  public:
    TQuery(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) Fail();
    }
    ~TQuery() { sqlite3_finalize(statement_); }
    TQuery(const TQuery&) = delete;
    TQuery& operator=(const TQuery&) = delete;

    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    bool Step() {
        const int code = sqlite3_step(statement_);
        if (code == SQLITE_ROW) return true;
        if (code != SQLITE_DONE) Fail();
        return false;
    }
    // Whether the value is a whole number as stored (not a text, a fraction or NULL).
    bool Whole(int column) const {
        return sqlite3_column_type(statement_, column) == SQLITE_INTEGER;
    }
    bool Null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
    std::optional<int64_t> Maybe(int column) const {
        return Null(column) ? std::nullopt : std::optional<int64_t>(Int(column));
    }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(statement_, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                    : std::string();
    }

  private:
    [[noreturn]] void Fail() const { throw EBrennixError(sqlite3_errmsg(db_)); }

    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

void NameKeyFunction(sqlite3_context* context, int, sqlite3_value** values) {
    const auto* text = sqlite3_value_text(values[0]);
    const std::string key =
        NameKey(text ? std::string_view(reinterpret_cast<const char*>(text),
                                        static_cast<size_t>(sqlite3_value_bytes(values[0])))
                     : std::string_view());
    sqlite3_result_text(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

// The figures of a row from column `first` on, in player_figures' order; none when one is no
// figure a match can have: whole numbers from 0 (best leg and highest checkout may be missing),
// small enough that the figures of any number of matches add up without overflow.
std::optional<TFigures> FiguresAt(const TQuery& row, int first) {
    constexpr int Count = 15, BestLeg = 2, HighestCheckout = 7;
    std::array<int64_t, Count> value{};
    std::array<bool, Count> missing{};
    for (int k = 0; k < Count; ++k) {
        missing[k] = row.Null(first + k);
        if (missing[k] && (k == BestLeg || k == HighestCheckout)) continue;
        value[k] = row.Int(first + k);
        if (!row.Whole(first + k) || value[k] < 0 || value[k] > INT32_MAX) return std::nullopt;
    }
    auto maybe = [&](int k) { return missing[k] ? std::nullopt : std::optional(value[k]); };
    TFigures f;
    f.Legs = value[0], f.LegsWon = value[1], f.BestLeg = maybe(BestLeg);
    f.Darts = value[3], f.Points = value[4], f.First9Darts = value[5], f.First9Points = value[6];
    f.HighestCheckout = maybe(HighestCheckout);
    f.CheckoutChances = value[8], f.Checkouts = value[9];
    f.Count180 = value[10], f.Count140 = value[11], f.Count100 = value[12];
    f.Count60 = value[13], f.Count40 = value[14];
    return f;
}

// The matches a query reads: those begun in the period, and with keys only those in which a
// player of one of these keys played (?3, ?4, ... are the keys).
std::string MatchCondition(const std::string& match, size_t keys) {
    std::string condition = "(?1 = '' OR " + match + ".started_at >= ?1) AND (?2 = '' OR " + match +
                            ".started_at < ?2)";
    if (keys == 0) return condition;
    condition +=
        " AND " + match + ".id IN (SELECT match_id FROM match_players WHERE name_key(name) IN (";
    for (size_t k = 0; k < keys; ++k)
        condition += (k ? ", ?" : "?") + std::to_string(k + 3);
    return condition + "))";
}

// The name keys of a match's players, in their order.
std::vector<std::string> KeysOf(const TMatchSummary& match) {
    std::vector<std::string> keys;
    keys.reserve(match.Players.size());
    for (const TMatchPlayer& player : match.Players)
        keys.push_back(NameKey(player.Name));
    return keys;
}

// A player's figures in one match: every slot of the match with that key (keys: KeysOf(match)).
TFigures KeyFigures(const TMatchSummary& match, const std::vector<std::string>& keys,
                    const std::string& key) {
    TFigures figures;
    for (size_t p = 0; p < keys.size(); ++p)
        if (keys[p] == key) {
            const TFigures& own = match.Players[p].Figures;
            const int64_t matchesWon = figures.MatchesWon;
            figures.Add(own);
            // One match and its legs, however many of its players share the name.
            figures.Matches = own.Matches;
            figures.MatchesWon = std::max(matchesWon, own.MatchesWon);
            figures.Legs = own.Legs;
        }
    return figures;
}

TFigures KeyFigures(const TMatchSummary& match, const std::string& key) {
    return KeyFigures(match, KeysOf(match), key);
}

bool HasKey(const TMatchSummary& match, const std::string& key) {
    return std::any_of(match.Players.begin(), match.Players.end(),
                       [&](const TMatchPlayer& player) { return NameKey(player.Name) == key; });
}

// The player's name in a match: of two slots with the key, the lower number's.
std::string NameIn(const TMatchSummary& match, const std::vector<std::string>& keys,
                   const std::string& key) {
    const TMatchPlayer* named = nullptr;
    for (size_t p = 0; p < keys.size(); ++p) {
        const TMatchPlayer& player = match.Players[p];
        if (keys[p] == key && (!named || player.Number < named->Number)) named = &player;
    }
    return named ? named->Name : "";
}

std::string NameIn(const TMatchSummary& match, const std::string& key) {
    return NameIn(match, KeysOf(match), key);
}

// A player's figures over matches, named as in the latest of them.
TPlayerStatistics Statistics(const std::vector<const TMatchSummary*>& matches,
                             const std::string& key) {
    TPlayerStatistics statistics;
    for (const TMatchSummary* match : matches) {
        statistics.Figures.Add(KeyFigures(*match, key));
        statistics.Name = NameIn(*match, key);
        statistics.LastPlayed = match->Started;
    }
    return statistics;
}

// part / whole x scale, cut toward zero from the exact quotient (not rounded, so that the
// decimals shown are the quotient's own); 0 without a whole, held within int32 past it.
int32_t CutQuotient(int64_t part, int64_t whole, int64_t scale) {
    if (whole <= 0) return 0;
    const __int128 value = static_cast<__int128>(part) * scale / whole;
    return static_cast<int32_t>(std::clamp<__int128>(value, INT32_MIN, INT32_MAX));
}

} // namespace

std::string NameKey(std::string_view name) {
    while (!name.empty() && IsBlank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && IsBlank(name.back()))
        name.remove_suffix(1);
    std::string key(name);
    for (size_t i = 0; i < key.size(); ++i) {
        const auto byte = static_cast<unsigned char>(key[i]);
        if (byte >= 'A' && byte <= 'Z') {
            key[i] = static_cast<char>(byte + 32);
        } else if (byte == 0xC3 && i + 1 < key.size()) {
            // U+00C0..U+00DE are C3 80..C3 9E; their small letters lie 0x20 above.
            const auto next = static_cast<unsigned char>(key[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97)
                key[i + 1] = static_cast<char>(next + 32);
            ++i;
        }
    }
    return key;
}

bool IsDefaultName(std::string_view name) {
    const std::string key = NameKey(name);
    return key.size() == 7 && key.starts_with("player") && key[6] >= '1' && key[6] <= '8';
}

TPeriod PeriodOf(const std::optional<std::string>& since, const std::optional<std::string>& until) {
    TPeriod period;
    for (const auto& [date, days, bound] :
         {std::tuple(&since, 0, &period.From), std::tuple(&until, 1, &period.To)}) {
        if (!*date) continue;
        const std::optional<std::string> start = LocalDayStart(**date, days);
        if (!start) throw EBrennixError("'" + **date + "' is not a date of the form YYYY-MM-DD");
        *bound = *start;
    }
    return period;
}

std::string LocalTimeText(std::string_view utc) {
    std::tm parts{};
    if (!ParseUtc(utc, parts)) return "";
    const std::time_t time = ::timegm(&parts);
    std::tm local{};
    if (time == -1 || !::localtime_r(&time, &local)) return "";
    return Formatted(local, "%Y-%m-%d %H:%M");
}

int32_t TFigures::Average() const {
    return CutQuotient(Points, Darts, 3 * 10000);
}

int32_t TFigures::First9Average() const {
    return CutQuotient(First9Points, First9Darts, 3 * 10000);
}

std::optional<int32_t> TFigures::CheckoutRate() const {
    if (CheckoutChances <= 0) return std::nullopt;
    return CutQuotient(Checkouts, CheckoutChances, 10000);
}

void TFigures::Add(const TFigures& other) {
    Matches += other.Matches, MatchesWon += other.MatchesWon;
    Legs += other.Legs, LegsWon += other.LegsWon;
    Darts += other.Darts, Points += other.Points;
    First9Darts += other.First9Darts, First9Points += other.First9Points;
    if (other.BestLeg && (!BestLeg || *other.BestLeg < *BestLeg)) BestLeg = other.BestLeg;
    if (other.HighestCheckout && (!HighestCheckout || *other.HighestCheckout > *HighestCheckout))
        HighestCheckout = other.HighestCheckout;
    CheckoutChances += other.CheckoutChances, Checkouts += other.Checkouts;
    Count180 += other.Count180, Count140 += other.Count140, Count100 += other.Count100;
    Count60 += other.Count60, Count40 += other.Count40;
}

std::string TMatchSummary::Result() const {
    if (Finished()) return "won";
    if (EndReason.empty()) return "open";
    return "abandoned (" + EndReason + ")";
}

std::string TMatchSummary::WinnerName() const {
    for (const TMatchPlayer& player : Players)
        if (Finished() && Winner == player.Number) return player.Name;
    return "";
}

THistoryReader::THistoryReader(const std::string& path, int busyMilliseconds,
                               std::function<bool()> stopped, std::chrono::milliseconds limit)
    : path_(path), busyMilliseconds_(busyMilliseconds), stopped_(std::move(stopped)), limit_(limit),
      deadline_(std::chrono::steady_clock::time_point::max()) {
    // One thread uses the connection: no locking inside SQLite.
    const int code =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        sqlite3_close_v2(db_);
        throw EBrennixError(reason);
    }
    GuardHistory(db_);
    // A file locked by its writer is waited for, and a long read goes on, only until stopped.
    sqlite3_busy_handler(
        db_,
        [](void* self, int tries) {
            const auto* reader = static_cast<const THistoryReader*>(self);
            constexpr int StepMs = 10;
            if (tries * StepMs >= reader->busyMilliseconds_ || reader->Stopped()) return 0;
            sqlite3_sleep(StepMs);
            return 1;
        },
        this);
    sqlite3_progress_handler(
        db_, 1000,
        [](void* self) {
            auto* reader = static_cast<THistoryReader*>(self);
            return reader->Stopped() || reader->Overdue() ? 1 : 0;
        },
        this);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db_, "name_key", 1, flags, nullptr, NameKeyFunction, nullptr, nullptr);
    try {
        TQuery version(db_, "PRAGMA user_version");
        version.Step();
        const int64_t layout = layout_ = version.Int(0);
        if (layout < 1 || layout > HistorySchemaVersion)
            throw EBrennixError(layout < 1 ? "not a match history (no layout version)"
                                           : "a newer layout (version " + std::to_string(layout) +
                                                 "; this Brennix knows up to " +
                                                 std::to_string(HistorySchemaVersion) + ")");
        // Exactly the tables and indexes of its layout: every one read is there, and nothing
        // else (a trigger, a view) is.
        if (const std::optional<std::string> foreign = ForeignHistory(db_, layout))
            throw EBrennixError(*foreign);
    } catch (const ESqlError& error) {
        sqlite3_close_v2(db_);
        throw EBrennixError(error.what());
    } catch (...) {
        sqlite3_close_v2(db_);
        throw;
    }
}

THistoryReader::~THistoryReader() {
    sqlite3_close_v2(db_);
}

bool THistoryReader::Overdue() {
    overdue_ = overdue_ || std::chrono::steady_clock::now() > deadline_;
    return overdue_;
}

void THistoryReader::Within(const std::function<void()>& read) {
    WaitForHistoryWrites();
    deadline_ = std::chrono::steady_clock::now() + limit_;
    overdue_ = false;
    try {
        read();
    } catch (const EBrennixError&) {
        if (!overdue_) throw;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit_).count();
        throw EBrennixError("reading the history took longer than " + std::to_string(seconds) +
                            " s and was stopped");
    }
}

namespace {

// One snapshot of the file for all the queries of a read, while the program may write.
class TSnapshot {
  public:
    TSnapshot(sqlite3* db, int64_t layout) : db_(db) {
        TQuery(db_, "BEGIN").Step();
        // A file of a layout before the players' figures were kept (read only, never changed
        // here): they are made for this read, from its visits, as the program makes them.
        if (layout >= HistoryFiguresLayout) return;
        try {
            ExecSql(db_, ("DROP TABLE IF EXISTS temp.player_figures; CREATE TEMP TABLE "
                          "player_figures " +
                          std::string(PlayerFiguresColumns))
                             .c_str());
            MakePlayerFigures(db_);
        } catch (const ESqlError& error) {
            sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
            throw EBrennixError(error.what());
        }
    }
    ~TSnapshot() { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }
    TSnapshot(const TSnapshot&) = delete;
    TSnapshot& operator=(const TSnapshot&) = delete;

    // A query of the matches in the period (?1, ?2) and with keys (?3, ...), bound.
    std::unique_ptr<TQuery> Query(const std::string& sql, const TPeriod& period,
                                  const std::vector<std::string>& keys) const {
        auto query = std::make_unique<TQuery>(db_, sql);
        query->Bind(1, period.From);
        query->Bind(2, period.To);
        for (size_t k = 0; k < keys.size(); ++k)
            query->Bind(static_cast<int>(k + 3), keys[k]);
        return query;
    }

  private:
    sqlite3* db_;
};

// Every player of the matches a condition on "m" picks, once (the key of match_players), in the
// order of match ids and numbers:
// the match's id, start, end reason and winner, then the player's number, name, sets and figures
// in the match as the history keeps them beside its visits.
std::string PlayersSql(const std::string& where) {
    return "SELECT mp.match_id, m.started_at, m.end_reason, m.winner, mp.player, mp.name, "
           "mp.sets, f.legs, f.legs_won, f.best_leg, f.darts, f.points, f.first9_darts, "
           "f.first9_points, f.highest_checkout, f.checkout_chances, f.checkouts, f.count_180, "
           "f.count_140, f.count_100, f.count_60, f.count_40 FROM match_players mp JOIN matches m "
           "ON m.id = mp.match_id LEFT JOIN player_figures f ON f.match_id = mp.match_id AND "
           "f.player = mp.player" +
           where + " AND mp.player BETWEEN 1 AND " + std::to_string(MaxPlayers) +
           " AND length(CAST(mp.name AS BLOB)) <= " + std::to_string(MostNameBytes) +
           " ORDER BY mp.match_id, mp.player";
}

// The player of a row of PlayersSql. A figure no match can have leaves the player without
// figures.
TMatchPlayer PlayerAt(const TQuery& row) {
    const bool finished = row.Text(2) == "won";
    TMatchPlayer player;
    player.Number = row.Int(4);
    player.Name = row.Text(5);
    if (finished) player.Sets = row.Maybe(6);
    if (const std::optional<TFigures> figures = FiguresAt(row, 7)) player.Figures = *figures;
    player.Figures.Matches = finished;
    player.Figures.MatchesWon = finished && row.Maybe(3) == player.Number;
    return player;
}

} // namespace

std::vector<TMatchSummary> THistoryReader::Read(const TPeriod& period,
                                                const std::vector<std::string>& keys) {
    std::vector<TMatchSummary> matches;
    Within([&] {
        const TSnapshot snapshot(db_, layout_);
        const std::string where = " WHERE " + MatchCondition("m", keys.size());
        auto rows = snapshot.Query("SELECT COUNT(*) FROM matches m" + where, period, keys);
        rows->Step();
        matches.reserve(static_cast<size_t>(std::clamp<int64_t>(rows->Int(0), 0, 1 << 20)));
        rows = snapshot.Query(
            "SELECT id, started_at, ended_at, game_type, game, match_format, format, resumed, "
            "end_reason, winner, (SELECT COUNT(*) FROM match_players WHERE match_id = m.id) FROM "
            "matches m" +
                where + " ORDER BY started_at, id",
            period, keys);
        while (rows->Step()) {
            TMatchSummary& match = matches.emplace_back();
            match.Id = rows->Int(0);
            match.Started = LocalTimeText(rows->Text(1));
            match.Ended = LocalTimeText(rows->Text(2));
            match.GameType = rows->Int(3);
            match.Game = rows->Text(4);
            match.MatchFormat = rows->Int(5);
            match.Format = rows->Text(6);
            match.Resumed = rows->Int(7) != 0;
            match.EndReason = rows->Text(8);
            match.Winner = rows->Maybe(9);
            match.Players.reserve(
                static_cast<size_t>(std::clamp<int64_t>(rows->Int(10), 0, MaxPlayers)));
        }
        // The matches by id, for the players' rows that come in that order.
        std::vector<std::pair<int64_t, size_t>> byId(matches.size());
        for (size_t m = 0; m < matches.size(); ++m)
            byId[m] = {matches[m].Id, m};
        std::sort(byId.begin(), byId.end());
        auto next = byId.begin();
        rows = snapshot.Query(PlayersSql(where), period, keys);
        while (rows->Step()) {
            const int64_t id = rows->Int(0);
            while (next != byId.end() && next->first < id)
                ++next;
            if (next == byId.end() || next->first != id) continue;
            matches[next->second].Players.push_back(PlayerAt(*rows));
        }
    });
    return matches;
}

std::vector<TPlayerStatistics> THistoryReader::Standings(const TPeriod& period, bool allNames) {
    // Each player's figures added up over the matches, named as in the latest of them (by start,
    // then number: as the matches are ordered), whatever order the matches are read in.
    struct TPlayer {
        TPlayerStatistics Statistics;
        std::pair<std::string, int64_t> Latest; // start (UTC) and id of the latest match
        bool Seen = false;
    };
    std::map<std::string, TPlayer> byKey;
    Within([&] {
        const TSnapshot snapshot(db_, layout_);
        const auto rows =
            snapshot.Query(PlayersSql(" WHERE " + MatchCondition("m", 0)), period, {});
        TMatchSummary match;
        std::string started;
        // Adds up the players of the match read so far.
        auto add = [&] {
            const std::vector<std::string> keys = KeysOf(match);
            for (auto key = keys.begin(); key != keys.end(); ++key) {
                if (std::find(keys.begin(), key, *key) != key) continue; // the match counted once
                if (!allNames && IsDefaultName(*key)) continue;
                TPlayer& player = byKey[*key];
                player.Statistics.Figures.Add(KeyFigures(match, keys, *key));
                std::pair<std::string, int64_t> when{started, match.Id};
                if (!player.Seen || when > player.Latest) {
                    player.Statistics.Name = NameIn(match, keys, *key);
                    player.Latest = std::move(when);
                    player.Seen = true;
                }
            }
        };
        bool any = false;
        while (rows->Step()) {
            const int64_t id = rows->Int(0);
            if (!any || id != match.Id) {
                if (any) add();
                any = true;
                match.Id = id;
                match.Players.clear();
                started = rows->Text(1);
            }
            match.Players.push_back(PlayerAt(*rows));
        }
        if (any) add();
    });
    std::vector<TPlayerStatistics> standings;
    standings.reserve(byKey.size());
    for (auto& [key, player] : byKey) {
        player.Statistics.LastPlayed = LocalTimeText(player.Latest.first);
        standings.push_back(std::move(player.Statistics));
    }
    SortStandings(standings);
    return standings;
}

void SortStandings(std::vector<TPlayerStatistics>& standings) {
    std::stable_sort(standings.begin(), standings.end(),
                     [](const TPlayerStatistics& a, const TPlayerStatistics& b) {
                         if (a.Figures.MatchesWon != b.Figures.MatchesWon)
                             return a.Figures.MatchesWon > b.Figures.MatchesWon;
                         // The average as shown, with three decimals: a tie there is a tie.
                         const int32_t shownA = a.Figures.Average() / 10,
                                       shownB = b.Figures.Average() / 10;
                         if (shownA != shownB) return shownA > shownB;
                         return a.Name < b.Name;
                     });
}

std::optional<TProfile> ProfileOf(const std::vector<TMatchSummary>& matches,
                                  std::string_view name) {
    const std::string key = NameKey(name);
    std::vector<const TMatchSummary*> played;
    TProfile profile;
    for (const TMatchSummary& match : matches) {
        if (!HasKey(match, key)) continue;
        played.push_back(&match);
        TProfileMatch row{match, {}, "", KeyFigures(match, key)};
        for (const TMatchPlayer& player : match.Players)
            if (NameKey(player.Name) != key) row.Opponents.push_back(player.Name);
        row.Result = match.Finished()          ? row.Figures.MatchesWon ? "won" : "lost"
                     : match.EndReason.empty() ? "open"
                                               : "abandoned";
        profile.Matches.push_back(std::move(row));
    }
    if (played.empty()) return std::nullopt;
    profile.Player = Statistics(played, key);
    return profile;
}

std::optional<THeadToHead> HeadToHeadOf(const std::vector<TMatchSummary>& matches,
                                        std::string_view one, std::string_view other,
                                        std::string* unknown) {
    const std::array<std::string, 2> keys{NameKey(one), NameKey(other)};
    for (size_t k = 0; k < 2; ++k) {
        const bool known = std::any_of(matches.begin(), matches.end(),
                                       [&](const TMatchSummary& m) { return HasKey(m, keys[k]); });
        if (known) continue;
        if (unknown) *unknown = std::string(k == 0 ? one : other);
        return std::nullopt;
    }
    std::vector<const TMatchSummary*> both;
    THeadToHead result;
    for (const TMatchSummary& match : matches)
        if (HasKey(match, keys[0]) && HasKey(match, keys[1])) {
            both.push_back(&match);
            result.Matches.push_back(match);
        }
    for (size_t k = 0; k < 2; ++k) {
        result.Players[k] = Statistics(both, keys[k]);
        // Named as in the latest match they met in; two who never met as in their latest match.
        if (both.empty())
            for (const TMatchSummary& match : matches)
                if (HasKey(match, keys[k])) result.Players[k].Name = NameIn(match, keys[k]);
    }
    return result;
}

std::optional<TProfile> THistoryReader::Profile(std::string_view name, const TPeriod& period) {
    return ProfileOf(Read(period, {NameKey(name)}), name);
}

std::optional<THeadToHead> THistoryReader::HeadToHead(std::string_view one, std::string_view other,
                                                      const TPeriod& period, std::string* unknown) {
    return HeadToHeadOf(Read(period, {NameKey(one), NameKey(other)}), one, other, unknown);
}

std::vector<TMatchSummary> THistoryReader::Matches(const TPeriod& period) {
    return Read(period, {});
}

} // namespace brennix
