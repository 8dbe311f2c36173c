// Taking back the last visit with the Undo button.
#include "engine_fixture.h"

#include "engine/errors.h"

namespace brennix::test {
namespace {

using UndoTest = EngineTest;
using ::testing::ElementsAre;

TEST_F(UndoTest, NothingToUndoIsRefusedAndTheTurnStays) {
    StartMatch(3, 2, 3, 1);
    UndoVisit();
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_THAT(ops.Calls, ElementsAre("ShowActivePlayer 0", "ShowActivePlayer 1",
                                       "Information Undo not possible ", "FocusScore"));
}

TEST_F(UndoTest, TakesBackTheVisitOfThePlayerBeforeTheActiveOne) {
    StartMatch(2, 2, 3);
    Settings.PlayerNames[0] = "Ann";
    Enter(100);
    Enter(45);
    Enter(140);
    ops.Clear();
    ops.Darts = "3";
    UndoVisit(); // takes back player 1's 140
    EXPECT_EQ(ActivePlayer, 0);
    const TPlayerStats& p = Players[0];
    EXPECT_EQ(VisitScore, 140);
    EXPECT_EQ(p.Remaining, 401);
    EXPECT_EQ(p.Points, 100);
    EXPECT_EQ(p.History[0], 100);
    EXPECT_EQ(p.History[1], -1);
    EXPECT_EQ(p.Count140, 0);
    EXPECT_EQ(p.Count100, 1);
    EXPECT_EQ(p.DartsLeg, 3);
    EXPECT_EQ(p.DartsMatch, 3);
    EXPECT_EQ(p.LegAverage, 1000000);
    EXPECT_EQ(p.MatchAverage, 1000000);
    EXPECT_EQ(HighGame, 140) << "high scores stay";
    EXPECT_EQ(HighGameName, "Ann");
    EXPECT_THAT(ops.Calls, ElementsAre("ShowActivePlayer 0", "RefreshBoard", "FocusScore"));

    UndoVisit(); // and then player 2's 45
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(Players[1].Remaining, 501);
    EXPECT_EQ(Players[1].DartsLeg, 0);
    EXPECT_EQ(Players[1].LegAverage, 0);
}

TEST_F(UndoTest, TheHistoryShiftsBackWithAnEmptyOldestEntry) {
    StartMatch(1, 12, 3);
    for (int i = 0; i < 50; ++i)
        Enter(i % 2 ? 10 : 20);
    EXPECT_EQ(Players[0].History[49], 20);
    UndoVisit();
    EXPECT_EQ(Players[0].History[0], 20);
    EXPECT_EQ(Players[0].History[48], 20);
    EXPECT_EQ(Players[0].History[49], -1);
}

TEST_F(UndoTest, SubtractsTheDartsFieldAsItStandsNow) {
    StartMatch(2, 2, 3);
    Enter("60", "3");
    ops.Darts = "1";
    UndoVisit();
    EXPECT_EQ(Players[0].Remaining, 501);
    EXPECT_EQ(Players[0].DartsLeg, 2);
    EXPECT_EQ(Players[0].DartsMatch, 2);
    EXPECT_EQ(Players[0].LegAverage, 0); // nothing scored in 2 darts
}

TEST_F(UndoTest, AFinishedLegCannotBeTakenBackExceptANewestZero) {
    StartMatch(2, 1, 3); // 301
    PlayLeg(0);
    ASSERT_EQ(Players[0].Legs, 1);
    ASSERT_EQ(ActivePlayer, 1); // player 2 begins the second leg
    ops.Clear();
    UndoVisit(); // player 1 stands at 301 with a newest entry of 121
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(Players[0].Remaining, 301);
    EXPECT_EQ(ops.Only({"Information"}),
              std::vector<std::string>{"Information Undo not possible "});

    // A newest entry of 0 at the start score may be undone.
    StartMatch(2, 1, 3);
    Enter(0);
    ops.Clear();
    UndoVisit();
    EXPECT_EQ(ActivePlayer, 0);
    EXPECT_TRUE(ops.Only({"Information"}).empty());
    EXPECT_EQ(Players[0].History[0], -1);
    EXPECT_EQ(Players[0].DartsLeg, 0);

    // A remaining score above the start score is never undone.
    StartMatch(2, 1, 3);
    Enter(20);
    Players[0].Remaining = 400;
    UndoVisit();
    EXPECT_EQ(Players[0].Remaining, 400);
    EXPECT_EQ(ActivePlayer, 1);
}

TEST_F(UndoTest, ANonNumericDartsFieldUndoesNothing) {
    StartMatch(3, 2, 3);
    Enter(60);
    Enter(80);
    ops.Clear();
    ops.Darts = "two";
    try {
        UndoVisit();
        FAIL() << "no error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'two' is not a valid integer value");
    }
    EXPECT_EQ(ActivePlayer, 2);
    EXPECT_EQ(Players[1].Remaining, 421);
    EXPECT_EQ(Players[1].History[0], 80);
    EXPECT_EQ(Players[1].DartsLeg, 3);
    EXPECT_EQ(ops.Calls.back(), "FocusScore");
    EXPECT_TRUE(ops.Only({"RefreshBoard"}).empty());
}

} // namespace
} // namespace brennix::test
