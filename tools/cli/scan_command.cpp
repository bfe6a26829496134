#include "scan_command.h"

#include <signal.h>

#include <atomic>
#include <cctype>
#include <csignal>
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

// A raw TCP port's rate and parity are its server's: "-" for both.
std::string Line(const scan::PortResult& r) {
  const std::string family = scan::FamilyName(r.family);
  // The port's name and the modem's bytes are escaped, so a tab or an
  // escape sequence in them neither shifts the columns nor reaches the
  // terminal.
  return PlainUtf8(r.port) + "\t" + (r.family_only ? "-" : std::to_string(r.baud)) + "\t" +
         (r.family_only ? "-" : r.parity) + "\t" + (family.empty() ? "unknown" : family) + "\t" +
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
         (r.family_only ? ",\"family_only\":true" : "") + "}";
}

// Set by Ctrl-C while a scan runs: each port's probe ends at once and
// gives its line back its settings.
std::atomic<bool> g_interrupted{false};

void OnInterrupt(int signal) {
  g_interrupted.store(true);
#ifdef _WIN32
  std::signal(signal, OnInterrupt);  // Windows' C library took it away
#else
  (void)signal;
#endif
}

// Ctrl-C (and a polite kill) stop the scan instead of the program for as
// long as one of these lives.
class InterruptStopsScan {
 public:
#ifdef _WIN32
  // Ctrl-C and Ctrl-Break reach a console program as SIGINT and SIGBREAK.
  InterruptStopsScan() {
    g_interrupted.store(false);
    old_int_ = std::signal(SIGINT, OnInterrupt);
    old_break_ = std::signal(SIGBREAK, OnInterrupt);
  }
  ~InterruptStopsScan() {
    std::signal(SIGINT, old_int_);
    std::signal(SIGBREAK, old_break_);
  }
#else
  InterruptStopsScan() {
    g_interrupted.store(false);
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_int_);
    sigaction(SIGTERM, &sa, &old_term_);
  }
  ~InterruptStopsScan() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }
#endif
  InterruptStopsScan(const InterruptStopsScan&) = delete;
  InterruptStopsScan& operator=(const InterruptStopsScan&) = delete;

 private:
#ifdef _WIN32
  void (*old_int_)(int) = SIG_DFL;
  void (*old_break_)(int) = SIG_DFL;
#else
  struct sigaction old_int_ = {}, old_term_ = {};
#endif
};

std::vector<scan::PortResult> Scan(scan::ScanOptions options) {
  InterruptStopsScan stop;
  options.cancel = &g_interrupted;
  return scan::ScanPorts(options);
}

// When nothing was found: each port tried, with why it gave nothing.
void ReportNothingFound(const std::vector<scan::PortResult>& results) {
  if (g_interrupted.load()) {
    Complain("scan stopped; no modem found");
  } else if (results.empty()) {
    Complain("no modem found: there is no serial port to scan");
    return;
  } else {
    Complain("no modem found");
  }
  for (const scan::PortResult& r : results)
    std::fprintf(stderr, "  %s: %s\n", r.port.c_str(), r.Why().c_str());
}

void NoteFamilyOnly(const std::vector<scan::PortResult>& results) {
  for (const scan::PortResult& r : results)
    if (r.outcome == scan::PortResult::Outcome::Found && r.family_only)
      Complain(r.port +
               ": only the family is told: a raw TCP port runs at its server's fixed rate and "
               "parity");
}

// Tells of the ports that could not be scanned; true when one failed
// (rather than being merely in use or silent). A port the operator named
// that is in use failed: it was asked for and could not be probed.
bool ReportSkipped(const std::vector<scan::PortResult>& results, bool named) {
  bool failed = false;
  for (const scan::PortResult& r : results) {
    if (r.outcome == scan::PortResult::Outcome::InUse && named) {
      failed = true;
      Complain(r.port + ": " + r.Why());
    } else if (r.outcome == scan::PortResult::Outcome::InUse) {
      Complain(r.port + " skipped: " + r.Why());
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
  const std::vector<scan::PortResult> results = Scan(options);
  std::string out = json ? "[" : "";
  int found = 0;
  for (const scan::PortResult& r : results) {
    if (r.outcome != scan::PortResult::Outcome::Found) continue;
    out += json ? (found ? "," : "") + Json(r) : Line(r);
    ++found;
  }
  if (json) out += "]\n";
  Write(out);
  NoteFamilyOnly(results);
  const bool named = !options.ports.empty();
  if (found > 0) {
    const bool failed = ReportSkipped(results, named);
    if (g_interrupted.load()) return kExitInterrupted;
    return failed ? kExitFailure : kExitDone;
  }
  ReportNothingFound(results);
  if (g_interrupted.load()) return kExitInterrupted;
  // A port named on the command line that failed, or is in use, was asked
  // for and could not be probed: a failure. Nothing on the ports of the
  // system is "nothing found".
  for (const scan::PortResult& r : results)
    if (r.outcome == scan::PortResult::Outcome::Failed ||
        (named && r.outcome == scan::PortResult::Outcome::InUse))
      return kExitFailure;
  return kExitShortOf;
}

int ResolveAuto(CliOptions& options) {
  const bool autoPort = options.port == "auto";
  const bool autoModel = options.model == 'a';
  if (!autoPort && !autoModel) return -1;
  scan::ScanOptions scan;
  if (!autoPort) scan.ports.push_back(options.port);
  const std::vector<scan::PortResult> results = Scan(scan);
  std::vector<const scan::PortResult*> found;
  for (const scan::PortResult& r : results)
    if (r.outcome == scan::PortResult::Outcome::Found) found.push_back(&r);
  if (g_interrupted.load()) {
    ReportNothingFound(results);
    return 130;
  }
  if (found.empty()) {
    ReportNothingFound(results);
    if (!autoPort && !results.empty() &&
        (results.front().outcome == scan::PortResult::Outcome::Failed ||
         results.front().outcome == scan::PortResult::Outcome::InUse))
      return kExitFailure;
    return kExitShortOf;
  }
  if (ReportSkipped(results, !autoPort)) return kExitFailure;
  NoteFamilyOnly(results);
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
  if (!r.family_only) {
    options.baud = std::to_string(r.baud);
    options.parity = r.parity;
  }
  if (autoModel) options.model = scan::FamilyModel(r.family);
  if (r.family_only)
    std::fprintf(stderr, "velimo-cli: found %s on %s at the server's fixed rate\n",
                 scan::FamilyName(r.family), r.port.c_str());
  else
    std::fprintf(stderr, "velimo-cli: found %s on %s at %d %s\n", scan::FamilyName(r.family),
                 r.port.c_str(), r.baud, r.parity.c_str());
  return -1;
}

std::vector<FoundPort> ScanForBench() {
  const std::vector<scan::PortResult> results = Scan(scan::ScanOptions{});
  ReportSkipped(results, false);
  std::vector<FoundPort> found;
  for (const scan::PortResult& r : results) {
    if (r.outcome != scan::PortResult::Outcome::Found || r.family_only) continue;
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
