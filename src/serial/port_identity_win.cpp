// What each port is, on Windows: the ports of the registry's port list by
// their COM names, and for a USB adapter what SetupAPI knows of the
// port's device (class Ports, its PortName in the device's key): the ids
// and serial number in the instance IDs of the device and its parents,
// the product string the adapter reported, its maker. The USB device's
// instance ID stands where Linux has the by-id name: it names the adapter
// whatever port or COM number it gets. A port SetupAPI does not know (wine
// makes its ports without devices) is known by its name alone.
#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>
#include <devguid.h>
// The property keys are defined here, not in a library.
#include <initguid.h>
// After initguid.h:
#include <devpkey.h>
#include <setupapi.h>

#include <map>

#include "serial/port_identity.h"
#include "serial/port_list.h"
#include "util/wide_text_win.h"

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

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string RegistryText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512];
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                         reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                         nullptr) ||
      type != REG_SZ) {
    return {};
  }
  buffer[511] = L'\0';
  return Narrow(buffer);
}

// The product string the adapter itself reported over USB, where the
// system keeps it (Windows 7 on).
std::string ReportedProduct(HDEVINFO set, SP_DEVINFO_DATA& device) {
  wchar_t buffer[512];
  DEVPROPTYPE type = 0;
  if (!SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                 reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2, nullptr, 0) ||
      type != DEVPROP_TYPE_STRING) {
    return {};
  }
  buffer[511] = L'\0';
  return Narrow(buffer);
}

std::string InstanceId(DEVINST node) {
  wchar_t buffer[MAX_DEVICE_ID_LEN + 1];
  if (CM_Get_Device_IDW(node, buffer, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS) return {};
  return Narrow(buffer);
}

// The present ports' identities by their COM names, upper case.
std::map<std::string, PortIdentity> UsbPorts() {
  std::map<std::string, PortIdentity> ports;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t name[64];
    DWORD size = sizeof name - 2;
    DWORD type = 0;
    const LONG got =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (got != ERROR_SUCCESS || type != REG_SZ) continue;
    name[size / sizeof(wchar_t)] = L'\0';
    // The port's device, then its parents up to the root.
    std::vector<std::string> ids;
    DEVINST node = device.DevInst;
    for (int depth = 0; depth < 8; ++depth) {
      const std::string id = InstanceId(node);
      if (id.empty()) break;
      ids.push_back(id);
      DEVINST parent = 0;
      if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
      node = parent;
    }
    const std::optional<UsbInstance> usb = UsbInstanceOf(ids);
    if (!usb) continue;
    PortIdentity id;
    id.name = Narrow(name);
    id.path = id.name;
    id.usb = true;
    id.vid = usb->vid;
    id.pid = usb->pid;
    id.serial = usb->serial;
    id.by_id = usb->instance;
    id.product = ReportedProduct(set, device);
    if (id.product.empty()) id.product = RegistryText(set, device, SPDRP_DEVICEDESC);
    id.manufacturer = RegistryText(set, device, SPDRP_MFG);
    id.driver = RegistryText(set, device, SPDRP_SERVICE);
    ports[Upper(id.name)] = id;
  }
  SetupDiDestroyDeviceInfoList(set);
  return ports;
}

PortIdentity Identify(const std::string& name, const std::map<std::string, PortIdentity>& usb) {
  const std::string bare = PortName(name);
  if (const auto known = usb.find(Upper(bare)); known != usb.end()) return known->second;
  PortIdentity id;
  id.name = bare;
  id.path = id.name;
  return id;
}

}  // namespace

PortIdentity IdentifyPort(const std::string& name, const SystemRoots&) {
  return Identify(name, UsbPorts());
}

std::optional<std::vector<PortIdentity>> IdentifyPorts(const SystemRoots&) {
  auto names = EnumerateSerialPorts();
  if (!names) return std::nullopt;
  const std::map<std::string, PortIdentity> usb = UsbPorts();
  std::vector<PortIdentity> ports;
  for (const std::string& name : *names) ports.push_back(Identify(name, usb));
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
