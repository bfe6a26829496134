#include "trace/trace_pane.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A view that applies the changes as the Qt view does: by lines (as the
// command-line copy and the tests do) and by text rows (as the widget
// does, one block per row).
struct MirrorView {
  std::vector<std::string> lines;
  std::vector<std::string> rows;

  static std::vector<std::string> RowsOf(const std::string& line) {
    std::vector<std::string> out;
    const std::string text = TracePane::DisplayText(line);
    size_t start = 0;
    for (;;) {
      const size_t nl = text.find('\n', start);
      out.push_back(text.substr(start, nl == std::string::npos ? nl : nl - start));
      if (nl == std::string::npos) return out;
      start = nl + 1;
    }
  }
  void Take(TracePane& pane) {
    const PaneChanges c = pane.TakeChanges();
    if (c.cleared) {
      lines.clear();
      rows.clear();
    }
    ASSERT_LE(c.dropped, lines.size());
    ASSERT_LE(c.dropped_rows, rows.size());
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(c.dropped));
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(c.dropped_rows));
    ASSERT_LE(c.first + c.count, pane.Lines().size());
    for (size_t i = c.first; i < c.first + c.count; ++i) {
      lines.push_back(pane.Lines()[i]);
      for (std::string& r : RowsOf(pane.Lines()[i])) rows.push_back(std::move(r));
    }
  }
  std::vector<std::string> RowsOfPane(const TracePane& pane) const {
    std::vector<std::string> all;
    for (const std::string& l : pane.Lines())
      for (std::string& r : RowsOf(l)) all.push_back(std::move(r));
    return all;
  }
};

TEST(TracePaneBound, DroppedLinesReachAViewTakingChangesAtAnyPace) {
  // Lines of one to three rows, some wrapping; drops and clears at odd
  // moments; the view takes the changes every `pace` steps (0: inside the
  // observer, at once).
  for (size_t width : {size_t{0}, size_t{7}}) {
    for (int pace : {0, 1, 2, 5, 13, 1000}) {
      SCOPED_TRACE("width " + std::to_string(width) + ", pace " + std::to_string(pace));
      TracePane pane;
      pane.SetWidth(width);
      MirrorView view;
      if (pace == 0) pane.SetObserver([&] { view.Take(pane); });
      for (int step = 1; step <= 400; ++step) {
        std::string line = "line " + std::to_string(step);
        if (step % 3 == 0) line += "\r\nsecond row";
        if (step % 7 == 0) line += "\rthird row, long enough to wrap";
        pane.Add(line + "\r\n");
        if (step % 11 == 0) pane.DropOldestTo(static_cast<size_t>(step % 40));
        if (step % 97 == 0) pane.Clear();
        if (pace > 0 && step % pace == 0) view.Take(pane);
        if (pace > 0 && step % pace == 0) {
          ASSERT_EQ(view.lines, pane.Lines()) << "step " << step;
          ASSERT_EQ(view.rows, view.RowsOfPane(pane)) << "step " << step;
        }
      }
      view.Take(pane);
      EXPECT_EQ(view.lines, pane.Lines());
      EXPECT_EQ(view.rows, view.RowsOfPane(pane));
    }
  }
}

TEST(TracePaneBound, DropsTheOldestDownToTheCountAndKeepsTheNewest) {
  TracePane pane;
  pane.SetWidth(10);
  for (int i = 0; i < 10; ++i) pane.Add(std::string(25, static_cast<char>('a' + i)));  // 3 each
  ASSERT_EQ(pane.DisplayedLineCount(), 30u);
  EXPECT_EQ(pane.DropOldestTo(30), 0u);
  EXPECT_EQ(pane.DropOldestTo(20), 4u);  // 18 displayed lines left
  EXPECT_EQ(pane.DisplayedLineCount(), 18u);
  EXPECT_EQ(pane.Lines().front(), std::string(25, 'e'));
  // A single line longer than the bound stays: the newest is never dropped.
  pane.Add(std::string(1000, 'z'));
  EXPECT_EQ(pane.DropOldestTo(5), 6u);
  ASSERT_EQ(pane.LineCount(), 1u);
  EXPECT_EQ(pane.DisplayedLineCount(), 100u);
}

}  // namespace
}  // namespace velimo::trace
