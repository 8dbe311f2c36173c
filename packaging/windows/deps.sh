#!/usr/bin/env bash
# Cross-builds the libraries Brennix needs on Windows from Debian's own sources, once, into a cache
# outside the checkout: one folder per package and version, skipped once complete.
#   packaging/windows/deps.sh                 fetch and build whatever is not in the cache yet
#   packaging/windows/deps.sh qt6-svg ...     only these (the ones they need must be built already)
#   packaging/windows/deps.sh --no-compile    fetch and configure, compile nothing
# BRENNIX_WINDOWS_CACHE moves the cache (default ~/.cache/brennix-windows).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

host=x86_64-w64-mingw32
cache=${BRENNIX_WINDOWS_CACHE:-$HOME/.cache/brennix-windows}
jobs=$(nproc)
order=(sqlite3 libsndfile qrencode openssl postgresql-15 qt6-base)
# Built only when named: Debian's archive here does not serve their sources (404).
extra=(qt6-websockets qt6-svg)

compile=yes
wanted=()
for arg in "$@"; do
    case $arg in
        --no-compile) compile=no ;;
        -*) echo "usage: $0 [--no-compile] [package...]" >&2; exit 2 ;;
        *) if [[ " ${order[*]} ${extra[*]} " != *" $arg "* ]]; then
               echo "$0: no such package: $arg" >&2
               exit 2
           fi
           wanted+=("$arg") ;;
    esac
