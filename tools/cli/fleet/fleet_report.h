// What a bench run reports per unit, and the files and table it is
// written as. One row per unit, whatever happened to it: a unit that
// failed is a row with its reason, never a missing row.
#pragma once

#include <string>
#include <vector>

namespace velimo::cli::fleet {

enum class UnitResult {
  kRead,         // read only (no profile given)
  kMatched,      // already held the profile: nothing written
  kApplied,      // differences written and verified on read-back
  kDiffers,      // compared only, and it differs
  kDidNotStick,  // written, but the modem reports another value
  kFailed,       // see reason
  kInterrupted,  // the run was interrupted: see reason for where it stopped
};

// The words used in the report files and the table.
const char* ResultName(UnitResult result);

struct UnitReport {
  std::string port;
  std::string by_id;
  std::string usb_serial;
  std::string model;
  std::string firmware;
  std::string source_id_before;
  std::string source_id_after;
  UnitResult result = UnitResult::kFailed;
  std::string reason;  // why it failed or did not stick
  // "KEY: modem=A profile=B" as compared, "KEY: A -> B verified" as
  // written (the value read before, the value read back, the outcome).
  std::vector<std::string> differences;
  std::vector<std::string> files;  // profiles saved from this unit
  std::string start;               // ISO 8601 local time
  std::string end;
  double cpu_seconds = 0;
  long max_rss_kb = 0;
};

// 130 when a unit was interrupted, else 1 when any failed, 3 when some did
// not stick or differ, 0 when every unit succeeded (read, matched or
// applied). No units is a failure: the bench had nothing on it.
int FleetExitStatus(const std::vector<UnitReport>& units);

// What was run, in every row of a report, so a row handed on alone still
// says it: the program and its version, the command line (key and IV
// masked), the profile file and the SHA-256 of its bytes, host, user, and
// the run's start and end.
struct RunInfo {
  std::string program;
  std::string command_line;
  std::string profile;
  std::string profile_sha256;
  std::string host;
  std::string user;
  std::string start;
  std::string end;
};

// Every text in a report is UTF-8. The CSV and the JSON hold the same
// fields, the run's first.
// RFC 4180 CSV with a header; lists joined by "; "; no cell a spreadsheet
// would run as a formula.
std::string ReportCsv(const std::vector<UnitReport>& units, const RunInfo& run = {});
// A JSON array of one object per unit.
std::string ReportJson(const std::vector<UnitReport>& units, const RunInfo& run = {});
// The summary for the terminal: aligned columns, one line per unit, then
// the profiles each unit was saved to. Control characters are escaped.
std::string SummaryTable(const std::vector<UnitReport>& units);

}  // namespace velimo::cli::fleet
