// The program's workers (the live board's server, the club's sync, the statistics' queries) run
// beside the window's thread, which has to answer the operator at once. On a machine of few cores
// they take turns with it; at a lower priority they yield to it whenever both want a core, and
// still get every moment it leaves free. No Qt.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace brennix {

// How much lower than the window's thread: a worker gets about a tenth of a core the window's
// thread wants as well.
inline constexpr int BackgroundNiceness = 10;

// Lowers the priority of the calling thread (on Linux each thread has its own nice value; the
// threads it starts inherit it; Windows has a priority just below normal for it). Nothing happens
// where that is not allowed.
inline void RunInBackground() {
#ifdef _WIN32
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#else
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), BackgroundNiceness);
#endif
}

} // namespace brennix
