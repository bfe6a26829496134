// The serial ports the connect dialog offers: the tty devices under
// /sys/class/tty that have a device behind them (USB, ACM and platform
// UARTs; ttyS entries only where a UART answers), as /dev paths in
// natural order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::serial {

// The single item of an empty list.
inline constexpr const char* kNoComPort = "No COM Port";

// The serial devices, or nothing when the directory cannot be read.
// sysClassTty and devDir are parameters so tests can point them at a
// tree of their own.
std::optional<std::vector<std::string>> EnumerateSerialPorts(
    const std::string& sysClassTty = "/sys/class/tty", const std::string& devDir = "/dev");

// The connect dialog's list: the devices, or the single item "No COM Port"
// when there are none; nothing when the list cannot be read (the dialog
// then offers FallbackPortNames).
std::optional<std::vector<std::string>> SerialPortItems(
    const std::string& sysClassTty = "/sys/class/tty", const std::string& devDir = "/dev");

// "COM1" to "COM20".
std::vector<std::string> FallbackPortNames();

// Natural order: runs of digits compare by their value, so ttyUSB2 comes
// before ttyUSB10.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace velimo::serial
