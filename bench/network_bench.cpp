// A modem behind the network: ser2net bridges a pseudo-terminal (the
// modem's line) to a local RFC 2217 port, and the serial port component
// talks to it as the program does.
//
// - Latency: a line written on the modem's side until the OnRxChar handler
//   has it whole, through ser2net, beside the same through a local pty.
// - Pacing as the far side sees it: bytes written one at a time with the
//   platform's 5 ms pause after each, as the command transmitter writes
//   them; the gaps between their arrivals on the modem's line, as a ratio
//   to 5 ms, through ser2net and through a local pty.
//
//   network_bench [--lines N] [--bytes N] [--table]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench.
// Without ser2net installed it says so and prints no figures.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_pty.h"
#include "forms/headless_platform.h"
#include "serial/com_port.h"
#include "serial/net/network_port.h"

namespace {

using velimo::bench::NowNs;
using velimo::bench::Pty;

struct Stats {
  double p50 = 0, p99 = 0;
};

Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  auto rank = [&](double q) {
    const size_t r = static_cast<size_t>(std::ceil(q * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, r == 0 ? 0 : r - 1)];
  };
  return {rank(0.5), rank(0.99)};
}

int FreeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

std::string Ser2net() {
  for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}

// Opens the port (a pty path or a URL) and serves its events until `done`.
void Serve(velimo::serial::TComPort& port, const std::function<bool()>& done) {
  while (!done()) {
    pollfd p{port.WakeFd(), POLLIN, 0};
    if (poll(&p, 1, 3000) <= 0) {
      std::fprintf(stderr, "network_bench: no events for 3 s\n");
      std::exit(3);
    }
    port.ProcessPendingEvents();
  }
}

// Latency of `lines` lines written on the modem's side (master).
std::vector<double> Latency(velimo::serial::TComPort& port, int master, int lines) {
  std::vector<double> us;
  int complete = 0;
  int64_t sent = 0;
  port.OnRxChar = [&](int count) {
    std::string chunk(static_cast<size_t>(count), '\0');
    const int n = port.ReadBytes(chunk.data(), count);
    for (int i = 0; i < n; ++i) {
      if (chunk[static_cast<size_t>(i)] != '\n') continue;
      us.push_back(static_cast<double>(NowNs() - sent) / 1000.0);
      ++complete;
    }
  };
  char line[32];
  for (int i = 0; i < lines; ++i) {
    const int n = std::snprintf(line, sizeof line, "OK %06d\r\n", i);
    sent = NowNs();
    if (write(master, line, static_cast<size_t>(n)) != n) std::exit(2);
    Serve(port, [&] { return complete > i; });
  }
  port.OnRxChar = nullptr;
  return us;
}

// Gaps between the arrivals of paced bytes on the modem's side, / 5 ms.
std::vector<double> Pacing(velimo::serial::TComPort& port, int master, int bytes,
                           velimo::forms::HeadlessPlatform& platform) {
  std::vector<int64_t> arrivals;
  std::atomic<bool> stop{false};
  std::thread far([&] {
    char buffer[64];
    while (!stop) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = read(master, buffer, sizeof buffer);
      // Bytes that come together arrived together.
      for (ssize_t i = 0; i < n; ++i) arrivals.push_back(NowNs());
    }
  });
  port.PurgeQueues(true, true);
  for (int i = 0; i < bytes; ++i) {
    const char c = static_cast<char>('A' + i % 26);
    port.WriteBytes(&c, 1);
    platform.Pause(5);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop = true;
  far.join();
  std::vector<double> ratios;
  for (size_t i = 1; i < arrivals.size(); ++i) {
    ratios.push_back(static_cast<double>(arrivals[i] - arrivals[i - 1]) / 5e6);
  }
  return ratios;
}

