#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "serial/com_port.h"
#include "serial/port_identity.h"
#include "serial/port_list.h"
#include "util/bounded_file.h"

namespace velimo::serial {

namespace {

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// One line of a sysfs attribute, without its line end; empty when absent.
// The kernel's attributes fit a page; anything else at their names (a
// FIFO, a device, a huge file in a tree put in place of /sys) is not one,
// and reads as absent.
std::string Attribute(const std::string& dir, const char* name) {
  const BoundedRead file = ReadBoundedFile(dir + "/" + name, kSystemAttributeLimit);
  if (!file.ok) return {};
  std::string line = file.text.substr(0, file.text.find('\n'));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

std::string LinkTarget(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (!realpath(path.c_str(), buffer)) return {};
  return buffer;
}

bool IsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The by-id links: link name and the tty name it points to.
std::vector<std::pair<std::string, std::string>> ByIdLinks(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> links;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return links;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string target = LinkTarget(folder + "/" + name);
    if (!target.empty()) links.emplace_back(name, BaseName(target));
  }
  closedir(dir);
  // Several interfaces of one adapter each have a link; the first by name
  // is as good as any, and stable.
  std::sort(links.begin(), links.end());
  return links;
}

void Identify(PortIdentity& id, const SystemRoots& roots,
              const std::vector<std::pair<std::string, std::string>>& byId) {
  id.path = roots.dev + "/" + id.name;
  for (const auto& [link, tty] : byId) {
    if (tty == id.name) {
      id.by_id = roots.by_id + "/" + link;
      break;
    }
  }
  const std::string entry = roots.sys_class_tty + "/" + id.name;
  const std::string device = RealPath(entry + "/device");
  if (device.empty()) return;
  // The driver that runs the port. Newer kernels put each UART port on a
  // "serial-base" bus of its own, whose generic "port" driver says
  // nothing; the UART's driver sits on a folder above.
  std::string bus;
  for (std::string dir = device; !dir.empty() && dir != "/"; dir = Parent(dir)) {
    const std::string driver = BaseName(LinkTarget(dir + "/driver"));
    const std::string subsystem = BaseName(LinkTarget(dir + "/subsystem"));
    if (driver.empty() || subsystem == "serial-base") continue;
    id.driver = driver;
    bus = subsystem;
    break;
  }
  // The USB device is the nearest folder above the tty's device that
  // carries the vendor id (the interface and the usb-serial port lie
  // between).
  for (std::string dir = device; !dir.empty() && dir != "/"; dir = Parent(dir)) {
    const std::string vid = Attribute(dir, "idVendor");
    if (vid.empty()) continue;
    id.usb = true;
    id.vid = vid;
    id.pid = Attribute(dir, "idProduct");
    id.manufacturer = Attribute(dir, "manufacturer");
    id.product = Attribute(dir, "product");
    id.serial = Attribute(dir, "serial");
    break;
  }
  if (!id.usb) {
    // A UART of the machine: on a platform bus, ACPI/PnP, or PCI.
    id.platform = bus.empty() || bus == "platform" || bus == "pnp" || bus == "amba" ||
                  id.name.rfind("ttyS", 0) == 0;
  }
}

}  // namespace

PortIdentity IdentifyPort(const std::string& name, const SystemRoots& roots) {
  PortIdentity id;
  id.name = name;
  Identify(id, roots, ByIdLinks(roots.by_id));
  return id;
}

std::optional<std::vector<PortIdentity>> IdentifyPorts(const SystemRoots& roots) {
  auto paths = EnumerateSerialPorts(roots.sys_class_tty, roots.dev);
  if (!paths) return std::nullopt;
  const auto byId = ByIdLinks(roots.by_id);
  std::vector<PortIdentity> ports;
  for (const std::string& path : *paths) {
    PortIdentity id;
    id.name = BaseName(path);
    Identify(id, roots, byId);
    ports.push_back(std::move(id));
  }
  return ports;
}

std::optional<PortIdentity> FindPort(const std::string& port, const SystemRoots& roots) {
  std::string path = DevicePathOf(port);
  // With another root, names under the real /dev are read under it.
  if (roots.dev != "/dev" && path.rfind("/dev/", 0) == 0) path = roots.dev + path.substr(4);
  std::string name = BaseName(path);
  if (const std::string real = RealPath(path); !real.empty()) {
    name = BaseName(real);
  } else if (IsDir(roots.by_id) && Parent(path) == roots.by_id) {
    return std::nullopt;  // a by-id name whose adapter is not there
  }
  if (!IsDir(roots.sys_class_tty + "/" + name)) return std::nullopt;
  return IdentifyPort(name, roots);
}

}  // namespace velimo::serial
