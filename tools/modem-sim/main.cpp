// velimo-modem-sim: a simulated modem on a pseudo-terminal. This file moves
// bytes between the pseudo-terminal and the protocol core (modem.h) and
// carries out the fault options; it knows nothing of the lines themselves.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench.h"
#include "line_rate.h"
#include "modem.h"
#include "omitted_lines.h"
#include "options.h"
#include "util/version.h"
#include "wire.h"

namespace {

using velimo::sim::LineSplitter;
using velimo::sim::Modem;
using velimo::sim::Options;

const char kProgram[] = "velimo-modem-sim";

void Complain(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Shows a command or answer in the log with its control bytes visible.
std::string Visible(std::string_view text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      shown += code;
    }
  }
  return shown;
}

class Simulator {
 public:
  explicit Simulator(Options options)
      : options_(std::move(options)), modem_(options_.behaves_as, options_.firmware) {
    modem_.SetIgnored(options_.ignored);
    modem_.SetRateWatch(options_.rate_watch);
    if (options_.line_rate > 0) SetLinkRate(options_.line_rate);
  }
  ~Simulator() { Close(); }

  // Returns the exit status.
  int Run() {
    if (!LoadState() || !OpenSignals() || !OpenPty() || !MakeLink()) return 1;
    std::printf("%s\n", options_.link.c_str());
    std::fflush(stdout);
    if (options_.verbose) {
      Complain(std::string(velimo::sim::FamilyName(modem_.family())) + " on " + slave_name_ +
               ", firmware " + std::string(velimo::sim::FirmwareName(modem_.firmware())));
    }
    Serve();
    Close();
    return 0;
  }

 private:
  bool LoadState() {
    if (options_.state_file.empty()) return true;
    std::ifstream in(options_.state_file, std::ios::binary);
    if (in) {
      std::stringstream text;
      text << in.rdbuf();
      if (auto error = modem_.LoadState(text.str())) {
        Complain(options_.state_file + ": " + *error);
        return false;
      }
    }
    return SaveState();
  }

