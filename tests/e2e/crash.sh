#!/usr/bin/env bash
# End-to-end test of the match history across a kill: the real program in a private X server
# plays, saves with F5, plays on, and is killed with SIGKILL; a second start loads the save and
# plays the match to its end. The history must then hold one match, won by Player1, with every
# visit once: those after the save are set aside, those before it and after the load recorded.
#
#   crash.sh PROGRAM
#
# PROGRAM is the built brennix executable, copied into a temporary folder of its own and started
# there with a clean environment. Needs Xvfb, xdotool, sqlite3 and timeout; every wait is
# bounded, every process started here is ended on exit.
set -u

if (($# != 1)); then
    echo "usage: $0 PROGRAM" >&2
    exit 2
fi
program=$1

tag=crash
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
# shellcheck source=xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

for tool in Xvfb xdotool sqlite3 timeout; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done
[[ -x $program ]] || abort "no program at '$program'"

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-crash.XXXXXX") || abort "mktemp failed"
app="$work/app"
mkdir -p "$app/save" "$app/sound" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$app/brennix" || abort "cannot copy the program"
export HOME="$work/home"
unset XAUTHORITY
xvfb_pid=""
app_pid=""

cleanup() {
    local status=$?
    stop_process "$app_pid"
    stop_process "$xvfb_pid"
    ((failures > 0)) && [[ -s $work/program.log ]] && sed 's/^/[crash]   | /' "$work/program.log"
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    ((status == 0)) && echo "[crash] PASSED" || echo "[crash] FAILED ($failures problem(s))"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

board_id() { xdotool search --onlyvisible --name "^Brennix 3\.2  \[FINAL\]\$" 2>/dev/null | head -n 1; }
shown() { [[ -n $(xdotool search --onlyvisible --name "$1" 2>/dev/null) ]]; }
gone() { ! shown "$1"; }
press() { timeout 10 xdotool key --delay 40 "$@" || abort "xdotool key $* failed"; }
visit() {
    timeout 10 xdotool type --delay 40 "$1" || abort "xdotool type $1 failed"
    press Return
}
query() { sqlite3 -readonly "$app/history.sqlite" "$1" 2>&1; }
expect_query() { # sql expected what
    local found
    found=$(query "$1")
    [[ $found == "$2" ]] || mismatch "$3: expected $(echo "$2" | tr '\n' ' '), found $(echo "$found" | tr '\n' ' ')"
}
visits_recorded() { [[ $(query "SELECT COUNT(*) FROM visits") == "$1" ]]; }

# Starts the program and answers "Who may begin the leg?" with Ok: Player1 begins.
start_program() {
    env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
        DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$app/brennix" >>"$work/program.log" 2>&1 &
    app_pid=$!
    wait_for 30 shown "^Start Leg\$" || abort "the Start Leg dialog did not appear"
    timeout 10 xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Start Leg$' | head -n 1)"
    press Return
    wait_for 10 gone "^Start Leg\$" || abort "the Start Leg dialog did not close"
    wait_for 10 test -n "$(board_id)" || abort "the scoreboard did not appear"
    timeout 10 xdotool windowfocus --sync "$(board_id)" || abort "the scoreboard took no focus"
}

start_xvfb "$work" || abort "Xvfb did not start: $(cat "$work/xvfb.log")"

note "first run: four visits, F5, two more visits, then SIGKILL"
start_program
for score in 180 60 180 60; do visit "$score"; done
press F5
wait_for 10 test -s "$app/save/SaveA100.bx3" || abort "F5 wrote no slot"
visit 100
visit 60
wait_for 10 visits_recorded 6 || abort "the history did not record six visits: $(query "SELECT COUNT(*) FROM visits")"
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=""
expect_query "SELECT * FROM pragma_integrity_check" ok "the history after the kill"

note "second run: load the slot (F5's point), play the match to its end, leave"
start_program
press alt+f
press l
wait_for 10 shown "^Open" || abort "the Open dialog did not appear"
press Return
wait_for 10 gone "^Open" || abort "the Open dialog did not close"
timeout 10 xdotool windowfocus --sync "$(board_id)"
# Player1 checks out from 141 for the first leg; Player2 begins the second, Player1 the third.
for score in 141 60 180 60 180 60 141 180 60 180 60 141; do visit "$score"; done
wait_for 15 shown "^Game, Shot and the Match\$" || abort "the match was not won"
timeout 10 xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Game, Shot and the Match$' | head -n 1)"
press Return
wait_for 10 gone "^Game, Shot and the Match\$" || abort "the result dialog did not close"
timeout 10 xdotool windowfocus --sync "$(board_id)"
press alt+f
press x
exited() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_for 15 exited || abort "the program did not exit"
app_pid=""

note "the history: one match won by Player1, every visit once"
expect_query "SELECT id, resumed, end_reason, winner FROM matches" "1|0|won|1" "the matches"
expect_query "SELECT name, sets, legs FROM match_players" $'Player1|1|3\nPlayer2|0|0' "the score"
expect_query "SELECT set_no, leg_no, starter, winner, winner_darts FROM legs ORDER BY id" \
    $'1|1|1|1|9\n1|2|2|1|9\n1|3|1|1|9' "the legs"
expect_query "SELECT id, player, score, remaining_before, won_leg FROM visits ORDER BY id" \
    "1|1|180|501|0
2|2|60|501|0
3|1|180|321|0
4|2|60|441|0
7|1|141|141|1
8|2|60|501|0
9|1|180|501|0
10|2|60|441|0
11|1|180|321|0
12|2|60|381|0
13|1|141|141|1
14|1|180|501|0
15|2|60|501|0
16|1|180|321|0
17|2|60|441|0
18|1|141|141|1" "the visits"
expect_query "SELECT id, score FROM visits_aside" $'5|100\n6|60' "the visits the load set aside"
