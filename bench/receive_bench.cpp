// Receive side throughput: a full sTavi status report (16 lines) through
// line assembly alone and through assembly, echo and ParseResponse_S, in
// memory and through a real pseudo-terminal. Prints lines per second, the
// ratio to what a 921600-baud link can deliver (92,160 bytes per second),
// and, for the pty, CPU time per megabyte against a bare read-and-split
// loop measured in the same run. Medians of several runs.
//
//   receive_bench [--table]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "forms/form_main.h"
#include "protocol/line_assembler.h"
#include "serial/byte_channel.h"

namespace {

constexpr double kLinkBytesPerSecond = 92160.0;  // 921600 baud, 10 bits a byte

const char* const kReport[] = {
    "F/W Ver : 1.3\r\n",
    "Source ID : 1234\r\n",
    "Destination ID = 5678, Table = 1, Entry = 2\r\n",
    "Main   PID : 11\r\n",
    "LoRa   PID : 12\r\n",
    "Serial PID : 13\r\n",
    "Country : KOR\r\n",
    "Channel = 5, Spreading Factor = 9\r\n",
    "Encryption : ON\r\n",
    "Port Type : Normal\r\n",
    "Peer to Peer : ON\r\n",
    "Message Timeout = 2550ms, Message Size = 116bytes\r\n",
    "STX Length = 2, STX1 = 0x02, STX2 = 0x03, STX3 = 0x00\r\n",
    "ETX Length = 0, ETX1 = 0x00, ETX2 = 0x00, ETX3 = 0x00\r\n",
    "Baudrate = 115200, Parity Bit = Even, Data Bit = 8\r\n",
    "Stop Bit = 1, Hardware Flow Control = RTS/CTS\r\n",
};
constexpr int kReportLines = sizeof kReport / sizeof kReport[0];

std::string Reports(int count) {
  std::string one;
  for (const char* l : kReport) one += l;
  std::string all;
  all.reserve(one.size() * static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) all += one;
  return all;
}

class NullTimer : public velimo::PlatformTimer {
 public:
  void Start(int) override { active_ = true; }
  void Stop() override { active_ = false; }
  bool Active() const override { return active_; }

