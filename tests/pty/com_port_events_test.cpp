// The event thread and its hand-over on a real pseudo-terminal: what the
// notifications report, in which order, purging, unread bytes, errors
// raised by handlers, unplugging, and closing while a batch waits.
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <sys/epoll.h>

#include <atomic>
#include <vector>

#include "pty_fixture.h"

// Every wait of an event thread in this program passes here and is
// counted, so a test tells a thread that waits from one that spins by the
// number of its waits, not by the CPU time it takes (which a loaded machine
// or a sanitizer changes). Under a sanitizer its own wrapper is called, so
// it still sees the wait.
extern "C" int __interceptor_epoll_wait(int, epoll_event*, int, int) __attribute__((weak));
namespace {
std::atomic<long> eventWaits{0};
}
extern "C" int epoll_wait(int epfd, epoll_event* events, int maxevents, int timeout) {
  eventWaits.fetch_add(1);
  if (__interceptor_epoll_wait) return __interceptor_epoll_wait(epfd, events, maxevents, timeout);
  using Wait = int (*)(int, epoll_event*, int, int);
  static const Wait real = reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "epoll_wait"));
  return real(epfd, events, maxevents, timeout);
}

namespace velimo::test {
namespace {

// The waits event threads start over a stretch of real time: a thread
// blocked in its wait starts none, a spinning one thousands.
long WaitsOver(std::chrono::milliseconds stretch) {
  const long before = eventWaits.load();
  std::this_thread::sleep_for(stretch);
  return eventWaits.load() - before;
}

using namespace velimo::serial;

constexpr std::chrono::milliseconds kSettle{50};

class PortEvents : public PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    Configure(port_);
  }
  void TearDown() override {
    port_.ClosePort();
    PtyTest::TearDown();
  }

