#include "history_store.h"

#include "engine/state.h"
#include "engine/text_forms.h"
#include "storage/file_io.h"
#include "storage/game_file.h"
#include "storage/paths.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sqlite3.h>
#include <stdexcept>

namespace brennix {

namespace {

// The visits of match ?1 that the saved runs ?2 hold (a visit row is "v").
constexpr const char* HeldBy =
    "EXISTS (SELECT 1 FROM json_each(?2) AS r WHERE v.id BETWEEN r.value ->> 0 AND "
    "r.value ->> 1)";

// The runs of ids of match ?1's recorded visits, in the order of all its visit ids: a visit set
// aside splits a run.
constexpr const char* RecordedRuns =
    "SELECT json_group_array(json_array(first, last)) FROM (SELECT MIN(id) AS first, MAX(id) AS "
    "last FROM (SELECT id, live, ROW_NUMBER() OVER (ORDER BY id) - ROW_NUMBER() OVER (PARTITION "
    "BY live ORDER BY id) AS run FROM (SELECT id, 1 AS live FROM visits WHERE match_id = ?1 "
    "UNION ALL SELECT id, 0 FROM visits_aside WHERE match_id = ?1)) WHERE live = 1 GROUP BY run "
    "ORDER BY first)";

[[noreturn]] void Raise(sqlite3* db, int code) {
    throw ESqlError(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

} // namespace

// A statement of the store's (known to the store's class, which keeps some of them).
class TStatement {
  public:
    TStatement(sqlite3* db, const char* sql) : db_(db) {
        const int code = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
        if (code != SQLITE_OK) Raise(db_, code);
    }
    // One prepared once and kept: reset and unbound when done with.
    TStatement(sqlite3* db, sqlite3_stmt* kept) : db_(db), statement_(kept), kept_(true) {}
    ~TStatement() {
        if (!kept_) {
            sqlite3_finalize(statement_);
            return;
        }
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
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
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(statement_, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
    bool kept_ = false;
};

namespace {

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

// The content of a game file as the history knows it: a 64-bit FNV-1a hash of its bytes (those a
// load reads); none when the file cannot be read.
std::optional<std::vector<uint8_t>> GameFileBytes(const std::string& path) {
    try {
        return ReadRegularFile(path, GameFileSize);
    } catch (...) {
        return std::nullopt;
    }
}

int64_t ContentHashOf(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325;
    for (const uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3;
    return static_cast<int64_t>(hash);
}

std::optional<int64_t> ContentHash(const std::string& path) {
    const std::optional<std::vector<uint8_t>> bytes = GameFileBytes(path);
    if (!bytes) return std::nullopt;
    return ContentHashOf(*bytes);
}

using TBinder = std::function<void(TStatement&)>;

// Moves the visits a condition on "v" picks from the record to visits_aside, then drops the
// match's legs left without a visit and the winners of legs whose winning visit went.
void SetAside(sqlite3* db, int64_t match, const std::string& which, const TBinder& bind) {
    TStatement keep(db, ("INSERT INTO visits_aside SELECT v.id, v.match_id, l.set_no, l.leg_no, "
                         "l.starter, v.player, v.score, v.darts, v.remaining_before, v.won_leg, "
                         "v.at, CASE WHEN v.won_leg = 1 THEN l.winner_darts END FROM visits AS v "
                         "JOIN legs AS l ON l.id = v.leg_id WHERE " +
                         which)
                            .c_str());
    bind(keep);
    keep.Run();
    TStatement drop(db, ("DELETE FROM visits AS v WHERE " + which).c_str());
    bind(drop);
    drop.Run();
    for (const char* sql : {"DELETE FROM legs WHERE match_id = ?1 AND NOT EXISTS (SELECT 1 FROM "
                            "visits WHERE leg_id = legs.id)",
                            "UPDATE legs SET winner = NULL, winner_darts = NULL WHERE match_id = "
                            "?1 AND NOT EXISTS (SELECT 1 FROM visits WHERE leg_id = legs.id AND "
                            "won_leg = 1)"}) {
        TStatement tidy(db, sql);
        tidy.Bind(1, match);
        tidy.Run();
    }
}

// Brings the visits of a match that the runs hold back from visits_aside, with their legs and
// the winners of the legs they won.
void BringBack(sqlite3* db, int64_t match, const std::string& runs) {
    const std::string held =
        std::string(" FROM visits_aside AS v WHERE v.match_id = ?1 AND ") + HeldBy;
    for (const std::string& sql :
         {"INSERT INTO legs (match_id, set_no, leg_no, starter) SELECT DISTINCT v.match_id, "
          "v.set_no, v.leg_no, v.leg_starter" +
              held + " ON CONFLICT DO NOTHING",
          "UPDATE legs SET winner = v.player, winner_darts = v.winner_darts" + held +
              " AND v.won_leg = 1 AND legs.match_id = ?1 AND legs.set_no = v.set_no AND "
              "legs.leg_no = v.leg_no",
          "INSERT INTO visits (id, match_id, leg_id, player, score, darts, remaining_before, "
          "won_leg, at) SELECT v.id, v.match_id, (SELECT id FROM legs WHERE match_id = ?1 AND "
          "set_no = v.set_no AND leg_no = v.leg_no), v.player, v.score, v.darts, "
          "v.remaining_before, v.won_leg, v.at" +
              held,
          "DELETE" + held}) {
        TStatement back(db, sql.c_str());
        back.Bind(1, match).Bind(2, runs);
        back.Run();
    }
}

} // namespace

std::string HistoryPath() {
    return BaseDir() + "history.sqlite";
}

THistoryStore::THistoryStore(std::string path, TWarn warn, int busyMilliseconds, int64_t maxPages)
    : path_(std::move(path)), warn_(std::move(warn)) {
    Open(busyMilliseconds, maxPages);
}

THistoryStore::~THistoryStore() {
    RemoveMatchObserver(*this);
    if (writer_.joinable()) {
        SetHistoryWritesWait({});
        {
            std::unique_lock lock(mutex_);
            idle_.wait(lock, [this] { return !task_ && !writing_; });
            stop_ = true;
        }
        told_.notify_one();
        writer_.join();
    }
    Close();
}

void THistoryStore::WriteOnThread() {
    if (writer_.joinable()) return;
    SetHistoryWritesWait([this] { Idle(); });
    writer_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        for (;;) {
            told_.wait(lock, [this] { return task_ || stop_; });
            if (!task_) return;
            const std::function<void()> task = std::move(task_);
            task_ = nullptr;
            writing_ = true;
            lock.unlock();
            try {
                task();
            } catch (const std::exception& error) {
                Fail(0, error.what(), "could not be written");
            }
            lock.lock();
            writing_ = false;
            idle_.notify_all();
        }
    });
}

void THistoryStore::Run(std::function<void()> task) {
    if (!writer_.joinable()) {
        task();
        return;
    }
    // Only the change just told may be unwritten: the one before it is waited for (written long
    // since, at the pace of play).
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !task_ && !writing_; });
    task_ = std::move(task);
    told_.notify_one();
}

void THistoryStore::Idle() {
    if (!writer_.joinable()) return;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !task_ && !writing_; });
}

