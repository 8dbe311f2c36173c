// Game files: layout, round trip, loading, "Save Game As", and failures that must change nothing.
#include "storage_fixture.h"

#include "engine/errors.h"
#include "storage/autosave.h"
#include "storage/file_io.h"
#include "storage/game_file.h"

#include <sys/stat.h>
#include <tuple>

namespace brennix::test {
namespace {

using GameFileTest = StorageTest;
using ::testing::ElementsAre;

// A game in progress with a distinct value in every slot.
void FillGame() {
    Settings.PlayerCount = 3;
    Settings.GameType = 1;
    Settings.MatchFormat = 5;
    Settings.PlayerNames = {"Ann", "Bob", "Cy", "", "", "", "", "Hal"};
    Settings.Outshots[99] = "T20 D20";
    Settings.AutoSave = true;
    Settings.KeepSaveFiles = 4;
    int32_t value = 1;
    for (TPlayerStats& p : Players) {
        for (uint8_t& b : p.Reserved)
            b = static_cast<uint8_t>(value++);
        for (int32_t* slot = &p.History[0]; slot <= &p.DartsMatch; ++slot)
            *slot = value++;
    }
    Players[0].Remaining = 241;
    ActivePlayer = 2;
    LegStarter = 1;
    NextLegStarter = 2;
    NextSetStarter = 0;
}

TEST_F(GameFileTest, TheRecordLayout) {
    FillGame();
    MakeSaveFolder();
    SaveGameFile();
    const std::vector<uint8_t> bytes = ReadBytes(SlotPath(100));
    ASSERT_EQ(bytes.size(), 14516u);
    EXPECT_EQ(Int32At(bytes, 0), 3);
    EXPECT_EQ(bytes[8733], 3);
    EXPECT_EQ(std::string(bytes.begin() + 8734, bytes.begin() + 8737), "Ann");
    EXPECT_EQ(Int32At(bytes, 9592), 241) << "Remaining of player 1";
    EXPECT_EQ(Int32At(bytes, 8956 + 692 + 4 * 8), Players[1].History[0]);
    EXPECT_EQ(Int32At(bytes, 8956 + 7 * 692 + 4 * 172), Players[7].DartsMatch);
    EXPECT_EQ(bytes[8956 + 692], Players[1].Reserved[0]);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 14496, bytes.begin() + 14500),
              (std::vector<uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(Int32At(bytes, 14500), 1);
    EXPECT_EQ(Int32At(bytes, 14504), 2);
    EXPECT_EQ(Int32At(bytes, 14508), 0);
    EXPECT_EQ(Int32At(bytes, 14492), 0);
    EXPECT_EQ(Int32At(bytes, 14512), 0);
}

TEST_F(GameFileTest, EverySlotOfEveryPlayerAtItsOffset) {
    FillGame();
    GameFileName = In("slots.bx3");
    SaveGameFile();
    const std::vector<uint8_t> bytes = ReadBytes(In("slots.bx3"));
    ASSERT_EQ(bytes.size(), 14516u);
    for (int n = 0; n < 8; ++n) {
        const TPlayerStats& p = Players[n];
        const size_t base = 8956 + n * 692;
        for (int b = 0; b < 32; ++b)
            ASSERT_EQ(bytes[base + b], p.Reserved[b]) << "player " << n << " reserved " << b;
        const std::vector<int32_t> slots = [&] {
            std::vector<int32_t> v(p.History, p.History + 50);
            v.insert(v.end(), p.WonLegDarts, p.WonLegDarts + 100);
            v.insert(v.end(), {p.PrevRemaining, p.Remaining, p.Points, p.Legs, p.Sets, p.Count40,
                               p.Count60, p.Count100, p.Count140, p.Count180, p.LegAverage,
                               p.MatchAverage, p.PrevLegDarts, p.DartsLeg, p.DartsMatch});
            return v;
        }();
        for (int k = 8; k < 173; ++k)
            ASSERT_EQ(Int32At(bytes, base + 4 * k), slots[k - 8])
                << "player " << n << " slot " << k;
    }
    EXPECT_EQ(Int32At(bytes, 8956 + 159 * 4), 241) << "Remaining of player 1 at 9592";
}

TEST_F(GameFileTest, SaveThenLoadReproducesEveryField) {
    FillGame();
    GameFileName = In("match.bx3");
    SaveGameFile();
    const TGameImage saved = EncodeGameRecord(CurrentGame());

    Settings = TSettings{};
    Settings.PlayerCount = 2;
    Players = {};
    ActivePlayer = LegStarter = NextLegStarter = NextSetStarter = 0;
    GameFileName.clear();
    ops.OpenAnswer = In("match.bx3");
    LoadGameFile();
    EXPECT_EQ(EncodeGameRecord(CurrentGame()), saved);
    EXPECT_EQ(ReadBytes(In("match.bx3")), std::vector<uint8_t>(saved.begin(), saved.end()));
    EXPECT_EQ(StartScore, 301);
    EXPECT_EQ(GameFileName, In("match.bx3"));
    EXPECT_EQ(LastGameFileName, In("match.bx3"));
    EXPECT_EQ(ops.FilePath, In("match.bx3"));
}

TEST_F(GameFileTest, SlotsAreTakenLowestFirstAndKeptUntilTheGameChanges) {
    MakeSaveFolder();
    for (int n = 100; n <= 104; ++n)
        Touch(SlotPath(n));
    Settings.PlayerCount = 2;
    ops.Progress = 40;
    SaveGameFile();
    EXPECT_EQ(GameFileName, SlotPath(105));
    EXPECT_EQ(LastGameFileName, SlotPath(105));
    EXPECT_EQ(ops.FilePath, SlotPath(105));
    EXPECT_EQ(ops.Progress, 0);
    EXPECT_EQ(ReadBytes(SlotPath(105)).size(), 14516u);
    Touch(SlotPath(106));
    Players[0].Remaining = 77;
    SaveGameFile(); // rewrites the same slot, no new search
    EXPECT_EQ(GameFileName, SlotPath(105));
    EXPECT_EQ(Int32At(ReadBytes(SlotPath(105)), 9592), 77);
}

TEST_F(GameFileTest, WithAllSlotsTakenTheLastOneIsOverwritten) {
    MakeSaveFolder();
    for (int n = 100; n <= 999; ++n)
        Touch(SlotPath(n));
    Settings.PlayerCount = 2;
    SaveGameFile();
    EXPECT_EQ(GameFileName, SlotPath(999));
    EXPECT_EQ(ReadBytes(SlotPath(999)).size(), 14516u);
    EXPECT_EQ(ReadBytes(SlotPath(998)).size(), 1u);
}

TEST_F(GameFileTest, LoadProposesTheCurrentFileOrTheNewestSlot) {
    MakeSaveFolder();
    const std::string folder = dir.string() + "/";
    LoadGameFile(); // nothing there: slot 100, which does not exist
    Touch(SlotPath(100));
    Touch(SlotPath(230));
    LoadGameFile();
    GameFileName = In("mine.bx3");
    LoadGameFile();
    EXPECT_THAT(ops.Only({"OpenDialog"}),
                ElementsAre("OpenDialog " + SlotPath(100) + " in " + folder,
                            "OpenDialog " + SlotPath(230) + " in " + folder,
                            "OpenDialog " + In("mine.bx3") + " in " + folder));
}

TEST_F(GameFileTest, CancellingLoadChangesNothing) {
    Settings.PlayerCount = 2;
    GameFileName = In("current.bx3");
    SaveGameFile();
    Players[0].Remaining = 100; // a visit booked since the save
    GameFileName.clear();
    ops.Progress = 33;
    ops.FilePath = "shown";
    ops.Clear();
    ops.OpenAnswer.reset();
    LoadGameFile();
    EXPECT_EQ(Players[0].Remaining, 100);
    EXPECT_EQ(GameFileName, "");
    EXPECT_EQ(LastGameFileName, In("current.bx3"));
    EXPECT_EQ(ops.FilePath, "shown");
    EXPECT_EQ(ops.Progress, 33);
    EXPECT_EQ(ops.Calls.size(), 1u) << "only the dialog";
}

TEST_F(GameFileTest, ANewNameBecomesTheCurrentFileWithoutLoading) {
    Settings.PlayerCount = 2;
    Players[0].Remaining = 180;
    ops.Progress = 12;
    ops.OpenAnswer = In("new.bx3");
    LoadGameFile();
    EXPECT_EQ(Players[0].Remaining, 180);
    EXPECT_EQ(GameFileName, In("new.bx3"));
    EXPECT_EQ(LastGameFileName, "");
    EXPECT_EQ(ops.FilePath, In("new.bx3"));
    EXPECT_EQ(ops.Progress, 0);
    EXPECT_FALSE(FileExists(In("new.bx3")));
    SaveGameFile();
    EXPECT_TRUE(FileExists(In("new.bx3")));
}

TEST_F(GameFileTest, LoadingSetsTheStartScoreAndTheTieBreakFromTheFile) {
    // Best of 3 Sets at one set all and two legs all: the deciding set is a tie-break.
    StartMatch(2, 1, 4);
    Players[0].Sets = Players[1].Sets = 1;
    Players[0].Legs = Players[1].Legs = 2;
    GameFileName = In("tiebreak.bx3");
    SaveGameFile();

    // Another game is on the board, with stale tie-break flags.
    StartMatch(2, 2, 3);
    TieBreakSet = SetDecided = true;
    ops.SpecialSet = "Sudden Death";
    ops.OpenAnswer = In("tiebreak.bx3");
    LoadGameFile();
    EXPECT_EQ(StartScore, 301);
    EXPECT_TRUE(TieBreakSet);
    EXPECT_FALSE(SetDecided);
    EXPECT_EQ(ops.SpecialSet, "Tie Break");
    EXPECT_EQ(SpecialText, "Tie Break") << "the board's view reads it from the state";

    // 3-2 in the tie-break goes on; 4-2 ends the match.
    PlayLeg(ActivePlayer);
    EXPECT_EQ(ops.Count("ShowResult"), 0);
    PlayLeg(Players[0].Legs == 3 ? 0 : 1);
    EXPECT_EQ(ops.Count("ShowResult"), 1);

    // At five legs all it is sudden death; a game outside a tie-break clears everything.
    StartMatch(2, 1, 3);
    Players[0].Legs = Players[1].Legs = 5;
    GameFileName = In("sudden.bx3");
    SaveGameFile();
    StartMatch(2, 1, 3);
    Players[0].Legs = 2;
    GameFileName = In("plain.bx3");
    SaveGameFile();
    ops.OpenAnswer = In("sudden.bx3");
    LoadGameFile();
    EXPECT_TRUE(TieBreakSet);
    EXPECT_EQ(ops.SpecialSet, "Sudden Death");
    EXPECT_EQ(SpecialText, "Sudden Death");
    ops.OpenAnswer = In("plain.bx3");
    LoadGameFile();
    EXPECT_FALSE(TieBreakSet);
    EXPECT_EQ(ops.SpecialSet, "");
    EXPECT_EQ(SpecialText, "");
}

TEST_F(GameFileTest, SaveAsRefusesTheSlotNamesExactly) {
    MakeSaveFolder();
    Settings.PlayerCount = 2;
    GameFileName = In("before.bx3");
    ops.SaveAnswer = SlotPath(150);
    SaveAs1Click();
    EXPECT_EQ(ops.Only({"Information"}),
              std::vector<std::string>{"Information SaveFileName not allowed "});
    EXPECT_EQ(GameFileName, In("before.bx3"));
    EXPECT_FALSE(FileExists(SlotPath(150)));
    EXPECT_FALSE(FileExists(In("before.bx3")));

    std::string otherCase = SlotPath(150);
    otherCase.replace(otherCase.find("SaveA"), 5, "savea");
    ops.SaveAnswer = otherCase;
    SaveAs1Click();
    EXPECT_EQ(GameFileName, otherCase);
    EXPECT_TRUE(FileExists(otherCase));
}

TEST_F(GameFileTest, SaveAsCancelled) {
    MakeSaveFolder();
    Settings.PlayerCount = 2;
    ops.SaveAnswer.reset();
    SaveAs1Click(); // no current file: the lowest free slot
    EXPECT_EQ(GameFileName, SlotPath(100));
    EXPECT_TRUE(FileExists(SlotPath(100)));
    ops.Clear();
    SaveAs1Click(); // a current slot file: refused
    EXPECT_EQ(ops.Only({"Information"}).size(), 1u);
    EXPECT_EQ(GameFileName, SlotPath(100));
    GameFileName = In("own.bx3");
    SaveAs1Click(); // a file of the operator's: rewritten
    EXPECT_TRUE(FileExists(In("own.bx3")));
    EXPECT_EQ(LastGameFileName, In("own.bx3"));
}

TEST_F(GameFileTest, AFailedSaveChangesNothingAndKeepsThePreviousFile) {
    Settings.PlayerCount = 2;
    ops.Progress = 50;
    ops.FilePath = "Not Saved";
    // No folder "save": the chosen slot stays the current name for the next try.
    try {
        SaveGameFile();
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), 3);
        EXPECT_EQ(ErrorBoxText(error.what()), "Invalid filename.");
    }
    EXPECT_EQ(GameFileName, SlotPath(100));
    EXPECT_EQ(LastGameFileName, "");
    EXPECT_EQ(ops.FilePath, "Not Saved");
    EXPECT_EQ(ops.Progress, 50);

