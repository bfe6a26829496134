// How long a line written on the far side of a pseudo-terminal takes to
// reach the OnRxChar handler on the serving thread, beside a bare
// poll-and-read loop on another pty in the same run; and what an open,
// idle port costs in CPU.
//
//   serial_latency_bench [--lines N] [--idle-seconds S] [--table]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_pty.h"
#include "serial/com_port.h"

namespace {

using velimo::bench::NowNs;
using velimo::bench::Pty;

// The far end: writes one numbered line, waits until the receiver has
// seen it (ack pipe), records the time the line was written.
class FarEnd {
 public:
  FarEnd(int master, int lines) : master_(master), lines_(lines), sent_ns_(lines) {
    if (pipe(ack_) != 0) std::exit(1);
  }
  ~FarEnd() {
    close(ack_[0]);
    close(ack_[1]);
  }
  void Start() {
    thread_ = std::thread([this] {
      char line[32];
      for (int i = 0; i < lines_; ++i) {
        int n = std::snprintf(line, sizeof line, "OK %06d\n", i);
        sent_ns_[i] = NowNs();
        if (write(master_, line, static_cast<size_t>(n)) != n) std::exit(2);
        char c;
        if (read(ack_[0], &c, 1) != 1) std::exit(2);
      }
    });
  }
  void Join() { thread_.join(); }
  // Receiver side: the line is complete.
  void Ack() {
    char c = 'k';
    if (write(ack_[1], &c, 1) != 1) std::exit(2);
  }
  int64_t SentNs(int i) const { return sent_ns_[i]; }

 private:
  int master_;
  int lines_;
  std::vector<int64_t> sent_ns_;
  int ack_[2];
  std::thread thread_;
};

struct Stats {
  double p50, p99, max;
};

Stats Summarise(std::vector<int64_t> ns) {
  std::sort(ns.begin(), ns.end());
  auto at = [&](double q) {
    size_t i = static_cast<size_t>(q * static_cast<double>(ns.size() - 1));
    return static_cast<double>(ns[i]) / 1000.0;
  };
  return {at(0.50), at(0.99), static_cast<double>(ns.back()) / 1000.0};
}

// Collects bytes into lines; returns the number of lines completed.
struct LineCounter {
  int lines = 0;
  void Feed(const char* data, int n) {
    for (int i = 0; i < n; ++i) {
      if (data[i] == '\n') ++lines;
    }
  }
};

// A receiver that polls and reads the pty itself.
class BareRig {
 public:
  BareRig() {
    termios t;
    tcgetattr(pty_.slave, &t);
    cfmakeraw(&t);
    tcsetattr(pty_.slave, TCSANOW, &t);
    fcntl(pty_.slave, F_SETFL, fcntl(pty_.slave, F_GETFL) | O_NONBLOCK);
  }
  void Run(int lines, std::vector<int64_t>* latency) {
    FarEnd far(pty_.master, lines);
    LineCounter counter;
    far.Start();
    char buf[256];
    while (counter.lines < lines) {
      pollfd p{pty_.slave, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) {
        std::fprintf(stderr, "bare loop: timed out\n");
        std::exit(3);
      }
      ssize_t n = read(pty_.slave, buf, sizeof buf);
      if (n <= 0) continue;
      int before = counter.lines;
      counter.Feed(buf, static_cast<int>(n));
      for (int i = before; i < counter.lines; ++i) {
        latency->push_back(NowNs() - far.SentNs(i));
        far.Ack();
      }
    }
    far.Join();
  }

