// The club for a run of the program: the sync worker of club/club_sync.h fed by the scoreboard.
#pragma once

#include "club/club_sync.h"

#include <memory>
#include <string>
#include <vector>

namespace brennix {

class TForm1;

// Starts the club's sync when the board is in a club (see club::FindClub: "/club=URL" or
// club.conf, "/board=NAME", none with "/nohistory"); nullptr otherwise. Every redraw of the
// window hands the board's live JSON to the worker (never waiting for it); the worker's note is
// the tooltip of the status bar (its panels stay as they are); the first time the server cannot
// be reached a "Warning" box says why, over the window, once the event being handled is over.
// The worker must be gone (the pointer reset) before the window is.
std::shared_ptr<club::TClubSync> StartClub(const std::vector<std::string>& arguments,
                                           TForm1& window);

} // namespace brennix
