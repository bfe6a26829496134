#include "fleet/fleet_report.h"

#include <algorithm>
#include <cstdio>

#include "output.h"

namespace velimo::cli::fleet {

namespace {

std::string Joined(const std::vector<std::string>& parts, const char* between) {
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out += between;
    out += p;
  }
  return out;
}

// Texts in a report are UTF-8 already: the workers' results are JSON, in
// which the modem's Latin-1 bytes were encoded once.
std::string J(const std::string& s) {
  return JsonStringUtf8(s);
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", v);
  return text;
}

}  // namespace

const char* ResultName(UnitResult result) {
  switch (result) {
    case UnitResult::kRead:
      return "read";
    case UnitResult::kMatched:
      return "matched";
    case UnitResult::kApplied:
      return "applied and verified";
    case UnitResult::kDiffers:
      return "differs";
    case UnitResult::kDidNotStick:
      return "did-not-stick";
    case UnitResult::kFailed:
      return "failed";
    case UnitResult::kInterrupted:
      return "interrupted";
  }
  return "failed";
}

int FleetExitStatus(const std::vector<UnitReport>& units) {
  if (units.empty()) return 1;
  for (const UnitReport& u : units)
    if (u.result == UnitResult::kInterrupted) return 130;
  bool short_of = false;
  for (const UnitReport& u : units) {
    if (u.result == UnitResult::kFailed) return 1;
    if (u.result == UnitResult::kDidNotStick || u.result == UnitResult::kDiffers) short_of = true;
  }
  return short_of ? 3 : 0;
}

std::string ReportCsv(const std::vector<UnitReport>& units, const RunInfo& run) {
  std::string out =
      "program,command_line,profile,profile_sha256,host,user,run_start,run_end,"
      "port,by_id,usb_serial,model,firmware,source_id_before,source_id_after,result,reason,"
      "differences,files,start,end\r\n";
  for (const UnitReport& u : units) {
    const std::vector<std::string> fields = {run.program,
                                             run.command_line,
                                             run.profile,
                                             run.profile_sha256,
                                             run.host,
                                             run.user,
                                             run.start,
                                             run.end,
                                             u.port,
                                             u.by_id,
                                             u.usb_serial,
                                             u.model,
                                             u.firmware,
                                             u.source_id_before,
                                             u.source_id_after,
                                             ResultName(u.result),
                                             u.reason,
                                             Joined(u.differences, "; "),
                                             Joined(u.files, "; "),
                                             u.start,
                                             u.end};
    std::string line;
    for (const std::string& f : fields) {
      if (!line.empty()) line += ',';
      line += CsvCell(f);
    }
    out += line + "\r\n";
  }
  return out;
}

std::string ReportJson(const std::vector<UnitReport>& units, const RunInfo& run) {
  auto list = [](const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t d = 0; d < items.size(); ++d) out += (d ? ", " : "") + J(items[d]);
    return out + "]";
  };
  const std::string head =
      "\"program\": " + J(run.program) + ", \"command_line\": " + J(run.command_line) +
      ", \"profile\": " + J(run.profile) + ", \"profile_sha256\": " + J(run.profile_sha256) +
      ", \"host\": " + J(run.host) + ", \"user\": " + J(run.user) +
      ", \"run_start\": " + J(run.start) + ", \"run_end\": " + J(run.end) + ", ";
  std::string out = "[\n";
  for (size_t i = 0; i < units.size(); ++i) {
    const UnitReport& u = units[i];
    const std::string diffs = list(u.differences);
    out += "  {" + head + "\"port\": " + J(u.port) + ", \"by_id\": " + J(u.by_id) +
           ", \"usb_serial\": " + J(u.usb_serial) + ", \"model\": " + J(u.model) +
           ", \"firmware\": " + J(u.firmware) + ", \"source_id_before\": " + J(u.source_id_before) +
           ", \"source_id_after\": " + J(u.source_id_after) +
           ", \"result\": " + J(ResultName(u.result)) + ", \"reason\": " + J(u.reason) +
           ", \"differences\": " + diffs + ", \"files\": " + list(u.files) +
           ", \"start\": " + J(u.start) + ", \"end\": " + J(u.end) +
           ", \"worker_cpu_s\": " + Number(u.cpu_seconds) +
           ", \"worker_max_rss_kb\": " + std::to_string(u.max_rss_kb) + "}";
    out += i + 1 < units.size() ? ",\n" : "\n";
  }
  return out + "]\n";
}

std::string SummaryTable(const std::vector<UnitReport>& units) {
  const std::vector<std::string> head = {"PORT", "MODEL", "FIRMWARE", "SOURCE ID", "RESULT"};
  std::vector<std::vector<std::string>> rows = {head};
  for (const UnitReport& u : units) {
    std::string source = u.source_id_before;
    if (!u.source_id_after.empty() && u.source_id_after != u.source_id_before)
      source += " -> " + u.source_id_after;
    std::string result = ResultName(u.result);
    if (!u.reason.empty()) result += ": " + u.reason;
    rows.push_back({PlainUtf8(u.port), PlainUtf8(u.model), PlainUtf8(u.firmware), PlainUtf8(source),
                    PlainUtf8(result)});
  }
  std::vector<size_t> width(head.size(), 0);
  for (const auto& r : rows)
    for (size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], DisplayWidth(r[c]));
  std::string out;
  for (const auto& r : rows) {
    std::string line;
    for (size_t c = 0; c < r.size(); ++c) {
      line += r[c];
      if (c + 1 < r.size()) line += std::string(width[c] - DisplayWidth(r[c]) + 2, ' ');
    }
    out += line + "\n";
  }
  for (const UnitReport& u : units)
    for (const std::string& f : u.files)
      out += PlainUtf8(u.port) + ": saved " + PlainUtf8(f) + "\n";
  return out;
}

}  // namespace velimo::cli::fleet
