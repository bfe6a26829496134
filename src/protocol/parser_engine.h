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

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "util/platform.h"

namespace velimo::protocol {

// The tokens of a comma-spaced answer line: "Baudrate = 9600, Parity = None"
// gives Baudrate | 9600 | , | Parity | None. Asking for an index the
// answer does not have raises ERangeError.
//
// The tokens are those of SplitTokens; they are kept as places in the text
// rather than as strings of their own, since every report line is split
// and most of the parsers' time went to building token strings.
class AnswerTokens {
 public:
  // Reads the text in place: it must outlive the tokens.
  explicit AnswerTokens(std::string_view commaSpacedLine);
  std::string_view operator[](int index) const;
  int Count() const { return count_; }

 private:
  struct Place {
    uint32_t pos;
    uint32_t len;
  };
  void Add(size_t pos, size_t len);
  std::string_view Base() const { return quoted_ ? std::string_view(unquoted_) : text_; }

  std::string_view text_;
  bool quoted_ = false;
  std::string unquoted_;            // the tokens one after the other, for quoted texts
  std::array<Place, 24> inline_{};  // enough for every line the modems send
  std::vector<Place> more_;
  int count_ = 0;
};

// The parser's own copy of a response line, line ending included. Rows
// that read tokens replace it with its comma-spaced form, which stays in
// force for the later rows of the same call.
class WorkingLine {
 public:
  // The line is copied only once a row replaces it; until then it is read
  // where it lies (it outlives the call).
  explicit WorkingLine(std::string_view line) : text_(line) {}
  std::string_view Text() const { return text_; }
  // Puts a blank before every comma of the working line and returns its
  // answer tokens. Each row that reads tokens does this anew; doing it
  // twice only adds blanks, which the split ignores.
  // The tokens read the working line in place: they are valid until the
  // line is replaced again (each row splits once, at its start).
  AnswerTokens CommaSpacedTokens();
  // Counts the replacements, so a table knows to look at the line anew.
  int Version() const { return version_; }

 private:
  std::string_view text_;
  std::string owned_;
  int version_ = 0;
};

// The working line's comma-spaced form: one blank put before every comma,
// so a comma never sticks to the value before it. The same text as
// ReplaceAll(line, ",", " ,"), built in one pass without a search table:
// the parsers run it on most lines of every status report.
std::string CommaSpaced(std::string_view line);

// Where a row's keyword must stand.
inline constexpr int kAnywhere = 0;

template <class Owner>
struct KeywordRow {
  int position;              // 1-based position, or kAnywhere
  std::string_view keyword;  // compared exactly, case-sensitive
  bool stop;                 // end the call after the action
  void (Owner::*action)(WorkingLine&);
};

// True when the row's keyword stands at its position (or anywhere). Most
// rows fail on their first character, so that is tested before the rest.
inline bool RowMatches(std::string_view line, int position, std::string_view keyword) {
  if (position == kAnywhere) return line.find(keyword) != std::string_view::npos;
  const size_t start = static_cast<size_t>(position - 1);
  if (position < 1 || keyword.empty()) return position >= 1 && start <= line.size();
  if (line.size() < start + keyword.size() || line[start] != keyword[0]) return false;
  return line.compare(start, keyword.size(), keyword) == 0;
}

// Which rows a line can match at all, from the characters standing at the
// rows' positions: a report line is tested only against the rows whose
// keyword begins with its character there, and the rows that look
// anywhere. Tables hold at most 64 rows.
class RowFilter {
 public:
  static constexpr size_t kMaxRows = 64;

  template <class Row>
  explicit RowFilter(std::span<const Row> rows) {
    if (rows.size() > kMaxRows) throw std::length_error("keyword table longer than 64 rows");
    for (size_t i = 0; i < rows.size(); ++i) {
      const uint64_t bit = uint64_t{1} << i;
      if (rows[i].position == kAnywhere || rows[i].keyword.empty()) {
        anywhere_ |= bit;
        continue;
      }
      Column* column = nullptr;
      for (Column& c : columns_)
        if (c.position == rows[i].position) column = &c;
      if (!column) {
        columns_.push_back({rows[i].position, {}});
        column = &columns_.back();
      }
      column->rows[static_cast<unsigned char>(rows[i].keyword[0])] |= bit;
    }
  }

  uint64_t Candidates(std::string_view line) const {
    uint64_t mask = anywhere_;
    for (const Column& c : columns_) {
      if (static_cast<size_t>(c.position) <= line.size())
        mask |= c.rows[static_cast<unsigned char>(line[static_cast<size_t>(c.position) - 1])];
    }
    return mask;
  }

 private:
  struct Column {
    int position;
    std::array<uint64_t, 256> rows;
  };
  uint64_t anywhere_ = 0;
  std::vector<Column> columns_;
};

// A parser's keyword table, ready to run: the rows in their binding order
// and the filter that skips the rows a line cannot match.
template <class Owner>
class KeywordTable {
 public:
  explicit KeywordTable(std::span<const KeywordRow<Owner>> rows) : rows_(rows), filter_(rows) {}

  // Runs the table against one line. Never raises: an error in any row
  // shows deviceChoiceMessage and ends the call.
  void Run(Owner& owner, std::string_view line, Platform& platform,
           std::string_view deviceChoiceMessage) const {
    bool failed = false;
    try {
      WorkingLine working(line);
      // Only the candidate rows are visited, lowest (earliest bound) first.
      uint64_t left = filter_.Candidates(working.Text());
      int version = working.Version();
      while (left != 0) {
        const int i = std::countr_zero(left);
        left &= left - 1;
        const KeywordRow<Owner>& row = rows_[static_cast<size_t>(i)];
        if (!RowMatches(working.Text(), row.position, row.keyword)) continue;
        (owner.*row.action)(working);
        if (row.stop) break;
        // The later rows test the replaced text.
        if (working.Version() != version) {
          version = working.Version();
          left = filter_.Candidates(working.Text()) & (~uint64_t{0} << i << 1);
        }
      }
    } catch (...) {
      failed = true;
    }
    // Shown outside the handler: the box runs a nested event loop.
    if (failed) platform.ShowMessage(deviceChoiceMessage);
  }

 private:
  std::span<const KeywordRow<Owner>> rows_;
  RowFilter filter_;
};

// Runs a table once (a KeywordTable kept for many lines saves building the
// filter each time).
template <class Owner>
void RunKeywordTable(Owner& owner, std::span<const KeywordRow<Owner>> rows, std::string_view line,
                     Platform& platform, std::string_view deviceChoiceMessage) {
  KeywordTable<Owner>(rows).Run(owner, line, platform, deviceChoiceMessage);
}

}  // namespace velimo::protocol
