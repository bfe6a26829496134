// The trace pane widget under a flood of received lines: it lets the same
// oldest lines go as the pane model, row by row, whenever it draws.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "gui/latin1.h"
#include "gui/trace_view.h"
#include "support/test_platform.h"
#include "trace/trace_log.h"
#include "trace/trace_pane.h"

namespace velimo::gui {
namespace {

// What the widget should show: the model's lines as display text, one
// after the other.
QString ModelText(const trace::TracePane& pane) {
  QStringList rows;
  for (const std::string& line : pane.Lines()) rows << ToQt(trace::TracePane::DisplayText(line));
  return rows.join(QLatin1Char('\n'));
}

TEST(TraceViewBound, TheWidgetDropsWhatThePaneDropsAtAnyDrawingPace) {
  // Drawn after every line, every few lines, once per thousand and more.
  for (int pace : {1, 7, 999, 4000}) {
    SCOPED_TRACE("drawn every " + std::to_string(pace) + " lines");
    test::TestPlatform platform;
    trace::TraceLog log(platform);
    TraceView view(log.Pane());
    view.resize(600, 128);
    log.LogWriteStr("Start Velimo...");
    view.Flush();
    for (int i = 1; i <= 23000; ++i) {
      std::string line = "Source ID = " + std::to_string(i);
      if (i % 5 == 0) line += "\r\nOK. second row";  // a line of two rows
      log.AddReceivedLine(line + "\r\n");
      if (i % pace == 0) view.Flush();
      if (i % 9000 == 0) {
        view.Flush();
        ASSERT_EQ(view.toPlainText(), ModelText(log.Pane())) << "after line " << i;
      }
    }
    view.Flush();
    EXPECT_LE(log.Pane().DisplayedLineCount(), trace::TraceLog::kMaxReceivedPaneLines);
    EXPECT_LE(view.document()->blockCount(),
              static_cast<int>(trace::TraceLog::kMaxReceivedPaneLines));
    EXPECT_EQ(view.toPlainText(), ModelText(log.Pane()));
    // A trace line after all that still empties the pane and the widget.
    log.LogWriteStr("Send Current Status Read Command to ... ");
    view.Flush();
    EXPECT_EQ(view.toPlainText(), ModelText(log.Pane()));
    EXPECT_EQ(view.document()->blockCount(), 1);
  }
}

}  // namespace
}  // namespace velimo::gui
