// What each port is, on Windows: the ports of the registry's port list by
// their COM names. The adapter's USB identity (SetupAPI) is not read yet,
// so a port is known by its name alone and Description() is empty.
#include "serial/port_identity.h"
#include "serial/port_list.h"

namespace velimo::serial {

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// "COM5" for "COM5" and for "\\.\COM5".
std::string PortName(const std::string& port) {
  return port.starts_with("\\\\.\\") ? port.substr(4) : port;
}

}  // namespace

PortIdentity IdentifyPort(const std::string& name, const SystemRoots&) {
  PortIdentity id;
  id.name = PortName(name);
  id.path = id.name;
  return id;
}

std::optional<std::vector<PortIdentity>> IdentifyPorts(const SystemRoots& roots) {
  auto names = EnumerateSerialPorts();
  if (!names) return std::nullopt;
  std::vector<PortIdentity> ports;
  for (const std::string& name : *names) ports.push_back(IdentifyPort(name, roots));
  return ports;
}

std::optional<PortIdentity> FindPort(const std::string& port, const SystemRoots& roots) {
  auto names = EnumerateSerialPorts();
  if (!names) return std::nullopt;
  const std::string wanted = PortName(port);
  for (const std::string& name : *names)
    if (SameName(name, wanted)) return IdentifyPort(name, roots);
  return std::nullopt;
}

}  // namespace velimo::serial
