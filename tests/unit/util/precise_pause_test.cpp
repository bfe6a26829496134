#include "util/precise_pause.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

// Every sleep of the pause passes here and is counted, so a test tells a
// pause that sleeps from one that does not by the count, not by the time
// it took (which a loaded machine changes). Under a sanitizer its own
// wrapper is called, so it still sees the sleep.
extern "C" int __interceptor_clock_nanosleep(clockid_t, int, const timespec*, timespec*)
    __attribute__((weak));
namespace {
std::atomic<long> g_sleeps{0};
}
extern "C" int clock_nanosleep(clockid_t clock, int flags, const timespec* until, timespec* left) {
  g_sleeps.fetch_add(1);
  if (__interceptor_clock_nanosleep)
    return __interceptor_clock_nanosleep(clock, flags, until, left);
  using Sleep = int (*)(clockid_t, int, const timespec*, timespec*);
  static const Sleep real = reinterpret_cast<Sleep>(dlsym(RTLD_NEXT, "clock_nanosleep"));
  return real(clock, flags, until, left);
}

namespace velimo {
namespace {

using Clock = std::chrono::steady_clock;

double ElapsedMs(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The byte pause and short pauses around it, many times each: not one may
// end before its nominal length.
TEST(PrecisePause, NeverReturnsEarly) {
  for (int ms : {1, 2, 5, 10, 20}) {
    for (int i = 0; i < 20; ++i) {
      const auto start = Clock::now();
      PrecisePause(ms);
      const double took = ElapsedMs(start);
      ASSERT_GE(took, ms) << ms << " ms pause, run " << i;
    }
  }
}

// Nothing to wait for: the pause does not sleep at all (a length taken as
// unsigned would sleep for ages, and the suite's time limit end it).
TEST(PrecisePause, NothingToWaitFor) {
  long before = g_sleeps.load();
  PrecisePause(1);
  ASSERT_GE(g_sleeps.load() - before, 1)
      << "the pause's sleeps are not seen, the test proves nothing";
  for (int ms : {0, -1, -5000}) {
    before = g_sleeps.load();
    PrecisePause(ms);
    EXPECT_EQ(g_sleeps.load() - before, 0) << ms;
  }
}

std::atomic<int> g_signals{0};
void CountSignal(int) {
  g_signals.fetch_add(1, std::memory_order_relaxed);
}

// Signals arriving all through the pause (a handler installed without
// SA_RESTART, so each one interrupts the sleep) must not shorten it.
TEST(PrecisePause, SignalsDoNotShortenIt) {
  struct sigaction action {};
  struct sigaction old {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);

  g_signals = 0;
  const pthread_t pauser = pthread_self();
  std::atomic<bool> pausing{true};
  std::thread sender([&] {
    while (pausing.load()) {
      pthread_kill(pauser, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  double shortest = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    PrecisePause(30);
    shortest = std::min(shortest, ElapsedMs(start));
  }
  pausing = false;
  sender.join();
  sigaction(SIGUSR1, &old, nullptr);

  EXPECT_GT(g_signals.load(), 5) << "the pauses were not interrupted, the test proves nothing";
  EXPECT_GE(shortest, 30.0);
}

// The lowered slack is the pause's own business: the thread's other waits
// (its event loop's timeouts) keep the slack they had.
TEST(PrecisePause, RestoresTheThreadsTimerSlack) {
  const int before = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  ASSERT_EQ(prctl(PR_SET_TIMERSLACK, 123456UL, 0, 0, 0), 0);
  PrecisePause(2);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 123456);
  prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(before), 0, 0, 0);
}

}  // namespace
}  // namespace velimo