 private:
  bool active_ = false;
};

// No desktop: message boxes are counted (a status report shows none).
class QuietPlatform : public velimo::Platform {
 public:
  void ShowMessage(std::string_view) override { ++messages; }
  bool Confirm(std::string_view) override { return true; }
  void ShowError(std::string_view) override { ++messages; }
  void Pause(int) override {}
  velimo::LocalDateTime Now() override { return {}; }
  int64_t MonotonicMs() override { return 0; }
  std::unique_ptr<velimo::PlatformTimer> CreateTimer(std::function<void()>) override {
    return std::make_unique<NullTimer>();
  }
  void RestartApplication() override {}
  int messages = 0;
};

// Serves a byte string to reads, as the port's input queue would.
class MemoryChannel : public velimo::serial::ByteChannel {
 public:
  bool Connected() const override { return true; }
  void PurgeQueues(bool, bool) override {}
  int WriteBytes(const void*, int count) override { return count; }
  int ReadBytes(void* data, int count) override {
    const size_t n = std::min(data_.size() - pos_, static_cast<size_t>(count));
    std::memcpy(data, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<int>(n);
  }
  void Reset(std::string_view data) {
    data_ = data;
    pos_ = 0;
  }
  size_t Left() const { return data_.size() - pos_; }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// The port on a pty's slave side, read as the port component reads it.
class FdChannel : public velimo::serial::ByteChannel {
 public:
  explicit FdChannel(int fd) : fd_(fd) {}
  bool Connected() const override { return true; }
  void PurgeQueues(bool, bool) override {}
  int WriteBytes(const void*, int count) override { return count; }
  int ReadBytes(void* data, int count) override {
    const ssize_t n = read(fd_, data, static_cast<size_t>(count));
    return n < 0 ? 0 : static_cast<int>(n);
  }

 private:
  int fd_;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Row {
  std::string name;
  double lines_per_s;
  double bytes_per_s;
};

void PrintRow(const Row& r) {
  std::printf("%-40s %14.0f %10.1f %12.0fx\n", r.name.c_str(), r.lines_per_s, r.bytes_per_s / 1e6,
              r.bytes_per_s / kLinkBytesPerSecond);
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU seconds of one pass, median of runs. CPU time rather than wall time:
// the machine is shared, and time spent descheduled is not the receive
// path's.
double TimeIt(int runs, const std::function<void()>& pass) {
  std::vector<double> s;
  for (int i = 0; i < runs; ++i) {
    const double t0 = ThreadCpuSeconds();
    pass();
    s.push_back(ThreadCpuSeconds() - t0);
  }
  return Median(s);
}

// One transfer of data through a pty: a writer thread feeds the master
// side while this thread waits for input on the slave side and lets
// consumeSome take what is there (it returns how many bytes it took).
// Returns this thread's CPU seconds, or a negative value when no pty can be
// had or the transfer stalls.
double PtyRun(const std::string& data, const std::function<size_t(int fd)>& consumeSome) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    close(master);
    return -1;
  }
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);

  std::thread writer([&] {
    size_t off = 0;
    while (off < data.size()) {
      const ssize_t n = write(master, data.data() + off, std::min<size_t>(4096, data.size() - off));
      if (n <= 0) break;
      off += static_cast<size_t>(n);
    }
  });
  const double cpu0 = ThreadCpuSeconds();
  size_t got = 0;
  while (got < data.size()) {
    pollfd p{slave, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) break;
    got += consumeSome(slave);
  }
  const double cpu = ThreadCpuSeconds() - cpu0;
  writer.join();
  close(slave);
  close(master);
  return got == data.size() ? cpu : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool table = argc > 1 && std::strcmp(argv[1], "--table") == 0;
  const int kReports = 20000;
  const std::string stream = Reports(kReports);
  const double lines = static_cast<double>(kReports) * kReportLines;
  const double bytes = static_cast<double>(stream.size());
  const int kRuns = 7;

  std::printf("Receive path: full sTavi status report, %d lines, %zu bytes a report\n",
              kReportLines, stream.size() / kReports);
  std::printf(
      "%d reports a pass, median of %d passes (thread CPU time); link = 921600 baud = "
      "92160 bytes/s\n\n",
      kReports, kRuns);
  std::printf("%-40s %14s %10s %13s\n", "in memory", "lines/s", "MB/s", "x link rate");

  std::vector<Row> rows;
  // Baseline: splitting at line feeds and nothing else.
  {
    size_t count = 0;
    const double s = TimeIt(kRuns, [&] {
      for (size_t off = 0; off < stream.size(); off += 4096) {
        const char* p = stream.data() + off;
        const char* end = p + std::min<size_t>(4096, stream.size() - off);
        while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
          ++count;
          ++p;
        }
      }
    });
    rows.push_back({"bare split (memchr, 4096-byte chunks)", lines / s, bytes / s});
    if (count == 0) return 1;
  }
  for (int chunk : {4096, 32}) {
    size_t count = 0;
    velimo::protocol::LineAssembler assembler([&](std::string_view) { ++count; });
    const double s = TimeIt(kRuns, [&] {
      for (size_t off = 0; off < stream.size(); off += static_cast<size_t>(chunk))
        assembler.Feed(std::string_view(stream).substr(off, static_cast<size_t>(chunk)));
    });
    rows.push_back(
        {"assembly only, " + std::to_string(chunk) + "-byte chunks", lines / s, bytes / s});
  }
  QuietPlatform platform;
  velimo::forms::TForm_main form(platform);
  MemoryChannel memory;
  form.SetPort(&memory);
  form.sTavi1Click();
  for (int chunk : {4096, 32}) {
    const double s = TimeIt(kRuns, [&] {
      memory.Reset(stream);
      while (memory.Left() > 0) {
        form.ComPortEnvBoardRxChar(static_cast<int>(std::min<size_t>(memory.Left(), chunk)));
        // The pane keeps every received line until a trace line empties
        // it; the run would otherwise measure a growing vector.
        if (form.Trace().Pane().LineCount() > 500) form.Trace().Clear();
      }
    });
    rows.push_back(
        {"event + echo + parser, " + std::to_string(chunk) + "-byte chunks", lines / s, bytes / s});
  }
  for (const Row& r : rows) PrintRow(r);
  if (table) {
    // The last two rows: receive event, echo and parser, 4096- and 32-byte chunks.
    const Row& big = rows[rows.size() - 2];
    const Row& small = rows.back();
    std::printf("figure receive.4096.x_link %.0f\nfigure receive.4096.lines_per_s %.0f\n",
                big.bytes_per_s / kLinkBytesPerSecond, big.lines_per_s);
    std::printf("figure receive.32.x_link %.0f\nfigure receive.32.lines_per_s %.0f\n",
                small.bytes_per_s / kLinkBytesPerSecond, small.lines_per_s);
  }
  if (platform.messages != 0 || form.Edit_S_Sid.Text() != "1234") {
    std::printf("unexpected parser result (%d messages)\n", platform.messages);
    return 1;
  }

