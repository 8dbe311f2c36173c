#!/usr/bin/env bash
# The live board's pages in a headless chromium against the real program in a private X server:
#
#   browser.sh PROGRAM MODULE ARTEFACT_FOLDER [SCRIPT]
#
# PROGRAM is copied into a temporary folder (with empty "save" and "sound" folders and the live
# board's MODULE beside it, where a build folder has it) and run there with a temporary home;
# SCRIPT (browser.js, the board, unless named; pad.js, the keypad) drives the program with
# xdotool and the page over chromium's remote debugging protocol. Screenshots go to
# ARTEFACT_FOLDER. Needs Xvfb, xdotool, ImageMagick's import, zbarimg, sqlite3, chromium, node
# and Debian's node-ws; every process started here is ended on exit.
set -u
if (($# < 3 || $# > 4)); then
    echo "usage: $0 PROGRAM MODULE ARTEFACT_FOLDER [SCRIPT]" >&2
    exit 2
fi
program=$1
module=$2
artefacts=$3
script=$(dirname "${BASH_SOURCE[0]}")/${4:-browser.js}
for tool in Xvfb xdotool import zbarimg sqlite3 chromium node; do
    command -v "$tool" >/dev/null || { echo "[live] the tool '$tool' is missing"; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-live.XXXXXX") || exit 1
mkdir -p "$work/app/save" "$work/app/sound" "$work/home" "$work/runtime" "$artefacts"
chmod 700 "$work/runtime"
cp "$program" "$work/app/brennix" || exit 1
cp "$module" "$work/app/" || exit 1
export HOME="$work/home"
unset XAUTHORITY

xvfb_pid=""
node_pid=""
# shellcheck source=../e2e/xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/xserver.sh"
cleanup() {
    local status=$?
    stop_process "$node_pid" # it ends the program and the browser it started
    stop_process "$xvfb_pid"
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "$work" || { echo "[live] Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} \
    node "$script" "$work/app/brennix" "$work" "$artefacts" &
node_pid=$!
wait "$node_pid"
status=$?
node_pid=""
exit "$status"
