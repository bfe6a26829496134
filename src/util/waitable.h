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

#include <vector>

namespace velimo {

#ifdef _WIN32
using Waitable = void*;  // a HANDLE
inline constexpr Waitable kNoWaitable = nullptr;
#else
using Waitable = int;  // a file descriptor
inline constexpr Waitable kNoWaitable = -1;
#endif

// Sleeps until one of items is readable (signalled) or timeoutMs have
// passed (0: only looks; negative: no limit), and returns those that are
// ready then, in the order given; empty when the time ran out. Raises
// std::system_error when the wait itself fails.
std::vector<Waitable> WaitForAny(const std::vector<Waitable>& items, int timeoutMs);

// A wake-up that one thread signals and another sleeps on: an eventfd on
// POSIX, a manual-reset event on Windows. It stays readable (signalled)
// from SignalWakeEvent until ResetWakeEvent. Create raises
// std::system_error when the system has none left to give.
Waitable CreateWakeEvent();
void DestroyWakeEvent(Waitable event);
void SignalWakeEvent(Waitable event);
void ResetWakeEvent(Waitable event);

}  // namespace velimo