    // A read-only file is refused and stays as it was.
    GameFileName = In("locked.bx3");
    SaveGameFile();
    const std::vector<uint8_t> locked = ReadBytes(In("locked.bx3"));
    fs::permissions(In("locked.bx3"), fs::perms::owner_read | fs::perms::group_read);
    Players[0].Remaining = 5;
    ops.Progress = 50;
    try {
        SaveGameFile();
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), "File access denied");
    }
    EXPECT_EQ(ReadBytes(In("locked.bx3")), locked);
    EXPECT_EQ(ops.Progress, 50);

    // The disk fills up half way: the old game survives, no stray file is left.
    GameFileName = In("full.bx3");
    Players[0].Remaining = 6;
    SaveGameFile();
    const std::vector<uint8_t> full = ReadBytes(In("full.bx3"));
    Players[0].Remaining = 7;
    {
        TFileSizeLimit limit(8000);
        try {
            SaveGameFile();
            FAIL();
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.Code(), 101);
            EXPECT_EQ(std::string(error.what()), "Disk full");
        }
    }
    EXPECT_EQ(ReadBytes(In("full.bx3")), full);
    EXPECT_THAT(FilesIn(dir), ElementsAre("full.bx3", "locked.bx3"));
}

TEST_F(GameFileTest, AFailedLoadChangesNothing) {
    Settings.PlayerCount = 2;
    Settings.PlayerNames[0] = "Current";
    Players[0].Remaining = 99;
    GameFileName = In("current.bx3");
    LastGameFileName = In("last.bx3");
    ops.Progress = 21;
    ops.FilePath = In("current.bx3");

    auto expectUnchanged = [&](const char* what) {
        EXPECT_EQ(Players[0].Remaining, 99) << what;
        EXPECT_EQ(Settings.PlayerNames[0], "Current") << what;
        EXPECT_EQ(GameFileName, In("current.bx3")) << what;
        EXPECT_EQ(LastGameFileName, In("last.bx3")) << what;
        EXPECT_EQ(ops.FilePath, In("current.bx3")) << what;
        EXPECT_EQ(ops.Progress, 21) << what;
    };

    WriteBytes(In("short.bx3"), std::vector<uint8_t>(14515, 1));
    ops.OpenAnswer = In("short.bx3");
    try {
        LoadGameFile();
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), 100);
        EXPECT_EQ(std::string(error.what()), "Read beyond end of file");
    }
    expectUnchanged("short file");

    for (int32_t count : {0, 9, -3}) {
        std::vector<uint8_t> bytes(14516, 0);
        bytes[0] = static_cast<uint8_t>(count);
        if (count < 0) bytes[1] = bytes[2] = bytes[3] = 0xFF;
        WriteBytes(In("text.bx3"), bytes);
        ops.OpenAnswer = In("text.bx3");
        try {
            LoadGameFile();
            FAIL();
        } catch (const EBrennixError& error) {
            EXPECT_EQ(ErrorBoxText(error.what()),
                      "'" + In("text.bx3") + "' is not a valid game file.");
        }
        expectUnchanged("not a game file");
    }

    {
        GameFileName = In("locked.bx3");
        SaveGameFile();
        GameFileName = In("current.bx3");
        LastGameFileName = In("last.bx3");
        ops.FilePath = In("current.bx3");
        ops.Progress = 21;
        fs::permissions(In("locked.bx3"), fs::perms::owner_read);
        ops.OpenAnswer = In("locked.bx3");
        try {
            LoadGameFile();
            FAIL();
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.Code(), 5);
        }
        expectUnchanged("read-only file");
    }
}

