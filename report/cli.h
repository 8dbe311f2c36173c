// The command line of brennix-report: arguments, reading the files, writing the report.
#pragma once

#include "report.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace brennix::report {

// The *.bx3 files directly in a folder, in name order. Raises EBrennixError when the folder
// cannot be listed.
std::vector<std::string> GameFilesIn(const std::string& folder);

// Runs the tool with its arguments (the program name left out). The report goes to `out`, or
// with -o to that file, which is replaced only once the report is complete; every file that
// cannot be reported gets one line on `err` and the others are still reported. Returns the exit
// status: 0, 1 when a file could not be reported or the report not written, 2 for a wrong
// command line.
// The words that name where the players' statistics come from: a board's own history, or its
// club's database when the board is in one.
inline std::vector<std::string> HistorySource(const std::string& path) {
    return {"--history", path};
}
inline std::vector<std::string> ClubSource(const std::string& url) {
    return {"--club", url};
}

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace brennix::report
