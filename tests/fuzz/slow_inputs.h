// Slow inputs: libFuzzer measures a run in whole seconds, too coarse for
// the 10 ms an input may take. Each target times its runs here instead, in
// CPU time of the fuzzing thread (on a shared machine the wall clock also
// counts the time other processes had the core), and keeps inputs over
// the limit as "slow-unit-<hash>" beside the crash files.
//
// The limit is VELIMO_FUZZ_SLOW_MS (default 10) milliseconds; scripts/fuzz
// sets it to a multiple of a calibration input's time. With
// VELIMO_FUZZ_PRINT_TIMES=1 every run is timed and printed instead
// ("Input time: ..."), nothing is kept: scripts/fuzz times an input alone
// that way, run after run in one process, and takes the best time.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace velimo::fuzz {

struct SlowInputState {
  double limit_ms = 10.0;
  bool print_times = false;
  std::string artifact_prefix;  // empty: report only, keep nothing
  bool first_run = true;        // the first run also sets up statics
  int kept = 0;
  double unmetered_ms = 0;  // of the current run, see Unmetered
  int unmetered_depth = 0;  // only the outermost Unmetered counts
};

inline SlowInputState& SlowInputs() {
  static SlowInputState state;
  return state;
}

// Reads -artifact_prefix= from libFuzzer's arguments; call from
// LLVMFuzzerInitialize.
inline void InitSlowInputs(int* argc, char*** argv) {
  SlowInputState& s = SlowInputs();
  if (const char* limit = std::getenv("VELIMO_FUZZ_SLOW_MS")) s.limit_ms = std::atof(limit);
  if (const char* print = std::getenv("VELIMO_FUZZ_PRINT_TIMES"))
    s.print_times = *print != '\0' && std::strcmp(print, "0") != 0;
  constexpr const char kFlag[] = "-artifact_prefix=";
  for (int i = 1; argc && argv && i < *argc; ++i) {
    if (std::strncmp((*argv)[i], kFlag, sizeof kFlag - 1) == 0)
      s.artifact_prefix = (*argv)[i] + sizeof kFlag - 1;
  }
}

inline double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The target's own checking (reference models, comparisons of every key
// with every other) does not count toward an input's time: the limit is
// about what the program does with the input.
class Unmetered {
 public:
  Unmetered() : outermost_(SlowInputs().unmetered_depth++ == 0) {
    if (outermost_) start_ms_ = ThreadCpuMs();
  }
  ~Unmetered() {
    SlowInputState& s = SlowInputs();
    --s.unmetered_depth;
    if (outermost_) s.unmetered_ms += ThreadCpuMs() - start_ms_;
  }
  Unmetered(const Unmetered&) = delete;
  Unmetered& operator=(const Unmetered&) = delete;

 private:
  bool outermost_;
  double start_ms_ = 0;
};

// Runs one input and times it. An input over the limit is run up to two
// more times and counts as slow only when every run is over the limit: the
// sanitizers' own chores (a quarantine being recycled, fresh pages being
// mapped) and the other core's work on the shared caches now and then
// land in a single run of a fast input, while a slow input is slow each
// time.
inline int TimedRun(const uint8_t* data, size_t size, int (*run)(const uint8_t*, size_t)) {
  SlowInputState& s = SlowInputs();
  const auto timed = [&](int& result) {
    s.unmetered_ms = 0;
    const double start = ThreadCpuMs();
    result = run(data, size);
    return ThreadCpuMs() - start - s.unmetered_ms;
  };
  int result = 0;
  double ms = timed(result);
  if (s.first_run) {
    s.first_run = false;
    return result;
  }
  if (s.print_times) {
    std::fprintf(stderr, "Input time: %.3f ms CPU (%zu bytes)\n", ms, size);
    return result;
  }
  for (int again = 0; again < 2 && ms > s.limit_ms; ++again) ms = std::min(ms, timed(result));
  if (ms <= s.limit_ms) return result;

  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "slow-unit-%016llx", static_cast<unsigned long long>(hash));
  std::string path;
  // A few dozen are enough to see what is slow.
  if (!s.artifact_prefix.empty() && s.kept < 50) {
    path = s.artifact_prefix + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(data, 1, size, f);
      std::fclose(f);
      ++s.kept;
    } else {
      path.clear();
    }
  }
  std::fprintf(stderr, "Slow input: %.1f ms CPU (%zu bytes)%s%s\n", ms, size,
               path.empty() ? "" : ", kept as ", path.c_str());
  return result;
}

}  // namespace velimo::fuzz
