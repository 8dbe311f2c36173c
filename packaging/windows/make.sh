#!/usr/bin/env bash
# Builds Brennix for 64-bit Windows on Debian and packs it (./build.sh windows runs this):
#   1. the libraries from Debian's sources, once, into the cache (deps.sh);
#   2. the icon and the caller voice, made by the host's own build of the tools that draw and
#      speak them (they need Qt Svg and espeak-ng, which have no Windows build here);
#   3. brennix.exe, its live board's module and brennix-report.exe, cross-built with
#      mingw-toolchain.cmake;
#   4. the portable folder: the programs, every DLL they load (found by reading their imports,
#      as there is no windeployqt), Qt's plugins, "save" and "sound" (the caller voice);
#   5. brennix-VERSION-windows-x64.zip of that folder, and the NSIS installer
#      brennix-VERSION-windows-x64-setup.exe (brennix.nsi).
# Everything goes into BRENNIX_WINDOWS_BUILD (default: build-windows in the checkout).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
out=${BRENNIX_WINDOWS_BUILD:-$source_dir/build-windows}
mkdir -p "$out"
cache=${BRENNIX_WINDOWS_CACHE:-$HOME/.cache/brennix-windows}
host=x86_64-w64-mingw32
jobs=$(nproc)

"$here/deps.sh"

# The newest complete folder of each package in the cache.
prefixes=()
for package in qt6-base sqlite3 libsndfile qrencode postgresql-15 openssl; do
    found=""
    for folder in $(find "$cache" -maxdepth 1 -type d -name "$package-[0-9]*" | sort -rV); do
        [[ -e $folder/.complete ]] && { found=$folder; break; }
    done
    [[ -n $found ]] || { echo "$0: $package is not in $cache" >&2; exit 1; }
    prefixes+=("$found")
done
qt=${prefixes[0]}

# nlohmann-json is header-only: Debian's own package, seen by the cross-build as a prefix of its
# own (the host's /usr must stay out of its search paths).
headers=$out/host-headers
rm -rf "$headers"
mkdir -p "$headers/include" "$headers/share/cmake"
cp -r /usr/include/nlohmann "$headers/include/"
cp -r /usr/share/cmake/nlohmann_json "$headers/share/cmake/"
prefixes+=("$headers")

echo "== The icon and the caller voice, made on the host"
start=$SECONDS
nice -n 10 cmake -S "$source_dir" -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$out/host-configure.log" ||
    { tail -n 30 "$out/host-configure.log" >&2; exit 1; }
nice -n 10 cmake --build "$out/host" --parallel "$jobs" --target brennix_icons brennix_caller_voice
icons=$out/host/packaging/icons/hicolor
convert "$icons"/{16x16,24x24,32x32,48x48,64x64,256x256}/apps/io.github.brennix.Brennix.png \
    "$out/brennix.ico"
echo "host tools: $((SECONDS - start)) s"

echo "== Brennix for Windows"
start=$SECONDS
cross=$out/cross
nice -n 10 cmake -S "$source_dir" -B "$cross" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DBRENNIX_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" \
    "-DBRENNIX_WINDOWS_PREFIXES=$(IFS=';'; echo "${prefixes[*]}")" \
    -DBRENNIX_WINDOWS_ICON="$out/brennix.ico" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    >"$out/cross-configure.log" || { tail -n 30 "$out/cross-configure.log" >&2; exit 1; }
# The program builds the live board's module with it.
nice -n 10 cmake --build "$cross" --parallel "$jobs" --target brennix brennix-report
echo "cross-build: $((SECONDS - start)) s"

echo "== The portable folder"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cross/CMakeCache.txt")
stage=$out/stage/Brennix
rm -rf "$out/stage"
mkdir -p "$stage/save" "$stage/sound"
for program in brennix.exe brennix-report.exe; do
    "$host-strip" -o "$stage/$program" "$cross/$program"
done
"$host-strip" -o "$stage/libbrennix-live.dll" "$cross/libbrennix-live.dll"
# Qt's plugins for the screen, the style, TLS (Windows' own Schannel) and the image formats.
for plugin in platforms/qwindows styles/qwindowsvistastyle tls/qschannelbackend \
              imageformats/qgif imageformats/qico imageformats/qjpeg; do
    mkdir -p "$stage/$(dirname "$plugin")"
    cp "$qt/plugins/$plugin.dll" "$stage/$plugin.dll"
done
cp "$out"/host/packaging/caller-voice/Score*.wav "$stage/sound/"
sed 's/$/\r/' "$source_dir/packaging/copyright" >"$stage/COPYING.txt"

# Where the DLLs come from: the cache, then the MinGW runtime.
dll_dirs=()
for prefix in "${prefixes[@]}"; do [[ -d $prefix/bin ]] && dll_dirs+=("$prefix/bin"); done
dll_dirs+=("$(dirname "$("$host-g++-posix" -print-file-name=libstdc++-6.dll)")"
           /usr/$host/lib)
find_dll() {
    local dir
    for dir in "${dll_dirs[@]}"; do
        [[ -e $dir/$1 ]] && { echo "$dir/$1"; return; }
    done
    return 0
}
# Copies the DLLs a file imports, and theirs, beside the programs; the ones found nowhere here
# are Windows' own (KERNEL32.dll, ...).
collect() {
    local name file
    for name in $("$host-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
        [[ -e $stage/$name ]] && continue
        file=$(find_dll "$name")
        [[ -n $file ]] || continue
        cp "$file" "$stage/$name"
        collect "$stage/$name"
    done
}
# libpq is loaded when the club is first used, not imported.
cp "$(find_dll libpq.dll)" "$stage/"
while IFS= read -r file; do
    collect "$file"
done < <(find "$stage" -name '*.exe' -o -name '*.dll')
"$host-strip" "$stage"/*.dll "$stage"/*/*.dll 2>/dev/null || true

echo "== The zip and the installer"
name=brennix-$version-windows-x64
rm -f "$out/$name.zip" "$out/$name-setup.exe"
(cd "$out/stage" && zip -qr9 "$out/$name.zip" Brennix)
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DICON="$out/brennix.ico" \
    -DOUTFILE="$out/$name-setup.exe" "$here/brennix.nsi"
ls -l "$out/$name.zip" "$out/$name-setup.exe"
