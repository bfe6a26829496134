#include "util/text_helpers.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <limits>

namespace velimo {

namespace {

// Horspool skip table: how far the search window may move on when the byte
// under its last position is b.
using SkipTable = std::array<size_t, 256>;

SkipTable MakeSkipTable(std::string_view find) {
  SkipTable skip;
  skip.fill(find.size());
  for (size_t i = 0; i + 1 < find.size(); ++i) {
    skip[static_cast<unsigned char>(find[i])] = find.size() - 1 - i;
  }
  return skip;
}

// First occurrence of find in source at or after from; npos when none.
size_t FindFrom(std::string_view source, std::string_view find, const SkipTable& skip,
                size_t from) {
  const size_t m = find.size();
  if (source.size() < m) return std::string_view::npos;
  size_t pos = from;
  while (pos <= source.size() - m) {
    size_t k = m;
    // Compare from the window's last character backwards.
    while (k > 0 && source[pos + k - 1] == find[k - 1]) --k;
    if (k == 0) return pos;
    pos += skip[static_cast<unsigned char>(source[pos + m - 1])];
  }
  return std::string_view::npos;
}

// The result buffer: sized once up front and grown by half of its size
// whenever a piece does not fit, so a long text with many occurrences is
// not reallocated per occurrence.
class Output {
 public:
  explicit Output(size_t capacity) { buffer_.resize(capacity); }
  void Append(std::string_view piece) {
    if (piece.empty()) return;
    if (buffer_.size() - used_ < piece.size()) {
      size_t capacity = buffer_.size();
      while (capacity - used_ < piece.size()) {
        const size_t growth = capacity / 2 > 0 ? capacity / 2 : 1;
        capacity = capacity > std::numeric_limits<size_t>::max() - growth ? used_ + piece.size()
                                                                          : capacity + growth;
      }
      buffer_.resize(capacity);
    }
    std::memcpy(buffer_.data() + used_, piece.data(), piece.size());
    used_ += piece.size();
  }
  std::string Take() {
    buffer_.resize(used_);
    return std::move(buffer_);
  }

 private:
  std::string buffer_;
  size_t used_ = 0;
};

size_t InitialSize(size_t source, size_t find, size_t replacement) {
  if (replacement <= find) return source;
  // source * replacement / find, without overflowing on huge texts.
  if (source > std::numeric_limits<size_t>::max() / replacement) return source;
  return source * replacement / find;
}

bool IsBlank(unsigned char c) {
  return c >= 1 && c <= 32;
}

}  // namespace

std::string ReplaceAll(std::string_view source, std::string_view find,
                       std::string_view replacement) {
  // An empty find text matches nowhere: the source comes back unchanged.
  if (source.empty() || find.empty()) return std::string(source);
  const SkipTable skip = MakeSkipTable(find);
  Output out(InitialSize(source.size(), find.size(), replacement.size()));
  size_t copied = 0;
  for (size_t at = FindFrom(source, find, skip, 0); at != std::string_view::npos;
       at = FindFrom(source, find, skip, copied)) {
    out.Append(source.substr(copied, at - copied));
    out.Append(replacement);
    copied = at + find.size();
  }
  out.Append(source.substr(copied));
  return out.Take();
}

std::vector<std::string> SplitTokens(std::string_view text) {
  // The text ends at its first NUL byte.
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);

  std::vector<std::string> tokens;
  const size_t n = text.size();
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < n && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
  };

  skipBlanks();
  while (i < n) {
    std::string token;
    if (text[i] == '"') {
      // Quoted token: "" inside stands for one quote; an unclosed quote
      // runs to the end of the text.
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            token += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        token += text[i++];
      }
    } else {
      const size_t start = i;
      while (i<n&& static_cast<unsigned char>(text[i])> 32 && text[i] != '=') ++i;
      token.assign(text.substr(start, i - start));
    }
    tokens.push_back(std::move(token));

    skipBlanks();
    if (i < n && text[i] == '=') {
      if (i + 1 == n) tokens.emplace_back();
      ++i;
      skipBlanks();
    }
  }
  return tokens;
}

int BaudTextToIndex(std::string_view text) {
  static constexpr std::string_view kRates[] = {"600",    "1200",   "2400",   "3600",  "4800",
                                                "7200",   "9600",   "19200",  "38400", "57600",
                                                "115200", "230400", "460800", "921600"};
  for (size_t i = 0; i < std::size(kRates); ++i) {
    if (text == kRates[i]) return static_cast<int>(i);
  }
  return 6;
}

int ParityTextToIndex(std::string_view text) {
  if (text == "Odd") return 1;
  if (text == "Even") return 2;
  return 0;
}

std::string DigitsOnly(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

}  // namespace velimo
