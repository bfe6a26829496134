// Ends the process when a test overruns its limit, so a hang fails the test
// instead of stalling the suite.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace velimo::test {

class Watchdog {
 public:
  // Named after the test that is running.
  explicit Watchdog(std::chrono::seconds limit);
  Watchdog(std::string name, std::chrono::seconds limit);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace velimo::test
