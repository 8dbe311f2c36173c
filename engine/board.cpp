#include "board.h"

#include "state.h"

#include <algorithm>

namespace brennix {

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
    return view;
}

} // namespace brennix
