// What a booked visit means for the leg, the set and the match.
#pragma once

#include <string_view>

namespace brennix {

// The special-set texts the rules write and read back.
inline constexpr std::string_view TieBreakText = "Tie Break";
inline constexpr std::string_view SuddenDeathText = "Sudden Death";

// Runs after every booked visit of player index p: leg end, tie-break updates, set end and
// match end, in that order; each rule sees the changes of the ones before it.
void ApplyLegRules(int p);

} // namespace brennix
