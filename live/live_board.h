// Starts the live board when the command line asks for it, and lets it watch the scoreboard.
#pragma once

#include "live_module.h"

#include <QString>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace brennix {

class TForm1;

// Where the live board's module is looked for, in this order: beside the program (a build
// folder), then where an installation puts it (/usr/lib/x86_64-linux-gnu/brennix for
// /usr/bin/brennix, found from the program's folder).
std::vector<QString> LiveModulePlaces();

// Without a live switch: nothing, nothing is loaded and nothing listens. With one: the module
// loaded from the first of `places` that loads, the server listening, the addresses to open
// written to `out`, and every redraw of the board pushed to the pages. When the module cannot be
// loaded or the port cannot be opened (or the switch is malformed) a "Warning" box over `window`
// names the address and the reason, and the program goes on without the live board. With a
// source of players' statistics (report::HistorySource or ClubSource; empty: none) the board
// also serves the players' standings and shows each player's all-time average.
std::shared_ptr<TLiveBoardModule>
StartLiveBoard(const std::vector<std::string>& arguments, TForm1& window, std::ostream& out,
               TLiveLimits limits = {}, const std::vector<QString>& places = LiveModulePlaces(),
               const std::vector<std::string>& standingsSource = {});

} // namespace brennix
