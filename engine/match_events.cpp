#include "match_events.h"

#include "state.h"

#include <algorithm>

namespace brennix {

namespace {

std::vector<TMatchObserver*>& Observers() {
    static std::vector<TMatchObserver*> observers;
    return observers;
}

} // namespace

std::function<TEventTime()> MatchClock = [] { return std::chrono::system_clock::now(); };

void AddMatchObserver(TMatchObserver& observer) {
    Observers().push_back(&observer);
}

void RemoveMatchObserver(TMatchObserver& observer) {
    std::erase(Observers(), &observer);
}

void AnnounceMatchEvent(const std::function<void(TMatchObserver&)>& tell) {
    // A copy: an observer may be removed while the others are told.
    const std::vector<TMatchObserver*> observers = Observers();
    for (TMatchObserver* observer : observers) {
        try {
            tell(*observer);
        } catch (...) {
            // An observer's failure is its own; the match goes on.
        }
    }
}

namespace {

// One more than the sum of a figure over the players in play; a loaded file may hold any
// numbers, so the sum is kept within range.
int32_t NextOf(int32_t TPlayerStats::*figure) {
    int64_t won = 0;
    for (int p = 0; p < PlayersInPlay(); ++p)
        won += Players[p].*figure;
    return static_cast<int32_t>(std::clamp<int64_t>(won + 1, INT32_MIN, INT32_MAX));
}

} // namespace

int32_t CurrentSetNumber() {
    return NextOf(&TPlayerStats::Sets);
}

int32_t CurrentLegNumber() {
    return NextOf(&TPlayerStats::Legs);
}

TMatchInfo CurrentMatchInfo() {
    TMatchInfo info;
    info.GameType = Settings.GameType;
    info.MatchFormat = Settings.MatchFormat;
    for (int p = 0; p < PlayersInPlay(); ++p)
        info.Names.push_back(Settings.PlayerNames[p]);
    info.Starter = ActivePlayer;
    return info;
}

} // namespace brennix
