// How long brennix-report takes for a folder of 1,000 game files: the files are a match the
// engine played, saved under 1,000 names into a temporary folder, then reported in each format.
#include "engine/operations.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "report/cli.h"
#include "storage/game_file.h"
#include "storage/settings_file.h"
#include "engine/silent_ops.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace brennix;
namespace fs = std::filesystem;

constexpr int FileCount = 1000;

// Four players in a 501 match, two legs and part of a third; then the record as saved.
TGameImage PlayedMatch() {
    TSilentOps ops;
    Ops = &ops;
    Settings = FirstRunSettings();
    Settings.PlayerCount = 4;
    Settings.MatchFormat = 5;
    Settings.PlayerNames = {"Anna", "Bert, \"the Arrow\"", "Cleo", "D\xE9sir\xE9"};
    ResetGame();
    const int scores[] = {60, 100, 45, 140, 26, 180, 81, 85, 41, 100, 60, 121};
    for (int visit = 0; visit < 120; ++visit) {
        const int32_t remaining = Players[ActivePlayer].Remaining;
        const int score = remaining <= 100 ? remaining : scores[visit % std::size(scores)];
        ops.Score = std::to_string(score);
        BookVisit(TKey::Enter);
    }
    const TGameImage image = EncodeGameRecord(CurrentGame());
    Ops = nullptr;
    return image;
}

// The folder of game files, made once and removed at exit.
struct TFolder {
    fs::path Path;
    TFolder() {
        std::string pattern = (fs::temp_directory_path() / "brennix-report-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        Path = pattern;
        const TGameImage image = PlayedMatch();
        for (int n = 0; n < FileCount; ++n) {
            std::ofstream out(Path / ("Game" + std::to_string(1000 + n) + ".bx3"),
                              std::ios::binary);
            out.write(reinterpret_cast<const char*>(image.data()), std::ssize(image));
        }
    }
    ~TFolder() {
        std::error_code ignored;
        fs::remove_all(Path, ignored);
    }
};

const TFolder& Folder() {
    static const TFolder folder;
    return folder;
}

// The whole run of the tool on the folder: listing, reading, decoding and formatting.
void BM_ReportFolder(benchmark::State& state, const char* format) {
    const std::string folder = Folder().Path.string();
    size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        if (report::RunReport({"--format", format, folder}, out, err) != 0) {
            state.SkipWithError("the report failed");
            break;
        }
        bytes = out.str().size();
    }
    state.counters["files"] = FileCount;
    state.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK_CAPTURE(BM_ReportFolder, csv, "csv")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReportFolder, text, "text")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReportFolder, json, "json")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReportFolder, html, "html")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
