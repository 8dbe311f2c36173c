// Texts of the scoreboard worked out from the state.
#include "engine/board.h"
#include "engine/state.h"

#include <gtest/gtest.h>

namespace brennix {
namespace {

TEST(Board, AveragesAreCutToThreeDecimalsWithADecimalComma) {
    EXPECT_EQ(FormatAverage(999), "");
    EXPECT_EQ(FormatAverage(0), "");
    EXPECT_EQ(FormatAverage(-500000), "");
    EXPECT_EQ(FormatAverage(1000), ",100");
    EXPECT_EQ(FormatAverage(1234), ",123");
    EXPECT_EQ(FormatAverage(10000), "1,000");
    EXPECT_EQ(FormatAverage(456789), "45,678");
    EXPECT_EQ(FormatAverage(600000), "60,000");
    EXPECT_EQ(FormatAverage(1800000), "180,000");
    EXPECT_EQ(FormatAverage(INT32_MAX), "214748,364");
    EXPECT_EQ(FormatAverage(456789).size(), std::to_string(456789).size());
}

TEST(Board, CaptionTakesTheListTextsAsTheyAre) {
    Settings = TSettings{};
    Settings.GameType = 2;
    Settings.MatchFormat = 4;
    EXPECT_EQ(GameCaption(), "  501 Double Out - Best of Best of 3 Sets");
    Settings.GameType = 12;
    Settings.MatchFormat = 8;
    EXPECT_EQ(GameCaption(), "1501 Double Out - Best of Best of 11 Sets");
    Settings.GameType = 0;
    Settings.MatchFormat = 9;
    EXPECT_EQ(GameCaption(), " - Best of ");
    Settings.GameType = 13;
    Settings.MatchFormat = 1;
    EXPECT_EQ(GameCaption(), " - Best of ");
}

} // namespace
} // namespace brennix
