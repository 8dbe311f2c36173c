#include "run_options.h"

namespace brennix {

TRunOptions ReadRunOptions(const std::vector<std::string>& arguments) {
    TRunOptions options;
    for (const std::string& argument : arguments) {
        if (argument == "/safe") options.Safe = true;
        if (argument == "/nohistory") options.NoHistory = true;
        if (argument == "/live") {
            options.Live = true;
            options.LiveAddress.reset();
        }
        if (argument.starts_with("/live=")) {
            options.Live = true;
            options.LiveAddress = argument.substr(6);
        }
        if (argument.starts_with("/club=")) options.Club = argument.substr(6);
        if (argument.starts_with("/board=")) options.Board = argument.substr(7);
    }
    return options;
}

} // namespace brennix
