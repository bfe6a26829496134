#include "sim_rig.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace velimo::bench {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench: %s\n", what.c_str());
  std::exit(1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& dir) {
  std::vector<std::string> text = {program};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = dir + "/sim.out";
  const std::string err = dir + "/sim.err";
  const pid_t pid = fork();
  if (pid == 0) {
    // Ends with the benchmark, should it be cut short.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ChildCpuSeconds(pid_t pid) {
  // Fields 14 and 15 of /proc/<pid>/stat: user and system time in ticks.
  std::istringstream stat(ReadFile("/proc/" + std::to_string(pid) + "/stat"));
  std::string field;
  double ticks = 0;
  // The command name (field 2) holds no blank here: velimo-modem-sim.
  for (int i = 1; i <= 15 && stat >> field; ++i)
    if (i >= 14) ticks += std::atof(field.c_str());
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

SimRig::SimRig(char model) {
  std::string pattern = (std::filesystem::temp_directory_path() / "velimo-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("no temporary folder");
  dir_ = pattern;
  const std::string link = dir_ + "/ttyModem";
  sim_pid_ = Spawn(
      VELIMO_MODEM_SIM,
      {"--model", std::string(1, model), "--link", link, "--state", dir_ + "/modem.state"}, dir_);
  if (sim_pid_ <= 0) Fail("the simulator did not start");
  // Ready once it has printed its line's path.
  const double until = NowSeconds() + 5;
  while (ReadFile(dir_ + "/sim.out").find('\n') == std::string::npos) {
    int status = 0;
    if (waitpid(sim_pid_, &status, WNOHANG) == sim_pid_) {
      sim_pid_ = -1;
      Fail("the simulator ended at start: " + ReadFile(dir_ + "/sim.err"));
    }
    if (NowSeconds() > until) Fail("the simulator did not come up");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  platform_ = std::make_unique<CountingPlatform>();
  platform_->on_message = [this](std::string_view text) { messages_.emplace_back(text); };
  platform_->on_error = [this](std::string_view text) { messages_.emplace_back(text); };
  platform_->on_confirm = [](std::string_view) { return true; };
  forms::ApplicationOptions options;
  options.settings_path = dir_ + "/Velimo.INI";
  options.about_picture = dir_ + "/none.jpg";
  options.ports = [link] { return std::optional<std::vector<std::string>>{{link}}; };
  session_ = std::make_unique<cli::Session>(*platform_, options);
  session_->Main().Trace().SetBaseDir(dir_);
  session_->SelectModel(model);
  cli::LinkChoice choice;
  choice.port = link;
  if (!session_->Connect(choice)) Fail("the port did not open");
  Settle();
  if (!messages_.empty()) Fail("connecting showed \"" + messages_.front() + "\"");
}

SimRig::~SimRig() {
  session_.reset();
  platform_.reset();
  if (sim_pid_ > 0) {
    kill(sim_pid_, SIGTERM);
    waitpid(sim_pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void SimRig::Set(const std::string& name, const std::string& value) {
  if (auto error = session_->Set(name, value)) Fail(name + ": " + *error);
  platform_->ProcessEvents();
}

void SimRig::Click(const std::string& name) {
  if (auto error = session_->Click(name)) Fail(name + ": " + *error);
}

void SimRig::Settle() {
  if (!session_->Settle(15000, 100)) Fail("the line did not fall quiet");
}

std::vector<std::string> SimRig::TakeMessages() {
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

}  // namespace velimo::bench
