#include "pg.h"

#include "engine/errors.h"

#include <charconv>
#include <libpq-fe.h>

namespace brennix::club {

namespace {

std::string Reason(pg_conn* conn) {
    std::string text = conn ? PQerrorMessage(conn) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
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

TConnection::~TConnection() {
    PQfinish(conn_);
}

bool TConnection::Broken() const {
    return conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK;
}

TResult TConnection::Run(const std::string& sql, const std::vector<TParam>& params) {
    std::vector<const char*> values;
    for (const TParam& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    TResult result(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.Handle());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw EBrennixError(Reason(conn_));
    return result;
}

void TConnection::Script(const std::string& sql) {
    TResult result(PQexec(conn_, sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.Handle());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw EBrennixError(Reason(conn_));
}

} // namespace brennix::club
