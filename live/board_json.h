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

// The last leg's result as the live board keeps it on screen: who won the leg, whether it won
// the set or the match with it, and every player's sets and legs once it was won (the board
// itself has moved on by then: a won set starts the next at no legs, a won match the next
// match).
struct TLegResult {
    struct TScore {
        std::string Name; // as the game keeps it, one byte per character
        int32_t Sets = 0, Legs = 0;
    };
    std::string Won;    // "leg", "set" or "match"
    std::string Winner; // the name
    std::vector<TScore> Players;
};

// Follows the board from one redraw to the next and keeps the last leg's result until the next
// leg's first visit (a new game keeps it too, until its first visit). A leg was won between two
// redraws when one player's newest visit took what that player had left and that player has a
// leg more in the same set, or a set more with everybody at no legs; with the winner named it
// won the match.
class TLegResults {
  public:
    // The result to show with the view just drawn.
    const std::optional<TLegResult>& See(const TBoardView& view);

  private:
    std::optional<TBoardView> previous_;
    std::optional<TLegResult> result_;
};

// The board's state, compact UTF-8 JSON with its keys in alphabetical order: caption (the
// spectators' caption), special, player_to_throw and leg_starter (1-based), set and leg (being
// played), progress and target (where the match stands and what wins the set), winner (a name
// or null), result (the last leg's result or null) and players, one object per player in play.
// With the match history kept, each player also has all_time_average: the player's average over
// every recorded match as allTime gives it for the name as the game keeps it, or null.
using TAllTimeAverage = std::function<std::optional<double>(const std::string& name)>;
QByteArray BoardJson(const TBoardView& view, const std::optional<TLegResult>& result,
                     const TAllTimeAverage& allTime = {});

} // namespace brennix
