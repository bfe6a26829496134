#include "serial/com_port.h"
#include "serial/local_port.h"
#include "serial/win/win_port.h"

namespace velimo::serial {

// On Windows the name is the port's own ("COM5", or a device path such as
// "\\.\COM12"); the transport adds the device prefix where it is needed.
std::string DevicePathOf(const std::string& port) {
  return port;
}

std::unique_ptr<PortTransport> LocalPortTransport(const std::string& port, bool restoreLine) {
  return std::make_unique<win::WinPort>(port, restoreLine);
}

}  // namespace velimo::serial
