#include "match_events.h"

#include "state.h"

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
