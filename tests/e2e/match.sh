#!/usr/bin/env bash
# End-to-end test of the real program in a private X server: a three-leg match of 501 double out
# between Player1 and Player2 is typed in with xdotool, and what the program leaves on disk (the
# autosave slots and the settings file) is checked byte by byte, the match history row by row.
#
#   match.sh PROGRAM ARTEFACT_FOLDER [openbox]
#
# With "openbox" the same match runs under that window manager, started in the private X server.
# The script then never gives a window the focus itself (the program must leave it where the
# operator expects it after every dialog and message box) and also checks where the frames are
# (the scoreboard's at (10, 5) after every reset, the dialogs' centred), that no window offers to
# maximise, and that after an error box the score field has the focus again.
#
# PROGRAM is the built brennix executable. It is copied into a temporary folder of its own (with
# empty "save" and "sound" folders) and started there with a clean environment, so neither the
# build tree nor the home folder is touched. Screenshots of the board go to ARTEFACT_FOLDER; on a
# failure the files the program wrote are copied there as well.
#
# Needs Xvfb, xdotool, sqlite3 and coreutils, with "openbox" also openbox, xprop and xwininfo;
# screenshots need ImageMagick's "import" and are skipped without it. Every wait is bounded, every
# process started here is ended on exit.
set -u

