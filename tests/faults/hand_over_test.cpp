// A steady stream into the port: the user-interface thread is handed one
// batch per serving, never kept in the hand-over for as long as the stream
// lasts (which held timers and the window off during a flood).
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "pty/pty_fixture.h"

namespace velimo::test {
namespace {

class HandOverUnderAStream : public PtyTest {};

TEST_F(HandOverUnderAStream, EachServingRunsOnlyTheBatchesWaitingWhenItStarted) {
  serial::TComPort port;
  Configure(port);
  std::string received;
  port.OnRxChar = [&](int count) {
    std::vector<char> chunk(static_cast<size_t>(count));
    const int n = port.ReadBytes(chunk.data(), count);
    if (n > 0) received.append(chunk.data(), static_cast<size_t>(n));
  };
  port.OpenPort();

  std::string stream;
  for (int i = 0; stream.size() < 4u * 1024 * 1024; ++i)
    stream += "Source ID = " + std::to_string(i) + "\r\n";
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    size_t done = 0;
    while (done < stream.size() && !stop) {
      const ssize_t n =
          write(master_, stream.data() + done, std::min<size_t>(stream.size() - done, 1 << 16));
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 20);
      }
    }
  });

  int servings = 0;
  int most = 0;
  const int64_t until = NowMs() + 3 * kGenerousMs;
  while (received.size() < stream.size() && NowMs() < until) {
    pollfd p{port.WakeFd(), POLLIN, 0};
    poll(&p, 1, 20);
    const int ran = port.ProcessPendingEvents();
    most = std::max(most, ran);
    if (ran > 0) ++servings;
  }
  stop = true;
  writer.join();
  port.ClosePort();

  ASSERT_EQ(received.size(), stream.size());
  EXPECT_TRUE(received == stream) << "the stream arrived changed";
  // One event thread, one batch at a time: each serving ran one.
  EXPECT_EQ(most, 1);
  EXPECT_GT(servings, 1);
}

}  // namespace
}  // namespace velimo::test
