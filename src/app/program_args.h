// The desktop program's own command line. The program needs no arguments;
// these few are for the desktop menu, which starts it with --data-folder,
// and for people asking what it is (--help, --version).
#pragma once

#include <string>
#include <vector>

namespace velimo::app {

struct ProgramArgs {
  bool help = false;
  bool version = false;
  bool data_folder = false;
  // Everything else: Qt's own options before the toolkit has taken them,
  // mistakes after.
  std::vector<std::string> others;
};

// Reads the arguments after the program name.
ProgramArgs ReadProgramArgs(const std::vector<std::string>& args);

// The --help text; the velimo(1) manual page is made from it.
std::string ProgramUsage();

}  // namespace velimo::app
