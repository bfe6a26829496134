// The transport of a local serial port, per system: a tty on Linux, a COM
// port of the communications API on Windows.
#pragma once

#include <memory>
#include <string>

#include "serial/port_transport.h"

namespace velimo::serial {

// The transport for the port name as the user gave it (DevicePathOf says
// which device that is). restoreLine: the line's settings as found at the
// open are given back at the close, where the system keeps them.
std::unique_ptr<PortTransport> LocalPortTransport(const std::string& port, bool restoreLine);

}  // namespace velimo::serial