  // Written beside the file and renamed over it, so a stop in the middle
  // never leaves half a state.
  bool SaveState() {
    if (options_.state_file.empty()) return true;
    std::string temporary = options_.state_file + ".tmp";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << modem_.SaveState();
      out.flush();
      if (!out) {
        Complain("cannot write " + temporary);
        return false;
      }
    }
    if (std::rename(temporary.c_str(), options_.state_file.c_str()) != 0) {
      Complain(SystemError("cannot replace " + options_.state_file));
      return false;
    }
    return true;
  }

  bool OpenSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
      Complain(SystemError("sigprocmask"));
      return false;
    }
    signal(SIGPIPE, SIG_IGN);
    signal_fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signal_fd_ < 0) {
      Complain(SystemError("signalfd"));
      return false;
    }
    return true;
  }

  bool OpenPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      Complain(SystemError("cannot open a pseudo-terminal"));
      return false;
    }
    char name[256];
    if (ptsname_r(master_, name, sizeof name) != 0) {
      Complain(SystemError("ptsname"));
      return false;
    }
    slave_name_ = name;
    // Held open for the whole run: with no slave open, reads on the master
    // fail with EIO, and a program must be able to close the port and open
    // it again later.
    held_slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (held_slave_ < 0) {
      Complain(SystemError(std::string("cannot open ") + name));
      return false;
    }
    // Raw: no byte translated, no echo, no line editing, no signals.
    termios tio{};
    if (tcgetattr(held_slave_, &tio) == 0) {
      cfmakeraw(&tio);
      tio.c_cflag |= CLOCAL | CREAD;
      tcsetattr(held_slave_, TCSANOW, &tio);
    }
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    // The program takes the line exclusively, and on a pseudo-terminal that
    // mark outlives its close while the master is open: without clearing it
    // when the program lets go, it could not open the line again (unless it
    // runs as root). Closes of the slave are seen through inotify.
    closes_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closes_fd_ < 0 ||
        inotify_add_watch(closes_fd_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
      Complain(SystemError("inotify"));
      return false;
    }
    return true;
  }

  // Someone closed the line: give it free for the next open.
  void ClientClosed() {
    char events[4096];
    bool closed = false;
    while (read(closes_fd_, events, sizeof events) > 0) closed = true;
    if (closed) ioctl(held_slave_, TIOCNXCL);
  }

  bool MakeLink() {
    struct stat info {};
    if (lstat(options_.link.c_str(), &info) == 0) {
      if (!S_ISLNK(info.st_mode)) {
        Complain("refusing to replace " + options_.link + ", which is not a symbolic link");
        return false;
      }
      unlink(options_.link.c_str());  // a link left behind by an earlier run
    }
    if (symlink(slave_name_.c_str(), options_.link.c_str()) != 0) {
      Complain(SystemError("cannot link " + options_.link));
      return false;
    }
    linked_ = true;
    return true;
  }

  void RemoveLink() {
    if (!linked_) return;
    linked_ = false;
    char target[256];
    ssize_t n = readlink(options_.link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == slave_name_) {
      unlink(options_.link.c_str());
    }
  }

  void Close() {
    RemoveLink();
    for (int* fd : {&master_, &held_slave_, &signal_fd_, &closes_fd_}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

  bool SignalArrived() {
    signalfd_siginfo info;
    if (read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      if (options_.verbose) Complain(std::string("stopped by ") + strsignal(info.ssi_signo));
      stop_ = true;
    }
    return stop_;
  }

  // Waits, but ends early on a stop signal. False when stopped.
  bool Wait(int ms) {
    pollfd fd{signal_fd_, POLLIN, 0};
    if (ms > 0 && poll(&fd, 1, ms) > 0) return !SignalArrived();
    return !stop_;
  }

  // Writes all of it unless the program leaves it unread for a second (a
  // full input queue on its side), in which case the rest is dropped.
  void WriteAll(std::string_view data) {
    while (!data.empty() && !stop_) {
      ssize_t n = write(master_, data.data(), data.size());
      if (n > 0) {
        data.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        pollfd fd{master_, POLLOUT, 0};
        if (poll(&fd, 1, 1000) > 0) continue;
      }
      if (options_.verbose) Complain("answer dropped: nobody reads the line");
      return;
    }
  }

  void Send(const std::string& text) {
    if (options_.delay_ms > 0 && !Wait(options_.delay_ms)) return;
    if (options_.chunk <= 0) {
      WriteAll(text);
      return;
    }
    std::size_t chunk = static_cast<std::size_t>(options_.chunk);
    for (std::size_t at = 0; at < text.size() && !stop_; at += chunk) {
      if (at > 0 && !Wait(options_.chunk_pause_ms)) return;
      WriteAll(std::string_view(text).substr(at, chunk));
    }
  }

  // The port the modem talks through (the sTavi/uTavi port, the ioTavi's
  // RS-232 side) is set to rate, so its report says so.
  void SetLinkRate(int rate) {
    const std::string text = std::to_string(rate);
    int index = 0;
    while (index < static_cast<int>(velimo::sim::kBaudRates.size()) &&
           velimo::sim::kBaudRates[static_cast<size_t>(index)] != text)
      ++index;
    if (auto* s = std::get_if<velimo::sim::STaviConfig>(&modem_.config()))
      s->serial.baud_index = index;
    if (auto* i = std::get_if<velimo::sim::IoTaviConfig>(&modem_.config()))
      i->rs232.baud_index = index;
  }

  // One command line from the program. False once the modem has vanished.
  bool Command(const std::string& line) {
    ++commands_;
    if (options_.verbose) Complain("received \"" + Visible(line) + "\"");
    if (options_.line_rate > 0 && velimo::sim::LineRate(master_) != options_.line_rate) {
      if (options_.verbose) Complain("not heard: the line is not at its rate");
      return true;
    }
    const int rate = velimo::sim::LineRate(master_);
    if (!modem_.Hears(rate)) {
      // At another rate the modem receives noise: it neither acts nor answers.
      if (options_.verbose) Complain("not heard: the line runs at " + std::to_string(rate));
    } else if (!options_.silent) {
      velimo::sim::Answer answer = modem_.Handle(line);
      if (answer.changed) SaveState();
      answer.lines = velimo::sim::WithoutOmitted(std::move(answer.lines), options_.omitted);
      for (const auto& text : answer.lines) {
        if (options_.verbose) Complain("answer \"" + Visible(text) + "\"");
      }
      if (!answer.lines.empty()) Send(velimo::sim::WireText(answer.lines));
    }
    if (options_.vanish_after > 0 && commands_ >= options_.vanish_after) {
      // Time for the last answer to be read before the line goes dead.
      Wait(200);
      if (options_.verbose) Complain("vanishing after " + std::to_string(commands_) + " commands");
      return false;
    }
    return true;
  }

  // Takes what the program has written. False once the modem has vanished.
  bool ReadCommands() {
    char buffer[4096];
    ssize_t n;
    while ((n = read(master_, buffer, sizeof buffer)) > 0) {
      for (const auto& line :
           splitter_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
        if (line.empty()) continue;  // a bare carriage return
        if (!Command(line)) return false;
      }
    }
    return true;
  }

  void Serve() {
    while (!stop_) {
      pollfd fds[3] = {{master_, POLLIN, 0}, {signal_fd_, POLLIN, 0}, {closes_fd_, POLLIN, 0}};
      if (poll(fds, 3, -1) < 0) {
        if (errno == EINTR) continue;
        Complain(SystemError("poll"));
        return;
      }
      if ((fds[1].revents & POLLIN) && SignalArrived()) return;
      if (fds[0].revents & POLLIN) {
        if (!ReadCommands()) return;
      }
      if (fds[2].revents & POLLIN) ClientClosed();
      if (fds[0].revents & (POLLHUP | POLLERR)) {
        // No slave open; cannot happen while one is held, but never spin.
        if (!Wait(50)) return;
      }
    }
  }

  Options options_;
  Modem modem_;
  LineSplitter splitter_;
  std::string slave_name_;
  int master_ = -1;
  int held_slave_ = -1;
  int signal_fd_ = -1;
  int closes_fd_ = -1;
  bool linked_ = false;
  bool stop_ = false;
  int commands_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto bench = velimo::sim::ParseBench(args);
  if (bench.plan || !bench.error.empty()) {
    if (!bench.plan) {
      Complain(bench.error);
      return 2;
    }
    // Each modem is this program again; its options are checked there.
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return velimo::sim::RunBench(*bench.plan, n > 0 ? std::string(self, n) : std::string(argv[0]));
  }
  auto parsed = velimo::sim::ParseOptions(args);
  if (!parsed.options) {
    Complain(parsed.error);
    std::fprintf(stderr, "Try '%s --help'.\n", kProgram);
    return 2;
  }
  if (parsed.options->help) {
    std::fputs(velimo::sim::UsageText().c_str(), stdout);
    return 0;
  }
  if (parsed.options->version) {
    std::printf("%s (%s) %s\n", kProgram, velimo::kProgramName, velimo::kVersion);
    return 0;
  }
  Simulator simulator(*parsed.options);
  return simulator.Run();
}
