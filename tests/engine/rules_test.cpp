// Legs, sets, the tie-break with sudden death, starter rotation, the end of a match, the last
// leg's result, and the scores a visit can finish from.
#include "engine/flow.h"
#include "engine/rules.h"
#include "engine_fixture.h"
#include "storage/autosave.h"
#include "storage/game_file.h"

#include <functional>

namespace brennix::test {
namespace {

using RulesTest = EngineTest;
using ::testing::ElementsAre;

TEST_F(RulesTest, ALegEndResetsEveryPlayerAndPassesToTheNextStarter) {
    StartMatch(3, 1, 4); // 301, Best of 3 Sets
    Enter(100);          // player 1
    Enter(60);           // player 2
    Enter(41);           // player 3
    Enter(101);          // player 1: 100 left
    Enter(45);
    Enter(26);
    ops.Clear();
    Enter(100); // player 1 checks out with his third visit
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Players[i].Remaining, 301);
        EXPECT_EQ(Players[i].DartsLeg, 0);
    }
    EXPECT_EQ(Players[0].PrevLegDarts, 9);
    EXPECT_EQ(Players[1].PrevLegDarts, 6);
    EXPECT_EQ(Players[0].LegAverage, 1003333) << "the leg average stays until the next visit";
    EXPECT_EQ(Players[0].WonLegDarts[0], 9);
    EXPECT_EQ(Players[0].WonLegDarts[1], 0);
    EXPECT_EQ(Players[0].Legs, 1);
    EXPECT_EQ(Players[0].Sets, 0);
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(LegStarter, 1);
    EXPECT_EQ(NextLegStarter, 2);
    EXPECT_EQ(NextSetStarter, 1);
    EXPECT_THAT(ops.Calls, ElementsAre("SaveGameFile", "ShowActivePlayer 1", "ShowActivePlayer 1",
                                       "ClearScore", "RefreshBoard"));
}

TEST_F(RulesTest, BestOfOneLegEndsWithTheFirstLegAndShowsThePositionBeforeIt) {
    StartMatch(2, 1, 2); // 301, Best of 1 Leg
    GameFileName = "match.bx3";
    ops.TimerRunning = true;
    Settings.PlayerNames[0] = "Ann";
    Enter(180);
    Enter(60);
    bool shown = false;
    ops.OnResult = [&] {
        shown = true;
        EXPECT_EQ(Players[0].Remaining, 0);
        EXPECT_EQ(Players[1].Remaining, 241);
        EXPECT_EQ(Players[0].DartsLeg, 6);
        EXPECT_EQ(Players[1].DartsLeg, 3);
        EXPECT_EQ(Players[0].WonLegDarts[0], 6);
        EXPECT_EQ(Players[0].Legs, 1);
        EXPECT_EQ(ActivePlayer, 1);
        EXPECT_EQ(Thrower, 1);
        EXPECT_FALSE(ops.TimerRunning);
        EXPECT_EQ(GameFileName, "match.bx3");
    };
    ops.Clear();
    Enter(121);
    ASSERT_TRUE(shown);
    EXPECT_THAT(ops.Calls, ElementsAre("SaveGameFile", "ShowActivePlayer 1", "ShowActivePlayer 1",
                                       "RefreshBoard", "StopTimer", "ShowResult", "ShowFilePath ",
                                       "ResetGameWindow", "ResetGameBoard", "Progress 0",
                                       "ShowActivePlayer 0", "ClearScore", "RefreshBoard"));
    // A fresh game: player 1 to throw, nobody asked who begins, the winner still named.
    EXPECT_EQ(Thrower, 1);
    EXPECT_EQ(ActivePlayer, 0);
    EXPECT_EQ(GameFileName, "");
    EXPECT_EQ(ops.FilePath, "");
    EXPECT_EQ(Players[0].Remaining, 301);
    EXPECT_EQ(Players[0].Legs, 0);
    EXPECT_EQ(Players[0].WonLegDarts[0], 0);
    EXPECT_EQ(HighGame, 0);
    EXPECT_EQ(HighToday, 180);
    EXPECT_EQ(HighTodayName, "Ann");
}

