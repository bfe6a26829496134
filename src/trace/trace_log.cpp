#include "trace/trace_log.h"

#include <cerrno>
#include <cstdio>

#include "util/errors.h"
#include "util/file_append.h"
#include "util/own_file.h"

namespace velimo::trace {

namespace {

// Appends value with at least width digits, zero-filled; a number that
// does not fit (never from a real clock) is written whole, so a bad value
// cannot overrun anything.
void AppendDigits(std::string& out, int value, int width) {
  char buffer[16];
  int limit = 1;
  for (int i = 0; i < width && i < 9; ++i) limit *= 10;
  if (value >= 0 && width > 0 && width <= 9 && value < limit) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
      buffer[i] = static_cast<char>('0' + value % 10);
    out.append(buffer, static_cast<size_t>(width));
    return;
  }
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  out.append(buffer);
}

}  // namespace

TraceLog::TraceLog(Platform& platform, std::string baseDir)
    : platform_(platform), base_dir_(std::move(baseDir)) {}

void TraceLog::SetBaseDir(std::string baseDir) {
  base_dir_ = std::move(baseDir);
  day_path_.clear();
}

std::string TraceLog::LogDir() const {
  return base_dir_ + "/Log";
}

std::string TraceLog::LogFilePath(const LocalDateTime& date) const {
  std::string path = LogDir();
  path.append("/Velimo_");
  AppendDigits(path, date.year, 4);
  AppendDigits(path, date.month, 2);
  AppendDigits(path, date.day, 2);
  path.append(".log");
  return path;
}

const std::string& TraceLog::DayFilePath(const LocalDateTime& date) {
  if (day_path_.empty() || date.year != day_year_ || date.month != day_month_ ||
      date.day != day_day_) {
    day_path_ = LogFilePath(date);
    day_year_ = date.year;
    day_month_ = date.month;
    day_day_ = date.day;
  }
  return day_path_;
}

std::string TraceLog::Stamp(const LocalDateTime& time) {
  std::string stamp;
  stamp.reserve(16);
  stamp.push_back('[');
  AppendDigits(stamp, time.hour, 2);
  stamp.push_back(':');
  AppendDigits(stamp, time.minute, 2);
  stamp.push_back(':');
  AppendDigits(stamp, time.second, 2);
  stamp.append("]  ");
  return stamp;
}

void TraceLog::LogWriteStr(std::string_view message, TraceSecret secret) {
  // The pane is not trimmed line by line: past the limit it starts afresh.
  if (pane_.DisplayedLineCount() > kMaxPaneLines) pane_.Clear();

  std::string line = Stamp(platform_.Now());
  const size_t stampLength = line.size();
  line.append(message);
  pane_.Add(line);

  if (secret.length > 0 && secret.begin < message.size())
    sent_.Remember(message.substr(secret.begin, secret.length));

  if (!save_log_file_) return;
  if (!log_secrets_) {
    MaskSecrets(line, stampLength, secret);
    sent_.Mask(line, stampLength);
  }

  // The date is read anew, after the stamp: a line stamped 23:59:59 can go
  // into the next day's file.
  const std::string& path = DayFilePath(platform_.Now());
  // The folder is the tool's own as the file is: a link another user put in
  // its place is not followed, and a folder of another user (made in an
  // open working folder before the program ran there) is not written in:
  // its owner could read every line, or have put a day file of theirs in it.
  const OwnFile folder = FollowOwnLinks(LogDir());
  const char* refused = folder.reason         ? folder.reason
                        : folder.foreignOwner ? "folder owned by another user"
                                              : nullptr;
  if (refused) {
    const int error = folder.reason ? folder.error : EACCES;
    throw EInOutError("I/O error " + std::to_string(error) + " (" + refused + ") on " + LogDir(),
                      error, refused, LogDir());
  }
  // The folder is made when the append finds it missing, so a line into an
  // existing folder (every line but the first) costs no look-up of its own.
  // A failure to create it shows up as the second append's error. The log
  // tells what was said to the modem: the folder is the owner's alone.
  try {
    AppendLineToFile(path, line);
  } catch (const EInOutError& e) {
    if (e.ErrorCode() != ENOENT) throw;
    MakeOwnFolder(LogDir());
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
  pane_.Add(line, adding);
}

}  // namespace velimo::trace
