// What happens in a match, told to whoever keeps account of it (the match history). Observers
// only listen: they never change the match state, never reach the window or the files, and
// raise nothing. With no observer registered the engine behaves exactly as without them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brennix {

using TEventTime = std::chrono::system_clock::time_point;

// The clock every event is stamped with; tests replace it with one of their own.
extern std::function<TEventTime()> MatchClock;

// A match as it stands at its beginning (or as a loaded game file gives it).
struct TMatchInfo {
    int32_t GameType = 0;           // 1..12, see GameTypeTexts
    int32_t MatchFormat = 0;        // 2..8, see MatchFormatTexts
    std::vector<std::string> Names; // the players in order, one byte per character as typed
    int Starter = -1;               // index of the player who began; -1 when not known
};

// A booked visit. Set and leg are numbered from 1 as they stand when the visit is thrown.
struct TVisitEvent {
    int Player = 0; // index
    int32_t Score = 0;
    int32_t Darts = 0;
    int32_t RemainingBefore = 0;
    bool WonLeg = false;
    int32_t Set = 1;
    int32_t Leg = 1;
    int LegStarter = 0;
    TEventTime Time;
};

struct TLegEvent {
    int32_t Set = 1;
    int32_t Leg = 1;
    int Starter = 0;
    int Winner = 0;
    int32_t WinnerDarts = 0; // the winner's darts in that leg
    TEventTime Time;
};

// The end of a won match: every player's sets and legs as the board shows them at the end.
struct TMatchResult {
    int Winner = 0;
    std::vector<int32_t> Sets;
    std::vector<int32_t> Legs;
    TEventTime Time;
};

// Why a match ends before it is won.
enum class TAbandonReason { NewGame, SettingsChanged, GameLoaded, Exit };

class TMatchObserver {
  public:
    virtual ~TMatchObserver() = default;
    virtual void MatchBegun(const TMatchInfo&, TEventTime) {}
    virtual void VisitBooked(const TVisitEvent&) {}
    // The newest visit of that player was taken back (Undo); score is the visit's score.
    virtual void VisitTakenBack(int /*player*/, int32_t /*score*/, TEventTime) {}
    virtual void LegWon(const TLegEvent&) {}
    virtual void SetWon(int32_t /*set*/, int /*winner*/, TEventTime) {}
    virtual void MatchWon(const TMatchResult&) {}
    virtual void MatchAbandoned(TAbandonReason, TEventTime) {}
    // A game file was written (F5, Save As, an autosave, the save before a possible checkout).
    virtual void GameSaved(const std::string& /*path*/, TEventTime) {}
    // A game file was loaded; info is the loaded game's (its starter is not known).
    virtual void GameLoaded(const std::string& /*path*/, const TMatchInfo&, TEventTime) {}
};

// Observers are called in the order they were added; an observer is removed before it dies.
void AddMatchObserver(TMatchObserver& observer);
void RemoveMatchObserver(TMatchObserver& observer);

// Tells every observer; whatever an observer raises is swallowed, so play goes on.
void AnnounceMatchEvent(const std::function<void(TMatchObserver&)>& tell);

// The match as the state holds it now: settings, the names of the players in play, and
// ActivePlayer as the one who began.
TMatchInfo CurrentMatchInfo();

} // namespace brennix
