// Deadlines from the port's timeouts. A timeout is an unsigned 32-bit
// number of milliseconds, and a total multiplies it by a byte count, so a
// timeout may reach far beyond what the clock can count in nanoseconds: such
// a deadline is the clock's last moment, never a wrapped one in the past.
#pragma once

#include <chrono>
#include <cstdint>

namespace velimo::serial {

using DeadlineClock = std::chrono::steady_clock;

inline DeadlineClock::time_point DeadlineAfterMs(int64_t ms) {
  const DeadlineClock::time_point now = DeadlineClock::now();
  const DeadlineClock::time_point last = DeadlineClock::time_point::max();
  if (ms >= std::chrono::duration_cast<std::chrono::milliseconds>(last - now).count()) return last;
  return now + std::chrono::milliseconds(ms);
}

}  // namespace velimo::serial
