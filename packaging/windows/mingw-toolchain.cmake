# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads, so std::thread works).
#   cmake -DCMAKE_TOOLCHAIN_FILE=packaging/windows/mingw-toolchain.cmake ...
# Libraries are looked up in BRENNIX_WINDOWS_PREFIXES (a list of cache folders), never in the host's /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(toolchain_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${toolchain_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolchain_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${toolchain_triplet}-windres)
set(CMAKE_AR ${toolchain_triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${toolchain_triplet}-ranlib CACHE FILEPATH "")

# Carried into try_compile() projects, which read the toolchain file afresh.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRENNIX_WINDOWS_PREFIXES)
if(NOT BRENNIX_WINDOWS_PREFIXES AND DEFINED ENV{BRENNIX_WINDOWS_PREFIXES})
    set(BRENNIX_WINDOWS_PREFIXES "$ENV{BRENNIX_WINDOWS_PREFIXES}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_triplet} ${BRENNIX_WINDOWS_PREFIXES})

# Programs run on the host; headers, libraries and packages come from the Windows side only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the .pc files of those folders only, never the host's.
set(toolchain_pkgconfig "")
foreach(prefix IN LISTS CMAKE_FIND_ROOT_PATH)
    list(APPEND toolchain_pkgconfig "${prefix}/lib/pkgconfig")
endforeach()
list(JOIN toolchain_pkgconfig ":" toolchain_pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} "${toolchain_pkgconfig}")
