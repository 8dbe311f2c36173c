#include "board.h"

#include "state.h"

namespace brennix {

std::string FormatAverage(int32_t value) {
    if (value < 1000) return {};
    std::string digits = std::to_string(value);
    digits.pop_back();                        // the fourth decimal is cut
    digits.insert(digits.size() - 3, 1, ','); // three decimals after the comma
    return digits;
}

std::string GameCaption() {
    std::string caption;
    if (Settings.GameType >= 1 && Settings.GameType <= GameTypeCount)
        caption = GameTypeTexts[Settings.GameType - 1];
    caption += " - Best of ";
    if (Settings.MatchFormat >= 2 && Settings.MatchFormat < 2 + MatchFormatCount)
        caption += MatchFormatTexts[Settings.MatchFormat - 2];
    return caption;
}

TBoardView BoardView() {
    TBoardView view;
    view.Caption = GameCaption();
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
        shown.Remaining = player.Remaining;
        shown.ToThrow = p == ActivePlayer;
        shown.LegStarter = p == LegStarter;
        if (player.Remaining <= MaxCheckout)
            shown.Checkout = std::string(CheckoutText(player.Remaining));
        shown.Sets = player.Sets;
        shown.Legs = player.Legs;
        shown.Counts = {player.Count40, player.Count60, player.Count100, player.Count140,
                        player.Count180};
        shown.LegAverage = player.LegAverage;
        shown.MatchAverage = player.MatchAverage;
        shown.DartsLeg = player.DartsLeg;
        shown.DartsMatch = player.DartsMatch;
        for (int i = 0; i < 3; ++i)
            shown.LastVisits[i] = player.History[i];
        auto number = [](int32_t value) { return std::to_string(value); };
        shown.Row = {number(player.Remaining),
                     number(player.Sets),
                     number(player.Legs),
                     number(player.Count40),
                     number(player.Count60),
                     number(player.Count100),
                     number(player.Count140),
                     number(player.Count180),
                     FormatAverage(player.LegAverage),
                     FormatAverage(player.MatchAverage),
                     number(player.DartsLeg),
                     number(player.DartsMatch)};
    }
    return view;
}

} // namespace brennix
