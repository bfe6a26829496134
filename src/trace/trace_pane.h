// The trace pane's contents: the lines the operator sees along the bottom
// of the main window. The model keeps the lines as given (byte strings) and
// counts them as the pane displays them; the Qt view draws them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::trace {

// What happened to the pane since the view last took the changes: when
// `cleared`, the view empties itself first; otherwise it removes its
// `dropped` oldest lines (`dropped_rows` text rows of it, one per line and
// one more per line break in the line's DisplayText). Then it appends the
// lines Lines()[first .. first + count - 1].
struct PaneChanges {
  bool cleared = false;
  size_t first = 0;
  size_t count = 0;
  size_t dropped = 0;
  size_t dropped_rows = 0;
  bool Empty() const { return !cleared && count == 0 && dropped == 0; }
};

class TracePane {
 public:
  // Adds one line, kept byte for byte as given.
  void Add(std::string_view line);
  // The same, for a caller that has already counted the line's
  // DisplayedLines at the pane's width.
  void Add(std::string_view line, size_t displayedLines);
  // Removes every line.
  void Clear();
  // Removes the oldest lines until at most `displayed` lines are displayed,
  // keeping the newest line whatever it takes. Returns how many went.
  size_t DropOldestTo(size_t displayed);

  const std::vector<std::string>& Lines() const { return lines_; }
  size_t LineCount() const { return lines_.size(); }

  // The pane's width in characters, set by the view when it is resized;
  // 0 (the start) means lines do not wrap.
  void SetWidth(size_t chars);
  size_t Width() const { return width_; }

  // The lines as the pane displays them, wrapped parts included.
  size_t DisplayedLineCount() const { return displayed_; }

  // What the pane shows of a line: the bytes before its first NUL, without
  // the line's own end (trailing CR and LF bytes), with every remaining
  // CR LF, lone CR or lone LF turned into one "\n" line break. The view
  // shows exactly this text, wrapping it at any character.
  static std::string DisplayText(std::string_view line);
  // How many display lines a line takes at a width (0: no wrapping): each
  // of its display-text rows takes ceil(length / width) lines, at least one.
  static size_t DisplayedLines(std::string_view line, size_t width);
  // How many text rows the view makes of a line: one, and one more per line
  // break in its DisplayText.
  static size_t TextRows(std::string_view line);

  // Batching for the view: the observer runs once when changes start to
  // pile up after the last TakeChanges(); the view takes them all at once
  // (at once inside the observer, or later from its event loop).
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }
  PaneChanges TakeChanges();

 private:
  void Changed();

  std::vector<std::string> lines_;
  size_t width_ = 0;
  size_t displayed_ = 0;
  PaneChanges pending_;
  bool view_woken_ = false;
  std::function<void()> observer_;
};

}  // namespace velimo::trace
