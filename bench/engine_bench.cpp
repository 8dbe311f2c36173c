// How long the engine takes for the operator's most frequent actions, without any window.
#include "engine/operations.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "engine/silent_ops.h"

#include <benchmark/benchmark.h>

namespace {

using namespace brennix;

void NewMatch(TSilentOps& ops, int players) {
    Ops = &ops;
    Settings.PlayerCount = players;
    Settings.GameType = 12;   // 1501: long legs
    Settings.MatchFormat = 8; // Best of 11 Sets
    ResetGame();
}

// One visit booked (no leg end), then taken back, so the state stays in play.
void BM_BookAndUndoVisit(benchmark::State& state) {
    TSilentOps ops;
    NewMatch(ops, 8);
    for (auto _ : state) {
        ops.Score = "60"; // as typed; booking empties the field
        BookVisit(TKey::Enter);
        UndoVisit();
    }
}
BENCHMARK(BM_BookAndUndoVisit);

// Whole legs of 1501 between two players, leg and set ends included.
void BM_PlayLeg(benchmark::State& state) {
    TSilentOps ops;
    NewMatch(ops, 2);
    for (auto _ : state) {
        while (true) {
            const int32_t remaining = Players[ActivePlayer].Remaining;
            const int32_t score = remaining > 180 ? 180 : remaining;
            ops.Score = std::to_string(score);
            BookVisit(TKey::Enter);
            if (score == remaining) break;
        }
    }
}
BENCHMARK(BM_PlayLeg);

} // namespace

BENCHMARK_MAIN();
