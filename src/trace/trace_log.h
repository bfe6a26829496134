// The trace: every action that concerns the modem or the link leaves a
// time-stamped line in the trace pane and, while "Save Log File" is on, in
// the day's log file Log/Velimo_YYYYMMDD.log. The main window owns one
// TraceLog and forwards its LogWriteStr here; its menu handlers
// ("View Log Trace", "Save Log File", "Clear Trace") use SetSaveLogFile and
// Clear.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "trace/trace_pane.h"
#include "trace/trace_secret.h"
#include "util/platform.h"

namespace velimo::trace {

class TraceLog {
 public:
  // A trace line that finds more displayed lines than this in the pane
  // empties it first.
  static constexpr size_t kMaxPaneLines = 500;
  // Received lines never empty the pane, so a modem that keeps talking
  // would grow it without end. Past this many displayed lines the oldest
  // ones go, a batch at a time, down to kReceivedPaneKeep: the pane stays
  // within a few megabytes and dropping costs little per line.
  static constexpr size_t kMaxReceivedPaneLines = 10000;
  static constexpr size_t kReceivedPaneKeep = 9000;

  // baseDir is the directory that holds the "Log" folder: the working
  // directory by default; tests point it elsewhere.
  explicit TraceLog(Platform& platform, std::string baseDir = ".");

  // Adds "[HH:NN:SS]  " + message to the pane, and to the day's log file
  // while the switch is on. The message is kept byte for byte (CR and NUL
  // included), except that in the file the key and IV values (secret, and
  // those that keywords introduce, see trace_secret.h) are masked unless
  // SetLogSecrets(true); so is, in every later line too, any run equal to
  // a key or IV value sent (a secret span of eight characters or more; see
  // SentSecrets). A file error (EInOutError) reaches the caller after the
  // line is already in the pane.
  void LogWriteStr(std::string_view message, TraceSecret secret = {});

  // A line received from the modem: into the pane as it is, without a
  // stamp, without the line-count check and without the file. Only the
  // bound above limits what they keep.
  void AddReceivedLine(std::string_view line);

  // "Clear Trace": empties the pane; the log file is not touched.
  void Clear() { pane_.Clear(); }

  // The log-file switch, mirroring the check mark of "Save Log File"; off
  // at creation.
  void SetSaveLogFile(bool on) { save_log_file_ = on; }
  bool SaveLogFile() const { return save_log_file_; }

  // Whether the log file gets key and IV values in clear ([MACHINE]
  // LogSecrets=1 in the settings file); off at creation.
  void SetLogSecrets(bool on) { log_secrets_ = on; }
  bool LogSecrets() const { return log_secrets_; }

  // The key and IV values sent so far in this session, for masking other
  // texts that leave the program (a bench worker's report).
  const SentSecrets& Sent() const { return sent_; }

  TracePane& Pane() { return pane_; }
  const TracePane& Pane() const { return pane_; }

  void SetBaseDir(std::string baseDir);
  const std::string& BaseDir() const { return base_dir_; }
  // baseDir + "/Log".
  std::string LogDir() const;
  // The log file of a day: LogDir() + "/Velimo_YYYYMMDD.log".
  std::string LogFilePath(const LocalDateTime& date) const;

  // "[HH:NN:SS]  ".
  static std::string Stamp(const LocalDateTime& time);

 private:
  // LogFilePath of the day, kept from line to line until the date or the
  // base directory changes.
  const std::string& DayFilePath(const LocalDateTime& date);

  Platform& platform_;
  std::string base_dir_;
  bool save_log_file_ = false;
  bool log_secrets_ = false;
  TracePane pane_;
  SentSecrets sent_;
  std::string day_path_;  // empty: not made yet
  int day_year_ = 0, day_month_ = 0, day_day_ = 0;
};

}  // namespace velimo::trace
