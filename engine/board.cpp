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

} // namespace brennix
