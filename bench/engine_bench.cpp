// How long the engine takes for the operator's most frequent actions, without any window.
#include "engine/operations.h"
#include "engine/state.h"
#include "engine/visit.h"

#include <benchmark/benchmark.h>

namespace {

using namespace brennix;

// Answers every operation at once, so only the engine's own work is measured.
class TSilentOps : public TEngineOps {
  public:
    std::string Score = "60";
    void ShowActivePlayerDisplay() override {}
    void ResetGameWindow() override {}
    void ResetGameBoard() override {}
    void RefreshBoard() override {}
    std::string ScoreText() override { return Score; }
    std::string DartsText() override { return "3"; }
    void ClearScore() override {}
    void FocusScore() override {}
    std::string SpecialSetText() override { return {}; }
    void SetSpecialSetText(const std::string&) override {}
    void ShowFilePath(const std::string&) override {}
    void StartTimer() override {}
    void StopTimer() override {}
    int ProgressPosition() override { return 0; }
    void SetProgressPosition(int) override {}
    void SetProgressHint(const std::string&) override {}
    void AskWhoBegins() override {}
    bool ShowGameSettings() override { return false; }
    void ShowResult() override {}
    std::optional<std::string> RunOpenDialog(const std::string&, const std::string&) override {
        return {};
    }
    std::optional<std::string> RunSaveDialog(const std::string&, const std::string&) override {
        return {};
    }
    void ShowMessage(TMessageKind, const std::string&) override {}
    void SaveGameFile() override {}
    void PlayScoreSound(int32_t) override {}
};

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
