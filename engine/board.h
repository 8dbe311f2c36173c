// Texts the scoreboard shows, worked out from the state.
#pragma once

#include <cstdint>
#include <string>

namespace brennix {

// A three-dart average x 10000 for the grid: three decimals, cut not rounded, with a decimal
// comma and no leading zero ("45,678" for 456789, ",100" for 1000); empty below 1000.
std::string FormatAverage(int32_t value);

// The game-type caption: game type text + " - Best of " + format text, the list texts taken as
// they are ("  501 Double Out - Best of Best of 3 Sets"); a code outside its list adds nothing.
std::string GameCaption();

} // namespace brennix
