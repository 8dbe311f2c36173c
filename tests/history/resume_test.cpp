// Resuming an interrupted match: killed with visits after its last save, it is played again from
// the history, saves the bytes it would have saved without the kill, and goes on as the same
// match. And when File offers it.
#include "../storage/storage_fixture.h"
#include "sqlite_rows.h"

#include "engine/flow.h"
#include "history/resume.h"
#include "storage/autosave.h"
#include "storage/game_file.h"

#include <sstream>

namespace brennix::test {
namespace {

using ::testing::ElementsAre;

class ResumeTest : public StorageTest {
  protected:
    std::unique_ptr<THistoryStore> store;
    std::unique_ptr<TMatchResume> resume;
    std::optional<bool> offered;

    void SetUp() override {
        StorageTest::SetUp();
        MakeSaveFolder();
        ops.OnSave = [] { SaveGameFile(); };
        Start();
    }
    void TearDown() override {
        resume.reset();
        store.reset();
        StorageTest::TearDown();
    }
    // A start of the program, Player1 beginning the first match.
    void Start() {
        store = std::make_unique<THistoryStore>(HistoryPath(), [](const std::string&) {});
        AddMatchObserver(*store);
        resume = std::make_unique<TMatchResume>(*store, [this](bool can) { offered = can; });
        StartUp({}, 1024, 768);
    }
    // Plays a script of words: a score ("60", or "41/2" with its darts), "u" Undo, "F5", "new"
    // New Game, "L0" a leg won by the first player, "p2" the second named at the next Start
    // Leg, "exit"; "kill" ends the run without anything ending or being written, and starts the
    // program afresh ("fresh" also with an empty data folder). "file" loads a game file the history
    // does not know, "gone" removes it; "slot" loads SaveA100. "setup" is a new game of 301 with
    // sound on, Ann and Jürgen, Jürgen beginning.
    void Play(const std::string& script) {
        std::istringstream words(script);
        for (std::string word; words >> word;) {
            const std::string old = In("old.bx3");
            if (word == "u") {
                UndoVisit();
            } else if (word == "F5") {
                BookVisit(TKey::F5);
            } else if (word == "new") {
                NewGame();
            } else if (word[0] == 'L') {
                PlayLeg(word[1] - '0');
            } else if (word == "exit") {
                ExitCleanup();
            } else if (word == "kill" || word == "fresh") {
                resume.reset();
                store.reset();
                if (word == "fresh") fs::remove_all(dir);
                fs::create_directories(dir / "save");
                EngineTest::SetUp();
                Start();
            } else if (word == "file" || word == "slot") {
                const TGameImage game = EncodeGameRecord(CurrentGame());
                if (word == "file") WriteBytes(old, {game.begin(), game.end()});
                ops.OpenAnswer = word == "file" ? old : SlotPath(100);
                LoadGameFile();
            } else if (word == "p2") {
                ops.WhoBegins = {1};
            } else if (word == "gone") {
                fs::remove(old);
            } else if (word == "setup") {
                Settings.GameType = 1;
                Settings.PlayerNames[0] = "Ann";
                Settings.PlayerNames[1] = "J\xFCrgen";
                Settings.Sound = true;
                Play("p2 new");
            } else {
                const size_t slash = word.find('/');
                Enter(word.substr(0, slash),
                      slash == std::string::npos ? "3" : word.substr(slash + 1));
            }
        }
    }
    std::vector<std::string> Rows(const std::string& sql) { return SqliteRows(HistoryPath(), sql); }
};

struct TKilledMatch {
    const char* name;
    std::string play, after; // before the kill; after the resume
    const char* high;        // the game's highest visit and its thrower after the resume
    const char* end; // in the end: the matches; each match's visits: count, ids; the ids aside
};

void PrintTo(const TKilledMatch& match, std::ostream* out) {
    *out << match.name;
}

class KilledMatchTest : public ResumeTest, public ::testing::WithParamInterface<TKilledMatch> {};

TEST_P(KilledMatchTest, ResumeSavesWhatTheMatchHeldAndGoesOnInIt) {
    const TKilledMatch& match = GetParam();
    Play(match.play);
    const TGameImage held = EncodeGameRecord(CurrentGame());
    Play("kill");
    EXPECT_EQ(offered, true);
    ops.Clear();
    resume->Resume();
    EXPECT_EQ(offered, false);
    EXPECT_THAT(ops.Only({"PlayScoreSound", "SaveGameFile", "Information", "AskWhoBegins"}),
                ElementsAre());
    EXPECT_EQ(std::to_string(HighGame) + " " + HighGameName, match.high);
    const std::string file = GameFileName;
    SaveGameFile();
    EXPECT_EQ(file, GameFileName);
    EXPECT_EQ(ReadBytes(file), std::vector<uint8_t>(held.begin(), held.end()));
    Play(match.after);
    EXPECT_THAT(
        Rows("SELECT (SELECT GROUP_CONCAT(id || ' ' || end_reason || ' ' || IFNULL(winner, "
             "'-'), ', ') FROM matches) || ' | ' || (SELECT GROUP_CONCAT(v, ', ') FROM "
             "(SELECT match_id || ': ' || COUNT(*) || ' ' || MIN(id) || '-' || MAX(id) AS v "
             "FROM visits GROUP BY match_id)) || ' | aside ' || IFNULL((SELECT "
             "GROUP_CONCAT(id) FROM visits_aside), '-')"),
        ElementsAre(match.end));
}

INSTANTIATE_TEST_SUITE_P(
    Killed, KilledMatchTest,
    ::testing::Values(
        // A 0, a 180 taken back (still the game's highest), F5, a leg of eight visits won with
        // two darts and one of three, 45, 100 and a 26 taken back. The 100 is taken back again
        // after the resume, typed again, and Ann wins legs 3 and 4.
        TKilledMatch{"FromItsBeginning",
                     "setup 100 60 0 180 u 140 160 F5 41 41/2 140 60 161 45 100 26 u",
                     "u 100 L0 L0", "180 Ann", "1 won 1 | 1: 19 1-22 | aside 4,13,14"},
        // Begun by loading a game file: it goes on from its F5 save, the 45 and 0 after it.
        TKilledMatch{"FromItsSave", "100 file 60 140 F5 45 0", "L0 L0 L0", "45 Player2",
                     "1 game loaded -, 2 won 1 | 1: 1 1-1, 2: 19 2-20 | aside -"},
        // A load of the save before the checkout cut the leg's winning visit: those that stayed.
        TKilledMatch{"AfterALoadCutALegsEnd", "180 0 180 0 141 slot 100", "L0 L0 L0", "180 Player1",
                     "1 won 1 | 1: 18 1-19 | aside 5"},
        // Sudden death at five legs all, Player2 named to begin, not the one proposed.
        TKilledMatch{"AtSuddenDeath", "p2 L0 L1 L0 L1 L0 L1 L0 L1 L0 L1 100", "L0", "180 Player2",
                     "1 won 1 | 1: 56 1-56 | aside -"}),
    [](const auto& info) { return std::string(info.param.name); });

// Whether File offers a match to resume, after a script with a kill in it.
TEST_F(ResumeTest, OfferedForTheNewestMatchInterruptedAfterItsLastSave) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"kill", false},                   // nothing played
        {"100 kill", true},                // no save
        {"F5 100 F5 kill", false},         // nothing after the newest save
        {"L0 L0 L0 kill", false},          // won
        {"100 new kill", false},           // abandoned
        {"100 exit kill", false},          // ended by closing
        {"100 kill 60", true},             // the run after the kill plays on
        {"100 kill 60 new", false},        // ... and ends its match
        {"file 100 gone kill", false},     // begun from a file that is gone
        {"file 100 F5 u 100 kill", false}, // ... whose save holds a visit taken back
    };
    for (const auto& [script, expected] : cases) {
        SCOPED_TRACE(script);
        Play("fresh " + script);
        EXPECT_EQ(resume->CanResume(), expected);
    }
}

// A history that does not play again as recorded changes nothing and is not offered again.
TEST_F(ResumeTest, HistoryThatDoesNotPlayAgainChangesNothing) {
    Play("100 60 kill");
    sqlite3* db = nullptr;
    sqlite3_open(HistoryPath().c_str(), &db);
    sqlite3_exec(db, "UPDATE visits SET remaining_before = 1 WHERE id = 2", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    const TGameImage board = EncodeGameRecord(CurrentGame());
    resume->Resume();
    EXPECT_EQ(EncodeGameRecord(CurrentGame()), board);
    EXPECT_THAT(ops.Only({"Information"}),
                ElementsAre("Information The interrupted match cannot be played again from the "
                            "match history."));
    EXPECT_EQ(offered, false);
}

} // namespace
} // namespace brennix::test
