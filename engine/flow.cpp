#include "flow.h"

#include "match_events.h"
#include "operations.h"
#include "state.h"
#include "storage/autosave.h"
#include "storage/settings_file.h"

namespace brennix {

namespace {

constexpr int MinScreenWidth = 1024;
constexpr int MinScreenHeight = 768;

// Asks who begins; no autosave meanwhile, so a fresh game never lands in the previous game's
// file before that name is forgotten.
void AskWhoBeginsHeld() {
    TAutosaveHold hold;
    Ops->AskWhoBegins();
}

void AnnounceMatchBegun() {
    AnnounceMatchEvent([info = CurrentMatchInfo()](TMatchObserver& observer) {
        observer.MatchBegun(info, MatchClock());
    });
}

void AnnounceAbandoned(TAbandonReason reason) {
    AnnounceMatchEvent(
        [reason](TMatchObserver& observer) { observer.MatchAbandoned(reason, MatchClock()); });
}

void ForgetGameFile() {
    GameFileName.clear();
    Ops->ShowFilePath(GameFileName);
}

// A fresh game with the settings as they stand: reset, who begins, no file of its own yet.
void FreshGame() {
    ResetGame();
    AskWhoBeginsHeld();
    ForgetGameFile();
    SetStarters();
    ShowActivePlayer();
    AnnounceMatchBegun();
}

} // namespace

void SetStarters() {
    NextSetStarter = Wrap(ActivePlayer);
    NextLegStarter = NextSetStarter;
    LegStarter = ActivePlayer;
}

void StartUp(const TRunOptions& options, int screenWidth, int screenHeight) {
    // Before anything is written: with one process and no save begun yet, every temporary file
    // of a save is a leftover of a session that was killed.
    RemoveStaleTemporaryFiles();
    LoadSettings();
    ResetGame();
    HighToday = 0;
    HighTodayName.clear();
    if (options.Safe) {
        Settings.Sound = false;
        Settings.AutoSave = false;
        Settings.DeleteAutoSaves = false;
        Settings.KeepSaveFiles = 0;
    }
    if (screenHeight < MinScreenHeight || screenWidth < MinScreenWidth) {
        Ops->ShowMessage(TMessageKind::Warning,
                         "Windows resolution rather low: " + std::to_string(screenWidth) + "x" +
                             std::to_string(screenHeight) + ".   Recomended: 1024x768");
    }
    Ops->AskWhoBegins();
    Ops->StartTimer();
    ForgetGameFile();
    LastGameFileName = GameFileName;
    SetStarters();
    ShowActivePlayer();
    AnnounceMatchBegun();
    Ops->RefreshBoard();
}

void NewGame() {
    AnnounceAbandoned(TAbandonReason::NewGame);
    FreshGame();
    Ops->RefreshBoard();
}

void ChangeSettings() {
    Ops->StopTimer();
    if (Ops->ShowGameSettings()) {
        AnnounceAbandoned(TAbandonReason::SettingsChanged);
        FreshGame();
    }
    Ops->RefreshBoard();
    Ops->StartTimer();
}

} // namespace brennix
