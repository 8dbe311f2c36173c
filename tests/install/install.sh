#!/usr/bin/env bash
# Install test: the build is installed into a temporary prefix, its menu entry and AppStream
# metadata are validated, and the installed program is run by an unprivileged user in a private X
# server: Start Leg answered, a visit booked, F5, closed through the menu. The save and the
# settings must land in that user's ~/.local/share/brennix, and nothing may be written under
# the prefix. Started once more with /live=127.0.0.1:0, it must load the installed live board's
# module and print the board's address.
#
#   install.sh BUILD_FOLDER APP_ID CALLER_VOICE(ON|OFF)
#
# Run as root, the program runs under a throwaway user id (setpriv) with its own home; run as
# anyone else, it runs as that user with the prefix made read-only. Needs cmake, Xvfb, xdotool,
# desktop-file-validate, appstreamcli, setpriv and file. Every wait is bounded, every process
# started here is ended on exit.
set -u

if (($# != 3)); then
    echo "usage: $0 BUILD_FOLDER APP_ID CALLER_VOICE" >&2
    exit 2
fi
build=$1
app_id=$2
caller_voice=$3

tag=install
# shellcheck source=../e2e/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/checks.sh"
step() { printf '\n[install] %s\n' "$*"; }

for tool in cmake Xvfb xdotool desktop-file-validate appstreamcli setpriv file od stat timeout; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-install.XXXXXX") || abort "mktemp failed"
chmod 755 "$work"
prefix="$work/prefix"
home="$work/home"
runtime="$work/runtime"
xvfb_pid=""
app_pid=""

# shellcheck source=../e2e/xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/xserver.sh"

cleanup() {
    local status=$?
    stop_process "$app_pid"
    stop_process "$xvfb_pid"
    if ((failures > 0 || status != 0)) && [[ -s $work/program.log ]]; then
        echo "[install] The program's output:"
        sed 's/^/[install]   | /' "$work/program.log"
    fi
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    if ((status == 0)); then echo "[install] PASSED"; else echo "[install] FAILED ($failures problem(s))"; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- Installation -------------------------------------------------------------------------------

step "cmake --install into $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    abort "cmake --install failed: $(cat "$work/install.log")"

expect_file() { # path
    [[ -f $prefix/$1 ]] && note "$1" || mismatch "not installed: $1"
}
expect_file bin/brennix
[[ -x $prefix/bin/brennix ]] || mismatch "bin/brennix is not executable"
expect_file "share/applications/$app_id.desktop"
expect_file "share/metainfo/$app_id.metainfo.xml"
expect_file share/man/man6/brennix.6.gz
expect_file "share/icons/hicolor/scalable/apps/$app_id.svg"
for size in 16 22 24 32 48 64 128 256; do
    icon="share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    expect_file "$icon"
    [[ $(file -b "$prefix/$icon") == "PNG image data, $size x $size,"* ]] ||
        mismatch "$icon is not a $size x $size PNG: $(file -b "$prefix/$icon")"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ||
    mismatch "the scalable icon is not an SVG file"
[[ $(gzip -dc "$prefix/share/man/man6/brennix.6.gz" | head -n 1) == '.TH BRENNIX 6 '* ]] ||
    mismatch "the manual page does not start with its .TH line"
sounds=$(find "$prefix/share/brennix/sound" -name 'Score*.wav' 2>/dev/null | wc -l)
if [[ $caller_voice == ON ]]; then
    ((sounds == 181)) && note "181 score sounds in share/brennix/sound" ||
        mismatch "expected 181 score sounds in share/brennix/sound, found $sounds"
    for score in 0 60 180; do
        info=$(file -b "$prefix/share/brennix/sound/Score$score.wav")
        [[ $info == *"WAVE audio"*"16 bit, mono 16000 Hz"* ]] ||
            mismatch "Score$score.wav is not a mono 16 kHz 16-bit wave file: $info"
    done
else
    ((sounds == 0)) || mismatch "no caller voice was built, yet $sounds sounds are installed"
fi

step "validate the menu entry and the AppStream metadata"
desktop-file-validate "$prefix/share/applications/$app_id.desktop" >"$work/validate.log" 2>&1 &&
    note "desktop-file-validate: no complaints" ||
    mismatch "desktop-file-validate: $(cat "$work/validate.log")"
grep -qx "Icon=$app_id" "$prefix/share/applications/$app_id.desktop" ||
    mismatch "the menu entry does not name the installed icon $app_id"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/validate.log" 2>&1 &&
    note "appstreamcli validate: $(tail -n 1 "$work/validate.log")" ||
    mismatch "appstreamcli validate: $(cat "$work/validate.log")"
grep -q "<release version=\"[0-9.]*\"" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
    mismatch "the metadata names no release"

# ---- The user -----------------------------------------------------------------------------------

mkdir -p "$home" "$runtime"
chmod -R a+rX "$prefix"
if (($(id -u) == 0)); then
    uid=61234
    while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null; do uid=$((uid + 1)); done
    chown "$uid:$uid" "$home" "$runtime"
    as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups)
    note "the program runs as the throwaway user id $uid"
else
    chmod -R a-w "$prefix"
    as_user=()
    note "the program runs as $(id -un), with the prefix made read-only"
fi
chmod 700 "$runtime"
(cd "$prefix" && find . -printf '%p %s %m %T@\n' | sort) >"$work/prefix-before"

# ---- The run ------------------------------------------------------------------------------------

window_id() { # title (no regular expression characters but "[", "]" and ".")
    local pattern=${1//./\\.}
    pattern=${pattern//\[/\\[}
    pattern=${pattern//\]/\\]}
    xdotool search --onlyvisible --name "^${pattern}\$" 2>/dev/null | head -n 1
}
window_shown() { [[ -n $(window_id "$1") ]]; }
window_gone() { [[ -z $(window_id "$1") ]]; }
focus_window() { # title
    local id
    wait_for 30 window_shown "$1" || abort "the window \"$1\" did not appear within 30 s"
    id=$(window_id "$1")
    timeout 10 xdotool windowfocus --sync "$id" || abort "the window \"$1\" did not take the focus"
}
press() { timeout 10 xdotool key --delay 40 "$@" || abort "xdotool key $* failed"; }

step "start the installed program in a private X server"
start_xvfb "$work" || abort "Xvfb did not start: $(cat "$work/xvfb.log")"
env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "${as_user[@]}" "$prefix/bin/brennix" \
    >"$work/program.log" 2>&1 &
app_pid=$!

step "answer Start Leg, book a visit of 60, save with F5"
focus_window "Start Leg"
press Return
wait_for 10 window_gone "Start Leg" || abort "the Start Leg dialog did not close on Enter"
board="Brennix 3.2  [FINAL]"
focus_window "$board"
timeout 10 xdotool type --delay 40 60 || abort "xdotool type failed"
press Return F5
data="$home/.local/share/brennix"
slot="$data/save/SaveA100.bx3"
saved() { [[ $(stat -c %s "$slot" 2>/dev/null) == 14516 ]]; }
wait_for 10 saved && note "F5 saved the game to $slot" || mismatch "no save at $slot within 10 s"
remaining=$(od -An -t d4 --endian=little -j $((8956 + 4 * 159)) -N 4 "$slot" 2>/dev/null | tr -d ' ')
[[ $remaining == 441 ]] || mismatch "the save should hold 441 left for Player1, found '${remaining}'"
window_shown "Brennix 3.2" && mismatch "an error box is open"

step "close through the menu: Alt+F, then X"
focus_window "$board"
press alt+f
sleep 0.5
press x
exited() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_for 15 exited || abort "the program was still running 15 s after Alt+F, X"
wait "$app_pid"
status=$?
app_pid=""
((status == 0)) || mismatch "exit status: expected 0, found $status"

step "start it again with /live=127.0.0.1:0: the live board's module loads, its address is printed"
env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "${as_user[@]}" "$prefix/bin/brennix" \
    /live=127.0.0.1:0 >"$work/live.log" 2>&1 &
app_pid=$!
live_address() { grep -Eqx '  http://127\.0\.0\.1:[1-9][0-9]*/' "$work/live.log"; }
wait_for 30 live_address && note "the live board is at$(grep -m 1 http "$work/live.log")" ||
    mismatch "no live board address in the program's output: $(cat "$work/live.log")"
stop_process "$app_pid"
app_pid=""

step "check where the files went"
[[ $(stat -c %s "$data/brnx3p.dat" 2>/dev/null) == 8956 ]] &&
    note "the settings file is in $data" || mismatch "no settings file of 8956 bytes in $data"
[[ $(stat -c %u "$data/brnx3p.dat" 2>/dev/null) == "${uid:-$(id -u)}" ]] ||
    mismatch "the settings file does not belong to the user who ran the program"
[[ -f $slot ]] || mismatch "the save is gone from $data/save"
(cd "$prefix" && find . -printf '%p %s %m %T@\n' | sort) >"$work/prefix-after"
if cmp -s "$work/prefix-before" "$work/prefix-after"; then
    note "nothing was written under the prefix"
else
    mismatch "the prefix changed: $(diff "$work/prefix-before" "$work/prefix-after" | head -n 10 | tr '\n' ';')"
fi
