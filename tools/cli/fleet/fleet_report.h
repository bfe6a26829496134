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
  std::string reason;                    // why it failed or did not stick
  std::vector<std::string> differences;  // "KEY: modem=A profile=B" as written
  std::string start;                     // ISO 8601 local time
  std::string end;
  double cpu_seconds = 0;
  long max_rss_kb = 0;
};

// 0 when every unit succeeded (read, matched or applied), 3 when some did
// not stick or differ and none failed, 1 when any failed. No units is a
// failure: the bench had nothing on it.
int FleetExitStatus(const std::vector<UnitReport>& units);

// RFC 4180 CSV with a header; differences joined by "; ".
std::string ReportCsv(const std::vector<UnitReport>& units);
// A JSON array of one object per unit.
std::string ReportJson(const std::vector<UnitReport>& units);
// The summary for the terminal: aligned columns, one line per unit.
std::string SummaryTable(const std::vector<UnitReport>& units);

}  // namespace velimo::cli::fleet
