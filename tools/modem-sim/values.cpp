#include "values.h"

#include <algorithm>
#include <cstdio>

namespace velimo::sim {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<long> Decimal(std::string_view text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<long> SignedDecimal(std::string_view text, long low, long high) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  auto magnitude = Decimal(text, 0, std::max(-low, high));
  if (!magnitude) return std::nullopt;
  long value = negative ? -*magnitude : *magnitude;
  if (value < low || value > high) return std::nullopt;
  return value;
}

// "02", "02,0a" or "02,0a,FF": one to three bytes.
std::optional<std::vector<int>> HexList(std::string_view text) {
  std::vector<int> bytes;
  while (true) {
    if (text.size() < 2) return std::nullopt;
    int high = HexDigit(text[0]);
    int low = HexDigit(text[1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(high * 16 + low);
    text.remove_prefix(2);
    if (text.empty()) break;
    if (text.front() != ',' || bytes.size() == 3) return std::nullopt;
    text.remove_prefix(1);
  }
  return bytes;
}

std::string Hex2(int byte) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02X", byte & 0xFF);
  return buffer;
}

std::string OffOn(bool on) {
  return on ? "ON" : "OFF";
}
std::string PortTypeName(int type) {
  return type == 0 ? "Kivet" : "Normal";
}

}  // namespace velimo::sim
