#include "board.h"

#include "rules.h"
#include "state.h"

#include <algorithm>

namespace brennix {

namespace {

constexpr int ShownLegVisits = 3;

// The newest visits of the leg being played, at most three. Every booked visit takes its score
// off what remains, so the leg's visits are the newest ones that add up to what the player has
// scored in it. Older visits of 0 right behind those may be the leg's first ones or the last
// ones of the leg before: as many count as the darts thrown in the leg make up, three a visit.
// When the history (fifty visits) never adds up, all of it is the leg's.
std::vector<int32_t> LegVisitsOf(const TPlayerStats& player) {
    const int64_t scored = int64_t{StartScore} - player.Remaining;
    int count = 0;
    int64_t sum = 0;
    while (sum < scored && count < HistorySize && player.History[count] >= 0)
        sum += player.History[count++];
    const int64_t visits = (int64_t{player.DartsLeg} + 2) / 3;
    while (count < visits && count < HistorySize && player.History[count] == 0)
        ++count;
    return {player.History, player.History + std::min(count, ShownLegVisits)};
}

// Where the match stands and what wins the set being played.
void SetProgress(TBoardView& view) {
    if (view.Winner) return;
    view.SetNumber = CurrentSetNumber();
    view.LegNumber = CurrentLegNumber();
    const std::string leg = "Leg " + std::to_string(view.LegNumber);
    if (Settings.MatchFormat == BestOfOneLeg) {
        view.Progress = leg;
        view.Target = "one leg decides";
        return;
    }
    view.Progress = "Set " + std::to_string(view.SetNumber) + " \xB7 " + leg;
    const TPlayerStats& one = Players[0];
    const TPlayerStats& two = Players[1];
    const int64_t format = Settings.MatchFormat;
    const bool deciding = Settings.PlayerCount == 2 && format == int64_t{one.Sets} + 3 &&
                          format == int64_t{two.Sets} + 3;
    // The rules of the set: three legs win it; in the deciding set of two players two legs all
    // begins a tie-break, won by two clear legs, and five legs all its sudden death.
    auto all = [](int legs) { return std::to_string(legs) + "-" + std::to_string(legs); };
    const std::string first = "first to " + std::to_string(LegsPerSet) + " legs";
    if (TieBreakSet && one.Legs == SuddenDeathLegs && two.Legs == SuddenDeathLegs)
        view.Target = "sudden death: the next leg wins";
    else if (TieBreakSet)
        view.Target = "tie-break: two clear legs, sudden death at " + all(SuddenDeathLegs);
    else if (deciding)
        view.Target = first + ", tie-break at " + all(TieBreakLegs);
    else
        view.Target = first;
}

} // namespace

std::string_view GameTypeText(int32_t gameType) {
    if (gameType < 1 || gameType > GameTypeCount) return {};
    return GameTypeTexts[gameType - 1];
}

std::string_view MatchFormatText(int32_t matchFormat) {
    if (matchFormat < 2 || matchFormat >= 2 + MatchFormatCount) return {};
    return MatchFormatTexts[matchFormat - 2];
}

std::string GameCaption(int32_t gameType, int32_t matchFormat) {
    std::string caption(GameTypeText(gameType));
    caption += " - Best of ";
    caption += MatchFormatText(matchFormat);
    return caption;
}

std::string MatchCaption(int32_t gameType, int32_t matchFormat) {
    std::string_view type = GameTypeText(gameType);
    type.remove_prefix(std::min(type.size(), type.find_first_not_of(' ')));
    const std::string_view format = MatchFormatText(matchFormat);
    std::string caption(type);
    if (!type.empty() && !format.empty()) caption += " \xB7 ";
    caption += format;
    return caption;
}

std::string GameCaption() {
    return GameCaption(Settings.GameType, Settings.MatchFormat);
}

TBoardView BoardView() {
    TBoardView view;
    view.Caption = GameCaption();
    view.SpectatorCaption = MatchCaption(Settings.GameType, Settings.MatchFormat);
    view.Special = SpecialText;
    view.Winner = MatchWinner;
    view.ActivePlayer = ActivePlayer;
    view.LegStarter = LegStarter;
    const int count = PlayersInPlay();
    const int active = ActivePlayer >= 0 && ActivePlayer < MaxPlayers ? ActivePlayer : 0;
    const TPlayerStats& thrower = Players[active];
    if (thrower.Remaining <= MaxCheckout)
        view.Checkout = std::string(CheckoutText(thrower.Remaining));
    for (int i = 0; i < 3; ++i)
        view.LastVisits[i] = thrower.History[i] < 0 ? "-" : std::to_string(thrower.History[i]);
    view.HighGame = HighGame;
    view.HighToday = HighToday;
    view.HighGameName = HighGameName;
    view.HighTodayName = HighTodayName;
    for (int p = 0; p < count; ++p) {
        const TPlayerStats& player = Players[p];
        TPlayerView& shown = view.Players.emplace_back();
        shown.Number = p + 1;
        shown.Name = Settings.PlayerNames[p];
        shown.Figures = FiguresOf(player, Settings);
        for (int i = 0; i < 3; ++i)
            shown.LastVisits[i] = player.History[i];
        shown.LegVisits = LegVisitsOf(player);
        const TPlayerFigures& figures = shown.Figures;
        auto number = [](int32_t value) { return std::to_string(value); };
        shown.Row = {number(figures.Remaining),
                     number(figures.Sets),
                     number(figures.Legs),
                     number(figures.Counts[0]),
                     number(figures.Counts[1]),
                     number(figures.Counts[2]),
                     number(figures.Counts[3]),
                     number(figures.Counts[4]),
                     FormatAverage(figures.LegAverage),
                     FormatAverage(figures.MatchAverage),
                     number(figures.DartsLeg),
                     number(figures.DartsMatch)};
    }
    SetProgress(view);
    view.Result = LastResult;
    return view;
}

} // namespace brennix
