#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

#include "util/precise_pause.h"

namespace velimo {

namespace {

constexpr long kNsPerSecond = 1000000000L;
// The least slack the kernel takes (a value of 0 would mean "the default").
constexpr unsigned long kPauseSlackNs = 1;

// Restores the thread's timer slack however the pause ends.
class LowSlack {
 public:
  LowSlack() {
    const int old = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (old > 0 && static_cast<unsigned long>(old) != kPauseSlackNs &&
        prctl(PR_SET_TIMERSLACK, kPauseSlackNs, 0, 0, 0) == 0) {
      old_ = static_cast<unsigned long>(old);
    }
  }
  ~LowSlack() {
    if (old_ != 0) prctl(PR_SET_TIMERSLACK, old_, 0, 0, 0);
  }
  LowSlack(const LowSlack&) = delete;
  LowSlack& operator=(const LowSlack&) = delete;

 private:
  unsigned long old_ = 0;  // 0: nothing to restore
};

}  // namespace

void PrecisePause(int ms) {
  if (ms <= 0) return;
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= kNsPerSecond) {
    deadline.tv_nsec -= kNsPerSecond;
    ++deadline.tv_sec;
  }
  LowSlack slack;
  // An absolute deadline: a signal that wakes the thread early costs a
  // second call, never a shortened pause or a drift from restarting a
  // relative sleep.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace velimo
