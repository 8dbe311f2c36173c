// The match state, its resets and the turn helpers.
#include "engine_fixture.h"

namespace brennix::test {
namespace {

using StateTest = EngineTest;
using ::testing::ElementsAre;

TEST_F(StateTest, GameTypeTableWithFallbackTo501) {
    const int32_t expected[] = {301, 501, 701, 901, 301, 501, 701, 901, 1001, 1101, 1301, 1501};
    for (int code = 1; code <= 12; ++code)
        EXPECT_EQ(StartScoreFor(code), expected[code - 1]) << "code " << code;
    for (int32_t code : {0, -1, 13, INT32_MIN, INT32_MAX})
        EXPECT_EQ(StartScoreFor(code), 501) << "code " << code;
    EXPECT_EQ(GameTypeTexts[0], "  301 Double Out");
    EXPECT_EQ(GameTypeTexts[8], "1001 Double Out");
    EXPECT_EQ(MatchFormatTexts[2], "Best of 3 Sets");
}

TEST_F(StateTest, ResetPlayersClearsFiguresAndFillsOnlyEmptyNames) {
    StartScore = 701;
    Settings.PlayerNames[0] = "Phil";
    for (TPlayerStats& p : Players) {
        p.Reserved[0] = 9;
        p.Reserved[1] = 9;
        p.History[3] = 60;
        p.WonLegDarts[99] = 12;
        p.PrevRemaining = 77;
        p.PrevLegDarts = 15;
        p.Legs = p.Sets = p.Count40 = p.Count60 = p.Count100 = p.Count140 = p.Count180 = 4;
        p.LegAverage = p.MatchAverage = p.DartsLeg = p.DartsMatch = p.Points = 5;
    }
    ResetPlayers();
    EXPECT_EQ(Settings.PlayerNames[0], "Phil");
    EXPECT_EQ(Settings.PlayerNames[2], "Player3");
    EXPECT_EQ(Settings.PlayerNames[7], "Player8");
    for (const TPlayerStats& p : Players) {
        EXPECT_EQ(p.Reserved[0], 0);
        EXPECT_EQ(p.Reserved[1], 9); // only the first reserved byte is touched
        EXPECT_EQ(p.Remaining, 701);
        EXPECT_EQ(p.History[3], -1);
        EXPECT_EQ(p.WonLegDarts[99], 0);
        EXPECT_EQ(p.PrevRemaining, 77); // kept
        EXPECT_EQ(p.PrevLegDarts, 15);  // kept
        EXPECT_EQ(p.Legs + p.Sets + p.Count40 + p.Count60 + p.Count100 + p.Count140 + p.Count180,
                  0);
        EXPECT_EQ(p.LegAverage + p.MatchAverage + p.DartsLeg + p.DartsMatch + p.Points, 0);
    }
}

TEST_F(StateTest, ResetGameKeepsTodaysHighAndDrivesTheBoardInOrder) {
    Settings.PlayerCount = 3;
    Settings.GameType = 0; // a record never filled plays 501
    HighGame = 140;
    HighGameName = "Ann";
    HighToday = 180;
    HighTodayName = "Bob";
    ActivePlayer = 2;
    TieBreakSet = SetDecided = true;
    ops.Progress = 57;
    ResetGame();
    EXPECT_EQ(StartScore, 501);
    EXPECT_EQ(ActivePlayer, 0);
    EXPECT_EQ(HighGame, 0);
    EXPECT_EQ(HighGameName, "");
    EXPECT_EQ(HighToday, 180);
    EXPECT_EQ(HighTodayName, "Bob");
    EXPECT_EQ(LegStarter, 0);
    EXPECT_EQ(NextSetStarter, 1);
    EXPECT_EQ(NextLegStarter, 1);
    EXPECT_FALSE(TieBreakSet);
    EXPECT_FALSE(SetDecided);
    EXPECT_EQ(Players[4].Remaining, 501);
    EXPECT_EQ(ops.Progress, 0);
    EXPECT_THAT(ops.Calls, ElementsAre("ResetGameWindow", "ResetGameBoard", "Progress 0"));
}

TEST_F(StateTest, ResetGameWithOnePlayerKeepsEveryStarterOnHim) {
    Settings.PlayerCount = 1;
    ResetGame();
    EXPECT_EQ(NextSetStarter, 0);
    EXPECT_EQ(NextLegStarter, 0);
    EXPECT_EQ(Wrap(0), 0);
}

TEST_F(StateTest, TurnHelpersWrapAroundThePlayersInPlay) {
    Settings.PlayerCount = 3;
    ActivePlayer = 2;
    NextPlayer();
    EXPECT_EQ(ActivePlayer, 0);
    PreviousPlayer();
    EXPECT_EQ(ActivePlayer, 2);
    PreviousPlayer();
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_THAT(ops.Calls,
                ElementsAre("ShowActivePlayer 0", "ShowActivePlayer 2", "ShowActivePlayer 1"));
    EXPECT_EQ(Wrap(1), 2);
    EXPECT_EQ(Wrap(2), 0);
}

TEST_F(StateTest, ShowActivePlayerKeepsTheIndexInsideTheRecords) {
    Settings.PlayerCount = 4;
    ActivePlayer = 6;
    ShowActivePlayer();
    EXPECT_EQ(ActivePlayer, 0);
    ActivePlayer = -3;
    ShowActivePlayer();
    EXPECT_EQ(ActivePlayer, 3);
    // A count outside 1..8 never yields an index outside the eight records.
    Settings.PlayerCount = 50;
    ActivePlayer = 20;
    ShowActivePlayer();
    EXPECT_EQ(ActivePlayer, 0);
    ActivePlayer = -1;
    ShowActivePlayer();
    EXPECT_EQ(ActivePlayer, 7);
    Settings.PlayerCount = 0;
    ActivePlayer = -1;
    ShowActivePlayer();
    EXPECT_EQ(ActivePlayer, 0);
}

TEST_F(StateTest, ShortStringsAndCheckoutTexts) {
    EXPECT_EQ(ShortString("abcdef", 4), "abcd");
    EXPECT_EQ(ShortString("abc", 26), "abc");
    Settings.Outshots[0] = "no out";
    Settings.Outshots[169] = "T20 T20 Bull";
    Settings.Outshots[170] = "entry 171";
    EXPECT_EQ(CheckoutText(1), "no out");
    EXPECT_EQ(CheckoutText(170), "T20 T20 Bull");
    EXPECT_EQ(CheckoutText(171), ""); // never shown
    EXPECT_EQ(CheckoutText(0), "");
    EXPECT_EQ(CheckoutText(-40), "");
}

} // namespace
} // namespace brennix::test
