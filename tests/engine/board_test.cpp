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

// Several lines as one: every run of blanks one space, none at either end.
TEST(Board, TextsOnOneLine) {
    EXPECT_EQ(OneLine(" \tERROR:  x\n LINE 1: y\r\n"), "ERROR: x LINE 1: y");
    EXPECT_EQ(OneLine(" \n "), "");
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
    // The spectators' caption: no leading blanks, no doubled words, a middle dot between.
    EXPECT_EQ(MatchCaption(2, 4), "501 Double Out \xB7 Best of 3 Sets");
    EXPECT_EQ(MatchCaption(12, 2), "1501 Double Out \xB7 Best of 1 Leg");
    EXPECT_EQ(MatchCaption(5, 9), "301 Single Out");
    EXPECT_EQ(MatchCaption(13, 8), "Best of 11 Sets");
    EXPECT_EQ(MatchCaption(0, 1), "");
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

// The second leg of a match, so that the leg's figures and the match's differ.
TEST_F(BoardTest, TheGridRowsTheLastVisitsAndThePlayerToThrow) {
    StartMatch(2, 1, 3); // 301, Best of 1 Set
    EXPECT_EQ(BoardView().LastVisits, (std::array<std::string, 3>{"-", "-", "-"}));
    PlayLeg(0); // 180, 0, 121: the first leg for player 1 in six darts
    Enter(60);  // player 2 begins the second leg
    Enter(0);
    Enter(26);
    const TBoardView view = BoardView();
    EXPECT_EQ(view.ActivePlayer, 0);
    EXPECT_EQ(view.LegStarter, 1);
    ASSERT_EQ(view.Players.size(), 2u);
    EXPECT_EQ(view.Players[1].Number, 2);
    // The boxes show the player to throw's newest visits; every player carries his own.
    EXPECT_EQ(view.LastVisits, (std::array<std::string, 3>{"0", "121", "180"}));
    EXPECT_EQ(view.Players[1].LastVisits, (std::array<int32_t, 3>{26, 60, 0}));
    // Score, sets, legs, 40+ 60+ 100+ 140+ 180, leg and match average, darts of leg and match:
    // 301 in nine darts is 100,333; 86 in six darts 43,000, in nine 28,666.
    using TRow = std::array<std::string, BoardGridColumns>;
    EXPECT_EQ(view.Players[0].Row,
              (TRow{"301", "0", "1", "0", "0", "1", "0", "1", "", "100,333", "3", "9"}));
    EXPECT_EQ(view.Players[1].Row,
              (TRow{"215", "0", "0", "0", "1", "0", "0", "0", "43,000", "28,666", "6", "9"}));
    EXPECT_EQ(view.Players[1].Figures.Remaining, 215);
    // The redraw after each visit saw the same view.
    ASSERT_FALSE(ops.Drawn.empty());
    EXPECT_EQ(ops.Drawn.back().ActivePlayer, 0);
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
    EXPECT_EQ(during->Players[0].LegVisits, (std::vector<int32_t>{121, 180}));
    EXPECT_EQ(during->Players[1].LegVisits, std::vector<int32_t>{60});
    // The match is over: no set or leg being played, nothing to win.
    EXPECT_EQ(during->SetNumber, 0);
    EXPECT_EQ(during->LegNumber, 0);
    EXPECT_EQ(during->Progress, "");
    EXPECT_EQ(during->Target, "");
    ASSERT_GE(drawnBefore, 1u);
    EXPECT_EQ(ops.Drawn[drawnBefore - 1].Winner, "Ann") << "the redraw before the dialog";
    // Once the dialog is closed the board is drawn again, without a winner.
    EXPECT_EQ(MatchWinner, std::nullopt);
    ASSERT_GT(ops.Drawn.size(), drawnBefore);
    EXPECT_EQ(ops.Drawn.back().Winner, std::nullopt);
    EXPECT_EQ(ops.Drawn.back().Players[0].Figures.Remaining, 301);
}

// The set and leg being played and what wins the set, as the rules play them: the deciding set
// of two players (both one set short of the match) becomes a tie-break at two legs all and its
// sudden death at five all; with three players it never does; a match of one leg has no sets.
TEST_F(BoardTest, WhereTheMatchStandsAndWhatWinsTheSet) {
    struct TCase {
        int PlayerCount, Format;
        std::array<int32_t, 3> Sets, Legs;
        bool TieBreak;
        int32_t Set, Leg;
        std::string Progress, Target;
    };
    const std::string first = "first to 3 legs", deciding = "first to 3 legs, tie-break at 2-2",
                      tieBreak = "tie-break: two clear legs, sudden death at 5-5";
    const TCase cases[] = {
        {2, 4, {0, 0}, {0, 0}, false, 1, 1, "Set 1 \xB7 Leg 1", first},
        {2, 4, {1, 0}, {2, 1}, false, 2, 4, "Set 2 \xB7 Leg 4", first},
        {2, 4, {0, 1}, {0, 0}, false, 2, 1, "Set 2 \xB7 Leg 1", first},
        {2, 4, {1, 1}, {1, 0}, false, 3, 2, "Set 3 \xB7 Leg 2", deciding},
        {2, 8, {5, 5}, {2, 1}, false, 11, 4, "Set 11 \xB7 Leg 4", deciding},
        {2, 8, {4, 5}, {0, 0}, false, 10, 1, "Set 10 \xB7 Leg 1", first},
        {3, 4, {1, 1, 0}, {2, 2, 0}, false, 3, 5, "Set 3 \xB7 Leg 5", first},
        {2, 3, {0, 0}, {2, 2}, true, 1, 5, "Set 1 \xB7 Leg 5", tieBreak},
        {2, 3, {0, 0}, {5, 4}, true, 1, 10, "Set 1 \xB7 Leg 10", tieBreak},
        {2, 3, {0, 0}, {4, 5}, true, 1, 10, "Set 1 \xB7 Leg 10", tieBreak},
        {2, 3, {0, 0}, {5, 5}, true, 1, 11, "Set 1 \xB7 Leg 11", "sudden death: the next leg wins"},
        {2, 2, {0, 0}, {0, 0}, false, 1, 1, "Leg 1", "one leg decides"},
    };
    for (const TCase& c : cases) {
        StartMatch(c.PlayerCount, 2, c.Format);
        for (int p = 0; p < c.PlayerCount; ++p) {
            Players[p].Sets = c.Sets[p];
            Players[p].Legs = c.Legs[p];
        }
        TieBreakSet = c.TieBreak;
        const TBoardView view = BoardView();
        EXPECT_EQ(view.SetNumber, c.Set) << c.Progress;
        EXPECT_EQ(view.LegNumber, c.Leg) << c.Progress;
        EXPECT_EQ(view.Progress, c.Progress);
        EXPECT_EQ(view.Target, c.Target) << c.Progress;
    }
    // The spectators' caption beside the window's.
    EXPECT_EQ(BoardView().SpectatorCaption, "501 Double Out \xB7 Best of 1 Leg");
    EXPECT_EQ(BoardView().Caption, "  501 Double Out - Best of Best of 1 Leg");
}

// "Last visits" of the leg being played only: none between legs, a visit of 0 that begins a leg
// counts, the 0 that ended the leg before does not, and at most the newest three.
TEST_F(BoardTest, TheVisitsOfTheLegBeingPlayed) {
    StartMatch(2, 1, 4); // 301, Best of 3 Sets
    Enter(180);
    Enter(0);
    Enter(121); // the first leg to player 1
    TBoardView view = BoardView();
    EXPECT_EQ(view.Players[0].LegVisits, std::vector<int32_t>{});
    EXPECT_EQ(view.Players[1].LegVisits, std::vector<int32_t>{});
    EXPECT_EQ(view.Players[1].LastVisits, (std::array<int32_t, 3>{0, -1, -1}));
    Enter(0); // player 2 begins the second leg
    Enter(60);
    Enter(100);
    view = BoardView();
    EXPECT_EQ(view.Players[0].LegVisits, std::vector<int32_t>{60});
    EXPECT_EQ(view.Players[1].LegVisits, (std::vector<int32_t>{100, 0}));
    Enter(26);
    Enter(45);
    Enter(0);
    Enter(140);
    view = BoardView();
    EXPECT_EQ(view.Players[0].LegVisits, (std::vector<int32_t>{0, 26, 60}));
    EXPECT_EQ(view.Players[1].LegVisits, (std::vector<int32_t>{140, 45, 100}));
}

} // namespace
} // namespace brennix
