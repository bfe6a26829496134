#include "gui/trace_view.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>

#include "gui/latin1.h"
#include "trace/trace_pane.h"

namespace velimo::gui {

TraceView::TraceView(trace::TracePane& pane, QWidget* parent)
    : QPlainTextEdit(parent), pane_(pane) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setFrameShape(QFrame::NoFrame);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // The pane model counts a wrapped line as ceil(length / width) lines, so
  // the view breaks lines at any character, not at word boundaries.
  setWordWrapMode(QTextOption::WrapAnywhere);
  QFont f(QStringLiteral("Courier New"));
  f.setStyleHint(QFont::TypeWriter);
  f.setPixelSize(13);
  setFont(f);
  QPalette p = palette();
  p.setColor(QPalette::Base, Qt::black);
  p.setColor(QPalette::Text, Qt::white);
  setPalette(p);
  setAccessibleName(QStringLiteral("Trace"));

  batch_.setSingleShot(true);
  batch_.setInterval(kBatchMs);
  connect(&batch_, &QTimer::timeout, this, &TraceView::Flush);
  pane_.SetObserver([this] {
    if (!batch_.isActive()) batch_.start();
  });
  // Lines written before the view existed ("Start Velimo...").
  Flush();
}

TraceView::~TraceView() {
  pane_.SetObserver(nullptr);
}

void TraceView::Flush() {
  batch_.stop();
  const trace::PaneChanges changes = pane_.TakeChanges();
  if (changes.cleared) clear();
  if (changes.dropped_rows > 0) {
    // The pane let its oldest lines go (received lines alone are bounded);
    // their rows go from the top here too.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    const int rows = static_cast<int>(changes.dropped_rows);
    if (rows >= document()->blockCount() ||
        !cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, rows)) {
      cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
  }
  if (changes.count == 0) return;
  const auto& lines = pane_.Lines();
  QString text;
  for (size_t i = changes.first; i < changes.first + changes.count && i < lines.size(); ++i) {
    if (i != changes.first) text += QLatin1Char('\n');
    text += ToQt(trace::TracePane::DisplayText(lines[i]));
  }
  QScrollBar* bar = verticalScrollBar();
  const bool at_end = bar->value() == bar->maximum();
  appendPlainText(text);
  if (at_end) bar->setValue(bar->maximum());
  ++batches_;
}

void TraceView::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  TellWidth();
}

void TraceView::TellWidth() {
  TellCharacters(viewport()->width());
}

void TraceView::AssumeWidth(int pixels) {
  const int scroll_bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  TellCharacters(pixels - 2 * frameWidth() - scroll_bar);
}

void TraceView::TellCharacters(int viewportPixels) {
  const int advance = QFontMetrics(font()).horizontalAdvance(QLatin1Char('M'));
  const int margin = static_cast<int>(document()->documentMargin() * 2);
  const int usable = viewportPixels - margin;
  if (advance > 0 && usable > 0) pane_.SetWidth(static_cast<size_t>(usable / advance));
}

}  // namespace velimo::gui
