// Waiting for a condition in a test that runs in real time. A test waits
// for what it needs to see, never for a length of time: the bound is far
// beyond what any step takes on a loaded machine or under a sanitizer, and
// a test that holds returns as soon as its condition does. Header only, so
// suites that link no other support (the network ports) share it too.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace velimo::test {

// How long a condition is waited for before a test gives up on it.
constexpr int kGenerousMs = 10000;
// A limit given to the code under test that no test may reach: an
// operation that ends before it was ended by what the test did.
constexpr int kNeverMs = 10 * 60 * 1000;

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
