// velimo-cli against hostile network servers, and the bench coordinator
// against flooding workers: how long each run takes, the processor time it
// uses and its peak memory, beside the figures of the code before (as
// measured when the faults were found).
//
// Each server runs on 127.0.0.1 in this process; velimo-cli connects to it
// as rfc2217://127.0.0.1:PORT --model s, with its trace on, and is timed and
// measured by the kernel (wait4). The server floods from the connection on
// or after agreeing to what the client asks (and answering its settings
// for a moment), and goes on until the client hangs up. The never-confirming
// server is a bridge to a simulated sTavi that answers all but PURGE-DATA.
//
// The coordinator row runs the supervisor's worker pool in a process of its
// own with two workers that flood both their streams for --seconds, and
// reports that process's peak memory.
//
// --cli runs another build of velimo-cli (the code before, say) on the same
// servers; a run is stopped after --limit seconds, and no run may map more
// than 4 GiB.
//
//   hostile_server_bench [--seconds N] [--only WORD] [--cli PATH] [--limit S]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fleet/worker_pool.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254,
              NOP = 241;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Repeat(const std::string& unit, size_t size) {
  std::string s;
  while (s.size() < size) s += unit;
  return s;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

struct Scenario {
  const char* name;
  // The code before: the figure the fault was found with, where there is
  // one; then this bench with --cli on a debug build of that code, runs
  // stopped at 20 s.
  const char* before;
  std::string flood;  // empty: the never-confirming bridge
  bool agree_first;
  bool read_during_flood;
};

// A server for one client: agrees and answers (or not), then floods.
class HostileServer {
 public:
  HostileServer(const Scenario& s, std::string device) : s_(s), device_(std::move(device)) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listen_fd_, 1) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    socklen_t len = sizeof a;
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~HostileServer() {
    stop_ = true;
    if (int fd = client_fd_.load(); fd >= 0) shutdown(fd, SHUT_RDWR);
    thread_.join();
    close(listen_fd_);
  }
  int Port() const { return port_; }

 private:
  void Run() {
    int fd = -1;
    while (!stop_ && fd < 0) {
      pollfd p{listen_fd_, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (fd < 0) return;
    client_fd_ = fd;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (s_.flood.empty()) {
      Bridge(fd);
    } else {
      if (s_.agree_first) Serve(fd, std::chrono::milliseconds(300));
      Flood(fd);
    }
    client_fd_ = -1;
    close(fd);
  }

  // Answers the client's requests (yes to everything) and its settings
  // (the value asked for) for `span`; the bytes of data are returned.
  std::string Handle(int fd, const char* in, size_t n, bool confirmPurge) {
    std::string data;
    for (size_t i = 0; i < n; ++i) {
      const int b = static_cast<uint8_t>(in[i]);
      switch (state_) {
        case 0:
          if (b == IAC) {
            state_ = 1;
          } else {
            data.push_back(static_cast<char>(b));
          }
          break;
        case 1:
          state_ = 0;
          if (b == IAC) {
            data.push_back(static_cast<char>(b));
          } else if (b >= WILL && b <= DONT) {
            verb_ = b;
            state_ = 2;
          } else if (b == SB) {
            sb_.clear();
            state_ = 3;
          }
          break;
        case 2:
          state_ = 0;
          if (verb_ == WILL) SendAll(fd, Bytes({IAC, DO, b}));
          if (verb_ == DO) SendAll(fd, Bytes({IAC, WILL, b}));
          break;
        case 3:
          if (b == IAC) {
            state_ = 4;
          } else {
            sb_.push_back(static_cast<char>(b));
          }
          break;
        case 4:
          if (b == IAC) {
            sb_.push_back(static_cast<char>(b));
            state_ = 3;
            break;
          }
          state_ = 0;
          if (sb_.size() >= 2 && static_cast<uint8_t>(sb_[0]) == 44) {
            const int command = static_cast<uint8_t>(sb_[1]);
            if (command == 12 && !confirmPurge) break;
            if (command == 12 && device_fd_ >= 0) tcflush(device_fd_, TCIOFLUSH);
            std::string answer = Bytes({IAC, SB, 44, command + 100});
            for (char c : sb_.substr(2)) {
              answer.push_back(c);
              if (static_cast<uint8_t>(c) == IAC) answer.push_back(c);
            }
            SendAll(fd, answer + Bytes({IAC, SE}));
          }
          break;
      }
    }
    return data;
  }

  void Serve(int fd, std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    char buffer[4096];
    while (!stop_ && std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      Handle(fd, buffer, static_cast<size_t>(n), true);
    }
  }

  void Flood(int fd) {
    const std::string chunk = Repeat(s_.flood, 60000);
    char buffer[4096];
    while (!stop_) {
      pollfd p{fd, static_cast<short>(POLLOUT | (s_.read_during_flood ? POLLIN : 0)), 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (p.revents & (POLLHUP | POLLERR)) return;
      if (p.revents & POLLIN) {
        if (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) == 0) return;
      }
      if ((p.revents & POLLOUT) &&
          send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
          errno != EAGAIN) {
        return;
      }
    }
  }

  // Relays between the client and the simulated modem's pseudo-terminal;
  // answers everything but PURGE-DATA.
  void Bridge(int fd) {
    device_fd_ = open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device_fd_ < 0) return;
    termios t{};
    tcgetattr(device_fd_, &t);
    cfmakeraw(&t);
    tcsetattr(device_fd_, TCSANOW, &t);
    char buffer[4096];
    while (!stop_) {
      pollfd p[2] = {{fd, POLLIN, 0}, {device_fd_, POLLIN, 0}};
      if (poll(p, 2, 100) <= 0) continue;
      if (p[0].revents) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        const std::string data = Handle(fd, buffer, static_cast<size_t>(n), false);
        if (!data.empty() && write(device_fd_, data.data(), data.size()) < 0) break;
      }
      if (p[1].revents) {
        const ssize_t n = read(device_fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        std::string out;
        for (ssize_t i = 0; i < n; ++i) {
          out.push_back(buffer[i]);
          if (static_cast<uint8_t>(buffer[i]) == IAC) out.push_back(buffer[i]);
        }
        if (!SendAll(fd, out)) break;
      }
    }
    close(device_fd_);
    device_fd_ = -1;
  }

  Scenario s_;
  std::string device_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<int> client_fd_{-1};
  std::atomic<bool> stop_{false};
  int device_fd_ = -1;
  int state_ = 0, verb_ = 0;
  std::string sb_;
  std::thread thread_;
};

struct Measured {
  double wall_s = 0;
  double cpu_s = 0;
  long rss_kb = 0;
  int status = -1;
  bool stopped = false;  // still running at the limit
  std::string output;
};

Measured RunMeasured(std::vector<std::string> args, const fs::path& outFile, double limitS = 600) {
  const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, out, 2);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Measured m;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out);
  // A run of the code before may grow without end: the machine is shared.
  const rlimit space{4ull << 30, 4ull << 30};
  prlimit(pid, RLIMIT_AS, &space, nullptr);
  int status = 0;
  rusage u{};
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &u);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > limitS &&
        !m.stopped) {
      m.stopped = true;
      kill(pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  m.cpu_s = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
            static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  m.rss_kb = u.ru_maxrss;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // What it printed, without the received lines of a flood.
  std::ifstream in(outFile);
  std::string line;
  for (int kept = 0; kept < 10000 && std::getline(in, line);) {
    if (line.size() > 300) continue;
    m.output += line + "\n";
    ++kept;
  }
  return m;
}

// How the run ended, from what velimo-cli printed.
std::string HowItEnded(const Measured& m) {
  const std::string& out = m.output;
  if (m.stopped) return "stopped at the limit";
  if (m.status > 128) return "killed by signal " + std::to_string(m.status - 128);
  if (out.find("more than 10 times") != std::string::npos) return "connection ended: option flips";
  if (out.find("did not agree to port control") != std::string::npos)
    return "open refused: no agreement in 3 s";
  if (out.find("did not confirm a purge") != std::string::npos &&
      out.find("LB_S_FwVer=1.3") != std::string::npos) {
    size_t said = 0;
    for (size_t at = 0; (at = out.find("did not confirm a purge", at)) != std::string::npos; ++at)
      ++said;
    return "report read; purge said " + std::to_string(said) + "x";
  }
  if (out.find("ERROR! Please check your serial port status.") != std::string::npos)
    return "response watchdog (5 s)";
  return "?";
}

// The simulated sTavi behind the never-confirming bridge.
class Simulator {
 public:
  explicit Simulator(const fs::path& dir) {
    link_ = (dir / "ttyVelimo-s").string();
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> args = {VELIMO_MODEM_SIM, "--model", "s", "--link", link_};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char line[512];
    FILE* in = fdopen(out[0], "r");
    if (!in || !fgets(line, sizeof line, in)) std::exit(1);
    fclose(in);
  }
  ~Simulator() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Link() const { return link_; }

 private:
  std::string link_;
  pid_t pid_ = -1;
};

// The coordinator's part, in a process of its own: two workers flooding
// both streams; prints its own peak memory in kB.
int CoordinatorChild(int seconds) {
  const std::string flood = "timeout " + std::to_string(seconds) +
                            " yes 'a progress line as a flooding worker prints it' & timeout " +
                            std::to_string(seconds) + " cat /dev/zero >&2; wait";
  const std::vector<velimo::cli::fleet::WorkerJob> jobs = {{{"/bin/sh", "-c", flood}},
                                                           {{"/bin/sh", "-c", flood}}};
  size_t lines = 0;
  velimo::cli::fleet::RunWorkers(jobs, {}, [&](size_t, std::string_view) { ++lines; });
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const double cpu = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                     static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  std::printf("%ld %zu %.2f\n", u.ru_maxrss, lines, cpu);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10;
  double limit = 30;
  std::string only;
  std::string cli = VELIMO_CLI;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--coordinator-child" && i + 1 < argc) return CoordinatorChild(std::atoi(argv[i + 1]));
    if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (a == "--cli" && i + 1 < argc) {
      cli = argv[++i];
    } else if (a == "--limit" && i + 1 < argc) {
      limit = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: hostile_server_bench [--seconds N] [--only WORD] [--cli PATH] "
                   "[--limit S]\n");
      return 2;
    }
  }
  const fs::path dir = fs::temp_directory_path() / ("velimo-hostile-" + std::to_string(getpid()));
  fs::create_directories(dir);

  const std::string will5 = Bytes({IAC, WILL, 5});
  const std::string nop = Bytes({IAC, NOP});
  const std::vector<Scenario> scenarios = {
      {"IAC WILL 5 for ever, reading nothing", "2.5-7.9 GB; 485 MB at 20 s", will5, false, false},
      {"IAC NOP flood", "10 s CPU-bound; 5.2 s", nop, false, true},
      {"IAC NOP flood once agreed", "running at 20 s", nop, true, true},
      {"DO/DONT BINARY toggling once agreed", "67 MB in 3 s; 245 MB at 20 s",
       Bytes({IAC, DO, 0, IAC, DONT, 0}), true, true},
      {"IAC WILL 5 once agreed, reading nothing", "485 MB at 20 s", will5, true, false},
      {"line-state reports and answers once agreed", "running at 20 s",
       Bytes({IAC, SB, 44, 106, 8, IAC, SE, IAC, SB, 44, 101, 0, 0, 0x25, 0x80, IAC, SE}), true,
       true},
      {"data without a line end once agreed", "6.9 s, 12 MB", std::string(1000, 'A'), true, true},
      {"PURGE-DATA never confirmed (sTavi behind it)", "\"Disconnected\" at 5.4 s", "", false,
       true},
  };

  std::printf("%s --trace --port rfc2217://127.0.0.1:PORT --model s, against:\n\n", cli.c_str());
  std::printf("| %-45s | %7s | %6s | %8s | %4s | %-33s | %-28s |\n", "server", "wall s", "CPU s",
              "peak MiB", "exit", "how it ended", "before");
  std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", std::string(47, '-').c_str(), std::string(9, '-').c_str(),
              std::string(8, '-').c_str(), std::string(10, '-').c_str(),
              std::string(6, '-').c_str(), std::string(35, '-').c_str(),
              std::string(30, '-').c_str());
  for (const Scenario& s : scenarios) {
    if (!only.empty() && std::string(s.name).find(only) == std::string::npos) continue;
    std::unique_ptr<Simulator> sim;
    if (s.flood.empty()) sim = std::make_unique<Simulator>(dir);
    HostileServer server(s, sim ? sim->Link() : "");
    const Measured m =
        RunMeasured({cli, "--trace", "--port",
                     "rfc2217://127.0.0.1:" + std::to_string(server.Port()), "--model", "s"},
                    dir / "out.txt", limit);
    std::printf("| %-45s | %7.2f | %6.2f | %8.1f | %4d | %-33s | %-28s |\n", s.name, m.wall_s,
                m.cpu_s, static_cast<double>(m.rss_kb) / 1024.0, m.status, HowItEnded(m).c_str(),
                s.before);
    std::fflush(stdout);
  }

  if (only.empty() || std::string("coordinator").find(only) != std::string::npos) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    self[n] = '\0';
    const Measured m =
        RunMeasured({self, "--coordinator-child", std::to_string(seconds)}, dir / "child.txt");
    long rss = 0;
    size_t lines = 0;
    double cpu = 0;
    std::sscanf(m.output.c_str(), "%ld %zu %lf", &rss, &lines, &cpu);
    std::printf(
        "\nBench coordinator, two workers flooding standard output (progress lines) and standard "
        "error (NUL bytes) for %d s:\n  coordinator peak %.1f MiB, %zu lines handed on, %.2f s "
        "CPU (before: 220 MB after 30 s with two flooding ports; the same two workers, 1.9 GB "
        "after 10 s)\n",
        seconds, static_cast<double>(rss) / 1024.0, lines, cpu);
  }
  fs::remove_all(dir);
  return 0;
}
