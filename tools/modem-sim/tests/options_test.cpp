#include "options.h"

#include <gtest/gtest.h>

namespace velimo::sim::test {
namespace {

TEST(Options, AcceptsEveryOptionInBothSpellings) {
  auto parsed =
      ParseOptions({"--model", "i", "--link=/tmp/x", "--state", "/tmp/s", "--firmware=japan",
                    "--silent", "--delay", "250", "--chunk=3", "--chunk-pause", "7",
                    "--vanish-after", "4", "--foreign", "s", "--verbose"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const Options& o = *parsed.options;
  EXPECT_EQ(o.model, Family::kIoTavi);
  EXPECT_EQ(o.behaves_as, Family::kSTavi);
  EXPECT_EQ(o.link, "/tmp/x");
  EXPECT_EQ(o.state_file, "/tmp/s");
  EXPECT_EQ(o.firmware, Firmware::kJapan);
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.delay_ms, 250);
  EXPECT_EQ(o.chunk, 3);
  EXPECT_EQ(o.chunk_pause_ms, 7);
  EXPECT_EQ(o.vanish_after, 4);
  EXPECT_TRUE(o.verbose);
}

TEST(Options, DefaultsFollowTheModel) {
  auto parsed = ParseOptions({"--model", "u"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->link, "./ttyVelimo-u");
  EXPECT_EQ(parsed.options->behaves_as, Family::kUTavi);
  EXPECT_EQ(parsed.options->firmware, Firmware::k1_3);
  EXPECT_EQ(parsed.options->vanish_after, 0);
  EXPECT_FALSE(parsed.options->silent);
}

TEST(Options, UsageErrorsNameTheProblem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "--model is required"},
      {{"--model", "x"}, "--model"},
      {{"--model"}, "--model"},
      {{"--model", "s", "--firmware", "2.0"}, "--firmware"},
      {{"--model", "s", "--delay", "-1"}, "--delay"},
      {{"--model", "s", "--chunk", "0"}, "--chunk"},
      {{"--model", "s", "--vanish-after", "x"}, "--vanish-after"},
      {{"--model", "s", "--link"}, "--link"},
      {{"--model", "s", "--silent=yes"}, "--silent"},
      {{"--model", "s", "--bogus"}, "--bogus"},
  };
  for (const auto& [args, part] : cases) {
    auto parsed = ParseOptions(args);
    EXPECT_FALSE(parsed.options) << part;
    EXPECT_NE(parsed.error.find(part), std::string::npos) << parsed.error;
  }
  auto help = ParseOptions({"--help"});
  ASSERT_TRUE(help.options);
  EXPECT_TRUE(help.options->help);
  EXPECT_NE(UsageText().find("--vanish-after"), std::string::npos);
}

}  // namespace
}  // namespace velimo::sim::test

namespace velimo::sim::test {
namespace {

TEST(Options, IgnoredSettingsAndRateWatch) {
  auto parsed = ParseOptions({"--model", "i", "--ignore", "ch,485+BAU,AESIV,PID2", "--rate-watch"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->ignored,
            (std::set<std::string>{"AT+CH=", "AT+485+BAU=", "IV", "AT+PID="}));
  EXPECT_TRUE(parsed.options->rate_watch);
  EXPECT_FALSE(ParseOptions({"--model", "i", "--ignore", "CH,"}).options);
  EXPECT_FALSE(ParseOptions({"--model", "i", "--ignore", "C H"}).options);
}

}  // namespace
}  // namespace velimo::sim::test
