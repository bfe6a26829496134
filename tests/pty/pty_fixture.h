// A pseudo-terminal pair for each test: the slave is the port under test,
// the master is the far end (the modem). Every test runs under a time
// limit, so a hang fails the test instead of stalling the suite; closing
// the master is how an unplugged adapter is simulated.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "serial/com_port.h"
#include "support/wait_for.h"
#include "support/watchdog.h"

namespace velimo::test {

inline int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

inline double ProcessCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    watchdog_ = std::make_unique<Watchdog>(std::chrono::seconds(20));
    OpenPair(&master_, &slave_, &path_);
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    for (int fd : extra_fds_) close(fd);
    watchdog_.reset();
  }

  // A further pair, closed at the end of the test.
  void OpenPair(int* master, int* slave, std::string* path) {
    char name[128] = {};
    ASSERT_EQ(openpty(master, slave, name, nullptr, nullptr), 0) << "openpty failed";
    fcntl(*master, F_SETFL, fcntl(*master, F_GETFL) | O_NONBLOCK);
    *path = name;
    if (master != &master_) {
      extra_fds_.push_back(*master);
      extra_fds_.push_back(*slave);
    }
  }

  void MasterWrite(std::string_view bytes) { WriteAll(master_, bytes); }
  static void WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    int64_t until = NowMs() + kGenerousMs;
    while (done < bytes.size() && NowMs() < until) {
      ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
    ASSERT_EQ(done, bytes.size()) << "could not write to the far end";
  }

  // Reads from the far end until n bytes came or timeoutMs passed.
  std::string MasterRead(size_t n, int timeoutMs) { return ReadFrom(master_, n, timeoutMs); }
  static std::string ReadFrom(int fd, size_t n, int timeoutMs) {
    std::string got;
    int64_t until = NowMs() + timeoutMs;
    char buf[4096];
    while (got.size() < n) {
      int64_t left = until - NowMs();
      if (left <= 0) break;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      ssize_t r = read(fd, buf, std::min(sizeof buf, n - got.size()));
      if (r > 0) got.append(buf, static_cast<size_t>(r));
      if (r == 0) break;
    }
    return got;
  }

  void CloseMaster() {
    close(master_);
    master_ = -1;
  }

  // Serves the port's hand-over as a headless event loop does, until pred
  // holds or the time is up; returns pred().
  static bool ServeUntil(serial::TComPort& port, const std::function<bool()>& pred,
                         int timeoutMs = kGenerousMs) {
    int64_t until = NowMs() + timeoutMs;
    while (!pred()) {
      int64_t left = until - NowMs();
      if (left <= 0) return pred();
      pollfd p{port.WakeFd(), POLLIN, 0};
      poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 20)));
      port.ProcessPendingEvents();
    }
    return true;
  }

  // Waits (without serving) until pred holds or the time is up.
  static bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = kGenerousMs) {
    int64_t until = NowMs() + timeoutMs;
    while (!pred()) {
      if (NowMs() >= until) return pred();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // A port on this test's slave, as the connect dialog sets it up.
  void Configure(serial::TComPort& port) {
    port.SetPort(path_);
    port.SetBaudRate(serial::brCustom);
    port.SetCustomBaudRate(9600);
    port.FlowControl().SetControlDTR(serial::dtrEnable);
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;

 private:
  std::unique_ptr<Watchdog> watchdog_;
  std::vector<int> extra_fds_;
};

}  // namespace velimo::test
