#include "fleet/fleet_command.h"

#include <charconv>
#include <ctime>
#include <map>

#include "fleet/json_value.h"
#include "fleet/worker_pool.h"
#include "util/report_file.h"

namespace velimo::cli::fleet {

namespace {

std::string IsoLocal(int64_t epoch_ms) {
  const time_t seconds = static_cast<time_t>(epoch_ms / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string s = text;
  if (s.size() >= 5) s.insert(s.size() - 2, ":");  // +0100 -> +01:00
  return s;
}

std::optional<UnitResult> ResultFromName(const std::string& name) {
  for (UnitResult r : {UnitResult::kRead, UnitResult::kMatched, UnitResult::kApplied,
                       UnitResult::kDiffers, UnitResult::kDidNotStick, UnitResult::kFailed})
    if (name == ResultName(r)) return r;
  return std::nullopt;
}

std::string LastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  const size_t nl = t.rfind('\n');
  return nl == std::string::npos ? t : t.substr(nl + 1);
}

// Why a worker gave no result, in the report's words.
std::string WhyNoResult(const WorkerOutcome& o, int64_t limit_ms) {
  if (!o.started) return "the worker could not be started";
  if (o.timed_out)
    return "no answer within " + std::to_string(limit_ms / 1000) + " s; the worker was stopped";
  if (o.signal != 0) return "the worker crashed (signal " + std::to_string(o.signal) + ")";
  std::string last = LastLine(o.err);
  if (last.starts_with("velimo-cli: ")) last.erase(0, 12);
  if (!last.empty()) return last;
  return "the worker ended with status " + std::to_string(o.exit_status) + " and no result";
}

// The key and IV reach a report only as differences ("AESKEY: modem=...").
bool HoldsSecrets(const std::vector<UnitReport>& units) {
  for (const UnitReport& u : units)
    for (const std::string& d : u.differences)
      if (d.starts_with("AESKEY") || d.starts_with("AESIV")) return true;
  return false;
}

}  // namespace

ParsedFleet ParseFleet(const std::vector<std::string>& args) {
  ParsedFleet parsed;
  FleetOptions options;
  int port_count = 0;
  bool all = false;
  auto fail = [&](std::string why) {
    parsed.error = std::move(why);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inline_value;
    if (name.starts_with("--")) {
      if (const auto eq = name.find('='); eq != std::string::npos) {
        inline_value = name.substr(eq + 1);
        name.resize(eq);
      }
    }
    const bool ours =
        name == "--port" || name == "--jobs" || name == "--units" || name == "--report";
    if (!ours) {
      options.worker_args.push_back(args[i]);
      continue;
    }
    std::string value;
    if (inline_value) {
      value = *inline_value;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return fail(name + " needs a value");
    }
    if (name == "--port") {
      ++port_count;
      if (value == "all") {
        all = true;
      } else if (value.empty()) {
        return fail("--port needs a serial port");
      }
      options.ports.push_back(value);
    } else if (name == "--jobs") {
      int n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > 1024)
        return fail("--jobs needs a number from 1 to 1024");
      options.jobs = n;
    } else if (name == "--units") {
      options.units_file = value;
    } else {
      if (!value.ends_with(".csv") && !value.ends_with(".json"))
        return fail("--report needs a file name ending in .csv or .json");
      options.reports.push_back(value);
    }
  }
  if (port_count < 2 && !all) {
    if (options.jobs > 0 || !options.units_file.empty() || !options.reports.empty())
      return fail("--jobs, --units and --report go with several --port options or --port all");
    return parsed;  // a single-port run
  }
  parsed.options = std::move(options);
  return parsed;
}

bool IsWorkerResultLine(std::string_view line) {
  return line.starts_with("{\"fleet_result\"");
}

UnitReport ReportFromWorker(std::string_view line) {
  UnitReport report;
  const auto value = ParseJson(line);
  const auto result = value ? ResultFromName(value->Text("result")) : std::nullopt;
  if (!result) {
    report.reason = "the worker's result could not be read";
    return report;
  }
  report.result = *result;
  report.model = value->Text("model");
  report.firmware = value->Text("firmware");
  report.source_id_before = value->Text("source_id_before");
  report.source_id_after = value->Text("source_id_after");
  report.reason = value->Text("reason");
  if (const auto* object = value->Object()) {
    if (auto it = object->find("differences"); it != object->end() && it->second.Array())
      for (const JsonValue& d : *it->second.Array())
        if (d.String()) report.differences.push_back(*d.String());
  }
  return report;
}

