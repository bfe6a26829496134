#include "util/positions.h"

#include <climits>

#include "util/errors.h"

namespace velimo {

namespace {

bool IsTrimmed(unsigned char c) {
  return c <= 32;
}

}  // namespace

std::string CopyAt(std::string_view text, int p, int n) {
  // A position before the first character counts as the first one, and a
  // count that does not fit yields what is there: the parsers read fixed
  // columns out of lines of any length and must never fail doing so.
  if (n <= 0) return {};
  const size_t start = p < 1 ? 0 : static_cast<size_t>(p) - 1;
  if (start >= text.size()) return {};
  return std::string(text.substr(start, static_cast<size_t>(n)));
}

std::string RestFrom(std::string_view text, int p) {
  const size_t start = p < 1 ? 0 : static_cast<size_t>(p) - 1;
  if (start >= text.size()) return {};
  return std::string(text.substr(start));
}

bool BeginsWithAt(std::string_view text, std::string_view keyword, int p) {
  if (p < 1) return false;
  const size_t start = static_cast<size_t>(p) - 1;
  if (start > text.size() || text.size() - start < keyword.size()) return false;
  return text.compare(start, keyword.size(), keyword) == 0;
}

bool Contains(std::string_view text, std::string_view keyword) {
  return text.find(keyword) != std::string_view::npos;
}

std::string Trim(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsTrimmed(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && IsTrimmed(static_cast<unsigned char>(text[last - 1]))) --last;
  return std::string(text.substr(first, last - first));
}

int StrToInt(std::string_view text) {
  const std::string t = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  bool valid = i < t.size();
  // Accumulate as a negative number so that INT_MIN itself converts.
  long long value = 0;
  for (; valid && i < t.size(); ++i) {
    const char c = t[i];
    if (c < '0' || c > '9') {
      valid = false;
      break;
    }
    value = value * 10 - (c - '0');
    if (value < static_cast<long long>(INT_MIN)) valid = false;
  }
  if (valid && !negative) {
    value = -value;
    if (value > INT_MAX) valid = false;
  }
  if (!valid) {
    std::string message = "'";
    message.append(text).append("' is not a valid integer value");
    throw EConvertError(message);
  }
  return static_cast<int>(value);
}

}  // namespace velimo
