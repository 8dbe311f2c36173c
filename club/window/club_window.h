// The club for a run of the program: the sync worker of club/club_sync.h fed by the scoreboard.
#pragma once

#include "club/club_sync.h"
#include "live/board_json.h"

#include <memory>

class QLabel;

namespace brennix {

// Starts the club's sync for the board's place in its club (club::FindClub). Where the board's
// copy stands is shown in `note` (a note of the scoreboard's status bar) at all times: in short,
// red when something needs seeing to, the whole in its tooltip. Nothing the worker says opens a
// box or takes the focus. The worker must be gone (the pointer reset) before the note is.
std::shared_ptr<club::TClubSync> StartClub(const club::TClubPlace& place, QLabel& note);

// Shows a state of the copy in the note.
void ShowClubNote(QLabel& note, const club::TSyncStatus& status);

// Shows in the note, in red, why the board does not join its club for this run (a password
// where other users can read it), the whole reason in its tooltip.
void ShowClubRefusal(QLabel& note, const std::string& refusal);

// Hands the boards the feed builds to the worker, never waiting for it: the club's row of the
// board shows what its live board shows. A board drawn within 200 ms of the last one handed over
// waits for the rest of that time, and only the newest then goes.
void FeedClub(TBoardFeed& feed, const std::shared_ptr<club::TClubSync>& sync);

} // namespace brennix
