#include <spawn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "util/restart.h"

extern char** environ;

namespace velimo {

const std::string& OwnExecutable() {
  // "/proc/self/exe" itself must never be what is started: the new process
  // would be named "exe" in every process list and window class, and in a
  // spawned child that has not exec'd yet the link means the spawner.
  static const std::string path = [] {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
  }();
  return path;
}

RestartCommand RestartCommandFor(const std::string& executable,
                                 const std::string& working_directory) {
  RestartCommand command;
  command.executable = executable;
  command.program_name = std::filesystem::path(executable).filename().string();
  command.working_directory = working_directory;
  return command;
}

RestartCommand OwnRestartCommand() {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return RestartCommandFor(OwnExecutable(), ec ? std::string(".") : cwd.string());
}

pid_t StartDetached(const RestartCommand& command) {
  if (command.executable.empty()) return -1;
  std::vector<std::string> args;
  args.push_back(command.program_name.empty() ? command.executable : command.program_name);
  args.insert(args.end(), command.arguments.begin(), command.arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (!command.working_directory.empty() &&
      posix_spawn_file_actions_addchdir_np(&actions, command.working_directory.c_str()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group, so ending this instance does not take it along.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  const int rc =
      posix_spawn(&pid, command.executable.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace velimo
