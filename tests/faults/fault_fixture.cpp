#include "fault_fixture.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace velimo::faults {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// ---- The fixture ----------------------------------------------------------------

void FaultTest::SetUp() {
  watchdog_ = std::make_unique<test::Watchdog>(std::chrono::seconds(90));
  std::string pattern = (std::filesystem::temp_directory_path() / "velimo-faults-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  link_ = dir_ + "/ttyModem";
  state_ = dir_ + "/modem.state";
  settings_ = dir_ + "/Velimo.INI";
}

void FaultTest::TearDown() {
  session_.reset();
  platform_.reset();
  sim_.Stop();
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
  watchdog_.reset();
}

void FaultTest::StartSim(char model, const std::vector<std::string>& extra) {
  const std::string error = sim_.Start(VELIMO_MODEM_SIM, dir_, model, link_, state_, extra);
  ASSERT_EQ(error, "");
}

void FaultTest::KillSim() {
  sim_.Kill();
}

std::string FaultTest::SimDevice() const {
  std::error_code error;
  return std::filesystem::read_symlink(link_, error).string();
}

void FaultTest::StartProgram() {
  session_.reset();
  platform_.reset();
  platform_ = std::make_unique<HookedPlatform>();
  platform_->on_message = [this](std::string_view text) { messages_.emplace_back(text); };
  platform_->on_error = [this](std::string_view text) { errors_.emplace_back(text); };
  platform_->on_confirm = [](std::string_view) { return true; };
  forms::ApplicationOptions options;
  options.settings_path = settings_;
  options.about_picture = dir_ + "/none.jpg";
  options.ports = [this] { return std::optional<std::vector<std::string>>{{link_}}; };
  session_ = std::make_unique<cli::Session>(*platform_, options);
  Main().Trace().SetBaseDir(dir_);
}

bool FaultTest::ConnectTo(char model, const std::string& port) {
  if (!session_) StartProgram();
  S().SelectModel(model);
  cli::LinkChoice link;
  link.port = port;
  const bool open = S().Connect(link);
  Settle();
  return open;
}

void FaultTest::Settle() {
  EXPECT_TRUE(S().Settle(15000, 100)) << "the line did not fall quiet";
}

void FaultTest::Click(const std::string& name) {
  const auto error = S().Click(name);
  ASSERT_FALSE(error) << *error;
  Settle();
}

void FaultTest::Set(const std::string& name, const std::string& value) {
  const auto error = S().Set(name, value);
  ASSERT_FALSE(error) << *error;
  Platform().ProcessEvents();
}

std::string FaultTest::Value(const std::string& name) {
  forms::Control* c = S().Find(name);
  EXPECT_NE(c, nullptr) << name;
  return c ? cli::Session::ValueOf(*c) : std::string();
}

std::vector<std::string> FaultTest::TakeMessages() {
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

std::vector<std::string> FaultTest::TakeErrors() {
  std::vector<std::string> taken;
  taken.swap(errors_);
  return taken;
}

std::vector<std::string> FaultTest::TraceMessages() {
  std::vector<std::string> out;
  for (const std::string& line : Main().Trace().Pane().Lines()) {
    // "[HH:NN:SS]  " in front of a trace line; received lines have none.
    const bool stamped = line.size() >= 12 && line[0] == '[' && line[9] == ']';
    out.push_back(stamped ? line.substr(12) : line);
  }
  return out;
}

double FaultTest::CpuMsWhileIdle(int ms) {
  const double before = ProcessCpuMs();
  Platform().RunFor(ms);
  return ProcessCpuMs() - before;
}

bool FaultTest::AdapterRemovalSeen() {
  return Platform().RunUntil(
      [this] { return Main().StatusBar1.PanelText(1) == "Disconnected (adapter removed)"; },
      test::kGenerousMs);
}

namespace {

// The fresh process ends without the fixture's tear-down: the simulators
// and holders its start made would live on, holding the test's output
// open, and the waiting test would never see its end.
void EndOwnChildren() {
  const pid_t self = getpid();
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (const dirent* e = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // pid (comm) state ppid ...: the name may hold blanks and brackets.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    int ppid = 0;
    char state = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == self)
      kill(pid, SIGKILL);
  }
  closedir(proc);
}

}  // namespace

ChildResult RunInChild(const std::function<std::string()>& body, int limitMs) {
  test::ExpectInFreshProcess([&] {
    // A hang ends the process (SIGALRM), which fails the check.
    alarm(static_cast<unsigned>((limitMs + 999) / 1000));
    const std::string report = body();
    alarm(0);
    if (report != "skip") {
      EXPECT_EQ(report, "");
    }
    // A body that dropped to another user may not end what it started as
    // root (the simulator, a holder): they would live on, holding the
    // output the waiting test reads to its end.
    test::RegainPrivileges();
    EndOwnChildren();
  });
  return {};
}

}  // namespace velimo::faults