int RunFleet(const FleetOptions& options, const std::string& program, const FleetIo& io) {
  // The bench as found: named ports, and every port with a modem for "all".
  std::vector<PortName> ports;
  for (const std::string& p : options.ports) {
    if (p == "all") {
      if (!io.scan_all) {
        io.err("velimo-cli: --port all needs the port scan, which this build lacks\n");
        return 1;
      }
      for (PortName& found : io.scan_all()) ports.push_back(std::move(found));
    } else {
      ports.push_back(io.identify ? io.identify(p) : PortName{p, "", ""});
    }
  }
  // A port named twice (or found by the scan and named) runs once.
  std::vector<PortName> unique;
  for (PortName& p : ports) {
    bool seen = false;
    for (const PortName& u : unique) seen = seen || u.path == p.path;
    if (!seen) unique.push_back(std::move(p));
  }
  ports = std::move(unique);
  if (ports.empty()) {
    io.err("velimo-cli: no unit on the bench: the scan found no modem on a free port\n");
    return 1;
  }

  std::vector<UnitReport> reports(ports.size());  // in port order
  std::vector<UnitReport> not_found;              // units file rows, after them
  std::vector<const UnitRow*> rows(ports.size(), nullptr);
  std::vector<bool> run(ports.size(), true);
  ParsedUnits parsed;  // rows are referred to until the run ends
  if (!options.units_file.empty()) {
    parsed = ReadUnitsFile(options.units_file);
    if (!parsed.units) {
      io.err("velimo-cli: " + parsed.error + "\n");
      return 1;
    }
    const UnitMatch match = MatchUnits(*parsed.units, ports);
    for (auto [p, r] : match.pairs) rows[p] = &parsed.units->rows[r];
    for (size_t p : match.ports_not_listed) {
      run[p] = false;
      UnitReport& r = reports[p];
      r.port = ports[p].path;
      r.by_id = ports[p].by_id;
      r.usb_serial = ports[p].usb_serial;
      r.reason = "this port is not in the units file; nothing was done";
    }
    for (size_t r : match.rows_not_found) {
      const UnitRow& row = parsed.units->rows[r];
      UnitReport report;
      (parsed.units->key == UnitKey::kPort   ? report.port
       : parsed.units->key == UnitKey::kById ? report.by_id
                                             : report.usb_serial) = row.key;
      report.reason = "unit of line " + std::to_string(row.line) + " was not found on the bench";
      not_found.push_back(std::move(report));
    }
  }

  std::vector<WorkerJob> jobs;
  std::vector<size_t> job_port;
  for (size_t p = 0; p < ports.size(); ++p) {
    if (!run[p]) continue;
    WorkerJob job;
    job.argv = {program};
    job.argv.insert(job.argv.end(), options.worker_args.begin(), options.worker_args.end());
    job.argv.insert(job.argv.end(), ports[p].worker_args.begin(), ports[p].worker_args.end());
    job.argv.insert(job.argv.end(), {"--port", ports[p].path, "--fleet-worker"});
    if (rows[p])
      for (const auto& [key, value] : rows[p]->settings)
        job.argv.insert(job.argv.end(), {"--unit-value", key + "=" + value});
    jobs.push_back(std::move(job));
    job_port.push_back(p);
  }

  // One progress line per unit, redrawn in place on a terminal.
  std::vector<std::string> progress(jobs.size());
  bool drawn = false;
  auto draw = [&] {
    std::string text;
    if (drawn) text += "\x1b[" + std::to_string(progress.size()) + "A";
    for (size_t j = 0; j < progress.size(); ++j)
      text += "\r\x1b[K" + ports[job_port[j]].path + ": " + progress[j] + "\n";
    drawn = true;
    io.out(text);
  };
  for (auto& p : progress) p = "starting";
  if (io.live && !jobs.empty()) draw();

  std::vector<std::string> results(jobs.size());
  PoolOptions pool;
  pool.jobs = options.jobs;
  pool.limit_ms = options.limit_ms;
  const auto outcomes = RunWorkers(jobs, pool, [&](size_t job, std::string_view line) {
    if (IsWorkerResultLine(line)) {
      results[job] = std::string(line);
      progress[job] = "done";
    } else {
      progress[job] = std::string(line.substr(0, 100));
    }
    if (io.live) draw();
  });

  for (size_t j = 0; j < jobs.size(); ++j) {
    const PortName& port = ports[job_port[j]];
    UnitReport r;
    if (!results[j].empty()) {
      r = ReportFromWorker(results[j]);
    } else {
      r.reason = WhyNoResult(outcomes[j], options.limit_ms);
    }
    r.port = port.path;
    r.by_id = port.by_id;
    r.usb_serial = port.usb_serial;
    r.start = IsoLocal(outcomes[j].start_ms);
    r.end = IsoLocal(outcomes[j].end_ms);
    r.cpu_seconds = outcomes[j].cpu_seconds;
    r.max_rss_kb = outcomes[j].max_rss_kb;
    reports[job_port[j]] = std::move(r);
  }
  reports.insert(reports.end(), not_found.begin(), not_found.end());

  bool written = true;
  for (const std::string& file : options.reports) {
    const std::string text = file.ends_with(".json") ? ReportJson(reports) : ReportCsv(reports);
    if (const std::string why = WriteReportFile(file, text, HoldsSecrets(reports)); !why.empty()) {
      io.err("velimo-cli: cannot write the report " + file + ": " + why + "\n");
      written = false;
    }
  }
  io.out(SummaryTable(reports));
  const int status = FleetExitStatus(reports);
  return written ? status : 1;
}

}  // namespace velimo::cli::fleet
