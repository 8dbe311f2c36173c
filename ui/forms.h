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

// Creates the scoreboard and the Start Leg dialog, which start-up shows at once, and lets the
// engine reach the scoreboard. The run's options give the "/safe" switch. The other dialogs
// belong to the scoreboard as well; each is made the first time the scoreboard opens it, so
// their pointers stay null until then.
void CreateForms(const TRunOptions& options = {});

// Destroys the windows again; the engine reaches no window afterwards.
void DestroyForms();

} // namespace brennix
