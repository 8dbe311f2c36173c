// Booking visits: checks, counters, history, averages, high scores, saves and sounds.
#include "engine_fixture.h"

#include "engine/errors.h"

namespace brennix::test {
namespace {

using VisitTest = EngineTest;
using ::testing::ElementsAre;

TEST_F(VisitTest, BooksTheVisitAndPassesTheTurn) {
    StartMatch(2, 2, 3);
    Enter(60);
    const TPlayerStats& p = Players[0];
    EXPECT_EQ(p.Remaining, 441);
    EXPECT_EQ(p.Points, 60);
    EXPECT_EQ(p.History[0], 60);
    EXPECT_EQ(p.History[1], -1);
    EXPECT_EQ(p.Count60, 1);
    EXPECT_EQ(p.DartsLeg, 3);
    EXPECT_EQ(p.DartsMatch, 3);
    EXPECT_EQ(p.LegAverage, 600000);
    EXPECT_EQ(p.MatchAverage, 600000);
    EXPECT_EQ(Thrower, 1);
    EXPECT_EQ(VisitScore, 60);
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(ops.Score, "");
    EXPECT_THAT(ops.Calls, ElementsAre("ShowActivePlayer 1", "ClearScore", "RefreshBoard"));
    EXPECT_EQ(Players[1].Remaining, 501);
}

TEST_F(VisitTest, EachScoreGrowsAtMostOneCounter) {
    struct Case {
        int score;
        int32_t TPlayerStats::*counter;
    };
    const Case cases[] = {{39, nullptr},
                          {40, &TPlayerStats::Count40},
                          {59, &TPlayerStats::Count40},
                          {60, &TPlayerStats::Count60},
                          {99, &TPlayerStats::Count60},
                          {100, &TPlayerStats::Count100},
                          {139, &TPlayerStats::Count100},
                          {140, &TPlayerStats::Count140},
                          {179, &TPlayerStats::Count140},
                          {180, &TPlayerStats::Count180},
                          {0, nullptr}};
    for (const Case& c : cases) {
        StartMatch(1, 12, 3);
        Enter(c.score);
        const TPlayerStats& p = Players[0];
        const int total = p.Count40 + p.Count60 + p.Count100 + p.Count140 + p.Count180;
        EXPECT_EQ(total, c.counter ? 1 : 0) << "score " << c.score;
        if (c.counter) {
            EXPECT_EQ(p.*c.counter, 1) << "score " << c.score;
        }
    }
}

TEST_F(VisitTest, ImpossibleScoresAndBustsAreIgnoredSilently) {
    StartMatch(2, 2, 3);
    Players[0].Remaining = 32;
    Players[1].Remaining = 90;
    for (const char* entry : {"40", "181", "-1", "999"}) {
        ops.Clear();
        Enter(entry);
        EXPECT_EQ(ops.Score, entry) << "the entry stays in the field";
        EXPECT_EQ(ActivePlayer, 0);
        EXPECT_EQ(Players[0].Remaining, 32);
        EXPECT_EQ(Players[0].History[0], -1);
        EXPECT_EQ(HighGame, 0);
        EXPECT_TRUE(ops.Calls.empty());
    }
    // Every score entry refreshes PrevRemaining of every player, even a rejected one.
    Players[1].Remaining = 77;
    Enter("40");
    EXPECT_EQ(Players[1].PrevRemaining, 77);
    EXPECT_EQ(Players[5].PrevRemaining, 0) << "players beyond the count take no part";
}

TEST_F(VisitTest, AnEntryEqualToTheRemainingScoreIsSavedFirst) {
    StartMatch(2, 2, 4);
    Players[0].Remaining = 40;
    Enter(40);
    ASSERT_GE(ops.Calls.size(), 2u);
    EXPECT_EQ(ops.Calls[0], "SaveGameFile");
    EXPECT_EQ(Players[0].Legs, 1);

    // 200 remaining and 200 typed: saved, then ignored as above 180.
    StartMatch(2, 2, 4);
    Players[0].Remaining = 200;
    Enter(200);
    EXPECT_THAT(ops.Calls, ElementsAre("SaveGameFile"));
    EXPECT_EQ(Players[0].Remaining, 200);
}

TEST_F(VisitTest, AFailedSaveBeforeACheckoutBooksNothing) {
    StartMatch(2, 2, 4);
    Players[0].Remaining = 40;
    ops.SaveFails = IoInvalidFilename;
    ops.Score = "40";
    EXPECT_THROW(BookVisit(TKey::Enter), EInOutError);
    EXPECT_EQ(ops.Score, "40");
    EXPECT_EQ(Players[0].Remaining, 40);
    EXPECT_EQ(Players[0].History[0], -1);
    EXPECT_EQ(ActivePlayer, 0);
    EXPECT_EQ(HighGame, 0);
}

TEST_F(VisitTest, F5SavesAndOtherKeysDoNothing) {
    StartMatch(3, 2, 3, 2);
    ops.Score = "60";
    BookVisit(TKey::F5);
    EXPECT_THAT(ops.Calls, ElementsAre("SaveGameFile"));
    EXPECT_EQ(Thrower, 3);
    ops.Clear();
    BookVisit(TKey::Other);
    EXPECT_TRUE(ops.Calls.empty());
    EXPECT_EQ(Players[2].Remaining, 501);
    EXPECT_EQ(ops.Score, "60");

    ops.SaveFails = IoAccessDenied;
    EXPECT_THROW(BookVisit(TKey::F5), EInOutError);
}

TEST_F(VisitTest, ANonNumericScoreOrDartsFieldChangesNothing) {
    StartMatch(2, 2, 3);
    Players[1].Remaining = 300;
    for (auto [score, darts] :
         {std::pair{"6o", "3"}, {"", "3"}, {"60", "x"}, {"60", ""}, {"60", "3 "}}) {
        ops.Clear();
        ops.Score = score;
        ops.Darts = darts;
        try {
            BookVisit(TKey::Enter);
            ADD_FAILURE() << "no error for " << score << "/" << darts;
        } catch (const EConvertError& error) {
            const std::string bad = std::string(score) == "60" ? darts : score;
            EXPECT_EQ(error.what(), "'" + bad + "' is not a valid integer value");
        }
        EXPECT_TRUE(ops.Calls.empty());
        EXPECT_EQ(ActivePlayer, 0);
        EXPECT_EQ(Players[0].Remaining, 501);
        EXPECT_EQ(Players[0].History[0], -1);
        EXPECT_EQ(Players[1].PrevRemaining, 0);
        EXPECT_EQ(HighGame, 0);
        EXPECT_EQ(ops.Score, score);
    }
    // Once corrected, the same entry is booked for the same player, once.
    Enter("60", "3");
    EXPECT_EQ(Players[0].Remaining, 441);
    EXPECT_EQ(Players[1].Remaining, 300);
}

TEST_F(VisitTest, ABadDartsFieldStopsBeforeTheSaveAndTheSound) {
    StartMatch(2, 2, 3);
    Settings.Sound = true;
    Players[0].Remaining = 40;
    ops.Score = "40";
    ops.Darts = "x";
    EXPECT_THROW(BookVisit(TKey::Enter), EConvertError);
    EXPECT_TRUE(ops.Calls.empty()) << "no save, no sound, no redraw";
    EXPECT_EQ(Players[0].Remaining, 40);
    EXPECT_EQ(Players[0].Legs, 0);
    EXPECT_EQ(HighGame, 0);
}

TEST_F(VisitTest, DartsAreAddedAsTyped) {
    StartMatch(2, 2, 3);
    Enter("60", "0");
    EXPECT_EQ(Players[0].DartsLeg, 0);
    EXPECT_EQ(Players[0].LegAverage, 0);
    EXPECT_EQ(Players[0].MatchAverage, 0);
    Enter("45", "-2");
    EXPECT_EQ(Players[1].DartsLeg, -2);
    EXPECT_EQ(Players[1].DartsMatch, -2);
    EXPECT_EQ(Players[1].LegAverage, 0);
    Enter("41", "2");
    EXPECT_EQ(Players[0].DartsLeg, 2);
    EXPECT_EQ(Players[0].LegAverage, 1515000); // 101 points in 2 darts
    // Extreme darts figures wrap like any 32-bit slot instead of overflowing.
    Enter("0", "2147483647");
    Enter("0", "5");
    EXPECT_EQ(Players[1].DartsLeg, 2147483645);
    Enter("0", "2147483647");
    EXPECT_EQ(Players[1].DartsLeg, -4);
    EXPECT_EQ(Players[1].MatchAverage, 0);
}

TEST_F(VisitTest, AveragesRoundHalvesToEven) {
    EXPECT_EQ(ThreeDartAverage(100, 3), 1000000);
    EXPECT_EQ(ThreeDartAverage(60, 3), 600000);
    EXPECT_EQ(ThreeDartAverage(2, 64), 938);   // 937.5
    EXPECT_EQ(ThreeDartAverage(6, 64), 2812);  // 2812.5
    EXPECT_EQ(ThreeDartAverage(10, 64), 4688); // 4687.5
    EXPECT_EQ(ThreeDartAverage(-2, 64), -938);
    EXPECT_EQ(ThreeDartAverage(1, 7), 4286); // 4285.71...
    EXPECT_EQ(ThreeDartAverage(501, 0), 0);
    EXPECT_EQ(ThreeDartAverage(501, -3), 0);
    EXPECT_EQ(ThreeDartAverage(int64_t{INT32_MAX} * 4, 1), INT32_MAX);
    EXPECT_EQ(ThreeDartAverage(-int64_t{INT32_MAX} * 4, 1), INT32_MIN);

    // Booked: 2 points with 64 darts (the leg and the match agree here).
    StartMatch(1, 2, 3);
    Enter("2", "64");
    EXPECT_EQ(Players[0].LegAverage, 938);
    EXPECT_EQ(Players[0].MatchAverage, 938);
    Enter("4", "0");
    EXPECT_EQ(Players[0].LegAverage, 2812);
}

TEST_F(VisitTest, LegAverageUsesTheGamesStartScore) {
    StartMatch(2, 1, 3); // 301
    Enter(100);
    EXPECT_EQ(Players[0].LegAverage, 1000000);
    Enter(26);
    Enter(101);
    EXPECT_EQ(Players[0].LegAverage, 1005000); // 201 in 6 darts
    EXPECT_EQ(Players[0].MatchAverage, 1005000);
}

TEST_F(VisitTest, HighScoresGoToTheLaterThrowerOnATie) {
    StartMatch(3, 2, 3);
    Settings.PlayerNames = {"Ann", "Bob", "Cy", "", "", "", "", ""};
    HighToday = 120;
    HighTodayName = "Earlier";
    Enter(100);
    EXPECT_EQ(HighGame, 100);
    EXPECT_EQ(HighGameName, "Ann");
    EXPECT_EQ(HighTodayName, "Earlier");
    Enter(100);
    EXPECT_EQ(HighGameName, "Bob");
    Enter(120);
    EXPECT_EQ(HighGame, 120);
    EXPECT_EQ(HighGameName, "Cy");
    EXPECT_EQ(HighToday, 120);
    EXPECT_EQ(HighTodayName, "Cy");
    Enter(99);
    EXPECT_EQ(HighGameName, "Cy");
}

TEST_F(VisitTest, HistoryKeepsTheFiftyNewestVisits) {
    StartMatch(1, 12, 3); // 1501 leaves room for 55 visits of up to 26
    for (int i = 1; i <= 55; ++i)
        Enter(i % 27);
    const TPlayerStats& p = Players[0];
    EXPECT_EQ(p.History[0], 55 % 27);
    EXPECT_EQ(p.History[1], 54 % 27);
    EXPECT_EQ(p.History[49], 6 % 27); // visits 1-5 have dropped out
    EXPECT_EQ(p.DartsMatch, 165);
}

TEST_F(VisitTest, SoundPlaysBeforeTheTurnPassesAndOnlyWhenOn) {
    StartMatch(2, 2, 3);
    Enter(60);
    EXPECT_TRUE(ops.Only({"PlayScoreSound"}).empty()) << "Sound off looks for nothing";

    Settings.Sound = true;
    ops.Clear();
    Enter(0);
    Enter(181);
    Players[0].Remaining = 10;
    Enter(26); // bust
    EXPECT_THAT(ops.Calls, ElementsAre("PlayScoreSound 0", "ShowActivePlayer 0", "ClearScore",
                                       "RefreshBoard"));
}

TEST_F(VisitTest, AnUnplayableSoundStillBooksTheVisitThenReportsTheError) {
    StartMatch(2, 2, 2); // Best of 1 Leg
    Settings.Sound = true;
    ops.SoundFails = "The specified file cannot be played";
    Players[0].Remaining = 60;
    ops.Score = "60";
    try {
        BookVisit(TKey::Enter);
        FAIL() << "no media error";
    } catch (const EMediaError& error) {
        EXPECT_STREQ(error.what(), "The specified file cannot be played");
    }
    // The leg and with it the match was decided, the board redrawn, then the error came.
    EXPECT_EQ(ops.Count("ShowResult"), 1);
    EXPECT_EQ(ops.Calls.back(), "RefreshBoard");
    EXPECT_EQ(ops.Score, "");
    EXPECT_EQ(Thrower, 1);
    EXPECT_EQ(ActivePlayer, 0);
    EXPECT_EQ(Players[0].Remaining, 501) << "fresh game after the match";
}

TEST_F(VisitTest, AnUnplayableSoundMidLegLeavesAConsistentBoard) {
    StartMatch(2, 2, 3);
    Settings.Sound = true;
    ops.SoundFails = "no audio device";
    ops.Score = "100";
    EXPECT_THROW(BookVisit(TKey::Enter), EMediaError);
    EXPECT_EQ(Players[0].Remaining, 401);
    EXPECT_EQ(Players[0].Count100, 1);
    EXPECT_EQ(Players[0].LegAverage, 1000000);
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(HighGame, 100);
    EXPECT_EQ(ops.Score, "");
    // The next entry is the next player's, not the same visit again.
    ops.SoundFails.reset();
    Enter(45);
    EXPECT_EQ(Players[1].Remaining, 456);
    EXPECT_EQ(Players[0].Remaining, 401);
}

// Any other failure of the sound (a loader out of memory, a library's own error) is held back
// the same way and ends as the sound's error once the visit, the leg rules and the redraw are done.
TEST_F(VisitTest, AnyFailureOfTheSoundEndsAsItsErrorAfterACompleteBooking) {
    struct Case {
        std::exception_ptr raised;
        const char* text;
    };
    const Case cases[] = {
        {std::make_exception_ptr(std::bad_alloc()), std::bad_alloc().what()},
        {std::make_exception_ptr(std::length_error("vector::_M_default_append")),
         "vector::_M_default_append"},
        {std::make_exception_ptr(std::runtime_error("sink went away")), "sink went away"},
    };
    for (const Case& c : cases) {
        StartMatch(2, 2, 3);
        Settings.Sound = true;
        ops.SoundRaises = c.raised;
        Players[0].Remaining = 100;
        ops.Score = "100";
        ops.Clear();
        try {
            BookVisit(TKey::Enter);
            ADD_FAILURE() << c.text << ": no error";
        } catch (const EMediaError& error) {
            EXPECT_STREQ(error.what(), c.text);
        } catch (...) {
            ADD_FAILURE() << c.text << ": not raised as the sound's error";
        }
        // The checkout was saved, booked, the leg decided and the board redrawn before the error.
        EXPECT_EQ(ops.Calls.front(), "SaveGameFile") << c.text;
        EXPECT_EQ(ops.Calls.back(), "RefreshBoard") << c.text;
        EXPECT_EQ(Players[0].Legs, 1) << c.text;
        EXPECT_EQ(Players[0].Remaining, 501) << c.text;
        EXPECT_EQ(Players[0].WonLegDarts[0], 3) << c.text;
        EXPECT_EQ(HighGame, 100) << c.text;
        EXPECT_EQ(ActivePlayer, 1) << c.text;
        EXPECT_EQ(ops.Score, "") << c.text;
        ops.SoundRaises = nullptr;
    }
}

} // namespace
} // namespace brennix::test
