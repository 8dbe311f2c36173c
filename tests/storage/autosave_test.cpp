// The autosave countdown, the slots' clean-up at exit, the stale temporary files swept at
// start-up, and autosaves held off during dialogs.
#include "storage_fixture.h"

#include "engine/errors.h"
#include "storage/autosave.h"
#include "storage/file_io.h"
#include "storage/game_file.h"
#include "storage/settings_file.h"

namespace brennix::test {
namespace {

using AutosaveTest = StorageTest;
using ::testing::ElementsAre;

TEST_F(AutosaveTest, CountdownSavesOnTheHundredAndFirstTick) {
    MakeSaveFolder();
    Settings.PlayerCount = 2;
    Settings.AutoSave = true;
    EXPECT_EQ(ops.Hint, "AutoSaveTimer");
    Timer1Timer();
    EXPECT_EQ(ops.Progress, 1);
    EXPECT_EQ(ops.Hint, "SaveFileTimer 1%");
    for (int tick = 2; tick <= 100; ++tick)
        Timer1Timer();
    EXPECT_EQ(ops.Hint, "SaveFileTimer 100%");
    EXPECT_FALSE(FileExists(SlotPath(100)));
    Timer1Timer();
    EXPECT_TRUE(FileExists(SlotPath(100)));
    EXPECT_EQ(ops.Progress, 0);
    EXPECT_EQ(ops.Hint, "SaveFileTimer 101%");
    EXPECT_EQ(ops.FilePath, SlotPath(100));
    Timer1Timer();
    EXPECT_EQ(ops.Hint, "SaveFileTimer 1%");
}

TEST_F(AutosaveTest, SavesAndLoadsRestartTheCountdownWhateverAutoSaveSays) {
    Settings.PlayerCount = 2;
    Settings.AutoSave = false;
    ops.Progress = 60;
    Timer1Timer();
    EXPECT_EQ(ops.Progress, 60) << "AutoSave off: the countdown stands still";
    EXPECT_EQ(ops.Hint, "AutoSaveTimer");
    GameFileName = In("game.bx3");
    SaveGameFile();
    EXPECT_EQ(ops.Progress, 0);
    ops.Progress = 60;
    ops.OpenAnswer = In("game.bx3");
    LoadGameFile();
    EXPECT_EQ(ops.Progress, 0);
    ops.Progress = 60;
    ResetGame();
    EXPECT_EQ(ops.Progress, 0);
}

TEST_F(AutosaveTest, AFailedAutosaveIsReportedOnceAndTheCountdownGoesOn) {
    Settings.PlayerCount = 2;
    Settings.AutoSave = true;
    ops.Progress = 100;
    EXPECT_THROW(Timer1Timer(), EInOutError); // no folder "save"
    EXPECT_EQ(ops.Progress, 0);
    EXPECT_EQ(GameFileName, SlotPath(100));
    for (int tick = 0; tick < 100; ++tick)
        EXPECT_NO_THROW(Timer1Timer());
    EXPECT_THROW(Timer1Timer(), EInOutError);
}

TEST_F(AutosaveTest, NoAutosaveWhileLoadOrSaveAsDialogsAreOpen) {
    MakeSaveFolder();
    Settings.PlayerCount = 2;
    Settings.AutoSave = true;
    Touch(SlotPath(100));
    ops.WhileModal = [] {
        for (int tick = 0; tick < 300; ++tick)
            Timer1Timer();
    };
    ops.OpenAnswer.reset();
    LoadGameFile(); // proposes slot 100, which belongs to another game
    EXPECT_EQ(ReadBytes(SlotPath(100)).size(), 1u);
    EXPECT_FALSE(FileExists(SlotPath(101)));

    ops.SaveAnswer = SlotPath(100); // refused, with the box open for a while
    SaveAs1Click();
    EXPECT_EQ(ReadBytes(SlotPath(100)).size(), 1u);
    EXPECT_FALSE(FileExists(SlotPath(101)));
    EXPECT_EQ(ops.Progress, 0);

    ops.WhileModal = nullptr;
    for (int tick = 0; tick < 101; ++tick)
        Timer1Timer();
    EXPECT_TRUE(FileExists(SlotPath(101))) << "the countdown runs again afterwards";
}

TEST_F(AutosaveTest, ExitKeepsTheHighestSlotsAndWritesTheSettings) {
    MakeSaveFolder();
    for (int n : {100, 101, 500, 999})
        Touch(SlotPath(n));
    Touch(In("save/notes.txt"));
    Touch(In("save/SaveA50.bx3"));
    Touch(In("save/SaveA1000.bx3"));
    Settings.DeleteAutoSaves = true;
    Settings.KeepSaveFiles = 2;
    Settings.PlayerCount = 5;
    ExitCleanup();
    EXPECT_THAT(FilesIn(dir / "save"), ElementsAre("SaveA1000.bx3", "SaveA50.bx3", "SaveA500.bx3",
                                                   "SaveA999.bx3", "notes.txt"));
    EXPECT_EQ(Int32At(ReadBytes(SettingsPath()), 0), 5);

    Settings.KeepSaveFiles = 0;
    Settings.DeleteAutoSaves = false;
    ExitCleanup();
    EXPECT_EQ(FilesIn(dir / "save").size(), 5u) << "DeleteAutoSaves off deletes nothing";

    Settings.DeleteAutoSaves = true;
    Settings.KeepSaveFiles = -1;
    ExitCleanup();
    EXPECT_THAT(FilesIn(dir / "save"), ElementsAre("SaveA1000.bx3", "SaveA50.bx3", "notes.txt"));
}

TEST_F(AutosaveTest, OnlyTheProgramsOwnStaleTemporaryFilesAreRemoved) {
    MakeSaveFolder();
    fs::create_directory(dir / "games");
    struct TCase {
        std::string name; // below the base folder
        bool removed;
    };
    const std::vector<TCase> cases = {
        {"save/SaveA100.bx3.a1B2c3", true},   // a slot's temporary file
        {"save/SaveA999.bx3.XXXXXX", true},   // mkstemp may draw these letters too
        {"save/SaveA500.bx3.000000", true},   // ... and digits only
        {"brnx3p.dat.Zz9Qq1", true},          // the settings file's temporary file
        {"save/SaveA100.bx3", false},         // the slot itself
        {"save/SaveA100.bx3.bak", false},     // a stranger's backup
        {"save/SaveA100.bx3.abcdefg", false}, // seven characters
        {"save/SaveA100.bx3.abcde", false},   // five
        {"save/SaveA100.bx3.abc-12", false},  // not a letter or digit
        {"save/SaveA100.bx3_abcdef", false},  // no dot
        {"save/SaveA99.bx3.abcdef", false},   // no slot number
        {"save/SaveA1000.bx3.abcdef", false},
        {"save/savea100.bx3.abcdef", false}, // letter case counts
        {"save/brnx3p.dat.abcdef", false},   // not beside the settings file
        {"save/mygame.bx3.abcdef", false},   // the operator's own files are not swept
        {"save/notes.txt.ABC123", false},
        {"SaveA100.bx3.abcdef", false}, // not beside the slots
        {"brnx3p.dat", false},
        {"brnx3p.dat.bak", false},
        {"brnx3p.dat.ABC12", false},
        {"games/brnx3p.dat.abcdef", false}, // other folders are never looked at
        {"games/SaveA100.bx3.abcdef", false},
    };
    // Written two minutes ago, as a save cut short by a kill would have left them.
    const auto before = fs::file_time_type::clock::now() - TemporaryFileLifetime * 2;
    for (const TCase& c : cases) {
        Touch(In(c.name));
        fs::last_write_time(In(c.name), before);
    }
    // One written just now may be another Brennix's save in progress.
    Touch(In("save/SaveA103.bx3.Recent"));
    // Something other than a regular file under such a name is not one of ours either.
    fs::create_directory(dir / "save/SaveA101.bx3.dir123");
    fs::create_symlink(dir / "save/SaveA100.bx3", dir / "save/SaveA102.bx3.lnk123");
    fs::create_symlink(dir / "games", dir / "brnx3p.dat.lnk123");

    RemoveStaleTemporaryFiles();
    for (const TCase& c : cases)
        EXPECT_EQ(fs::exists(In(c.name)), !c.removed) << c.name;
    EXPECT_TRUE(fs::is_directory(dir / "save/SaveA101.bx3.dir123"));
    EXPECT_TRUE(fs::is_symlink(dir / "save/SaveA102.bx3.lnk123"));
    EXPECT_TRUE(fs::is_symlink(dir / "brnx3p.dat.lnk123"));
    EXPECT_TRUE(fs::exists(In("save/SaveA103.bx3.Recent")));
    EXPECT_EQ(ReadBytes(In("save/SaveA100.bx3")), std::vector<uint8_t>{'x'});

    fs::remove_all(dir / "save"); // no slot folder at all: nothing to do, nothing reported
    EXPECT_NO_THROW(RemoveStaleTemporaryFiles());
    EXPECT_TRUE(fs::exists(In("brnx3p.dat")));
}

TEST_F(AutosaveTest, SlotNames) {
    EXPECT_EQ(SlotPath(100), dir.string() + "/save/SaveA100.bx3");
    EXPECT_TRUE(IsSlotPath(SlotPath(999)));
    EXPECT_FALSE(IsSlotPath(dir.string() + "/save/SaveA1000.bx3"));
    EXPECT_FALSE(IsSlotPath(dir.string() + "/save/SaveA99.bx3"));
    EXPECT_FALSE(IsSlotPath(""));
}

} // namespace
} // namespace brennix::test