if (($# < 2 || $# > 3)) || [[ $# == 3 && $3 != openbox ]]; then
    echo "usage: $0 PROGRAM ARTEFACT_FOLDER [openbox]" >&2
    exit 2
fi
program=$1
artefacts=$2
window_manager=${3:-}

# ---- Reporting ----------------------------------------------------------------------------------

tag=e2e
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
step_number=0
step() {
    step_number=$((step_number + 1))
    printf '\n[e2e] Step %d: %s\n' "$step_number" "$*"
}

tools=(Xvfb xdotool od cmp stat timeout)
[[ -n $window_manager ]] && tools+=(openbox xprop xwininfo)
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done
[[ -x $program ]] || abort "no program at '$program'"
have_import=0
command -v import >/dev/null && have_import=1

# ---- Folders, processes and clean-up ------------------------------------------------------------

mkdir -p "$artefacts" || abort "cannot create '$artefacts'"
rm -f "$artefacts"/*.png
rm -rf "$artefacts/files"
work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-e2e.XXXXXX") || abort "mktemp failed"
app="$work/app"
mkdir -p "$app/save" "$app/sound" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$app/brennix" || abort "cannot copy the program"

# The tools below run with the temporary home too, and only ever see the private X server.
export HOME="$work/home"
unset XAUTHORITY

xvfb_pid=""
wm_pid=""
app_pid=""
app_status=""

# shellcheck source=xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

cleanup() {
    local status=$?
    stop_process "$app_pid"
    stop_process "$wm_pid"
    stop_process "$xvfb_pid"
    if ((failures > 0 || status != 0)); then
        mkdir -p "$artefacts/files"
        cp -r "$app/save" "$artefacts/files/" 2>/dev/null
        cp "$app/brnx3p.dat" "$work"/*.log "$work"/*.bx3 "$artefacts/files/" 2>/dev/null
        if [[ -s $work/program.log ]]; then
            echo "[e2e] The program's output:"
            while IFS= read -r line; do echo "[e2e]   | $line"; done <"$work/program.log"
        fi
        echo "[e2e] Files the program wrote are kept in $artefacts/files"
    fi
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    if ((status == 0)); then
        echo "[e2e] PASSED"
    else
        echo "[e2e] FAILED ($failures problem(s))"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- Helpers ------------------------------------------------------------------------------------

# Id of the one visible top-level window with exactly this title (xdotool matches a regular
# expression without regard to case, so the title is anchored and escaped).
window_id() { # title
    local pattern="" c i
    for ((i = 0; i < ${#1}; i++)); do
        c=${1:i:1}
        case $c in
        '[' | ']' | \\ | '.' | '*' | '^' | '$' | '(' | ')' | '+' | '?' | '{' | '}' | '|')
            pattern+="\\$c" ;;
        *) pattern+=$c ;;
        esac
    done
    xdotool search --onlyvisible --name "^${pattern}\$" 2>/dev/null | head -n 1
}
window_shown() { [[ -n $(window_id "$1") ]]; }
window_gone() { [[ -z $(window_id "$1") ]]; }

wait_window() { # title seconds
    wait_for "$2" window_shown "$1" || abort "the window \"$1\" did not appear within $2 s"
    note "window \"$1\" is shown"
}

# Gives a window the keyboard focus. Without a window manager the X focus is set directly; under
# one the window must have become the active one by itself.
focus_window() { # title
    local id
    id=$(window_id "$1")
    [[ -n $id ]] || abort "no window \"$1\" to give the focus to"
    if [[ -n $window_manager ]]; then
        is_active() { [[ $(xdotool getactivewindow 2>/dev/null) == "$id" ]]; }
        wait_for 10 is_active ||
            abort "the window \"$1\" did not become the active window (active: $(xdotool getactivewindow getwindowname 2>/dev/null))"
        return
    fi
    timeout 10 xdotool windowfocus --sync "$id" || abort "the window \"$1\" did not take the focus"
}

# ---- Frames (under a window manager) ------------------------------------------------------------

# "X Y WIDTH HEIGHT" of a window's client area on the screen.
client_geometry() { # id
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }'
}

# "X Y WIDTH HEIGHT" of a window's frame, title bar included: the client area grown by the
# extents the window manager announces for it.
frame_geometry() { # id
    local x y w h left right top bottom
    read -r x y w h <<<"$(client_geometry "$1")"
    IFS=', ' read -r left right top bottom <<<"$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p')"
    [[ -n $bottom ]] || return 1
    echo $((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom))
}

# The frame of the window with this title at LEFT, TOP; "centre" centres it across (and down)
# the 1280x1024 screen, to the pixel the odd sizes allow. Waits for the window manager to frame
# and place it.
expect_frame_at() { # title left|centre top|centre
    local id frame x y w h
    id=$(window_id "$1")
    placed() {
        frame=$(frame_geometry "$id") || return 1
        read -r x y w h <<<"$frame"
        if [[ $2 == centre ]]; then ((x == (1280 - w) / 2)) || return 1; else ((x == $2)) || return 1; fi
        if [[ $3 == centre ]]; then ((y == (1024 - h) / 2)) || return 1; else ((y == $3)) || return 1; fi
    }
    if wait_for 5 placed "$1" "$2" "$3"; then
        note "the frame of \"$1\" is at $x, $y ($w x $h)"
    else
        mismatch "the frame of \"$1\" should be at $2, $3; found x y width height: ${frame:-no frame}"
    fi
}

# The window manager offers no maximising for the window.
expect_no_maximise() { # title
    local actions
    actions=$(xprop -id "$(window_id "$1")" _NET_WM_ALLOWED_ACTIONS)
    if [[ $actions != *_NET_WM_ACTION_MOVE* ]]; then
        mismatch "\"$1\": no allowed actions announced ($actions)"
    elif [[ $actions == *MAXIMIZE* ]]; then
        mismatch "\"$1\" can be maximised: $actions"
    else
        note "\"$1\" cannot be maximised"
    fi
}

press() { timeout 10 xdotool key --delay 40 "$@" || abort "xdotool key $* failed"; }
type_text() { timeout 10 xdotool type --delay 40 "$1" || abort "xdotool type $1 failed"; }

# One visit: the score typed into the score field, then Enter.
visit() {
    type_text "$1"
    press Return
}

screenshot() { # file name
    if ((!have_import)); then
        note "(no screenshot $1: ImageMagick's import is missing)"
        return
    fi
    sleep 0.3 # let the last repaint reach the X server
    if timeout 20 import -window root "$artefacts/$1" 2>"$work/import.log"; then
        note "screenshot $artefacts/$1"
    else
        mismatch "the screenshot $1 could not be taken: $(cat "$work/import.log")"
    fi
}

# The open menu is a window of its own, of the program's window class but without a title: a
# second visible window of the program besides the scoreboard.
program_windows() { xdotool search --onlyvisible --class '^Brennix 3\.2$' 2>/dev/null | wc -l; }
menu_open() { (($(program_windows) >= 2)); }

# No message box may be open: the error box (titled with the application's name), the
# information and the warning box.
no_error_box() {
    local title
    for title in "Brennix 3.2" Information Warning; do
        if window_shown "$title"; then
            mismatch "a message box \"$title\" is open"
            screenshot "message-box-$step_number.png"
        fi
    done
}

# A file's identity: every save replaces the file (a new inode) and gives it a new modification
# time, so the identity changes even when the content stays the same.
file_identity() { stat -c '%i %.9Y %s' "$1" 2>/dev/null; }

# Waits until the file exists with a new identity and the full size.
wait_file_written() { # file previous_identity size seconds what
    local file=$1 before=$2 size=$3
    changed() {
        local now
        now=$(file_identity "$file")
        [[ -n $now && $now != "$before" && $(stat -c %s "$file") == "$size" ]]
    }
    wait_for "$4" changed || abort "$5: $file was not written within $4 s (before: ${before:-no file}, now: $(file_identity "$file"))"
    note "$5: $(basename "$file") written"
    no_error_box
}

int32_at() { od -An -t d4 --endian=little -j "$2" -N 4 "$1" | tr -d ' \n'; }
byte_at() { od -An -t u1 -j "$2" -N 1 "$1" | tr -d ' \n'; }
chars_at() { od -An -c -j "$2" -N "$3" "$1" | tr -d ' \n'; }

expect_size() { # file bytes
    local found
    found=$(stat -c %s "$1" 2>/dev/null)
    if [[ $found == "$2" ]]; then
        note "$(basename "$1"): $2 bytes"
    else
        mismatch "$(basename "$1"): expected $2 bytes, found ${found:-no file}"
    fi
}

expect_int() { # file offset expected what
    local found
    found=$(int32_at "$1" "$2")
    [[ $found == "$3" ]] ||
        mismatch "$(basename "$1") $4 (int32 at $2): expected $3, found ${found:-nothing}"
}

expect_byte() { # file offset expected what
    local found
    found=$(byte_at "$1" "$2")
    [[ $found == "$3" ]] ||
        mismatch "$(basename "$1") $4 (byte at $2): expected $3, found ${found:-nothing}"
}

expect_name() { # file offset name what
    local length chars
    length=$(byte_at "$1" "$2")
    chars=$(chars_at "$1" $(($2 + 1)) "${#3}")
    [[ $length == "${#3}" && $chars == "$3" ]] ||
        mismatch "$(basename "$1") $4 at $2: expected length ${#3} and \"$3\", found length $length and \"$chars\""
}

# The settings block that starts both the settings file and every game file, as a first run
# leaves it: two players, 501 double out, best of 1 set, autosave on, slots thinned to ten.
expect_first_run_settings() { # file
    expect_int "$1" 0 2 PlayerCount
    expect_int "$1" 4 3 MatchFormat
    expect_int "$1" 8 2 GameType
    expect_name "$1" 8733 Player1 "name of player 1"
    expect_name "$1" 8760 Player2 "name of player 2"
    expect_byte "$1" 8949 0 Sound
    expect_byte "$1" 8950 1 AutoSave
    expect_byte "$1" 8951 1 DeleteAutoSaves
    expect_int "$1" 8952 10 KeepSaveFiles
}

# Slots of a player record in a game file.
declare -A slot=(
    [History]=8 [WonLegDarts]=58 [PrevRemaining]=158 [Remaining]=159 [Points]=160 [Legs]=161
    [Sets]=162 [Count40]=163 [Count60]=164 [Count100]=165 [Count140]=166 [Count180]=167
    [LegAverage]=168 [MatchAverage]=169 [PrevLegDarts]=170 [DartsLeg]=171 [DartsMatch]=172)

# expect_player FILE PLAYER FIELD[+INDEX]=VALUE ...: checks fields of player PLAYER (1-8);
# History+0 is the newest visit, WonLegDarts+1 the second leg won.
expect_player() {
    local file=$1 player=$2 pair field value base index
    shift 2
    for pair in "$@"; do
        field=${pair%%=*}
        value=${pair#*=}
        base=${field%%+*}
        index=0
        [[ $field == *+* ]] && index=${field#*+}
        [[ -n ${slot[$base]:-} ]] || abort "unknown player field $base"
        expect_int "$file" $((8956 + (player - 1) * 692 + 4 * (slot[$base] + index))) "$value" \
            "player $player $field"
    done
}

expect_turns() { # file active leg_starter next_leg_starter next_set_starter
    expect_int "$1" 14492 0 "reserved field"
    expect_int "$1" 14496 "$2" ActivePlayer
    expect_int "$1" 14500 "$3" LegStarter
    expect_int "$1" 14504 "$4" NextLegStarter
    expect_int "$1" 14508 "$5" NextSetStarter
    expect_int "$1" 14512 0 "reserved field"
}

# ---- The run ------------------------------------------------------------------------------------

step "start a private X server (1280x1024x24)"
start_xvfb "$work" || abort "Xvfb did not start: $(cat "$work/xvfb.log")"
note "Xvfb runs as display $DISPLAY"

if [[ -n $window_manager ]]; then
    step "start the window manager openbox"
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm_pid=$!
    wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
    wait_for 15 wm_running || abort "openbox did not start: $(cat "$work/openbox.log")"
    note "openbox runs"
fi

step "start the program from a temporary copy ($app)"
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$app/brennix" >"$work/program.log" 2>&1 &
app_pid=$!

step "answer \"Who may begin the leg?\" with Ok: Player1 begins"
wait_window "Start Leg" 30
focus_window "Start Leg"
if [[ -n $window_manager ]]; then
    expect_frame_at "Start Leg" centre centre
    expect_no_maximise "Start Leg"
fi
press Return
wait_for 10 window_gone "Start Leg" || abort "the Start Leg dialog did not close on Enter"
wait_window "Brennix 3.2  [FINAL]" 10
focus_window "Brennix 3.2  [FINAL]"
if [[ -n $window_manager ]]; then
    step "the scoreboard's frame is at (10, 5), its client area 992 wide with the menu and board below"
    expect_frame_at "Brennix 3.2  [FINAL]" 10 5
    expect_no_maximise "Brennix 3.2  [FINAL]"
    read -r _ _ width height <<<"$(client_geometry "$(window_id "Brennix 3.2  [FINAL]")")"
    ((width == 992 && height > 675 && height < 675 + 40)) ||
        mismatch "the scoreboard's client area is $width x $height, expected 992 x 675 and the menu"
fi

slot100="$app/save/SaveA100.bx3"
slot101="$app/save/SaveA101.bx3"
[[ -e $slot100 ]] && mismatch "a slot file exists before anything was saved"

step "first leg: Player1 180, Player2 60, Player1 180, Player2 60, then F5"
visit 180
visit 60
visit 180
visit 60
press F5
wait_file_written "$slot100" "" 14516 10 "F5 with no game file"
screenshot board-after-visits.png
cp "$slot100" "$work/before-checkout.bx3"

step "check the saved game: Player1 has 141 left, Player2 381, Player1 to throw"
f="$work/before-checkout.bx3"
expect_size "$f" 14516
expect_first_run_settings "$f"
expect_player "$f" 1 Remaining=141 PrevRemaining=141 Points=360 History+0=180 History+1=180 \
    History+2=-1 Count180=2 Count60=0 DartsLeg=6 DartsMatch=6 LegAverage=1800000 \
    MatchAverage=1800000 Legs=0 Sets=0 WonLegDarts+0=0
expect_player "$f" 2 Remaining=381 PrevRemaining=441 Points=120 History+0=60 History+1=60 \
    History+2=-1 Count60=2 Count180=0 DartsLeg=6 DartsMatch=6 LegAverage=600000 \
    MatchAverage=600000 Legs=0 Sets=0
expect_player "$f" 3 Remaining=501 History+0=-1 Points=0
expect_turns "$f" 0 0 1 1

step "Player1 checks out with 141: the game is saved first, then the leg is booked"
before=$(file_identity "$slot100")
visit 141
wait_file_written "$slot100" "$before" 14516 10 "save before the possible checkout"
if cmp -s "$slot100" "$work/before-checkout.bx3"; then
    note "the save before the checkout holds the position before it, as the F5 save did"
else
    mismatch "the save before the checkout differs from the F5 save of the same position:" \
        "$(cmp -l "$slot100" "$work/before-checkout.bx3" | head -n 5 | tr '\n' ';')"
fi
before=$(file_identity "$slot100")
press F5
wait_file_written "$slot100" "$before" 14516 10 "F5 after the first leg"
screenshot board-after-leg.png

step "check the game after the first leg: Player1 won it in 9 darts, Player2 begins the next"
f="$slot100"
expect_player "$f" 1 Remaining=501 Legs=1 Sets=0 WonLegDarts+0=9 WonLegDarts+1=0 DartsLeg=0 \
    PrevLegDarts=9 DartsMatch=9 Points=501 History+0=141 History+1=180 History+2=180 \
    Count140=1 Count180=2 LegAverage=1670000 MatchAverage=1670000
expect_player "$f" 2 Remaining=501 Legs=0 WonLegDarts+0=0 DartsLeg=0 PrevLegDarts=6 \
    DartsMatch=6 Points=120
expect_turns "$f" 1 1 0 1

step "second leg: Player2 60, Player1 180, Player2 60, Player1 180, Player2 60, Player1 141"
visit 60
visit 180
visit 60
visit 180
visit 60
before=$(file_identity "$slot100")
visit 141
wait_file_written "$slot100" "$before" 14516 10 "save before the possible checkout"
expect_player "$slot100" 1 Remaining=141 Legs=1 DartsLeg=6
expect_player "$slot100" 2 Remaining=321 Legs=0 DartsLeg=9
expect_turns "$slot100" 0 1 0 1
before=$(file_identity "$slot100")
press F5
wait_file_written "$slot100" "$before" 14516 10 "F5 after the second leg"
expect_player "$slot100" 1 Remaining=501 Legs=2 WonLegDarts+0=9 WonLegDarts+1=9 \
    WonLegDarts+2=0 DartsMatch=18 Points=1002 Count180=4 Count140=2
expect_player "$slot100" 2 Remaining=501 Legs=0 DartsMatch=15 Points=300 Count60=5
expect_turns "$slot100" 0 0 1 1

if [[ -n $window_manager ]]; then
    step "the operator drags the scoreboard aside; the reset at the match end puts it back"
    timeout 10 xdotool windowmove --sync "$(window_id "Brennix 3.2  [FINAL]")" 200 150 ||
        mismatch "the scoreboard could not be moved"
    focus_window "Brennix 3.2  [FINAL]"
fi

step "third leg: Player1 180, Player2 60, Player1 180, Player2 60, Player1 141 wins the match"
visit 180
visit 60
visit 180
visit 60
before=$(file_identity "$slot100")
visit 141
wait_window "Game, Shot and the Match" 15
screenshot result.png
[[ -n $window_manager ]] && expect_frame_at "Game, Shot and the Match" centre 125
wait_file_written "$slot100" "$before" 14516 5 "save before the match-winning checkout"
expect_player "$slot100" 1 Remaining=141 Legs=2 Sets=0 WonLegDarts+2=0 History+0=180
expect_player "$slot100" 2 Remaining=381 Legs=0
expect_turns "$slot100" 0 0 1 1

step "Restart (Enter in the result dialog), then F5 saves the fresh game into a new slot"
focus_window "Game, Shot and the Match"
press Return
wait_for 10 window_gone "Game, Shot and the Match" || abort "the result dialog did not close on Enter"
window_shown "Start Leg" && mismatch "a Start Leg dialog opened after Restart"
focus_window "Brennix 3.2  [FINAL]"
[[ -n $window_manager ]] && expect_frame_at "Brennix 3.2  [FINAL]" 10 5
press F5
wait_file_written "$slot101" "" 14516 10 "F5 after Restart (the game file was forgotten)"
screenshot board-after-restart.png
f="$slot101"
expect_first_run_settings "$f"
for player in 1 2; do
    expect_player "$f" "$player" Remaining=501 Legs=0 Sets=0 Points=0 History+0=-1 \
        WonLegDarts+0=0 DartsLeg=0 DartsMatch=0 Count180=0 LegAverage=0 MatchAverage=0
done
expect_turns "$f" 0 0 1 1

if [[ -n $window_manager ]]; then
    step "an error box gives the focus back to the score field: a bad darts entry, Enter, then 45"
    # Tab leads from the score field to the darts field and back.
    press Tab ctrl+a x Tab
    type_text 60
    press Return
    wait_window "Brennix 3.2" 10
    focus_window "Brennix 3.2"
    press Return
    wait_for 10 window_gone "Brennix 3.2" || abort "the error box did not close on Enter"
    # Nothing puts the focus anywhere: the keys go where the program left it.
    press BackSpace BackSpace
    type_text 45
    press Tab ctrl+a 3 Tab Return
    before=$(file_identity "$slot101")
    press F5
    wait_file_written "$slot101" "$before" 14516 10 "F5 after the visit of 45"
    expect_player "$slot101" 1 Remaining=456 History+0=45 DartsLeg=3
    expect_turns "$slot101" 1 0 1 1

    step "the Info dialog, centred, closed with Enter, gives the focus back too: Player2 60"
    press alt+h
    wait_for 10 menu_open || abort "Alt+H did not open the Help menu"
    press i
    wait_window "Info" 10
    focus_window "Info"
    expect_frame_at "Info" centre centre
    press Return
    wait_for 10 window_gone "Info" || abort "the Info dialog did not close on Enter"
    visit 60
    before=$(file_identity "$slot101")
    press F5
    wait_file_written "$slot101" "$before" 14516 10 "F5 after the visit of 60"
    expect_player "$slot101" 2 Remaining=441 History+0=60
    expect_turns "$slot101" 0 0 1 1
fi

step "a second start on the same folder brings the first window to the front and ends"
board=$(window_id "Brennix 3.2  [FINAL]")
[[ -n $window_manager ]] && xdotool windowminimize "$board"
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb timeout 20 "$app/brennix" >"$work/second.log" 2>&1
second_status=$?
((second_status == 0)) || mismatch "the second start ended with $second_status: $(cat "$work/second.log")"
[[ -n $window_manager ]] && focus_window "Brennix 3.2  [FINAL]"
found=$(program_windows)
((found == 1)) || mismatch "after the second start: expected 1 visible window, found $found"

step "leave through the menu: Alt+F, then X"
[[ -e $app/brnx3p.dat ]] && mismatch "the settings file was written before the exit"
no_error_box
found=$(program_windows)
((found == 1)) || mismatch "before Alt+F: expected 1 visible window of the program, found $found"
focus_window "Brennix 3.2  [FINAL]"
press alt+f
wait_for 10 menu_open || abort "Alt+F did not open the File menu"
note "the File menu is open"
press x
exited() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_for 15 exited || abort "the program was still running 15 s after Alt+F, X"
wait "$app_pid"
app_status=$?
app_pid=""
note "the program exited with status $app_status"
((app_status == 0)) || mismatch "exit status: expected 0, found $app_status"

step "check the settings file and the slots left behind"
settings="$app/brnx3p.dat"
expect_size "$settings" 8956
expect_first_run_settings "$settings"
for n in 3 4 5 6 7 8; do
    expect_name "$settings" $((8733 + (n - 1) * 27)) "Player$n" "name of player $n"
done
expect_size "$slot100" 14516
expect_size "$slot101" 14516
left=$(cd "$app/save" && echo *)
[[ $left == "SaveA100.bx3 SaveA101.bx3" ]] ||
    mismatch "save/ should hold exactly the two slots (KeepSaveFiles 10 keeps them), found: $left"
beside=$(cd "$app" && echo *)
[[ -e $app/brennix.lock ]] && mismatch "the lock file is left behind"
[[ $beside == "brennix brnx3p.dat history.sqlite save sound" ]] ||
    mismatch "the program's folder should hold brennix, brnx3p.dat, history.sqlite, save and sound" \
        "(a clean exit leaves no -wal or -shm), found: $beside"

step "check the match history: Player1 won three legs to none, each visit once, both saves known"
expect_query() {
    local found
    found=$(sqlite3 -readonly "$app/history.sqlite" "$1" 2>&1)
    [[ $found == "$2" ]] || mismatch "$3: expected $2, found $found"
}
expect_query "SELECT id, end_reason, winner FROM matches" $'1|won|1\n2|exit|' "the matches"
expect_query "SELECT name, sets, legs FROM match_players WHERE match_id = 1" \
    $'Player1|1|3\nPlayer2|0|0' "the final score"
expect_query "SELECT player, COUNT(*), SUM(score), SUM(darts) FROM visits WHERE match_id = 1
              GROUP BY player" $'1|9|1503|27\n2|7|420|21' "the match's visits"
# The save before the winning checkout holds the match up to the visit before it; what the fresh
# game's save holds differs with a window manager (the error box steps play in it).
expect_query "SELECT DISTINCT substr(path, -12), match_id FROM saves ORDER BY path" \
    $'SaveA100.bx3|1\nSaveA101.bx3|2' "the saves"
expect_query "SELECT MAX(last_visit) FROM saves WHERE match_id = 1" 15 "the point of the last save"
