#include "scan_command.h"

#include <cctype>
#include <cstdio>

#include "exit_status.h"
#include "output.h"
#include "scan/port_scan.h"

namespace velimo::cli {

namespace {

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Complain(const std::string& text) {
  std::fprintf(stderr, "velimo-cli: %s\n", PlainUtf8(text).c_str());
}

std::string Line(const scan::PortResult& r) {
  const std::string family = scan::FamilyName(r.family);
  // The firmware and source ID are the modem's bytes: escaped, so a tab or
  // an escape sequence in them neither shifts the columns nor reaches the
  // terminal.
  return PlainUtf8(r.port) + "\t" + std::to_string(r.baud) + "\t" + r.parity + "\t" +
         (family.empty() ? "unknown" : family) + "\t" +
         (r.firmware.empty() ? "-" : PlainText(r.firmware)) + "\t" +
         (r.source_id.empty() ? "-" : PlainText(r.source_id)) + "\n";
}

std::string Json(const scan::PortResult& r) {
  return "{\"port\":" + JsonStringUtf8(r.port) + ",\"baud\":" + std::to_string(r.baud) +
         ",\"parity\":" + JsonString(r.parity) +
         ",\"family\":" + JsonString(scan::FamilyName(r.family)) + ",\"model\":" +
         JsonString(
             std::string(1, scan::FamilyModel(r.family) ? scan::FamilyModel(r.family) : '-')) +
         ",\"firmware\":" + JsonString(r.firmware) + ",\"source_id\":" + JsonString(r.source_id) +
         "}";
}

// Tells of the ports that could not be scanned; true when one failed
// (rather than being merely in use or silent). A port the operator named
// that is in use failed: it was asked for and could not be probed.
bool ReportSkipped(const std::vector<scan::PortResult>& results, bool named) {
  bool failed = false;
  for (const scan::PortResult& r : results) {
    if (r.outcome == scan::PortResult::Outcome::InUse && named) {
      failed = true;
      Complain(r.port + ": " + (r.reasons.empty() ? "in use" : r.reasons.front()));
    } else if (r.outcome == scan::PortResult::Outcome::InUse) {
      Complain(r.port + " skipped: " + (r.reasons.empty() ? "in use" : r.reasons.front()));
    } else if (r.outcome == scan::PortResult::Outcome::Failed) {
      failed = true;
      Complain(r.port + ": " + (r.reasons.empty() ? "failed" : r.reasons.front()));
    }
  }
  return failed;
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args) {
  scan::ScanOptions options;
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if ((a == "--port" || a == "--root") && i + 1 < args.size()) {
      (a == "--port" ? options.ports.push_back(args[++i])
                     : void(options.roots = serial::SystemRoots::Under(args[++i])));
    } else if (a.rfind("--port=", 0) == 0) {
      options.ports.push_back(a.substr(7));
    } else {
      Complain("scan takes --port P (any number of times), --json and --root DIR, not \"" + a +
               "\"");
      return 2;
    }
  }
  const std::vector<scan::PortResult> results = scan::ScanPorts(options);
  std::string out = json ? "[" : "";
  int found = 0;
  for (const scan::PortResult& r : results) {
    if (r.outcome != scan::PortResult::Outcome::Found) continue;
    out += json ? (found ? "," : "") + Json(r) : Line(r);
    ++found;
  }
  if (json) out += "]\n";
  Write(out);
  const bool failed = ReportSkipped(results, !options.ports.empty());
  if (failed) return kExitFailure;
  return found > 0 ? kExitDone : kExitShortOf;
}

int ResolveAuto(CliOptions& options) {
  const bool autoPort = options.port == "auto";
  const bool autoModel = options.model == 'a';
  if (!autoPort && !autoModel) return -1;
  scan::ScanOptions scan;
  if (!autoPort) scan.ports.push_back(options.port);
  const std::vector<scan::PortResult> results = scan::ScanPorts(scan);
  const bool failed = ReportSkipped(results, !autoPort);
  if (failed) return kExitFailure;
  std::vector<const scan::PortResult*> found;
  for (const scan::PortResult& r : results)
    if (r.outcome == scan::PortResult::Outcome::Found) found.push_back(&r);
  if (found.empty()) {
    Complain("no modem found");
    return kExitShortOf;
  }
  if (found.size() > 1) {
    std::string names;
    for (const scan::PortResult* r : found)
      names += "\n  " + r->port + " (" + scan::FamilyName(r->family) + ", " +
               std::to_string(r->baud) + " " + r->parity + ")";
    Complain("several modems found; name one with --port:" + names);
    return kExitFailure;
  }
  const scan::PortResult& r = *found.front();
  if (r.family == scan::Family::Unknown && autoModel) {
    Complain(r.port + " answered, but its family cannot be told; name it with --model");
    return kExitFailure;
  }
  options.port = r.port;
  options.baud = std::to_string(r.baud);
  options.parity = r.parity;
  if (autoModel) options.model = scan::FamilyModel(r.family);
  std::fprintf(stderr, "velimo-cli: found %s on %s at %d %s\n", scan::FamilyName(r.family),
               r.port.c_str(), r.baud, r.parity.c_str());
  return -1;
}

std::vector<FoundPort> ScanForBench() {
  const std::vector<scan::PortResult> results = scan::ScanPorts(scan::ScanOptions{});
  ReportSkipped(results, false);
  std::vector<FoundPort> found;
  for (const scan::PortResult& r : results) {
    if (r.outcome != scan::PortResult::Outcome::Found) continue;
    FoundPort p;
    p.path = r.port;
    if (const auto id = serial::FindPort(r.port)) {
      p.by_id = id->by_id;
      p.usb_serial = id->serial;
    }
    std::string parity = r.parity;
    for (char& c : parity) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.link_args = {"--baud", std::to_string(r.baud), "--parity", parity};
    found.push_back(std::move(p));
  }
  return found;
}

}  // namespace velimo::cli