TEST_F(RulesTest, BestOfOneSetGoesToATieBreakAtTwoLegsAll) {
    StartMatch(2, 1, 3);
    PlayLegs({0, 1, 0});
    EXPECT_FALSE(TieBreakSet);
    PlayLeg(1);
    EXPECT_TRUE(TieBreakSet);
    EXPECT_EQ(ops.SpecialSet, "Tie Break");
    PlayLeg(0); // 3-2 goes on
    EXPECT_EQ(Players[0].Legs, 3);
    EXPECT_EQ(Players[0].Sets, 0);
    EXPECT_EQ(ops.Count("ShowResult"), 0);
    EXPECT_FALSE(SetDecided);
    PlayLeg(0); // 4-2 ends it
    EXPECT_EQ(ops.Count("ShowResult"), 1);
    EXPECT_EQ(Thrower, 1);
    EXPECT_FALSE(TieBreakSet) << "cleared by the reset after the match";
    EXPECT_EQ(ops.SpecialSet, "");
}

TEST_F(RulesTest, BestOfOneSetWithoutATieBreakEndsAtThreeLegs) {
    StartMatch(2, 1, 3);
    PlayLegs({1, 1});
    EXPECT_EQ(ops.Count("ShowResult"), 0);
    ops.OnResult = [] {
        EXPECT_EQ(Players[1].Sets, 1);
        EXPECT_EQ(Players[1].Legs, 0);
    };
    PlayLeg(1);
    EXPECT_EQ(ops.Count("ShowResult"), 1);
    EXPECT_EQ(Thrower, 2);
}

TEST_F(RulesTest, SuddenDeathAtFiveAllAsksWhoBeginsAndTheNextLegDecides) {
    StartMatch(2, 1, 3);
    PlayLegs({0, 1, 0, 1, 0, 1, 0, 1, 0});
    EXPECT_EQ(ops.SpecialSet, "Tie Break");
    EXPECT_EQ(ops.Count("ShowResult"), 0) << "5-4 is no lead of two";
    ops.WhoBegins = {1};
    ops.Clear();
    // The countdown stands still while Start Leg is open: a save then would store the new
    // leg's starters half updated. (Fewer ticks than a countdown never reach a save, so a
    // missing hold cannot write into the build folder.)
    Settings.AutoSave = true;
    ops.Progress = 0;
    int heldTicks = 0;
    ops.WhileModal = [&] {
        for (int tick = 0; tick < CountdownTicks - 1; ++tick)
            Timer1Timer();
        heldTicks += AutosaveHeld() ? 1 : 0;
    };
    PlayLeg(1); // 5-5
    ops.WhileModal = nullptr;
    EXPECT_EQ(heldTicks, 1);
    EXPECT_EQ(ops.Progress, 0);
    EXPECT_EQ(ops.Only({"Progress"}).size(), 0u);
    EXPECT_FALSE(AutosaveHeld());
    EXPECT_EQ(ops.SpecialSet, "Sudden Death");
    // The player the leg rotation made active is preselected; player 2 is chosen.
    EXPECT_EQ(ops.Only({"AskWhoBegins", "SpecialSet"}),
              (std::vector<std::string>{"SpecialSet Sudden Death", "AskWhoBegins 0"}));
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(LegStarter, 1);
    EXPECT_EQ(NextSetStarter, 0);
    EXPECT_EQ(NextLegStarter, 0);
    EXPECT_FALSE(SetDecided);

    Enter(100); // the visits of the sudden-death leg ask nothing more
    Enter(60);
    EXPECT_EQ(ops.Count("AskWhoBegins 1"), 0);
    ops.OnResult = [] {
        EXPECT_EQ(Players[0].Sets, 1);
        EXPECT_EQ(Players[1].Sets, 0);
    };
    PlayLeg(0); // 6-5
    EXPECT_EQ(ops.Count("ShowResult"), 1);
    EXPECT_EQ(ops.Count("AskWhoBegins 0"), 1);
    EXPECT_EQ(Thrower, 1);
}

