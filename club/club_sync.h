// A board's part in its club: the board's match history copied to the club's database by a
// worker of its own, off the window's thread, and the board's row there (when it was last seen,
// its live state, how far its copy is). The board's own history.sqlite is always written first;
// the worker reads it with a read-only connection and catches up whenever the server lets it, so
// a server that is away or hung never holds up play. A match the club refuses for its data is set
// aside until the history changes it, and holds back no other. No Qt.
#pragma once

#include "history/history_changes.h"

#include "engine/run_options.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace brennix::club {

class TConnection;
using TParam = std::optional<std::string>;

// Copies one match of the history to the club in one transaction: the match's row where the
// club's has an older revision (a stale resend changes nothing) or `replace` is set, then its
// players, legs and visits in place of the club's, all read from the history in one snapshot.
// Returns the revision read (0: no such match). A row the server refuses raises EStatementError.
int64_t PushMatch(TConnection& db, const std::string& board, THistoryChanges& history,
                  int64_t match, bool replace = false);

// Where a board is in a club: the club's server (a libpq connection string or postgresql://
// URI) and the board's name there.
struct TClubPlace {
    std::string Url, Board;
};

// The club of a run of the program: none with "/nohistory" (the club copies the history). The
// server is "/club=URL", else the first line of club.conf in the data folder baseDir; none when
// neither names one ("/club=" with nothing after it leaves the club for the run). The board is
// "/board=NAME", else the host name. A password in "/club=" (which every local user can read)
// and a club.conf others can read are refused: none, and `refusal` tells the operator why and
// what to do ("" otherwise).
std::optional<TClubPlace> FindClub(const TRunOptions& options, const std::string& baseDir,
                                   std::string& refusal);

// How far the board's copy in the club is.
struct TSyncStatus {
    std::string Board;
    bool Reached = false;   // the server answered the last attempt
    bool Known = false;     // the club's copy was compared with the history at least once
    int64_t Waiting = 0;    // matches the club does not hold as they are now (when Known)
    int64_t InStepUpTo = 0; // the newest revision of the history the club holds, with all before
                            // (the refused matches aside)
    std::string Reason;     // why the server cannot be reached, or the history not be read
    bool HistoryProblem = false; // the reason is the history's, not the server's
    int64_t Failures = 0;        // attempts that failed since the server last answered
    int64_t Refused = 0;         // matches the club refused for their data, set aside
    int64_t RefusedMatch = 0;    // the lowest of them
    std::string RefusedReason;   // and the server's reason for it
    // The machine of the running board that holds this board's name (or this board's history),
    // "" when the board holds its name. While it is held, the board plays on locally.
    std::string NameTakenBy;
    // When the server was first not reached since it last answered (none while it answers).
    std::optional<std::chrono::system_clock::time_point> AwaySince;
};

// The operator's note: "Club: in step (board B)", "Club: 3 matches waiting (board B)", and when
// the server cannot be reached "Club: 3 matches waiting (board B); the server cannot be reached:
// REASON"; before the club's copy was ever compared "Club: connecting (board B)", or "Club: not
// reached yet (board B); the server cannot be reached: REASON". Refused matches come last:
// "; match 7 refused: REASON", "; 2 matches refused, match 7: REASON". A name held by another
// running board: "Club: the name B is taken by the board on HOST; this board plays on locally
// until the name is free or it is started with another /board=NAME".
std::string NoteOf(const TSyncStatus& status);

// The same in short, for the scoreboard's status bar, where it is always in sight: "Club: in
// step", "Club: connecting…", "Club: 3 matches waiting", "Club: server away since 21:04, 3
// matches waiting: REASON", "Club: REASON" (of the history), "Club: the name B is taken by the
// board on HOST", and refused matches last ("; match 7 refused", "; 2 matches refused").
// Trouble: something the operator may want to see to (all but the first three).
struct TStatusNote {
    std::string Text;
    bool Trouble = false;
};
TStatusNote StatusNoteOf(const TSyncStatus& status);

// The note for anyone on the network (the hall's pages): NoteOf without the server's reasons,
// which may name the server, the role or parts of the URL: "Club: in step (board B)", "Club: 3
// matches waiting (board B); the club server cannot be reached", "; match 7 refused".
std::string PublicNoteOf(const TSyncStatus& status);

// Another board's row as the club has it (for a hall of every board). Every row is another
// member's to write, so each is read with bounds (TBoardLimits); one that breaks them is shown
// as broken, with the reason, and never holds up the others.
struct TClubBoard {
    std::string Board;     // its name
    double SecondsAgo = 0; // since it was last seen (0 for a time ahead of the server's clock)
    std::string State;     // its live JSON as a JSON object of bounded size and depth, "" for none
    std::string SyncNote;  // "" when its copy is in step
    bool Own = false;      // this board's own row
    std::string Broken;    // why its state cannot be shown ("" when it can)
};

