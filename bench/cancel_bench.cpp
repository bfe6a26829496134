// How soon a cancel is answered, from the cancel until the work has ended
// and given everything back:
//
// - a network open: the connection asked of a listener whose queue is
//   full (the request goes unanswered), and the server's agreement to
//   port control from one that takes the connection and says nothing;
// - a modem scan (Find Modem, velimo-cli scan) of a line where nothing
//   answers, stopped while it listens after a query.
//
// Each work's own limits are far longer than the run, so only the cancel
// ends it.
//
//   cancel_bench [--runs N] [--table]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_pty.h"
#include "scan/port_scan.h"
#include "serial/com_error.h"
#include "serial/net/network_port.h"
#include "util/cancel_token.h"

namespace {

using velimo::bench::NowNs;
using velimo::bench::Pty;

constexpr int kNeverMs = 10 * 60 * 1000;

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

// A loopback listener; its port number.
int Listen(int backlog, int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, backlog);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return fd;
}

// One network open cancelled once it waits: for the connection (a full
// queue) or for the agreement (a server that says nothing). Milliseconds
// from the cancel until the open's thread has ended; -1 when the open
// ended on its own.
double NetworkOpenCancelMs(bool connection) {
  int port = 0;
  const int listener = Listen(connection ? 0 : 4, &port);
  std::vector<int> fillers;
  if (connection) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    for (int i = 0; i < 3; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers.push_back(fd);
    }
  }
  velimo::serial::net::NetLimits never;
  never.connect_ms = kNeverMs;
  never.answer_ms = kNeverMs;
  const std::string name =
      (connection ? "tcp://127.0.0.1:" : "rfc2217://127.0.0.1:") + std::to_string(port);
  velimo::CancelToken cancel;
  std::atomic<bool> ended{false};
  std::thread opener([&] {
    try {
      velimo::serial::net::OpenNetworkTransport(name, cancel, never);
    } catch (const velimo::serial::EComPort&) {
    }
    ended = true;
  });
  int taken = -1;
  if (connection) {
    // Long enough for the request to be on its way.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } else {
    // The greeting has arrived: the open waits for the agreement.
    taken = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    pollfd p{taken, POLLIN, 0};
    poll(&p, 1, 5000);
  }
  const bool early = ended.load();
  const int64_t start = NowNs();
  cancel.Cancel();
  opener.join();
  const double ms = static_cast<double>(NowNs() - start) / 1e6;
  if (taken >= 0) close(taken);
  for (int fd : fillers) close(fd);
  close(listener);
  return early ? -1 : ms;
}

// A scan of a line where nothing answers, stopped once its first query
// has arrived. Milliseconds from the stop until the scan has returned.
double ScanStopMs() {
  Pty line;
  close(line.slave);  // the scan opens the line by its name
  line.slave = -1;
  std::atomic<bool> cancel{false};
  velimo::scan::ScanOptions options;
  options.ports = {line.path};
  options.listen_ms = kNeverMs;
  options.cancel = &cancel;
  std::thread scanner([&] { velimo::scan::ScanPorts(options); });
  pollfd p{line.master, POLLIN, 0};
  poll(&p, 1, 5000);
  const int64_t start = NowNs();
  cancel = true;
  scanner.join();
  return static_cast<double>(NowNs() - start) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  int runs = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::atoi(argv[++i]);
  }
  std::vector<double> connection, agreement, scan;
  int early = 0;
  for (int i = 0; i < runs; ++i) {
    for (auto [list, stage] : {std::pair{&connection, true}, std::pair{&agreement, false}}) {
      const double ms = NetworkOpenCancelMs(stage);
      if (ms < 0) {
        ++early;
      } else {
        list->push_back(ms);
      }
    }
    scan.push_back(ScanStopMs());
  }
  if (connection.empty() || agreement.empty()) {
    std::printf("cancel_bench: every open ended before its cancel; nothing measured\n");
    return 1;
  }
  const Stats c = Summarise(connection), a = Summarise(agreement), s = Summarise(scan);
  std::printf("From a cancel until the work has ended (%d runs)\n", runs);
  std::printf("%-44s %10s %10s\n", "", "p50", "p99");
  std::printf("%-44s %10.2f %10.2f\n", "network open, connection (ms)", c.p50, c.p99);
  std::printf("%-44s %10.2f %10.2f\n", "network open, agreement (ms)", a.p50, a.p99);
  std::printf("%-44s %10.2f %10.2f\n", "scan of a silent line (ms)", s.p50, s.p99);
  if (early) std::printf("%d open(s) ended before their cancel, left out\n", early);
  std::printf("target: each p99 <= 250 ms, the operator's click answered at once\n");
  if (table) {
    std::printf("figure cancel.net_connection.p50_ms %.2f\n", c.p50);
    std::printf("figure cancel.net_connection.p99_ms %.2f\n", c.p99);
    std::printf("figure cancel.net_agreement.p50_ms %.2f\n", a.p50);
    std::printf("figure cancel.net_agreement.p99_ms %.2f\n", a.p99);
    std::printf("figure cancel.scan.p50_ms %.2f\n", s.p50);
    std::printf("figure cancel.scan.p99_ms %.2f\n", s.p99);
  }
  return 0;
}
