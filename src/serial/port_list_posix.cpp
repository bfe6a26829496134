// The port list on Linux: the tty devices under /sys/class/tty.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "serial/port_list.h"
#include "util/bounded_file.h"

namespace velimo::serial {

namespace {

// Serial-core ports carry a "type" attribute; 0 means no UART answered at
// that address (the kernel registers ttyS0..ttyS3 on every PC).
bool UartAbsent(const std::string& entry) {
  const BoundedRead type = ReadBoundedFile(entry + "/type", kSystemAttributeLimit);
  if (!type.ok) return false;
  std::istringstream in(type.text);
  int value = -1;
  in >> value;
  return in && value == 0;
}

bool HasDevice(const std::string& entry) {
  struct stat st;
  return stat((entry + "/device").c_str(), &st) == 0;
}

}  // namespace

std::optional<std::vector<std::string>> EnumerateSerialPorts(const std::string& sysClassTty,
                                                             const std::string& devDir) {
  DIR* dir = opendir(sysClassTty.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string entry = sysClassTty + "/" + name;
    // Virtual consoles, pseudo-terminals and the like have no device.
    if (!HasDevice(entry)) continue;
    if (UartAbsent(entry)) continue;
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), NaturalLess);
  for (std::string& n : names) n = devDir + "/" + n;
  return names;
}

}  // namespace velimo::serial
