// Start-up of the desktop program: time from starting the process to its
// main window's first paint, and the process's peak resident memory, each
// the median of 10 runs, under the offscreen platform and (when Xvfb is
// installed) under a virtual X server. Then the cost of a flood of received
// lines in the trace pane, as a share of one core.
//
//   startup_bench [--table] [runs]
//
// --table adds one "figure <name> <value>" line per figure for scripts/bench.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "forms/application.h"
#include "gui/app_setup.h"
#include "gui/front_end.h"
#include "gui/qt_platform.h"
#include "gui/trace_view.h"
#include "trace/trace_log.h"
#include "trace/trace_pane.h"

extern char** environ;

namespace {

struct Run {
  double ms = 0;
  double cpu_ms = 0;  // the process's own CPU time, less sensitive to a busy machine
  double rss_mib = 0;
  bool ok = false;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Starts the probe in an empty working directory (a first start, no
// settings file) and waits for its "shown" line.
Run StartOnce(const std::string& probe, const std::vector<std::string>& env_extra,
              const std::string& workdir) {
  Run run;
  int out[2];
  if (pipe(out) != 0) return run;
  std::vector<std::string> env_store;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    if (kv.rfind("QT_QPA_PLATFORM=", 0) == 0 || kv.rfind("DISPLAY=", 0) == 0) continue;
    env_store.push_back(kv);
  }
  for (const auto& kv : env_extra) env_store.push_back(kv);
  std::vector<char*> envp;
  for (auto& kv : env_store) envp.push_back(kv.data());
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(probe.c_str()), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, workdir.c_str());

  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return run;
  }
  char buf[64] = {};
  size_t got = 0;
  while (got < sizeof buf - 1) {
    const ssize_t n = read(out[0], buf + got, sizeof buf - 1 - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (std::strchr(buf, '\n')) break;
  }
  const auto t1 = std::chrono::steady_clock::now();
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.ok = std::strncmp(buf, "shown", 5) == 0;
  run.ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
  run.rss_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
  run.cpu_ms = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  return run;
}

struct Row {
  std::string platform;
  int runs = 0;
  int ok = 0;
  double ms = 0;
  double cpu = 0;
  double rss = 0;
};

Row Measure(const std::string& label, const std::string& probe, const std::vector<std::string>& env,
            int runs) {
  QTemporaryDir dir;
  Row row{label, runs, 0, 0, 0, 0};
  StartOnce(probe, env, dir.path().toStdString());  // warm the file cache
  std::vector<double> ms, cpu, rss;
  for (int i = 0; i < runs; ++i) {
    const Run r = StartOnce(probe, env, dir.path().toStdString());
    if (!r.ok) continue;
    ++row.ok;
    ms.push_back(r.ms);
    cpu.push_back(r.cpu_ms);
    rss.push_back(r.rss_mib);
  }
  row.ms = Median(ms);
  row.cpu = Median(cpu);
  row.rss = Median(rss);
  return row;
}

// A virtual X server on a free display number, or -1.
pid_t StartXvfb(int& display) {
  if (access("/usr/bin/Xvfb", X_OK) != 0) return -1;
  for (display = 91; display < 120; ++display) {
    const std::string sock = "/tmp/.X11-unix/X" + std::to_string(display);
    const std::string lock = "/tmp/.X" + std::to_string(display) + "-lock";
    if (access(sock.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
    const std::string disp = ":" + std::to_string(display);
    char* argv[] = {const_cast<char*>("Xvfb"),         const_cast<char*>(disp.c_str()),
                    const_cast<char*>("-screen"),      const_cast<char*>("0"),
                    const_cast<char*>("1280x1024x24"), const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"),          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/usr/bin/Xvfb", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    for (int i = 0; i < 100; ++i) {
      if (access(sock.c_str(), F_OK) == 0) return pid;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  return -1;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Serves events (without spinning) for a while.
void RunLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Received lines pour into the trace pane of a shown main window at a
// given rate for a while; returns the process's CPU time over that time as
// a share of one core, and the number of repaints.
struct Flood {
  double lines_per_s;
  double core_share;
  int batches;
  size_t lines;
  size_t pane_lines;  // what the pane holds at the end (received lines are bounded)
};

Flood RunFlood(char* program, int lines_per_ms, int duration_ms) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char* argv[] = {program, nullptr};
  QApplication qt_app(argc, argv);
  velimo::gui::InitApplication(qt_app);
  QTemporaryDir dir;
  const QString old = QDir::currentPath();
  QDir::setCurrent(dir.path());
  velimo::gui::QtPlatform platform;
  velimo::forms::ApplicationOptions options;
  options.settings_path = "./Velimo.INI";
  {
    QFile f(QStringLiteral("Velimo.INI"));
    if (f.open(QIODevice::WriteOnly)) f.write("[MACHINE]\r\nViewLogTrace=1\r\n");
  }
  Flood result{};
  {
    velimo::forms::TApplication app(platform, options);
    velimo::gui::FrontEnd windows(app, platform);
    windows.main_window.show();
    RunLoopFor(300);

    velimo::trace::TraceLog& log = app.Form_main().Trace();
    const int batches0 = windows.main_window.Trace()->BatchesDrawn();
    QTimer feed;
    int n = 0;
    QObject::connect(&feed, &QTimer::timeout, [&] {
      for (int i = 0; i < lines_per_ms; ++i)
        log.AddReceivedLine("OK, CH=" + std::to_string(n++ % 64) + " SF=7 RSSI=-87 SNR=9\r\n");
    });
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    feed.setTimerType(Qt::PreciseTimer);
    feed.start(1);
    RunLoopFor(duration_ms);
    feed.stop();
    const double cpu = CpuSeconds() - cpu0;
    const double secs = static_cast<double>(wall.elapsed()) / 1000.0;
    result.lines = static_cast<size_t>(n);
    result.lines_per_s = static_cast<double>(result.lines) / secs;
    result.core_share = cpu / secs;
    result.batches = windows.main_window.Trace()->BatchesDrawn() - batches0;
    result.pane_lines = log.Pane().LineCount();
  }
  QDir::setCurrent(old);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  int runs = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) {
      table = true;
    } else {
      runs = std::max(1, std::atoi(argv[i]));
    }
  }
  const std::string probe = VELIMO_STARTUP_PROBE;

  std::vector<Row> rows;
  rows.push_back(Measure("offscreen", probe, {"QT_QPA_PLATFORM=offscreen"}, runs));
  int display = 0;
  const pid_t xvfb = StartXvfb(display);
  if (xvfb > 0) {
    rows.push_back(Measure("xcb (Xvfb)", probe,
                           {"QT_QPA_PLATFORM=xcb", "DISPLAY=:" + std::to_string(display)}, runs));
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
  }

  std::printf("Start-up to first paint of the main window (median of %d runs)\n", runs);
  std::printf("%-12s %6s %12s %12s %14s\n", "platform", "ok", "time ms", "CPU ms", "peak RSS MiB");
  for (const Row& r : rows)
    std::printf("%-12s %3d/%-2d %12.1f %12.1f %14.1f\n", r.platform.c_str(), r.ok, r.runs, r.ms,
                r.cpu, r.rss);
  std::printf("(CPU ms: the program's own user and system time up to that paint and its exit)\n");
  if (xvfb <= 0) std::printf("(Xvfb not available: no xcb row)\n");
  if (table) {
    for (const Row& r : rows) {
      const char* key = r.platform.rfind("xcb", 0) == 0 ? "xcb" : "offscreen";
      std::printf("figure startup.%s.ms %.1f\nfigure startup.%s.rss_mib %.1f\n", key, r.ms, key,
                  r.rss);
      std::printf("figure startup.%s.cpu_ms %.1f\n", key, r.cpu);
      std::printf("figure startup.%s.ok %d\n", key, r.ok == r.runs ? 1 : 0);
    }
  }

  std::printf("\nTrace pane under a flood of received lines (offscreen, 2 s each)\n");
  std::printf("%12s %12s %12s %10s %14s\n", "lines/s", "lines", "in pane", "repaints",
              "share of core");
  for (int per_ms : {1, 5, 20}) {
    const Flood f = RunFlood(argv[0], per_ms, 2000);
    std::printf("%12.0f %12zu %12zu %10d %13.1f%%\n", f.lines_per_s, f.lines, f.pane_lines,
                f.batches, f.core_share * 100.0);
  }
  return 0;
}
