#include <windows.h>

#include "util/precise_pause.h"
// after windows.h
#include <timeapi.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace velimo {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

using Clock = std::chrono::steady_clock;

// Windows' timer ticks every 15.6 ms by default, so a plain Sleep(5) after
// a byte would take three times as long as asked. Two ways wake within
// about a millisecond: a high-resolution waitable timer (Windows 10 1803
// and later), which leaves the system's tick alone, and Sleep with the
// tick raised to 1 ms (timeBeginPeriod). Which is closer differs between
// systems (on Windows the timer; under wine, whose timers go through its
// server, Sleep), so the first pause tries both briefly and keeps the
// closer one for the program's life.
HANDLE CreatePauseTimer() {
  HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                        TIMER_ALL_ACCESS);
  return timer ? timer : CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

void TimerWait(HANDLE timer, int64_t us) {
  LARGE_INTEGER due;
  due.QuadPart = -us * 10;  // relative, in 100 ns units
  if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
    WaitForSingleObject(timer, INFINITE);
  } else {
    Sleep(static_cast<DWORD>((us + 999) / 1000));
  }
}

void SleepWait(int64_t us) {
  Sleep(static_cast<DWORD>((us + 999) / 1000));
}

// The worst overrun of three 2 ms waits of one way.
template <typename Wait>
Clock::duration Overrun(Wait wait) {
  Clock::duration worst{};
  for (int i = 0; i < 3; ++i) {
    const Clock::time_point start = Clock::now();
    wait(2000);
    worst = std::max(worst, Clock::now() - start - std::chrono::milliseconds(2));
  }
  return worst;
}

bool UseTimer() {
  static bool useTimer = true;
  static std::once_flag decided;
  std::call_once(decided, [] {
    HANDLE timer = CreatePauseTimer();
    const Clock::duration byTimer = Overrun([timer](int64_t us) { TimerWait(timer, us); });
    if (timer) CloseHandle(timer);
    timeBeginPeriod(1);
    const Clock::duration bySleep = Overrun(SleepWait);
    useTimer = byTimer <= bySleep;
    // The raised tick costs the whole system power: kept only when used.
    if (useTimer) timeEndPeriod(1);
  });
  return useTimer;
}

// One timer per thread: the pause runs on the user-interface thread and
// on the bench's and the profile apply's threads at once.
class ThreadTimer {
 public:
  ThreadTimer() : timer_(CreatePauseTimer()) {}
  ~ThreadTimer() {
    if (timer_) CloseHandle(timer_);
  }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;
  HANDLE get() const { return timer_; }

 private:
  HANDLE timer_;
};

}  // namespace

void PrecisePause(int ms) {
  if (ms <= 0) return;
  const bool useTimer = UseTimer();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  // A wake-up before the deadline (the timer's granularity) costs a second
  // wait for what is left, never a shortened pause.
  for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
    const int64_t left = std::max<int64_t>(
        1, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count());
    if (useTimer) {
      thread_local ThreadTimer timer;
      TimerWait(timer.get(), left);
    } else {
      SleepWait(left);
    }
  }
}

}  // namespace velimo
