// A PostgreSQL 15 server of the test's own: a fresh cluster in a temporary folder, listening on
// 127.0.0.1 at a free port and on a private socket folder, stopped and removed when the object
// goes. initdb refuses root, so when the tests run as root the cluster belongs to "nobody".
// Every wait is bounded. Stop() and Start() let a test take the server away and bring it back.
#pragma once

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace brennix::test {

class TTestPostgres {
  public:
    static constexpr const char* Bin = "/usr/lib/postgresql/15/bin/";

    TTestPostgres() {
        char folder[] = "/tmp/brennix-pg.XXXXXX";
        if (!::mkdtemp(folder)) throw std::runtime_error("no temporary folder");
        root_ = folder;
        port_ = FreePort();
        std::filesystem::permissions(root_, std::filesystem::perms::all);
        if (::geteuid() == 0) as_ = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
        Shell(As() + Bin + "initdb -D " + Data() + " -U brennix --auth=trust -E UTF8 " +
              "--locale=C.UTF-8 >" + root_ + "/initdb.log 2>&1");
        Start();
        // A process killed before its destructor ran (a test past its time) leaves no server:
        // a watcher of its own session stops it and removes the folder once this process is gone.
        const std::string pid = std::to_string(::getpid());
        Shell("setsid sh -c 'while kill -0 " + pid + " 2>/dev/null; do sleep 1; done; " +
              "kill -CONT $(head -n 1 " + Data() + "/postmaster.pid) 2>/dev/null; " + As() + Bin +
              "pg_ctl -D " + Data() + " -m immediate stop; rm -rf " + root_ +
              "' </dev/null >/dev/null 2>&1 &");
        Shell(As() + Bin + "psql -h " + Sockets() + " -p " + std::to_string(port_) +
              " -U brennix -d postgres -qc 'CREATE DATABASE club' >/dev/null");
    }
    ~TTestPostgres() {
        Freeze(false); // a frozen server would not stop
        Stop();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TTestPostgres(const TTestPostgres&) = delete;
    TTestPostgres& operator=(const TTestPostgres&) = delete;

    // The club database over TCP, as a board would name it.
    std::string Url(const std::string& database = "club") const {
        return "postgresql://brennix@127.0.0.1:" + std::to_string(port_) + "/" + database;
    }
    int Port() const { return port_; }

    void Start() {
        Shell(As() + Bin + "pg_ctl -D " + Data() + " -l " + root_ + "/server.log -w -t 30 " +
              "-o \"-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) + " -k " +
              Sockets() + " -c fsync=off\" start >/dev/null");
    }
    // Fast shutdown: the open connections are cut, as when the club's server goes away.
    void Stop() {
        std::system((As() + Bin + "pg_ctl -D " + Data() + " -m fast -w -t 30 stop >/dev/null 2>&1")
                        .c_str());
    }
    // Freezes and thaws the server and every process it started, the backends serving the
    // connections among them: connections stay open but nothing answers (a hung server).
    void Freeze(bool frozen) {
        const std::string signal = frozen ? "STOP" : "CONT";
        const std::string server = "$(head -n 1 " + Data() + "/postmaster.pid)";
        std::system(("test -f " + Data() + "/postmaster.pid && kill -" + signal + " " + server +
                     " && pkill -" + signal + " -P " + server)
                        .c_str());
    }

  private:
    std::string As() const { return as_; }
    std::string Data() const { return root_ + "/data"; }
    std::string Sockets() const { return root_; }

    static void Shell(const std::string& command) {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    }
    // A port nothing listens on now.
    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            ::close(fd);
            throw std::runtime_error("no free port");
        }
        ::close(fd);
        return ntohs(address.sin_port);
    }

    std::string root_, as_;
    int port_ = 0;
};

} // namespace brennix::test
