#include "util/text_helpers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace velimo {
namespace {

using namespace std::string_literals;

// Straightforward left-to-right replacement, the yardstick for the
// skip-table search.
std::string NaiveReplaceAll(const std::string& s, const std::string& f, const std::string& r) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s.compare(i, f.size(), f) == 0 && i + f.size() <= s.size()) {
      out += r;
      i += f.size();
    } else {
      out += s[i++];
    }
  }
  return out;
}

struct ReplaceCase {
  std::string source, find, replacement, expected;
};

TEST(ReplaceAll, Table) {
  const std::vector<ReplaceCase> cases = {
      {"1,2,,3", ",", " ,", "1 ,2 , ,3"},
      {"", ",", " ,", ""},
      {"no comma", ",", " ,", "no comma"},
      {",", ",", " ,", " ,"},
      {",,,", ",", " ,", " , , ,"},
      {"aaaa", "aa", "b", "bb"},  // occurrences never overlap
      {"aaa", "aa", "b", "ba"},
      {"abcabc", "abc", "", ""},
      {"xabcx", "abc", "abcabc", "xabcabcx"},  // replaced text is not scanned again
      {"ab", "abc", "z", "ab"},                // find longer than source
      {"AbC", "abc", "z", "AbC"},              // case-sensitive
      {"a\0b\0c"s, "\0"s, "--", "a--b--c"},    // NUL is an ordinary byte here
      {"xyzzy", "zy", "!", "xyz!"},
      {"\xff\xfe\xff", "\xff", "#", "#\xfe#"},  // bytes above 127 index the table safely
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceAll(c.source, c.find, c.replacement), c.expected)
        << "source '" << c.source << "' find '" << c.find << "'";
  }
}

TEST(ReplaceAll, EmptyFindLeavesSourceUnchanged) {
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
}

TEST(ReplaceAll, MatchesNaiveReplacementOnRandomTexts) {
  // Small alphabets make partial matches and skip-table jumps frequent.
  std::mt19937 rng(12345);
  auto randomText = [&](size_t maxLen, const std::string& alphabet) {
    std::string s(rng() % (maxLen + 1), ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int i = 0; i < 5000; ++i) {
    const std::string alphabet = i % 2 ? "ab" : "abc,\xff";
    const std::string source = randomText(40, alphabet);
    std::string find = randomText(4, alphabet);
    if (find.empty()) find = "a";
    const std::string repl = randomText(6, alphabet);
    ASSERT_EQ(ReplaceAll(source, find, repl), NaiveReplaceAll(source, find, repl))
        << "source '" << source << "' find '" << find << "' repl '" << repl << "'";
  }
}

TEST(ReplaceAll, ResultsThatFillTheUpFrontSizeExactly) {
  // The result is sized as source x replacement / find, the most it can
  // need; these fill it to the last byte.
  const std::string source(1000, ',');
  const std::string out = ReplaceAll(source, ",", std::string(11, 'x'));
  EXPECT_EQ(out, std::string(11000, 'x'));
  EXPECT_EQ(ReplaceAll("abcabcab", "abc", "1234"), "12341234ab");
  // A long text with a sparse find text, as a long answer line would be.
  std::string longLine(1 << 20, 'v');
  longLine[0] = longLine[500000] = longLine.back() = ',';
  const std::string spaced = ReplaceAll(longLine, ",", " ,");
  EXPECT_EQ(spaced.size(), longLine.size() + 3);
  EXPECT_EQ(spaced.substr(0, 3), " ,v");
  EXPECT_EQ(spaced.substr(spaced.size() - 3), "v ,");
}

struct SplitCase {
  std::string text;
  std::vector<std::string> tokens;
};

TEST(SplitTokens, Table) {
  using V = std::vector<std::string>;
  const std::vector<SplitCase> cases = {
      {"A = 1 ,B=2", V{"A", "1", ",B", "2"}},
      {"A = 1 , B=2", V{"A", "1", ",", "B", "2"}},
      {"a==b", V{"a", "", "b"}},
      {"a=", V{"a", ""}},
      {"a = ", V{"a"}},  // the "=" is not the text's last character
      {"=a", V{"", "a"}},
      {"=", V{"", ""}},
      {"   ", V{}},
      {"", V{}},
      {"OK\r\n", V{"OK"}},  // a line end separates like a blank
      {"\t a \x01 b\x1f", V{"a", "b"}},
      {"CH = 5\n", V{"CH", "5"}},
      {"a\0b c"s, V{"a"}},  // the text ends at a NUL
      {"a=\0b"s, V{"a", ""}},
      {"\0abc"s, V{}},
      {"\"a b\" c", V{"a b", "c"}},
      {"\"say \"\"hi\"\"\"=x", V{"say \"hi\"", "x"}},
      {"\"\"", V{""}},
      {"\"open ended", V{"open ended"}},  // unclosed quote runs to the end
      {"\"", V{""}},
      {"\"a\"b", V{"a", "b"}},
      {"x\"y", V{"x\"y"}},  // a quote inside a plain token is a plain byte
      {"\xe9t\xe9=\xff", V{"\xe9t\xe9", "\xff"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitTokens(c.text), c.tokens) << "text '" << c.text << "'";
  }
}

TEST(SplitTokens, AfterCommaSpacingAsTheParsersUseIt) {
  EXPECT_EQ(SplitTokens(ReplaceAll("SF=7,CH=5,BW=125\r\n", ",", " ,")),
            (std::vector<std::string>{"SF", "7", ",CH", "5", ",BW", "125"}));
}

TEST(BaudTextToIndex, Table) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"600", 0},     {"1200", 1},      {"2400", 2},  {"3600", 3},  {"4800", 4},     {"7200", 5},
      {"9600", 6},    {"19200", 7},     {"38400", 8}, {"57600", 9}, {"115200", 10},  {"230400", 11},
      {"460800", 12}, {"921600", 13},   {"9600 ", 6}, {"", 6},      {"Custom", 6},   {" 1200", 6},
      {"14400", 6},   {"921600\0"s, 6}, {"600x", 6},  {"060", 6},   {"115200\r", 6},
  };
  for (const auto& [text, index] : cases) EXPECT_EQ(BaudTextToIndex(text), index) << text;
}

TEST(ParityTextToIndex, Table) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"None", 0}, {"Odd", 1}, {"Even", 2},  {"even", 0},   {"ODD", 0},
      {"Mark", 0}, {"", 0},    {"Even ", 0}, {"Odd\0"s, 0},
  };
  for (const auto& [text, index] : cases) EXPECT_EQ(ParityTextToIndex(text), index) << text;
}

TEST(DigitsOnly, Table) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"2,550 ms", "2550"},
      {"no digits", ""},
      {"", ""},
      {"-12.5", "125"},
      {"0\0"
       "9"s,
       "09"},
      {"\xb2\xb3"
       "1",
       "1"},  // superscripts are not digits
  };
  for (const auto& [text, digits] : cases) EXPECT_EQ(DigitsOnly(text), digits) << text;
}

}  // namespace
}  // namespace velimo
