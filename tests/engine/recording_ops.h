// A stand-in for the window, dialogs, files and sounds: it records every operation the engine
// asks for, answers the dialogs as a test tells it, and raises errors on demand.
#pragma once

#include "engine/board.h"
#include "engine/errors.h"
#include "engine/operations.h"
#include "engine/state.h"

#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brennix::test {

class TRecordingOps : public TEngineOps {
  public:
    std::vector<std::string> Calls;

    // The window's fields as the engine sees them.
    std::string Score;
    std::string Darts = "3";
    std::string SpecialSet;
    std::string FilePath = "Not Saved";
    int Progress = 0;
    std::string Hint = "AutoSaveTimer";
    bool TimerRunning = false;
    std::vector<TBoardView> Drawn; // the board's view at every redraw, as an observer sees it

    // Answers and failures to give.
    std::deque<int32_t> WhoBegins;         // Start Leg answers; none left keeps the preselection
    bool SettingsOk = false;               // what the Game Settings dialog reports
    std::function<void()> OnResult;        // runs while the result dialog is "open"
    std::optional<int> SaveFails;          // SaveGameFile raises EInOutError with this code
    std::optional<std::string> SoundFails; // PlayScoreSound raises EMediaError with this text
    std::exception_ptr SoundRaises;        // PlayScoreSound raises this (any other failure)
    std::optional<std::string> OpenAnswer, SaveAnswer;
    std::function<void()> WhileModal; // runs inside every modal dialog and message box
    std::function<void()> OnSave;     // runs as the game is saved (writes the file, for instance)

    void ShowActivePlayerDisplay() override {
        Record("ShowActivePlayer " + std::to_string(ActivePlayer));
    }
    void ResetGameWindow() override { Record("ResetGameWindow"); }
    void ResetGameBoard() override {
        SpecialSet.clear();
        Record("ResetGameBoard");
    }
    void RefreshBoard() override {
        Darts = "3";
        Drawn.push_back(BoardView());
        Record("RefreshBoard");
    }
    std::string ScoreText() override { return Score; }
    std::string DartsText() override { return Darts; }
    void ClearScore() override {
        Score.clear();
        Record("ClearScore");
    }
    void FocusScore() override { Record("FocusScore"); }
    std::string SpecialSetText() override { return SpecialSet; }
    void SetSpecialSetText(const std::string& text) override {
        SpecialSet = text;
        Record("SpecialSet " + text);
    }
    void ShowFilePath(const std::string& path) override {
        FilePath = path;
        Record("ShowFilePath " + path);
    }
    void StartTimer() override {
        TimerRunning = true;
        Record("StartTimer");
    }
    void StopTimer() override {
        TimerRunning = false;
        Record("StopTimer");
    }
    int ProgressPosition() override { return Progress; }
    void SetProgressPosition(int position) override {
        Progress = position;
        Record("Progress " + std::to_string(position));
    }
    void SetProgressHint(const std::string& hint) override { Hint = hint; }
    void AskWhoBegins() override {
        Record("AskWhoBegins " + std::to_string(ActivePlayer));
        Modal();
        if (!WhoBegins.empty()) {
            ActivePlayer = WhoBegins.front();
            WhoBegins.pop_front();
        }
    }
    bool ShowGameSettings() override {
        Record("ShowGameSettings");
        Modal();
        return SettingsOk;
    }
    void ShowResult() override {
        Record("ShowResult");
        if (OnResult) OnResult();
    }
    std::optional<std::string> RunOpenDialog(const std::string& fileName,
                                             const std::string& folder) override {
        Record("OpenDialog " + fileName + " in " + folder);
        Modal();
        return OpenAnswer;
    }
    std::optional<std::string> RunSaveDialog(const std::string& fileName,
                                             const std::string& folder) override {
        Record("SaveDialog " + fileName + " in " + folder);
        Modal();
        return SaveAnswer;
    }
    void ShowMessage(TMessageKind kind, const std::string& text) override {
        Record(std::string(kind == TMessageKind::Warning ? "Warning " : "Information ") + text);
        Modal();
    }
    void SaveGameFile() override {
        Record("SaveGameFile");
        if (SaveFails) throw EInOutError(*SaveFails);
        if (OnSave) OnSave();
    }
    void PlayScoreSound(int32_t score) override {
        Record("PlayScoreSound " + std::to_string(score));
        if (SoundFails) throw EMediaError(*SoundFails);
        if (SoundRaises) std::rethrow_exception(SoundRaises);
    }

    // Calls recorded since the last Clear, filtered to those starting with one of the prefixes.
    std::vector<std::string> Only(std::initializer_list<std::string> prefixes) const {
        std::vector<std::string> found;
        for (const std::string& call : Calls)
            for (const std::string& prefix : prefixes)
                if (call.starts_with(prefix)) {
                    found.push_back(call);
                    break;
                }
        return found;
    }
    int Count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : Calls)
            n += c == call;
        return n;
    }
    void Clear() { Calls.clear(); }

  private:
    void Record(std::string call) { Calls.push_back(std::move(call)); }
    void Modal() {
        if (WhileModal) WhileModal();
    }
};

} // namespace brennix::test
