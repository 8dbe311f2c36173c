#include "club_schema.h"

#include "engine/errors.h"
#include "engine/rules.h"
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

// The fourth layout: a summary row per player of each match with the player's figures in it, so
// that the statistics sum a row per player and match instead of every visit; the standings read
// nothing else: the row holds the match's start, the player's name key, and whether it is the
// name's first player in the match (the one that counts the match and its legs for the name).
// Written with the match's rows (WriteFigures), and by the update for the matches there are; gone
// with the player's row. The checks hold for any visits: a row that breaks one is not the sum of
// the match's rows.
constexpr const char* Layout4 = R"(
CREATE TABLE brennix.player_figures (
    board text NOT NULL,
    match_id bigint NOT NULL,
    player integer NOT NULL,
    name_key text NOT NULL,
    started_at timestamp NOT NULL,
    first_of_name boolean NOT NULL,
    matches integer NOT NULL CHECK (matches BETWEEN 0 AND 1),
    matches_won integer NOT NULL CHECK (matches_won BETWEEN 0 AND matches),
    legs integer NOT NULL CHECK (legs >= 0),
    legs_won integer NOT NULL CHECK (legs_won BETWEEN 0 AND legs),
    best_leg integer CHECK (best_leg IS NULL OR (best_leg > 0 AND legs_won > 0)),
    darts integer NOT NULL CHECK (darts >= 0),
    points integer NOT NULL CHECK (points >= 0),
    first9_darts integer NOT NULL CHECK (first9_darts BETWEEN 0 AND darts),
    first9_points integer NOT NULL CHECK (first9_points BETWEEN 0 AND points),
    highest_checkout integer CHECK (highest_checkout BETWEEN 0 AND least(180, points)),
    checkout_chances integer NOT NULL,
    checkouts integer NOT NULL CHECK (checkouts BETWEEN 0 AND checkout_chances),
    count_180 integer NOT NULL CHECK (count_180 >= 0),
    count_140 integer NOT NULL CHECK (count_140 >= 0),
    count_100 integer NOT NULL CHECK (count_100 >= 0),
    count_60 integer NOT NULL CHECK (count_60 >= 0),
    count_40 integer NOT NULL CHECK (count_40 >= 0),
    CHECK ((highest_checkout IS NULL) = (checkouts = 0)),
    CHECK (180::bigint * count_180 + 140::bigint * count_140 + 100::bigint * count_100 +
           60::bigint * count_60 + 40::bigint * count_40 <= points),
    PRIMARY KEY (board, match_id, player),
    FOREIGN KEY (board, match_id, player) REFERENCES brennix.match_players
        ON DELETE CASCADE ON UPDATE CASCADE
);
GRANT SELECT, INSERT, UPDATE, DELETE ON brennix.player_figures TO PUBLIC;
)";

// The matches $1 (a board, NULL for every board) and $2 (a match, NULL for every match) give.
constexpr const char* Chosen =
    "($1::text IS NULL OR board = $1::text) AND ($2::bigint IS NULL OR match_id = $2::bigint)";

// The summary rows of the matches chosen. $3 holds the game types played single out, $4 and $5
// the checkout chances of double and single out. A match counts when it was won. Only visits a
// match can have count: a score of 0-180 with at most three darts, of a player the match has;
// the first three of them of each player in each leg are the first nine. A match's legs are
// those with a winner, whoever it is.
std::string FiguresSql() {
    return R"(
WITH m AS (
    SELECT board, match_id, started_at, game_type = ANY($3::integer[]) AS single,
           coalesce(end_reason = 'won', false) AS finished, winner
    FROM brennix.matches WHERE )" +
           std::string(Chosen) + R"(),
p AS (
    SELECT p.board, p.match_id, p.player, p.name_key, m.started_at, m.single, m.finished,
           row_number() OVER (PARTITION BY p.board, p.match_id, p.name_key
                              ORDER BY p.player) = 1 AS first_of_name,
           coalesce(m.finished AND m.winner = p.player, false) AS won
    FROM brennix.match_players p JOIN m USING (board, match_id)),
v AS (
    SELECT v.board, v.match_id, v.player, v.score, v.darts, v.won_leg,
           v.won_leg OR coalesce((CASE WHEN p.single THEN $5::boolean[] ELSE $4::boolean[]
                                  END)[v.remaining_before], false) AS chance,
           row_number() OVER (PARTITION BY v.board, v.match_id, v.player, v.leg_id
                              ORDER BY v.visit_id) <= 3 AS first9
    FROM brennix.visits v JOIN p USING (board, match_id, player)
    WHERE v.score BETWEEN 0 AND 180 AND v.darts BETWEEN 0 AND 3),
vp AS (
    SELECT board, match_id, player, sum(darts) AS darts, sum(score) AS points,
           sum(darts) FILTER (WHERE first9) AS first9_darts,
           sum(score) FILTER (WHERE first9) AS first9_points,
           max(score) FILTER (WHERE won_leg) AS highest_checkout,
           count(*) FILTER (WHERE chance) AS checkout_chances,
           count(*) FILTER (WHERE won_leg) AS checkouts,
           count(*) FILTER (WHERE score = 180) AS count_180,
           count(*) FILTER (WHERE score BETWEEN 140 AND 179) AS count_140,
           count(*) FILTER (WHERE score BETWEEN 100 AND 139) AS count_100,
           count(*) FILTER (WHERE score BETWEEN 60 AND 99) AS count_60,
           count(*) FILTER (WHERE score BETWEEN 40 AND 59) AS count_40
    FROM v GROUP BY board, match_id, player),
lw AS (
    SELECT l.board, l.match_id, l.winner, count(*) AS won,
           min(l.winner_darts) FILTER (WHERE l.winner_darts > 0) AS best_leg
    FROM brennix.legs l JOIN m ON m.board = l.board AND m.match_id = l.match_id
    WHERE l.winner IS NOT NULL GROUP BY l.board, l.match_id, l.winner),
lm AS (SELECT board, match_id, sum(won) AS legs FROM lw GROUP BY board, match_id)
INSERT INTO brennix.player_figures
SELECT p.board, p.match_id, p.player, p.name_key, p.started_at, p.first_of_name,
       p.finished::integer, p.won::integer, coalesce(lm.legs, 0), coalesce(lw.won, 0),
       lw.best_leg, coalesce(vp.darts, 0), coalesce(vp.points, 0), coalesce(vp.first9_darts, 0),
       coalesce(vp.first9_points, 0), vp.highest_checkout, coalesce(vp.checkout_chances, 0),
       coalesce(vp.checkouts, 0), coalesce(vp.count_180, 0), coalesce(vp.count_140, 0),
       coalesce(vp.count_100, 0), coalesce(vp.count_60, 0), coalesce(vp.count_40, 0)
FROM p LEFT JOIN vp ON vp.board = p.board AND vp.match_id = p.match_id AND vp.player = p.player
LEFT JOIN lw ON lw.board = p.board AND lw.match_id = p.match_id AND lw.winner = p.player
LEFT JOIN lm ON lm.board = p.board AND lm.match_id = p.match_id)";
}

