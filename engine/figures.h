// A player's figures as the board and the reports show them, worked out from a player record in
// one place: the board view reads them from the running match, a report from a saved game.
#pragma once

#include "state.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brennix {

struct TPlayerFigures {
    int32_t Remaining = 0;
    // The checkout text (one byte per character) shown below the score when 170 or less remains;
    // it may be empty.
    std::optional<std::string> Checkout;
    int32_t Sets = 0, Legs = 0, Points = 0;
    std::array<int32_t, 5> Counts{};          // visits of 40+, 60+, 100+, 140+ and 180
    int32_t LegAverage = 0, MatchAverage = 0; // three-dart averages x 10000
    int32_t DartsLeg = 0, DartsMatch = 0;
    std::vector<int32_t> WonLegDarts; // darts of every won leg, in the order they were won
    std::optional<int32_t> BestLeg;   // the fewest darts of them
    std::vector<int32_t> Visits;      // the stored visits, newest first
};

// The figures of one player record, with the checkout texts of `settings`.
TPlayerFigures FiguresOf(const TPlayerStats& player, const TSettings& settings);

} // namespace brennix
