#include "serial/port_identity.h"

namespace velimo::serial {

namespace {

std::string BaseName(const std::string& path) {
#ifdef _WIN32
  const auto slash = path.find_last_of("/\\");
#else
  const auto slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SystemRoots SystemRoots::Under(const std::string& root) {
  SystemRoots r;
  if (root.empty() || root == "/") return r;
  r.sys_class_tty = root + r.sys_class_tty;
  r.dev = root + r.dev;
  r.by_id = root + r.by_id;
  // The processes that may hold a port are the system's own.
  return r;
}

std::string PortIdentity::VidPid() const {
  if (vid.empty()) return {};
  return vid + ":" + pid;
}

std::string PortIdentity::Description() const {
  std::string text;
  if (usb) {
    text = !product.empty() ? product : !manufacturer.empty() ? manufacturer : "USB serial adapter";
    if (product.empty() && manufacturer.empty() && !vid.empty()) text += " " + VidPid();
    if (!serial.empty()) text += ", serial " + serial;
  } else if (platform) {
    text = "platform serial port";
    if (!driver.empty()) text += " (" + driver + ")";
  } else if (!driver.empty()) {
    text = driver;
  }
  return text;
}

std::string PortIdentity::ListEntry() const {
  const std::string description = Description();
  return description.empty() ? name : name + " - " + description;
}

std::string SerialOfById(const std::string& byIdName) {
  std::string name = BaseName(byIdName);
  if (name.rfind("usb-", 0) != 0) return {};
  // Interface suffixes: "-if00", "-if00-port0".
  if (const auto at = name.find("-if"); at != std::string::npos) name.resize(at);
  const auto underscore = name.find_last_of('_');
  if (underscore == std::string::npos || underscore + 1 >= name.size()) return {};
  return name.substr(underscore + 1);
}

}  // namespace velimo::serial
