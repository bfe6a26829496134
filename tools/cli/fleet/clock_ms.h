// The two clocks a bench run is told by, in milliseconds: the wall clock
// for what a report shows, the steady clock for the workers' time limits.
#pragma once

#include <chrono>
#include <cstdint>

namespace velimo::cli::fleet {

inline int64_t WallMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

inline int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace velimo::cli::fleet
