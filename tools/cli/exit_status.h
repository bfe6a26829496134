// The exit statuses of velimo-cli, one table for every command (read,
// print, show, the profile commands, scan, ports and a bench run). Scripts
// on a production line branch on these numbers, so each keeps one meaning.
#pragma once

#include <string>

namespace velimo::cli {

enum ExitStatus : int {
  kExitDone = 0,     // done, and everything is as wanted
  kExitFailure = 1,  // something failed: a port, a modem, a file
  kExitUsage = 2,    // the options are wrong; nothing was tried
  kExitShortOf = 3,  // done, but it differs, did not stick, is not verified, or nothing was found
  kExitInterrupted = 130,  // ended by Ctrl-C or SIGTERM
};

// The table as --help prints it, one status a line.
std::string ExitStatusTable();

}  // namespace velimo::cli
