// The layout of the match history file: the SQL that makes each version of it from the one
// before, and the check that a file holds exactly the tables and indexes the program makes for
// its version, nothing else (no trigger, no view, no table or index of anyone else). A file
// that fails it is not the program's own: nothing in it is run or read. No Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;

namespace brennix {

// The layout of the file this program writes (PRAGMA user_version).
inline constexpr int HistorySchemaVersion = 5;

// The tables of the first layout (version 1), from which every later one is reached.
extern const char* const HistoryLayout1;

// An SQLite call that failed: its result code and SQLite's text.
struct ESqlError : std::runtime_error {
    ESqlError(int code, const std::string& text) : std::runtime_error(text), Code(code) {}
    int Code;
};

// The layout from which the file keeps each player's figures in each match.
inline constexpr int HistoryFiguresLayout = 5;

// The columns of the table player_figures (fifth layout): a player's figures in a match.
extern const char* const PlayerFiguresColumns;

// Makes the rows of player_figures anew from the visits and legs the file holds, as the
// statistics count them: of one match, or of every match. Raises ESqlError.
void MakePlayerFigures(sqlite3* db, std::optional<int64_t> match = std::nullopt);

// A program reads back what it told its history: the history's store, while it writes on a
// thread of its own, says here how to wait until everything told is written (an empty function
// when it stops), and the program's readers wait so before each read. No wait in a process
// without such a store.
void SetHistoryWritesWait(std::function<void()> wait);
void WaitForHistoryWrites();

// Runs SQL without rows. Raises ESqlError.
void ExecSql(sqlite3* db, const char* sql);

// Brings a file's layout from version `from` up to `to`, each version from the one before.
// carrySaves runs while the saves of the first layout still lie beside those of the second.
// Raises ESqlError.
void RaiseHistoryLayout(sqlite3* db, int64_t from, int64_t to,
                        const std::function<void()>& carrySaves = {});

// What a connection to a history never does, whatever the file holds: no SQL that could damage
// the file on purpose, no function with side effects called from the file's own schema.
void GuardHistory(sqlite3* db);

// Why the file's schema is not the one the program makes for that layout version: "holds
// objects Brennix never makes (trigger 'x')" or "lacks the index 'x' of its layout"; none when
// it is. Reads the schema only. Raises ESqlError.
std::optional<std::string> ForeignHistory(sqlite3* db, int64_t version);

} // namespace brennix
