// Fuzz target: the text helpers and the position helpers the parsers read
// answer lines with, each checked against a plain reference written from
// the rules (no skip table, no in-place tokens), plus the parsers' own
// comma spacing and answer tokens against ReplaceAll and SplitTokens.
//
// Input: any bytes (NULs included). An optional "\x1f" splits off a find
// text, and a second one a replacement text, for an extra ReplaceAll case;
// the positions and counts tried come partly from the first bytes.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/reference.h"
#include "fuzz/slow_inputs.h"
#include "protocol/parser_engine.h"
#include "util/errors.h"
#include "util/positions.h"
#include "util/text_helpers.h"

namespace {

using std::string;
using std::string_view;

[[noreturn]] void Fail(const char* what, string_view input) {
  std::fprintf(stderr, "fuzz_text: %s (input of %zu bytes)\n", what, input.size());
  std::abort();
}

void Check(bool ok, const char* what, string_view input) {
  if (!ok) Fail(what, input);
}

// ---- References -------------------------------------------------------------

FUZZ_REFERENCE string NaiveReplaceAll(string_view source, string_view find,
                                      string_view replacement) {
  const velimo::fuzz::Unmetered reference;
  string out;
  size_t i = 0;
  while (i < source.size()) {
    if (source.size() - i >= find.size() && source.compare(i, find.size(), find) == 0) {
      out.append(replacement);
      i += find.size();
    } else {
      out += source[i++];
    }
  }
  return out;
}

FUZZ_REFERENCE bool Separator(unsigned char c) {
  return c >= 1 && c <= 32;
}

// The splitting rules step by step: blanks (1 to 32) and "=" separate,
// a double-quoted token runs to the next lone quote ("" is one quote, an
// unclosed one runs to the end), a "=" as the very last character leaves an
// empty token, and the text ends at a NUL.
FUZZ_REFERENCE std::vector<string> NaiveSplit(string_view text) {
  const velimo::fuzz::Unmetered reference;
  std::vector<string> tokens;
  size_t end = 0;
  while (end < text.size() && text[end] != '\0') ++end;
  size_t i = 0;
  auto skip = [&] {
    while (i < end && Separator(static_cast<unsigned char>(text[i]))) ++i;
  };
  skip();
  while (i < end) {
    string token;
    if (text[i] == '"') {
      for (++i; i < end; ++i) {
        if (text[i] != '"') {
          token += text[i];
        } else if (i + 1 < end && text[i + 1] == '"') {
          token += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
    } else {
      for (; i<end&& static_cast<unsigned char>(text[i])> 32 && text[i] != '='; ++i) {
        token += text[i];
      }
    }
    tokens.push_back(token);
    skip();
    if (i < end && text[i] == '=') {
      if (i == end - 1) tokens.emplace_back();
      ++i;
      skip();
    }
  }
  return tokens;
}

// Positions count from 1; a position before the first counts as the first.
FUZZ_REFERENCE string NaiveCopyAt(string_view text, long long p, long long n) {
  const velimo::fuzz::Unmetered reference;
  string out;
  const long long first = p < 1 ? 1 : p;
  for (long long k = 0; k < n; ++k) {
    const long long at = first + k;  // 1-based
    if (at > static_cast<long long>(text.size())) break;
    out += text[static_cast<size_t>(at - 1)];
  }
  return out;
}

FUZZ_REFERENCE string NaiveRestFrom(string_view text, long long p) {
  const velimo::fuzz::Unmetered reference;
  return NaiveCopyAt(text, p, static_cast<long long>(text.size()) + 1);
}

FUZZ_REFERENCE bool NaiveBeginsWithAt(string_view text, string_view keyword, long long p) {
  const velimo::fuzz::Unmetered reference;
  if (p < 1) return false;
  for (size_t k = 0; k < keyword.size(); ++k) {
    const long long at = p + static_cast<long long>(k);
    if (at > static_cast<long long>(text.size())) return false;
    if (text[static_cast<size_t>(at - 1)] != keyword[k]) return false;
  }
  return p - 1 <= static_cast<long long>(text.size());
}

FUZZ_REFERENCE bool NaiveContains(string_view text, string_view keyword) {
  const velimo::fuzz::Unmetered reference;
  for (size_t i = 0; i + keyword.size() <= text.size(); ++i) {
    if (text.substr(i, keyword.size()) == keyword) return true;
  }
  return keyword.empty();
}

FUZZ_REFERENCE string NaiveTrim(string_view text) {
  const velimo::fuzz::Unmetered reference;
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return string(text.substr(b, e - b));
}

FUZZ_REFERENCE std::optional<int> NaiveStrToInt(string_view text) {
  const velimo::fuzz::Unmetered reference;
  const string t = NaiveTrim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i == t.size()) return std::nullopt;
  long long magnitude = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    magnitude = magnitude * 10 + (t[i] - '0');
    if (magnitude > 1LL << 32) magnitude = 1LL << 32;  // beyond any int, stays so
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

FUZZ_REFERENCE int NaiveBaudIndex(string_view text) {
  const velimo::fuzz::Unmetered reference;
  const char* const rates[] = {"600",   "1200",  "2400",  "3600",   "4800",   "7200",   "9600",
                               "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
  for (int i = 0; i < 14; ++i) {
    if (text == rates[i]) return i;
  }
  return 6;
}

FUZZ_REFERENCE int NaiveParityIndex(string_view text) {
  const velimo::fuzz::Unmetered reference;
  if (text == "None") return 0;
  if (text == "Odd") return 1;
  if (text == "Even") return 2;
  return 0;
}

FUZZ_REFERENCE string NaiveDigits(string_view text) {
  const velimo::fuzz::Unmetered reference;
  string out;
  for (char c : text) {
    if (c >= '0' && c <= '9') out += c;
  }
  return out;
}

// ---- Checks -----------------------------------------------------------------

void CheckReplaceAll(string_view source, string_view find, string_view replacement,
                     string_view input) {
  const string got = velimo::ReplaceAll(source, find, replacement);
  if (find.empty()) {
    // Left open by the rules; the helper hands the source back.
    Check(got == source, "ReplaceAll with an empty find text changed the source", input);
    return;
  }
  Check(got == NaiveReplaceAll(source, find, replacement), "ReplaceAll differs from the reference",
        input);
}

void CheckTokens(string_view text, string_view input) {
  const std::vector<string> tokens = velimo::SplitTokens(text);
  Check(tokens == NaiveSplit(text), "SplitTokens differs from the reference", input);

  // The parsers' answer tokens: the comma-spaced working line split in
  // place must give exactly the tokens of ReplaceAll + SplitTokens.
  velimo::protocol::WorkingLine working(text);
  const velimo::protocol::AnswerTokens answer = working.CommaSpacedTokens();
  const string spaced = velimo::ReplaceAll(text, ",", " ,");
  Check(string_view(working.Text()) == spaced, "comma spacing differs from ReplaceAll", input);
  const std::vector<string> expected = velimo::SplitTokens(spaced);
  Check(answer.Count() == static_cast<int>(expected.size()), "answer token count differs", input);
  for (int i = 0; i < answer.Count(); ++i) {
    Check(string_view(answer[i]) == expected[static_cast<size_t>(i)], "answer token differs",
          input);
  }
  // Asking past the end is the error the parsers turn into their message.
  for (int bad : {-1, answer.Count(), answer.Count() + 7, INT_MAX, INT_MIN}) {
    bool raised = false;
    try {
      (void)answer[bad];
    } catch (const velimo::ERangeError&) {
      raised = true;
    }
    Check(raised, "an answer token past the end did not raise", input);
  }
  // A second spacing only adds blanks, which the split ignores.
  const velimo::protocol::AnswerTokens again = working.CommaSpacedTokens();
  Check(again.Count() == answer.Count(), "a second comma spacing changed the tokens", input);
}

void CheckPositions(string_view text, const uint8_t* data, size_t size, string_view input) {
  const int len = static_cast<int>(text.size());
  std::vector<int> positions = {INT_MIN, -1,      0,       1,       2,          7,  8,
                                11,      13,      14,      21,      25,         26, len - 1,
                                len,     len + 1, len + 2, INT_MAX, INT_MAX - 1};
  std::vector<int> counts = {INT_MIN, -1, 0, 1, 2, 3, 5, 6, len, len + 1, INT_MAX};
  if (size >= 1) positions.push_back(static_cast<int8_t>(data[0]));
  if (size >= 2) counts.push_back(static_cast<int8_t>(data[1]));

  for (int p : positions) {
    Check(velimo::RestFrom(text, p) == NaiveRestFrom(text, p), "RestFrom differs", input);
    for (int n : counts) {
      Check(velimo::CopyAt(text, p, n) == NaiveCopyAt(text, p, n), "CopyAt differs", input);
    }
  }

  // Keywords of every family, and pieces of the text itself so that some
  // comparisons succeed.
  std::vector<string> keywords = {"",          "OK. AES OFF", "Invalid",    "Relay ID 1",
                                  "Port Type", "BaudRate",    "Main   PID", string(1, '\0')};
  if (size >= 3) {
    const size_t at = data[1] % (text.size() + 1);
    keywords.emplace_back(text.substr(at, data[2] % 16));
  }
  for (const string& k : keywords) {
    Check(velimo::Contains(text, k) == NaiveContains(text, k), "Contains differs", input);
    for (int p : positions) {
      Check(velimo::BeginsWithAt(text, k, p) == NaiveBeginsWithAt(text, k, p),
            "BeginsWithAt differs", input);
    }
  }

  const string trimmed = velimo::Trim(text);
  Check(trimmed == NaiveTrim(text), "Trim differs", input);
  Check(velimo::Trim(trimmed) == trimmed, "Trim is not idempotent", input);

  const std::optional<int> expected = NaiveStrToInt(text);
  try {
    const int value = velimo::StrToInt(text);
    Check(expected && *expected == value, "StrToInt accepted a text or read it wrong", input);
    Check(velimo::StrToInt(std::to_string(value)) == value, "StrToInt round trip", input);
  } catch (const velimo::EConvertError& e) {
    Check(!expected, "StrToInt refused an integer", input);
    string message = "'";
    message.append(text).append("' is not a valid integer value");
    // what() is a C string: it ends at a NUL of the text.
    Check(string_view(e.what()) == string_view(message).substr(0, message.find('\0')),
          "StrToInt error message", input);
  }
}

void CheckSelectors(string_view text, string_view input) {
  const int baud = velimo::BaudTextToIndex(text);
  Check(baud == NaiveBaudIndex(text), "BaudTextToIndex differs", input);
  Check(velimo::ParityTextToIndex(text) == NaiveParityIndex(text), "ParityTextToIndex differs",
        input);
  Check(velimo::DigitsOnly(text) == NaiveDigits(text), "DigitsOnly differs", input);
  // The parsers feed them trimmed tokens.
  const string trimmed = velimo::Trim(text);
  Check(velimo::BaudTextToIndex(trimmed) == NaiveBaudIndex(trimmed), "BaudTextToIndex (trimmed)",
        input);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  velimo::fuzz::InitSlowInputs(argc, argv);
  return 0;
}

namespace {

int RunOne(const uint8_t* data, size_t size) {
  const string_view input(reinterpret_cast<const char*>(data), size);

  // The whole input, as a parser would see a line.
  CheckReplaceAll(input, ",", " ,", input);
  for (const auto& [find, replacement] : std::vector<std::pair<string_view, string_view>>{
           {"AT", ""}, {"aa", "a"}, {"=", "=="}, {"ab", "abab"}, {string_view("\0", 1), "0"}}) {
    CheckReplaceAll(input, find, replacement, input);
  }
  CheckTokens(input, input);
  CheckPositions(input, data, size, input);
  CheckSelectors(input, input);

  // "source \x1f find \x1f replacement": a ReplaceAll case of the input's
  // own choosing.
  const size_t s1 = input.find('\x1f');
  if (s1 != string_view::npos) {
    const string_view source = input.substr(0, s1);
    string_view find = input.substr(s1 + 1);
    string_view replacement;
    const size_t s2 = find.find('\x1f');
    if (s2 != string_view::npos) {
      replacement = find.substr(s2 + 1);
      find = find.substr(0, s2);
    }
    CheckReplaceAll(source, find, replacement, input);
    CheckTokens(source, input);
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velimo::fuzz::TimedRun(data, size, RunOne);
}
