#include <algorithm>

#include "serial/com_port.h"
#include "serial/local_port.h"
#include "serial/tty/tty_port.h"

namespace velimo::serial {

std::string DevicePathOf(const std::string& port) {
  if (port.size() > 3 && port.size() <= 12 && (port[0] == 'C' || port[0] == 'c') &&
      (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm') &&
      std::all_of(port.begin() + 3, port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    long n = std::stol(port.substr(3));
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  // A path as an operator types it in a shell: absolute, or relative to the
  // working folder when it starts at "." or "..". Anything else is a name
  // under /dev, which includes "serial/by-id/...".
  if (port.starts_with('/') || port.starts_with("./") || port.starts_with("../")) return port;
  return "/dev/" + port;
}

std::unique_ptr<PortTransport> LocalPortTransport(const std::string& port, bool restoreLine) {
  return std::make_unique<tty::TtyPort>(DevicePathOf(port), restoreLine);
}

}  // namespace velimo::serial
