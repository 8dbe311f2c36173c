// The board as JSON for the live board's pages and /state.json: the view the window has just
// drawn, with names and checkout texts turned from one byte per character into UTF-8.
#pragma once

#include "engine/board.h"

#include <nlohmann/json.hpp>
#include <string>

namespace brennix {

// The board's state: caption, special, player_to_throw and leg_starter (1-based), winner
// (a name or null) and players, one object per player in play.
nlohmann::json BoardJson(const TBoardView& view);

} // namespace brennix
