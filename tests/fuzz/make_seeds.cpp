// Seeds for the fuzz test of the file readers: real settings and game files, written by the
// program's own code while it plays scripted matches in a temporary base folder. Each seed is
// the file's bytes behind one byte that tells the fuzz target what the file is (0 settings,
// 1 game). A file "seeds.txt" beside the seed folder lists them for libFuzzer's -seed_inputs.
//   fuzz_seeds FOLDER
#include "engine/flow.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "storage/autosave.h"
#include "storage/game_file.h"
#include "storage/paths.h"
#include "storage/settings_file.h"
#include "engine/silent_ops.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace brennix;
namespace fs = std::filesystem;

constexpr char SettingsFlag = 0;
constexpr char GameFlag = 1;

TSilentOps ops;
fs::path seeds;
std::vector<std::string> written;

void Emit(const std::string& name, char flag, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const fs::path seed = seeds / name;
    std::ofstream out(seed, std::ios::binary | std::ios::trunc);
    out.put(flag);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (bytes.empty() || !out) {
        std::cerr << "fuzz_seeds: could not make " << seed << "\n";
        std::exit(1);
    }
    written.push_back(seed.string());
}

// The game as it stands, saved the way F5 saves it, into a file of its own.
void KeepGame(const std::string& name) {
    GameFileName = BaseDir() + "save/" + name + ".bx3";
    SaveGameFile();
    Emit("game-" + name, GameFlag, GameFileName);
}

// The settings as they stand, written the way the program writes them at exit.
void KeepSettings(const std::string& name) {
    SaveSettings();
    Emit("settings-" + name, SettingsFlag, SettingsPath());
}

void Visit(int score, int darts = 3) {
    ops.Score = std::to_string(score);
    ops.Darts = std::to_string(darts);
    BookVisit(TKey::Enter);
}

// Plays on until player `winner` has checked out: the winner throws up to 180 a visit and
// finishes with two darts, everybody else scores 26.
void PlayLeg(int winner) {
    for (int guard = 0; guard < 200; ++guard) {
        const int32_t remaining = Players[ActivePlayer].Remaining;
        if (ActivePlayer != winner) {
            Visit(remaining > 26 + 2 ? 26 : 0);
            continue;
        }
        if (remaining <= 170) {
            Visit(remaining, 2);
            return;
        }
        Visit(remaining - 180 >= 2 ? 180 : 100);
    }
    std::cerr << "fuzz_seeds: a leg did not end\n";
    std::exit(1);
}

void PlayLegs(std::initializer_list<int> winners) {
    for (int winner : winners)
        PlayLeg(winner);
}

void MakeSeeds() {
    // A first run: two players, 501, Best of 1 Set.
    StartUp({}, 1024, 768);
    KeepSettings("first-run");
    KeepGame("fresh");
    for (int score : {100, 140, 180, 60, 26, 45, 81, 7})
        Visit(score);
    UndoVisit();
    Visit(85);
    KeepGame("mid-leg");
    PlayLegs({0, 1, 0, 1});
    KeepGame("tie-break"); // two legs all in the deciding set
    PlayLegs({0, 1, 0, 1, 0, 1});
    KeepGame("sudden-death"); // five legs all
    PlayLeg(0);               // the match is won and a fresh one begins
    Visit(57);
    KeepGame("after-match");

    // Eight named players, 1501 over Best of 11 Sets, sound on, a custom route.
    Settings.PlayerCount = MaxPlayers;
    Settings.GameType = GameTypeCount;
    Settings.MatchFormat = MatchFormatCount + 1;
    for (int n = 0; n < MaxPlayers; ++n)
        Settings.PlayerNames[n] = std::string(static_cast<size_t>(n) * 3 + 1, 'A' + n);
    Settings.Outshots[169] = "T20 T20 Bull - the big fish";
    Settings.Sound = true;
    Settings.AutoSave = false;
    Settings.KeepSaveFiles = 3;
    NewGame();
    for (int round = 0; round < 9; ++round)
        for (int p = 0; p < MaxPlayers; ++p)
            Visit((round * 37 + p * 11) % 181, 1 + (round + p) % 3);
    KeepGame("eight-players");
    PlayLeg(ActivePlayer);
    PlayLeg(ActivePlayer);
    KeepGame("eight-players-legs");
    KeepSettings("eight-players");

    // Three players, 301 single out, Best of 3 Sets, a set won.
    Settings.PlayerCount = 3;
    Settings.GameType = 5;
    Settings.MatchFormat = 4;
    Settings.DeleteAutoSaves = false;
    Settings.KeepSaveFiles = 0;
    NewGame();
    PlayLegs({2, 0, 2, 2});
    Visit(1, 1);
    KeepGame("single-out");
    KeepSettings("single-out");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seeds FOLDER\n";
        return 2;
    }
    seeds = argv[1];
    std::error_code error;
    fs::remove_all(seeds, error);
    fs::create_directories(seeds);

    // The program's files go to a temporary base folder, never the build tree or HOME.
    std::string base = (fs::temp_directory_path() / "brennix-seeds-XXXXXX").string();
    if (::mkdtemp(base.data()) == nullptr) {
        std::cerr << "fuzz_seeds: no temporary folder\n";
        return 1;
    }
    SetBaseDir(base);
    fs::create_directory(fs::path(base) / "save");
    Ops = &ops;
    try {
        MakeSeeds();
    } catch (const std::exception& e) {
        std::cerr << "fuzz_seeds: " << e.what() << "\n";
        fs::remove_all(base, error);
        return 1;
    }
    fs::remove_all(base, error);

    std::ofstream list(seeds.string() + ".txt", std::ios::trunc);
    for (size_t i = 0; i < written.size(); ++i)
        list << (i ? "," : "") << written[i];
    return list ? 0 : 1;
}
