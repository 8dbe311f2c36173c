// brennix-report --club on a club of 100,000 matches (about 6 million visits) on 10 boards, made
// with SQL in a PostgreSQL 15 server of the bench's own (a temporary folder, removed at the end):
// prints the time the rows took to make, their summary rows too, and the times of --players,
// --player and --matches, each run three times with the real executable. Not a test: run it by
// hand (build/bench/club_bench).
#include "../tests/club/test_postgres.h"

#include "club/club_schema.h"
#include "club/pg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// 10 boards of 10,000 matches each, 501 double out between two of 40 names (player 1 one of the
// odd ones, player 2 an even one), best of 3 legs with 20 visits each (10 a player, the leg's
// winner checks out with the last), scores from 0 to 180, most between 20 and 100.
constexpr const char* Generate = R"(
SET session_replication_role = replica;
INSERT INTO brennix.boards (board, name, seen_at, sync_note)
    SELECT 'Board ' || b, 'Board ' || b, now(), '' FROM generate_series(1, 10) b;
CREATE TEMPORARY TABLE bench AS
    SELECT b, m, timestamp '2025-01-01 18:00' + (m * 10 + b) * interval '7 minutes' AS ts,
           1 + abs(hashint4(m * 10 + b)) % 2 AS w
    FROM generate_series(1, 10) b, generate_series(1, 10000) m;
INSERT INTO brennix.matches
    SELECT 'Board ' || b, m, 1, ts, ts + interval '25 minutes', 2, '501 Double Out', 4,
           'Best of 3 Legs', 0, false, 'won', w FROM bench;
INSERT INTO brennix.match_players
    SELECT 'Board ' || b, m, p, name, lower(name), NULL, CASE WHEN p = w THEN 2 ELSE 1 END
    FROM bench, generate_series(1, 2) p,
         LATERAL (SELECT 'Name ' || lpad((abs(hashint4(m * 20 + b * 2 + p)) % 20 * 2 + p)::text,
                                         2, '0') AS name) n;
INSERT INTO brennix.legs
    SELECT 'Board ' || b, m, m * 3 + l, 1, l, 1 + (l + 1) % 2,
           CASE WHEN l = 2 THEN 3 - w ELSE w END, 27 + abs(hashint4(m * 3 + l)) % 10
    FROM bench, generate_series(1, 3) l;
INSERT INTO brennix.visits
    SELECT 'Board ' || b, m, (m * 3 + l) * 20 + k, m * 3 + l, 1 + k % 2,
           least(180, abs(hashint4(b * 7919 + m * 60 + l * 20 + k)) % 100 +
                      CASE WHEN k % 7 = 0 THEN 80 ELSE 0 END),
           3, greatest(2, 501 - (k / 2) * 55),
           k = 17 + CASE WHEN l = 2 THEN 3 - w ELSE w END, ts + k * interval '40 seconds'
    FROM bench, generate_series(1, 3) l, generate_series(0, 19) k;
SET session_replication_role = DEFAULT;
)";

} // namespace

int main() {
    brennix::test::TTestPostgres server;
    {
        brennix::club::TConnection db(server.Url());
        brennix::club::EnsureClubSchema(db);
        const Clock::time_point start = Clock::now();
        db.Script(Generate);
        const Clock::time_point summing = Clock::now();
        brennix::club::WriteFigures(db);
        const double summed = Since(summing);
        db.Script("VACUUM ANALYZE");
        const brennix::club::TResult counts =
            db.Run("SELECT (SELECT count(*) FROM brennix.matches), "
                   "(SELECT count(*) FROM brennix.visits)");
        std::printf("club: %s matches, %s visits on 10 boards, made in %.1f s (with VACUUM "
                    "ANALYZE), their summary rows in %.1f s of it\n",
                    counts.Text(0, 0).c_str(), counts.Text(0, 1).c_str(), Since(start), summed);
    }
    const std::string report = std::string(BRENNIX_REPORT) + " --club '" + server.Url() + "' ";
    for (const std::string& query : {std::string("--players"), std::string("--player 'Name 07'"),
                                     std::string("--matches -f csv")}) {
        std::vector<double> times;
        for (int run = 0; run < 3; ++run) {
            const Clock::time_point start = Clock::now();
            if (std::system((report + query + " >/dev/null").c_str()) != 0) {
                std::printf("%s failed\n", query.c_str());
                return 1;
            }
            times.push_back(Since(start));
        }
        std::sort(times.begin(), times.end());
        std::printf("brennix-report --club URL %-18s best %.2f s, median %.2f s, worst %.2f s\n",
                    query.c_str(), times[0], times[1], times[2]);
    }
    return 0;
}
