#include "serial/port_list.h"

namespace velimo::serial {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
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
