#include "ui/restart.h"

#include <spawn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

extern char** environ;

namespace velimo::ui {

RestartCommand OwnRestartCommand() {
  RestartCommand command;
  std::error_code ec;
  // The resolved path, not "/proc/self/exe": that name would mean the
  // spawning helper in a child that has not exec'd yet, and it reads badly
  // in a process list.
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  command.executable = ec ? std::string("/proc/self/exe") : exe.string();
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  command.working_directory = ec ? std::string(".") : cwd.string();
  return command;
}

pid_t StartDetached(const RestartCommand& command) {
  std::vector<std::string> args;
  args.push_back(command.executable);
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

}  // namespace velimo::ui
