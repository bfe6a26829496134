// Runs one worker process per unit, several at once, and collects what
// each printed and how it ended. A worker that hangs past its time limit is
// killed and reported as such; the others go on. Nothing is shared between
// workers but the terminal's process group, so Ctrl-C reaches them all.
// Whatever a worker prints, the coordinator keeps a bounded part of it: a
// tail of each stream and the line being received.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::cli::fleet {

struct WorkerJob {
  std::vector<std::string> argv;  // argv[0] is the program's path
};

// What is kept of each of a worker's streams: its last bytes.
constexpr size_t kWorkerTailBytes = 16 * 1024;
// A line of standard output longer than this is handed on cut to it.
constexpr size_t kWorkerLineBytes = 64 * 1024;

struct WorkerOutcome {
  bool started = false;
  int exit_status = -1;  // when it exited
  int signal = 0;        // when a signal ended it
  bool timed_out = false;
  std::string out;       // the last kWorkerTailBytes it wrote to standard output
  std::string err;       // and to standard error
  int64_t start_ms = 0;  // wall clock, milliseconds since the epoch
  int64_t end_ms = 0;
  double cpu_seconds = 0;  // user + system time of the worker
  long max_rss_kb = 0;     // its peak resident memory
};

struct PoolOptions {
  int jobs = 0;          // at most this many at once; 0: all at once
  int64_t limit_ms = 0;  // per worker; 0: none
  // When this becomes true (an interrupt), no more workers are started and
  // each running one is sent SIGTERM once, to end in order.
  const volatile std::sig_atomic_t* stop = nullptr;
};

// Runs every job and returns their outcomes in the jobs' order. on_line is
// called with a job's index and each complete line it writes to standard
// output (at most kWorkerLineBytes of it), as it arrives (for a live
// progress display, and the worker's result); it may be empty.
std::vector<WorkerOutcome> RunWorkers(
    const std::vector<WorkerJob>& jobs, const PoolOptions& options,
    const std::function<void(size_t job, std::string_view line)>& on_line);

}  // namespace velimo::cli::fleet
