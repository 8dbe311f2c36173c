#!/usr/bin/env bash
# Start-up time of the program beside a bare Qt window of the same size, in a private X server.
#
#   bench/startup.sh BRENNIX BARE_WINDOW [RUNS]
#
# BRENNIX is the built program (build/brennix), BARE_WINDOW the yardstick built beside the
# benchmarks (build/bench/bare_window). Each run starts a fresh copy of the program in a
# temporary folder of its own (a first run: no settings file) and measures, from the spawn of the
# process, until
#   - the scoreboard window "Brennix 3.2  [FINAL]" is mapped, and
#   - the "Start Leg" dialog is mapped, which start-up shows right after the board's first paint;
# and, for the bare window, until its window "Bare Window" is mapped. The windows are found by
# polling xdotool without pause; the cost of one poll (printed) bounds the resolution. The medians
# of the program are also printed as multiples of the bare window's.
# Needs Xvfb, xdotool and bash 5 (EPOCHREALTIME). Nothing outside a temporary folder is touched.
set -u

if (($# < 2)); then
    echo "usage: $0 BRENNIX BARE_WINDOW [RUNS]" >&2
    exit 2
fi
brennix=$1
bare=$2
runs=${3:-20}
for tool in Xvfb xdotool awk; do
    command -v "$tool" >/dev/null || {
        echo "startup.sh: $tool is missing" >&2
        exit 1
    }
done
[[ -x $brennix && -x $bare ]] || {
    echo "startup.sh: '$brennix' or '$bare' is not an executable" >&2
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-startup.XXXXXX") || exit 1
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home"
unset XAUTHORITY
xvfb_pid=""
child_pid=""

# shellcheck source=../tests/e2e/xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/xserver.sh"
cleanup() {
    stop_process "$child_pid"
    stop_process "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "$work" || {
    echo "startup.sh: Xvfb did not start" >&2
    exit 1
}

now_us() { echo $((${EPOCHREALTIME/./})); }

visible() { [[ -n $(xdotool search --onlyvisible --name "$1" 2>/dev/null) ]]; }

# Polls until a window with a title matching the pattern is mapped; prints the microseconds since
# the given start, or fails after 20 s.
wait_mapped() { # pattern start_us
    local deadline=$(($2 + 20000000))
    until visible "$1"; do
        (($(now_us) < deadline)) || return 1
    done
    echo $(($(now_us) - $2))
}

start() { # program folder
    env -i PATH=/usr/bin:/bin HOME="$HOME" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
        DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$1" >>"$work/programs.log" 2>&1 &
    child_pid=$!
}

run_brennix() { # run number; appends to the result files
    local folder="$work/run$1" t0 board dialog
    mkdir -p "$folder/save" "$folder/sound"
    cp "$brennix" "$folder/brennix"
    t0=$(now_us)
    start "$folder/brennix"
    board=$(wait_mapped '^Brennix 3\.2  \[FINAL\]$' "$t0") || board=""
    dialog=$(wait_mapped '^Start Leg$' "$t0") || dialog=""
    stop_process "$child_pid"
    child_pid=""
    rm -rf "$folder"
    [[ -n $board && -n $dialog ]] || {
        echo "startup.sh: run $1 of the program did not show its windows" >&2
        exit 1
    }
    echo "$board" >>"$work/board"
    echo "$dialog" >>"$work/dialog"
}

run_bare() {
    local t0 shown
    t0=$(now_us)
    start "$bare"
    shown=$(wait_mapped '^Bare Window$' "$t0") || shown=""
    stop_process "$child_pid"
    child_pid=""
    [[ -n $shown ]] || {
        echo "startup.sh: run $1 of the bare window did not show it" >&2
        exit 1
    }
    echo "$shown" >>"$work/bare"
}

# The cost of one poll that finds nothing.
for ((i = 0; i < 20; i++)); do
    t0=$(now_us)
    visible '^No such window$'
    echo $(($(now_us) - t0)) >>"$work/poll"
done

# One run of each to warm the caches, not counted.
run_brennix 0
run_bare 0
rm -f "$work/board" "$work/dialog" "$work/bare"
for ((run = 1; run <= runs; run++)); do
    run_brennix "$run"
    run_bare "$run"
done

summary() { # file label
    sort -n "$1" | awk -v label="$2" '{ v[NR] = $1 }
        END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              printf "%-46s %9.1f %9.1f %9.1f\n", label, m / 1000, v[1] / 1000, v[NR] / 1000 }'
}
echo "startup.sh: $runs runs each under Xvfb $DISPLAY (1280x1024x24), first-run program folder"
printf '%-46s %9s %9s %9s\n' "milliseconds from spawn" median min max
summary "$work/board" "brennix: scoreboard window mapped"
summary "$work/dialog" "brennix: \"Start Leg\" mapped (board repainted)"
summary "$work/bare" "bare window: window mapped"
summary "$work/poll" "(one xdotool poll, the resolution)"
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { # file label: median of the file against the bare window's median
    awk -v a="$(median "$1")" -v b="$(median "$work/bare")" -v label="$2" \
        'BEGIN { printf "ratio %-40s %9.2f x the bare window\n", label, a / b }'
}
ratio "$work/board" "scoreboard window mapped"
ratio "$work/dialog" "\"Start Leg\" mapped"
