// velimo-cli on a bench of adapters: the same command list on several
// ports at once, one worker process (this program) per port, and one
// report. Chosen when --port is given more than once or as "all".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fleet/fleet_report.h"
#include "fleet/units_file.h"

namespace velimo::cli::fleet {

struct FleetOptions {
  std::vector<std::string> ports;        // as given; "all" is expanded by a scan
  int jobs = 0;                          // 0: every port at once
  std::string units_file;                // --units, or empty
  std::vector<std::string> reports;      // --report, .csv or .json
  std::vector<std::string> worker_args;  // everything else, for every worker
  int64_t limit_ms = 10 * 60 * 1000;     // a worker still running after this is hung
  // What the workers' own options say, for the checks made before the
  // first unit is touched and for the report (filled in by the caller).
  char model = 0;                         // 's', 'u', 'r', 'i', or 0 (auto)
  std::vector<std::string> profiles;      // compare-profile and apply-profile files
  std::vector<std::string> applied;       // apply-profile files
  bool with_secrets = false;              // key and IV in clear: reports 0600
  std::vector<std::string> command_line;  // as typed, for the report
};

struct ParsedFleet {
  std::optional<FleetOptions> options;  // empty: not a bench run, or an error
  std::string error;                    // set on a usage error
};

// A bench run when --port appears more than once or as "all"; otherwise
// options stay empty and error empty, and the single-port program runs.
ParsedFleet ParseFleet(const std::vector<std::string>& args);

// How a worker reports: its last line of standard output is one JSON
// object with "fleet_result" set; every earlier line is progress.
bool IsWorkerResultLine(std::string_view line);
// The worker's row of the report from that object (port and times are
// filled in by the supervisor).
UnitReport ReportFromWorker(std::string_view line);

struct FleetIo {
  std::function<void(const std::string&)> out;  // standard output
  std::function<void(const std::string&)> err;  // standard error
  bool live = false;                            // a terminal: redraw progress lines
  // Expands "all" into ports with a modem on them, each with its name.
  std::function<std::vector<PortName>()> scan_all;
  // Finds what a named port is known by (by-id, USB serial).
  std::function<PortName(const std::string&)> identify;
};

// Runs the bench and returns the exit status (see FleetExitStatus; 1 also
// for a units file, profile or report refused before the first unit, or a
// report that cannot be written; 3 when "all" found no modem). Everything
// that can be checked is checked before the first unit is touched.
int RunFleet(const FleetOptions& options, const std::string& program, const FleetIo& io);

}  // namespace velimo::cli::fleet
