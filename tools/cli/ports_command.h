// velimo-cli ports: the serial ports with what they are and whether they
// can be opened.
#pragma once

#include <string>
#include <vector>

namespace velimo::cli {

// args: what follows the word "ports". Writes to standard output and
// returns the exit status.
int RunPortsCommand(const std::vector<std::string>& args);

}  // namespace velimo::cli