TEST_F(RulesTest, TieBreakOnlyInTheDecidingSet) {
    // Best of 3 Sets at one set to nil: two legs all is a normal set, 3-2 wins it and the match.
    StartMatch(2, 1, 4);
    PlayLegs({0, 0, 0});
    ASSERT_EQ(Players[0].Sets, 1);
    PlayLegs({0, 1, 0, 1});
    EXPECT_FALSE(TieBreakSet);
    EXPECT_EQ(ops.SpecialSet, "");
    PlayLeg(1);
    EXPECT_EQ(Players[1].Sets, 1);
    EXPECT_EQ(ops.Count("ShowResult"), 0);

    // At one set all the deciding set goes to a tie-break.
    PlayLegs({0, 1, 0, 1});
    EXPECT_TRUE(TieBreakSet);
    EXPECT_EQ(ops.SpecialSet, "Tie Break");
    PlayLegs({1, 1});
    EXPECT_EQ(ops.Count("ShowResult"), 1);
    EXPECT_EQ(Thrower, 2);
}

TEST_F(RulesTest, ThreePlayersNeverPlayATieBreak) {
    StartMatch(3, 1, 3);
    PlayLegs({0, 1, 0, 1, 2, 2});
    EXPECT_FALSE(TieBreakSet);
    EXPECT_EQ(ops.SpecialSet, "");
    EXPECT_EQ(ops.Count("ShowResult"), 0);
    PlayLeg(2);
    EXPECT_EQ(ops.Count("ShowResult"), 1);
    EXPECT_EQ(Thrower, 3);
}

TEST_F(RulesTest, StartersRotateByLegAndBySet) {
    // Three players, player 2 chosen to begin a Best of 3 Sets match.
    StartMatch(3, 1, 4, 1);
    std::vector<int> starters{ActivePlayer};
    for (int winner : {0, 1, 2, 0, 0, /* set 2 */ 1, 1, 1}) {
        PlayLeg(winner);
        EXPECT_EQ(LegStarter, ActivePlayer);
        starters.push_back(ActivePlayer);
    }
    // Legs of set 1 begin with players 2, 3, 1, 2, 3; set 2 with 3, 1, 2; set 3 with 1.
    EXPECT_EQ(starters, (std::vector<int>{1, 2, 0, 1, 2, 2, 0, 1, 0}));
    EXPECT_EQ(NextLegStarter, 1);
    EXPECT_EQ(NextSetStarter, 1);
    EXPECT_EQ(Players[0].Sets, 1);
    EXPECT_EQ(Players[1].Sets, 1);
}

TEST_F(RulesTest, OnePlayerAlwaysBeginsHimself) {
    StartMatch(1, 1, 5);
    for (int leg = 0; leg < 7; ++leg) {
        PlayLeg(0);
        EXPECT_EQ(ActivePlayer, 0);
        EXPECT_EQ(LegStarter, 0);
        EXPECT_EQ(NextLegStarter, 0);
        EXPECT_EQ(NextSetStarter, 0);
    }
    EXPECT_EQ(Players[0].Sets, 2);
    EXPECT_EQ(Players[0].Legs, 1);
    PlayLegs({0, 0});
    EXPECT_EQ(ops.Count("ShowResult"), 1);
}

TEST_F(RulesTest, FiguresAtTheEndsOfTheirRangeNeitherOverflowNorMisjudge) {
    // Such figures only come from edited files; the rules must still behave.
    StartMatch(2, 1, 3);
    Players[0].Legs = INT32_MAX;
    Players[0].Remaining = 40;
    Enter(40);
    EXPECT_EQ(Players[0].Legs, INT32_MIN) << "a 32-bit slot wraps";
    EXPECT_EQ(Players[0].Sets, 0);
    EXPECT_EQ(ops.Count("ShowResult"), 0);

    // A format code far below any set count: the first set won is enough.
    StartMatch(1, 1, 3);
    Settings.MatchFormat = INT32_MIN;
    PlayLegs({0, 0});
    EXPECT_EQ(ops.Count("ShowResult"), 0);
    PlayLeg(0);
    EXPECT_EQ(ops.Count("ShowResult"), 1);
}

TEST_F(RulesTest, WonLegDartsKeepsTheFirstHundredLegs) {
    StartMatch(2, 1, 8);
    std::fill(std::begin(Players[0].WonLegDarts), std::end(Players[0].WonLegDarts), 12);
    Players[0].WonLegDarts[40] = 0; // the first empty entry takes the next leg
    PlayLeg(0);
    EXPECT_EQ(Players[0].WonLegDarts[40], 6);
    EXPECT_EQ(Players[0].Legs, 1);
    PlayLeg(0); // all 100 filled: nothing stored, the leg still counts
    EXPECT_EQ(Players[0].Legs, 2);
    EXPECT_EQ(std::count(std::begin(Players[0].WonLegDarts), std::end(Players[0].WonLegDarts), 6),
              1);
}

