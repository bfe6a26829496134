// A COM port's USB identity from the device instance IDs Windows gives
// for the port's device and its parents (the text is the same on every
// system, so the table runs on Linux and under wine).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/port_identity.h"

namespace velimo::serial {
namespace {

struct Case {
  const char* what;
  std::vector<std::string> ids;  // the port's device first, then its parents
  bool usb;
  const char* vid;
  const char* pid;
  const char* serial;
  const char* instance;
};

TEST(UsbInstance, IdsSerialAndInstanceFromThePortAndItsParents) {
  const Case cases[] = {
      {"an adapter's own port",
       {"USB\\VID_0403&PID_6001\\A12345"},
       true,
       "0403",
       "6001",
       "A12345",
       "USB\\VID_0403&PID_6001\\A12345"},
      {"below a driver's bus, hex letters lower-cased",
       {"FTDIBUS\\VID_10C4+PID_EA60+A12345A\\0000", "USB\\VID_10C4&PID_EA60\\A12345",
        "USB\\ROOT_HUB30\\4&1D2E3F&0&0"},
       true,
       "10c4",
       "ea60",
       "A12345",
       "USB\\VID_10C4&PID_EA60\\A12345"},
      {"an interface of a composite device: the serial is its parent's",
       {"USB\\VID_2341&PID_8036&MI_00\\6&3A1B2C&0&0000", "USB\\VID_2341&PID_8036\\85736323"},
       true,
       "2341",
       "8036",
       "85736323",
       "USB\\VID_2341&PID_8036\\85736323"},
      {"a device without a serial number: Windows made the instance up",
       {"USB\\VID_1A86&PID_7523\\5&2A4D1C3B&0&2"},
       true,
       "1a86",
       "7523",
       "",
       ""},
      {"an interface whose parent is not given",
       {"usb\\vid_2341&pid_8036&mi_02\\6&1&0&0002"},
       true,
       "2341",
       "8036",
       "",
       ""},
      {"a UART of the machine", {"ACPI\\PNP0501\\1"}, false, "", "", "", ""},
      {"ids that are not four hex digits",
       {"USB\\VID_04G3&PID_6001\\A1", "USB\\VID_403\\A1"},
       false,
       "",
       "",
       "",
       ""},
      {"nothing", {}, false, "", "", "", ""},
      {"no instance part", {"USB\\VID_0403&PID_6001"}, false, "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<UsbInstance> usb = UsbInstanceOf(c.ids);
    ASSERT_EQ(usb.has_value(), c.usb);
    if (!usb) continue;
    EXPECT_EQ(usb->vid, c.vid);
    EXPECT_EQ(usb->pid, c.pid);
    EXPECT_EQ(usb->serial, c.serial);
    EXPECT_EQ(usb->instance, c.instance);
  }
}

}  // namespace
}  // namespace velimo::serial
