// CPU of an idle connected program: the form model with the real serial
// port connected to the simulated modem, its status report read, then the
// event loop serving for a while with nothing happening (the response
// watchdog ticks every 5 s, as it does in the window). Process CPU time of
// all the program's threads (the serial event thread included). Beside it,
// over the same seconds, a child process runs the headless event loop alone
// (no port, no timer): the floor that loop's own wake-ups cost. The
// simulator's CPU is shown too.
//
//   idle_cpu_bench [--table] [--seconds S]
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "sim_rig.h"

namespace {

// The bare loop in a child: waits for a byte on `go`, serves an empty
// headless loop for `seconds` and writes its CPU seconds to `result`.
[[noreturn]] void BareLoop(int go, int result, int seconds) {
  char c;
  if (read(go, &c, 1) != 1) _exit(1);
  velimo::forms::HeadlessPlatform platform;
  const double cpu0 = velimo::bench::ProcessCpuSeconds();
  platform.RunFor(seconds * 1000);
  const double cpu = velimo::bench::ProcessCpuSeconds() - cpu0;
  _exit(write(result, &cpu, sizeof cpu) == sizeof cpu ? 0 : 1);
}

// CPU seconds of this process's threads other than the calling one (the
// serial event thread), from the scheduler's nanosecond accounting.
double OtherThreadsCpuSeconds() {
  double total = 0;
  const std::string self = std::to_string(gettid());
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.' || self == e->d_name) continue;
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/schedstat");
    double ns = 0;
    if (in >> ns) total += ns * 1e-9;
  }
  closedir(dir);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velimo::bench;
  bool table = false;
  int seconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::max(1, std::atoi(argv[++i]));
  }

  // Forked before any thread exists; started once the program is idle.
  int go[2], result[2];
  if (pipe(go) != 0 || pipe(result) != 0) return 1;
  const pid_t bare = fork();
  if (bare < 0) return 1;
  if (bare == 0) {
    close(go[1]);
    close(result[0]);
    BareLoop(go[0], result[1], seconds);
  }
  close(go[0]);
  close(result[1]);

  SimRig rig('s');
  const double sim0 = ChildCpuSeconds(rig.SimPid());
  if (write(go[1], "g", 1) != 1) return 1;
  const double cpu0 = ProcessCpuSeconds();
  const double others0 = OtherThreadsCpuSeconds();
  const double t0 = NowSeconds();
  rig.Platform().RunFor(seconds * 1000);
  const double wall = NowSeconds() - t0;
  const double cpu = ProcessCpuSeconds() - cpu0;
  const double others = OtherThreadsCpuSeconds() - others0;
  const double sim = ChildCpuSeconds(rig.SimPid()) - sim0;
  const bool connected = rig.S().Main().ComPortEnvBoard.Connected();
  const auto messages = rig.TakeMessages();
  double bareCpu = -1;
  if (read(result[0], &bareCpu, sizeof bareCpu) != sizeof bareCpu) bareCpu = -1;
  waitpid(bare, nullptr, 0);

  std::printf("Idle connected program (headless event loop, real port, simulator attached)\n");
  std::printf("%-40s %10s %10s %10s\n", "", "wall s", "CPU ms", "% of core");
  std::printf("%-40s %10.2f %10.3f %10.4f\n", "program, all threads", wall, cpu * 1000.0,
              100.0 * cpu / wall);
  std::printf("%-40s %10.2f %10.3f %10.4f\n", "  of which the serial event thread", wall,
              others * 1000.0, 100.0 * others / wall);
  std::printf("%-40s %10.2f %10.3f %10.4f\n", "bare headless loop (same seconds)", wall,
              bareCpu * 1000.0, 100.0 * bareCpu / wall);
  std::printf("%-40s %10.2f %10.1f %10.4f\n", "simulator (clock-tick resolution)", wall,
              sim * 1000.0, 100.0 * sim / wall);
  if (!connected || !messages.empty()) {
    std::printf("the link did not stay idle: %s, %zu message(s)\n",
                connected ? "connected" : "disconnected", messages.size());
    return 1;
  }
  if (table) {
    std::printf("figure idle.cpu_ms %.3f\n", cpu * 1000.0);
    std::printf("figure idle.bare_loop_ms %.3f\n", bareCpu * 1000.0);
    std::printf("figure idle.event_thread_ms %.3f\n", others * 1000.0);
    std::printf("figure idle.wall_s %.2f\n", wall);
    std::printf("figure idle.share_pct %.4f\n", 100.0 * cpu / wall);
  }
  return 0;
}
