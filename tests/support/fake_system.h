// A system tree of its own, laid out as the kernel and udev lay out theirs
// (sysfs tty class entries, USB device folders with their strings,
// driver links, /dev nodes and /dev/serial/by-id links), for the port
// identity, the port list and the device events.
#pragma once

#include <string>

#include "serial/port_identity.h"

namespace velimo::test {

class FakeSystem {
 public:
  FakeSystem();   // an empty tree in a new temporary folder
  ~FakeSystem();  // removes it
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  const std::string& Root() const { return root_; }
  serial::SystemRoots Roots() const { return serial::SystemRoots::Under(root_); }

  void Write(const std::string& path, const std::string& text);
  // A link at path (below root) to target (relative, as sysfs has them).
  void Link(const std::string& target, const std::string& path);
  // A USB device folder (below /sys/devices/usb1) with its strings.
  void UsbDevice(const std::string& usb, const std::string& vid, const std::string& pid,
                 const std::string& maker, const std::string& product, const std::string& serial);
  // The tty class entry of a tty whose device folder is deviceDir, and its
  // node under /dev.
  void Tty(const std::string& name, const std::string& deviceDir);
  // An FT232R adapter on USB port usb as tty, with its by-id link: plugged.
  void PlugFtdi(const std::string& usb, const std::string& tty, const std::string& serial);
  // Its entries gone again, as the kernel and udev remove them: pulled.
  void PullFtdi(const std::string& usb, const std::string& tty, const std::string& serial);

  static std::string FtdiById(const std::string& serial) {
    return "usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0";
  }

 private:
  std::string root_;
};

}  // namespace velimo::test
