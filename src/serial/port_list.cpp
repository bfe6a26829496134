#include "serial/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "util/bounded_file.h"

namespace velimo::serial {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Serial-core ports carry a "type" attribute; 0 means no UART answered at
// that address (the kernel registers ttyS0..ttyS3 on every PC).
bool UartAbsent(const std::string& entry) {
  const BoundedRead type = ReadBoundedFile(entry + "/type", kSystemAttributeLimit);
  if (!type.ok) return false;
  std::istringstream in(type.text);
  int value = -1;
  in >> value;
  return in && value == 0;
}

bool HasDevice(const std::string& entry) {
  struct stat st;
  return stat((entry + "/device").c_str(), &st) == 0;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t si = i, sj = j;
      while (si < a.size() && a[si] == '0') ++si;
      while (sj < b.size() && b[sj] == '0') ++sj;
      size_t ei = si, ej = sj;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
      if (c != 0) return c < 0;
      // Equal values: fewer leading zeros first, then go on.
      if (si - i != sj - j) return si - i < sj - j;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::optional<std::vector<std::string>> EnumerateSerialPorts(const std::string& sysClassTty,
                                                             const std::string& devDir) {
  DIR* dir = opendir(sysClassTty.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string entry = sysClassTty + "/" + name;
    // Virtual consoles, pseudo-terminals and the like have no device.
    if (!HasDevice(entry)) continue;
    if (UartAbsent(entry)) continue;
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), NaturalLess);
  for (std::string& n : names) n = devDir + "/" + n;
  return names;
}

std::optional<std::vector<std::string>> SerialPortItems(const std::string& sysClassTty,
                                                        const std::string& devDir) {
  auto ports = EnumerateSerialPorts(sysClassTty, devDir);
  if (ports && ports->empty()) ports->push_back(kNoComPort);
  return ports;
}

std::vector<std::string> FallbackPortNames() {
  std::vector<std::string> names;
  for (int n = 1; n <= 20; ++n) names.push_back("COM" + std::to_string(n));
  return names;
}

}  // namespace velimo::serial