bool THistoryStore::Recording() {
    Idle();
    return db_ != nullptr;
}

void THistoryStore::Replaying(bool replaying) {
    Idle();
    replaying_ = replaying;
}

void THistoryStore::Close() {
    for (const auto& [sql, statement] : kept_)
        sqlite3_finalize(statement);
    kept_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

TStatement THistoryStore::Kept(const std::string& sql) {
    auto found = kept_.find(sql);
    if (found == kept_.end()) {
        sqlite3_stmt* statement = nullptr;
        const int code = sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                            &statement, nullptr);
        if (code != SQLITE_OK) Raise(db_, code);
        found = kept_.emplace(sql, statement).first;
    }
    return TStatement(db_, found->second);
}

void THistoryStore::Exec(const char* sql) {
    ExecSql(db_, sql);
}

void THistoryStore::Open(int busyMilliseconds, int64_t maxPages) {
    const int code =
        sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        Fail(code, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code), "cannot be opened");
        return;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyMilliseconds);
    GuardHistory(db_);
    try {
        const int64_t version = UserVersion(db_);
        if (version > HistorySchemaVersion) {
            Close();
            warn_("The match history " + path_ + " has a newer layout (version " +
                  std::to_string(version) + "; this Brennix knows up to " +
                  std::to_string(HistorySchemaVersion) +
                  ") and is left as it is. Play goes on without a history.");
            return;
        }
        // Before anything that could run what the file holds, and before the file is changed.
        if (const std::optional<std::string> foreign = ForeignHistory(db_, version)) {
            PutAside(*foreign);
            return;
        }
        // A kill loses at most the change being made; a write-ahead log lets readers in
        // while the program writes.
        TStatement(db_, "PRAGMA journal_mode = WAL").Step();
        Exec("PRAGMA synchronous = NORMAL");
        Migrate();
        if (maxPages > 0) Exec(("PRAGMA max_page_count = " + std::to_string(maxPages)).c_str());
    } catch (const ESqlError& error) {
        Fail(error.Code, error.what(), "cannot be opened");
    }
}

