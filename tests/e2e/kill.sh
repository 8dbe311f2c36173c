#!/usr/bin/env bash
# End-to-end test of "a kill loses at most the visit being booked": the real program in a private
# X server books visits, each seen booked on its live board's /state.json; then one more visit is
# typed in and the program is killed with SIGKILL as soon as its Enter has been sent, without
# waiting for anything. The history must hold every visit booked before that Enter, in order, and
# the last one at most once.
#
#   kill.sh PROGRAM
#
# PROGRAM is the built brennix executable, copied with the live board's module beside it into a
# temporary folder of its own. Needs Xvfb, xdotool, sqlite3, curl and timeout; every wait is
# bounded, every process started here is ended on exit.
set -u

if (($# != 1)); then
    echo "usage: $0 PROGRAM" >&2
    exit 2
fi
program=$1

tag=kill
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
# shellcheck source=xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

for tool in Xvfb xdotool sqlite3 curl timeout; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done
[[ -x $program ]] || abort "no program at '$program'"

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-kill.XXXXXX") || abort "mktemp failed"
app="$work/app"
mkdir -p "$app/save" "$app/sound" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$app/brennix" || abort "cannot copy the program"
cp "$(dirname "$program")/libbrennix-live.so" "$app/" || abort "cannot copy the live board"
export HOME="$work/home"
unset XAUTHORITY
xvfb_pid=""
app_pid=""

cleanup() {
    local status=$?
    stop_process "$app_pid"
    stop_process "$xvfb_pid"
    ((failures > 0)) && [[ -s $work/program.log ]] && sed 's/^/[kill]   | /' "$work/program.log"
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    ((status == 0)) && echo "[kill] PASSED" || echo "[kill] FAILED ($failures problem(s))"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

shown() { [[ -n $(xdotool search --onlyvisible --name "$1" 2>/dev/null) ]]; }
gone() { ! shown "$1"; }
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
press() { timeout 10 xdotool key --delay 40 "$@" || abort "xdotool key $* failed"; }
port() { sed -n 's|^  http://127\.0\.0\.1:\([0-9]*\)/.*$|\1|p' "$work/program.log" | head -n 1; }
# The players' remaining scores as the live board has them, "501 501" at the start.
remaining() {
    curl -s --max-time 2 "http://127.0.0.1:$(port)/state.json" |
        grep -o '"remaining":[0-9]*' | cut -d: -f2 | tr '\n' ' '
}
query() { sqlite3 -readonly "$app/history.sqlite" "$1" 2>&1; }

start_xvfb "$work" || abort "Xvfb did not start: $(cat "$work/xvfb.log")"
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$app/brennix" /live=127.0.0.1:0 \
    >>"$work/program.log" 2>&1 &
app_pid=$!
wait_for 30 shown "^Start Leg\$" || abort "the Start Leg dialog did not appear"
timeout 10 xdotool windowfocus --sync "$(window '^Start Leg$')"
press Return
wait_for 10 gone "^Start Leg\$" || abort "the Start Leg dialog did not close"
timeout 10 xdotool windowfocus --sync "$(window '^Brennix 3\.2  \[FINAL\]$')" ||
    abort "the scoreboard took no focus"
wait_for 10 test -n "$(port)" || abort "the live board did not start"

note "four visits, each seen booked on the live board"
booked=(180 60 100 45)
expected=("321 501 " "321 441 " "221 441 " "221 396 ")
for i in "${!booked[@]}"; do
    timeout 10 xdotool type --delay 40 "${booked[i]}" || abort "xdotool type failed"
    press Return
    wait_for 10 test "$(remaining)" == "${expected[i]}" ||
        abort "visit $((i + 1)) was not booked: the board shows $(remaining)"
done

note "a fifth visit, and SIGKILL as soon as its Enter is sent"
timeout 10 xdotool type --delay 40 140 || abort "xdotool type failed"
timeout 10 xdotool key Return || abort "xdotool key Return failed"
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=""

note "the history: every visit booked before that Enter, the last at most once"
found=$(query "SELECT * FROM pragma_integrity_check")
[[ $found == ok ]] || mismatch "the history after the kill: $found"
found=$(query "SELECT group_concat(score, ' ') FROM (SELECT score FROM visits ORDER BY id)")
note "the visits recorded: $found"
[[ $found == "180 60 100 45" || $found == "180 60 100 45 140" ]] ||
    mismatch "the visits: expected 180 60 100 45 and perhaps 140, found $found"
