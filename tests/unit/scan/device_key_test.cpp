// One device, one probe: the names an operator or a settings file may use
// for a port lead to one key when they lead to one device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scan/port_scan.h"

namespace velimo::scan {
namespace {

TEST(DeviceKey, NamesOfOneDeviceMeetAndOthersDoNot) {
  // A Windows-written name and the device it opens.
  EXPECT_EQ(DeviceKey("COM1"), DeviceKey("/dev/ttyS0"));
  EXPECT_EQ(DeviceKey("com3"), DeviceKey("ttyS2"));
  EXPECT_NE(DeviceKey("COM1"), DeviceKey("COM2"));
  // A link (as udev's by-id names are) and what it leads to.
  char folder[] = "/tmp/velimo-key-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  ASSERT_EQ(symlink("/dev/null", (dir + "/usb-FTDI_A50285BI-if00-port0").c_str()), 0);
  EXPECT_EQ(DeviceKey(dir + "/usb-FTDI_A50285BI-if00-port0"), DeviceKey("/dev/null"));
  // Network ports are their own names.
  EXPECT_EQ(DeviceKey("rfc2217://host:2217"), "rfc2217://host:2217");
  EXPECT_NE(DeviceKey("tcp://host:4001"), DeviceKey("tcp://host:4002"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velimo::scan
