// Starts the live board when the command line asks for it, and lets it watch the scoreboard.
#pragma once

#include "live_server.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace brennix {

class TForm1;

// Without a live switch: nothing, and nothing listens. With one: the server listening, the
// addresses to open written to `out`, and every redraw of the board pushed to the pages. When
// the port cannot be opened (or the switch is malformed) a "Warning" box over `window` names
// the address and the reason, and the program goes on without the live board.
std::unique_ptr<TLiveServer> StartLiveBoard(const std::vector<std::string>& arguments,
                                            TForm1& window, std::ostream& out,
                                            TLiveLimits limits = {});

} // namespace brennix
