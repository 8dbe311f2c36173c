#!/usr/bin/env bash
# End-to-end test of the club: two boards (two copies of the program, each with its own data
# folder) in a private X server join a club on a PostgreSQL server of the test's own, board A by
# its club.conf (named by the host name), board B by /club= and /board=B. Both play; the server
# is stopped in the middle of their matches (no window but the scoreboard appears on either
# board, each says so in its status bar) and both play on; the server comes back and both catch
# up by themselves; board B is killed with SIGKILL
# in the middle of a sync (held inside its transaction by a trigger), started again and plays on.
# Afterwards each board's rows in the club equal its history, each visit once. Board A also runs
# the live board: its hall, in a headless chromium, shows both boards and follows a visit on
# board B within 2 seconds.
#
#   club.sh PROGRAM CLUB_SERVER
#
# PROGRAM is the built brennix executable, copied into a folder per board; CLUB_SERVER the
# tests' club_server; the live board's module is taken from beside PROGRAM. Needs Xvfb, xdotool,
# sqlite3, psql, timeout, chromium, node and Debian's node-ws; every wait is bounded,
# every process started here is ended on exit, and the server with its folder removed.
set -u

if (($# != 2)); then
    echo "usage: $0 PROGRAM CLUB_SERVER" >&2
    exit 2
fi
program=$1
club_server=$2

tag=club
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
# shellcheck source=xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

for tool in Xvfb xdotool sqlite3 psql timeout chromium node; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done
[[ -x $program ]] || abort "no program at '$program'"
[[ -x $club_server ]] || abort "no club server at '$club_server'"

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-club.XXXXXX") || abort "mktemp failed"
for board in a b; do
    mkdir -p "$work/$board/save" "$work/$board/sound" "$work/runtime-$board"
    chmod 700 "$work/runtime-$board"
    cp "$program" "$work/$board/brennix" || abort "cannot copy the program"
done
cp "$(dirname "$program")/libbrennix-live.so" "$work/a/" || abort "cannot copy the live board"
mkdir -p "$work/home"
export HOME="$work/home"
unset XAUTHORITY
xvfb_pid=""
a_pid=""
b_pid=""
server_pid=""
hall_pid=""

cleanup() {
    local status=$? i
    stop_process "$hall_pid"
    stop_process "$a_pid"
    stop_process "$b_pid"
    if [[ -n $server_pid ]]; then
        # The end of its input stops and removes the server.
        exec {server_in}>&-
        for ((i = 0; i < 600; i++)); do
            kill -0 "$server_pid" 2>/dev/null || break
            sleep 0.1
        done
        stop_process "$server_pid"
    fi
    stop_process "$xvfb_pid"
    if ((failures > 0)); then
        for log in "$work"/*.log; do
            [[ -s $log ]] && sed "s/^/[club]   $(basename "$log"): /" "$log"
        done
    fi
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    ((status == 0)) && echo "[club] PASSED" || echo "[club] FAILED ($failures problem(s))"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "$work" || abort "Xvfb did not start: $(cat "$work/xvfb.log")"

# The server, talked to through two pipes (which nothing else started here may hold).
mkfifo "$work/server-in" "$work/server-out"
"$club_server" <"$work/server-in" >"$work/server-out" 2>"$work/server.log" &
server_pid=$!
exec {server_in}>"$work/server-in"
exec {server_out}<"$work/server-out"
read -r -t 120 url <&"$server_out" || abort "the club server did not start: $(cat "$work/server.log")"
server() { # stop|start|freeze|thaw
    local answer
    echo "$1" >&"$server_in"
    read -r -t 120 answer <&"$server_out" || abort "the server did not answer to $1"
    [[ $answer == ok ]] || abort "the server did not $1"
}
sql() { psql -X -q -At -F '|' -P null=- "$url" -c "$1" 2>&1; }

window() { xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n 1; }
shown() { [[ -n $(window "$1" "$2") ]]; }
gone() { ! shown "$1" "$2"; }
focus() { timeout 10 xdotool windowfocus --sync "$(window "$1" "$2")" || abort "no focus on $2"; }
press() { timeout 10 xdotool key --delay 40 "$@" || abort "xdotool key $* failed"; }
board_title="^Brennix 3\.2  \[FINAL\]\$"
visit() { # pid score
    focus "$1" "$board_title"
    timeout 10 xdotool type --delay 40 "$2" || abort "xdotool type $2 failed"
    press Return
}
# Answers a dialog with Return until it has gone (a key may come before the dialog takes it).
answer() { # pid title
    local i
    for ((i = 0; i < 5; i++)); do
        focus "$1" "$2"
        press Return
        wait_for 4 gone "$1" "$2" && return 0
    done
    abort "the dialog '$2' did not close"
}
visits() { sqlite3 -readonly "$work/$1/history.sqlite" "SELECT COUNT(*) FROM visits" 2>&1; }

# Starts a board, answers "Who may begin the leg?" with Ok; prints its process id.
start_board() { # folder arguments...
    local folder=$1 pid
    shift
    env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime-$folder" \
        LANG=C.UTF-8 DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$work/$folder/brennix" "$@" \
        >>"$work/$folder.log" 2>&1 {server_in}>&- {server_out}<&- &
    pid=$!
    wait_for 30 shown "$pid" "^Start Leg\$" || abort "board $folder: no Start Leg dialog"
    answer "$pid" "^Start Leg\$"
    wait_for 10 shown "$pid" "$board_title" || abort "board $folder: no scoreboard"
    echo "$pid"
}

# The board's rows, table by table, from its history and from the club, in one form.
local_rows() { # folder
    sqlite3 -readonly -separator '|' -nullvalue - "$work/$1/history.sqlite" \
        "SELECT 'm', id, revision, started_at, ended_at, game_type, game, match_format, format,
                starter, resumed, end_reason, winner FROM matches ORDER BY 2;
         SELECT 'p', match_id, player, name, sets, legs FROM match_players ORDER BY 2, 3;
         SELECT 'l', match_id, id, set_no, leg_no, starter, winner, winner_darts FROM legs
                ORDER BY 2, 3;
         SELECT 'v', match_id, id, leg_id, player, score, darts, remaining_before, won_leg, at
                FROM visits ORDER BY 2, 3;" 2>&1
}
club_rows() { # board
    local where="WHERE board = (SELECT board FROM brennix.boards WHERE name = '$1') ORDER BY 2"
    psql -X -q -At -F '|' -P null=- "$url" \
        -c "SELECT 'm', match_id, revision, started_at, ended_at, game_type, game, match_format,
                   format, starter, resumed::int, end_reason, winner FROM brennix.matches $where" \
        -c "SELECT 'p', match_id, player, name, sets, legs FROM brennix.match_players $where, 3" \
        -c "SELECT 'l', match_id, leg_id, set_no, leg_no, starter, winner, winner_darts
                FROM brennix.legs $where, 3" \
        -c "SELECT 'v', match_id, visit_id, leg_id, player, score, darts, remaining_before,
                   won_leg::int, at FROM brennix.visits $where, 3" 2>&1
}
in_step() { [[ $(club_rows "$2") == "$(local_rows "$1")" ]]; }
expect_in_step() { # folder board what
    wait_for 90 in_step "$1" "$2" && return
    mismatch "$3: the club's rows for board $2 differ from its history:
$(diff <(local_rows "$1") <(club_rows "$2"))"
}

host=$(hostname)
echo "$url" >"$work/a/club.conf"
chmod 600 "$work/a/club.conf" # it may hold the password: readable by its user alone

note "both boards join and play"
a_pid=$(start_board a /live=127.0.0.1:0)
b_pid=$(start_board b "/club=$url" /board=B)
for score in 180 60; do
    visit "$a_pid" "$score"
    visit "$b_pid" "$((score / 2))"
done
expect_in_step a "$host" "before the outage"
expect_in_step b B "before the outage"

note "board A's hall shows both boards and follows a visit on board B within 2 seconds"
live_port() { sed -n 's|^  http://127\.0\.0\.1:\([0-9]*\)/.*$|\1|p' "$work/a.log" | head -n 1; }
wait_for 10 test -n "$(live_port)" || abort "board A's live board did not start: $(cat "$work/a.log")"
mkfifo "$work/hall-in" "$work/hall-out"
NODE_PATH=/usr/share/nodejs node "$(dirname "${BASH_SOURCE[0]}")/../club/hall.js" \
    "http://127.0.0.1:$(live_port)/hall" "B,$host" 366 "$work" \
    <"$work/hall-in" >"$work/hall-out" 2>"$work/hall.log" {server_in}>&- {server_out}<&- &
hall_pid=$!
exec {hall_in}>"$work/hall-in"
exec {hall_out}<"$work/hall-out"
read -r -t 60 ready <&"$hall_out" && [[ $ready == ready ]] ||
    abort "the hall did not show both boards: $(cat "$work/hall.log")"
# Player1 of board B: 411 - 45. Typed first; the time runs from just before Return.
focus "$b_pid" "$board_title"
timeout 10 xdotool type --delay 40 45 || abort "xdotool type 45 failed"
echo go >&"$hall_in"
press Return
read -r -t 30 seen ms <&"$hall_out" || abort "the hall did not follow: $(cat "$work/hall.log")"
((ms < 2000)) || mismatch "the hall showed board B's visit after $ms ms"
note "  the hall showed it after $ms ms"
exec {hall_in}>&- {hall_out}<&-
wait "$hall_pid" 2>/dev/null
hall_pid=""

# The titles of a board's windows other than the scoreboard that are showing.
others() { # pid
    local id name
    for id in $(xdotool search --all --onlyvisible --pid "$1" --name '' 2>/dev/null); do
        name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
        [[ $name =~ $board_title ]] || printf '"%s" ' "$name"
    done
}
# For the seconds given, no board shows a window but its scoreboard.
only_scoreboards() { # seconds what
    local i pid
    for ((i = 0; i < $1 * 4; i++)); do
        for pid in "$a_pid" "$b_pid"; do
            [[ -z $(others "$pid") ]] || mismatch "$2: a board showed $(others "$pid")"
        done
        sleep 0.25
    done
}

note "the server stops in the middle of the matches: nothing opens, play goes on"
server stop
only_scoreboards 8 "the server stopped"
for score in 100 45 26; do
    visit "$a_pid" "$score"
    visit "$b_pid" "$score"
done
wait_for 10 test "$(visits a)" = 5 || mismatch "board A recorded $(visits a) visits, not 5"
wait_for 10 test "$(visits b)" = 6 || mismatch "board B recorded $(visits b) visits, not 6"

note "the server is back: both catch up by themselves"
server start
only_scoreboards 4 "the server started again"
expect_in_step a "$host" "after the outage"
expect_in_step b B "after the outage"
notes() { [[ $(sql "SELECT string_agg(name || ':' || sync_note, ',' ORDER BY name) FROM brennix.boards") == "B:,$host:" ]]; }
wait_for 10 notes || mismatch "the boards' rows: $(sql "SELECT name, sync_note FROM brennix.boards")"

note "board B is killed in the middle of a sync, started again and plays on"
sql "CREATE SEQUENCE held; CREATE FUNCTION hold() RETURNS trigger LANGUAGE plpgsql AS \$\$
     BEGIN IF nextval('held') = 1 THEN PERFORM pg_sleep(5); END IF; RETURN NEW; END \$\$;
     CREATE TRIGGER hold BEFORE INSERT ON brennix.visits FOR EACH ROW
         WHEN (NEW.board = '$(sql "SELECT board FROM brennix.boards WHERE name = 'B'")')
     EXECUTE FUNCTION hold()" >/dev/null
visit "$b_pid" 60
held() { [[ $(sql "SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") == 1 ]]; }
wait_for 30 held || abort "board B's sync was not held inside its transaction"
kill -KILL "$b_pid"
wait "$b_pid" 2>/dev/null
b_pid=""
sql "DROP TRIGGER hold ON brennix.visits" >/dev/null
b_pid=$(start_board b "/club=$url" /board=B)
visit "$b_pid" 140
visit "$a_pid" 81

note "each board's rows in the club equal its history, each visit once"
expect_in_step a "$host" "at the end"
expect_in_step b B "at the end"
[[ $(sql "SELECT count(*) = count(DISTINCT (board, match_id, visit_id)) AND count(*) = 14 FROM brennix.visits") == t ]] ||
    mismatch "the club's visits: $(sql "SELECT board, count(*) FROM brennix.visits GROUP BY 1")"
