// Window operations that do nothing, for runs of the engine that only its own work matters to
// (a match played again from the history, benchmarks, the fuzz target). The score and darts fields
// and the special-set text behave like the window's: they read back what was written.
#pragma once

#include "engine/operations.h"

#include <string>

namespace brennix {

class TSilentOps : public TEngineOps {
  public:
    std::string Score;
    std::string Darts = "3";
    std::string Special;

    void ShowActivePlayerDisplay() override {}
    void ResetGameWindow() override {}
    void ResetGameBoard() override { Special.clear(); }
    void RefreshBoard() override {}
    std::string ScoreText() override { return Score; }
    std::string DartsText() override { return Darts; }
    void ClearScore() override { Score.clear(); }
    void FocusScore() override {}
    std::string SpecialSetText() override { return Special; }
    void SetSpecialSetText(const std::string& text) override { Special = text; }
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

} // namespace brennix
