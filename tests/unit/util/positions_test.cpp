#include "util/positions.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "util/errors.h"

namespace velimo {
namespace {

using namespace std::string_literals;

TEST(CopyAt, Table) {
  struct Case {
    std::string text;
    int p, n;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"Version 1.2", 9, 3, "1.2"},
      {"Version 1.2", 9, 10, "1.2"},  // fewer at the end
      {"abc", 4, 1, ""},
      {"abc", 100, 5, ""},  // past the end
      {"abc", 1, 0, ""},
      {"abc", 2, -1, ""},
      {"abc", 0, 2, "ab"},
      {"abc", -5, 1, "a"},  // before the start counts as 1
      {"abc", 3, INT_MAX, "c"},
      {"", 1, 1, ""},
      {"a\0c"s, 2, 2, "\0c"s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CopyAt(c.text, c.p, c.n), c.expected) << c.text << " " << c.p << " " << c.n;
  }
}

TEST(RestFrom, Table) {
  EXPECT_EQ(RestFrom("AT+CH=5", 7), "5");
  EXPECT_EQ(RestFrom("AT+CH=5", 8), "");
  EXPECT_EQ(RestFrom("AT+CH=5", INT_MAX), "");
  EXPECT_EQ(RestFrom("abc", 1), "abc");
  EXPECT_EQ(RestFrom("abc", 0), "abc");
}

TEST(BeginsWithAt, Table) {
  struct Case {
    std::string text, keyword;
    int p;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"OK. CH=5", "OK.", 1, true}, {"OK. CH=5", "CH=", 5, true}, {"OK. CH=5", "CH=", 4, false},
      {"OK", "OK.", 1, false},  // too short to hold it
      {"OK.", "OK.", 1, true},      {"abc", "c", 3, true},        {"abc", "c", 4, false},
      {"abc", "", 4, true},         {"abc", "a", 0, false},       {"abc", "a", INT_MAX, false},
      {"ok.", "OK.", 1, false},  // case-sensitive
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BeginsWithAt(c.text, c.keyword, c.p), c.expected)
        << c.text << " / " << c.keyword << " @" << c.p;
  }
}

TEST(Contains, FindsAnywhere) {
  EXPECT_TRUE(Contains("ERROR Invalid command", "Invalid"));
  EXPECT_FALSE(Contains("ERROR", "Invalid"));
  EXPECT_TRUE(Contains("x\0Invalid"s, "Invalid"));
}

TEST(Trim, RemovesCodesZeroToThirtyTwoAtBothEnds) {
  EXPECT_EQ(Trim(" \t\r\n 12 3\r\n"), "12 3");
  EXPECT_EQ(Trim("\0\x01 x \x1f\0"s), "x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // bytes above 127 are characters
}

TEST(StrToInt, Accepted) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"0", 0},       {"42", 42}, {" 42\r\n", 42},         {"+7", 7},
      {"-7", -7},     {"007", 7}, {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      {"\t-0\0"s, 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(StrToInt(text), value) << text;
}

TEST(StrToInt, RejectedWithTheConversionMessage) {
  const std::vector<std::string> cases = {
      "",
      "   ",
      "abc",
      "1.5",
      "12a",
      "+",
      "-",
      "--1",
      "1 2",
      "0x10",
      "$10",
      "2147483648",
      "-2147483649",
      "99999999999999999999",
      "1\0"
      "2"s,
  };
  for (const auto& text : cases) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      // The message carries the text as given (what() stops at a NUL in it).
      const std::string expected = "'" + text + "' is not a valid integer value";
      EXPECT_STREQ(e.what(), expected.c_str());
    }
  }
}

}  // namespace
}  // namespace velimo
