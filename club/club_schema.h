// The club's database: the layout every board of a club shares in PostgreSQL (schema "brennix"),
// made and brought up to date by the boards themselves. No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brennix::club {

class TConnection;

// The layout this program writes (brennix.club_schema.version).
inline constexpr int ClubSchemaVersion = 4;

// The tables of the first layout (version 1), from which every later one is reached.
extern const char* const ClubLayout1;

// Creates the layout when the database has none and brings an older one up to date, in one
// transaction, then checks it (CheckClubLayout); a layout newer than this program's is refused
// with EBrennixError saying so, and so is an older one the role may not change (the tables are
// another role's: their owner brings them up to date with brennix-report --club URL --set-up).
void EnsureClubSchema(TConnection& db);

// Raises EBrennixError unless the tables have exactly the columns and types the layout gives
// them (a club changed by hand, by a member or by mistake, is not written to).
void CheckClubLayout(TConnection& db);

// Connects to the club's database as its owner and makes or updates the layout there (the
// admin's one step; the boards' role then needs no right to change it). Returns the version;
// raises EBrennixError with the reason.
int SetUpClub(const std::string& url);

// The layout's version in the database: 0 when it has none.
int ClubSchemaVersionOf(TConnection& db);

// Works out the summary rows (brennix.player_figures) of a board's match, of all its matches
// without `match`, or of every match without `board`, from their players, legs and visits, in
// one statement. The matches have none yet: a player's summary row goes with the player's row,
// and a match's players are written anew with it.
void WriteFigures(TConnection& db, const std::optional<std::string>& board = std::nullopt,
                  std::optional<int64_t> match = std::nullopt);

} // namespace brennix::club
