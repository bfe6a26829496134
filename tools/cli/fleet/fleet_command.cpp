#include "fleet/fleet_command.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "exit_status.h"
#include "fleet/clock_ms.h"
#include "fleet/json_value.h"
#include "fleet/utf8_path.h"
#include "fleet/worker_pool.h"
#include "interrupt.h"
#include "output.h"
#include "profile/operations.h"
#include "profile/profile_file.h"
#include "profile/setting_table.h"
#include "secrets.h"
#include "util/bounded_file.h"
#include "util/report_file.h"
#include "util/sha256.h"
#include "util/version.h"
#ifdef _WIN32
#include "util/wide_text_win.h"
#endif

namespace velimo::cli::fleet {

namespace {

std::string IsoLocal(int64_t epoch_ms) {
  const time_t seconds = static_cast<time_t>(epoch_ms / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  // The offset from UTC as the two clocks differ (Windows' strftime gives
  // a zone's name for %z, or nothing).
  tm utc{};
  gmtime_r(&seconds, &utc);
  int days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  const int minutes =
      days * 24 * 60 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
  char offset[16];
  std::snprintf(offset, sizeof offset, "%c%02d:%02d", minutes < 0 ? '-' : '+',
                std::abs(minutes) / 60, std::abs(minutes) % 60);
  return std::string(text) + offset;
}

std::optional<UnitResult> ResultFromName(const std::string& name) {
  for (UnitResult r :
       {UnitResult::kRead, UnitResult::kMatched, UnitResult::kApplied, UnitResult::kDiffers,
        UnitResult::kDidNotStick, UnitResult::kFailed, UnitResult::kInterrupted})
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
  // A bench of one unit is still a bench: its units file and report are
  // honoured as for many.
  const bool bench_options =
      options.jobs > 0 || !options.units_file.empty() || !options.reports.empty();
  if (port_count < 2 && !all && !bench_options) return parsed;  // a single-port run
  if (port_count == 0) return fail("--port is required");
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
    if (auto it = object->find("files"); it != object->end() && it->second.Array())
      for (const JsonValue& f : *it->second.Array())
        if (f.String()) report.files.push_back(*f.String());
  }
  return report;
}

namespace {

bool IsMyid(const std::string& key) {
  return key.size() == 4 && std::toupper(static_cast<unsigned char>(key[0])) == 'M' &&
         std::toupper(static_cast<unsigned char>(key[1])) == 'Y' &&
         std::toupper(static_cast<unsigned char>(key[2])) == 'I' &&
         std::toupper(static_cast<unsigned char>(key[3])) == 'D';
}

std::string Reason(int error) {
  return std::strerror(error);
}

// Why the report cannot be written where it is asked for; "" when it can.
#ifdef _WIN32
// The C library's narrow calls read a name in the ANSI code page.
using FileStatus = struct _stat64;
int StatusOf(const std::string& path, FileStatus* st) {
  return _wstat64(Widen(path).c_str(), st);
}
int AccessTo(const std::string& path, int mode) {
  return _waccess(Widen(path).c_str(), mode);
}
#else
using FileStatus = struct stat;
int StatusOf(const std::string& path, FileStatus* st) {
  return stat(path.c_str(), st);
}
int AccessTo(const std::string& path, int mode) {
  return access(path.c_str(), mode);
}
#endif

std::string ReportRefusal(const std::string& file, const std::string& units_file) {
  namespace fs = std::filesystem;
  std::string folder = TextOf(PathOf(file).parent_path());
  if (folder.empty()) folder = ".";
  FileStatus st{};
  if (StatusOf(folder, &st) != 0)
    return "the report's folder " + folder + " cannot be used: " + Reason(errno);
  if (!S_ISDIR(st.st_mode)) return "the report's folder " + folder + " is not a folder";
#ifdef _WIN32
  constexpr int kFolderUse = W_OK;  // Windows' C library refuses X_OK
#else
  constexpr int kFolderUse = W_OK | X_OK;
#endif
  if (AccessTo(folder, kFolderUse) != 0)
    return "the report's folder " + folder + " is not writable: " + Reason(errno);
  if (StatusOf(file, &st) == 0) {
    if (S_ISFIFO(st.st_mode)) return "the report " + file + " is a FIFO, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
      return "the report " + file + " is a device, not a file";
    if (!S_ISREG(st.st_mode)) return "the report " + file + " is not a regular file";
    if (AccessTo(file, W_OK) != 0)
      return "the report " + file + " is not writable: " + Reason(errno);
    std::error_code ec;
    if (!units_file.empty() && fs::equivalent(PathOf(units_file), PathOf(file), ec))
      return "the report " + file + " is the units file; it would be overwritten";
  }
  if (!units_file.empty() && DeviceOf(file) == DeviceOf(units_file))
    return "the report " + file + " is the units file; it would be overwritten";
  return "";
}

// The unit's part of a saved profile's name: its USB serial, or its
// port's base name; only letters, digits, '-', '_' and '.' kept.
std::string UnitTag(const PortName& port) {
  std::string tag = port.usb_serial;
  if (tag.empty()) tag = std::filesystem::path(port.path).filename().string();
  for (char& c : tag) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  return tag.empty() ? "unit" : tag;
}

// FILE's name with the unit's tag inserted before its extension:
// site.vprofile -> site-A50285BI.vprofile.
std::string UnitFile(const std::string& file, const std::string& tag) {
  namespace fs = std::filesystem;
  const fs::path path = PathOf(file);
  const std::string name = TextOf(path.stem()) + "-" + tag + TextOf(path.extension());
  return TextOf(path.parent_path() / PathOf(name));
}

#ifdef _WIN32
std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return "";
  return Narrow(std::wstring_view(name, size));
}

std::string UserName() {
  wchar_t name[257] = {};
  DWORD size = 257;
  if (!GetUserNameW(name, &size) || size == 0) return "";
  return Narrow(std::wstring_view(name, size - 1));
}
#else
std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string UserName() {
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
  return std::to_string(geteuid());
}
#endif

// A profile's bytes for its hash, by the readers' rules (a regular file
// within the profile's bound).
std::string ReadWhole(const std::string& path, bool& ok) {
  BoundedRead file = ReadBoundedFile(path, kProfileFileLimit);
  ok = file.ok;
  return std::move(file.text);
}

}  // namespace

int RunFleet(const FleetOptions& options, const std::string& program, const FleetIo& io) {
  RunInfo run;
  run.program = std::string("velimo-cli ") + velimo::kVersion;
  run.command_line = CommandLineText(options.command_line);
  run.host = HostName();
  run.user = UserName();
  run.start = IsoLocal(WallMs());
  auto refuse = [&](const std::string& why) {
    io.err("velimo-cli: " + PlainUtf8(why) + "\n");
    return kExitFailure;
  };

  // Everything that can be checked is checked before the first unit is
  // touched: a run that stops halfway over a file leaves units half done.
  for (size_t i = 0; i < options.reports.size(); ++i) {
    for (size_t j = 0; j < i; ++j)
      if (DeviceOf(options.reports[j]) == DeviceOf(options.reports[i]))
        return refuse("--report " + options.reports[i] + " is given twice");
    if (const std::string why = ReportRefusal(options.reports[i], options.units_file); !why.empty())
      return refuse(why);
  }
  std::optional<profile::Profile> base;  // the profile unit values go on top of
  bool holds_myid = false;
  for (const std::string& file : options.profiles) {
    const profile::ProfileRead read = profile::ReadProfileFile(file);
    if (!read.profile) return refuse(read.error);
    if (options.model != 0) {
      const std::string mismatch = profile::ModelMismatch(*read.profile, options.model);
      if (!mismatch.empty()) return refuse(file + ": " + mismatch);
    }
    const bool applied =
        std::find(options.applied.begin(), options.applied.end(), file) != options.applied.end();
    if (applied && read.profile->Find("MYID")) holds_myid = true;
    if (!base || applied) base = read.profile;
    bool ok = false;
    const std::string bytes = ReadWhole(file, ok);
    if (!run.profile.empty()) {
      run.profile += "; ";
      run.profile_sha256 += "; ";
    }
    run.profile += file;
    run.profile_sha256 += ok ? Sha256Hex(bytes) : "";
  }
  ParsedUnits parsed;  // rows are referred to until the run ends
  if (!options.units_file.empty()) {
    parsed = ReadUnitsFile(options.units_file);
    if (!parsed.units) return refuse(parsed.error);
    // Each row's values as a line of the profile: a key of the model, a
    // value in range; with no profile, on top of an empty one.
    std::optional<profile::Profile> empty;
    if (!base && options.model != 0) {
      if (const auto set = profile::PageSetOf(options.model)) {
        empty.emplace();
        empty->model = options.model;
        empty->set = *set;
      }
    }
    const profile::Profile* under = base ? &*base : empty ? &*empty : nullptr;
    const std::string why = CheckUnitRows(*parsed.units, [&](const UnitValues& values) {
      UnitProfile unit;
      for (const auto& [key, value] : values)
        if (IsMyid(key)) unit.myid = value;
      if (!under) return unit;
      const profile::ProfileRead made = profile::WithUnitValues(*under, values);
      if (!made.profile) {
        unit.error = made.error;
      } else if (!unit.myid.empty()) {
        if (const profile::ProfileEntry* e = made.profile->Find("MYID")) unit.myid = e->value;
      }
      return unit;
    });
    if (!why.empty()) return refuse(options.units_file + ": " + why);
  }

  // The bench as found: named ports, and every port with a modem for "all".
  std::vector<PortName> ports;
  for (const std::string& p : options.ports) {
    if (p == "all") {
      if (!io.scan_all) return refuse("--port all needs the port scan, which this build lacks");
      for (PortName& found : io.scan_all()) ports.push_back(std::move(found));
    } else {
      ports.push_back(io.identify ? io.identify(p) : PortName{p, "", ""});
    }
  }
  // A unit named twice, or by two names (a path and its by-id link, or
  // found by the scan and named), runs once, under its first name.
  std::vector<PortName> unique;
  for (PortName& p : ports) {
    bool seen = false;
    for (const PortName& u : unique) seen = seen || SameUnit(u, p);
    if (!seen) unique.push_back(std::move(p));
  }
  ports = std::move(unique);
  if (ports.empty()) {
    io.err("velimo-cli: no unit on the bench: the scan found no modem on a free port\n");
    return kExitShortOf;
  }

  std::vector<UnitReport> reports(ports.size());  // in port order
  std::vector<UnitReport> not_found;              // units file rows, after them
  std::vector<const UnitRow*> rows(ports.size(), nullptr);
  std::vector<bool> run_unit(ports.size(), true);
  if (parsed.units) {
    const UnitMatch match = MatchUnits(*parsed.units, ports);
    for (auto [p, r] : match.pairs) rows[p] = &parsed.units->rows[r];
    for (size_t p : match.ports_not_listed) {
      run_unit[p] = false;
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
  // A source ID is one unit's identity: a profile that holds one goes to
  // several units only with each unit's own from the units file.
  const size_t units_run = static_cast<size_t>(std::count(run_unit.begin(), run_unit.end(), true));
  if (holds_myid && units_run > 1) {
    for (size_t p = 0; p < ports.size(); ++p) {
      if (!run_unit[p]) continue;
      bool own = false;
      if (rows[p])
        for (const auto& [key, value] : rows[p]->settings) own = own || IsMyid(key);
      if (own) continue;
      return refuse("the profile holds MYID, a unit's own source ID: applied to " +
                    std::to_string(units_run) + " units it would give " + ports[p].path +
                    " and the others the same address. Give each unit its MYID in the units file "
                    "(--units, a MYID column), or take MYID out of the profile; nothing was sent");
    }
  }

  std::vector<WorkerJob> jobs;
  std::vector<size_t> job_port;
  std::vector<std::string> tags_used;
  for (size_t p = 0; p < ports.size(); ++p) {
    if (!run_unit[p]) continue;
    WorkerJob job;
    job.argv = {program};
    job.argv.insert(job.argv.end(), options.worker_args.begin(), options.worker_args.end());
    // Each unit's profile is a file of its own, named after the unit.
    if (ports.size() > 1) {
      std::string tag = UnitTag(ports[p]);
      if (std::find(tags_used.begin(), tags_used.end(), tag) != tags_used.end())
        tag += "-" + UnitTag(PortName{ports[p].path, "", ""});
      tags_used.push_back(tag);
      for (size_t a = 1; a + 1 < job.argv.size(); ++a)
        if (job.argv[a] == "save-profile") job.argv[a + 1] = UnitFile(job.argv[a + 1], tag);
    }
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
      text += "\r\x1b[K" + PlainUtf8(ports[job_port[j]].path) + ": " + progress[j] + "\n";
    drawn = true;
    io.out(text);
  };
  for (auto& p : progress) p = "starting";
  if (io.live && !jobs.empty()) draw();

  std::vector<std::string> results(jobs.size());
  PoolOptions pool;
  pool.jobs = options.jobs;
  pool.limit_ms = options.limit_ms;
  pool.stop = InterruptFlag();
  const auto outcomes = RunWorkers(jobs, pool, [&](size_t job, std::string_view line) {
    if (IsWorkerResultLine(line)) {
      results[job] = std::string(line);
      progress[job] = "done";
    } else {
      progress[job] = PlainUtf8(line.substr(0, 100));
    }
    if (io.live) draw();
  });

  const bool interrupted = Interrupted();
  for (size_t j = 0; j < jobs.size(); ++j) {
    const PortName& port = ports[job_port[j]];
    UnitReport r;
    if (!results[j].empty()) {
      r = ReportFromWorker(results[j]);
    } else if (interrupted && !outcomes[j].started) {
      r.result = UnitResult::kInterrupted;
      r.reason = "interrupted before this unit was started; nothing was sent";
    } else if (interrupted) {
      r.result = UnitResult::kInterrupted;
      r.reason = "interrupted; the worker ended without a report, so what it sent is not known";
    } else {
      r.reason = WhyNoResult(outcomes[j], options.limit_ms);
    }
    r.port = port.path;
    r.by_id = port.by_id;
    r.usb_serial = port.usb_serial;
    if (outcomes[j].started) {
      r.start = IsoLocal(outcomes[j].start_ms);
      r.end = IsoLocal(outcomes[j].end_ms);
    }
    r.cpu_seconds = outcomes[j].cpu_seconds;
    r.max_rss_kb = outcomes[j].max_rss_kb;
    reports[job_port[j]] = std::move(r);
  }
  reports.insert(reports.end(), not_found.begin(), not_found.end());

  run.end = IsoLocal(WallMs());
  bool written = true;
  for (const std::string& file : options.reports) {
    const std::string text =
        file.ends_with(".json") ? ReportJson(reports, run) : ReportCsv(reports, run);
    if (const std::string why = velimo::WriteReportFile(file, text, options.with_secrets);
        !why.empty()) {
      io.err("velimo-cli: cannot write the report " + PlainUtf8(file) + ": " + why + "\n");
      written = false;
    }
  }
  io.out(SummaryTable(reports));
  const int status = FleetExitStatus(reports);
  if (interrupted || status == kExitInterrupted) return kExitInterrupted;
  return written ? status : kExitFailure;
}

}  // namespace velimo::cli::fleet
