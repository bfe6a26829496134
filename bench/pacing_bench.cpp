// Pacing: how long the platform's blocking pause really lasts, for the 5 ms
// pause after each byte of a command and the 100, 200, 400 and 500 ms
// pauses between the commands of a save-all, as a ratio to the nominal
// length (p50, p99, and the shortest, which must never be below 1). A plain
// std::this_thread::sleep_for is measured beside it in the same run, taking
// turns with it, so both meet the same load.
//
//   pacing_bench [--table] [--scale F]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench;
// --scale multiplies the number of pauses measured (default 1).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "forms/headless_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
  double p50 = 0, p99 = 0, min = 0, max = 0;
  size_t n = 0;
};

// Nearest-rank percentiles: with few samples p99 is the longest one.
Stats Summarise(std::vector<double> v) {
  Stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  const auto rank = [&](double q) {
    const size_t r = static_cast<size_t>(std::ceil(q * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, r == 0 ? 0 : r - 1)];
  };
  s.p50 = rank(0.50);
  s.p99 = rank(0.99);
  s.min = v.front();
  s.max = v.back();
  s.n = v.size();
  return s;
}

template <class F>
double RatioOf(int ms, F&& pause) {
  const auto t0 = Clock::now();
  pause(ms);
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / ms;
}

struct Case {
  int ms;
  int count;            // pauses measured through the platform
  bool with_sleep_for;  // the plain sleep measured beside it
};

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  double scale = 1.0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) scale = std::atof(argv[++i]);
  }
  // The byte pause many times (a save-all writes some fifty bytes); the
  // long pauses fewer, as they cost seconds each round.
  const Case cases[] = {
      {5, 400, true}, {100, 30, true}, {200, 15, false}, {400, 8, false}, {500, 8, false}};

  velimo::forms::HeadlessPlatform platform;
  // On Windows the program's first pause also chooses between the
  // high-resolution timer and Sleep with a 1 ms tick by timing both (some
  // 12 ms, once); that is start-up, not pacing, so it is left out here.
  platform.Pause(1);
  std::printf("Pacing: measured pause / nominal (steady clock), nearest-rank percentiles\n");
  std::printf("%-34s %5s %8s %8s %8s %8s\n", "pause", "n", "p50", "p99", "min", "max");
  bool never_short = true;
  double shortest = 1e9;
  double worst_p50 = 0, worst_p99 = 0;
  for (const Case& c : cases) {
    const int n = std::max(3, static_cast<int>(c.count * scale));
    std::vector<double> plat, plain;
    for (int i = 0; i < n; ++i) {
      plat.push_back(RatioOf(c.ms, [&](int ms) { platform.Pause(ms); }));
      if (c.with_sleep_for)
        plain.push_back(RatioOf(
            c.ms, [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }));
    }
    const Stats s = Summarise(plat);
    char name[64];
    std::snprintf(name, sizeof name, "%d ms, platform Pause", c.ms);
    std::printf("%-34s %5zu %8.4f %8.4f %8.4f %8.4f\n", name, s.n, s.p50, s.p99, s.min, s.max);
    if (!plain.empty()) {
      const Stats b = Summarise(plain);
      std::snprintf(name, sizeof name, "%d ms, sleep_for (for comparison)", c.ms);
      std::printf("%-34s %5zu %8.4f %8.4f %8.4f %8.4f\n", name, b.n, b.p50, b.p99, b.min, b.max);
      if (table) {
        std::printf("figure pacing.sleep_for.%d.p50 %.4f\n", c.ms, b.p50);
        std::printf("figure pacing.sleep_for.%d.p99 %.4f\n", c.ms, b.p99);
      }
    }
    if (s.min < 1.0) never_short = false;
    shortest = std::min(shortest, s.min);
    if (c.ms > 5) {
      worst_p50 = std::max(worst_p50, s.p50);
      worst_p99 = std::max(worst_p99, s.p99);
    }
    if (table) {
      std::printf("figure pacing.%d.p50 %.4f\n", c.ms, s.p50);
      std::printf("figure pacing.%d.p99 %.4f\n", c.ms, s.p99);
      std::printf("figure pacing.%d.min %.4f\n", c.ms, s.min);
    }
  }
  std::printf("target: p50 <= 1.03, p99 <= 1.05, min >= 1.0 (never short): %s\n",
              never_short ? "none short" : "SHORT PAUSE SEEN");
  if (table) {
    std::printf("figure pacing.seq.p50 %.4f\n", worst_p50);
    std::printf("figure pacing.seq.p99 %.4f\n", worst_p99);
    std::printf("figure pacing.never_short %d\n", never_short ? 1 : 0);
    std::printf("figure pacing.shortest %.4f\n", shortest);
  }
  return 0;
}
