#include "figures.h"

#include <algorithm>

namespace brennix {

TPlayerFigures FiguresOf(const TPlayerStats& player, const TSettings& settings) {
    TPlayerFigures figures;
    figures.Remaining = player.Remaining;
    if (player.Remaining <= MaxCheckout)
        figures.Checkout = std::string(CheckoutText(settings, player.Remaining));
    figures.Sets = player.Sets;
    figures.Legs = player.Legs;
    figures.Points = player.Points;
    figures.Counts = {player.Count40, player.Count60, player.Count100, player.Count140,
                      player.Count180};
    figures.LegAverage = player.LegAverage;
    figures.MatchAverage = player.MatchAverage;
    figures.DartsLeg = player.DartsLeg;
    figures.DartsMatch = player.DartsMatch;
    // Empty entries are 0 among the won legs and negative in the history.
    for (const int32_t darts : player.WonLegDarts)
        if (darts > 0) figures.WonLegDarts.push_back(darts);
    if (!figures.WonLegDarts.empty())
        figures.BestLeg = *std::min_element(figures.WonLegDarts.begin(), figures.WonLegDarts.end());
    for (const int32_t visit : player.History)
        if (visit >= 0) figures.Visits.push_back(visit);
    return figures;
}

} // namespace brennix
