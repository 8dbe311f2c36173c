#include "pg.h"

#include "engine/errors.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <libpq-fe.h>
#include <poll.h>

namespace brennix::club {

namespace {

std::string Reason(pg_conn* conn) {
    std::string text = conn ? PQerrorMessage(conn) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The server's error in a result, raised.
[[noreturn]] void Refused(pg_conn* conn, pg_result* result) {
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const char* message = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    throw EStatementError(Reason(conn), state ? state : "", message ? message : "");
}

int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void TResult::Clear(pg_result* result) {
    PQclear(result);
}
int TResult::Rows() const {
    return PQntuples(result_.get());
}
int TResult::Columns() const {
    return PQnfields(result_.get());
}
bool TResult::IsNull(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}
std::string TResult::Text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<size_t>(PQgetlength(result_.get(), row, column)));
}
int64_t TResult::Int(int row, int column) const {
    if (IsNull(row, column)) return 0;
    const std::string text = Text(row, column);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw EBrennixError("not a whole number: " + text);
    return value;
}

TConnection::TConnection(const std::string& url, int connectTimeoutSeconds) {
    const std::string timeout = std::to_string(connectTimeoutSeconds);
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {url.c_str(), timeout.c_str(), "brennix", nullptr};
    // expand_dbname: the URL's own settings, then ours where it has none.
    conn_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string reason = Reason(conn_);
        PQfinish(conn_);
        conn_ = nullptr;
        throw EBrennixError(reason);
    }
}

TConnection::TConnection(const std::string& url, TWaits waits) : waits_(waits) {
    const std::string timeout = std::to_string(waits.Seconds);
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {url.c_str(), timeout.c_str(), "brennix", nullptr};
    conn_ = PQconnectStartParams(keys, values, 1);
    try {
        if (!conn_ || PQstatus(conn_) == CONNECTION_BAD) throw EBrennixError(Reason(conn_));
        const int64_t deadline = NowMilliseconds() + waits.Seconds * int64_t{1000};
        // The socket may change from one address of the server to the next.
        for (PostgresPollingStatusType status = PGRES_POLLING_WRITING; status != PGRES_POLLING_OK;
             status = PQconnectPoll(conn_)) {
            if (status == PGRES_POLLING_FAILED) throw EBrennixError(Reason(conn_));
            Await(status == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline);
        }
        if (PQsetnonblocking(conn_, 1) != 0) throw EBrennixError(Reason(conn_));
        // The server's notices ("... does not exist, skipping") are nobody's business here.
        PQsetNoticeProcessor(
            conn_, [](void*, const char*) {}, nullptr);
        // The server ends a statement that waits on a lock, or runs, a little before this side
        // gives up on it: a backend never stays behind waiting once its connection is closed.
        const int64_t bound = std::max(int64_t{500}, waits.Seconds * int64_t{1000} - 1000);
        Bounded("SET statement_timeout = " + std::to_string(bound) +
                    "; SET lock_timeout = " + std::to_string(bound / 2) +
                    "; SET idle_in_transaction_session_timeout = " + std::to_string(bound),
                nullptr);
    } catch (...) {
        PQfinish(conn_);
        conn_ = nullptr;
        throw;
    }
}

void TConnection::Await(short events, int64_t deadline) {
    for (;;) {
        const int64_t left = deadline - NowMilliseconds();
        if (left <= 0) {
            broken_ = true;
            throw EBrennixError("the server did not answer within " +
                                std::to_string(waits_->Seconds) + " seconds");
        }
        pollfd fds[2] = {{PQsocket(conn_), events, 0}, {waits_->StopFd, POLLIN, 0}};
        const int ready = ::poll(fds, waits_->StopFd >= 0 ? 2 : 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            broken_ = true;
            throw EBrennixError("the connection cannot be watched");
        }
        if (ready > 0 && waits_->StopFd >= 0 && fds[1].revents != 0) {
            broken_ = true;
            throw EBrennixError("stopped");
        }
        if (ready > 0) return;
    }
}

TResult TConnection::Bounded(const std::string& sql, const std::vector<TParam>* params) {
    if (broken_) throw EBrennixError("the connection was lost");
    const int64_t deadline = NowMilliseconds() + waits_->Seconds * int64_t{1000};
    int sent = 0;
    if (params) {
        std::vector<const char*> values;
        for (const TParam& param : *params)
            values.push_back(param ? param->c_str() : nullptr);
        sent = PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0);
    } else {
        sent = PQsendQuery(conn_, sql.c_str());
    }
    if (!sent) throw EBrennixError(Reason(conn_));
    // Everything sent, reading what comes meanwhile so that neither side waits for the other.
    for (int left = PQflush(conn_); left != 0; left = PQflush(conn_)) {
        if (left < 0) throw EBrennixError(Reason(conn_));
        Await(POLLIN | POLLOUT, deadline);
        if (!PQconsumeInput(conn_)) throw EBrennixError(Reason(conn_));
    }
    while (PQisBusy(conn_)) {
        Await(POLLIN, deadline);
        if (!PQconsumeInput(conn_)) throw EBrennixError(Reason(conn_));
    }
    // The last result is the statement's; the first failure among several is the script's.
    std::optional<TResult> last, failed;
    while (pg_result* next = PQgetResult(conn_)) {
        TResult result(next);
        const ExecStatusType status = PQresultStatus(next);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && !failed)
            failed.emplace(std::move(result));
        else
            last.emplace(std::move(result));
        while (PQisBusy(conn_)) {
            Await(POLLIN, deadline);
            if (!PQconsumeInput(conn_)) throw EBrennixError(Reason(conn_));
        }
    }
    if (failed) Refused(conn_, failed->Handle());
    if (!last) throw EBrennixError(Reason(conn_));
    return std::move(*last);
}

TConnection::~TConnection() {
    PQfinish(conn_);
}

bool TConnection::Broken() const {
    return conn_ == nullptr || broken_ || PQstatus(conn_) != CONNECTION_OK;
}

TResult TConnection::Run(const std::string& sql, const std::vector<TParam>& params) {
    if (waits_) return Bounded(sql, &params);
    std::vector<const char*> values;
    for (const TParam& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    TResult result(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.Handle());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Refused(conn_, result.Handle());
    return result;
}

void TConnection::Script(const std::string& sql) {
    if (waits_) {
        Bounded(sql, nullptr);
        return;
    }
    TResult result(PQexec(conn_, sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.Handle());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Refused(conn_, result.Handle());
}

} // namespace brennix::club
