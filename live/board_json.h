// The board as JSON for the live board's pages and /state.json: the view the window has just
// drawn, with names and checkout texts turned from one byte per character into UTF-8. The
// program serialises it once per redraw and hands the bytes to the live board's module.
#pragma once

#include "engine/board.h"

#include <QByteArray>

namespace brennix {

// The board's state, compact UTF-8 JSON with its keys in alphabetical order: caption, special,
// player_to_throw and leg_starter (1-based), winner (a name or null) and players, one object per
// player in play.
QByteArray BoardJson(const TBoardView& view);

} // namespace brennix
