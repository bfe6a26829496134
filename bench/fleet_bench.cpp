// A bench of simulated sTavi units set to a full profile by one velimo-cli
// command (a worker process per unit), against one unit alone: the wall
// time of 16 as a ratio to the wall time of 1, the CPU each unit's worker
// used as a share of one core over the run, and each worker's peak memory.
// Pacing is per line, so parallel units should cost wall time only once.
//
// Each run applies the profile the units do not hold (two profiles that
// differ in every setting, taken in turn), so every run writes every line.
//
//   fleet_bench [--table] [--runs N] [--units N]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fleet/json_value.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using velimo::cli::fleet::JsonValue;
using velimo::cli::fleet::ParseJson;

// Every setting of an sTavi profile, the link settings included; the two
// differ in all of them. MYID is each unit's own and stays out.
const char* const kProfiles[2] = {
    "[Profile]\nModel = sTavi\n[Settings]\nDID = 2001\nDTN = 1\nDENT = 1\n"
    "PID1 = 11\nPID2 = 12\nPID3 = 13\nCH = 2\nSFT = 8\nCTRY = USA\nAES = ON\n"
    "AESKEY = AAAAAAAAAAAAAAAA\nAESIV = BBBBBBBBBBBBBBBB\nPTYPE = Normal\nPTP = ON\n"
    "BAU = 19200\nPAB = Odd\nHF = RTS/CTS\nDMT = 200\nDMS = 50\nSTXL = 1\nETXL = 1\n"
    "STX = 02\nETX = 03\n",
    "[Profile]\nModel = sTavi\n[Settings]\nDID = 2002\nDTN = 2\nDENT = 2\n"
    "PID1 = 21\nPID2 = 22\nPID3 = 23\nCH = 3\nSFT = 9\nCTRY = KOR\nAES = OFF\n"
    "AESKEY = CCCCCCCCCCCCCCCC\nAESIV = DDDDDDDDDDDDDDDD\nPTYPE = Kivet\nPTP = OFF\n"
    "BAU = 38400\nPAB = Even\nHF = OFF\nDMT = 300\nDMS = 60\nSTXL = 2\nETXL = 2\n"
    "STX = 04,05\nETX = 06,07\n",
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double ChildrenCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

pid_t Spawn(std::vector<std::string> args, int out_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out_fd >= 0) posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// A simulated bench of n sTavi units, ready when every link is printed.
class Bench {
 public:
  Bench(const fs::path& dir, int n) : dir_(dir), n_(n) {
    fs::create_directories(dir);
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    pid_ = Spawn({VELIMO_MODEM_SIM, "--bench", std::to_string(n) + "s", "--dir", dir.string()},
                 out[1]);
    close(out[1]);
    FILE* in = fdopen(out[0], "r");
    char line[512];
    for (int i = 0; i < n && in && fgets(line, sizeof line, in); ++i) {
    }
    if (in) fclose(in);
  }
  ~Bench() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::vector<std::string> Ports() const {
    std::vector<std::string> ports;
    for (int i = 1; i <= n_; ++i)
      ports.push_back((dir_ / ("ttyVelimo-" + std::to_string(i))).string());
    return ports;
  }

 private:
  fs::path dir_;
  int n_;
  pid_t pid_ = -1;
};

struct Run {
  double wall_s = 0;
  double cpu_s = 0;  // the supervisor and its workers
  std::vector<double> rss_kb;
  bool all_applied = true;
};

Run Apply(const Bench& bench, const fs::path& dir, int profile) {
  const fs::path file = dir / "site.vprofile";
  std::ofstream(file) << kProfiles[profile];
  const fs::path report = dir / "report.json";
  // A single port with --report is a bench of one: the same supervisor and
  // worker.
  std::vector<std::string> args = {VELIMO_CLI, "--model", "s", "--report", report.string()};
  for (const std::string& p : bench.Ports()) args.insert(args.end(), {"--port", p});
  args.insert(args.end(), {"apply-profile", file.string()});
  const int devnull = open("/dev/null", O_WRONLY);
  const double cpu0 = ChildrenCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = Spawn(args, devnull);
  int status = 0;
  waitpid(pid, &status, 0);
  Run r;
  r.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.cpu_s = ChildrenCpuSeconds() - cpu0;
  close(devnull);
  std::ifstream in(report);
  const auto rows = ParseJson(std::string(std::istreambuf_iterator<char>(in), {}));
  if (!rows || !rows->Array() || rows->Array()->empty()) {
    r.all_applied = false;
    return r;
  }
  for (const JsonValue& row : *rows->Array()) {
    r.all_applied = r.all_applied && row.Text("result") == "applied and verified";
    if (const auto* o = row.Object(); o && o->count("worker_max_rss_kb"))
      r.rss_kb.push_back(std::get<double>(o->at("worker_max_rss_kb").v));
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  int runs = 3, units = 16;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    if (std::strcmp(argv[i], "--units") == 0 && i + 1 < argc)
      units = std::clamp(std::atoi(argv[++i]), 2, 256);
  }
  const fs::path dir =
      fs::temp_directory_path() / ("velimo_fleet_bench_" + std::to_string(getpid()));
  bool clean = true;
  std::vector<double> one_wall, many_wall, ratio, cpu_share, rss;
  {
    Bench one(dir / "one", 1);
    Bench many(dir / "many", units);
    // From the factory state some settings already match; after this every
    // run differs in every setting.
    Apply(one, dir / "one", 1);
    Apply(many, dir / "many", 1);
    for (int i = 0; i < runs; ++i) {
      const Run a = Apply(one, dir / "one", i % 2);
      const Run b = Apply(many, dir / "many", i % 2);
      clean = clean && a.all_applied && b.all_applied;
      one_wall.push_back(a.wall_s);
      many_wall.push_back(b.wall_s);
      ratio.push_back(b.wall_s / a.wall_s);
      cpu_share.push_back(b.cpu_s / units / b.wall_s);
      rss.insert(rss.end(), b.rss_kb.begin(), b.rss_kb.end());
    }
  }
  fs::remove_all(dir);

  std::printf("Bench of simulated sTavi units, full profile (every setting differs), %d runs\n",
              runs);
  std::printf("%-28s %10s\n", "", "median");
  std::printf("%-28s %10.3f\n", "1 unit, wall s", Median(one_wall));
  std::printf("%-28s %10.3f\n", (std::to_string(units) + " units, wall s").c_str(),
              Median(many_wall));
  std::printf("%-28s %10.3f  (target <= 1.25)\n", "ratio", Median(ratio));
  std::printf("%-28s %9.2f%%  (target < 5 %%)\n", "CPU per unit, of a core",
              Median(cpu_share) * 100);
  std::printf("%-28s %10.0f\n", "worker peak memory, KiB", Median(rss));
  if (!clean) std::printf("(some unit was not applied and verified)\n");
  if (table) {
    std::printf("figure fleet.ratio %.4f\n", Median(ratio));
    std::printf("figure fleet.one_wall_s %.3f\n", Median(one_wall));
    std::printf("figure fleet.many_wall_s %.3f\n", Median(many_wall));
    std::printf("figure fleet.units %d\n", units);
    std::printf("figure fleet.cpu_per_unit_pct %.2f\n", Median(cpu_share) * 100);
    std::printf("figure fleet.worker_rss_kib %.0f\n", Median(rss));
    std::printf("figure fleet.clean %d\n", clean ? 1 : 0);
  }
  return clean ? 0 : 1;
}
