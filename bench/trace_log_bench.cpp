// Cost of one trace line: LogWriteStr with the log file on (one open,
// append and close per line) against the pane alone. Prints the median and
// 99th percentile per line in microseconds, and the ratio file/pane.
//
//   trace_log_bench [--table] [benchmark options]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "trace/trace_log.h"

namespace {

using Clock = std::chrono::steady_clock;

// The real wall clock, as the desktop program reads it.
class WallClockPlatform : public velimo::Platform {
 public:
  void ShowMessage(std::string_view) override {}
  bool Confirm(std::string_view) override { return true; }
  void ShowError(std::string_view) override {}
  void Pause(int) override {}
  velimo::LocalDateTime Now() override {
    const auto now = std::chrono::system_clock::now();
    const time_t t = std::chrono::system_clock::to_time_t(now);
    struct tm tm;
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
  }
  int64_t MonotonicMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
  }
  std::unique_ptr<velimo::PlatformTimer> CreateTimer(std::function<void()>) override {
    return nullptr;
  }
  void RestartApplication() override {}
};

struct Percentiles {
  double p50 = 0, p99 = 0;
};

Percentiles Measure(std::vector<double>& us) {
  if (us.empty()) return {};
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

std::string TempDir() {
  char tmpl[] = "/tmp/velimo-bench-XXXXXX";
  return mkdtemp(tmpl) ? tmpl : ".";
}

// A command as the transmitter traces it: the text, CR, and the NUL bytes
// of its 20-byte buffer.
const std::string kCommand = std::string("Send AT Command : AT+CH=5\r") + std::string(13, '\0');

void TraceLine(benchmark::State& state, bool toFile) {
  WallClockPlatform platform;
  const std::string dir = TempDir();
  velimo::trace::TraceLog log(platform, dir);
  log.SetSaveLogFile(toFile);
  std::vector<double> us;
  us.reserve(1 << 16);
  for (auto _ : state) {
    const auto start = Clock::now();
    log.LogWriteStr(kCommand);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  const Percentiles p = Measure(us);
  state.counters["p50_us"] = p.p50;
  state.counters["p99_us"] = p.p99;
  std::filesystem::remove_all(dir);
}

void BM_LogWriteStrPaneOnly(benchmark::State& state) {
  TraceLine(state, false);
}
void BM_LogWriteStrToFile(benchmark::State& state) {
  TraceLine(state, true);
}

BENCHMARK(BM_LogWriteStrPaneOnly)->Iterations(20000);
BENCHMARK(BM_LogWriteStrToFile)->Iterations(20000);

// The same two measured side by side in one run, for the summary table.
void Summary(bool table) {
  WallClockPlatform platform;
  Percentiles pane, file, bare;
  for (bool toFile : {false, true}) {
    const std::string dir = TempDir();
    velimo::trace::TraceLog log(platform, dir);
    log.SetSaveLogFile(toFile);
    // Beside the log file, taking turns with it: the file system's own floor,
    // a bare open, append and close of a line of the same length.
    const std::string barePath = dir + "/bare.log";
    const std::string record = "[12:34:56]  " + kCommand + "\r\n";
    std::vector<double> us, bareUs;
    for (int i = 0; i < 20000; ++i) {
      const auto start = Clock::now();
      log.LogWriteStr(kCommand);
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      if (!toFile) continue;
      const auto bareStart = Clock::now();
      const int fd = open(barePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
      if (fd >= 0) {
        if (write(fd, record.data(), record.size()) < 0) std::perror("write");
        close(fd);
      }
      bareUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - bareStart).count());
    }
    (toFile ? file : pane) = Measure(us);
    if (toFile) bare = Measure(bareUs);
    std::filesystem::remove_all(dir);
  }
  std::printf("\nLogWriteStr per line (20000 lines, /tmp)\n");
  std::printf("%-22s %10s %10s\n", "", "p50 us", "p99 us");
  std::printf("%-22s %10.2f %10.2f\n", "pane only", pane.p50, pane.p99);
  std::printf("%-22s %10.2f %10.2f\n", "pane + log file", file.p50, file.p99);
  std::printf("%-22s %10.2f %10.2f\n", "bare open+write+close", bare.p50, bare.p99);
  if (pane.p50 > 0) std::printf("file / pane (p50)      %10.1fx\n", file.p50 / pane.p50);
  if (table) {
    std::printf("figure log.pane.p50_us %.3f\nfigure log.pane.p99_us %.3f\n", pane.p50, pane.p99);
    std::printf("figure log.file.p50_us %.3f\nfigure log.file.p99_us %.3f\n", file.p50, file.p99);
    std::printf("figure log.bare.p50_us %.3f\nfigure log.bare.p99_us %.3f\n", bare.p50, bare.p99);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Our own flag, taken out before the benchmark library sees the rest.
  bool table = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--table") {
      table = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Summary(table);
  return 0;
}
