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

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// "VID_0403" with the prefix given: the four hex digits, lower case.
std::string HexId(const std::string& field, const char* prefix) {
  const std::string upper = Lower(field);
  const std::string want = Lower(prefix);
  if (upper.size() != want.size() + 4 || upper.compare(0, want.size(), want) != 0) return {};
  const std::string digits = upper.substr(want.size());
  for (char c : digits)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  return digits;
}

}  // namespace

std::optional<UsbInstance> UsbInstanceOf(const std::vector<std::string>& instanceIds) {
  std::optional<UsbInstance> found;
  for (const std::string& id : instanceIds) {
    // ENUMERATOR\DEVICE\INSTANCE
    const size_t first = id.find('\\');
    const size_t second = first == std::string::npos ? first : id.find('\\', first + 1);
    if (second == std::string::npos || Lower(id.substr(0, first)) != "usb") continue;
    const std::string device = id.substr(first + 1, second - first - 1);
    const std::string instance = id.substr(second + 1);
    UsbInstance usb;
    bool isInterface = false;
    size_t from = 0;
    while (from <= device.size()) {
      size_t end = device.find('&', from);
      if (end == std::string::npos) end = device.size();
      const std::string field = device.substr(from, end - from);
      if (const std::string v = HexId(field, "VID_"); !v.empty()) usb.vid = v;
      if (const std::string p = HexId(field, "PID_"); !p.empty()) usb.pid = p;
      if (Lower(field).starts_with("mi_")) isInterface = true;
      from = end + 1;
    }
    if (usb.vid.empty() || usb.pid.empty()) continue;
    if (isInterface) {
      if (!found) found = usb;
      continue;
    }
    if (!instance.empty() && instance.find('&') == std::string::npos &&
        instance.find('\\') == std::string::npos) {
      usb.serial = instance;
      usb.instance = id;
    }
    return usb;
  }
  return found;
}

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
