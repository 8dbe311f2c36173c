// The match history: every match, leg and visit the engine announces, kept in an SQLite file
// (history.sqlite in the data folder) that anyone may query. It listens to the engine and never
// reaches back: a history that cannot be used is reported once through the warning it is given,
// and play goes on without it.
#pragma once

#include "engine/match_events.h"
#include "engine/run_options.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace brennix {

// The layout of the file this program writes (PRAGMA user_version).
inline constexpr int HistorySchemaVersion = 3;

// The tables of the first layout (version 1), from which every later one is reached.
extern const char* const HistoryLayout1;

// BaseDir() + "history.sqlite".
std::string HistoryPath();

class THistoryStore : public TMatchObserver {
  public:
    using TWarn = std::function<void(const std::string& text)>;

    // Opens the history at path, creating it or bringing an older layout up to date. A file
    // that cannot be opened, is damaged (it is then set aside under a new name) or has a newer
    // layout is reported through warn, and the store records nothing. maxPages > 0 caps the
    // file's size in pages (a full disk without filling one).
    THistoryStore(std::string path, TWarn warn, int busyMilliseconds = 2000, int64_t maxPages = 0);
    // Stops listening and closes the file; a clean close folds the write-ahead log back into it.
    ~THistoryStore() override;
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // Whether the store still records (false after a warning).
    bool Recording() const { return db_ != nullptr; }

    void MatchBegun(const TMatchInfo& info, TEventTime time) override;
    void VisitBooked(const TVisitEvent& visit) override;
    void VisitTakenBack(int player, int32_t score, TEventTime time) override;
    void LegWon(const TLegEvent& leg) override;
    void MatchWon(const TMatchResult& result) override;
    void MatchAbandoned(TAbandonReason reason, TEventTime time) override;
    void GameSaved(const std::string& path, TEventTime time) override;
    void GameLoaded(const std::string& path, const TMatchInfo& info, TEventTime time) override;

  private:
    void Open(int busyMilliseconds, int64_t maxPages);
    void Migrate();
    // Runs one change to the match being played as one transaction, the match getting the next
    // revision in it; a failure rolls it back, warns and stops the store.
    void Change(const std::function<void()>& body);
    void Fail(int code, const std::string& reason, const std::string& what);
    void Exec(const char* sql);
    // The current match's row, made from the match begun when it has none yet; 0 without one.
    int64_t EnsureMatch(bool resumed);

    std::string path_;
    TWarn warn_;
    sqlite3* db_ = nullptr;
    int64_t match_ = 0;               // row of the match being played, 0 while it has none
    std::optional<TMatchInfo> begun_; // the match begun, until it gets its row
    TEventTime begunAt_;
};

// The history of a run of the program: none with "/nohistory", else the store at HistoryPath(),
// listening to the engine while it records.
std::unique_ptr<THistoryStore> StartHistory(const TRunOptions& options, THistoryStore::TWarn warn);

} // namespace brennix