// The most one visit of three darts scores: no remaining score above it is a checkout chance.
constexpr int MostInOneVisit = 180;

// The remaining scores a visit can finish from under a rule, as an array indexed by the score
// ([0:180]={f,f,t,...}): the one definition, IsCheckoutChance, handed to the server.
std::string ChanceArray(TOutRule rule) {
    std::string array = "[0:" + std::to_string(MostInOneVisit) + "]={";
    for (int remaining = 0; remaining <= MostInOneVisit; ++remaining)
        array +=
            std::string(remaining ? "," : "") + (IsCheckoutChance(remaining, rule) ? "t" : "f");
    return array + "}";
}

// The tables of the third layout a board writes, each with its rules.
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
    "integer,matches.winner integer,player_figures.best_leg integer,player_figures.board text,"
    "player_figures.checkout_chances integer,player_figures.checkouts integer,"
    "player_figures.count_100 integer,player_figures.count_140 integer,player_figures.count_180 "
    "integer,player_figures.count_40 integer,player_figures.count_60 integer,"
    "player_figures.darts integer,player_figures.first9_darts integer,"
    "player_figures.first9_points integer,player_figures.first_of_name boolean,"
    "player_figures.highest_checkout integer,player_figures.legs integer,"
    "player_figures.legs_won integer,player_figures.match_id bigint,player_figures.matches "
    "integer,player_figures.matches_won integer,player_figures.name_key text,"
    "player_figures.player integer,player_figures.points integer,player_figures.started_at "
    "timestamp without time zone,visits.at timestamp without time zone,visits.board text,"
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

// Lets a role that does not own the table read every row and write only its board's.
void OwnRowsOnly(TConnection& db, const std::string& table) {
    const std::string name = "brennix." + table;
    db.Script("ALTER TABLE " + name + " ENABLE ROW LEVEL SECURITY");
    db.Script("CREATE POLICY everyone_reads ON " + name + " FOR SELECT USING (true)");
    db.Script("CREATE POLICY own_rows ON " + name +
              " USING (board = brennix.own_key() OR board LIKE 'named %') WITH CHECK "
              "(board = brennix.own_key())");
}

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
        for (const char* table : OwnRows)
            OwnRowsOnly(db, table);
    }
    if (version < 4) {
        db.Script(Layout4);
        OwnRowsOnly(db, "player_figures");
        WriteFigures(db);
        // Nothing reads every visit any more.
        db.Script("DROP INDEX IF EXISTS brennix.visits_by_player");
    }
    db.Run("UPDATE brennix.club_schema SET version = $1", {std::to_string(ClubSchemaVersion)});
}

} // namespace

void WriteFigures(TConnection& db, const std::optional<std::string>& board,
                  std::optional<int64_t> match) {
    const TParam id = match ? TParam(std::to_string(*match)) : std::nullopt;
    // The game types are few; the rule of each is the program's own.
    const TResult types = db.Run(
        std::string("SELECT DISTINCT game_type FROM brennix.matches WHERE ") + Chosen, {board, id});
    std::string singleOut = "{";
    for (int r = 0; r < types.Rows(); ++r)
        if (OutRuleOf(types.Int(r, 0)) == TOutRule::Single)
            singleOut += (singleOut.size() > 1 ? "," : "") + types.Text(r, 0);
    db.Run(FiguresSql(), {board, id, singleOut + "}", ChanceArray(TOutRule::Double),
                          ChanceArray(TOutRule::Single)});
}

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
