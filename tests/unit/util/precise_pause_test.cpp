#include "util/precise_pause.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>

#include <atomic>
#include <chrono>
#include <thread>

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

TEST(PrecisePause, NothingToWaitFor) {
  for (int ms : {0, -1, -5000}) {
    const auto start = Clock::now();
    PrecisePause(ms);
    EXPECT_LT(ElapsedMs(start), 100.0) << ms;
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
