// The club for a run of the program: the sync worker of club/club_sync.h fed by the scoreboard.
#pragma once

#include "club/club_sync.h"
#include "live/board_json.h"

#include <memory>

class QWidget;

namespace brennix {

// Starts the club's sync for the board's place in its club (club::FindClub). The worker's note is
// the tooltip of `statusBar` (its panels stay as they are); the first time the server cannot be
// reached a "Warning" box says why, over `window`, once the event being handled is over. The
// worker must be gone (the pointer reset) before the window is.
std::shared_ptr<club::TClubSync> StartClub(const club::TClubPlace& place, QWidget& window,
                                           QWidget& statusBar);

// Hands every board the feed builds to the worker, never waiting for it: the club's row of the
// board shows what its live board shows.
void FeedClub(TBoardFeed& feed, const std::shared_ptr<club::TClubSync>& sync);

} // namespace brennix
