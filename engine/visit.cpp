#include "visit.h"

#include "convert.h"
#include "errors.h"
#include "match_events.h"
#include "operations.h"
#include "rules.h"
#include "state.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace brennix {

namespace {

constexpr int32_t MaxVisit = 180;

// The counter a visit score falls into, or none below 40 (and above 180).
int32_t* CounterFor(TPlayerStats& p, int32_t score) {
    if (score == 180) return &p.Count180;
    if (score >= 140 && score < 180) return &p.Count140;
    if (score >= 100 && score < 140) return &p.Count100;
    if (score >= 60 && score < 100) return &p.Count60;
    if (score >= 40 && score < 60) return &p.Count40;
    return nullptr;
}

void UpdateAverages(TPlayerStats& p) {
    p.LegAverage = ThreeDartAverage(int64_t{StartScore} - p.Remaining, p.DartsLeg);
    p.MatchAverage = ThreeDartAverage(p.Points, p.DartsMatch);
}

} // namespace

int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

int32_t ThreeDartAverage(int64_t points, int32_t darts) {
    if (darts <= 0) return 0;
    // The default rounding mode rounds halves to even. Figures no real match reaches are held
    // at the ends of the slot's range instead of overflowing it.
    const double value = std::nearbyint(static_cast<double>(points) / darts * 30000.0);
    return static_cast<int32_t>(std::clamp(value, double{INT32_MIN}, double{INT32_MAX}));
}

void BookVisit(TKey key) {
    Thrower = ActivePlayer + 1;
    if (key == TKey::F5) {
        Ops->SaveGameFile();
        return;
    }
    if (key != TKey::Enter) return;

    // Both fields are read before anything is booked, so a bad entry in either changes nothing.
    VisitScore = -1;
    const int32_t score = StrToInt(Ops->ScoreText());
    const int32_t darts = StrToInt(Ops->DartsText());
    VisitScore = score;

    // A visit that may finish the leg is always preceded by a save.
    if (VisitScore == Players[ActivePlayer].Remaining) Ops->SaveGameFile();

    for (int i = 0; i < PlayersInPlay(); ++i)
        Players[i].PrevRemaining = Players[i].Remaining;

    // Impossible scores and busts are ignored silently: the entry stays, the turn stays.
    if (VisitScore < 0 || VisitScore > MaxVisit) return;
    if (Players[ActivePlayer].Remaining < VisitScore) return;

    const int p = ActivePlayer;
    TPlayerStats& player = Players[p];
    // Booked: the last leg's result goes (a leg this visit wins brings its own).
    LastResult.reset();

    // Equal scores hand the record to the later thrower.
    const std::string& name = Settings.PlayerNames[Thrower - 1];
    if (VisitScore >= HighGame) {
        HighGame = VisitScore;
        HighGameName = name;
    }
    if (VisitScore >= HighToday) {
        HighToday = VisitScore;
        HighTodayName = name;
    }

    // A sound that cannot be played must not keep the visit from being booked: the error is
    // raised once the visit is booked and the board redrawn. Whatever goes wrong with the sound
    // (out of memory included) ends as the sound's error, never half-way through the booking.
    std::exception_ptr soundError;
    if (Settings.Sound) {
        try {
            Ops->PlayScoreSound(VisitScore);
        } catch (const EMediaError&) {
            soundError = std::current_exception();
        } catch (const std::exception& error) {
            soundError = std::make_exception_ptr(EMediaError(error.what()));
        }
    }

    NextPlayer();

    std::copy_backward(player.History, player.History + HistorySize - 1,
                       player.History + HistorySize);
    player.History[0] = VisitScore;
    const int32_t remainingBefore = player.Remaining;
    player.Remaining -= VisitScore;
    player.Points = WrapAdd(player.Points, VisitScore);
    if (int32_t* counter = CounterFor(player, VisitScore)) *counter = WrapAdd(*counter, 1);
    player.DartsLeg = WrapAdd(player.DartsLeg, darts);
    player.DartsMatch = WrapAdd(player.DartsMatch, darts);
    UpdateAverages(player);

    // Told before the rules run, so the visit comes before the leg, set or match it wins.
    AnnounceMatchEvent([&, score = VisitScore](TMatchObserver& observer) {
        observer.VisitBooked({p, score, darts, remainingBefore, player.Remaining == 0,
                              CurrentSetNumber(), CurrentLegNumber(), LegStarter, MatchClock()});
    });

    ApplyLegRules(p);

    Ops->ClearScore();
    Ops->RefreshBoard();
    if (soundError) std::rethrow_exception(soundError);
}

void UndoVisit() {
    PreviousPlayer();
    TPlayerStats& player = Players[ActivePlayer];
    const int32_t last = player.History[0];

    // After a leg has ended everybody stands at the start score, so the finished leg's visits
    // cannot be taken back, except a newest entry of 0.
    if (last < 0 || player.Remaining > StartScore ||
        (player.Remaining == StartScore && last != 0)) {
        NextPlayer();
        Ops->ShowMessage(TMessageKind::Information, "Undo not possible ");
        Ops->FocusScore();
        return;
    }

    // The darts to take back come from the darts field as it stands now. A field that is not
    // a number leaves the visit booked and the turn where it was.
    int32_t darts = 0;
    try {
        darts = StrToInt(Ops->DartsText());
    } catch (const EConvertError&) {
        NextPlayer();
        Ops->FocusScore();
        throw;
    }

    VisitScore = last;
    LastResult.reset();
    std::copy(player.History + 1, player.History + HistorySize, player.History);
    player.History[HistorySize - 1] = -1;
    player.Remaining = WrapAdd(player.Remaining, last);
    player.Points = WrapSub(player.Points, last);
    if (int32_t* counter = CounterFor(player, last)) *counter = WrapSub(*counter, 1);
    player.DartsLeg = WrapSub(player.DartsLeg, darts);
    player.DartsMatch = WrapSub(player.DartsMatch, darts);
    UpdateAverages(player);
    AnnounceMatchEvent([&, who = ActivePlayer](TMatchObserver& observer) {
        observer.VisitTakenBack(who, last, MatchClock());
    });
    Ops->RefreshBoard();
    Ops->FocusScore();
}

} // namespace brennix