void THistoryStore::Migrate() {
    Exec("BEGIN IMMEDIATE");
    try {
        const int64_t version = UserVersion(db_);
        // Each layout is reached from the one before it.
        RaiseHistoryLayout(db_, version, HistorySchemaVersion, [&] {
            // A save of the first layout is known by its path only: it is carried over as the
            // content of the file lying there now, holding its match's visits up to its last.
            TStatement old(db_, "SELECT path, match_id, last_visit, saved_at FROM saves_v1");
            TStatement carry(db_, "INSERT OR REPLACE INTO saves VALUES (?1, ?2, ?3, ?4, CASE WHEN "
                                  "?4 = 0 THEN '[]' ELSE json_array(json_array(0, ?4)) END, ?5)");
            while (old.Step()) {
                const std::optional<int64_t> content = ContentHash(old.Text(0));
                if (!content) continue;
                carry.Bind(1, *content)
                    .Bind(2, old.Text(0))
                    .Bind(3, old.Int(1))
                    .Bind(4, old.Int(2))
                    .Bind(5, old.Text(3));
                carry.Run();
            }
        });
        Exec(("PRAGMA user_version = " + std::to_string(HistorySchemaVersion)).c_str());
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void THistoryStore::Fail(int code, const std::string& reason, const std::string& what) {
    if (IsDamage(code)) {
        PutAside("is damaged (" + reason + ")");
        return;
    }
    Close();
    match_ = 0;
    warn_("The match history " + path_ + " " + what + " (" + reason +
          "). Play goes on without a history.");
}

void THistoryStore::PutAside(const std::string& why) {
    Close();
    match_ = 0;
    // Never deleted: the file and its log are moved aside, a fresh history starts with the next
    // start of the program.
    const std::string aside = AsideName(path_);
    std::error_code ignored;
    std::filesystem::rename(path_, aside, ignored);
    for (const char* suffix : {"-wal", "-shm"})
        if (FileExists(path_ + suffix))
            std::filesystem::rename(path_ + suffix, aside + suffix, ignored);
    warn_("The match history " + path_ + " " + why + " and was set aside as " + aside +
          ". Play goes on without a history.");
}

void THistoryStore::Change(const std::function<void()>& body) {
    if (!db_ || replaying_) return;
    try {
        Kept("BEGIN IMMEDIATE").Run();
        try {
            body();
            // Every change is one to the match being played: it gets the next revision, and its
            // players' figures are made anew from what it now holds.
            if (match_ != 0) {
                Kept("UPDATE matches SET revision = (SELECT MAX(revision) FROM matches) + 1 WHERE "
                     "id = ?")
                    .Bind(1, match_)
                    .Run();
                MakePlayerFigures(db_, match_);
            }
            Kept("COMMIT").Run();
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
    Run([=, this] {
        if (replaying_) return;
        match_ = 0;
        begun_ = info;
        begunAt_ = time;
    });
}

void THistoryStore::VisitBooked(const TVisitEvent& visit) {
    Run([=, this] {
        Change([&] {
            const int64_t match = EnsureMatch(false);
            if (match == 0) return;
            Kept("INSERT INTO legs (match_id, set_no, leg_no, starter) VALUES (?1, ?2, ?3, ?4) ON "
                 "CONFLICT DO NOTHING")
                .Bind(1, match)
                .Bind(2, visit.Set)
                .Bind(3, visit.Leg)
                .Bind(4, visit.LegStarter + 1)
                .Run();
            TStatement row =
                Kept("INSERT INTO visits (match_id, leg_id, player, score, darts, "
                     "remaining_before, won_leg, at) SELECT ?1, id, ?2, ?3, ?4, ?5, ?6, "
                     "?7 FROM legs WHERE match_id = ?1 AND set_no = ?8 AND leg_no = ?9");
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
    });
}

void THistoryStore::VisitTakenBack(int player, int32_t score, TEventTime) {
    Run([=, this] {
        if (match_ == 0) return;
        Change([&] {
            // The player's newest visit, when it is the one taken back (a visit from before a game
            // file the history did not know is not there to remove). It is set aside, not deleted:
            // a game file saved before holds it.
            SetAside(db_, match_,
                     "v.id = (SELECT MAX(id) FROM visits WHERE match_id = ?1 AND player = ?2) AND "
                     "v.score = ?3",
                     [&](TStatement& s) { s.Bind(1, match_).Bind(2, player + 1).Bind(3, score); });
        });
    });
}

void THistoryStore::LegWon(const TLegEvent& leg) {
    Run([=, this] {
        if (match_ == 0) return;
        Change([&] {
            TStatement won(db_,
                           "UPDATE legs SET winner = ?1, winner_darts = ?2 WHERE match_id = ?3 "
                           "AND set_no = ?4 AND leg_no = ?5");
            won.Bind(1, leg.Winner + 1)
                .Bind(2, leg.WinnerDarts)
                .Bind(3, match_)
                .Bind(4, leg.Set)
                .Bind(5, leg.Leg);
            won.Run();
        });
    });
}

void THistoryStore::MatchWon(const TMatchResult& result) {
    Run([=, this] {
        if (match_ == 0) return;
        Change([&] {
            TStatement end(db_, "UPDATE matches SET ended_at = ?1, end_reason = 'won', winner = ?2 "
                                "WHERE id = ?3");
            end.Bind(1, TimeText(result.Time)).Bind(2, result.Winner + 1).Bind(3, match_);
            end.Run();
            // Sets as the board shows them at the end; legs as won in the legs recorded.
            TStatement score(db_,
                             "UPDATE match_players SET sets = ?1, legs = (SELECT COUNT(*) FROM "
                             "legs WHERE match_id = ?2 AND winner = ?3) WHERE match_id = ?2 AND "
                             "player = ?3");
            for (size_t p = 0; p < result.Sets.size(); ++p) {
                score.Bind(1, result.Sets[p]).Bind(2, match_).Bind(3, static_cast<int64_t>(p + 1));
                score.Run();
            }
        });
    });
}

void THistoryStore::MatchAbandoned(TAbandonReason reason, TEventTime time) {
    Run([=, this] {
        if (replaying_) return;
        if (match_ != 0) {
            Change([&] {
                TStatement end(db_,
                               "UPDATE matches SET ended_at = ?1, end_reason = ?2 WHERE id = ?3 "
                               "AND end_reason IS NULL");
                end.Bind(1, TimeText(time))
                    .Bind(2, std::string(ReasonText(reason)))
                    .Bind(3, match_);
                end.Run();
            });
        }
        match_ = 0;
        begun_.reset();
    });
}

void THistoryStore::GameSaved(const std::string& path, TEventTime time) {
    // Read back at once: the file's content is what a load will be recognised by.
    const std::optional<int64_t> content = ContentHash(path);
    if (!content) return;
    Run([=, this] {
        Change([&] {
            const int64_t match = EnsureMatch(false);
            if (match == 0) return;
            TStatement save(db_, (std::string("INSERT OR REPLACE INTO saves (content_hash, path, "
                                              "match_id, last_visit, held_visits, saved_at) SELECT "
                                              "?2, ?3, ?1, (SELECT IFNULL(MAX(id), 0) FROM visits "
                                              "WHERE match_id = ?1), (") +
                                  RecordedRuns + "), ?4")
                                     .c_str());
            save.Bind(1, match).Bind(2, *content).Bind(3, path).Bind(4, TimeText(time));
            save.Run();
        });
    });
}

void THistoryStore::GameLoaded(const std::string& path, const TMatchInfo& info, TEventTime time) {
    const std::optional<int64_t> content = ContentHash(path);
    Run([=, this] {
        Change([&] {
            TStatement known(db_,
                             "SELECT saves.match_id, saves.held_visits FROM saves JOIN matches "
                             "ON matches.id = saves.match_id WHERE saves.content_hash = ?");
            known.Bind(1, content.value_or(0));
            if (content && known.Step()) {
                // That match goes on from the point the file holds: its visits are exactly those
                // the file holds, the others set aside, those set aside before brought back.
                const int64_t match = known.Int(0);
                const std::string held = known.Text(1);
                SetAside(db_, match, std::string("v.match_id = ?1 AND NOT ") + HeldBy,
                         [&](TStatement& s) { s.Bind(1, match).Bind(2, held); });
                BringBack(db_, match, held);
                for (const char* sql :
                     {"UPDATE matches SET ended_at = NULL, end_reason = NULL, winner = NULL WHERE "
                      "id "
                      "= ?1",
                      "UPDATE match_players SET sets = NULL, legs = NULL WHERE match_id = ?1"}) {
                    TStatement reopen(db_, sql);
                    reopen.Bind(1, match);
                    reopen.Run();
                }
                match_ = match;
                begun_.reset();
                return;
            }
            // A game file the history does not know: a new match from here on, marked as resumed.
            // Its content is remembered, so loading it once more takes this match up again.
            match_ = 0;
            begun_ = info;
            begunAt_ = time;
            const int64_t match = EnsureMatch(true);
            if (!content) return;
            TStatement save(db_, "INSERT OR REPLACE INTO saves (content_hash, path, match_id, "
                                 "last_visit, held_visits, saved_at) VALUES (?, ?, ?, 0, '[]', ?)");
            save.Bind(1, *content).Bind(2, path).Bind(3, match).Bind(4, TimeText(time));
            save.Run();
        });
    });
}

std::optional<TInterruptedMatch> THistoryStore::Interrupted() {
    Idle();
    if (!db_) return std::nullopt;
    try {
        TStatement newest(db_, "SELECT id, game_type, match_format, IFNULL(starter, 0) - 1, "
                               "resumed, ended_at IS NULL AND end_reason IS NULL FROM matches "
                               "WHERE id <> ? ORDER BY id DESC LIMIT 1");
        newest.Bind(1, match_);
        if (!newest.Step() || newest.Int(5) == 0) return std::nullopt;
        TInterruptedMatch match;
        match.Match = newest.Int(0);
        match.Info.GameType = static_cast<int32_t>(newest.Int(1));
        match.Info.MatchFormat = static_cast<int32_t>(newest.Int(2));
        match.Info.Starter = static_cast<int>(newest.Int(3));
        match.Resumed = newest.Int(4) != 0;
        // Played on after its newest save: what is recorded is not what that save holds.
        TStatement after(db_, (std::string("SELECT (") + RecordedRuns +
                               ") IS NOT IFNULL((SELECT held_visits FROM saves WHERE match_id = "
                               "?1 ORDER BY saved_at DESC, last_visit DESC LIMIT 1), '[]')")
                                  .c_str());
        after.Bind(1, match.Match);
        if (!after.Step() || after.Int(0) == 0) return std::nullopt;

        // One past the most a match can have is enough to refuse it.
        TStatement players(db_, "SELECT name FROM match_players WHERE match_id = ? ORDER BY "
                                "player LIMIT ?");
        players.Bind(1, match.Match).Bind(2, MaxPlayers + 1);
        while (players.Step())
            match.Info.Names.push_back(players.Text(0));
        TStatement visits(db_, "SELECT v.id, v.player, v.score, v.darts, v.remaining_before, "
                               "v.won_leg, l.set_no, l.leg_no, l.starter, 0 FROM visits AS v JOIN "
                               "legs AS l ON l.id = v.leg_id WHERE v.match_id = ?1 UNION ALL "
                               "SELECT id, player, score, darts, remaining_before, won_leg, "
                               "set_no, leg_no, leg_starter, 1 FROM visits_aside WHERE match_id "
                               "= ?1 ORDER BY 1");
        visits.Bind(1, match.Match);
        while (visits.Step()) {
            auto number = [&](int column) { return static_cast<int32_t>(visits.Int(column)); };
            TInterruptedMatch::TVisit& visit = match.Visits.emplace_back();
            visit.Id = visits.Int(0);
            visit.Event.Player = number(1) - 1;
            visit.Event.Score = number(2);
            visit.Event.Darts = number(3);
            visit.Event.RemainingBefore = number(4);
            visit.Event.WonLeg = visits.Int(5) != 0;
            visit.Event.Set = number(6);
            visit.Event.Leg = number(7);
            visit.Event.LegStarter = number(8) - 1;
            visit.SetAside = visits.Int(9) != 0;
        }
        // A save holds the record up to its last visit when each visit recorded up to there is
        // one it holds, and none it holds is set aside.
        const std::string held = "EXISTS (SELECT 1 FROM json_each(s.held_visits) AS r WHERE v.id "
                                 "BETWEEN r.value ->> 0 AND r.value ->> 1)";
        TStatement saves(db_, ("SELECT path, content_hash, last_visit, NOT EXISTS (SELECT 1 FROM "
                               "visits AS v WHERE v.match_id = ?1 AND v.id <= s.last_visit AND "
                               "NOT " +
                               held +
                               ") AND NOT EXISTS (SELECT 1 FROM visits_aside AS v WHERE "
                               "v.match_id = ?1 AND " +
                               held +
                               ") FROM saves AS s WHERE match_id = ?1 ORDER BY saved_at DESC, "
                               "last_visit DESC")
                                  .c_str());
        saves.Bind(1, match.Match);
        while (saves.Step())
            match.Saves.push_back({saves.Text(0), saves.Int(1), saves.Int(2), saves.Int(3) != 0});
        return match;
    } catch (const ESqlError&) {
        return std::nullopt;
    }
}

void THistoryStore::Adopt(int64_t match) {
    Idle();
    match_ = match;
    begun_.reset();
}

std::optional<TGameFileRecord> SavedGame(const std::string& path, int64_t contentHash) {
    const std::optional<std::vector<uint8_t>> bytes = GameFileBytes(path);
    if (!bytes || ContentHashOf(*bytes) != contentHash) return std::nullopt;
    try {
        return GameFromFile(*bytes, path);
    } catch (...) {
        return std::nullopt;
    }
}

THistoryStart::THistoryStart(const TRunOptions& options, THistoryStore::TWarn warn)
    : warnings_(std::make_shared<TWarnings>(TWarnings{std::move(warn), false, {}})) {
    if (options.NoHistory) return;
    opening_ = std::async(std::launch::async, [path = HistoryPath(), warnings = warnings_] {
        return std::make_unique<THistoryStore>(path, [warnings](const std::string& text) {
            if (warnings->Opened)
                warnings->Warn(text);
            else
                warnings->Held.push_back(text);
        });
    });
}

std::unique_ptr<THistoryStore> THistoryStart::Started() {
    if (!opening_.valid()) return nullptr;
    std::unique_ptr<THistoryStore> store = opening_.get();
    warnings_->Opened = true;
    for (const std::string& text : warnings_->Held)
        warnings_->Warn(text);
    if (store->Recording()) {
        store->WriteOnThread();
        AddMatchObserver(*store);
    }
    return store;
}

std::unique_ptr<THistoryStore> StartHistory(const TRunOptions& options, THistoryStore::TWarn warn) {
    return THistoryStart(options, std::move(warn)).Started();
}

} // namespace brennix
