#include "club_schema.h"

#include "engine/errors.h"
#include "pg.h"

namespace brennix::club {

// The first layout: the boards, and every board's matches, players, legs and visits as its own
// match history holds them (keyed by the board and the board's own numbers).
const char* const ClubLayout1 = R"(
CREATE TABLE brennix.club_schema (version integer NOT NULL);
INSERT INTO brennix.club_schema VALUES (0);
CREATE TABLE brennix.boards (
    board text PRIMARY KEY,
    seen_at timestamptz NOT NULL,
    state jsonb,
    sync_note text NOT NULL DEFAULT ''
);
CREATE TABLE brennix.matches (
    board text NOT NULL,
    match_id bigint NOT NULL,
    revision bigint NOT NULL,
    started_at timestamp NOT NULL,
    ended_at timestamp,
    game_type integer NOT NULL,
    game text NOT NULL,
    match_format integer NOT NULL,
    format text NOT NULL,
    starter integer,
    resumed boolean NOT NULL,
    end_reason text,
    winner integer,
    PRIMARY KEY (board, match_id)
);
CREATE INDEX matches_by_start ON brennix.matches (started_at);
CREATE TABLE brennix.match_players (
    board text NOT NULL,
    match_id bigint NOT NULL,
    player integer NOT NULL,
    name text NOT NULL,
    name_key text NOT NULL,
    sets integer,
    legs integer,
    PRIMARY KEY (board, match_id, player),
    FOREIGN KEY (board, match_id) REFERENCES brennix.matches ON DELETE CASCADE
);
CREATE INDEX match_players_by_key ON brennix.match_players (name_key);
CREATE TABLE brennix.legs (
    board text NOT NULL,
    match_id bigint NOT NULL,
    leg_id bigint NOT NULL,
    set_no integer NOT NULL,
    leg_no integer NOT NULL,
    starter integer NOT NULL,
    winner integer,
    winner_darts integer,
    PRIMARY KEY (board, match_id, leg_id),
    FOREIGN KEY (board, match_id) REFERENCES brennix.matches ON DELETE CASCADE
);
CREATE TABLE brennix.visits (
    board text NOT NULL,
    match_id bigint NOT NULL,
    visit_id bigint NOT NULL,
    leg_id bigint NOT NULL,
    player integer NOT NULL,
    score integer NOT NULL,
    darts integer NOT NULL,
    remaining_before integer NOT NULL,
    won_leg boolean NOT NULL,
    at timestamp NOT NULL,
    PRIMARY KEY (board, match_id, visit_id),
    FOREIGN KEY (board, match_id) REFERENCES brennix.matches ON DELETE CASCADE
);
-- The club's statistics read every visit of a match by player and leg in the order they were
-- thrown, with all they sum: in this order straight from the index, without a sort of the visits.
CREATE INDEX visits_by_player ON brennix.visits (board, match_id, player, leg_id, visit_id)
    INCLUDE (score, darts, remaining_before, won_leg);
)";

namespace {

// The second layout: a board is known by its history's identity, its name is a label. The
// column "board" of every table holds that identity; the name, the machine and the run of the
// program that last wrote the board's row are in its row. The boards of the first layout keep
// their matches under "named NAME" until a board of that name shows that they are its own.
constexpr const char* Layout2 = R"(
ALTER TABLE brennix.match_players DROP CONSTRAINT match_players_board_match_id_fkey;
ALTER TABLE brennix.legs DROP CONSTRAINT legs_board_match_id_fkey;
ALTER TABLE brennix.visits DROP CONSTRAINT visits_board_match_id_fkey;
UPDATE brennix.matches SET board = 'named ' || board;
UPDATE brennix.match_players SET board = 'named ' || board;
UPDATE brennix.legs SET board = 'named ' || board;
UPDATE brennix.visits SET board = 'named ' || board;
ALTER TABLE brennix.match_players ADD FOREIGN KEY (board, match_id) REFERENCES brennix.matches
    ON DELETE CASCADE ON UPDATE CASCADE;
ALTER TABLE brennix.legs ADD FOREIGN KEY (board, match_id) REFERENCES brennix.matches
    ON DELETE CASCADE ON UPDATE CASCADE;
ALTER TABLE brennix.visits ADD FOREIGN KEY (board, match_id) REFERENCES brennix.matches
    ON DELETE CASCADE ON UPDATE CASCADE;
ALTER TABLE brennix.boards ADD COLUMN name text, ADD COLUMN host text NOT NULL DEFAULT '',
    ADD COLUMN run text NOT NULL DEFAULT '';
UPDATE brennix.boards SET name = board, board = 'named ' || board;
ALTER TABLE brennix.boards ALTER COLUMN name SET NOT NULL;
CREATE INDEX boards_by_name ON brennix.boards (name);
)";

} // namespace

int ClubSchemaVersionOf(TConnection& db) {
    const TResult found = db.Run("SELECT to_regclass('brennix.club_schema') IS NOT NULL");
    if (found.Text(0, 0) != "t") return 0;
    const TResult version = db.Run("SELECT max(version) FROM brennix.club_schema");
    return static_cast<int>(version.Int(0, 0));
}

void EnsureClubSchema(TConnection& db) {
    InTransaction(db, [&] {
        // One board at a time makes or changes the layout; the others wait, then find it done.
        db.Script("SELECT pg_advisory_xact_lock(7352291)");
        const int version = ClubSchemaVersionOf(db);
        if (version > ClubSchemaVersion)
            throw EBrennixError("the club database has a newer layout (version " +
                                std::to_string(version) + "; this Brennix knows up to " +
                                std::to_string(ClubSchemaVersion) + ")");
        if (version == ClubSchemaVersion) return;
        // Each layout is reached from the one before it.
        if (version < 1) {
            db.Script("CREATE SCHEMA IF NOT EXISTS brennix");
            db.Script(ClubLayout1);
        }
        if (version < 2) db.Script(Layout2);
        db.Run("UPDATE brennix.club_schema SET version = $1", {std::to_string(ClubSchemaVersion)});
    });
}

} // namespace brennix::club
