// Starts the live board when the run asks for it, and feeds it the board.
#pragma once

#include "board_json.h"
#include "engine/run_options.h"
#include "live_module.h"
#include "report/history_report.h"

#include <QString>
#include <iosfwd>
#include <memory>
#include <optional>
#include <vector>

class QMenu;
class QObject;
class QWidget;

namespace brennix {

// Where the live board's module is looked for, in this order: beside the program (a build
// folder), then where an installation puts it (/usr/lib/x86_64-linux-gnu/brennix for
// /usr/bin/brennix, found from the program's folder).
std::vector<QString> LiveModulePlaces();

// Without the live switch in the run's options: nothing, nothing is loaded and nothing listens.
// With it: the module loaded from the first of `places` that loads, the server listening, the
// addresses to open written to `out`, and "Live Board..." added to the end of the `help` menu
// (naming the hall's page too when `hall`: the board is in a club).
// When the module cannot be loaded or the port cannot be opened (or the switch is malformed) a
// "Warning" box over `window` names the address and the reason, and the program goes on without
// the live board.
std::shared_ptr<TLiveBoardModule>
StartLiveBoard(const TRunOptions& options, QWidget& window, QMenu& help, std::ostream& out,
               TLiveLimits limits = {}, const std::vector<QString>& places = LiveModulePlaces(),
               bool hall = false);

// Hands every board the feed builds to the live board's pages. With a source of players'
// statistics the board also serves the players' standings and shows each player's all-time
// average; they live as long as parent.
void FeedLiveBoard(TBoardFeed& feed, const std::shared_ptr<TLiveBoardModule>& live,
                   const std::optional<report::TStatisticsSource>& standings, QObject* parent);

} // namespace brennix
