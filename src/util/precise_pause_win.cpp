#include <windows.h>

#include "util/precise_pause.h"
// after windows.h
#include <timeapi.h>

#include <chrono>

namespace velimo {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// Windows' timer ticks every 15.6 ms by default, so Sleep(5) after a byte
// would take three times as long as asked. A high-resolution waitable
// timer (Windows 10 1803 and later) wakes within about a millisecond
// without raising the tick for the whole system; where there is none, the
// tick is raised to 1 ms for the program's life, once.
class PauseTimer {
 public:
  PauseTimer() {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    if (!timer_) {
      timeBeginPeriod(1);
      timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
  }
  ~PauseTimer() {
    if (timer_) CloseHandle(timer_);
  }
  PauseTimer(const PauseTimer&) = delete;
  PauseTimer& operator=(const PauseTimer&) = delete;

  // Sleeps about us microseconds (never returns early by the timer's own
  // account; the caller checks the clock).
  void Wait(int64_t us) {
    LARGE_INTEGER due;
    due.QuadPart = -us * 10;  // relative, in 100 ns units
    if (timer_ && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
      WaitForSingleObject(timer_, INFINITE);
    } else {
      Sleep(static_cast<DWORD>((us + 999) / 1000));
    }
  }

 private:
  HANDLE timer_ = nullptr;
};

}  // namespace

void PrecisePause(int ms) {
  if (ms <= 0) return;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  // One timer per thread: the pause runs on the user-interface thread and
  // on the bench's and the profile apply's threads at once.
  thread_local PauseTimer timer;
  // A wake-up before the deadline (the timer's granularity) costs a second
  // wait for what is left, never a shortened pause.
  for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    timer.Wait(left.count() > 0 ? left.count() : 1);
  }
}

}  // namespace velimo
