#include "trace/trace_log.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "util/errors.h"
#include "util/file_append.h"

namespace velimo::trace {

namespace {

// Two digits, or more for a number that does not fit (never for a real
// clock, but a bad value must not overrun anything).
std::string Digits(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

}  // namespace

TraceLog::TraceLog(Platform& platform, std::string baseDir)
    : platform_(platform), base_dir_(std::move(baseDir)) {}

void TraceLog::SetBaseDir(std::string baseDir) {
  base_dir_ = std::move(baseDir);
}

std::string TraceLog::LogDir() const {
  return base_dir_ + "/Log";
}

std::string TraceLog::LogFilePath(const LocalDateTime& date) const {
  return LogDir() + "/Velimo_" + Digits(date.year, 4) + Digits(date.month, 2) +
         Digits(date.day, 2) + ".log";
}

std::string TraceLog::Stamp(const LocalDateTime& time) {
  std::string stamp = "[";
  stamp.append(Digits(time.hour, 2)).append(":").append(Digits(time.minute, 2)).append(":");
  stamp.append(Digits(time.second, 2)).append("]  ");
  return stamp;
}

void TraceLog::LogWriteStr(std::string_view message) {
  // The pane is not trimmed line by line: past the limit it starts afresh.
  if (pane_.DisplayedLineCount() > kMaxPaneLines) pane_.Clear();

  std::string line = Stamp(platform_.Now());
  line.append(message);
  pane_.Add(line);

  if (!save_log_file_) return;

  // The date is read anew, after the stamp: a line stamped 23:59:59 can go
  // into the next day's file.
  const std::string path = LogFilePath(platform_.Now());
  // The folder is made when the append finds it missing, so a line into an
  // existing folder (every line but the first) costs no look-up of its own.
  // A failure to create it shows up as the second append's error.
  try {
    AppendLineToFile(path, line);
  } catch (const EInOutError& e) {
    if (e.ErrorCode() != ENOENT) throw;
    ::mkdir(LogDir().c_str(), 0777);
    AppendLineToFile(path, line);
  }
}

void TraceLog::AddReceivedLine(std::string_view line) {
  // Room is made first, so the pane never holds more than the bound (a
  // single line longer than that aside).
  const size_t adding = TracePane::DisplayedLines(line, pane_.Width());
  if (pane_.DisplayedLineCount() + adding > kMaxReceivedPaneLines) {
    pane_.DropOldestTo(kReceivedPaneKeep);
  }
  pane_.Add(line);
}

}  // namespace velimo::trace