// The bounds of what is read of the club's boards for a hall.
struct TBoardLimits {
    int Rows = 48; // the boards seen most recently, of those seen in the last ten minutes
    int StateBytes = 64 * 1024; // a state's JSON text; 8 players with long names take under 8 KiB
    int Depth = 8;              // nested objects and arrays (a board's own state has 4)
    int Values = 4000;          // values in a state, keys counted
    int TextBytes = 200;        // a name, a note
};

// A board's state as read from the club, checked against the limits without recursion and
// written out again as compact JSON; "" with `broken` saying why when it breaks them or is not a
// JSON object.
std::string CheckedState(const std::string& text, const TBoardLimits& limits, std::string& broken);

class TClubSync {
  public:
    using TChanged = std::function<void(const TSyncStatus& status)>;

    struct TOptions {
        std::chrono::milliseconds Poll{1000};       // looks for changes in the history
        std::chrono::milliseconds Heartbeat{10000}; // the board's row is written at least so often
        std::chrono::milliseconds FirstBackoff{1000}, LastBackoff{60000};
        int WaitSeconds = 10; // the longest wait for the server, connect or statement
        // On destruction, the longest wait for what the history holds and the club does not
        // (the match ended by closing the window); 0 stops at once.
        std::chrono::milliseconds FinishWait{2500};
        TBoardLimits Limits; // of the other boards' rows read for a hall
        // The club's copy is compared with the history again so often (besides on connecting).
        std::chrono::milliseconds Recount{300000};
    };

    // Starts the worker. changed is called (from the worker) with every new note, long or short.
    TClubSync(TClubPlace place, std::string historyPath, TChanged changed = {});
    TClubSync(TClubPlace place, std::string historyPath, TChanged changed, TOptions options);
    // Lets the worker send the history's last changes for at most FinishWait, then stops it,
    // whatever the server is doing.
    ~TClubSync();
    TClubSync(const TClubSync&) = delete;
    TClubSync& operator=(const TClubSync&) = delete;

    // The board's live JSON after a redraw: handed over, never waited for; the worker writes the
    // newest to the club.
    void SetState(std::string json);
    // Makes the worker read the other boards' rows every Poll (for a hall); off by default.
    void WatchBoards(bool on);

    TSyncStatus Status() const;
    std::string Note() const { return NoteOf(Status()); }
    // The club's boards as last read (empty unless watched).
    std::vector<TClubBoard> Boards() const;

  private:
    void Run();
    void Connect();
    bool Claim();
    void Adopt();
    void Leave();
    void Compare();
    void Look();
    void Push(int64_t match);
    void Beat();
    void ReadBoards();
    void Publish(std::string reason, bool historyProblem);
    bool Finishing() const;
    // Waits for the time given or until woken (a new state), finishing or stopped; false when
    // stopping.
    bool Pause(std::chrono::milliseconds time, bool wakeable);

    const TClubPlace place_;
    const std::string historyPath_;
    const TChanged changed_;
    const TOptions options_;
    int stopPipe_[2] = {-1, -1};

    // The worker's own.
    std::unique_ptr<TConnection> db_;
    std::unique_ptr<THistoryChanges> local_;
    std::string secret_;                 // the history's identity, known to this board alone
    std::string key_;                    // its digest, the board's key in the club
    const std::string run_;              // this run of the program
    const std::string host_;             // this machine
    bool claimed_ = false;               // the name is this board's on the connection
    bool told_ = false;                  // the first note was given
    int lostInRow_ = 0;                  // connections lost since a pass last went through
    std::string takenBy_;                // the machine that holds it when not
    std::map<int64_t, int64_t> pending_; // match -> its revision not yet in the club
    std::set<int64_t> replace_;          // pending matches whose club copy differs at its revision
    std::chrono::steady_clock::time_point comparedAt_{};
    struct TRefusal {
        int64_t Revision = 0;
        std::string Reason;
    };
    std::map<int64_t, TRefusal> refused_; // match -> the revision the club refused, and why
    int64_t mark_ = 0;                    // the highest revision seen in the history
    bool known_ = false;
    std::string beatNote_;
    std::optional<std::string> beatState_;
    std::chrono::steady_clock::time_point beatAt_{};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false, finishing_ = false, done_ = false, woken_ = false, watch_ = false;
    std::optional<std::string> state_;
    uint64_t stateNumber_ = 0, beatNumber_ = 0;
    TSyncStatus status_;
    std::vector<TClubBoard> boards_;
    std::chrono::steady_clock::time_point boardsReadAt_{};
    std::thread worker_;
};

} // namespace brennix::club
