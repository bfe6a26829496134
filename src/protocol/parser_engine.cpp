#include "protocol/parser_engine.h"

#include <algorithm>

#include "util/errors.h"
#include "util/text_helpers.h"

namespace velimo::protocol {

namespace {

bool IsBlank(unsigned char c) {
  return c >= 1 && c <= 32;
}

}  // namespace

void AnswerTokens::Add(size_t pos, size_t len) {
  const Place place{static_cast<uint32_t>(pos), static_cast<uint32_t>(len)};
  if (static_cast<size_t>(count_) < inline_.size()) {
    inline_[static_cast<size_t>(count_)] = place;
  } else {
    more_.push_back(place);
  }
  ++count_;
}

AnswerTokens::AnswerTokens(std::string_view line) {
  // The text ends at its first NUL byte, as SplitTokens reads it.
  line = line.substr(0, std::min(line.find('\0'), line.size()));
  if (line.find('"') != std::string_view::npos) {
    // Quoted tokens are rewritten by the split ("" stands for one quote):
    // take SplitTokens' strings and keep them one after the other.
    quoted_ = true;
    for (const std::string& token : SplitTokens(line)) {
      Add(unquoted_.size(), token.size());
      unquoted_ += token;
    }
    return;
  }
  // The same rules without quotes: tokens end at a blank (codes 1 to 32) or
  // at "="; one "=" with blanks around it separates two tokens, and a "="
  // at the very end leaves an empty last token.
  text_ = line;
  const size_t n = text_.size();
  size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < n && IsBlank(static_cast<unsigned char>(text_[i]))) ++i;
  };
  skipBlanks();
  while (i < n) {
    const size_t start = i;
    while (i<n&& static_cast<unsigned char>(text_[i])> 32 && text_[i] != '=') ++i;
    Add(start, i - start);
    skipBlanks();
    if (i < n && text_[i] == '=') {
      if (i + 1 == n) Add(n, 0);
      ++i;
      skipBlanks();
    }
  }
}

std::string_view AnswerTokens::operator[](int index) const {
  if (index < 0 || index >= count_) {
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  }
  const size_t i = static_cast<size_t>(index);
  const Place p = i < inline_.size() ? inline_[i] : more_[i - inline_.size()];
  return Base().substr(p.pos, p.len);
}

std::string CommaSpaced(std::string_view line) {
  std::string out;
  out.reserve(line.size() + 8);
  size_t from = 0;
  for (size_t comma; (comma = line.find(',', from)) != std::string_view::npos; from = comma + 1) {
    out.append(line.substr(from, comma - from));
    out += " ,";
  }
  out.append(line.substr(from));
  return out;
}

AnswerTokens WorkingLine::CommaSpacedTokens() {
  owned_ = CommaSpaced(text_);
  text_ = owned_;
  ++version_;
  return AnswerTokens(text_);
}

}  // namespace velimo::protocol
