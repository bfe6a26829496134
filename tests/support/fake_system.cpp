#include "fake_system.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace velimo::test {

namespace fs = std::filesystem;

FakeSystem::FakeSystem() {
  char tmpl[] = "/tmp/velimo-root-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
  root_ = tmpl;
  for (const char* dir :
       {"/sys/class/tty", "/sys/bus/usb-serial/drivers/ftdi_sio", "/sys/bus/usb/drivers/cdc_acm",
        "/sys/bus/pnp/drivers/serial", "/sys/bus/serial-base/drivers/port", "/dev/serial/by-id"})
    fs::create_directories(root_ + dir);
  // A console without a device: never listed.
  fs::create_directories(root_ + "/sys/class/tty/tty0");
}

FakeSystem::~FakeSystem() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void FakeSystem::Write(const std::string& path, const std::string& text) {
  std::ofstream(root_ + path) << text << "\n";
}

void FakeSystem::Link(const std::string& target, const std::string& path) {
  fs::create_directory_symlink(target, root_ + path);
}

void FakeSystem::UsbDevice(const std::string& usb, const std::string& vid, const std::string& pid,
                           const std::string& maker, const std::string& product,
                           const std::string& serial) {
  const std::string dir = "/sys/devices/usb1/" + usb;
  fs::create_directories(root_ + dir);
  Write(dir + "/idVendor", vid);
  Write(dir + "/idProduct", pid);
  if (!maker.empty()) Write(dir + "/manufacturer", maker);
  if (!product.empty()) Write(dir + "/product", product);
  if (!serial.empty()) Write(dir + "/serial", serial);
}

void FakeSystem::Tty(const std::string& name, const std::string& deviceDir) {
  const std::string ttyDir = deviceDir + "/tty/" + name;
  fs::create_directories(root_ + ttyDir);
  Link("../..", ttyDir + "/device");
  Link("../.." + ttyDir.substr(4), "/sys/class/tty/" + name);
  Write("/dev/" + name, "");
}

void FakeSystem::PlugFtdi(const std::string& usb, const std::string& tty,
                          const std::string& serial) {
  UsbDevice(usb, "0403", "6001", "FTDI", "FT232R USB UART", serial);
  const std::string port = "/sys/devices/usb1/" + usb + "/" + usb + ":1.0/" + tty;
  fs::create_directories(root_ + port);
  Link("../../../../../bus/usb-serial/drivers/ftdi_sio", port + "/driver");
  Link("../../../../../bus/usb-serial", port + "/subsystem");
  Tty(tty, port);
  Link("../../" + tty, "/dev/serial/by-id/" + FtdiById(serial));
}

void FakeSystem::PullFtdi(const std::string& usb, const std::string& tty,
                          const std::string& serial) {
  fs::remove(root_ + "/dev/serial/by-id/" + FtdiById(serial));
  fs::remove(root_ + "/dev/" + tty);
  fs::remove(root_ + "/sys/class/tty/" + tty);
  fs::remove_all(root_ + "/sys/devices/usb1/" + usb);
}

}  // namespace velimo::test
