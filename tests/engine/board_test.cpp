// Texts of the scoreboard worked out from the state, and the board's view of a match.
#include "engine/board.h"
#include "engine/state.h"
#include "engine_fixture.h"

#include <gtest/gtest.h>

namespace brennix {
namespace {

using test::EngineTest;
using BoardTest = EngineTest;

// The three forms of an average (x 10000): three decimals, the fourth cut, never rounded.
TEST(Board, AveragesInTheirThreeForms) {
    struct TCase {
        int32_t Value;
        std::string Board; // the grid's text, empty below 1000
        double Number;
        std::string Decimal;
    };
    const TCase cases[] = {
        {456789, "45,678", 45.678, "45.678"}, // rounding would give ...679
        {450780, "45,078", 45.078, "45.078"}, // the zero after the point stays
        {10009, "1,000", 1.0, "1.000"},
        {1000, ",100", 0.1, "0.100"},
        {999, "", 0.099, "0.099"},
        {0, "", 0.0, "0.000"},
        {-456789, "", -45.678, "-45.678"},
        {1800000, "180,000", 180.0, "180.000"},
        {INT32_MAX, "214748,364", 214748.364, "214748.364"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(FormatAverage(c.Value), c.Board) << c.Value;
        EXPECT_EQ(AverageNumber(c.Value), c.Number) << c.Value;
        EXPECT_EQ(AverageDecimal(c.Value), c.Decimal) << c.Value;
    }
}

// One byte per character in, UTF-8 out: the upper half becomes two bytes.
TEST(Board, Latin1TextsInUtf8) {
    EXPECT_EQ(Latin1ToUtf8(""), "");
    EXPECT_EQ(Latin1ToUtf8("&<>\"' x"), "&<>\"' x");
    EXPECT_EQ(Latin1ToUtf8("J\xFCrgen"), "J\xC3\xBCrgen");
    EXPECT_EQ(Latin1ToUtf8("\x7F\x80\xBF\xC0\xFF"), "\x7F\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF");
}

// A player's figures from a record: empty entries left out, the best leg the fewest darts,
// a checkout from 170 down.
TEST(Board, FiguresOfARecord) {
    TSettings settings;
    settings.Outshots[169] = "T20 T20 Bull";
    TPlayerStats player{};
    std::fill(std::begin(player.History), std::end(player.History), -1);
    player.History[0] = 60;
    player.History[1] = 0;
    player.History[2] = 45;
    player.WonLegDarts[0] = 15;
    player.WonLegDarts[1] = 9;
    player.WonLegDarts[3] = 21; // after an empty entry
    player.Remaining = 170;
    player.Points = 1317;
    player.Legs = 3;
    player.Sets = 1;
    player.Count40 = 1;
    player.Count60 = 2;
    player.Count100 = 3;
    player.Count140 = 4;
    player.Count180 = 5;
    player.LegAverage = 450780;
    player.MatchAverage = 987654;
    player.DartsLeg = 6;
    player.DartsMatch = 51;
    const TPlayerFigures figures = FiguresOf(player, settings);
    EXPECT_EQ(figures.Remaining, 170);
    EXPECT_EQ(figures.Checkout, "T20 T20 Bull");
    EXPECT_EQ(figures.Sets, 1);
    EXPECT_EQ(figures.Legs, 3);
    EXPECT_EQ(figures.Points, 1317);
    EXPECT_EQ(figures.Counts, (std::array<int32_t, 5>{1, 2, 3, 4, 5}));
    EXPECT_EQ(figures.LegAverage, 450780);
    EXPECT_EQ(figures.MatchAverage, 987654);
    EXPECT_EQ(figures.DartsLeg, 6);
    EXPECT_EQ(figures.DartsMatch, 51);
    EXPECT_EQ(figures.WonLegDarts, (std::vector<int32_t>{15, 9, 21}));
    EXPECT_EQ(figures.BestLeg, 9);
    EXPECT_EQ(figures.Visits, (std::vector<int32_t>{60, 0, 45}));

    player.Remaining = 171;
    player.WonLegDarts[0] = player.WonLegDarts[1] = player.WonLegDarts[3] = 0;
    const TPlayerFigures none = FiguresOf(player, settings);
    EXPECT_EQ(none.Checkout, std::nullopt);
    EXPECT_EQ(none.WonLegDarts, std::vector<int32_t>{});
    EXPECT_EQ(none.BestLeg, std::nullopt);
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
    EXPECT_EQ(view.Players[0].Figures.Checkout, std::nullopt);
    EXPECT_EQ(view.Players[1].Figures.Checkout, "Out 170");
    EXPECT_EQ(view.Players[2].Figures.Checkout, "Out 2");
    EXPECT_EQ(view.Players[3].Figures.Checkout, "") << "shown, with no text";
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
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(view.Players[p].Number, p + 1);
    // The boxes show the player to throw's newest visits; every player carries his own.
    EXPECT_EQ(view.LastVisits, (std::array<std::string, 3>{"100", "-", "-"}));
    EXPECT_EQ(view.Players[1].LastVisits, (std::array<int32_t, 3>{26, 60, -1}));
    // The grid row, column by column: score, sets, legs, 40+ 60+ 100+ 140+ 180, the averages
    // (86 points in six darts: 43,000), darts of the leg and of the match.
    EXPECT_EQ(view.Players[1].Row,
              (std::array<std::string, BoardGridColumns>{"415", "0", "0", "0", "1", "0", "0", "0",
                                                         "43,000", "43,000", "6", "6"}));
    EXPECT_EQ(view.Players[1].Figures.Remaining, 415);
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
    EXPECT_EQ(during->Players[0].Figures.Remaining, 0);
    EXPECT_EQ(during->Players[1].Figures.Remaining, 241);
    ASSERT_GE(drawnBefore, 1u);
    EXPECT_EQ(ops.Drawn[drawnBefore - 1].Winner, "Ann") << "the redraw before the dialog";
    // Once the dialog is closed the board is drawn again, without a winner.
    EXPECT_EQ(MatchWinner, std::nullopt);
    ASSERT_GT(ops.Drawn.size(), drawnBefore);
    EXPECT_EQ(ops.Drawn.back().Winner, std::nullopt);
    EXPECT_EQ(ops.Drawn.back().Players[0].Figures.Remaining, 301);
}

} // namespace
} // namespace brennix
