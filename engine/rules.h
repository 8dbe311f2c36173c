// What a booked visit means for the leg, the set and the match.
#pragma once

#include <string_view>

namespace brennix {

// The special-set texts the rules write and read back.
inline constexpr std::string_view TieBreakText = "Tie Break";
inline constexpr std::string_view SuddenDeathText = "Sudden Death";

// The set rules, for the rules themselves and for what the board says of them.
inline constexpr int LegsPerSet = 3;      // a normal set is won with the third leg
inline constexpr int TieBreakLegs = 2;    // a deciding set at two legs all becomes a tie-break
inline constexpr int SuddenDeathLegs = 5; // from five legs all the next leg decides
inline constexpr int TieBreakMaxLegs = 6; // ... so six legs always win the tie-break set
inline constexpr int BestOfOneLeg = 2;    // match format code of "Best of 1 Leg"

// Runs after every booked visit of player index p: leg end, tie-break updates, set end and
// match end, in that order; each rule sees the changes of the ones before it.
void ApplyLegRules(int p);

} // namespace brennix
