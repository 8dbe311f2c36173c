// The numbered autosave slots, the autosave countdown and the clean-ups at start-up and exit.
#pragma once

#include "engine/autosave_hold.h"

#include <string>

namespace brennix {

inline constexpr int FirstSlot = 100;
inline constexpr int LastSlot = 999;
inline constexpr int CountdownTicks = 100; // the save comes on the tick after the 100th

// BaseDir() + "save/SaveA" + n + ".bx3".
std::string SlotPath(int n);
bool IsSlotPath(const std::string& path);
// The first slot from 100 up that does not exist; slot 999 when all of them do.
std::string LowestFreeSlot();

// One tick of Timer1: advances the countdown with AutoSave on and saves when it passes 100;
// nothing while the countdown is held (engine/autosave_hold.h).
void Timer1Timer();

// At exit: tells the match observers the open match is abandoned, deletes the autosave files
// beyond the KeepSaveFiles highest-numbered ones (when DeleteAutoSaves is on), then writes the
// settings file.
void ExitCleanup();

// At start-up: removes the temporary files of saves cut short by a kill or a power loss, which
// would otherwise pile up. Only names the program makes itself are swept: an autosave slot's or
// the settings file's name with the six-character suffix of its all-or-nothing write, in the
// slot folder and in the settings file's folder. Nothing is reported.
void RemoveStaleTemporaryFiles();

} // namespace brennix
