// What a booked visit means for the leg, the set and the match, and from which scores a visit
// can finish a leg.
#pragma once

#include <cstdint>
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

// How a leg ends: on a double (and the bull), or on any score.
enum class TOutRule { Double, Single };

// The out rule of a game type: 5-8 are single out, every other number double out.
TOutRule OutRuleOf(int64_t gameType);

// Whether one visit of at most three darts can finish from `remaining` under the rule: double
// out 2-170 except 159, 162, 163, 165, 166, 168 and 169; single out the scores three darts make,
// 1-180 except 163, 166, 169, 172, 173, 175, 176, 178 and 179.
bool IsCheckoutChance(int64_t remaining, TOutRule rule);

// Runs after every booked visit of player index p: leg end, tie-break updates, set end and
// match end, in that order; each rule sees the changes of the ones before it.
void ApplyLegRules(int p);

} // namespace brennix