void Configure(velimo::serial::TComPort& port, const std::string& name) {
  port.SetTransportFactory(velimo::serial::net::NetworkTransportFor);
  port.SetPort(name);
  port.SetBaudRate(velimo::serial::br115200);
  port.FlowControl().SetControlDTR(velimo::serial::dtrEnable);
  port.OpenPort();
}

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  int lines = 1000;
  int bytes = 400;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) lines = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--bytes") == 0 && i + 1 < argc) bytes = std::atoi(argv[++i]);
  }
  const std::string ser2net = Ser2net();
  if (ser2net.empty()) {
    std::printf("network_bench: ser2net is not installed; nothing measured\n");
    return 0;
  }
  signal(SIGPIPE, SIG_IGN);
  velimo::forms::HeadlessPlatform platform;

  // The modem's line behind ser2net; ser2net opens the slave by its path.
  Pty remote;
  close(remote.slave);
  remote.slave = -1;
  const int tcpPort = FreeTcpPort();
  char dir[] = "/tmp/velimo-netbench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string config = std::string(dir) + "/ser2net.yaml";
  std::ofstream(config) << "connection: &rfc\n"
                        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << tcpPort << "\n"
                        << "  connector: serialdev," << remote.path << ",115200n81,local\n";
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execl(ser2net.c_str(), ser2net.c_str(), "-n", "-c", config.c_str(), "-P",
          (std::string(dir) + "/pid").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  velimo::serial::TComPort network;
  for (int attempt = 0;; ++attempt) {
    try {
      Configure(network, "rfc2217://127.0.0.1:" + std::to_string(tcpPort));
      break;
    } catch (const std::exception& e) {
      if (attempt > 100) {
        std::fprintf(stderr, "network_bench: %s\n", e.what());
        return 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  Pty local;
  velimo::serial::TComPort direct;
  Configure(direct, local.path);

  const Stats netLat = Summarise(Latency(network, remote.master, lines));
  const Stats locLat = Summarise(Latency(direct, local.master, lines));
  const Stats netPace = Summarise(Pacing(network, remote.master, bytes, platform));
  const Stats locPace = Summarise(Pacing(direct, local.master, bytes, platform));
  network.ClosePort();
  direct.ClosePort();
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  std::remove(config.c_str());
  std::remove((std::string(dir) + "/pid").c_str());
  rmdir(dir);

  std::printf("Network port (RFC 2217 through ser2net) against a local pty\n");
  std::printf("%-44s %10s %10s\n", "", "p50", "p99");
  std::printf("%-44s %10.1f %10.1f\n", "line latency, ser2net (us)", netLat.p50, netLat.p99);
  std::printf("%-44s %10.1f %10.1f\n", "line latency, local pty (us)", locLat.p50, locLat.p99);
  std::printf("%-44s %10.4f %10.4f\n", "5 ms pacing at the far side, ser2net (x)", netPace.p50,
              netPace.p99);
  std::printf("%-44s %10.4f %10.4f\n", "5 ms pacing at the far side, local pty (x)", locPace.p50,
              locPace.p99);
  std::printf("target: pacing p50 <= 1.03, p99 <= 1.05 as a local port\n");
  if (table) {
    std::printf("figure net.latency.ser2net.p50_us %.1f\n", netLat.p50);
    std::printf("figure net.latency.ser2net.p99_us %.1f\n", netLat.p99);
    std::printf("figure net.latency.local.p50_us %.1f\n", locLat.p50);
    std::printf("figure net.latency.local.p99_us %.1f\n", locLat.p99);
    std::printf("figure net.latency.ratio.p50 %.2f\n", netLat.p50 / locLat.p50);
    std::printf("figure net.pacing.ser2net.p50 %.4f\n", netPace.p50);
    std::printf("figure net.pacing.ser2net.p99 %.4f\n", netPace.p99);
    std::printf("figure net.pacing.local.p50 %.4f\n", locPace.p50);
    std::printf("figure net.pacing.local.p99 %.4f\n", locPace.p99);
  }
  return 0;
}
