#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "fleet/clock_ms.h"
#include "fleet/worker_output.h"
#include "fleet/worker_pool.h"

extern char** environ;

namespace velimo::cli::fleet {

namespace {

struct Running {
  size_t job = 0;
  pid_t pid = -1;
  int out_fd = -1;
  int err_fd = -1;
  int64_t deadline = 0;  // steady clock; 0: none
  WorkerLine line;       // standard output's line begun
};

// Starts argv with its standard output and error on fresh pipes. Returns
// false when the program cannot be started.
bool Spawn(const WorkerJob& job, Running& r) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> args = job.argv;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc =
      args.empty() ? EINVAL
                   : posix_spawn(&r.pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (rc != 0) {
    close(out[0]);
    close(err[0]);
    return false;
  }
  r.out_fd = out[0];
  r.err_fd = err[0];
  return true;
}

// Reads what waits on fd into buffer, *chunk the part read; returns false
// at its end (or on an error).
bool Drain(int fd, std::vector<char>& buffer, std::string_view* chunk) {
  *chunk = {};
  const ssize_t n = read(fd, buffer.data(), buffer.size());
  if (n > 0) {
    *chunk = std::string_view(buffer.data(), static_cast<size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

std::vector<WorkerOutcome> RunWorkers(
    const std::vector<WorkerJob>& jobs, const PoolOptions& options,
    const std::function<void(size_t job, std::string_view line)>& on_line) {
  std::vector<WorkerOutcome> outcomes(jobs.size());
  std::vector<Running> running;
  std::vector<char> buffer(64 * 1024);
  const size_t at_once =
      options.jobs > 0 ? static_cast<size_t>(options.jobs) : std::max<size_t>(jobs.size(), 1);
  size_t next = 0;

  auto finish = [&](Running& r) {
    int status = 0;
    rusage usage{};
    while (wait4(r.pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    WorkerOutcome& o = outcomes[r.job];
    o.end_ms = WallMs();
    if (WIFEXITED(status)) o.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
    o.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    o.max_rss_kb = usage.ru_maxrss;
    KeepTail(o.out, {}, true);
    KeepTail(o.err, {}, true);
    if (!r.line.pending.empty() && on_line) on_line(r.job, r.line.pending);
  };

  auto takeLines = [&](Running& r, std::string_view chunk) {
    r.line.Take(chunk, [&](const std::string& line) {
      if (on_line) on_line(r.job, line);
    });
  };

  bool stopping = false;
  while (next < jobs.size() || !running.empty()) {
    if (options.stop && *options.stop && !stopping) {
      stopping = true;
      next = jobs.size();  // the rest are not started
      for (const Running& r : running) kill(r.pid, SIGTERM);
    }
    while (next < jobs.size() && running.size() < at_once) {
      Running r;
      r.job = next;
      WorkerOutcome& o = outcomes[next];
      o.start_ms = WallMs();
      if (Spawn(jobs[next], r)) {
        o.started = true;
        if (options.limit_ms > 0) r.deadline = SteadyMs() + options.limit_ms;
        running.push_back(std::move(r));
      } else {
        o.end_ms = o.start_ms;
      }
      ++next;
    }
    if (running.empty()) continue;

    std::vector<pollfd> fds;
    int timeout = -1;  // no deadline: until a worker writes or ends
    const int64_t now = SteadyMs();
    for (const Running& r : running) {
      if (r.out_fd >= 0) fds.push_back({r.out_fd, POLLIN, 0});
      if (r.err_fd >= 0) fds.push_back({r.err_fd, POLLIN, 0});
      if (r.deadline > 0) {
        const int left = static_cast<int>(std::clamp<int64_t>(r.deadline - now, 0, 1 << 30));
        timeout = timeout < 0 ? left : std::min(timeout, left);
      }
    }
    // An interrupt that comes just before poll() would wait for the next
    // line of output: look again at least five times a second.
    if (options.stop && !stopping) timeout = timeout < 0 ? 200 : std::min(timeout, 200);
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

    for (Running& r : running) {
      WorkerOutcome& o = outcomes[r.job];
      for (const pollfd& p : fds) {
        if (p.revents == 0) continue;
        std::string_view chunk;
        if (p.fd == r.out_fd) {
          if (!Drain(r.out_fd, buffer, &chunk)) {
            close(r.out_fd);
            r.out_fd = -1;
          }
          KeepTail(o.out, chunk);
          takeLines(r, chunk);
        } else if (p.fd == r.err_fd) {
          if (!Drain(r.err_fd, buffer, &chunk)) {
            close(r.err_fd);
            r.err_fd = -1;
          }
          KeepTail(o.err, chunk);
        }
      }
      if (r.deadline > 0 && SteadyMs() >= r.deadline && !o.timed_out) {
        o.timed_out = true;
        kill(r.pid, SIGKILL);
        // What it wrote so far is kept; a process it left behind holding
        // the pipes must not hold up the run.
        for (int* fd : {&r.out_fd, &r.err_fd})
          if (*fd >= 0) {
            close(*fd);
            *fd = -1;
          }
      }
    }
    // A worker is done when both of its pipes have ended (a killed one
    // ends them too).
    for (size_t i = 0; i < running.size();) {
      Running& r = running[i];
      if (r.out_fd < 0 && r.err_fd < 0) {
        finish(r);
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }
  return outcomes;
}

}  // namespace velimo::cli::fleet
