// Waiting for a condition in a test that runs in real time, with the
// bounds of test_limits.h. Header only, so suites that link no other
// support (the network ports) share it too; the Qt tests wait with their
// own, which serves the Qt event loop.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "support/test_limits.h"

namespace velimo::test {

// Polls done() until it holds or timeoutMs have passed; returns done().
// between(), when given, runs before each look (serving a port's events,
// reading a process's output).
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = kGenerousMs,
                    const std::function<void()>& between = {}) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (between) between();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace velimo::test