TEST_F(GameFileTest, ASaveThroughALinkWritesTheLinkedFile) {
    Settings.PlayerCount = 2;
    GameFileName = In("real.bx3");
    SaveGameFile();
    fs::create_symlink(In("real.bx3"), In("link.bx3"));
    Players[0].Remaining = 123;
    GameFileName = In("link.bx3");
    SaveGameFile();
    EXPECT_TRUE(fs::is_symlink(In("link.bx3")));
    EXPECT_EQ(Int32At(ReadBytes(In("real.bx3")), 9592), 123);
    EXPECT_EQ(GameFileName, In("link.bx3"));
}

TEST_F(GameFileTest, SystemErrorsNameTheirCondition) {
    struct Case {
        int error, code;
        const char* text;
    };
    for (const Case& c :
         {Case{ENOENT, 3, "Invalid filename"}, Case{ENOTDIR, 3, "Invalid filename"},
          Case{ENAMETOOLONG, 3, "Invalid filename"}, Case{EMFILE, 4, "Too many open files"},
          Case{ENFILE, 4, "Too many open files"}, Case{EACCES, 5, "File access denied"},
          Case{EROFS, 5, "File access denied"}, Case{ENOSPC, 101, "Disk full"},
          Case{EFBIG, 101, "Disk full"}, Case{EIO, EIO, "I/O error 5"},
          Case{EINTR, EINTR, "I/O error 4"}, Case{EISDIR, EISDIR, "I/O error 21"}}) {
        const EInOutError error = IoErrorFromErrno(c.error);
        EXPECT_EQ(error.Code(), c.code) << c.text;
        EXPECT_EQ(std::string(error.what()), c.text);
    }
    // A directory where the game file should be.
    fs::create_directory(In("folder.bx3"));
    GameFileName = In("folder.bx3");
    Settings.PlayerCount = 2;
    try {
        SaveGameFile();
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), "I/O error 21");
    }
}

