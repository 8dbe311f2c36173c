#include "history_store.h"

#include "engine/state.h"
#include "engine/text_forms.h"
#include "storage/paths.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sqlite3.h>
#include <stdexcept>

namespace brennix {

namespace {

// The first layout: one table each for matches, their players, legs, visits and game-file saves.
constexpr const char* SchemaVersion1 = R"(
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

struct ESqlError : std::runtime_error {
    ESqlError(int code, const std::string& text) : std::runtime_error(text), Code(code) {}
    int Code;
};

[[noreturn]] void Raise(sqlite3* db, int code) {
    throw ESqlError(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

class TStatement {
  public:
    TStatement(sqlite3* db, const char* sql) : db_(db) {
        const int code = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
        if (code != SQLITE_OK) Raise(db_, code);
    }
    ~TStatement() { sqlite3_finalize(statement_); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int index, int64_t value) {
        sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    TStatement& Bind(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row to read.
    bool Step() {
        const int code = sqlite3_step(statement_);
        if (code == SQLITE_ROW) return true;
        if (code == SQLITE_DONE) return false;
        Raise(db_, code);
    }
    // Runs a statement that returns no rows, ready to be bound and run again.
    void Run() {
        Step();
        sqlite3_reset(statement_);
    }
    int Parameters() const { return sqlite3_bind_parameter_count(statement_); }
    int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }

  private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// The layout's version the file has (0 for a new file).
int64_t UserVersion(sqlite3* db) {
    TStatement read(db, "PRAGMA user_version");
    read.Step();
    return read.Int(0);
}

// UTC as SQLite's own date functions read it: "2026-12-07 15:10:57".
std::string TimeText(TEventTime time, const char* format = "%Y-%m-%d %H:%M:%S") {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return text;
}

std::string GameText(int32_t gameType) {
    if (gameType < 1 || gameType > GameTypeCount) return "";
    return std::string(Trimmed(GameTypeTexts[gameType - 1]));
}

std::string FormatText(int32_t matchFormat) {
    if (matchFormat < 2 || matchFormat > MatchFormatCount + 1) return "";
    return std::string(MatchFormatTexts[matchFormat - 2]);
}

const char* ReasonText(TAbandonReason reason) {
    switch (reason) {
    case TAbandonReason::NewGame:
        return "new game";
    case TAbandonReason::SettingsChanged:
        return "settings changed";
    case TAbandonReason::GameLoaded:
        return "game loaded";
    case TAbandonReason::Exit:
        return "exit";
    }
    return "";
}

bool IsDamage(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// A free name beside the file for setting it aside: "<file>.damaged-20261207-151057".
std::string AsideName(const std::string& path) {
    const std::string base = path + ".damaged-" + TimeText(MatchClock(), "%Y%m%d-%H%M%S");
    std::string name = base;
    for (int n = 2; FileExists(name) || FileExists(name + "-wal"); ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

} // namespace

std::string HistoryPath() {
    return BaseDir() + "history.sqlite";
}

THistoryStore::THistoryStore(std::string path, TWarn warn, int busyMilliseconds)
    : path_(std::move(path)), warn_(std::move(warn)) {
    Open(busyMilliseconds);
}

THistoryStore::~THistoryStore() {
    RemoveMatchObserver(*this);
    sqlite3_close_v2(db_);
}

void THistoryStore::Exec(const char* sql) {
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) Raise(db_, code);
}

void THistoryStore::Open(int busyMilliseconds) {
    const int code =
        sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        Fail(code, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code), "cannot be opened");
        return;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyMilliseconds);
    try {
        const int64_t version = UserVersion(db_);
        if (version > HistorySchemaVersion) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            warn_("The match history " + path_ + " has a newer layout (version " +
                  std::to_string(version) + "; this Brennix knows up to " +
                  std::to_string(HistorySchemaVersion) +
                  ") and is left as it is. Play goes on without a history.");
            return;
        }
        // A kill loses at most the change being made; a write-ahead log lets readers in
        // while the program writes.
        TStatement(db_, "PRAGMA journal_mode = WAL").Step();
        Exec("PRAGMA synchronous = NORMAL");
        Migrate();
    } catch (const ESqlError& error) {
        Fail(error.Code, error.what(), "cannot be opened");
    }
}

void THistoryStore::Migrate() {
    Exec("BEGIN IMMEDIATE");
    try {
        const int64_t version = UserVersion(db_);
        // Each layout is reached from the one before it.
        if (version < 1) Exec(SchemaVersion1);
        Exec(("PRAGMA user_version = " + std::to_string(HistorySchemaVersion)).c_str());
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void THistoryStore::Fail(int code, const std::string& reason, const std::string& what) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    match_ = 0;
    if (IsDamage(code)) {
        // Never deleted: the file and its log are moved aside, a fresh history starts with the
        // next start of the program.
        const std::string aside = AsideName(path_);
        std::error_code ignored;
        std::filesystem::rename(path_, aside, ignored);
        for (const char* suffix : {"-wal", "-shm"})
            if (FileExists(path_ + suffix))
                std::filesystem::rename(path_ + suffix, aside + suffix, ignored);
        warn_("The match history " + path_ + " is damaged (" + reason + ") and was set aside as " +
              aside + ". Play goes on without a history.");
        return;
    }
    warn_("The match history " + path_ + " " + what + " (" + reason +
          "). Play goes on without a history.");
}

void THistoryStore::Change(const std::function<void()>& body) {
    if (!db_) return;
    try {
        Exec("BEGIN IMMEDIATE");
        try {
            body();
            Exec("COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    } catch (const ESqlError& error) {
        Fail(error.Code, error.what(), "could not be written");
    }
}

int64_t THistoryStore::EnsureMatch(bool resumed) {
    if (match_ != 0 || !begun_) return match_;
    const TMatchInfo& info = *begun_;
    TStatement match(db_, "INSERT INTO matches (started_at, game_type, game, match_format, "
                          "format, starter, resumed) VALUES (?, ?, ?, ?, ?, ?, ?)");
    match.Bind(1, TimeText(begunAt_))
        .Bind(2, info.GameType)
        .Bind(3, GameText(info.GameType))
        .Bind(4, info.MatchFormat)
        .Bind(5, FormatText(info.MatchFormat))
        .Bind(7, resumed ? 1 : 0);
    if (info.Starter >= 0) match.Bind(6, info.Starter + 1);
    match.Run();
    const int64_t id = sqlite3_last_insert_rowid(db_);
    TStatement player(db_, "INSERT INTO match_players (match_id, player, name) VALUES (?, ?, ?)");
    for (size_t p = 0; p < info.Names.size(); ++p) {
        player.Bind(1, id)
            .Bind(2, static_cast<int64_t>(p + 1))
            .Bind(3, Latin1ToUtf8(info.Names[p]));
        player.Run();
    }
    match_ = id;
    begun_.reset();
    return id;
}

void THistoryStore::MatchBegun(const TMatchInfo& info, TEventTime time) {
    match_ = 0;
    begun_ = info;
    begunAt_ = time;
}

void THistoryStore::VisitBooked(const TVisitEvent& visit) {
    Change([&] {
        const int64_t match = EnsureMatch(false);
        if (match == 0) return;
        TStatement leg(db_, "INSERT INTO legs (match_id, set_no, leg_no, starter) VALUES "
                            "(?1, ?2, ?3, ?4) ON CONFLICT DO NOTHING");
        leg.Bind(1, match).Bind(2, visit.Set).Bind(3, visit.Leg).Bind(4, visit.LegStarter + 1);
        leg.Run();
        TStatement row(db_, "INSERT INTO visits (match_id, leg_id, player, score, darts, "
                            "remaining_before, won_leg, at) SELECT ?1, id, ?2, ?3, ?4, ?5, ?6, ?7 "
                            "FROM legs WHERE match_id = ?1 AND set_no = ?8 AND leg_no = ?9");
        row.Bind(1, match)
            .Bind(2, visit.Player + 1)
            .Bind(3, visit.Score)
            .Bind(4, visit.Darts)
            .Bind(5, visit.RemainingBefore)
            .Bind(6, visit.WonLeg ? 1 : 0)
            .Bind(7, TimeText(visit.Time))
            .Bind(8, visit.Set)
            .Bind(9, visit.Leg);
        row.Run();
    });
}

void THistoryStore::VisitTakenBack(int player, int32_t score, TEventTime) {
    if (match_ == 0) return;
    Change([&] {
        // The player's newest visit, when it is the one taken back (a visit from before a game
        // file the history did not know is not there to remove).
        TStatement remove(db_, "DELETE FROM visits WHERE id = (SELECT MAX(id) FROM visits WHERE "
                               "match_id = ?1 AND player = ?2) AND score = ?3");
        remove.Bind(1, match_).Bind(2, player + 1).Bind(3, score);
        remove.Run();
        TStatement empty(db_, "DELETE FROM legs WHERE match_id = ?1 AND winner IS NULL AND NOT "
                              "EXISTS (SELECT 1 FROM visits WHERE leg_id = legs.id)");
        empty.Bind(1, match_);
        empty.Run();
    });
}

void THistoryStore::LegWon(const TLegEvent& leg) {
    if (match_ == 0) return;
    Change([&] {
        TStatement won(db_, "UPDATE legs SET winner = ?1, winner_darts = ?2 WHERE match_id = ?3 "
                            "AND set_no = ?4 AND leg_no = ?5");
        won.Bind(1, leg.Winner + 1)
            .Bind(2, leg.WinnerDarts)
            .Bind(3, match_)
            .Bind(4, leg.Set)
            .Bind(5, leg.Leg);
        won.Run();
    });
}

void THistoryStore::MatchWon(const TMatchResult& result) {
    if (match_ == 0) return;
    Change([&] {
        TStatement end(db_, "UPDATE matches SET ended_at = ?1, end_reason = 'won', winner = ?2 "
                            "WHERE id = ?3");
        end.Bind(1, TimeText(result.Time)).Bind(2, result.Winner + 1).Bind(3, match_);
        end.Run();
        // Sets as the board shows them at the end; legs as won in the legs recorded.
        TStatement score(db_, "UPDATE match_players SET sets = ?1, legs = (SELECT COUNT(*) FROM "
                              "legs WHERE match_id = ?2 AND winner = ?3) WHERE match_id = ?2 AND "
                              "player = ?3");
        for (size_t p = 0; p < result.Sets.size(); ++p) {
            score.Bind(1, result.Sets[p]).Bind(2, match_).Bind(3, static_cast<int64_t>(p + 1));
            score.Run();
        }
    });
}

void THistoryStore::MatchAbandoned(TAbandonReason reason, TEventTime time) {
    if (match_ != 0) {
        Change([&] {
            TStatement end(db_, "UPDATE matches SET ended_at = ?1, end_reason = ?2 WHERE id = ?3 "
                                "AND end_reason IS NULL");
            end.Bind(1, TimeText(time)).Bind(2, std::string(ReasonText(reason))).Bind(3, match_);
            end.Run();
        });
    }
    match_ = 0;
    begun_.reset();
}

void THistoryStore::GameSaved(const std::string& path, TEventTime time) {
    Change([&] {
        const int64_t match = EnsureMatch(false);
        if (match == 0) {
            // The file holds a game the history has no match for.
            TStatement forget(db_, "DELETE FROM saves WHERE path = ?");
            forget.Bind(1, path);
            forget.Run();
            return;
        }
        TStatement save(db_,
                        "INSERT OR REPLACE INTO saves (path, match_id, last_visit, saved_at) "
                        "SELECT ?1, ?2, IFNULL(MAX(id), 0), ?3 FROM visits WHERE match_id = ?2");
        save.Bind(1, path).Bind(2, match).Bind(3, TimeText(time));
        save.Run();
    });
}

void THistoryStore::GameLoaded(const std::string& path, const TMatchInfo& info, TEventTime time) {
    Change([&] {
        TStatement known(db_, "SELECT saves.match_id, saves.last_visit FROM saves JOIN matches ON "
                              "matches.id = saves.match_id WHERE saves.path = ?");
        known.Bind(1, path);
        if (known.Step()) {
            // That match goes on from the point the file holds: what was recorded after it is
            // played again and recorded anew.
            const int64_t match = known.Int(0);
            const int64_t last = known.Int(1);
            for (const char* sql :
                 {"DELETE FROM visits WHERE match_id = ?1 AND id > ?2",
                  "DELETE FROM legs WHERE match_id = ?1 AND NOT EXISTS (SELECT 1 FROM visits "
                  "WHERE leg_id = legs.id)",
                  "UPDATE legs SET winner = NULL, winner_darts = NULL WHERE match_id = ?1 AND NOT "
                  "EXISTS (SELECT 1 FROM visits WHERE leg_id = legs.id AND won_leg = 1)",
                  "UPDATE matches SET ended_at = NULL, end_reason = NULL, winner = NULL WHERE id "
                  "= ?1",
                  "UPDATE match_players SET sets = NULL, legs = NULL WHERE match_id = ?1"}) {
                TStatement cut(db_, sql);
                cut.Bind(1, match);
                if (cut.Parameters() == 2) cut.Bind(2, last);
                cut.Run();
            }
            match_ = match;
            begun_.reset();
            return;
        }
        // A game file the history does not know: a new match from here on, marked as resumed.
        // The file is remembered, so loading it once more takes this match up again.
        match_ = 0;
        begun_ = info;
        begunAt_ = time;
        const int64_t match = EnsureMatch(true);
        TStatement save(db_, "INSERT OR REPLACE INTO saves (path, match_id, last_visit, saved_at) "
                             "VALUES (?, ?, 0, ?)");
        save.Bind(1, path).Bind(2, match).Bind(3, TimeText(time));
        save.Run();
    });
}

std::unique_ptr<THistoryStore> StartHistory(const std::vector<std::string>& arguments,
                                            THistoryStore::TWarn warn) {
    if (std::find(arguments.begin(), arguments.end(), "/nohistory") != arguments.end())
        return nullptr;
    auto store = std::make_unique<THistoryStore>(HistoryPath(), std::move(warn));
    if (store->Recording()) AddMatchObserver(*store);
    return store;
}

} // namespace brennix
