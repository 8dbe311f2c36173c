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
// command line. Only brennix-report's main (and the benches and tests of the tool) call it: the
// program asks the statistics library (history_report.h) itself.
int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace brennix::report