  // Waits until the event thread has a batch waiting (not served).
  bool BatchWaits(int timeoutMs = 2000) {
    return WaitUntil([&] { return port_.HasPendingEvents(); }, timeoutMs);
  }
  bool WakeFdReadable() {
    pollfd p{port_.WakeFd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  }

  TComPort port_;
};

TEST_F(PortEvents, ReceivedBytesAreReportedOnTheServingThreadAndRead) {
  std::atomic<int> wakes{0};
  port_.SetWakeHook([&] { ++wakes; });
  std::vector<int> counts;
  std::string received;
  const std::thread::id serving = std::this_thread::get_id();
  port_.OnRxChar = [&](int count) {
    EXPECT_EQ(std::this_thread::get_id(), serving);
    counts.push_back(count);
    std::string buf(static_cast<size_t>(count), '\0');
    received.append(buf.data(), static_cast<size_t>(port_.ReadBytes(buf.data(), count)));
  };
  port_.OpenPort();
  EXPECT_FALSE(WakeFdReadable());

  MasterWrite("AT&V\r\n");
  ASSERT_TRUE(BatchWaits());
  EXPECT_TRUE(WakeFdReadable());
  EXPECT_GE(wakes.load(), 1);
  // Nothing runs until the serving thread runs it.
  EXPECT_TRUE(counts.empty());
  EXPECT_EQ(port_.ProcessPendingEvents(), 1);
  EXPECT_FALSE(WakeFdReadable());
  ASSERT_TRUE(ServeUntil(port_, [&] { return received.size() >= 6; }));
  EXPECT_EQ(received, "AT&V\r\n");
  for (int c : counts) EXPECT_GT(c, 0);
}

TEST_F(PortEvents, PurgeDiscardsInput) {
  port_.SetEvents({});
  port_.OpenPort();
  MasterWrite("0123456789");
  ASSERT_TRUE(WaitUntil([&] { return port_.QueuedInputCount() == 10; }));
  port_.PurgeQueues(true, true);
  EXPECT_EQ(port_.QueuedInputCount(), 0);
  char buf[16];
  EXPECT_EQ(port_.ReadBytes(buf, sizeof buf), 0);
  // Later bytes come through as usual.
  MasterWrite("ok");
  ASSERT_TRUE(WaitUntil([&] { return port_.QueuedInputCount() == 2; }));
}

// A pty has no wire, so its transmit queue is the far end's unread input
// beyond what the far end's line buffer took in; purging the output drops
// that part.
TEST_F(PortEvents, PurgeDiscardsOutputTheFarEndHasNotTaken) {
  port_.SetEvents({});
  port_.Timeouts().SetWriteTotalMultiplier(0);
  port_.OpenPort();
  const std::string block(8 * 1024, 'q');  // a pty takes about 11 KiB at once
  ASSERT_EQ(port_.WriteBytes(block.data(), static_cast<int>(block.size())),
            static_cast<int>(block.size()));
  port_.PurgeQueues(false, true);
  std::string arrived = MasterRead(block.size(), 300);
  EXPECT_LT(arrived.size(), block.size());
  // The input side was left alone.
  MasterWrite("in");
  ASSERT_TRUE(WaitUntil([&] { return port_.QueuedInputCount() == 2; }));
}

TEST_F(PortEvents, NoRxCharWhenAPurgeEmptiedTheQueueFirst) {
  int calls = 0;
  port_.OnRxChar = [&](int) { ++calls; };
  port_.OpenPort();
  MasterWrite("OK\r\n");
  ASSERT_TRUE(BatchWaits());
  ASSERT_TRUE(WaitUntil([&] { return port_.QueuedInputCount() == 4; }));
  port_.PurgeQueues(true, true);
  EXPECT_EQ(port_.ProcessPendingEvents(), 1);
  EXPECT_EQ(calls, 0);
  // The next arrival is reported with its own count only.
  int lastCount = 0;
  port_.OnRxChar = [&](int count) {
    ++calls;
    lastCount = count;
    char buf[64];
    port_.ReadBytes(buf, count);
  };
  MasterWrite("X");
  ASSERT_TRUE(ServeUntil(port_, [&] { return calls == 1; }));
  EXPECT_EQ(lastCount, 1);
}

TEST_F(PortEvents, UnreadBytesAreCountedAgainWithTheNextArrivalOnly) {
  std::vector<int> counts;
  port_.OnRxChar = [&](int count) { counts.push_back(count); };  // reads nothing
  port_.OpenPort();
  MasterWrite("12345");
  ASSERT_TRUE(ServeUntil(port_, [&] { return !counts.empty() && counts.back() == 5; }));
  const size_t reports = counts.size();
  // The bytes wait unread, yet no new report comes without a new arrival,
  // and the event thread does not spin over them.
  const long waits0 = eventWaits.load();
  ServeUntil(
      port_, [] { return false; }, 300);
  EXPECT_EQ(counts.size(), reports);
  EXPECT_LE(eventWaits.load() - waits0, 2) << "waits while bytes wait unread";

  MasterWrite("678");
  ASSERT_TRUE(ServeUntil(port_, [&] { return counts.back() == 8; }));
  // Read them now; an arrival after that counts from zero again.
  char buf[16];
  EXPECT_EQ(port_.ReadBytes(buf, sizeof buf), 8);
  EXPECT_EQ(std::string(buf, 8), "12345678");
  MasterWrite("9");
  ASSERT_TRUE(ServeUntil(port_, [&] { return counts.back() == 1; }));
}

// A pty keeps no line-error counters, so the errors come from a port whose
// error read is replaced; the batch order is the port's own.
class ErrorInjectingPort : public TComPort {
 public:
  TComErrors ReadLineErrors() override {
    TComPort::ReadLineErrors();  // the device's own answer: none on a pty
    TComErrors e = next_errors;
    next_errors = {};
    return e;
  }
  TComErrors next_errors;
};

TEST_F(PortEvents, LineErrorsComeBeforeReceivedDataInOneBatch) {
  ErrorInjectingPort port;
  Configure(port);
  port.SetPort(path_);
  std::vector<std::string> log;
  port.OnError = [&](TComErrors e) { log.push_back("error " + std::to_string(e.Byte())); };
  port.OnRxChar = [&](int count) {
    log.push_back("rx " + std::to_string(count));
    char buf[64];
    port.ReadBytes(buf, count);
  };
  port.OpenPort();
  port.next_errors = ceFrame;
  MasterWrite("abc");
  ASSERT_TRUE(ServeUntil(port, [&] { return log.size() >= 2; }));
  EXPECT_EQ(log[0], "error 1");
  EXPECT_EQ(log[1], "rx 3");
  // A batch without errors calls OnError not at all.
  MasterWrite("d");
  ASSERT_TRUE(ServeUntil(port, [&] { return log.size() >= 3; }));
  EXPECT_EQ(log[2], "rx 1");
  port.ClosePort();
}

TEST_F(PortEvents, AnErrorRaisedInAHandlerEndsTheEventThread) {
  int calls = 0;
  port_.OnRxChar = [&](int) {
    ++calls;
    throw EComPort(CError_PurgeFailed, EIO);
  };
  port_.OpenPort();
  MasterWrite("x");
  ASSERT_TRUE(ServeUntil(port_, [&] { return calls == 1; }));
  // Not passed on to the serving thread: ProcessPendingEvents returned.
  ASSERT_TRUE(WaitUntil([&] { return !port_.EventThreadActive(); }, 1000));
  EXPECT_TRUE(port_.Connected());
  // Nothing more is delivered while the port stays open...
  MasterWrite("y");
  ServeUntil(
      port_, [] { return false; }, 150);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(port_.HasPendingEvents());
  // ...the port itself still works, and closing and reopening restores it.
  EXPECT_EQ(port_.QueuedInputCount(), 2);
  port_.ClosePort();
  EXPECT_FALSE(port_.Connected());
  port_.OnRxChar = [&](int) { ++calls; };
  port_.OpenPort();
  MasterWrite("z");
  ASSERT_TRUE(ServeUntil(port_, [&] { return calls == 2; }));
}

TEST_F(PortEvents, UnpluggingEndsTheEventThreadQuicklyAndWithoutSpinning) {
  port_.OpenPort();
  ASSERT_TRUE(port_.EventThreadActive());
  // The thread is in its wait once it has started one and starts no more.
  ASSERT_TRUE(WaitUntil([&] { return eventWaits.load() > 0 && WaitsOver(kSettle) == 0; }));
  int hangUps = 0;
  port_.OnHangUp = [&] { ++hangUps; };
  const long waits0 = eventWaits.load();
  CloseMaster();
  // The hang-up is handed over at once, as the last batch of this opening:
  // the wait the thread was in ends on it, and no other wait follows.
  ASSERT_TRUE(ServeUntil(port_, [&] { return hangUps == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return !port_.EventThreadActive(); }));
  EXPECT_EQ(eventWaits.load() - waits0, 0) << "waits after the unplug";
  EXPECT_EQ(hangUps, 1);
  EXPECT_EQ(WaitsOver(std::chrono::milliseconds(300)), 0) << "waits after the thread ended";
  // The port still counts as connected; its next use reports the loss.
  EXPECT_TRUE(port_.Connected());
  const char byte = 'A';
  try {
    port_.WriteBytes(&byte, 1);
    ADD_FAILURE() << "write to an unplugged device succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 2);
    EXPECT_EQ(e.ErrorCode(), EIO);
  }
  try {
    port_.PurgeQueues(true, true);
    ADD_FAILURE() << "purge of an unplugged device succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 5);
  }
  port_.ClosePort();
  EXPECT_FALSE(port_.Connected());
}

TEST_F(PortEvents, AnIdleOpenPortUsesNoCpu) {
  port_.OpenPort();
  ASSERT_TRUE(WaitUntil([&] { return eventWaits.load() > 0; }));
  // At most the first wait, should the thread start it only now.
  EXPECT_LE(WaitsOver(std::chrono::milliseconds(500)), 1) << "waits in 500 ms idle";
  EXPECT_FALSE(port_.HasPendingEvents());
}

TEST_F(PortEvents, ClosingWhileABatchWaitsDoesNotDeadlock) {
  int calls = 0;
  port_.OnRxChar = [&](int) { ++calls; };
  port_.OpenPort();
  MasterWrite("pending");
  ASSERT_TRUE(BatchWaits());
  port_.ClosePort();  // a deadlock here is ended by the test's watchdog
  EXPECT_FALSE(port_.Connected());
  EXPECT_FALSE(port_.EventThreadActive());
  EXPECT_FALSE(port_.HasPendingEvents());
  // The close dropped what was queued, so the batch found nothing to report.
  EXPECT_EQ(calls, 0);
}

// The disconnect can run inside a receive handler (a message box opened by
// a parser serves the menu): the close then waits for a thread whose batch
// is the one running further up this very stack.
TEST_F(PortEvents, ClosingFromInsideAHandlerDoesNotDeadlock) {
  int calls = 0;
  port_.OnRxChar = [&](int) {
    ++calls;
    port_.ClosePort();
    EXPECT_FALSE(port_.Connected());
  };
  port_.OpenPort();
  MasterWrite("bye");
  ASSERT_TRUE(ServeUntil(port_, [&] { return calls == 1; }));
  EXPECT_FALSE(port_.Connected());
  EXPECT_FALSE(port_.EventThreadActive());
  // The port opens again and works.
  port_.OnRxChar = [&](int count) {
    ++calls;
    char buf[16];
    port_.ReadBytes(buf, count);
  };
  port_.OpenPort();
  MasterWrite("again");
  ASSERT_TRUE(ServeUntil(port_, [&] { return calls == 2; }));
}

TEST_F(PortEvents, ReopeningFromInsideAHandlerLeavesTheRestOfTheOldBatchAlone) {
  ErrorInjectingPort port;
  Configure(port);
  std::vector<std::string> log;
  int errors = 0;
  port.OnError = [&](TComErrors) {
    ++errors;
    log.push_back("error");
    // Reconnect in the middle of the batch, as a handler that disconnects
    // and connects again would.
    port.ClosePort();
    port.OpenPort();
  };
  port.OnRxChar = [&](int count) {
    log.push_back("rx " + std::to_string(count));
    char buf[16];
    port.ReadBytes(buf, count);
  };
  port.OpenPort();
  port.next_errors = ceOverrun;
  MasterWrite("a");
  ASSERT_TRUE(ServeUntil(port, [&] { return errors == 1; }));
  // The old batch's data step did not run against the new opening.
  ServeUntil(
      port, [] { return false; }, 100);
  EXPECT_EQ(log, std::vector<std::string>{"error"});
  EXPECT_TRUE(port.Connected());
  MasterWrite("b");
  ASSERT_TRUE(ServeUntil(port, [&] { return log.size() == 2; }));
  EXPECT_EQ(log[1], "rx 1");
  port.ClosePort();
}

TEST_F(PortEvents, AWriteThatCannotCompleteFailsAfterTheWriteTimeout) {
  port_.SetEvents({});
  port_.Timeouts().SetWriteTotalConstant(300);
  port_.Timeouts().SetWriteTotalMultiplier(0);
  port_.OpenPort();
  // The far end reads nothing, so the line stays full.
  const std::string block(4 * 1024 * 1024, 'w');
  const int64_t t0 = NowMs();
  try {
    port_.WriteBytes(block.data(), static_cast<int>(block.size()));
    FAIL() << "a write into a full line completed";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 2);
    EXPECT_EQ(e.ErrorCode(), ETIMEDOUT);
  }
  // Never before its timeout (a load only makes it later); a write that
  // never gives up is ended by the test's watchdog.
  EXPECT_GE(NowMs() - t0, 280);
  // What the failed write left queued was dropped: the far end gets at
  // most what its own line buffer had taken in.
  std::string arrived = MasterRead(block.size(), 300);
  EXPECT_LT(arrived.size(), 8 * 1024u);
  // The port is usable again at once.
  port_.Timeouts().SetWriteTotalConstant(1000);
  const char ok[] = "ok";
  EXPECT_EQ(port_.WriteBytes(ok, 2), 2);
  EXPECT_EQ(MasterRead(2, 1000), "ok");
}

