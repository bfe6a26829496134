// The machinery the three response parsers share. A parser is an ordered
// table of keyword rows; every row whose keyword matches the working line
// runs its action, rows marked stop end the call, and the whole call is one
// protected region: any error (a token the answer does not have, a value
// that is not an integer, a trace line that cannot be written) ends it with
// the family's device-choice message, keeping what earlier rows did. That
// message is how the operator learns the selected model does not match
// the modem: another family's lines do not carry values where this
// family's rows look for them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/platform.h"

namespace velimo::protocol {

// The tokens of a comma-spaced answer line: "Baudrate = 9600, Parity = None"
// gives Baudrate | 9600 | , | Parity | None. Asking for an index the
// answer does not have raises ERangeError.
class AnswerTokens {
 public:
  explicit AnswerTokens(std::string_view commaSpacedLine);
  const std::string& operator[](int index) const;
  int Count() const { return static_cast<int>(tokens_.size()); }

 private:
  std::vector<std::string> tokens_;
};

// The parser's own copy of a response line, line ending included. Rows
// that read tokens replace it with its comma-spaced form, which stays in
// force for the later rows of the same call.
class WorkingLine {
 public:
  explicit WorkingLine(std::string_view line) : text_(line) {}
  const std::string& Text() const { return text_; }
  // Puts a blank before every comma of the working line and returns its
  // answer tokens. Each row that reads tokens does this anew; doing it
  // twice only adds blanks, which the split ignores.
  AnswerTokens CommaSpacedTokens();

 private:
  std::string text_;
};

// Where a row's keyword must stand.
inline constexpr int kAnywhere = 0;

template <class Owner>
struct KeywordRow {
  int position;              // 1-based position, or kAnywhere
  std::string_view keyword;  // compared exactly, case-sensitive
  bool stop;                 // end the call after the action
  void (Owner::*action)(WorkingLine&);
};

// True when the row's keyword stands at its position (or anywhere).
bool RowMatches(std::string_view line, int position, std::string_view keyword);

// Runs the table against one line. Never raises: an error in any row shows
// deviceChoiceMessage and ends the call.
template <class Owner>
void RunKeywordTable(Owner& owner, std::span<const KeywordRow<Owner>> rows, std::string_view line,
                     Platform& platform, std::string_view deviceChoiceMessage) {
  bool failed = false;
  try {
    WorkingLine working(line);
    for (const KeywordRow<Owner>& row : rows) {
      if (!RowMatches(working.Text(), row.position, row.keyword)) continue;
      (owner.*row.action)(working);
      if (row.stop) break;
    }
  } catch (...) {
    failed = true;
  }
  // Shown outside the handler: the box runs a nested event loop.
  if (failed) platform.ShowMessage(deviceChoiceMessage);
}

}  // namespace velimo::protocol
