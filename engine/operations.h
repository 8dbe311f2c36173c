// The operations through which the engine reaches the scoreboard window, the dialogs, the game
// files and the sounds. The window implements them; tests implement them with a recording fake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brennix {

enum class TMessageKind { Information, Warning };

class TEngineOps {
  public:
    virtual ~TEngineOps() = default;

    // Scoreboard display.
    virtual void ShowActivePlayerDisplay() = 0; // markers, score colours, leg-starter star
    virtual void ResetGameWindow() = 0;         // window size and position, version text
    virtual void ResetGameBoard() = 0; // big scores grey at StartScore, no star, no set text
    virtual void RefreshBoard() = 0;   // every field shows the state when it returns

    // Score field Edit33 and darts field Edit49.
    virtual std::string ScoreText() = 0;
    virtual std::string DartsText() = 0;
    virtual void ClearScore() = 0;
    virtual void FocusScore() = 0;

    // Special-set text Label36; reads back exactly what was written.
    virtual std::string SpecialSetText() = 0;
    virtual void SetSpecialSetText(const std::string& text) = 0;

    // Status bar file panel, autosave timer and its progress bar.
    virtual void ShowFilePath(const std::string& path) = 0;
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    virtual int ProgressPosition() = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressHint(const std::string& hint) = 0;

    // Modal dialogs.
    virtual void AskWhoBegins() = 0;     // Start Leg: sets ActivePlayer to the chosen player
    virtual bool ShowGameSettings() = 0; // writes Settings only on Ok; true when Ok was pressed
    virtual void ShowResult() = 0;       // result dialog; returns when it is closed
    // File dialogs preset with a file name and an initial folder; the chosen full path, or
    // nothing when the operator cancelled.
    virtual std::optional<std::string> RunOpenDialog(const std::string& fileName,
                                                     const std::string& folder) = 0;
    virtual std::optional<std::string> RunSaveDialog(const std::string& fileName,
                                                     const std::string& folder) = 0;
    virtual void ShowMessage(TMessageKind kind, const std::string& text) = 0;

    // Game files and sounds. Both raise their errors (EInOutError, EMediaError) to the caller.
    virtual void SaveGameFile() = 0;
    virtual void PlayScoreSound(int32_t score) = 0;
};

// The implementation in use; set once at start-up (and by each test).
extern TEngineOps* Ops;

} // namespace brennix
