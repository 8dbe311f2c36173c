#include "rules.h"

#include "autosave_hold.h"
#include "match_events.h"
#include "operations.h"
#include "state.h"
#include "visit.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

namespace brennix {

namespace {

// Keeps what the leg won by player index p won, with every player's sets and legs as they stand.
void KeepResult(int p, std::string won) {
    TLegResult result{std::move(won), Settings.PlayerNames[p], {}};
    for (int i = 0; i < PlayersInPlay(); ++i)
        result.Players.push_back({Settings.PlayerNames[i], Players[i].Sets, Players[i].Legs});
    LastResult = std::move(result);
}

// A. The leg ends when the player stands at 0.
void LegEnd(int p) {
    TPlayerStats& winner = Players[p];
    if (winner.Remaining != 0) return;
    AnnounceMatchEvent([&, set = CurrentSetNumber(), leg = CurrentLegNumber()](TMatchObserver& o) {
        o.LegWon({set, leg, LegStarter, p, winner.DartsLeg, MatchClock()});
    });

    int32_t* slot = std::find(std::begin(winner.WonLegDarts), std::end(winner.WonLegDarts), 0);
    if (slot != std::end(winner.WonLegDarts)) *slot = winner.DartsLeg;
    winner.Legs = WrapAdd(winner.Legs, 1);
    KeepResult(p, "leg");

    for (int i = 0; i < PlayersInPlay(); ++i) {
        Players[i].Remaining = StartScore;
        Players[i].PrevLegDarts = Players[i].DartsLeg;
        Players[i].DartsLeg = 0;
    }

    // Two players, both one set short of the match, at two legs all: the set becomes a
    // tie-break set.
    const TPlayerStats& one = Players[0];
    const TPlayerStats& two = Players[1];
    const int64_t format = Settings.MatchFormat;
    if (Settings.PlayerCount == 2 && one.Legs == TieBreakLegs && two.Legs == TieBreakLegs &&
        format == int64_t{one.Sets} + 3 && format == int64_t{two.Sets} + 3) {
        TieBreakSet = true;
        SetSpecialText(std::string(TieBreakText));
    }

    ActivePlayer = NextLegStarter;
    LegStarter = ActivePlayer;
    NextLegStarter = Wrap(ActivePlayer);
    ShowActivePlayer();
}

// B. A tie-break set is won by two clear legs, or from five legs all by the next leg.
void TieBreakUpdates(int p) {
    if (!TieBreakSet) return;
    const int32_t legsOne = Players[0].Legs;
    const int32_t legsTwo = Players[1].Legs;
    if (std::abs(int64_t{legsOne} - legsTwo) >= 2) SetDecided = true;

    if (legsOne == SuddenDeathLegs && legsTwo == SuddenDeathLegs &&
        Ops->SpecialSetText() != SuddenDeathText) {
        SetSpecialText(std::string(SuddenDeathText));
        {
            // No autosave while Start Leg is open: it would store the new leg's starters only
            // half chosen.
            TAutosaveHold hold;
            Ops->AskWhoBegins();
        }
        NextSetStarter = Wrap(ActivePlayer);
        NextLegStarter = NextSetStarter;
        LegStarter = ActivePlayer;
        ShowActivePlayer();
    }

    if (Players[p].Legs >= TieBreakMaxLegs) SetDecided = true;
}

// C. The set ends with the third leg outside a tie-break, or when the tie-break is decided.
void SetEnd(int p) {
    if (!((Players[p].Legs >= LegsPerSet && !TieBreakSet) || SetDecided)) return;
    AnnounceMatchEvent([&, set = CurrentSetNumber()](TMatchObserver& observer) {
        observer.SetWon(set, p, MatchClock());
    });
    Players[p].Sets = WrapAdd(Players[p].Sets, 1);
    KeepResult(p, "set"); // with the legs of the set won, before they go back to 0
    for (int i = 0; i < PlayersInPlay(); ++i) {
        Players[i].Legs = 0;
        Players[i].Remaining = StartScore;
    }
    ActivePlayer = NextSetStarter;
    LegStarter = ActivePlayer;
    NextSetStarter = Wrap(ActivePlayer);
    NextLegStarter = NextSetStarter;
    ShowActivePlayer();
}

// D. The match ends with the last set needed, or with the only leg of "Best of 1 Leg".
void MatchEnd(int p) {
    const TPlayerStats& winner = Players[p];
    const bool won = (winner.Sets > 0 && winner.Sets >= int64_t{Settings.MatchFormat} - 2) ||
                     (Settings.MatchFormat == BestOfOneLeg && winner.Legs >= 1);
    if (!won) return;
    // Told before the result dialog opens, so a match won is kept even if the program ends
    // while the dialog is open.
    AnnounceMatchEvent([&](TMatchObserver& observer) {
        TMatchResult result{p, {}, {}, MatchClock()};
        for (int i = 0; i < PlayersInPlay(); ++i) {
            result.Sets.push_back(Players[i].Sets);
            result.Legs.push_back(Players[i].Legs);
        }
        observer.MatchWon(result);
    });
    // The match goes to the result of the leg that won it; a loaded game that had already
    // decided the match has none, so its result is the players as they stand.
    if (!LastResult) KeepResult(p, "match");
    LastResult->Won = "match";

    // While the result dialog is open the board shows the position before the final visit.
    for (int i = 0; i < PlayersInPlay(); ++i) {
        Players[i].Remaining = Players[i].PrevRemaining;
        Players[i].DartsLeg = Players[i].PrevLegDarts;
    }
    Players[p].Remaining = 0;
    ActivePlayer = Wrap(p);
    {
        // The board names the winner for as long as the result dialog is open.
        struct TWinnerShown {
            explicit TWinnerShown(const std::string& name) { MatchWinner = name; }
            ~TWinnerShown() { MatchWinner.reset(); }
        } shown(Settings.PlayerNames[p]);
        Ops->RefreshBoard();
        Ops->StopTimer();
        Ops->ShowResult();
    }
    GameFileName.clear();
    Ops->ShowFilePath(GameFileName);
    ResetGame();
    ShowActivePlayer();
    // The next match follows at once.
    AnnounceMatchEvent([info = CurrentMatchInfo()](TMatchObserver& observer) {
        observer.MatchBegun(info, MatchClock());
    });
}

} // namespace

TOutRule OutRuleOf(int64_t gameType) {
    return gameType >= 5 && gameType <= 8 ? TOutRule::Single : TOutRule::Double;
}

bool IsCheckoutChance(int64_t remaining, TOutRule rule) {
    if (rule == TOutRule::Double) {
        static constexpr int64_t none[] = {159, 162, 163, 165, 166, 168, 169};
        return remaining >= 2 && remaining <= 170 &&
               std::find(std::begin(none), std::end(none), remaining) == std::end(none);
    }
    static constexpr int64_t none[] = {163, 166, 169, 172, 173, 175, 176, 178, 179};
    return remaining >= 1 && remaining <= 180 &&
           std::find(std::begin(none), std::end(none), remaining) == std::end(none);
}

void ApplyLegRules(int p) {
    LegEnd(p);
    TieBreakUpdates(p);
    SetEnd(p);
    MatchEnd(p);
}

} // namespace brennix