// The read-only reader names why it refuses a file; both sides of each bound, a longer and a
// write-protected file are read.
TEST_F(GameFileTest, TheReadOnlyReaderNamesItsRefusal) {
    FillGame(); // three players
    const TGameImage image = EncodeGameRecord(CurrentGame());
    fs::create_directory(In("folder"));
    ASSERT_EQ(::mkfifo(In("pipe").c_str(), 0644), 0);
    for (const auto& [name, size, count, result] :
         std::vector<std::tuple<std::string, size_t, uint8_t, std::string>>{
             {"good", 14516, 3, "3 players"},
             {"longer", 14517, 3, "3 players"},
             {"count1", 14516, 1, "1 players"},
             {"count8", 14516, 8, "8 players"},
             {"short", 14515, 3, "not a game file: 14515 bytes, a game file has 14516"},
             {"count0", 14516, 0, "not a game file: player count 0, not 1-8"},
             {"count9", 14516, 9, "not a game file: player count 9, not 1-8"},
             {"folder", 0, 0, "not a regular file"},
             {"pipe", 0, 0, "not a regular file"},
             {"missing", 0, 0, "File not found"}}) {
        if (size > 0) {
            std::vector<uint8_t> bytes(image.begin(), image.end());
            bytes.resize(size, 7);
            bytes[0] = count;
            WriteBytes(In(name), bytes);
            fs::permissions(In(name), fs::perms::owner_read);
        }
        try {
            const TGameFileRecord record = ReadGameFileReadOnly(In(name));
            EXPECT_EQ(std::to_string(record.Settings.PlayerCount) + " players", result);
        } catch (const EBrennixError& error) {
            EXPECT_EQ(error.what(), result) << name;
        }
    }
}

