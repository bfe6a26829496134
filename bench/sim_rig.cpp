#include "sim_rig.h"

#include <stdlib.h>
#include <sys/resource.h>
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
  const std::string error = sim_.Start(VELIMO_MODEM_SIM, dir_, model, link, dir_ + "/modem.state");
  if (!error.empty()) Fail(error);

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
  sim_.Stop();
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
