// A PostgreSQL 15 server for the end-to-end scripts: started in a temporary folder as the tests
// start one, its club database's URL printed on the first line; then it follows the lines of its
// input, "stop", "start", "freeze" and "thaw", answering "ok" to each, and at the end of the
// input it stops and removes the server.
#include "test_postgres.h"

#include <iostream>
#include <string>

int main() {
    brennix::test::TTestPostgres server;
    std::cout << server.Url() << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        if (line == "stop")
            server.Stop();
        else if (line == "start")
            server.Start();
        else if (line == "freeze" || line == "thaw")
            server.Freeze(line == "freeze");
        std::cout << "ok" << std::endl;
    }
    server.Freeze(false);
    return 0;
}
