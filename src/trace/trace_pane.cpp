#include "trace/trace_pane.h"

#include <algorithm>
#include <cstddef>

namespace velimo::trace {

namespace {

// The bytes the pane shows: up to the first NUL, without the line's end.
std::string_view ShownPart(std::string_view line) {
  const size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = line.substr(0, nul);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

size_t RowLines(size_t length, size_t width) {
  if (width == 0 || length == 0) return 1;
  return (length + width - 1) / width;
}

}  // namespace

std::string TracePane::DisplayText(std::string_view line) {
  const std::string_view shown = ShownPart(line);
  std::string text;
  text.reserve(shown.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    const char c = shown[i];
    if (c == '\r') {
      text += '\n';
      if (i + 1 < shown.size() && shown[i + 1] == '\n') ++i;
    } else {
      text += c;
    }
  }
  return text;
}

size_t TracePane::DisplayedLines(std::string_view line, size_t width) {
  const std::string_view shown = ShownPart(line);
  size_t total = 0;
  size_t row = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    const char c = shown[i];
    if (c == '\r' || c == '\n') {
      total += RowLines(row, width);
      row = 0;
      if (c == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n') ++i;
    } else {
      ++row;
    }
  }
  return total + RowLines(row, width);
}

void TracePane::Add(std::string_view line) {
  Add(line, DisplayedLines(line, width_));
}

void TracePane::Add(std::string_view line, size_t displayedLines) {
  lines_.emplace_back(line);
  displayed_ += displayedLines;
  if (pending_.count == 0) pending_.first = lines_.size() - 1;
  ++pending_.count;
  Changed();
}

void TracePane::Clear() {
  lines_.clear();
  displayed_ = 0;
  pending_ = PaneChanges{true, 0, 0};
  Changed();
}

size_t TracePane::TextRows(std::string_view line) {
  const std::string_view shown = ShownPart(line);
  size_t rows = 1;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '\r' || shown[i] == '\n') {
      ++rows;
      if (shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n') ++i;
    }
  }
  return rows;
}

size_t TracePane::DropOldestTo(size_t displayed) {
  size_t k = 0;
  size_t gone = 0;
  while (displayed_ - gone > displayed && k + 1 < lines_.size()) {
    gone += DisplayedLines(lines_[k], width_);
    ++k;
  }
  if (k == 0) return 0;

  // The view holds the lines before the first pending one (all of them
  // when nothing is pending); after a clear it holds none of these.
  const size_t delivered =
      pending_.cleared ? 0 : (pending_.count > 0 ? pending_.first : lines_.size());
  const size_t seen = std::min(k, delivered);
  for (size_t i = 0; i < seen; ++i) pending_.dropped_rows += TextRows(lines_[i]);
  pending_.dropped += seen;
  if (pending_.count > 0) {
    // Pending lines that go before the view saw them are simply not sent.
    pending_.count -= k - seen;
    pending_.first -= seen;
  }

  // One move of the survivors per batch, not one per dropped line.
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(k));
  displayed_ -= gone;
  Changed();
  return k;
}

void TracePane::SetWidth(size_t chars) {
  if (chars == width_) return;
  width_ = chars;
  displayed_ = 0;
  for (const auto& line : lines_) displayed_ += DisplayedLines(line, width_);
}

PaneChanges TracePane::TakeChanges() {
  PaneChanges taken = pending_;
  pending_ = PaneChanges{};
  view_woken_ = false;
  return taken;
}

void TracePane::Changed() {
  // Only the first change after a take wakes the view; later ones join it.
  if (!observer_ || view_woken_) return;
  view_woken_ = true;
  observer_();
}

}  // namespace velimo::trace
