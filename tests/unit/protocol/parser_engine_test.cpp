#include "protocol/parser_engine.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "support/test_platform.h"
#include "util/errors.h"
#include "util/positions.h"
#include "util/text_helpers.h"

namespace velimo::protocol {
namespace {

TEST(AnswerTokens, CountsCommasAndRaisesOnAMissingIndex) {
  WorkingLine line("STX Length = 2, STX1 = 0x02, STX2 = 0x03, STX3 = 0x00\r\n");
  AnswerTokens t = line.CommaSpacedTokens();
  EXPECT_EQ(line.Text(), "STX Length = 2 , STX1 = 0x02 , STX2 = 0x03 , STX3 = 0x00\r\n");
  ASSERT_EQ(t.Count(), 12);
  EXPECT_EQ(t[2], "2");
  EXPECT_EQ(t[3], ",");
  EXPECT_EQ(t[5], "0x02");
  EXPECT_EQ(t[11], "0x00");
  EXPECT_THROW(t[12], ERangeError);
  EXPECT_THROW(t[-1], ERangeError);
  // Splitting again keeps the tokens: the extra blank is a separator.
  EXPECT_EQ(line.CommaSpacedTokens().Count(), 12);
}

TEST(AnswerTokens, AreTheTokensOfSplitTokens) {
  for (std::string_view line :
       {"", "   ", "a", "A = 1 ,B=2", "a==b", "a=", "=a", "= =", "x\t=\ty\r\n", "a\0b c",
        "\"q \"\"x\"\" \" = 5", "\"open", "k = \"\"", "1 ,2 , ,3",
        "one two three four five six seven eight nine ten eleven twelve thirteen fourteen "
        "fifteen sixteen seventeen eighteen nineteen twenty 21 22 23 24 25 26 27 28"}) {
    SCOPED_TRACE(std::string(line));
    const std::vector<std::string> expected = SplitTokens(line);
    const AnswerTokens tokens(line);
    ASSERT_EQ(tokens.Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < tokens.Count(); ++i) EXPECT_EQ(tokens[i], expected[static_cast<size_t>(i)]);
  }
}

TEST(AnswerTokens, CommaSpacingIsReplaceAllOfTheCommas) {
  for (std::string_view line : {"", ",", "1,2,,3", "a , b", ",,,", "no comma\r\n",
                                "Baudrate = 9600, Parity Bit = None, Data Bit = 8\r\n", "x,\0,y"}) {
    SCOPED_TRACE(std::string(line));
    EXPECT_EQ(CommaSpaced(line), ReplaceAll(line, ",", " ,"));
  }
  EXPECT_EQ(CommaSpaced("1,2,,3"), "1 ,2 , ,3");
}

// A tiny parser family to exercise the table runner.
struct Family {
  std::vector<std::string> log;
  void Ack(WorkingLine& l) { log.push_back("ack:" + std::string(l.Text())); }
  void Reject(WorkingLine&) { log.push_back("reject"); }
  void Contains(WorkingLine&) { log.push_back("contains"); }
  void Tokens(WorkingLine& l) {
    AnswerTokens t = l.CommaSpacedTokens();
    log.push_back("first:" + std::string(t[1]));
    log.push_back("int:" + std::to_string(StrToInt(t[3])));
  }
  void AfterComma(WorkingLine& l) { log.push_back("after:" + std::string(l.Text())); }
};

constexpr std::array<KeywordRow<Family>, 5> kRows = {{
    {1, "OK", false, &Family::Ack},
    {1, "Invalid", true, &Family::Reject},
    {kAnywhere, "Invalid", false, &Family::Contains},
    {1, "Val", false, &Family::Tokens},
    {3, "l ,", false, &Family::AfterComma},  // only matches once comma-spaced
}};

TEST(KeywordTable, EveryMatchingRowActsInOrderUntilAStopRowOrAnError) {
  struct Case {
    const char* line;
    std::vector<std::string> log;
    bool device_choice_message;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, false},
      {"OK\n", {"ack:OK\n"}, false},
      {"Invalid OK\n", {"reject"}, false},
      {"OK Invalid\n", {"ack:OK Invalid\n", "contains"}, false},
      {"Val, x 42\n", {"first:,", "int:42", "after:Val , x 42\n"}, false},
      {"Val,x\n", {"first:,x"}, true},    // token 3 missing
      {"Val, x y\n", {"first:,"}, true},  // not an integer
      {"Val\n", {}, true},                // token 1 missing
      {"Va", {}, false},                  // too short for the keyword
      {"val, x 1\n", {}, false},          // case-sensitive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    test::TestPlatform platform;
    Family f;
    RunKeywordTable<Family>(f, kRows, c.line, platform, "Check your Device Choice.");
    EXPECT_EQ(f.log, c.log);
    EXPECT_EQ(platform.Messages(), c.device_choice_message
                                       ? std::vector<std::string>{"Check your Device Choice."}
                                       : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace velimo::protocol
