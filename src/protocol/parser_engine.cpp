#include "protocol/parser_engine.h"

#include "util/errors.h"
#include "util/positions.h"
#include "util/text_helpers.h"

namespace velimo::protocol {

AnswerTokens::AnswerTokens(std::string_view commaSpacedLine)
    : tokens_(SplitTokens(commaSpacedLine)) {}

const std::string& AnswerTokens::operator[](int index) const {
  if (index < 0 || index >= Count()) {
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return tokens_[static_cast<size_t>(index)];
}

AnswerTokens WorkingLine::CommaSpacedTokens() {
  text_ = ReplaceAll(text_, ",", " ,");
  return AnswerTokens(text_);
}

bool RowMatches(std::string_view line, int position, std::string_view keyword) {
  if (position == kAnywhere) return Contains(line, keyword);
  return BeginsWithAt(line, keyword, position);
}

}  // namespace velimo::protocol
