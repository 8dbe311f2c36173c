// Texts of the scoreboard worked out from the state, and the board's view of a match.
#include "engine/board.h"
#include "engine/state.h"
#include "engine_fixture.h"

#include <gtest/gtest.h>

namespace brennix {
namespace {

using test::EngineTest;
using BoardTest = EngineTest;

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

TEST_F(BoardTest, CheckoutsAreShownFrom170Down) {
    for (int r = 1; r <= OutshotCount; ++r)
        Settings.Outshots[r - 1] = "Out " + std::to_string(r);
    StartMatch(4, 2, 4, 1); // 501, Best of 3 Sets, player 2 to throw
    Players[0].Remaining = 171;
    Players[1].Remaining = 170;
    Players[2].Remaining = 2;
    Players[3].Remaining = 0;
    TBoardView view = BoardView();
    ASSERT_EQ(view.Players.size(), 4u);
    EXPECT_EQ(view.Players[0].Checkout, std::nullopt);
    EXPECT_EQ(view.Players[1].Checkout, "Out 170");
    EXPECT_EQ(view.Players[2].Checkout, "Out 2");
    EXPECT_EQ(view.Players[3].Checkout, "") << "shown, with no text";
    EXPECT_EQ(view.Checkout, "Out 170") << "the big one is the player to throw's";
    EXPECT_EQ(view.Players[0].Row[0], "171");

    ActivePlayer = 0;
    EXPECT_EQ(BoardView().Checkout, std::nullopt);
    ActivePlayer = 3;
    EXPECT_EQ(BoardView().Checkout, "");
}

TEST_F(BoardTest, ThePlayerToThrowTheStarterAndTheLastVisits) {
    StartMatch(3, 2, 4, 1);
    EXPECT_EQ(BoardView().LastVisits, (std::array<std::string, 3>{"-", "-", "-"}));
    Enter(60);  // player 2
    Enter(100); // player 3
    Enter(45);  // player 1
    Enter(26);  // player 2
    const TBoardView view = BoardView();
    EXPECT_EQ(view.ActivePlayer, 2);
    EXPECT_EQ(view.LegStarter, 1);
    ASSERT_EQ(view.Players.size(), 3u);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(view.Players[p].Number, p + 1);
        EXPECT_EQ(view.Players[p].ToThrow, p == 2) << p;
        EXPECT_EQ(view.Players[p].LegStarter, p == 1) << p;
    }
    // The boxes show the player to throw's newest visits; every player carries his own.
    EXPECT_EQ(view.LastVisits, (std::array<std::string, 3>{"100", "-", "-"}));
    EXPECT_EQ(view.Players[1].LastVisits, (std::array<int32_t, 3>{26, 60, -1}));
    EXPECT_EQ(view.Players[1].Row[0], "415");
    EXPECT_EQ(view.Players[1].Remaining, 415);
    EXPECT_EQ(view.Players[1].DartsLeg, 6);
    // The redraw after each visit saw the same view.
    ASSERT_FALSE(ops.Drawn.empty());
    EXPECT_EQ(ops.Drawn.back().ActivePlayer, 2);
    EXPECT_EQ(ops.Drawn.back().LastVisits, view.LastVisits);
}

TEST_F(BoardTest, SpecialSetTextFollowsTheTieBreakAndTheReset) {
    StartMatch(2, 1, 3); // 301, Best of 1 Set
    PlayLegs({0, 1, 0});
    EXPECT_EQ(BoardView().Special, "");
    PlayLeg(1); // two legs all
    EXPECT_EQ(SpecialText, "Tie Break");
    EXPECT_EQ(BoardView().Special, "Tie Break");
    EXPECT_EQ(ops.Drawn.back().Special, "Tie Break");
    PlayLegs({0, 1, 0, 1, 0, 1}); // five legs all
    EXPECT_EQ(BoardView().Special, "Sudden Death");
    EXPECT_EQ(ops.SpecialSet, "Sudden Death") << "the window shows the same";
    ResetGame();
    EXPECT_EQ(BoardView().Special, "");
    EXPECT_EQ(ops.SpecialSet, "");
}

TEST_F(BoardTest, TheWinnerIsNamedWhileTheResultDialogIsOpen) {
    StartMatch(2, 1, 2); // 301, Best of 1 Leg
    Settings.PlayerNames = {"Ann", "Bob"};
    Enter(180);
    Enter(60);
    EXPECT_EQ(BoardView().Winner, std::nullopt);
    std::optional<TBoardView> during;
    size_t drawnBefore = 0;
    ops.OnResult = [&] {
        during = BoardView();
        drawnBefore = ops.Drawn.size();
    };
    Enter(121);
    ASSERT_TRUE(during);
    EXPECT_EQ(during->Winner, "Ann");
    EXPECT_EQ(during->Players[0].Remaining, 0);
    EXPECT_EQ(during->Players[1].Remaining, 241);
    ASSERT_GE(drawnBefore, 1u);
    EXPECT_EQ(ops.Drawn[drawnBefore - 1].Winner, "Ann") << "the redraw before the dialog";
    // Once the dialog is closed the board is drawn again, without a winner.
    EXPECT_EQ(MatchWinner, std::nullopt);
    ASSERT_GT(ops.Drawn.size(), drawnBefore);
    EXPECT_EQ(ops.Drawn.back().Winner, std::nullopt);
    EXPECT_EQ(ops.Drawn.back().Players[0].Remaining, 301);
}

} // namespace
} // namespace brennix