 private:
  Pty pty_;
};

// The port with its event thread, served by a headless loop as the
// command-line driver serves it.
class PortRig {
 public:
  PortRig() {
    port_.SetPort(pty_.path);
    port_.SetBaudRate(velimo::serial::brCustom);
    port_.SetCustomBaudRate(115200);
    port_.FlowControl().SetControlDTR(velimo::serial::dtrEnable);
    port_.OpenPort();
  }
  void Run(int lines, std::vector<int64_t>* latency) {
    FarEnd far(pty_.master, lines);
    LineCounter counter;
    port_.OnRxChar = [&](int count) {
      char buf[256];
      int n = port_.ReadBytes(buf, std::min<int>(count, sizeof buf));
      int before = counter.lines;
      counter.Feed(buf, n);
      for (int i = before; i < counter.lines; ++i) {
        latency->push_back(NowNs() - far.SentNs(i));
        far.Ack();
      }
    };
    far.Start();
    while (counter.lines < lines) {
      pollfd p{port_.WakeFd(), POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) {
        std::fprintf(stderr, "port loop: timed out\n");
        std::exit(3);
      }
      port_.ProcessPendingEvents();
    }
    far.Join();
    port_.OnRxChar = nullptr;
  }

 private:
  Pty pty_;
  velimo::serial::TComPort port_;
};

double CpuSeconds() {
  rusage r;
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int lines = 10000;
  int idleSeconds = 10;
  bool table = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) {
      table = true;
    } else if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) {
      lines = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--idle-seconds") == 0 && i + 1 < argc) {
      idleSeconds = std::max(0, std::atoi(argv[++i]));
    }
  }

  // Both receivers live side by side and take turns in rounds, so a
  // change in the machine's load falls on both alike.
  BareRig bareRig;
  PortRig portRig;
  std::vector<int64_t> bareNs, portNs, warm;
  bareRig.Run(200, &warm);
  portRig.Run(200, &warm);
  const int rounds = 10;
  for (int r = 0; r < rounds; ++r) {
    int n = lines / rounds + (r < lines % rounds ? 1 : 0);
    bareRig.Run(n, &bareNs);
    portRig.Run(n, &portNs);
  }
  Stats bare = Summarise(bareNs);
  Stats port = Summarise(portNs);

  std::printf("Receive latency, far side of a pty to the receiver, %d lines (microseconds)\n",
              lines);
  std::printf("%-34s %10s %10s %10s\n", "path", "p50", "p99", "max");
  std::printf("%-34s %10.1f %10.1f %10.1f\n", "bare poll() + read() loop", bare.p50, bare.p99,
              bare.max);
  std::printf("%-34s %10.1f %10.1f %10.1f\n", "TComPort hand-over -> OnRxChar", port.p50, port.p99,
              port.max);
  std::printf("%-34s %10.2f %10.2f %10s   (target p99 <= 2.00)\n", "ratio port / bare",
              port.p50 / bare.p50, port.p99 / bare.p99, "");
  if (table) {
    std::printf("figure latency.bare.p50_us %.1f\nfigure latency.bare.p99_us %.1f\n", bare.p50,
                bare.p99);
    std::printf("figure latency.port.p50_us %.1f\nfigure latency.port.p99_us %.1f\n", port.p50,
                port.p99);
    std::printf("figure latency.ratio.p50 %.3f\nfigure latency.ratio.p99 %.3f\n",
                port.p50 / bare.p50, port.p99 / bare.p99);
  }

  if (idleSeconds > 0) {
    Pty pty;
    velimo::serial::TComPort idle;
    idle.SetPort(pty.path);
    idle.OpenPort();
    double cpu0 = CpuSeconds();
    int64_t t0 = NowNs();
    // The serving loop waits as it would in the program.
    int64_t until = t0 + static_cast<int64_t>(idleSeconds) * 1000000000;
    while (NowNs() < until) {
      pollfd p{idle.WakeFd(), POLLIN, 0};
      poll(&p, 1, static_cast<int>((until - NowNs()) / 1000000 + 1));
      idle.ProcessPendingEvents();
    }
    double cpu = CpuSeconds() - cpu0;
    double wall = static_cast<double>(NowNs() - t0) / 1e9;
    std::printf("\nOpen idle port (event thread waiting, serving loop in poll)\n");
    std::printf("%-34s %10s %10s %10s\n", "", "wall s", "CPU ms", "CPU %");
    std::printf("%-34s %10.2f %10.3f %10.4f\n", "process total", wall, cpu * 1000.0,
                100.0 * cpu / wall);
  }
  return 0;
}
