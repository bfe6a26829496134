// What a thread sleeps on until something happens: the four places where
// one layer hands another something to wait on (the platform's watch, the
// hand-over's wake-up, a port transport's arrivals, the device watcher)
// pass this type, so no layer above the system code knows its kind.
//
// On POSIX it is a file descriptor that turns readable (an eventfd, a
// device, a socket, inotify), waited on with poll or epoll; on Windows a
// handle that is signalled (an event), waited on with
// WaitForMultipleObjects.
#pragma once

namespace velimo {

#ifdef _WIN32
using Waitable = void*;  // a HANDLE
inline constexpr Waitable kNoWaitable = nullptr;
#else
using Waitable = int;  // a file descriptor
inline constexpr Waitable kNoWaitable = -1;
#endif

}  // namespace velimo
