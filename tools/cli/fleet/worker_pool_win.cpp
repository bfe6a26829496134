// The worker pool on Windows: each worker is started with CreateProcessW,
// its standard output and error on pipes of its own, in a process group
// of its own so that a stop reaches it as Ctrl-Break (which velimo-cli
// takes as it takes SIGTERM on Linux) while the console's Ctrl-C reaches
// the coordinator alone. Anonymous pipes cannot be waited on, so the pool
// looks at them (PeekNamedPipe) between short waits on the processes.
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <algorithm>
#include <chrono>

#include "fleet/clock_ms.h"
#include "fleet/worker_output.h"
#include "fleet/worker_pool.h"
#include "util/wide_text_win.h"

namespace velimo::cli::fleet {

namespace {

struct Running {
  size_t job = 0;
  HANDLE process = nullptr;
  DWORD pid = 0;
  HANDLE out = nullptr;  // read ends; nullptr once ended
  HANDLE err = nullptr;
  int64_t deadline = 0;  // steady clock; 0: none
  WorkerLine line;       // standard output's line begun
};

void CloseIf(HANDLE& h) {
  if (h) CloseHandle(h);
  h = nullptr;
}

bool Spawn(const WorkerJob& job, Running& r) {
  if (job.argv.empty()) return false;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 64 * 1024)) return false;
  if (!CreatePipe(&errRead, &errWrite, &inherit, 64 * 1024)) {
    CloseIf(outRead);
    CloseIf(outWrite);
    return false;
  }
  // Only the write ends go to the worker.
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  std::wstring line;
  for (const std::string& a : job.argv) AppendQuotedWord(line, Widen(a));
  const std::wstring program = Widen(job.argv[0]);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                                      nullptr, nullptr, &startup, &process);
  CloseIf(outWrite);
  CloseIf(errWrite);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    CloseIf(outRead);
    CloseIf(errRead);
    return false;
  }
  CloseHandle(process.hThread);
  r.process = process.hProcess;
  r.pid = process.dwProcessId;
  r.out = outRead;
  r.err = errRead;
  return true;
}

// Reads what waits in the pipe, without waiting; false at its end.
bool Drain(HANDLE pipe, std::vector<char>& buffer, std::string_view* chunk) {
  *chunk = {};
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
  if (available == 0) return true;
  DWORD n = 0;
  const DWORD want = std::min<DWORD>(available, static_cast<DWORD>(buffer.size()));
  if (!ReadFile(pipe, buffer.data(), want, &n, nullptr)) return false;
  *chunk = std::string_view(buffer.data(), n);
  return true;
}

double Seconds(const FILETIME& t) {
  return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
         1e7;
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
    WaitForSingleObject(r.process, INFINITE);
    WorkerOutcome& o = outcomes[r.job];
    o.end_ms = WallMs();
    DWORD code = 0;
    if (GetExitCodeProcess(r.process, &code)) o.exit_status = static_cast<int>(code);
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(r.process, &created, &exited, &kernel, &user))
      o.cpu_seconds = Seconds(kernel) + Seconds(user);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(r.process, &memory, sizeof memory))
      o.max_rss_kb = static_cast<long>(memory.PeakWorkingSetSize / 1024);
    CloseIf(r.process);
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
      next = jobs.size();
      for (const Running& r : running) GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, r.pid);
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

    bool read = false;
    for (Running& r : running) {
      WorkerOutcome& o = outcomes[r.job];
      std::string_view chunk;
      if (r.out) {
        if (!Drain(r.out, buffer, &chunk)) CloseIf(r.out);
        read = read || !chunk.empty();
        KeepTail(o.out, chunk);
        takeLines(r, chunk);
      }
      if (r.err) {
        if (!Drain(r.err, buffer, &chunk)) CloseIf(r.err);
        read = read || !chunk.empty();
        KeepTail(o.err, chunk);
      }
      if (r.deadline > 0 && SteadyMs() >= r.deadline && !o.timed_out) {
        o.timed_out = true;
        TerminateProcess(r.process, 1);
        CloseIf(r.out);
        CloseIf(r.err);
      }
    }
    for (size_t i = 0; i < running.size();) {
      Running& r = running[i];
      if (!r.out && !r.err) {
        finish(r);
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
    if (read || running.empty()) continue;
    // Nothing arrived: wait a little, or less when a worker ends.
    std::vector<HANDLE> processes;
    for (const Running& r : running)
      if (processes.size() < MAXIMUM_WAIT_OBJECTS) processes.push_back(r.process);
    WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE, 5);
  }
  return outcomes;
}

}  // namespace velimo::cli::fleet