done
((${#wanted[@]})) || wanted=("${order[@]}")

# Everything below runs at the lowest priority: the machine is shared.
renice -n 19 -p $$ >/dev/null

# Debian packages the cross-builds need.
packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools  # the compilers
    wine64 nsis zip unzip imagemagick         # running the Windows build, packing it, its icon
    cmake ninja-build make patch dpkg-dev     # building, and unpacking Debian's sources
    tcl bison flex perl python3               # generators some of the sources run
    qt6-base-dev qt6-base-dev-tools           # the host's Qt tools (moc, rcc, uic) Qt's build runs
    libwine-dev                               # wintab.h and pktdef.h, left out of Debian's Qt
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

# A private apt configuration that knows Debian 12's source packages; the system's sources stay as
# they are. Its lists are read again once a day.
aptdir=$cache/apt
apt=(-o "Dir::Etc::sourcelist=$aptdir/sources.list"
     -o "Dir::Etc::sourceparts=$aptdir/sources.list.d"
     -o "Dir::State::Lists=$aptdir/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
     -o APT::Sandbox::User=root -o APT::Get::Only-Source=true)
mkdir -p "$aptdir/lists/partial" "$aptdir/sources.list.d"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$aptdir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
if [[ -z $(find "$aptdir/lists" -maxdepth 1 -name '*_Sources*' -mmin -1440 -print -quit) ]]; then
    apt-get "${apt[@]}" update >/dev/null
fi

# The versions of a source package in Debian 12's index, newest first.
source_versions() {
    local versions
    versions=$({ apt-cache "${apt[@]}" showsrc --only-source "$1" 2>/dev/null || true; } |
        sed -n 's/^Version: //p' | sort -rVu)
    [[ -n $versions ]] || { echo "$0: no source package $1 in Debian 12" >&2; exit 1; }
    echo "$versions"
}

# The installed folder of a package that must be built already.
prefix_of() {
    local version
    for version in $(source_versions "$1"); do
        if [[ -e $cache/$1-$version/.complete ]]; then
            echo "$cache/$1-$version"
            return
        fi
    done
    echo "$0: $1 is needed first; build it with: $0 $1" >&2
    exit 1
}

# logged NAME COMMAND...: runs one command with its output in the work folder's NAME.log, and shows
# the end of that log if it fails.
logged() {
    local log=$work/$1.log
    shift
    if ! "$@" >"$log" 2>&1; then
        echo "$0: failed: $*" >&2
        tail -n 40 "$log" >&2
        echo "$0: the whole output is in $log" >&2
        exit 1
    fi
}

# Each package: configure_NAME and compile_NAME, run in the build folder; $src is Debian's source
# with its patches and ours applied (then prepare_NAME, if there is one), $dest the folder to
# install into.

configure_sqlite3() {
    logged configure "$src/configure" --disable-tcl --disable-readline
}
compile_sqlite3() {
    # The amalgamation is generated on the host, then compiled once for Windows, with the features
    # Debian's own build turns on so that both platforms' databases behave the same.
    logged amalgamation make sqlite3.c
    mkdir -p "$dest/bin" "$dest/lib/pkgconfig" "$dest/include"
    logged dll "$host-gcc-posix" -O2 -shared -o "$dest/bin/sqlite3.dll" \
        -Wl,--out-implib,"$dest/lib/libsqlite3.dll.a" \
        -DSQLITE_ENABLE_MATH_FUNCTIONS -DSQLITE_ENABLE_JSON1 -DSQLITE_THREADSAFE=1 \
        -DSQLITE_USE_URI=1 -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA \
        -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_FTS3_TOKENIZER=1 \
        -DSQLITE_ENABLE_FTS4 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE=1 -DSQLITE_SOUNDEX=1 \
        -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_ALLOW_ROWID_IN_VIEW \
        -DSQLITE_ENABLE_LOAD_EXTENSION -DSQLITE_LIKE_DOESNT_MATCH_BLOBS \
        -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_ENABLE_PREUPDATE_HOOK -DSQLITE_ENABLE_SESSION \
        -DSQLITE_ENABLE_STMTVTAB -DSQLITE_MAX_VARIABLE_NUMBER=250000 sqlite3.c
    cp sqlite3.h sqlite3ext.h "$dest/include/"
    local version
    version=$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' sqlite3.h)
    cat >"$dest/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$dest
Name: SQLite
Description: SQL database engine
Version: $version
Libs: -L\${prefix}/lib -lsqlite3
Cflags: -I\${prefix}/include
EOF
}

# Options every CMake-built library gets.
cmake_options=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake"
               -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF)

configure_libsndfile() {
    logged configure cmake -S "$src" -B . "${cmake_options[@]}" -DCMAKE_INSTALL_PREFIX="$dest" \
        -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF
}
compile_libsndfile() {
    logged compile cmake --build . --parallel "$jobs"
    logged install cmake --install .
}

configure_qrencode() {
    logged configure cmake -S "$src" -B . "${cmake_options[@]}" -DCMAKE_INSTALL_PREFIX="$dest" \
        -DWITH_TOOLS=OFF -DWITH_TESTS=OFF
}
compile_qrencode() {
    logged compile cmake --build . --parallel "$jobs"
    logged install cmake --install .
    # Its install puts the DLL beside the import library; the other packages have theirs in bin/.
    mkdir -p "$dest/bin"
    mv "$dest/lib/libqrencode.dll" "$dest/bin/"
}

configure_openssl() {
    # Configure takes the prefix and puts it before the compiler's name.
    logged configure perl "$src/Configure" mingw64 shared no-tests --cross-compile-prefix="$host-" \
        CC=gcc-posix CXX=g++-posix --prefix="$dest" --libdir=lib --openssldir=ssl
}
compile_openssl() {
    logged compile make -j"$jobs" build_libs
    logged install make install_dev install_runtime_libs
}

configure_postgresql_15() {
    local ssl
    ssl=$(prefix_of openssl)
    logged configure "$src/configure" --host="$host" --prefix="$dest" \
        CC="$host-gcc-posix" CXX="$host-g++-posix" \
        --without-readline --without-icu --without-zlib --without-llvm --with-ssl=openssl \
        CPPFLAGS="-I$ssl/include" LDFLAGS="-L$ssl/lib"
}
compile_postgresql_15() {
    # Only the client library, and the headers its users include.
    logged compile make -j"$jobs" -C src/interfaces/libpq
    logged install make -C src/interfaces/libpq install
    install -m 644 src/include/pg_config.h src/include/pg_config_ext.h \
        "$src/src/include/postgres_ext.h" "$dest/include/"
}

prepare_qt6_base() {
    # The headers our patch's wintab.h and pktdef.h stand in front of.
    mkdir -p "$1/src/3rdparty/wintab/wine"
    cp /usr/include/wine/wine/windows/wintab.h /usr/include/wine/wine/windows/pktdef.h \
        "$1/src/3rdparty/wintab/wine/"
}
configure_qt6_base() {
    # The host's Qt of the same version gives the tools (moc, rcc, uic) the build runs.
    local features=(sql testlib printsupport concurrent xml vulkan direct2d)
    logged configure "$src/configure" -prefix "$dest" -xplatform win32-g++ \
        -device-option CROSS_COMPILE="$host-" -qt-host-path /usr \
        -release -shared -nomake tests -nomake examples \
        -no-opengl -no-dbus -no-icu -no-openssl -schannel \
        -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-harfbuzz -qt-freetype \
        "${features[@]/#/-no-feature-}" \
        -- -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake"
}
compile_qt6_base() {
    logged compile cmake --build . --parallel "$jobs"
    logged install cmake --install .
}

# Qt's other modules build with the toolchain file the cross-built Qt installed, which reads ours.
configure_qt_module() {
    local qt
    qt=$(prefix_of qt6-base)
    logged configure cmake -S "$src" -B . -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_INSTALL_PREFIX="$dest" -DCMAKE_BUILD_TYPE=Release \
        -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF
}
configure_qt6_websockets() { configure_qt_module; }
configure_qt6_svg() { configure_qt_module; }
compile_qt6_websockets() { compile_qt6_base; }
compile_qt6_svg() { compile_qt6_base; }

# The size in bytes of the files apt would fetch for a version of a source package.
download_size() {
    apt-get "${apt[@]}" source --print-uris "$1=$2" |
        awk '/^\x27/ { sum += $3 } END { print sum + 0 }'
}

# fetch PACKAGE VERSION...: Debian's source with Debian's patches applied, then ours, into the work
# folder; sets version and work. The newest version whose files the archive serves is taken. If none
# is whole but an upstream tarball arrived without its .dsc or debian.tar, that tarball (checked by
# apt against Debian's index all the same) is unpacked without Debian's patches, and said so.
fetch() {
    local package=$1 start=$SECONDS download tree="" fallback="" failed
    shift
    for version in "$@"; do
        work=$cache/work/$package-$version
        rm -rf "$work"
        mkdir -p "$work"
        download=$(download_size "$package" "$version")
        echo "$package $version: fetching $(mib "$download")"
        if (cd "$work" && apt-get "${apt[@]}" source "$package=$version") >"$work/fetch.log" 2>&1
        then
            tree=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$package-*")
            break
        fi
        failed=$(grep -E '^E: Failed to fetch [a-z]+://' "$work/fetch.log" || true)
        echo "$package $version: not in the archive:" >&2
        sed 's/^E: Failed to fetch /    /' <<<"${failed:-$(tail -n 5 "$work/fetch.log")}" >&2
        # Only the .dsc or the debian.tar missing, and the upstream tarball here.
        if [[ -z $fallback && -n $failed &&
              $(grep -Evc '\.(dsc|debian\.tar\.[a-z0-9]+) ' <<<"$failed") -eq 0 &&
              -n $(find "$work" -maxdepth 1 -name "${package}_*.orig.tar.*" ! -name '*.asc') ]]
        then
            fallback=$version
        else
            rm -rf "$work"
        fi
    done
    if [[ -n $tree && -n $fallback ]]; then
        rm -rf "$cache/work/$package-$fallback"
    elif [[ -z $tree ]]; then
        [[ -n $fallback ]] || { echo "$0: no version of $package could be fetched" >&2; exit 1; }
        version=$fallback
        work=$cache/work/$package-$version
        download=$(download_size "$package" "$version")
        echo "$package $version: WARNING: building the upstream source without Debian's patches" >&2
        tree=$work/$package-upstream
        mkdir "$tree"
        local tarball
        tarball=$(find "$work" -maxdepth 1 -name "${package}_*.orig.tar.*" ! -name '*.orig-*' \
            ! -name '*.asc')
        tar -xf "$tarball" -C "$tree" --strip-components=1
    fi
    [[ -d $tree ]] || { echo "$0: no source folder in $work" >&2; exit 1; }

    local patch
    for patch in "$here/patches/$package"/*.patch; do
        [[ -e $patch ]] || continue
        echo "$package: applying $(basename "$patch")"
        logged "patch-$(basename "$patch" .patch)" patch -d "$tree" -p1 --forward -i "$patch"
    done
    if declare -F "prepare_${package//-/_}" >/dev/null; then
        "prepare_${package//-/_}" "$tree"
    fi
    ln -sfn "$(basename "$tree")" "$work/source"
    echo "$download $((SECONDS - start))" >"$work/.fetched"
}

mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }

build() {
    local package=$1 versions start download
    versions=$(source_versions "$package")
    for version in $versions; do
        if [[ -e $cache/$package-$version/.complete ]]; then
            echo "$package $version: in the cache"
            return
        fi
    done
    # A build that stopped goes on where it was.
    work=""
    for version in $versions; do
        if [[ -e $cache/work/$package-$version/.fetched ]]; then
            work=$cache/work/$package-$version
            break
        fi
    done
    if [[ -z $work ]]; then
        # shellcheck disable=SC2086 # one version a word
        fetch "$package" $versions
    fi
    dest=$cache/$package-$version
    src=$(cd "$work/source" && pwd -P)
    mkdir -p "$work/build"
    cd "$work/build"

    local step=configure_${package//-/_}
    if [[ ! -e $work/.configured ]]; then
        echo "$package $version: configuring"
        start=$SECONDS
        rm -rf "$dest"
        "$step"
        echo "$((SECONDS - start))" >"$work/.configured"
    fi
    if [[ $compile == no ]]; then
        cd "$cache"
        return
    fi

    echo "$package $version: compiling (log: $work/compile.log)"
    start=$SECONDS
    rm -rf "$dest"
    "compile_${package//-/_}"
    local seconds=$((SECONDS - start + $(cat "$work/.configured"))) size
    size=$(du -sb "$dest" | cut -f1)
    read -r download _ <"$work/.fetched"
    echo "$package $version: built in $((seconds / 60)) min $((seconds % 60)) s," \
        "$(mib "$size") installed"
    printf 'downloaded %s\nbuilt in %s s\ninstalled %s\n' "$download" "$seconds" "$size" \
        >"$dest/.complete"
    cd "$cache"
    rm -rf "$work"
}

for package in "${order[@]}" "${extra[@]}"; do
    if [[ " ${wanted[*]} " == *" $package "* ]]; then
        build "$package"
    fi
done

echo "Cache: $cache, $(mib "$(du -sb "$cache" | cut -f1)")"
