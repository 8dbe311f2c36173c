// The few POSIX functions Brennix's shared code calls that MinGW's C library lacks, given their
// Windows equivalents. Included before every file of the Windows build (the top CMakeLists.txt).
#pragma once

// localtime_r and gmtime_r from MinGW's <time.h>.
#ifndef _POSIX_THREAD_SAFE_FUNCTIONS
#define _POSIX_THREAD_SAFE_FUNCTIONS 200112L
#endif

#ifdef __cplusplus
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <io.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT // not inherited by the programs it starts
#endif

inline std::time_t timegm(std::tm* parts) {
    return ::_mkgmtime(parts);
}

// A pipe of the C library's descriptors, binary and not inherited (the only flag asked for).
inline int pipe2(int fds[2], int flags) {
    return ::_pipe(fds, 256, _O_BINARY | flags);
}
#endif
