#include "support/watchdog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

namespace velimo::test {

namespace {

std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info ? std::string(info->test_suite_name()) + "." + info->name() : "?";
}

}  // namespace

Watchdog::Watchdog(std::chrono::seconds limit) : Watchdog(CurrentTestName(), limit) {}

Watchdog::Watchdog(std::string name, std::chrono::seconds limit) {
  thread_ = std::thread([this, limit, name = std::move(name)] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
      std::fprintf(stderr, "%s: exceeded its time limit of %lld s (hung)\n", name.c_str(),
                   static_cast<long long>(limit.count()));
      std::fflush(stderr);
      _exit(3);
    }
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

}  // namespace velimo::test
