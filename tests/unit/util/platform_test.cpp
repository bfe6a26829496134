#include "util/platform.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_platform.h"

namespace velimo {
namespace {

TEST(DefaultErrorText, AppendsFullStopAfterLetterOrDigit) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
      {"Code 5", "Code 5."},
      {"Done.", "Done."},
      {"Lost!", "Lost!"},
      {"(x)", "(x)"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(DefaultErrorText(in), out) << in;
}

// The virtual wall clock the trace stamps its lines with.
TEST(TestPlatformClock, WallClockFollowsVirtualTime) {
  test::TestPlatform p;
  p.Advance(1234);
  p.SetWallClock({2023, 12, 31, 23, 59, 58, 500});
  EXPECT_EQ(p.NowMs(), 1234) << "setting the wall clock must not move virtual time";
  p.Pause(1600);
  const LocalDateTime t = p.Now();
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.millisecond, 100);
}

TEST(TestPlatformClock, LeapDayAndReadStep) {
  test::TestPlatform p;
  p.SetWallClock({2024, 2, 28, 23, 59, 59, 999});
  p.now_read_step_ms = 1;
  const LocalDateTime first = p.Now();
  const LocalDateTime second = p.Now();
  EXPECT_EQ(first.day, 28);
  EXPECT_EQ(first.second, 59);
  EXPECT_EQ(second.month, 2);
  EXPECT_EQ(second.day, 29);
  EXPECT_EQ(second.hour, 0);
}

TEST(TestPlatformFocus, RecordsFocusMoves) {
  test::TestPlatform p;
  Platform& seam = p;
  seam.MoveFocus("Edit_S_STX2");
  EXPECT_EQ(p.focus, std::vector<std::string>{"Edit_S_STX2"});
}

}  // namespace
}  // namespace velimo
