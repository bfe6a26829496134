#include "trace/trace_pane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velimo::trace {
namespace {

using namespace std::string_literals;

struct DisplayCase {
  std::string line;
  size_t width;
  size_t lines;
  std::string text;
};

TEST(TracePaneDisplay, LinesAsDisplayed) {
  const std::vector<DisplayCase> cases = {
      {"", 0, 1, ""},
      {"", 10, 1, ""},
      {"OK\r\n", 0, 1, "OK"},  // the modem's own line end is no extra line
      {"OK\n", 10, 1, "OK"},
      {"\r\n", 10, 1, ""},
      {"[10:00:00]  Send AT Command : AT+CH=5\r\0\0\0\0"s, 0, 1,
       "[10:00:00]  Send AT Command : AT+CH=5"},
      {"abc\0def\nghi"s, 0, 1, "abc"},  // nothing after the first NUL shows
      {"\0\n\n"s, 0, 1, ""},
      {"a\r\nb", 0, 2, "a\nb"},
      {"a\rb\nc", 0, 3, "a\nb\nc"},
      {"a\n\nb\r\n", 0, 3, "a\n\nb"},
      {"0123456789", 10, 1, "0123456789"},  // exactly the width: no wrap
      {"0123456789x", 10, 2, "0123456789x"},
      {std::string(25, 'x'), 10, 3, std::string(25, 'x')},
      {std::string(25, 'x') + "\n" + std::string(5, 'y'), 10, 4,
       std::string(25, 'x') + "\n" + std::string(5, 'y')},
      {std::string(25, 'x'), 1, 25, std::string(25, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TracePane::DisplayedLines(c.line, c.width), c.lines)
        << "'" << c.line << "' at width " << c.width;
    EXPECT_EQ(TracePane::DisplayText(c.line), c.text) << "'" << c.line << "'";
  }
}

TEST(TracePane, KeepsLinesByteForByteAndCountsThem) {
  TracePane pane;
  pane.Add("a\r\0\0"s);
  pane.Add("b\nc\n");
  EXPECT_EQ(pane.Lines(), (std::vector<std::string>{"a\r\0\0"s, "b\nc\n"}));
  EXPECT_EQ(pane.LineCount(), 2u);
  EXPECT_EQ(pane.DisplayedLineCount(), 3u);
  pane.Clear();
  EXPECT_EQ(pane.LineCount(), 0u);
  EXPECT_EQ(pane.DisplayedLineCount(), 0u);
}

TEST(TracePane, WidthChangeRecountsEveryLine) {
  TracePane pane;
  pane.Add(std::string(30, 'x'));
  pane.Add("short");
  EXPECT_EQ(pane.DisplayedLineCount(), 2u);
  pane.SetWidth(10);
  EXPECT_EQ(pane.DisplayedLineCount(), 4u);
  pane.Add(std::string(11, 'y'));
  EXPECT_EQ(pane.DisplayedLineCount(), 6u);
  pane.SetWidth(0);
  EXPECT_EQ(pane.DisplayedLineCount(), 3u);
}

TEST(TracePane, ObserverWakesOncePerBatch) {
  TracePane pane;
  int wakes = 0;
  pane.SetObserver([&] { ++wakes; });
  pane.Add("a");
  pane.Add("b");
  EXPECT_EQ(wakes, 1);
  PaneChanges c = pane.TakeChanges();
  EXPECT_FALSE(c.cleared);
  EXPECT_EQ(c.first, 0u);
  EXPECT_EQ(c.count, 2u);

  pane.Add("c");
  pane.Clear();
  pane.Add("d");
  pane.Add("e");
  EXPECT_EQ(wakes, 2);
  c = pane.TakeChanges();
  EXPECT_TRUE(c.cleared);
  EXPECT_EQ(c.first, 0u);
  EXPECT_EQ(c.count, 2u);

  EXPECT_TRUE(pane.TakeChanges().Empty());
  pane.Add("f");
  c = pane.TakeChanges();
  EXPECT_FALSE(c.cleared);
  EXPECT_EQ(c.first, 2u);
  EXPECT_EQ(c.count, 1u);
  EXPECT_EQ(wakes, 3);
}

TEST(TracePane, ViewTakingChangesInsideTheObserverSeesEachChange) {
  // A view that renders synchronously mirrors the pane exactly.
  TracePane pane;
  std::vector<std::string> view;
  pane.SetObserver([&] {
    const PaneChanges c = pane.TakeChanges();
    if (c.cleared) view.clear();
    for (size_t i = c.first; i < c.first + c.count; ++i) view.push_back(pane.Lines()[i]);
  });
  pane.Add("a");
  pane.Add("b");
  pane.Clear();
  pane.Add("c");
  EXPECT_EQ(view, pane.Lines());
  EXPECT_EQ(view, std::vector<std::string>{"c"});
}

}  // namespace
}  // namespace velimo::trace
