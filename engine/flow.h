// The life of the program: start-up, a new game, a change of settings. Shut-down is
// ExitCleanup (storage/autosave.h).
#pragma once

#include "run_options.h"

namespace brennix {

// Everything that happens once when the main window is first shown: the temporary files of
// saves cut short removed, settings read, game reset, the "/safe" switch applied, a small screen
// warned about, who begins asked, the autosave timer started and the board drawn.
void StartUp(const TRunOptions& options, int screenWidth, int screenHeight);

// "&New Game": a fresh game with the same settings; asks who begins.
void NewGame();

// "&Game Settings": the settings dialog; when confirmed, a fresh game and who begins.
void ChangeSettings();

// The leg and set starters after the operator chose who begins.
void SetStarters();

} // namespace brennix
