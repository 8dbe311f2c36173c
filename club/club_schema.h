// The club's database: the layout every board of a club shares in PostgreSQL (schema "brennix"),
// made and brought up to date by the boards themselves. No Qt.
#pragma once

#include <string>

namespace brennix::club {

class TConnection;

// The layout this program writes (brennix.club_schema.version).
inline constexpr int ClubSchemaVersion = 2;

// The tables of the first layout (version 1), from which every later one is reached.
extern const char* const ClubLayout1;

// Creates the layout when the database has none and brings an older one up to date, in one
// transaction; a layout newer than this program's is refused with EBrennixError saying so.
void EnsureClubSchema(TConnection& db);

// The layout's version in the database: 0 when it has none.
int ClubSchemaVersionOf(TConnection& db);

} // namespace brennix::club
