// The program's command line, read once at start into one plain record that is handed to whatever
// needs a part of it (the start-up, the history, the club, the live board). Unknown words are
// passed over; each switch is taken exactly as written (case and prefix matter).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brennix {

struct TRunOptions {
    bool Safe = false;      // "/safe": no sound, no autosave, no autosave files removed
    bool NoHistory = false; // "/nohistory": no match history, and so no club either
    // "/live" or "/live=ADDRESS" (the last one counts): the live board, on the address as written
    // ("8020", "127.0.0.1:8010", "[::1]:8010"); no address for the bare switch.
    bool Live = false;
    std::optional<std::string> LiveAddress;
    std::optional<std::string> Club;  // "/club=URL" as written; empty: no club for this run
    std::optional<std::string> Board; // "/board=NAME" as written
};

// The options of a command line (the program's name left out).
TRunOptions ReadRunOptions(const std::vector<std::string>& arguments);

} // namespace brennix
