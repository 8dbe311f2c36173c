// A thin hold on a PostgreSQL connection (libpq): parameters as text, results read by row and
// column, errors as EBrennixError with the server's own message. No Qt.
#pragma once

#include "engine/errors.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace brennix::club {

// A parameter: a text, or NULL.
using TParam = std::optional<std::string>;

// A statement the server answered with an error: its SQLSTATE ("22P02") and its primary message
// besides the full reason. Whether the connection still works is the connection's Broken().
class EStatementError : public EBrennixError {
  public:
    EStatementError(const std::string& reason, std::string state, std::string message)
        : EBrennixError(reason), state_(std::move(state)), message_(std::move(message)) {}
    const std::string& State() const { return state_; }
    const std::string& Message() const { return message_; }

  private:
    std::string state_, message_;
};

class TResult {
  public:
    explicit TResult(pg_result* result) : result_(result, &Clear) {}
    int Rows() const;
    int Columns() const;
    bool IsNull(int row, int column) const;
    std::string Text(int row, int column) const;
    int64_t Int(int row, int column) const; // 0 for NULL; raises EBrennixError for a non-number
    pg_result* Handle() const { return result_.get(); }

  private:
    static void Clear(pg_result* result);
    std::unique_ptr<pg_result, void (*)(pg_result*)> result_;
};

// What bounds every wait of a connection that must never hang (the club's sync): the connect and
// each statement end with an error after Seconds, and at once when StopFd becomes readable (its
// owner is stopping). The waits are the client's own, so a server that accepts but never answers
// is left behind too.
struct TWaits {
    int Seconds = 10;
    int StopFd = -1;
};

class TConnection {
  public:
    // Connects with a libpq connection string or postgresql:// URI; passwords come from
    // ~/.pgpass or PGPASSWORD as libpq finds them. connectTimeout bounds the wait (seconds).
    // Raises EBrennixError with libpq's reason when the server cannot be reached.
    explicit TConnection(const std::string& url, int connectTimeoutSeconds = 5);
    // The same with every wait bounded as `waits` says; a statement that runs out of time leaves
    // the connection broken.
    TConnection(const std::string& url, TWaits waits);
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Runs one statement (parameters $1, $2, ...); raises EBrennixError on any failure,
    // EStatementError when the server answered with an error.
    TResult Run(const std::string& sql, const std::vector<TParam>& params = {});
    // Runs several statements without parameters.
    void Script(const std::string& sql);
    bool Broken() const;
    pg_conn* Handle() { return conn_; }

  private:
    // Sends a statement and collects its results within the bounds of waits_.
    TResult Bounded(const std::string& sql, const std::vector<TParam>* params);
    // Waits until the socket is ready for `events` (poll's), the deadline or the stop.
    void Await(short events, int64_t deadline);

    pg_conn* conn_ = nullptr;
    std::optional<TWaits> waits_;
    bool broken_ = false;
};

// Runs body between begin (BEGIN, or a BEGIN with its own modes) and COMMIT, rolling back when
// it raises.
template <typename TBody>
void InTransaction(TConnection& db, TBody&& body, const char* begin = "BEGIN") {
    db.Script(begin);
    try {
        body();
        db.Script("COMMIT");
    } catch (...) {
        if (!db.Broken()) {
            try {
                db.Script("ROLLBACK");
            } catch (...) {
            }
        }
        throw;
    }
}

} // namespace brennix::club
