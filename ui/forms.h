// The six windows of the program, created once at start-up and living until exit.
#pragma once

#include "engine/run_options.h"

namespace brennix {

class TForm1; // scoreboard, the main window
class TForm2; // Game Settings
class TForm3; // match result
class TForm4; // Info
class TForm5; // Start Leg
class TForm6; // Outshot Settings

extern TForm1* Form1;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;
extern TForm5* Form5;
extern TForm6* Form6;

// The application's title, window icon and fonts. Call once the application object exists.
void SetUpApplication();

// Creates the six windows in order (the dialogs belong to the scoreboard) and lets the engine
// reach the scoreboard. The run's options give the "/safe" switch.
void CreateForms(const TRunOptions& options = {});

// Destroys the windows again; the engine reaches no window afterwards.
void DestroyForms();

} // namespace brennix
