// The hold on the autosave countdown. The engine's own dialogs need it as much as the commands
// of the files do, so it lives here; storage/autosave.h counts the ticks and respects it.
#pragma once

namespace brennix {

// While a hold exists, countdown ticks do nothing. Commands hold the countdown while a dialog
// of theirs is open, so no autosave lands in a file that belongs to another game or stores a
// game that is only half updated.
inline int AutosaveHolds = 0;

struct TAutosaveHold {
    TAutosaveHold() { ++AutosaveHolds; }
    ~TAutosaveHold() { --AutosaveHolds; }
    TAutosaveHold(const TAutosaveHold&) = delete;
    TAutosaveHold& operator=(const TAutosaveHold&) = delete;
};

inline bool AutosaveHeld() {
    return AutosaveHolds > 0;
}

} // namespace brennix
