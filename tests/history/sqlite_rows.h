// What the history tests read back from an SQLite file: every row a query gives, its columns
// joined by "|", NULL as "-"; a query that cannot be prepared gives one row "error: REASON".
#pragma once

#include <sqlite3.h>
#include <string>
#include <vector>

namespace brennix::test {

inline std::vector<std::string> SqliteRows(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        rows.push_back(std::string("error: ") + sqlite3_errmsg(db));
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const auto* text = sqlite3_column_text(statement, c);
            row += (c ? "|" : "") +
                   (text ? std::string(reinterpret_cast<const char*>(text)) : std::string("-"));
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

} // namespace brennix::test
