// Why a port could not be opened, in words an operator can act on: whose
// group the device belongs to and how to join it, which process holds it
// (and how to keep ModemManager off an adapter), that it has gone or moved,
// that it is no serial device. Also the state of a port without opening
// it, for the port list.
#pragma once

#include <string>
#include <vector>

#include "serial/port_identity.h"

namespace velimo::serial {

// The reasons for a refused open of port (as the operator named it).
// comCode and error are the EComPort's code and errno. rememberedSerial:
// the USB serial number of the adapter last used on this name, if known,
// to point at where it is now.
std::vector<std::string> RefusalReasons(const std::string& port, int comCode, int error,
                                        const SystemRoots& roots = {},
                                        const std::string& rememberedSerial = {});

// "free", "in use by PID n (name)", "in use", "no permission".
std::string PortState(const std::string& path, const SystemRoots& roots = {});

// The udev rule that keeps ModemManager away from an adapter, one line.
std::string ModemManagerRule(const std::string& vid, const std::string& pid);

}  // namespace velimo::serial
