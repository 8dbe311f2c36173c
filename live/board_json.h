// The board as JSON for the live board's pages and /state.json: the view the window has just
// drawn, with names and checkout texts turned from one byte per character into UTF-8. The
// program serialises it once per redraw and hands the bytes to the live board's module.
#pragma once

#include "engine/board.h"

#include <QByteArray>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brennix {

// The board's state, compact UTF-8 JSON with its keys in alphabetical order: caption (the
// spectators' caption), special, player_to_throw and leg_starter (1-based), set and leg (being
// played), progress and target (where the match stands and what wins the set), winner (a name
// or null), result (the view's last leg result or null) and players, one object per player in
// play.
// With the match history kept, each player also has all_time_average: the player's average over
// every recorded match as allTime gives it for the name as the game keeps it, or null.
using TAllTimeAverage = std::function<std::optional<double>(const std::string& name)>;
QByteArray BoardJson(const TBoardView& view, const TAllTimeAverage& allTime = {});

// The board as the room sees it: after each redraw its JSON is built once and the same bytes go to
// every screen that shows it (the live board's pages, the club's hall).
class TBoardFeed {
  public:
    using TSink = std::function<void(const QByteArray& json)>;

    void AddSink(TSink sink);
    // Where each player's all-time average comes from (the standings), once there is one.
    void SetAllTimeAverage(TAllTimeAverage allTime);
    // The window's redraw: the view it has just drawn.
    void Redrawn(const TBoardView& view);
    // The last view once more, as the all-time averages changed.
    void Again();

  private:
    void Feed(const TBoardView& view);

    std::vector<TSink> sinks_;
    TAllTimeAverage allTime_;
    std::optional<TBoardView> view_;
};

// How many times BoardJson has built the board's JSON in this process (for tests).
int64_t BoardJsonBuilds();

} // namespace brennix
