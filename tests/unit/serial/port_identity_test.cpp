// Port identity from a fake system tree laid out as the kernel and udev lay
// out theirs: a USB-serial adapter, a CDC-ACM device, a board UART behind
// the serial-base bus, and the by-id links beside them.
#include "serial/port_identity.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "serial/com_error.h"
#include "serial/open_refusal.h"
#include "support/fake_system.h"

namespace velimo::serial {
namespace {

class FakeSystem : public ::testing::Test {
 protected:
  void Write(const std::string& path, const std::string& text) { sys_.Write(path, text); }
  void Link(const std::string& target, const std::string& path) { sys_.Link(target, path); }
  void UsbDevice(const std::string& usb, const std::string& vid, const std::string& pid,
                 const std::string& maker, const std::string& product, const std::string& serial) {
    sys_.UsbDevice(usb, vid, pid, maker, product, serial);
  }
  void Tty(const std::string& name, const std::string& deviceDir) { sys_.Tty(name, deviceDir); }
  void FtdiAdapter(const std::string& usb, const std::string& tty, const std::string& serial) {
    sys_.PlugFtdi(usb, tty, serial);
  }

  test::FakeSystem sys_;
  const std::string root_ = sys_.Root();
};

TEST_F(FakeSystem, EachPortSaysWhatItIsInNaturalOrder) {
  FtdiAdapter("1-1", "ttyUSB10", "A50285BI");
  FtdiAdapter("1-3", "ttyUSB2", "B0000007");
  // A CDC-ACM device without a serial string and without a by-id link.
  UsbDevice("1-2", "2341", "0043", "", "", "");
  const std::string acm = "/sys/devices/usb1/1-2/1-2:1.0";
  std::filesystem::create_directories(root_ + acm);
  Link("../../../../bus/usb/drivers/cdc_acm", acm + "/driver");
  Link("../../../../bus/usb", acm + "/subsystem");
  Tty("ttyACM0", acm);
  // A board UART: the tty's device is a serial-base port, the pnp device
  // above it has the driver.
  const std::string pnp = "/sys/devices/pnp0/00:01";
  const std::string base = pnp + "/00:01:0/00:01:0.0";
  std::filesystem::create_directories(root_ + base);
  Link("../../../../bus/pnp/drivers/serial", pnp + "/driver");
  Link("../../../../bus/pnp", pnp + "/subsystem");
  Link("../../../../../../bus/serial-base/drivers/port", base + "/driver");
  Link("../../../../../../bus/serial-base", base + "/subsystem");
  Tty("ttyS0", base);
  Write("/sys/devices/pnp0/00:01/00:01:0/00:01:0.0/tty/ttyS0/type", "4");

  const SystemRoots roots = SystemRoots::Under(root_);
  auto ports = IdentifyPorts(roots);
  ASSERT_TRUE(ports.has_value());
  std::vector<std::string> entries;
  for (const PortIdentity& p : *ports) entries.push_back(p.ListEntry());
  EXPECT_EQ(entries, (std::vector<std::string>{
                         "ttyACM0 - USB serial adapter 2341:0043",
                         "ttyS0 - platform serial port (serial)",
                         "ttyUSB2 - FT232R USB UART, serial B0000007",
                         "ttyUSB10 - FT232R USB UART, serial A50285BI",
                     }));
  const PortIdentity& usb10 = (*ports)[3];
  EXPECT_EQ(usb10.path, root_ + "/dev/ttyUSB10");
  EXPECT_EQ(usb10.by_id, root_ + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(usb10.VidPid(), "0403:6001");
  EXPECT_EQ(usb10.manufacturer, "FTDI");
  EXPECT_EQ(usb10.serial, "A50285BI");
  EXPECT_EQ(usb10.driver, "ftdi_sio");
  EXPECT_TRUE(usb10.usb);
  EXPECT_EQ((*ports)[0].driver, "cdc_acm");
  EXPECT_TRUE((*ports)[0].by_id.empty());
  EXPECT_TRUE((*ports)[1].platform);
  EXPECT_FALSE((*ports)[1].usb);

  // The by-id name finds the tty it points at.
  auto found = FindPort(usb10.by_id, roots);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->name, "ttyUSB10");
  EXPECT_EQ(SerialOfById(usb10.by_id), "A50285BI");
  EXPECT_EQ(SerialOfById("pci-0000:00:14.0-usb-0:1:1.0-port0"), "");
}

TEST_F(FakeSystem, AMissingPortPointsAtWhereItsAdapterIsNow) {
  // The adapter was on ttyUSB0 and came back as ttyUSB1.
  FtdiAdapter("1-1", "ttyUSB1", "A50285BI");
  const SystemRoots roots = SystemRoots::Under(root_);
  const auto reasons = RefusalReasons(root_ + "/dev/ttyUSB0", CError_OpenFailed, ENOENT, roots,
                                      /*rememberedSerial=*/"A50285BI");
  ASSERT_EQ(reasons.size(), 2u);
  EXPECT_EQ(reasons[0], "No such device: " + root_ + "/dev/ttyUSB0 (unplugged or renamed).");
  EXPECT_EQ(reasons[1], "The adapter with serial A50285BI is now " + root_ + "/dev/ttyUSB1 (" +
                            root_ +
                            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0).");
  // A by-id name carries the serial itself; an unknown adapter says only
  // that it is gone.
  EXPECT_EQ(RefusalReasons("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                           CError_OpenFailed, ENOENT, roots)
                .size(),
            2u);
  EXPECT_EQ(RefusalReasons(root_ + "/dev/ttyUSB0", CError_OpenFailed, ENOENT, roots).size(), 1u);
}

}  // namespace
}  // namespace velimo::serial
