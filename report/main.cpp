// brennix-report: Brennix game files as a text table, JSON, CSV or a printable HTML sheet.
#include "cli.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return brennix::report::RunReport({argv + 1, argv + argc}, std::cout, std::cerr);
}