  // Through a real pseudo-terminal: CPU of the reading thread per megabyte.
  const std::string pty_stream = Reports(4000);  // about 1.9 MB
  const double mb = static_cast<double>(pty_stream.size()) / (1024.0 * 1024.0);
  std::vector<double> bare_cpu, assembly_cpu, form_cpu;
  size_t assembled = 0;
  velimo::protocol::LineAssembler assembler([&](std::string_view) { ++assembled; });
  for (int i = 0; i < 5; ++i) {
    const double bare = PtyRun(pty_stream, [](int fd) -> size_t {
      static char buf[velimo::protocol::LineAssembler::kChunkSize];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return 0;
      size_t lf = 0;
      const char* p = buf;
      const char* end = buf + n;
      while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
        ++lf;
        ++p;
      }
      benchmark::DoNotOptimize(lf);
      return static_cast<size_t>(n);
    });
    const double assembly = PtyRun(pty_stream, [&](int fd) -> size_t {
      static char buf[velimo::protocol::LineAssembler::kChunkSize];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return 0;
      assembler.Feed(std::string_view(buf, static_cast<size_t>(n)));
      return static_cast<size_t>(n);
    });
    std::unique_ptr<FdChannel> channel;
    const double full = PtyRun(pty_stream, [&](int fd) -> size_t {
      if (!channel) {
        channel = std::make_unique<FdChannel>(fd);
        form.SetPort(channel.get());
      }
      // As the port component reports it: the bytes waiting.
      int waiting = 0;
      if (ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) return 0;
      form.ComPortEnvBoardRxChar(waiting);
      if (form.Trace().Pane().LineCount() > 500) form.Trace().Clear();
      return static_cast<size_t>(waiting);
    });
    form.SetPort(&memory);
    if (bare < 0 || assembly < 0 || full < 0) {
      std::printf("\n(no pseudo-terminal available: pty figures skipped)\n");
      return 0;
    }
    bare_cpu.push_back(bare);
    assembly_cpu.push_back(assembly);
    form_cpu.push_back(full);
  }
  const double bare = Median(bare_cpu);
  std::printf("\nthrough a pty, %.1f MB a pass, median of 5   %12s %12s\n", mb, "CPU ms/MB",
              "x bare");
  const auto ptyRow = [&](const char* name, double cpu) {
    std::printf("%-40s %12.2f %11.2fx\n", name, 1000.0 * cpu / mb, cpu / bare);
  };
  ptyRow("bare read + split at line feeds", bare);
  ptyRow("read + line assembly", Median(assembly_cpu));
  ptyRow("receive event + echo + ParseResponse_S", Median(form_cpu));
  return 0;
}
