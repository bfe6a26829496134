// What each serial port is: the stable /dev/serial/by-id name udev gives a
// USB adapter, the adapter's USB ids and strings, the driver behind the
// tty, or that it is a platform UART. Read from sysfs and /dev, both of
// which can be moved under another root folder so tests can build a tree
// of their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velimo::serial {

// Where the system's device folders are.
struct SystemRoots {
  std::string sys_class_tty = "/sys/class/tty";
  std::string dev = "/dev";
  std::string by_id = "/dev/serial/by-id";
  std::string proc = "/proc";

  // The device folders below root ("" or "/": the real system); /proc
  // stays the system's.
  static SystemRoots Under(const std::string& root);
};

struct PortIdentity {
  std::string path;   // /dev/ttyUSB0
  std::string name;   // ttyUSB0
  std::string by_id;  // /dev/serial/by-id/usb-..., or empty
  std::string vid;    // "0403" (four hex digits as sysfs spells them), or empty
  std::string pid;
  std::string manufacturer;
  std::string product;
  std::string serial;  // the USB serial-number string
  std::string driver;  // ftdi_sio, cp210x, cdc_acm, serial8250 ...
  bool usb = false;
  bool platform = false;  // a UART of the machine itself (ttyS, ttyAMA ...)

  // "FT232R USB UART, serial A50285BI"; "platform serial port (serial8250)"
  // and the like for a UART of the machine; empty when nothing is known.
  std::string Description() const;
  // "ttyUSB0 - FT232R USB UART, serial A50285BI", or the bare name.
  std::string ListEntry() const;
  // "0403:6001", or empty.
  std::string VidPid() const;
};

// The identity of one tty by its name under /dev ("ttyUSB0").
PortIdentity IdentifyPort(const std::string& name, const SystemRoots& roots = {});

// Every port of the list (the same entries and order as
// EnumerateSerialPorts), identified; nothing when sysfs cannot be read.
std::optional<std::vector<PortIdentity>> IdentifyPorts(const SystemRoots& roots = {});

// The identity of the port a name or path stands for, when it is one of
// the listed ports (by-id links and other links are followed).
std::optional<PortIdentity> FindPort(const std::string& port, const SystemRoots& roots = {});

// A USB adapter as Windows names it: the device instance IDs of a COM
// port's device and of its parents, nearest first, such as
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000" (a driver's own bus) above
// "USB\VID_0403&PID_6001\A50285BI" (the USB device). The ids and the
// serial number come from the first USB device among them; an interface
// of a composite device ("USB\VID_2341&PID_8036&MI_00\...") gives its
// ids and leaves the serial number to its parent. The last part of a USB
// device's instance ID is its serial number unless Windows made one up
// for a device that reports none (such a part holds '&').
struct UsbInstance {
  std::string vid;  // "0403": four hex digits, lower case as sysfs spells them
  std::string pid;
  std::string serial;    // empty when the device reports none
  std::string instance;  // the USB device's instance ID when it names the adapter alone
};
std::optional<UsbInstance> UsbInstanceOf(const std::vector<std::string>& instanceIds);

// The serial-number part of a by-id name
// ("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" gives "A50285BI"),
// or empty when the name is not shaped so.
std::string SerialOfById(const std::string& byIdName);

}  // namespace velimo::serial
