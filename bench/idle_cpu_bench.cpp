// CPU of an idle connected program: the form model with the real serial
// port connected to the simulated modem, its status report read, then the
// event loop serving for a while with nothing happening (the response
// watchdog ticks every 5 s, as it does in the window). Process CPU time of
// all the program's threads (the serial event thread included), and the
// simulator's beside it.
//
//   idle_cpu_bench [--table] [--seconds S]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim_rig.h"

int main(int argc, char** argv) {
  using namespace velimo::bench;
  bool table = false;
  int seconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::max(1, std::atoi(argv[++i]));
  }

  SimRig rig('s');
  const double sim0 = ChildCpuSeconds(rig.SimPid());
  const double cpu0 = ProcessCpuSeconds();
  const double t0 = NowSeconds();
  rig.Platform().RunFor(seconds * 1000);
  const double wall = NowSeconds() - t0;
  const double cpu = ProcessCpuSeconds() - cpu0;
  const double sim = ChildCpuSeconds(rig.SimPid()) - sim0;
  const bool connected = rig.S().Main().ComPortEnvBoard.Connected();
  const auto messages = rig.TakeMessages();

  std::printf("Idle connected program (headless event loop, real port, simulator attached)\n");
  std::printf("%-34s %10s %10s %10s\n", "", "wall s", "CPU ms", "% of core");
  std::printf("%-34s %10.2f %10.3f %10.4f\n", "program, all threads", wall, cpu * 1000.0,
              100.0 * cpu / wall);
  std::printf("%-34s %10.2f %10.1f %10.4f\n", "simulator (clock-tick resolution)", wall,
              sim * 1000.0, 100.0 * sim / wall);
  if (!connected || !messages.empty()) {
    std::printf("the link did not stay idle: %s, %zu message(s)\n",
                connected ? "connected" : "disconnected", messages.size());
    return 1;
  }
  if (table) {
    std::printf("figure idle.cpu_ms %.3f\n", cpu * 1000.0);
    std::printf("figure idle.wall_s %.2f\n", wall);
    std::printf("figure idle.share_pct %.4f\n", 100.0 * cpu / wall);
  }
  return 0;
}
