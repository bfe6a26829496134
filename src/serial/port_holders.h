// Which processes hold a device open, found through /proc: each process's
// open descriptors are links to what they opened. Only processes whose
// /proc entries this user may read are seen (its own, or all for root).
#pragma once

#include <string>
#include <vector>

namespace velimo::serial {

struct ProcessRef {
  int pid = 0;
  std::string name;  // the process's command name (/proc/PID/comm)
};

// The processes other than this one that hold path open (the path's links
// are resolved first, so a by-id name finds holders of the tty). For a
// pseudo-terminal, a process that holds its master side is its own other
// end, not a holder, whatever else of it it has open.
std::vector<ProcessRef> HoldersOf(const std::string& path, const std::string& proc = "/proc");

// Running processes with this command name (readable by anyone), for a
// holder that cannot be seen through its descriptors.
std::vector<ProcessRef> ProcessesNamed(const std::string& name, const std::string& proc = "/proc");

// "PID 1234 (ModemManager)".
std::string Describe(const ProcessRef& process);

}  // namespace velimo::serial
