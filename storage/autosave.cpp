#include "autosave.h"

#include "engine/match_events.h"
#include "engine/operations.h"
#include "engine/state.h"
#include "file_io.h"
#include "game_file.h"
#include "paths.h"
#include "settings_file.h"

#include <filesystem>
#include <unistd.h>

namespace brennix {

std::string SlotPath(int n) {
    return BaseDir() + "save/SaveA" + std::to_string(n) + ".bx3";
}

bool IsSlotPath(const std::string& path) {
    for (int n = FirstSlot; n <= LastSlot; ++n)
        if (path == SlotPath(n)) return true;
    return false;
}

std::string LowestFreeSlot() {
    for (int n = FirstSlot; n < LastSlot; ++n)
        if (!FileExists(SlotPath(n))) return SlotPath(n);
    return SlotPath(LastSlot);
}

void Timer1Timer() {
    if (!Settings.AutoSave || AutosaveHeld()) return;
    const int position = Ops->ProgressPosition() + 1;
    Ops->SetProgressPosition(position);
    Ops->SetProgressHint("SaveFileTimer " + std::to_string(position) + "%");
    if (position > CountdownTicks) {
        Ops->SetProgressPosition(0);
        SaveGameFile();
    }
}

void ExitCleanup() {
    // Whatever match is still open ends here; a game file saved of it can take it up again.
    AnnounceMatchEvent([](TMatchObserver& observer) {
        observer.MatchAbandoned(TAbandonReason::Exit, MatchClock());
    });
    if (Settings.DeleteAutoSaves) {
        int kept = 0;
        for (int n = LastSlot; n >= FirstSlot; --n) {
            const std::string path = SlotPath(n);
            if (!FileExists(path)) continue;
            if (kept >= Settings.KeepSaveFiles) ::unlink(path.c_str()); // a failure is ignored
            ++kept;
        }
    }
    SaveSettings();
}

void RemoveStaleTemporaryFiles() {
    const std::filesystem::path slots = std::filesystem::path(SlotPath(FirstSlot)).parent_path();
    RemoveStaleTemporaries(
        slots.string(), [&](std::string_view name) { return IsSlotPath((slots / name).string()); });
    const std::filesystem::path settings = SettingsPath();
    RemoveStaleTemporaries(settings.parent_path().string(), [&](std::string_view name) {
        return name == settings.filename().string();
    });
}

} // namespace brennix
