// The match history: every match, leg and visit the engine announces, kept in an SQLite file
// (history.sqlite in the data folder) that anyone may query. It listens to the engine and never
// reaches back: a history that cannot be used is reported once through the warning it is given,
// and play goes on without it.
#pragma once

#include "engine/match_events.h"
#include "engine/run_options.h"
#include "history_layout.h"
#include "storage/game_file.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace brennix {

class TStatement;

// BaseDir() + "history.sqlite".
std::string HistoryPath();

// A match the history holds that was neither won nor abandoned and was played on after its newest
// save (the program was killed, the power went): what it takes to play it again.
struct TInterruptedMatch {
    struct TVisit {
        int64_t Id = 0;
        TVisitEvent Event;     // as the engine told it, but for its time
        bool SetAside = false; // taken back, or cut by a load
    };
    struct TSave {
        std::string Path;
        int64_t ContentHash = 0;
        int64_t LastVisit = 0;
        bool HoldsRecord = false; // it holds exactly the visits now recorded up to LastVisit
    };
    int64_t Match = 0;
    TMatchInfo Info;            // names in UTF-8 as the history keeps them; Starter -1: not known
    bool Resumed = false;       // begun by loading a game file the history did not know
    std::vector<TVisit> Visits; // every visit booked in it, in the order booked
    std::vector<TSave> Saves;   // newest first
};

// The game a file holds, while its bytes are still the ones saved with that content hash.
std::optional<TGameFileRecord> SavedGame(const std::string& path, int64_t contentHash);

class THistoryStore : public TMatchObserver {
  public:
    using TWarn = std::function<void(const std::string& text)>;

    // Opens the history at path, creating it or bringing an older layout up to date. A file
    // that cannot be opened, is damaged or holds what the program never makes (both are then set
    // aside under a new name, nothing in them run) or has a newer layout is reported through
    // warn, and the store records nothing. maxPages > 0 caps the file's size in pages (a full
    // disk without filling one).
    THistoryStore(std::string path, TWarn warn, int busyMilliseconds = 2000, int64_t maxPages = 0);
    // Stops listening and closes the file; a clean close folds the write-ahead log back into it.
    ~THistoryStore() override;
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // From now on the engine's events are written on a thread of the store's own, in the order
    // told: each event returns at once, once the one before it is written, so that a kill loses
    // at most the change just told (the visit being booked). Warnings then come from that thread.
    // The calls below wait until everything told is written.
    void WriteOnThread();

    // Whether the store still records (false after a warning).
    bool Recording();

    // The newest match but the one being played, when it is an interrupted one; none when there
    // is none, or it cannot be read.
    std::optional<TInterruptedMatch> Interrupted();
    // While a match of the history is played again through the engine (history/resume.h), none
    // of its events is recorded.
    void Replaying(bool replaying);
    // Goes on recording into that match, as if play had never stopped.
    void Adopt(int64_t match);

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
    void Close();
    // Runs what an event does: at once, or on the writing thread once it is idle.
    void Run(std::function<void()> task);
    // Waits until the writing thread has written everything told.
    void Idle();
    // A statement prepared once and kept while the file is open.
    TStatement Kept(const std::string& sql);
    void Migrate();
    // Runs one change to the match being played as one transaction, the match getting the next
    // revision in it; a failure rolls it back, warns and stops the store.
    void Change(const std::function<void()>& body);
    void Fail(int code, const std::string& reason, const std::string& what);
    // Closes the file and moves it and its log aside, warning why.
    void PutAside(const std::string& why);
    void Exec(const char* sql);
    // The current match's row, made from the match begun when it has none yet; 0 without one.
    int64_t EnsureMatch(bool resumed);

    std::string path_;
    TWarn warn_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> kept_;
    int64_t match_ = 0;               // row of the match being played, 0 while it has none
    std::optional<TMatchInfo> begun_; // the match begun, until it gets its row
    TEventTime begunAt_;
    bool replaying_ = false;

    // The writing thread and the one task it is given at a time.
    std::thread writer_;
    std::mutex mutex_;
    std::condition_variable told_, idle_;
    std::function<void()> task_;
    bool writing_ = false, stop_ = false;
};

// The history of a run of the program, opened on a worker thread so that the window can be made
// meanwhile. What the opening warns about is held until Started(), which warns on its caller's
// thread; later warnings go straight to warn.
class THistoryStart {
  public:
    THistoryStart(const TRunOptions& options, THistoryStore::TWarn warn);
    // Waits for the opening: none with "/nohistory", else the store at HistoryPath(), listening
    // to the engine while it records. Once only.
    std::unique_ptr<THistoryStore> Started();

  private:
    struct TWarnings {
        THistoryStore::TWarn Warn;
        bool Opened = false;
        std::vector<std::string> Held; // until opened
    };
    std::shared_ptr<TWarnings> warnings_;
    std::future<std::unique_ptr<THistoryStore>> opening_;
};

// THistoryStart's store, waited for at once.
std::unique_ptr<THistoryStore> StartHistory(const TRunOptions& options, THistoryStore::TWarn warn);

} // namespace brennix
