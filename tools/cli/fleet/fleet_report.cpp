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
  }
  return "failed";
}

int FleetExitStatus(const std::vector<UnitReport>& units) {
  if (units.empty()) return 1;
  bool short_of = false;
  for (const UnitReport& u : units) {
    if (u.result == UnitResult::kFailed) return 1;
    if (u.result == UnitResult::kDidNotStick || u.result == UnitResult::kDiffers) short_of = true;
  }
  return short_of ? 3 : 0;
}

std::string ReportCsv(const std::vector<UnitReport>& units) {
  std::string out =
      "port,by_id,usb_serial,model,firmware,source_id_before,source_id_after,result,reason,"
      "differences,start,end\r\n";
  for (const UnitReport& u : units) {
    const std::vector<std::string> fields = {u.port,
                                             u.by_id,
                                             u.usb_serial,
                                             u.model,
                                             u.firmware,
                                             u.source_id_before,
                                             u.source_id_after,
                                             ResultName(u.result),
                                             u.reason,
                                             Joined(u.differences, "; "),
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

std::string ReportJson(const std::vector<UnitReport>& units) {
  std::string out = "[\n";
  for (size_t i = 0; i < units.size(); ++i) {
    const UnitReport& u = units[i];
    std::string diffs = "[";
    for (size_t d = 0; d < u.differences.size(); ++d)
      diffs += (d ? ", " : "") + J(u.differences[d]);
    diffs += "]";
    out += "  {\"port\": " + J(u.port) + ", \"by_id\": " + J(u.by_id) +
           ", \"usb_serial\": " + J(u.usb_serial) + ", \"model\": " + J(u.model) +
           ", \"firmware\": " + J(u.firmware) + ", \"source_id_before\": " + J(u.source_id_before) +
           ", \"source_id_after\": " + J(u.source_id_after) +
           ", \"result\": " + J(ResultName(u.result)) + ", \"reason\": " + J(u.reason) +
           ", \"differences\": " + diffs + ", \"start\": " + J(u.start) + ", \"end\": " + J(u.end) +
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
  return out;
}

}  // namespace velimo::cli::fleet
