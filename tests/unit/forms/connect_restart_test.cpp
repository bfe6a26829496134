// The restart after a lost link starts the program's own executable with
// no arguments in the same working directory. A script stands in for the
// program here, so nothing re-executes the test binary; the GUI tests
// restart their own program for real.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "util/restart.h"

namespace velimo::forms {
namespace {

namespace fs = std::filesystem;

TEST(RestartCommandTest, OwnExecutableWithoutArgumentsInTheCurrentDirectory) {
  const RestartCommand c = OwnRestartCommand();
  EXPECT_TRUE(c.arguments.empty());
  EXPECT_EQ(fs::path(c.executable), fs::read_symlink("/proc/self/exe"));
  EXPECT_EQ(c.program_name, fs::read_symlink("/proc/self/exe").filename().string());
  EXPECT_EQ(fs::path(c.working_directory), fs::current_path());
}

TEST(RestartCommandTest, StartedProcessSeesNoArgumentsAndTheGivenDirectory) {
  const fs::path dir = fs::temp_directory_path() / ("velimo_restart_" + std::to_string(getpid()));
  fs::create_directories(dir / "work");
  const fs::path script = dir / "fake_velimo";
  const fs::path marker = dir / "marker";
  std::ofstream(script) << "#!/bin/sh\necho \"$#\" > '" << marker.string() << "'\npwd >> '"
                        << marker.string() << "'\n";
  fs::permissions(script, fs::perms::owner_all);

  RestartCommand c;
  c.executable = script.string();
  c.working_directory = (dir / "work").string();
  const pid_t pid = StartDetached(c);
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::ifstream in(marker);
  std::string count, cwd;
  std::getline(in, count);
  std::getline(in, cwd);
  EXPECT_EQ(count, "0");
  EXPECT_EQ(fs::path(cwd), fs::canonical(dir / "work"));
  fs::remove_all(dir);
}

TEST(RestartCommandTest, MissingOrUnresolvedExecutableIsReportedNotStarted) {
  EXPECT_EQ(StartDetached(RestartCommandFor("/nonexistent/velimo", ".")), -1);
  EXPECT_EQ(StartDetached(RestartCommandFor("", ".")), -1);
}

}  // namespace
}  // namespace velimo::forms