// The last leg's result as the board shows it: what was won, by whom, every player's sets-legs.
std::string ResultOf(const TBoardView& view) {
    if (!view.Result) return "none";
    std::string text = view.Result->Won + " " + view.Result->Winner + ":";
    for (const TLegResult::TScore& score : view.Result->Players)
        text +=
            " " + score.Name + " " + std::to_string(score.Sets) + "-" + std::to_string(score.Legs);
    return text;
}

// The rules keep the last leg's result, with the won set's legs, until the next visit is booked
// or taken back or a game is loaded; a new game and new settings keep it.
TEST_F(RulesTest, TheLastLegsResultLastsUntilTheNextVisit) {
    const std::string annLeg = "leg Ann: Ann 0-1 J\xFCrgen 0-0";
    struct TCase {
        int format;
        std::vector<int> winners; // of the legs played
        std::function<void()> then;
        std::string result;
    } cases[] = {
        {4, {0}, nullptr, annLeg},
        {4, {0, 1, 0, 0}, nullptr, "set Ann: Ann 1-3 J\xFCrgen 0-1"},
        {2, {1}, nullptr, "match J\xFCrgen: Ann 0-0 J\xFCrgen 0-1"},
        {3, {0, 1, 0, 0}, nullptr, "match Ann: Ann 1-3 J\xFCrgen 0-1"},
        {4, {0}, [&] { Enter(60); }, "none"},
        {4, {0}, [&] { Enter(181); }, annLeg}, // not booked
        {4, {0}, [&] { NewGame(); }, annLeg},
        {4, {0}, [&] { ChangeSettings(); }, annLeg},
        {4, {1}, [&] { UndoVisit(); }, "none"}, // Ann's 0 before the checkout
        {4, {0}, [&] { ApplyGame(CurrentGame()); }, "none"},
    };
    Settings.PlayerNames = {"Ann", "J\xFCrgen"};
    ops.SettingsOk = true;
    for (const TCase& c : cases) {
        SCOPED_TRACE(&c - cases); // the case's index
        LastResult.reset();
        StartMatch(2, 1, c.format);
        ops.Drawn.clear();
        for (const int winner : c.winners)
            PlayLeg(winner);
        if (c.then) c.then();
        EXPECT_EQ(ResultOf(BoardView()), c.result);
        for (const TBoardView& view : ops.Drawn)
            EXPECT_EQ(view.Winner ? ResultOf(view) : c.result, c.result) << "with the winner";
    }
}

// Checkout chances at both sides of their bounds, and the out rule of each game type.
TEST(Rules, CheckoutChancesAndOutRules) {
    struct TChance {
        int64_t remaining;
        bool doubleOut, singleOut;
    } chances[] = {
        {0, false, false},   {1, false, true},    {2, true, true},     {158, true, true},
        {159, false, true},  {160, true, true},   {162, false, true},  {163, false, false},
        {164, true, true},   {165, false, true},  {166, false, false}, {167, true, true},
        {168, false, true},  {169, false, false}, {170, true, true},   {171, false, true},
        {172, false, false}, {174, false, true},  {175, false, false}, {177, false, true},
        {179, false, false}, {180, false, true},  {181, false, false}, {-2, false, false}};
    for (const TChance& c : chances) {
        SCOPED_TRACE(c.remaining);
        EXPECT_EQ(IsCheckoutChance(c.remaining, TOutRule::Double), c.doubleOut);
        EXPECT_EQ(IsCheckoutChance(c.remaining, TOutRule::Single), c.singleOut);
    }
    EXPECT_EQ(OutRuleOf(4), TOutRule::Double);
    EXPECT_EQ(OutRuleOf(5), TOutRule::Single);
    EXPECT_EQ(OutRuleOf(8), TOutRule::Single);
    EXPECT_EQ(OutRuleOf(9), TOutRule::Double);
}

} // namespace
} // namespace brennix::test
