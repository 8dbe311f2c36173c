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

// The third layout: a board writes only its own rows. The club keeps the digest of each board's
// identity as its key; a board proves it holds the identity by setting it for its session
// (brennix.secret), and row-level security lets a role that does not own the tables write only
// the rows of that key (and take over the rows of the first layout, which nobody can prove). The
// tables and these rules belong to the role that made them; boards logging in with another role
// can read everything and change nothing else.
constexpr const char* Layout3 = R"(
CREATE FUNCTION brennix.board_key(secret text) RETURNS text LANGUAGE sql STABLE STRICT
    RETURN encode(sha256(convert_to(secret, 'UTF8')), 'hex');
CREATE FUNCTION brennix.own_key() RETURNS text LANGUAGE sql STABLE
    RETURN brennix.board_key(current_setting('brennix.secret', true));
UPDATE brennix.matches SET board = brennix.board_key(board) WHERE board NOT LIKE 'named %';
UPDATE brennix.boards SET board = brennix.board_key(board) WHERE board NOT LIKE 'named %';
GRANT USAGE ON SCHEMA brennix TO PUBLIC;
GRANT SELECT ON ALL TABLES IN SCHEMA brennix TO PUBLIC;
GRANT INSERT, UPDATE, DELETE ON brennix.boards, brennix.matches, brennix.match_players,
    brennix.legs, brennix.visits TO PUBLIC;
)";

// The tables a board writes, each with its rules.
constexpr const char* OwnRows[] = {"boards", "matches", "match_players", "legs", "visits"};

// Every column a board reads or writes, with its type, as the layouts make them: a club whose
// tables differ was changed by hand, and is not trusted.
constexpr const char* Columns =
    "boards.board text,boards.host text,boards.name text,boards.run text,boards.seen_at "
    "timestamp with time zone,boards.state jsonb,boards.sync_note text,club_schema.version "
    "integer,legs.board text,legs.leg_id bigint,legs.leg_no integer,legs.match_id bigint,"
    "legs.set_no integer,legs.starter integer,legs.winner integer,legs.winner_darts integer,"
    "match_players.board text,match_players.legs integer,match_players.match_id bigint,"
    "match_players.name text,match_players.name_key text,match_players.player integer,"
    "match_players.sets integer,matches.board text,matches.end_reason text,matches.ended_at "
    "timestamp without time zone,matches.format text,matches.game text,matches.game_type "
    "integer,matches.match_format integer,matches.match_id bigint,matches.resumed boolean,"
    "matches.revision bigint,matches.started_at timestamp without time zone,matches.starter "
    "integer,matches.winner integer,visits.at timestamp without time zone,visits.board text,"
    "visits.darts integer,visits.leg_id bigint,visits.match_id bigint,visits.player integer,"
    "visits.remaining_before integer,visits.score integer,visits.visit_id bigint,visits.won_leg "
    "boolean";

} // namespace

int ClubSchemaVersionOf(TConnection& db) {
    const TResult found = db.Run("SELECT to_regclass('brennix.club_schema') IS NOT NULL");
    if (found.Text(0, 0) != "t") return 0;
    const TResult version = db.Run("SELECT max(version) FROM brennix.club_schema");
    return static_cast<int>(version.Int(0, 0));
}

namespace {

// Brings the layout from `version` to this program's.
void Migrate(TConnection& db, int version) {
    // Each layout is reached from the one before it.
    if (version < 1) {
        db.Script("CREATE SCHEMA IF NOT EXISTS brennix");
        db.Script(ClubLayout1);
    }
    if (version < 2) db.Script(Layout2);
    if (version < 3) {
        db.Script(Layout3);
        for (const char* table : OwnRows) {
            const std::string name = std::string("brennix.") + table;
            db.Script("ALTER TABLE " + name + " ENABLE ROW LEVEL SECURITY");
            db.Script("CREATE POLICY everyone_reads ON " + name + " FOR SELECT USING (true)");
            db.Script("CREATE POLICY own_rows ON " + name +
                      " USING (board = brennix.own_key() OR board LIKE 'named %') WITH CHECK "
                      "(board = brennix.own_key())");
        }
    }
    db.Run("UPDATE brennix.club_schema SET version = $1", {std::to_string(ClubSchemaVersion)});
}

} // namespace

void EnsureClubSchema(TConnection& db) {
    InTransaction(db, [&] {
        // One board at a time makes or changes the layout; the others wait, then find it done.
        db.Script("SELECT pg_advisory_xact_lock(7352291)");
        int version = -1;
        try {
            version = ClubSchemaVersionOf(db);
            if (version > ClubSchemaVersion)
                throw EBrennixError("the club database has a newer layout (version " +
                                    std::to_string(version) + "; this Brennix knows up to " +
                                    std::to_string(ClubSchemaVersion) + ")");
            if (version < ClubSchemaVersion) Migrate(db, version);
        } catch (const EStatementError& error) {
            if (error.State() != "42501") throw; // insufficient_privilege
            const std::string layout =
                version < 0 ? "the club database's layout cannot be read by this board's role"
                : version == 0
                    ? "the club database has no layout yet, and this board's role may "
                      "not change it"
                    : "the club database's layout is version " + std::to_string(version) +
                          ", and this board's role may not change it";
            throw EBrennixError(layout + ": the club's owner sets it up with brennix-report "
                                         "--club URL --set-up");
        }
    });
    CheckClubLayout(db);
}

int SetUpClub(const std::string& url) {
    // Re-keying a large club's rows takes minutes; the admin waits for it (a board gives up
    // after its usual bound and leaves the update to this).
    TConnection db(url, TWaits{3600});
    EnsureClubSchema(db);
    return ClubSchemaVersionOf(db);
}

void CheckClubLayout(TConnection& db) {
    const TResult found = db.Run(
        "SELECT string_agg(table_name || '.' || column_name || ' ' || data_type, ',' ORDER BY "
        "table_name, column_name) FROM information_schema.columns WHERE table_schema = 'brennix'");
    if (found.Text(0, 0) != Columns)
        throw EBrennixError("the club database's tables were changed by hand (their columns are "
                            "not those this Brennix makes): the board sends nothing to it");
}

} // namespace brennix::club
