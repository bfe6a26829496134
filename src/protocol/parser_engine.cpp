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

AnswerTokens::AnswerTokens(std::string_view line) : text_(line) {
  // The rules of SplitTokens: the text ends at its end or at a NUL byte;
  // tokens end at a blank (codes 1 to 32) or at "="; one "=" with blanks
  // around it separates two tokens, and a "=" at the very end leaves an
  // empty last token.
  const size_t n = line.size();
  const auto atEnd = [&](size_t k) { return k >= n || line[k] == '\0'; };
  const auto isTokenChar = [](char c) { return static_cast<unsigned char>(c) > 32 && c != '='; };
  size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < n && IsBlank(static_cast<unsigned char>(line[i]))) ++i;
  };
  skipBlanks();
  while (!atEnd(i)) {
    if (line[i] == '"') {
      // A quoted token is rewritten by the split ("" stands for one
      // quote): take SplitTokens' strings and keep them one after another.
      count_ = 0;
      more_.clear();
      quoted_ = true;
      for (const std::string& token : SplitTokens(line)) {
        Add(unquoted_.size(), token.size());
        unquoted_ += token;
      }
      return;
    }
    const size_t start = i;
    while (i < n && isTokenChar(line[i])) ++i;
    Add(start, i - start);
    skipBlanks();
    if (!atEnd(i) && line[i] == '=') {
      if (atEnd(i + 1)) Add(i + 1, 0);
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
