// Start-up, a new game and a change of settings, against the recording stand-in.
#include "../storage/storage_fixture.h"

#include "engine/flow.h"
#include "storage/autosave.h"
#include "storage/file_io.h"
#include "storage/game_file.h"
#include "storage/settings_file.h"

namespace brennix::test {
namespace {

using FlowTest = StorageTest;
using ::testing::ElementsAre;

TEST_F(FlowTest, StartUpOnAFirstRun) {
    HighToday = 140;
    ops.WhoBegins = {1};
    // A save of the previous session was killed half way; a stranger's file stays.
    MakeSaveFolder();
    Touch(In("save/SaveA100.bx3.Ab3xY9"));
    std::filesystem::last_write_time(In("save/SaveA100.bx3.Ab3xY9"),
                                     std::filesystem::file_time_type::clock::now() -
                                         TemporaryFileLifetime * 2);
    Touch(In("save/SaveA100.bx3.bak"));
    StartUp({}, 1280, 1024);
    EXPECT_THAT(FilesIn(dir / "save"), ElementsAre("SaveA100.bx3.bak"));
    EXPECT_EQ(Settings.PlayerCount, 2);
    EXPECT_EQ(StartScore, 501);
    EXPECT_EQ(Settings.PlayerNames[1], "Player2");
    EXPECT_EQ(HighToday, 0);
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(LegStarter, 1);
    EXPECT_EQ(NextSetStarter, 0);
    EXPECT_EQ(NextLegStarter, 0);
    EXPECT_TRUE(ops.TimerRunning);
    EXPECT_EQ(GameFileName, "");
    EXPECT_EQ(LastGameFileName, "");
    EXPECT_THAT(ops.Calls,
                ElementsAre("ResetGameWindow", "ResetGameBoard", "Progress 0", "AskWhoBegins 0",
                            "StartTimer", "ShowFilePath ", "ShowActivePlayer 1", "RefreshBoard"));
}

TEST_F(FlowTest, TheSafeSwitchTurnsSoundAndSavingOffForGood) {
    Settings = FirstRunSettings();
    Settings.Sound = true;
    SaveSettings();
    StartUp(ReadRunOptions({"/SAFE", "-safe"}), 1024, 768);
    EXPECT_TRUE(Settings.Sound) << "only the exact, lower-case switch counts";
    EXPECT_TRUE(Settings.AutoSave);

    StartUp(ReadRunOptions({"game", "/safe"}), 1024, 768);
    EXPECT_FALSE(Settings.Sound);
    EXPECT_FALSE(Settings.AutoSave);
    EXPECT_FALSE(Settings.DeleteAutoSaves);
    EXPECT_EQ(Settings.KeepSaveFiles, 0);
    ExitCleanup();
    const std::vector<uint8_t> bytes = ReadBytes(SettingsPath());
    EXPECT_EQ(bytes[8949] + bytes[8950] + bytes[8951], 0);
    EXPECT_EQ(Int32At(bytes, 8952), 0);

    StartUp({}, 1024, 768); // the next run without the switch keeps them off
    EXPECT_FALSE(Settings.Sound);
    EXPECT_FALSE(Settings.AutoSave);
}

TEST_F(FlowTest, ASmallScreenIsWarnedAboutBeforeWhoBegins) {
    StartUp({}, 800, 600);
    EXPECT_THAT(
        ops.Only({"Warning", "AskWhoBegins"}),
        ElementsAre("Warning Windows resolution rather low: 800x600.   Recomended: 1024x768",
                    "AskWhoBegins 0"));
    ops.Clear();
    StartUp({}, 1024, 700);
    EXPECT_EQ(ops.Only({"Warning"}).size(), 1u);
    ops.Clear();
    StartUp({}, 1000, 768);
    EXPECT_EQ(ops.Only({"Warning"}).size(), 1u);
    ops.Clear();
    StartUp({}, 1024, 768);
    EXPECT_TRUE(ops.Only({"Warning"}).empty());
}

TEST_F(FlowTest, ANewGameKeepsTheDaysHighAndForgetsTheFile) {
    MakeSaveFolder();
    StartUp({}, 1024, 768);
    Enter(140);
    GameFileName = In("old.bx3");
    LastGameFileName = In("old.bx3");
    SaveGameFile();
    const std::vector<uint8_t> old = ReadBytes(In("old.bx3"));
    ops.WhoBegins = {1};
    // A countdown running out while Start Leg is open must not put the fresh game into the old
    // game's file.
    ops.WhileModal = [] {
        for (int tick = 0; tick < 300; ++tick)
            Timer1Timer();
    };
    NewGame();
    EXPECT_EQ(ReadBytes(In("old.bx3")), old);
    EXPECT_EQ(HighToday, 140);
    EXPECT_EQ(HighGame, 0);
    EXPECT_EQ(GameFileName, "");
    EXPECT_EQ(LastGameFileName, In("old.bx3"));
    EXPECT_EQ(ops.FilePath, "");
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(NextLegStarter, 0);
    EXPECT_EQ(Players[0].Remaining, 501);
}

TEST_F(FlowTest, CancellingTheSettingsNeitherResetsNorAsks) {
    StartUp({}, 1024, 768);
    Enter(60);
    ops.Clear();
    ops.SettingsOk = false;
    ChangeSettings();
    EXPECT_THAT(ops.Calls,
                ElementsAre("StopTimer", "ShowGameSettings", "RefreshBoard", "StartTimer"));
    EXPECT_EQ(Players[0].Remaining, 441);
    EXPECT_TRUE(ops.TimerRunning);
}

TEST_F(FlowTest, ConfirmedSettingsStartAFreshGameAndRestartTheTimerAfterAMatch) {
    StartUp({}, 1024, 768);
    Settings.MatchFormat = 2;
    Settings.GameType = 1;
    ResetGame();
    PlayLeg(0); // Best of 1 Leg: the match is over and the timer stopped
    EXPECT_FALSE(ops.TimerRunning);
    GameFileName = In("x.bx3");
    ops.Clear();
    ops.SettingsOk = true;
    ops.WhoBegins = {1};
    Enter(60);
    ChangeSettings();
    EXPECT_THAT(
        ops.Only({"StopTimer", "ShowGameSettings", "AskWhoBegins", "ShowFilePath", "StartTimer"}),
        ElementsAre("StopTimer", "ShowGameSettings", "AskWhoBegins 0", "ShowFilePath ",
                    "StartTimer"));
    EXPECT_EQ(Players[0].Remaining, 301);
    EXPECT_EQ(ActivePlayer, 1);
    EXPECT_EQ(LegStarter, 1);
    EXPECT_EQ(GameFileName, "");
    EXPECT_TRUE(ops.TimerRunning);
}

} // namespace
} // namespace brennix::test