TEST_F(PortEvents, ReadsWithATotalTimeoutWaitForTheRest) {
  port_.SetEvents({});
  port_.Timeouts().SetReadTotalConstant(200);
  port_.OpenPort();
  char buf[8];
  const int64_t t0 = NowMs();
  EXPECT_EQ(port_.ReadBytes(buf, 4), 0);
  EXPECT_GE(NowMs() - t0, 180) << "gave up before its timeout";
  // Long enough for the far end's bytes however late its thread runs.
  port_.Timeouts().SetReadTotalConstant(15000);
  std::thread far([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(write(master_, "wxyz", 4), 4);
  });
  EXPECT_EQ(port_.ReadBytes(buf, 4), 4);
  far.join();
  EXPECT_EQ(std::string(buf, 4), "wxyz");
}

// The largest timeouts the settings can hold ("all bits set" per byte) with
// a few thousand bytes amount to more milliseconds than the clock counts in
// nanoseconds: they mean "wait", never a deadline already past.
TEST_F(PortEvents, TimeoutsBeyondTheClocksRangeWaitForTheBytes) {
  port_.SetEvents({});
  port_.Timeouts().SetReadTotalMultiplier(-1);
  port_.Timeouts().SetWriteTotalMultiplier(-1);
  port_.OpenPort();
  const std::string block(60000, 'r');
  std::string arrived;
  std::thread reader([&] { arrived = MasterRead(block.size(), 5000); });
  try {
    EXPECT_EQ(port_.WriteBytes(block.data(), static_cast<int>(block.size())),
              static_cast<int>(block.size()));
  } catch (const EComPort& e) {
    ADD_FAILURE() << "the write gave up: " << e.what();
  }
  reader.join();
  EXPECT_EQ(arrived.size(), block.size());

  std::string got(4096, '\0');
  std::thread far([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    WriteAll(master_, std::string(got.size(), 'w'));
  });
  EXPECT_EQ(port_.ReadBytes(got.data(), static_cast<int>(got.size())),
            static_cast<int>(got.size()));
  far.join();
  EXPECT_EQ(got.find_first_not_of('w'), std::string::npos) << "the bytes that came";
}

}  // namespace
}  // namespace velimo::test
