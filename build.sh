#!/usr/bin/env bash
# Sets up a Debian 12 machine for Brennix, builds it, then starts it or runs every test.
#   ./build.sh run    install what is missing, build, start the program
#   ./build.sh test   install what is missing, build, run every test (the Windows build's too)
#   ./build.sh windows  also build for Windows: build-windows/brennix-VERSION-windows-x64.zip
#                     and its installer (packaging/windows/make.sh)
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-}
if [[ $mode != run && $mode != test && $mode != windows ]]; then
    echo "usage: $0 run|test|windows" >&2
    exit 2
fi

# Debian packages the build, the program and the tests need.
packages=(
    g++ cmake ninja-build pkg-config          # the build
    qt6-base-dev qt6-svg-dev libsndfile1-dev libpulse-dev fonts-liberation  # windows, sounds, icon
    nlohmann-json3-dev                        # JSON of brennix-report and the live board
    libsqlite3-dev sqlite3                    # the match history, and reading it in its test
    libgtest-dev libgmock-dev libbenchmark-dev # tests and benchmarks
    clang libclang-rt-14-dev                  # the fuzz test with its sanitizers
    xvfb xdotool imagemagick curl             # the end-to-end tests in a real X server
    openbox x11-utils                         # ... once more under a window manager
    pulseaudio                                # a private sound server for the sound test
    espeak-ng sox                             # the caller voice script and the packaged voice
    desktop-file-utils appstream file         # the install test
    dpkg-dev lintian                          # the Debian package and its test
    qt6-websockets-dev                        # the live board's server
    libqrencode-dev zbar-tools                # the live board's address as a QR code, read back
    chromium nodejs node-ws                   # the live board's test in a headless browser
    libpq-dev postgresql-15                   # the club's database: the client, and a server for its tests
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root=()
    [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The Windows build needs no Linux build of its own (packaging/windows/make.sh).
[[ $mode != windows ]] || exec packaging/windows/make.sh

# The test command also makes warnings errors and builds the fuzz test; a plain build does neither.
options=()
[[ $mode == run ]] || options=(-DBRENNIX_WERROR=ON -DBRENNIX_FUZZ=ON)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
cmake --build build --parallel

if [[ $mode == test ]]; then
    ctest --test-dir build --output-on-failure --timeout 600
    # The Windows build, and under wine the same match as the Linux build's, leaving the same
    # files. It runs here rather than in ctest: a Linux build folder knows nothing of the Windows
    # build's folder or toolchain.
    packaging/windows/make.sh
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
    tests/windows/wine_test.sh "build-windows/brennix-$version-windows-x64.zip" build build/wine
else
    exec build/brennix "${@:2}"
fi
