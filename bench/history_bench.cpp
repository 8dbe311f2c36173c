// A match history of 10,000 matches for timing brennix-report's statistics: the engine plays
// every match (two players of a club of twelve, 501 double out, one leg, one set or best of
// three sets) with pseudo-random visits that are the same on every run, and the history store
// records it as the program does. The file is made once in the build folder and kept; the run
// prints its path, its size per 1,000 matches, and the commands to time.
#include "engine/flow.h"
#include "engine/match_events.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "history/history_store.h"
#include "history/statistics.h"
#include "engine/silent_ops.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {

using namespace brennix;
namespace fs = std::filesystem;

constexpr int MatchCount = 10000;
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

} // namespace

int main() {
    const std::string path = BRENNIX_BENCH_DIR "/history-10000.sqlite";
    if (!fs::exists(path)) {
        std::cerr << "Playing " << MatchCount << " matches into " << path << " ...\n";
        Make(path + ".part");
        fs::rename(path + ".part", path);
    }
    const auto bytes = fs::file_size(path);
    std::printf("%s\n%ju bytes, %.1f KiB per 1,000 matches\n", path.c_str(),
                static_cast<uintmax_t>(bytes), bytes / 1024.0 / (MatchCount / 1000.0));
    std::printf("time: brennix-report --players --history %s\n"
                "      brennix-report --player Anna --history %s\n",
                path.c_str(), path.c_str());
}
