// Arbitrary bytes as a settings file or a game file (a game file also reported in every format
// of brennix-report), then a redraw and a few visits and undos: nothing may read outside a
// record, overflow or crash.
#include "engine/board.h"
#include "engine/errors.h"
#include "engine/operations.h"
#include "engine/state.h"
#include "engine/visit.h"
#include "report/report.h"
#include "storage/game_file.h"
#include "storage/settings_file.h"
#include "engine/silent_ops.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

using namespace brennix;

// Window operations that do nothing but read what the real ones would read.
class TFuzzOps : public TSilentOps {
  public:
    void ShowActivePlayerDisplay() override { (void)Players.at(ActivePlayer); }
    void RefreshBoard() override { Redraw(); }
    void ShowResult() override { (void)Settings.PlayerNames.at(0); }

    // The board's view, as the scoreboard draws it on every redraw.
    static void Redraw() {
        const TBoardView view = BoardView();
        size_t sink = view.Caption.size() + view.Special.size() + view.Checkout.value_or("").size();
        for (const TPlayerView& player : view.Players) {
            sink += player.Name.size() + player.Figures.Checkout.value_or("").size();
            for (const std::string& text : player.Row)
                sink += text.size();
        }
        volatile size_t keep = sink;
        (void)keep;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFuzzOps ops;
    Ops = &ops;
    if (size == 0) return 0;
    const std::span<const uint8_t> bytes(data + 1, size - 1);

    Settings = TSettings{};
    Players = {};
    TieBreakSet = SetDecided = false;
    try {
        if (data[0] & 1) {
            const TGameFileRecord record = GameFromFile(bytes, "fuzz.bx3");
            const std::vector<report::TReportGame> games = {report::ReportGame(record, "fuzz.bx3")};
            for (const auto format : {report::TFormat::Text, report::TFormat::Json,
                                      report::TFormat::Csv, report::TFormat::Html})
                (void)report::FormatReport(format, games);
            ApplyGame(record);
        } else {
            Settings = SettingsFromFile(bytes, Settings);
            ResetGame();
        }
    } catch (const EBrennixError&) {
        return 0; // refused: nothing to play
    }
    ShowActivePlayer();
    TFuzzOps::Redraw();

    // Visits from the last bytes of the input (checkouts often), with undos in between.
    const size_t visits = std::min<size_t>(size, 64);
    for (size_t i = 0; i < visits; ++i) {
        const uint8_t b = data[size - 1 - i];
        ops.Score = std::to_string(b % 2 ? Players.at(ActivePlayer).Remaining : b);
        ops.Darts = std::to_string(static_cast<int8_t>(data[i]));
        try {
            if (b % 5 == 0)
                UndoVisit();
            else
                BookVisit(TKey::Enter);
        } catch (const EBrennixError&) {
        }
        TFuzzOps::Redraw();
    }
    return 0;
}
