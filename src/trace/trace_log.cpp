#include "trace/trace_log.h"

#include <sys/stat.h>

#include <cstdio>

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

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

  // A failure to create the directory shows up as the append's error.
  const std::string dir = LogDir();
  if (!IsDirectory(dir)) ::mkdir(dir.c_str(), 0777);

  // The date is read anew, after the stamp: a line stamped 23:59:59 can go
  // into the next day's file.
  AppendLineToFile(LogFilePath(platform_.Now()), line);
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
