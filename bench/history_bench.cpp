// A match history of 10,000 matches for timing brennix-report's statistics: the engine plays
// every match (two players of a club of twelve, 501 double out, one leg, one set or best of
// three sets) with pseudo-random visits that are the same on every run, and the history store
// records it as the program does. The file is made once in the build folder and kept (made anew
// when its layout is older than the program's); the run prints its path, its size per 1,000
// matches, and the commands to time.
//
//   history_bench [--matches N]
//
// N, a multiple of 10,000 (default 10,000): beyond 10,000 the played matches are copied, each copy
// a year later than the one before, into history-N.sqlite (a board of several seasons).
#include "engine/flow.h"
#include "engine/match_events.h"
#include "engine/silent_ops.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "history/history_store.h"
#include "history/statistics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sqlite3.h>

namespace {

using namespace brennix;
namespace fs = std::filesystem;

constexpr int MatchCount = 10000; // played
constexpr const char* Club[] = {"Anna", "Bert",  "Cleo", "D\xE9sir\xE9", "Emil", "Frida",
                                "Gus",  "Hanna", "Ivo",  "J\xF6rg",      "Kim",  "Lea"};

// The same numbers on every run (a 64-bit linear congruential generator).
struct TRandom {
    uint64_t State = 0x2545F4914F6CDD1DULL;
    uint32_t Below(uint32_t n) {
        State = State * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>((State >> 33) % n);
    }
};

// Whether the last match begun has been won.
struct TMatchEnd : TMatchObserver {
    bool Won = false;
    void MatchWon(const TMatchResult&) override { Won = true; }
};

// A visit of a player with `remaining` left: a finish now and then when one is on, otherwise a
// common score that leaves at least 2, or 0.
int32_t Visit(TRandom& random, int32_t remaining) {
    static constexpr int32_t scores[] = {26, 41, 45, 60, 81, 85, 100, 60, 45, 140, 121, 55, 180};
    if (IsCheckoutChance(remaining, TOutRule::Double) && random.Below(100) < 35) return remaining;
    const int32_t score = scores[random.Below(std::size(scores))];
    return remaining - score >= 2 ? score : 0;
}

void Make(const std::string& path) {
    TSilentOps ops;
    Ops = &ops;
    TRandom random;
    std::chrono::system_clock::time_point now{std::chrono::seconds(1767258000)}; // 2026-01-01
    MatchClock = [&] { return now; };
    THistoryStore store(path, [](const std::string& text) { std::cerr << text << "\n"; });
    TMatchEnd end;
    AddMatchObserver(store);
    AddMatchObserver(end);
    Settings = TSettings{};
    Settings.PlayerCount = 2;
    Settings.GameType = 2;
    for (int match = 0; match < MatchCount; ++match) {
        const uint32_t first = random.Below(std::size(Club));
        const uint32_t second = (first + 1 + random.Below(std::size(Club) - 1)) % std::size(Club);
        Settings.PlayerNames[0] = Club[first];
        Settings.PlayerNames[1] = Club[second];
        const uint32_t kind = random.Below(10);
        Settings.MatchFormat = kind < 2 ? 2 : kind < 9 ? 3 : 4;
        NewGame();
        end.Won = false;
        for (int guard = 0; !end.Won && guard < 2000; ++guard) {
            const int32_t score = Visit(random, Players[ActivePlayer].Remaining);
            ops.Score = std::to_string(score);
            BookVisit(TKey::Enter);
            now += std::chrono::seconds(20);
        }
        now += std::chrono::hours(3);
    }
    RemoveMatchObserver(end);
    Ops = nullptr;
}

// The layout version of the file at path; 0 when it cannot be read.
int64_t LayoutOf(const std::string& path) {
    sqlite3* db = nullptr;
    int64_t version = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, "PRAGMA user_version",
            [](void* out, int, char** values, char**) {
                *static_cast<int64_t*>(out) = values[0] ? std::atoll(values[0]) : 0;
                return 0;
            },
            &version, nullptr);
    sqlite3_close(db);
    return version;
}

// Copies the played matches `copies` times into the history at path, each copy a year later.
void Copy(const std::string& path, int copies) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    auto run = [&](const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::cerr << "history_bench: " << (error ? error : "?") << "\n";
            std::exit(1);
        }
    };
    run("BEGIN");
    for (int k = 1; k <= copies; ++k) {
        const std::string shift = std::to_string(k) + " * 100000000";
        const std::string later = "'+" + std::to_string(k) + " years'";
        run("INSERT INTO matches SELECT id + " + shift + ", datetime(started_at, " + later +
            "), datetime(ended_at, " + later +
            "), game_type, game, match_format, format, starter, resumed, end_reason, winner, "
            "revision + " +
            shift + " FROM matches WHERE id < 100000000");
        run("INSERT INTO match_players SELECT match_id + " + shift +
            ", player, name, sets, legs FROM match_players WHERE match_id < 100000000");
        run("INSERT INTO legs SELECT id + " + shift + ", match_id + " + shift +
            ", set_no, leg_no, starter, winner, winner_darts FROM legs WHERE match_id < "
            "100000000");
        run("INSERT INTO visits SELECT id + " + shift + " * 100, match_id + " + shift +
            ", leg_id + " + shift +
            ", player, score, darts, remaining_before, won_leg, "
            "datetime(at, " +
            later + ") FROM visits WHERE match_id < 100000000");
        run("INSERT INTO player_figures SELECT match_id + " + shift +
            ", player, legs, legs_won, best_leg, darts, points, first9_darts, first9_points, "
            "highest_checkout, checkout_chances, checkouts, count_180, count_140, count_100, "
            "count_60, count_40 FROM player_figures WHERE match_id < 100000000");
    }
    run("COMMIT");
    sqlite3_close(db);
}

} // namespace

int main(int argc, char* argv[]) {
    int matches = MatchCount;
    if (argc == 3 && std::strcmp(argv[1], "--matches") == 0) matches = std::atoi(argv[2]);
    if ((argc != 1 && argc != 3) || matches < MatchCount || matches % MatchCount != 0) {
        std::cerr << "usage: history_bench [--matches N], N a multiple of " << MatchCount << "\n";
        return 2;
    }
    const std::string played = BRENNIX_BENCH_DIR "/history-10000.sqlite";
    if (LayoutOf(played) != HistorySchemaVersion) {
        std::cerr << "Playing " << MatchCount << " matches into " << played << " ...\n";
        fs::remove(played + ".part");
        Make(played + ".part");
        fs::rename(played + ".part", played);
    }
    std::string path = played;
    if (matches > MatchCount) {
        path = BRENNIX_BENCH_DIR "/history-" + std::to_string(matches) + ".sqlite";
        if (LayoutOf(path) != HistorySchemaVersion) {
            std::cerr << "Copying them into " << path << " ...\n";
            fs::copy_file(played, path + ".part", fs::copy_options::overwrite_existing);
            Copy(path + ".part", matches / MatchCount - 1);
            fs::rename(path + ".part", path);
        }
    }
    const auto bytes = fs::file_size(path);
    std::printf("%s\n%ju bytes, %.1f KiB per 1,000 matches\n", path.c_str(),
                static_cast<uintmax_t>(bytes), bytes / 1024.0 / (matches / 1000.0));
    std::printf("time: brennix-report --players --history %s\n"
                "      brennix-report --player Anna --history %s\n",
                path.c_str(), path.c_str());
}
