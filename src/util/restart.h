// Starting the program anew after a lost link: its own executable, by its
// real path, with its own name as the only word of its command line, in the
// same working directory. The front ends call this from their platform's
// RestartApplication and then end their own run without the main window's
// close handler.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velimo {

struct RestartCommand {
  std::string executable;              // the running program's own file
  std::string program_name;            // argv[0]: the file's own name
  std::vector<std::string> arguments;  // after the program name: none
  std::string working_directory;       // where the new instance starts
};

// Resolves the running program's file once. A program calls this first
// thing in main(), so a later upgrade or removal of the file on disk does
// not change what it restarts; later calls return the first answer.
const std::string& OwnExecutable();

// The command that starts this program again: the file resolved by
// OwnExecutable(), its base name as argv[0], no arguments, the current
// working directory.
RestartCommand OwnRestartCommand();

// The same command for a given executable and folder.
RestartCommand RestartCommandFor(const std::string& executable,
                                 const std::string& working_directory);

// Starts the command as a process of its own group. Returns the new
// process id, or -1 when it could not be started (the file is missing or
// not executable, the folder is gone). The caller need not wait for it; a
// front end that restarts is ending.
pid_t StartDetached(const RestartCommand& command);

}  // namespace velimo
