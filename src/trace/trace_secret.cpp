#include "trace/trace_secret.h"

#include <algorithm>
#include <string_view>

namespace velimo::trace {

namespace {

constexpr char kMask = '*';

// The keywords, each followed (after blanks) by ":" or "=" and the value.
constexpr std::string_view kKeywords[] = {"AESKEY", "AES KEY", "AESIV", "AES IV"};

bool EndsValue(char c) {
  return c == '\r' || c == '\n' || c == '\0';
}

// Masks the value after the keyword found at `at`, if one follows; returns
// where the search goes on.
size_t MaskValueAfter(std::string& line, size_t at, size_t keywordLength) {
  size_t i = at + keywordLength;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i == line.size() || (line[i] != ':' && line[i] != '=')) return at + keywordLength;
  ++i;
  while (i < line.size() && line[i] == ' ') ++i;
  for (; i < line.size() && !EndsValue(line[i]); ++i) line[i] = kMask;
  return i;
}

}  // namespace

void MaskSecrets(std::string& line, size_t offset, TraceSecret secret) {
  if (secret.length > 0 && offset + secret.begin < line.size()) {
    const size_t begin = offset + secret.begin;
    const size_t end = std::min(line.size(), begin + secret.length);
    std::fill(line.begin() + static_cast<std::ptrdiff_t>(begin),
              line.begin() + static_cast<std::ptrdiff_t>(end), kMask);
  }
  size_t from = offset;
  for (;;) {
    size_t at = std::string::npos, length = 0;
    for (std::string_view k : kKeywords) {
      const size_t found = line.find(k, from);
      if (found < at) {
        at = found;
        length = k.size();
      }
    }
    if (at == std::string::npos) return;
    from = MaskValueAfter(line, at, length);
  }
}

void SentSecrets::Remember(std::string_view value) {
  if (value.size() < kMinLength || value == values_[0]) return;
  values_[1] = std::move(values_[0]);
  values_[0] = std::string(value);
}

void SentSecrets::Mask(std::string& text, size_t offset) const {
  for (const std::string& value : values_) {
    if (value.empty()) continue;
    for (size_t at = text.find(value, offset); at != std::string::npos;
         at = text.find(value, at + value.size())) {
      std::fill(text.begin() + static_cast<std::ptrdiff_t>(at),
                text.begin() + static_cast<std::ptrdiff_t>(at + value.size()), kMask);
    }
  }
}

}  // namespace velimo::trace
