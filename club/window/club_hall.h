// The club's hall on this board's live board: every board of the club seen in the last ten
// minutes, as the club's database has them, published to /hall.json twice a second.
#pragma once

#include "club/club_sync.h"

#include <QByteArray>
#include <memory>
#include <vector>

class QObject;

namespace brennix {

class TLiveBoardModule;

// How long a board stays in the hall after it was last seen, and when it is shown as away (it
// writes its row at least every ten seconds while it runs).
inline constexpr double HallSeconds = 600, AwaySeconds = 30;

// The hall as JSON: {"club": the note of this board's copy, "boards": [{"board", "away", "seen"
// (local "HH:MM" when last seen), "sync" (its note), "state" (its live JSON, or null)}]}, the
// boards seen within HallSeconds in name order.
QByteArray HallJson(const std::vector<club::TClubBoard>& boards, const std::string& note,
                    std::chrono::system_clock::time_point now);

// Makes the sync read the club's boards and publishes the hall to the live board twice a second,
// as long as parent lives.
void ShowHall(const std::shared_ptr<club::TClubSync>& sync,
              const std::shared_ptr<TLiveBoardModule>& live, QObject* parent);

} // namespace brennix
