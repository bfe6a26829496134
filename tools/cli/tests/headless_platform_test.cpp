// The headless platform on the real clock: timers, the event loop over a
// real port's hand-over, message boxes that serve what waits, pauses that
// serve nothing. Times are checked with generous margins; what matters is
// order and whether something ran at all.
#include "forms/headless_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "serial/com_port.h"

namespace velimo::forms {
namespace {

TEST(HeadlessPlatformTest, TimersTickOnTheRealClockWhileTheLoopRuns) {
  HeadlessPlatform p;
  int fast = 0, slow = 0;
  auto a = p.CreateTimer([&] { ++fast; });
  auto b = p.CreateTimer([&] { ++slow; });
  a->Start(20);
  b->Start(1000);
  const int64_t start = p.MonotonicMs();
  p.RunFor(230);
  EXPECT_GE(p.MonotonicMs() - start, 230);
  // About eleven; fewer on a loaded machine, never one per loop round.
  EXPECT_GE(fast, 3);
  EXPECT_LE(fast, 12);
  EXPECT_EQ(slow, 0);
  EXPECT_TRUE(a->Active());

  a->Stop();
  const int before = fast;
  p.RunFor(60);
  EXPECT_EQ(fast, before);
  EXPECT_FALSE(a->Active());
}

TEST(HeadlessPlatformTest, AnIdleLoopSleepsUntilItsTimerIsDue) {
  HeadlessPlatform p;
  p.RunFor(300);  // nothing to serve: one wait for the whole time
  EXPECT_LE(p.Wakeups(), 2);

  int ticks = 0;
  auto t = p.CreateTimer([&] { ++ticks; });
  t->Start(100);
  const int64_t before = p.Wakeups();
  p.RunFor(350);
  EXPECT_GE(ticks, 2);
  // A wake-up per tick, not one every few milliseconds.
  EXPECT_LE(p.Wakeups() - before, ticks + 2);
}

TEST(HeadlessPlatformTest, NoTickOutsideTheLoopOrDuringAPause) {
  HeadlessPlatform p;
  int ticks = 0;
  auto t = p.CreateTimer([&] { ++ticks; });
  t->Start(10);
  p.Pause(60);  // blocks and serves nothing
  EXPECT_EQ(ticks, 0);
  p.ProcessEvents();  // overdue: one tick, not one per missed interval
  EXPECT_EQ(ticks, 1);
}

TEST(HeadlessPlatformTest, TickMayStopOrDestroyTimers) {
  HeadlessPlatform p;
  std::unique_ptr<PlatformTimer> other;
  int other_ticks = 0, ticks = 0;
  auto first = p.CreateTimer([&] {
    ++ticks;
    other.reset();  // destroyed while due in the same round
  });
  other = p.CreateTimer([&] { ++other_ticks; });
  first->Start(5);
  other->Start(5);
  p.Pause(20);
  p.ProcessEvents();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(other_ticks, 0);
  EXPECT_EQ(other, nullptr);

  PlatformTimer* self = nullptr;
  int once = 0;
  auto stopper = p.CreateTimer([&] {
    ++once;
    self->Stop();
  });
  self = stopper.get();
  stopper->Start(5);
  p.RunFor(80);
  EXPECT_EQ(once, 1);
}

TEST(HeadlessPlatformTest, RunUntilEndsWhenDoneOrWhenTimeIsUp) {
  HeadlessPlatform p;
  int ticks = 0;
  auto t = p.CreateTimer([&] { ++ticks; });
  t->Start(10);
  EXPECT_TRUE(p.RunUntil([&] { return ticks >= 3; }, 2000));
  EXPECT_EQ(ticks, 3);
  // Time up: never before it (a load only makes it later); a run that
  // never gave up would be ended by the suite's time limit. The timer was
  // served meanwhile.
  const int64_t start = p.MonotonicMs();
  const int64_t served = p.TicksServed();
  EXPECT_FALSE(p.RunUntil([] { return false; }, 100));
  EXPECT_GE(p.MonotonicMs() - start, 100);
  EXPECT_GT(p.TicksServed(), served);
  EXPECT_GE(p.LastTickMs(), start);
}

TEST(HeadlessPlatformTest, BoxesGoToTheirReadersAndConfirmationsDefaultToNo) {
  HeadlessPlatform p;
  std::vector<std::string> seen;
  p.on_message = [&](std::string_view t) {
    seen.push_back("m:" + std::string(t));
    EXPECT_EQ(p.OpenBoxes(), 1);
  };
  p.on_error = [&](std::string_view t) { seen.push_back("e:" + std::string(t)); };
  p.ShowMessage("hello");
  p.ShowError("bad.");
  EXPECT_EQ(seen, (std::vector<std::string>{"m:hello", "e:bad."}));
  EXPECT_EQ(p.OpenBoxes(), 0);

  testing::internal::CaptureStdout();
  EXPECT_FALSE(p.Confirm("Continue factory reset?"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "confirm: Continue factory reset? -> No\n");
  p.on_confirm = [](std::string_view) { return true; };
  EXPECT_TRUE(p.Confirm("Continue factory reset?"));

  int restarts = 0;
  p.on_restart = [&] { ++restarts; };
  EXPECT_FALSE(p.RestartRequested());
  p.RestartApplication();
  EXPECT_TRUE(p.RestartRequested());
  EXPECT_EQ(restarts, 1);
}

// A real port on a pseudo-terminal; the test writes as the modem.
class HeadlessPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    port_.SetPort(name);
    port_.SetBaudRate(serial::brCustom);
    port_.SetCustomBaudRate(9600);
    port_.OnRxChar = [this](int count) {
      std::string bytes(static_cast<size_t>(count), '\0');
      const int n = port_.ReadBytes(bytes.data(), count);
      received_ += bytes.substr(0, static_cast<size_t>(std::max(n, 0)));
      ++events_;
    };
    port_.OpenPort();
    platform_.WatchPort(port_);
  }
  void TearDown() override {
    platform_.UnwatchPort(port_);
    port_.ClosePort();
    close(master_);
    close(slave_);
  }
  void ModemSays(const std::string& text) {
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  HeadlessPlatform platform_;
  serial::TComPort port_;
  std::string received_;
  int events_ = 0;
  int master_ = -1, slave_ = -1;
};

TEST_F(HeadlessPortTest, LoopServesTheHandOverOnItsOwnThread) {
  EXPECT_EQ(platform_.LastPortActivityMs(), -1);
  ModemSays("Source ID = 1\r\n");
  EXPECT_TRUE(platform_.RunUntil([&] { return received_.size() == 15; }, 2000));
  EXPECT_EQ(received_, "Source ID = 1\r\n");
  EXPECT_GE(platform_.LastPortActivityMs(), 0);
}

TEST_F(HeadlessPortTest, PauseLeavesBytesWaitingAndABoxServesThem) {
  ModemSays("OK\r\n");
  platform_.Pause(100);
  EXPECT_EQ(events_, 0) << "a pause serves nothing";
  std::string inside;
  platform_.on_message = [&](std::string_view) { inside = received_; };
  platform_.ShowMessage("Successfully changed.");
  // Nothing was served before the reader saw the box; its loop served the
  // batch before the box closed, as the desktop's nested loop does.
  EXPECT_EQ(inside, "");
  EXPECT_EQ(received_, "OK\r\n");
}

TEST_F(HeadlessPortTest, UnwatchedPortIsNotServed) {
  platform_.UnwatchPort(port_);
  ModemSays("x\n");
  platform_.RunFor(150);
  EXPECT_EQ(events_, 0);
  platform_.WatchPort(port_);
  platform_.WatchPort(port_);  // twice is once
  EXPECT_TRUE(platform_.RunUntil([&] { return events_ > 0; }, 2000));
  EXPECT_EQ(received_, "x\n");
}

}  // namespace
}  // namespace velimo::forms