TEST_F(GameFileTest, LoadedValuesNeverPointOutsideThePlayers) {
    Settings.PlayerCount = 3;
    GameFileName = In("odd.bx3");
    SaveGameFile();
    std::vector<uint8_t> bytes = ReadBytes(In("odd.bx3"));
    bytes[14496] = 7; // ActivePlayer
    bytes[14500] = 0xFF, bytes[14501] = 0xFF, bytes[14502] = 0xFF, bytes[14503] = 0xFF; // -1
    bytes[14504] = 3;   // NextLegStarter
    bytes[14508] = 200; // NextSetStarter
    bytes[8733] = 99;   // name length above its capacity
    bytes[9592] = 0xF6, bytes[9593] = 0xFF, bytes[9594] = 0xFF, bytes[9595] = 0xFF; // -10 left
    WriteBytes(In("odd.bx3"), bytes);
    ops.OpenAnswer = In("odd.bx3");
    LoadGameFile();
    EXPECT_EQ(ActivePlayer, 2);
    EXPECT_EQ(LegStarter, 0);
    EXPECT_EQ(NextLegStarter, 2);
    EXPECT_EQ(NextSetStarter, 2);
    EXPECT_EQ(Settings.PlayerNames[0].size(), 26u);
    EXPECT_EQ(Players[0].Remaining, -10);
    EXPECT_EQ(CheckoutText(Players[0].Remaining), "");
}

} // namespace
} // namespace brennix::test
