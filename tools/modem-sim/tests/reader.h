// How the program reads a modem's line, restated from the line formats for
// the simulator's tests only: character positions count from 1, taking
// characters past the end is never an error, trimming drops codes 0 to 32
// at both ends, and the answer tokens are the line with a blank put before
// every comma, split at runs of blanks and at "=".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velimo::sim::test {

inline std::string Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return std::string(text);
}

// The n characters from position p.
inline std::string Chars(std::string_view line, std::size_t p, std::size_t n) {
  if (p < 1 || p > line.size()) return "";
  return std::string(line.substr(p - 1, n));
}

// The rest from position p.
inline std::string Rest(std::string_view line, std::size_t p) {
  if (p < 1 || p > line.size()) return "";
  return std::string(line.substr(p - 1));
}

inline bool BeginsAt(std::string_view line, std::size_t p, std::string_view keyword) {
  return Chars(line, p, keyword.size()) == keyword;
}

inline std::vector<std::string> Tokens(std::string_view line) {
  std::string spaced;
  for (char c : line) {
    if (c == ',') spaced += ' ';
    spaced += c;
  }
  std::vector<std::string> tokens;
  std::size_t i = 0;
  auto blank = [&](std::size_t k) { return static_cast<unsigned char>(spaced[k]) <= 32; };
  while (i < spaced.size() && blank(i)) ++i;
  while (i < spaced.size()) {
    std::size_t start = i;
    while (i < spaced.size() && !blank(i) && spaced[i] != '=') ++i;
    tokens.push_back(spaced.substr(start, i - start));
    while (i < spaced.size() && blank(i)) ++i;
    if (i < spaced.size() && spaced[i] == '=') {
      if (i + 1 == spaced.size()) tokens.emplace_back();
      ++i;
      while (i < spaced.size() && blank(i)) ++i;
    }
  }
  return tokens;
}

inline std::string Digits(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

}  // namespace velimo::sim::test
