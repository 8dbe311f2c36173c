// poll() for the two kinds of descriptors Brennix's shared code waits on: a network socket (the
// club's connection, as libpq gives it) and the read end of a pipe2() pipe (the request to stop).
// Windows' WSAPoll takes sockets only, so a pipe is looked at between short waits on the sockets.
#pragma once

// winsock2.h before windows.h, which would bring the old winsock.h.
#include <winsock2.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <io.h>
#include <windows.h>

// The descriptor as the C library has it (int), not Windows' SOCKET.
struct brennix_pollfd {
    int fd;
    short events;
    short revents;
};
#define pollfd brennix_pollfd
#define poll brennix_poll

namespace brennix_compat {

inline bool IsSocket(int fd) {
    int type = 0;
    int size = sizeof type;
    return ::getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_TYPE,
                        reinterpret_cast<char*>(&type), &size) == 0;
}

// Whether a pipe has bytes to read, or has been closed at its other end.
inline bool PipeReady(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD available = 0;
    if (handle == INVALID_HANDLE_VALUE) return true;
    return !::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0;
}

} // namespace brennix_compat

inline int brennix_poll(brennix_pollfd* fds, unsigned long count, int timeoutMs) {
    using namespace std::chrono;
    constexpr int SliceMs = 20; // how long a stop request may wait to be seen
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int ready = 0;
        WSAPOLLFD sockets[8];
        unsigned long of[8]; // which of fds each socket is
        unsigned long socketCount = 0;
        for (unsigned long i = 0; i < count && i < 8; ++i) {
            fds[i].revents = 0;
            if (brennix_compat::IsSocket(fds[i].fd)) {
                of[socketCount] = i;
                sockets[socketCount++] = {static_cast<SOCKET>(fds[i].fd), fds[i].events, 0};
            } else if (brennix_compat::PipeReady(fds[i].fd)) {
                fds[i].revents = POLLIN;
                ++ready;
            }
        }
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        const int wait = ready > 0 || timeoutMs == 0 ? 0
                         : timeoutMs < 0
                             ? SliceMs
                             : static_cast<int>(std::clamp<long long>(left, 0, SliceMs));
        if (socketCount > 0) {
            const int result = ::WSAPoll(sockets, socketCount, wait);
            if (result < 0) {
                errno = EBADF;
                return -1;
            }
        } else if (wait > 0) {
            ::Sleep(static_cast<DWORD>(wait));
        }
        for (unsigned long s = 0; s < socketCount; ++s) {
            fds[of[s]].revents = sockets[s].revents;
            if (sockets[s].revents != 0) ++ready;
        }
        if (ready > 0 || (timeoutMs >= 0 && steady_clock::now() >= deadline)) return ready;
    }
}
