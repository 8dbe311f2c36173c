#!/usr/bin/env bash
# The Windows build under wine64 in a private X server, beside the Linux build: both play the same
# match typed with xdotool (F5, a load of the save, the match to its end, a Restart, F5, a second
# start that hands over to the first, the exit), and what they leave must be the same: the game
# files and the settings file byte for byte, the history's visits row for row, the live board's
# /state.json after the first visits, and brennix-report.exe's reports on the Windows build's
# files equal to brennix-report's on the same files (Windows' line ends and separators aside).
# The Windows build also plays in a club on a PostgreSQL server of the test's own, whose figures
# both reports must give alike; and its installer installs, runs and uninstalls.
#
#   wine_test.sh ZIP LINUX_BUILD_FOLDER [ARTEFACT_FOLDER]
#
# ZIP is brennix-VERSION-windows-x64.zip; it is unpacked into a temporary folder and run there with
# a wine prefix of its own (Windows 10). LINUX_BUILD_FOLDER holds brennix, its live board's module,
# brennix-report and the tests' club_server.
# Every check that cannot run fails; every process started here ends with the script.
set -u

if (($# < 2 || $# > 3)); then
    echo "usage: $0 ZIP LINUX_BUILD_FOLDER [ARTEFACT_FOLDER]" >&2
    exit 2
fi
# Absolute, as the checks run in other folders.
zip=$(realpath -m -- "$1")
linux=$(realpath -m -- "$2")
artefacts=${3:+$(realpath -m -- "$3")}
e2e=$(cd "$(dirname "${BASH_SOURCE[0]}")/../e2e" && pwd)

tag=wine
# shellcheck source=../e2e/checks.sh
source "$e2e/checks.sh"
# shellcheck source=../e2e/xserver.sh
source "$e2e/xserver.sh"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
for tool in Xvfb xdotool sqlite3 timeout unzip cmp curl "$wine" "$wineserver"; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done
[[ -f $zip ]] || abort "no zip at '$zip'"
[[ -x $linux/brennix && -x $linux/brennix-report && -x $linux/tests/club_server ]] ||
    abort "no brennix, brennix-report and tests/club_server in '$linux'"

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-wine.XXXXXX") || abort "mktemp failed"
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$work/runtime" "$work/linux/save" "$work/linux/sound"
chmod 700 "$work/runtime"
unset XAUTHORITY
xvfb_pid=""
app_pid=""
server_pid=""

cleanup() {
    local status=$?
    stop_process "$app_pid"
    "$wineserver" -k 2>/dev/null # every Windows process of this prefix
    "$wineserver" -w 2>/dev/null
    stop_process "$xvfb_pid"
    # The club's server stops and removes its folder at the end of its input.
    [[ -n ${server_in:-} ]] && exec {server_in}>&-
    [[ -n $server_pid ]] && wait_for 60 eval '! kill -0 $server_pid 2>/dev/null'
    stop_process "$server_pid"
    if ((failures > 0)) && [[ -n $artefacts ]]; then
        rm -rf "$artefacts"
        mkdir -p "$artefacts"
        cp -r "$work/linux" "$artefacts/" 2>/dev/null
        cp -r "$work/windows" "$artefacts/" 2>/dev/null
        cp "$work"/*.log "$work"/*.png "$artefacts/" 2>/dev/null
        echo "[wine] What both sides wrote is kept in $artefacts"
    fi
    for log in "$work"/*.log; do
        ((failures > 0)) && [[ -s $log ]] && sed "s|^|[wine]   $(basename "$log") |" "$log"
    done
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    ((status == 0)) && echo "[wine] PASSED" || echo "[wine] FAILED ($failures problem(s))"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
shown() { [[ -n $(window "$1") ]]; }
gone() { ! shown "$1"; }
focus() { # title pattern
    local id
    wait_for 20 shown "$1" || abort "no window \"$1\" on the $side side"
    id=$(window "$1")
    timeout 10 xdotool windowactivate --sync "$id" 2>/dev/null ||
        timeout 10 xdotool windowfocus --sync "$id" || abort "the window \"$1\" took no focus"
    sleep 0.5 # wine settles the focus a moment later
}
press() { timeout 10 xdotool key --delay 60 "$@" || abort "xdotool key $* failed"; }
visit() {
    timeout 10 xdotool type --delay 60 "$1" || abort "xdotool type $1 failed"
    press Return
}
visits_recorded() { [[ $(sqlite3 -readonly "$folder/history.sqlite" "SELECT COUNT(*) FROM visits" 2>/dev/null) == "$1" ]]; }
board="^Brennix 3\.2  \[FINAL\]\$"
screenshot() { timeout 20 import -window root "$work/$1" 2>/dev/null; }
# The live board's port, as the program wrote its address at start.
port() { sed -n 's|^  http://127\.0\.0\.1:\([0-9]*\)/.*$|\1|p' "$work/$side.log" | tr -d '\r' | head -n 1; }

# F5 until the slot is there: wine hands the focus back to the board a moment after a dialog
# closes, and a key in between is lost (F5 again saves the same game again).
save_into() { # slot file
    local try
    for try in 1 2 3; do
        focus "$board"
        press F5
        wait_for 10 test -s "$1" && return
    done
    abort "$side: F5 wrote no $(basename "$1")"
}

# The first visit after a dialog, typed again while it is not in the history after 5 s: keys
# typed before wine has settled the focus go nowhere.
first_visit() { # score visits_then
    local try
    for try in 1 2 3; do
        focus "$board"
        visit "$1"
        wait_for 5 visits_recorded "$2" && return
    done
    abort "$side: the visit of $1 after a dialog was not booked"
}

# The program of this side, started in its folder with the output going to SIDE.log.
start() {
    if [[ $side == linux ]]; then
        env -i PATH=/usr/bin:/bin HOME="$HOME" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
            DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$folder/brennix" /live=127.0.0.1:0 \
            >>"$work/$side.log" 2>&1 &
    else
        (cd "$folder" && exec "$wine" brennix.exe /live=127.0.0.1:0 "/club=$url") \
            >>"$work/$side.log" 2>&1 &
    fi
    app_pid=$!
}

# The match both sides play; the files it leaves stay in $folder.
play() {
    note "$side: start, Player1 begins"
    start
    wait_for 60 shown "^Start Leg\$" || { screenshot "$side-start.png"; abort "$side: no Start Leg dialog"; }
    focus "^Start Leg\$"
    press Return
    wait_for 10 gone "^Start Leg\$" || abort "$side: the Start Leg dialog did not close"
    note "$side: four visits, F5, two more"
    first_visit 180 1
    for score in 60 180 60; do visit "$score"; done
    save_into "$folder/save/SaveA100.bx3"
    cp "$folder/save/SaveA100.bx3" "$work/$side-f5.bx3"
    wait_for 20 test -n "$(port)" || abort "$side: the live board did not say its address"
    curl -s --max-time 10 -o "$work/$side-state.json" "http://127.0.0.1:$(port)/state.json" ||
        mismatch "$side: the live board did not answer /state.json"
    visit 100
    visit 60
    wait_for 20 visits_recorded 6 || abort "$side: the history did not record six visits"
    note "$side: load the slot, play the match to its end, Restart, F5"
    press alt+f
    press l
    wait_for 20 shown "^Open" || abort "$side: the Open dialog did not appear"
    focus "^Open"
    press Return
    wait_for 20 gone "^Open" || abort "$side: the Open dialog did not close"
    first_visit 141 5
    for score in 60 180 60 180 60 141 180 60 180 60 141; do visit "$score"; done
    wait_for 30 shown "^Game, Shot and the Match\$" || { screenshot "$side-end.png"; abort "$side: the match was not won"; }
    focus "^Game, Shot and the Match\$"
    press Return
    wait_for 20 gone "^Game, Shot and the Match\$" || abort "$side: the result dialog did not close"
    save_into "$folder/save/SaveA101.bx3"
    note "$side: a second start hands over to the first and ends"
    local first=$app_pid
    start
    wait_for 60 eval '! kill -0 $app_pid 2>/dev/null' || abort "$side: the second start did not end"
    wait "$app_pid"
    (($? == 0)) || mismatch "$side: the second start did not end with status 0"
    app_pid=$first
    note "$side: leave through the menu"
    focus "$board"
    press alt+f
    press x
    wait_for 30 eval '! kill -0 $app_pid 2>/dev/null' || abort "$side: the program did not exit"
    wait "$app_pid"
    (($? == 0)) || mismatch "$side: the program's exit status was not 0"
    app_pid=""
    [[ -s $folder/brnx3p.dat ]] || mismatch "$side: no settings file"
}

start_xvfb "$work" || abort "Xvfb did not start: $(cat "$work/xvfb.log")"

note "a wine prefix of its own, as Windows 10"
timeout 300 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || abort "wineboot failed"
timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion \
    /d 10.0 /f >/dev/null 2>&1 || abort "the Windows version could not be set"
timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' \
    /v CurrentBuildNumber /d 19045 /f >/dev/null 2>&1 || abort "the Windows build could not be set"
timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' \
    /v CurrentMajorVersionNumber /t REG_DWORD /d 10 /f >/dev/null 2>&1 || abort "no major version"
timeout 60 "$wine" reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1 ||
    abort "wine's version could not be set"
# A crash ends the program with a message in the log rather than a dialog nobody answers.
timeout 60 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1 || abort "the crash dialog could not be switched off"
"$wineserver" -w

note "a club on a PostgreSQL server of the test's own, for the Windows build"
mkfifo "$work/server-in" "$work/server-out"
"$linux/tests/club_server" <"$work/server-in" >"$work/server-out" 2>"$work/server.log" &
server_pid=$!
exec {server_in}>"$work/server-in"
exec {server_out}<"$work/server-out"
read -r -t 120 url <&"$server_out" || abort "the club server did not start: $(cat "$work/server.log")"

unzip -q "$zip" -d "$work/windows" || abort "the zip could not be unpacked"
cp "$linux/brennix" "$linux/libbrennix-live.so" "$work/linux/" || abort "cannot copy the Linux program"

side=linux folder=$work/linux play
side=windows folder=$work/windows/Brennix play
windows=$work/windows/Brennix

note "the files: byte for byte the same"
for file in save/SaveA100.bx3 save/SaveA101.bx3 brnx3p.dat; do
    if [[ ! -s $windows/$file ]]; then
        mismatch "the Windows build wrote no $file"
    elif cmp "$work/linux/$file" "$windows/$file" >"$work/cmp.txt"; then
        note "$file: $(stat -c %s "$windows/$file") bytes, the same"
    else
        mismatch "$file differs: $(head -n 3 "$work/cmp.txt")"
    fi
done
cmp -s "$work/linux-f5.bx3" "$work/windows-f5.bx3" || mismatch "the first F5 saves differ"
if [[ ! -s $work/windows-state.json ]]; then
    mismatch "the Windows build's live board answered nothing"
elif cmp -s "$work/linux-state.json" "$work/windows-state.json"; then
    note "/state.json after four visits: $(stat -c %s "$work/windows-state.json") bytes, the same"
else
    mismatch "/state.json differs: $(diff <(tr ',' '\n' <"$work/linux-state.json") \
        <(tr ',' '\n' <"$work/windows-state.json") | head -n 6)"
fi

note "the history: the same matches, legs and visits"
for sql in "SELECT id, resumed, end_reason, winner FROM matches" \
    "SELECT match_id, name, sets, legs FROM match_players" \
    "SELECT set_no, leg_no, starter, winner, winner_darts FROM legs ORDER BY id" \
    "SELECT id, player, score, remaining_before, won_leg FROM visits ORDER BY id" \
    "SELECT id, score FROM visits_aside ORDER BY id"; do
    expected=$(sqlite3 -readonly "$work/linux/history.sqlite" "$sql" 2>&1)
    found=$(sqlite3 -readonly "$windows/history.sqlite" "$sql" 2>&1)
    if [[ -z $expected ]]; then
        mismatch "the Linux history answers nothing to: $sql"
    elif [[ $found != "$expected" ]]; then
        mismatch "$sql: Linux $(echo "$expected" | tr '\n' ' '), Windows $(echo "$found" | tr '\n' ' ')"
    fi
done

note "brennix-report.exe: the same reports as brennix-report, on the Windows build's files"
report_case() { # what arguments...
    local what=$1 expected found
    shift
    expected=$(cd "$windows" && "$linux/brennix-report" "$@" 2>&1)
    found=$(cd "$windows" && timeout 120 "$wine" brennix-report.exe "$@" 2>&1 | tr -d '\r' | tr '\\' /)
    if [[ -z $expected ]]; then
        mismatch "$what: brennix-report wrote nothing"
    elif [[ $found == "$expected" ]]; then
        note "$what: $(wc -l <<<"$found") lines, the same"
    else
        mismatch "$what differs:"$'\n'"$(diff <(echo "$expected") <(echo "$found") | head -n 10)"
    fi
}
report_case "the game files as text" save
report_case "the game files as JSON" --format json save/SaveA100.bx3
report_case "the standings" --players --history history.sqlite
report_case "Player1 head to head with Player2" --vs Player1 Player2 --history history.sqlite

note "the club: the Windows build's matches there, read alike by both reports"
club_copied() { "$linux/brennix-report" --club "$url" --matches 2>/dev/null | grep -q exit; }
wait_for 60 club_copied || mismatch "the Windows build's matches did not reach the club"
report_case "the club's standings" --players --club "$url"
report_case "the club's head to head" --vs Player1 Player2 --club "$url"

note "the installer: for this user alone, silently; the installed program keeps its data apart"
setup=${zip%.zip}-setup.exe
[[ -f $setup ]] || abort "no installer at '$setup'"
timeout 300 "$wine" "$setup" /S >"$work/setup.log" 2>&1 || mismatch "the installer failed"
"$wineserver" -w
users=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
installed=$users/AppData/Local/Programs/Brennix
data=$users/AppData/Local/Brennix
for file in brennix.exe brennix-report.exe uninstall.exe libbrennix-live.dll sound/Score180.wav \
    platforms/qwindows.dll; do
    [[ -s $installed/$file ]] || mismatch "the installer put no $file into $installed"
done
[[ -e $installed/save ]] && mismatch "the installer made a save folder beside the program"
[[ -e "$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Brennix.lnk" ]] ||
    mismatch "no Start-menu entry"
side=installed
(cd "$installed" && exec "$wine" brennix.exe) >>"$work/$side.log" 2>&1 &
app_pid=$!
wait_for 60 shown "^Start Leg\$" || abort "installed: no Start Leg dialog"
focus "^Start Leg\$"
press Return
focus "$board"
visit 100
save_into "$data/save/SaveA100.bx3"
press alt+f
press x
wait_for 30 eval '! kill -0 $app_pid 2>/dev/null' || abort "installed: the program did not exit"
app_pid=""
[[ -s $data/brnx3p.dat && -s $data/history.sqlite ]] ||
    mismatch "installed: no settings file or history in $data"
left=$(cd "$installed" && find . -newer "$installed/uninstall.exe" -type f | sort | tr '\n' ' ')
[[ -z $left ]] || mismatch "installed: the program wrote beside itself: $left"
timeout 120 "$wine" "$installed/uninstall.exe" /S >>"$work/setup.log" 2>&1 ||
    mismatch "the uninstaller failed"
wait_for 60 test ! -e "$installed/brennix.exe" || mismatch "the uninstaller left brennix.exe"
"$wineserver" -w
left=$(find "$installed" 2>/dev/null | head -n 5 | tr '\n' ' ')
[[ -z $left ]] || mismatch "the uninstaller left: $left"
[[ -s $data/save/SaveA100.bx3 ]] || mismatch "the uninstaller took the saves in $data"
