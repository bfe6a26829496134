// Windows names no process that holds a COM port: the port is opened
// without sharing, and finding the holder would take a walk of every
// process's handles with the debug privilege. Nobody is named; the refusal
// says the port is in use (see open_refusal_win.cpp).
#include "serial/port_holders.h"

namespace velimo::serial {

std::vector<ProcessRef> HoldersOf(const std::string&, const std::string&) {
  return {};
}

std::vector<ProcessRef> ProcessesNamed(const std::string&, const std::string&) {
  return {};
}

}  // namespace velimo::serial
