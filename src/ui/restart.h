// Starting the program anew after a lost link: its own executable, without
// arguments, in the same working directory. The front ends call this from
// their platform's RestartApplication and then end their own run without
// the main window's close handler.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velimo::ui {

struct RestartCommand {
  std::string executable;              // the running program's own file
  std::vector<std::string> arguments;  // after the program name: none
  std::string working_directory;       // where the new instance starts
};

// The command that starts this program again: the file behind
// /proc/self/exe, no arguments, the current working directory.
RestartCommand OwnRestartCommand();

// Starts the command as a process of its own (argv[0] is the executable's
// path). Returns the new process id, or -1 when it could not be started.
// The caller need not wait for it; a front end that restarts is ending.
pid_t StartDetached(const RestartCommand& command);

}  // namespace velimo::ui
