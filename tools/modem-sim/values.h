// How the modem reads and writes values in its lines. It accepts values
// only in the exact form the program writes them: decimal digits without
// sign or blanks, single letters in capitals, two hexadecimal digits per
// framing byte.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::sim {

std::optional<long> Decimal(std::string_view text, long low, long high);
std::optional<long> SignedDecimal(std::string_view text, long low, long high);
// "02", "02,0a" or "02,0a,FF": one to three bytes.
std::optional<std::vector<int>> HexList(std::string_view text);

// Position of a text in a list of names.
template <std::size_t N>
std::optional<int> IndexOf(const std::array<std::string_view, N>& names, std::string_view text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::string Hex2(int byte);
std::string OffOn(bool on);
std::string PortTypeName(int type);

}  // namespace velimo::sim
