#!/usr/bin/env bash
# Debian package test: cpack -G DEB builds brennix_VERSION_ARCH.deb from the build folder into a
# temporary folder; lintian finds no error; its contents are checked with dpkg -c. Run as root
# (as in CI), the package is also installed with apt-get, checked, and purged without leftovers;
# a brennix package installed before is left alone and this part is skipped.
#
#   deb.sh BUILD_FOLDER VERSION APP_ID CALLER_VOICE(ON|OFF) LIVE_MODULE
#
# LIVE_MODULE is where the live board's module is installed, relative to the prefix
# (lib/x86_64-linux-gnu/brennix/libbrennix-live.so).
# Needs cpack, dpkg-deb, dpkg-shlibdeps (dpkg-dev) and lintian, and for the installation apt-get.
set -u

if (($# != 5)); then
    echo "usage: $0 BUILD_FOLDER VERSION APP_ID CALLER_VOICE LIVE_MODULE" >&2
    exit 2
fi
build=$1
version=$2
app_id=$3
caller_voice=$4
live_module=/usr/$5

installed=0
tag=deb
# shellcheck source=../e2e/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/checks.sh"
step() { printf '\n[deb] %s (%d s)\n' "$1" "$SECONDS"; }

for tool in cpack dpkg dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || abort "the tool '$tool' is missing"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/brennix-deb.XXXXXX") || abort "mktemp failed"
chmod 755 "$work" # apt-get reads the package as its own user

apt_get() {
    env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 "$@" \
        >>"$work/apt.log" 2>&1
}

cleanup() {
    local status=$?
    if ((installed)); then
        apt_get remove --purge -y brennix || echo "[deb] could not purge brennix: see $work/apt.log"
    fi
    if ((failures > 0 || status != 0)) && [[ -s $work/apt.log ]]; then
        echo "[deb] apt-get said:"
        sed 's/^/[deb]   | /' "$work/apt.log"
    fi
    rm -rf "$work"
    if ((failures > 0)) && ((status == 0)); then status=1; fi
    if ((status == 0)); then echo "[deb] PASSED in $SECONDS s"; else echo "[deb] FAILED ($failures problem(s))"; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "cpack -G DEB"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    abort "cpack failed: $(cat "$work/cpack.log")"
deb="$work/brennix_${version}_$(dpkg --print-architecture).deb"
[[ -f $deb ]] || abort "no $(basename "$deb"); cpack made: $(cd "$work" && echo *.deb)"
note "$(basename "$deb"): $(stat -c %s "$deb") bytes"

step "lintian"
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/[deb]   | /'
((lintian_status == 0)) && grep -q '^E: ' "$work/lintian.log" && lintian_status=1
((lintian_status == 0)) && note "no errors" || mismatch "lintian reports errors (status $lintian_status)"

step "the package's fields and contents"
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == brennix ]] || mismatch "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || mismatch "Version: $(field Version)"
[[ $(field Section) == games ]] || mismatch "Section: $(field Section)"
depends=$(field Depends)
for library in libqt6widgets6 libpulse0 libsndfile1 libc6 libqt6network6 libsqlite3-0; do
    [[ $depends == *"$library"* ]] || mismatch "Depends lacks $library: $depends"
done
# The live board speaks WebSocket itself.
[[ $depends != *libqt6websockets6* ]] || mismatch "Depends names libqt6websockets6: $depends"
note "Depends: $depends"
note "Installed-Size: $(field Installed-Size) KiB"
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|; s|/$||' | sort >"$work/contents"
expected=(
    /usr/bin/brennix
    /usr/bin/brennix-report
    "$live_module"
    /usr/share/man/man1/brennix-report.1.gz
    "/usr/share/applications/$app_id.desktop"
    "/usr/share/metainfo/$app_id.metainfo.xml"
    "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    "/usr/share/icons/hicolor/48x48/apps/$app_id.png"
    "/usr/share/icons/hicolor/256x256/apps/$app_id.png"
    /usr/share/man/man6/brennix.6.gz
    /usr/share/doc/brennix/copyright
    /usr/share/doc/brennix/changelog.gz
)
[[ $caller_voice == ON ]] && expected+=(/usr/share/brennix/sound/Score0.wav /usr/share/brennix/sound/Score180.wav)
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || mismatch "the package lacks $path"
done
outside=$(grep -v '^/usr\(/\|$\)' "$work/contents" | grep -vx '/\?\.\?' | head -n 5)
[[ -z $outside ]] || mismatch "files outside /usr: $outside"
sounds=$(grep -c '^/usr/share/brennix/sound/Score[0-9]*\.wav$' "$work/contents")
[[ $caller_voice == ON ]] && ((sounds != 181)) && mismatch "expected 181 score sounds, found $sounds"
note "$(dpkg-deb -c "$deb" | grep -c '^-') files, $sounds of them score sounds"

if (($(id -u) != 0)); then
    note "not root: the package is not installed"
    exit 0
fi
if dpkg-query -W -f='${Status}' brennix 2>/dev/null | grep -q 'installed'; then
    note "a brennix package is installed already: it is left alone, the installation is skipped"
    exit 0
fi

step "apt-get install ./$(basename "$deb")"
installed=1
(cd "$work" && apt_get install -y --no-install-recommends "./$(basename "$deb")") ||
    abort "apt-get install failed"
[[ -x /usr/bin/brennix ]] && note "/usr/bin/brennix is there" || mismatch "no /usr/bin/brennix"
[[ -f /usr/share/applications/$app_id.desktop ]] && note "the menu entry is there" ||
    mismatch "no /usr/share/applications/$app_id.desktop"
dpkg -L brennix | sort >"$work/owned"

step "root starts /usr/bin/brennix: its data folder is root's own, nothing lands in /usr/bin"
mkdir -p "$work/root-home"
env -i PATH=/usr/bin:/bin HOME="$work/root-home" XDG_RUNTIME_DIR="$work" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen /usr/bin/brennix >"$work/program.log" 2>&1 &
program=$!
for ((i = 0; i < 100; i++)); do
    [[ -d $work/root-home/.local/share/brennix/save ]] && break
    sleep 0.1
done
kill -KILL "$program" 2>/dev/null
wait "$program" 2>/dev/null
[[ -d $work/root-home/.local/share/brennix/save ]] && note "$work/root-home/.local/share/brennix/save made" ||
    mismatch "the program did not make ~/.local/share/brennix/save: $(cat "$work/program.log")"
for name in save sound brnx3p.dat; do
    [[ -e /usr/bin/$name ]] && mismatch "/usr/bin/$name exists"
done
grep -qx /usr/bin/brennix "$work/owned" || mismatch "dpkg -L does not list /usr/bin/brennix"

step "apt-get remove --purge brennix"
apt_get remove --purge -y brennix || abort "apt-get remove --purge failed"
installed=0
dpkg-query -W -f='${Status}' brennix 2>/dev/null | grep -q 'installed' &&
    mismatch "brennix is still installed"
left=()
while IFS= read -r path; do
    # Folders shared with other packages stay; everything of the package's own must go.
    [[ -e $path && ! -d $path ]] && left+=("$path")
done <"$work/owned"
for folder in /usr/share/brennix /usr/share/doc/brennix "$(dirname "$live_module")"; do
    [[ -e $folder ]] && left+=("$folder")
done
((${#left[@]} == 0)) && note "nothing left behind" || mismatch "left behind: ${left[*]:0:5}"
