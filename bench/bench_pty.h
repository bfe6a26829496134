// What the serial benchmarks share: a monotonic clock in nanoseconds and a
// pseudo-terminal in raw mode whose slave side the port under test opens
// by its path while the benchmark drives the master side.
#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace velimo::bench {

inline int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Pty {
  int master = -1, slave = -1;
  std::string path;
  Pty() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    path = name;
  }
  ~Pty() {
    close(master);
    if (slave >= 0) close(slave);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
};

}  // namespace velimo::bench
