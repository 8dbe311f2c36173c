// The club's hall on this board's live board: every board of the club seen in the last ten
// minutes, as the club's database has them (this board as it is now), published to /hall.json
// twice a second.
#pragma once

#include "club/club_sync.h"
#include "live/board_json.h"

#include <QByteArray>
#include <memory>
#include <vector>

class QObject;

namespace brennix {

class TLiveBoardModule;

// How long a board stays in the hall after it was last seen, and when it is shown as away (it
// writes its row at least every ten seconds while it runs).
inline constexpr double HallSeconds = 600, AwaySeconds = 30;

// The hall as JSON: {"club": the note of this board's copy, "away_since": local "HH:MM" since
// when the server has not been reached (null while it is), "boards": [{"board", "away", "seen"
// (local "HH:MM" when last seen), "sync" (its note), "broken" (why its state is not shown, or
// null), "state" (its live JSON, or null)}]}, the boards seen within HallSeconds in name order.
// The boards' states are spliced in as the sync checked them. This board is always there as it
// is now, whatever the club last read: never away, with its own live JSON `own` ("" before any)
// and, while the server is away, no note. The club's note is the one for the public, without the
// server's reasons.
QByteArray HallJson(const std::vector<club::TClubBoard>& boards, const club::TSyncStatus& status,
                    const std::string& own, std::chrono::system_clock::time_point now);

// Makes the sync read the club's boards and publishes the hall to the live board twice a second,
// with this board as the feed last built it, as long as parent lives.
void ShowHall(const std::shared_ptr<club::TClubSync>& sync,
              const std::shared_ptr<TLiveBoardModule>& live, TBoardFeed& feed, QObject* parent);

} // namespace brennix
