// The port list on Windows: the COM ports that the serial drivers
// register under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (one value per port,
// its data the port's name), in natural order.
#include <windows.h>

#include <algorithm>

#include "serial/port_list.h"
#include "util/wide_text_win.h"

namespace velimo::serial {

// The two folders of the Linux list do not apply here.
std::optional<std::vector<std::string>> EnumerateSerialPorts(const std::string&,
                                                             const std::string&) {
  HKEY key = nullptr;
  const LONG opened =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
  // The key exists only while some driver has a port to list.
  if (opened == ERROR_FILE_NOT_FOUND) return std::vector<std::string>();
  if (opened != ERROR_SUCCESS) return std::nullopt;
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    wchar_t value[256];
    DWORD valueLength = 256;
    wchar_t data[256];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    const LONG got = RegEnumValueW(key, index, value, &valueLength, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &dataSize);
    if (got == ERROR_NO_MORE_ITEMS) break;
    if (got != ERROR_SUCCESS || type != REG_SZ) continue;
    std::wstring name(data, dataSize / sizeof(wchar_t));
    while (!name.empty() && name.back() == L'\0') name.pop_back();
    if (!name.empty()) names.push_back(Narrow(name));
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end(), NaturalLess);
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace velimo::serial
