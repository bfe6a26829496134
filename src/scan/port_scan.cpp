#include "scan/port_scan.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <thread>

#include "serial/com_port.h"
#include "serial/net/network_port.h"
#include "serial/net/port_address.h"
#include "serial/open_refusal.h"
#include "serial/port_holders.h"
#include "serial/port_list.h"

namespace velimo::scan {

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

serial::TParityBits ParityBits(const std::string& parity) {
  return parity == "Odd" ? serial::prOdd : parity == "Even" ? serial::prEven : serial::prNone;
}

// After the first line of a report, how long the line may stay quiet
// before the report counts as ended, and the longest a report may take.
constexpr int kQuietAfterReportMs = 150;
constexpr int kLongestReportMs = 1500;

}  // namespace

const std::vector<int>& ScanRates() {
  static const std::vector<int> rates = {9600,   115200, 57600, 38400, 19200, 921600, 460800,
                                         230400, 7200,   4800,  3600,  2400,  1200,   600};
  return rates;
}

const std::vector<std::string>& ScanParities() {
  static const std::vector<std::string> parities = {"None", "Odd", "Even"};
  return parities;
}

std::string PortResult::Why() const {
  switch (outcome) {
    case Outcome::Found:
      return "a modem answers";
    case Outcome::Silent:
      return "no answer at " + std::to_string(settings_tried) +
             (settings_tried == 1 ? " setting" : " settings");
    case Outcome::Stopped:
      return "stopped after " + std::to_string(settings_tried) +
             (settings_tried == 1 ? " setting" : " settings");
    default:
      return reasons.empty() ? std::string("failed") : reasons.front();
  }
}

std::string DeviceKey(const std::string& port) {
  if (serial::net::IsNetworkPortName(port)) return port;
  const std::string path = serial::DevicePathOf(port);
#ifdef _WIN32
  // A COM port has one name; case aside.
  std::string key = path.starts_with("\\\\.\\") ? path.substr(4) : path;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
#else
  char real[PATH_MAX];
  return realpath(path.c_str(), real) ? std::string(real) : path;
#endif
}

namespace {

// "in use by PID 812 (agetty), PID 900 (minicom)".
std::string InUseBy(const std::vector<serial::ProcessRef>& holders) {
  std::string text = "in use by ";
  for (size_t i = 0; i < holders.size(); ++i)
    text += (i ? ", " : "") + serial::Describe(holders[i]);
  return text;
}

// Reads what answers one status query; false when the wait was cancelled.
bool ListenForReport(serial::TComPort& com, const ScanOptions& options, ReportReader& reader) {
  auto cancelled = [&] { return options.cancel && options.cancel->load(); };
  std::string pending;
  const auto asked = Clock::now();
  auto until = asked + std::chrono::milliseconds(options.listen_ms);
  const auto latest = asked + std::chrono::milliseconds(kLongestReportMs);
  while (Clock::now() < until && !reader.Complete()) {
    if (cancelled()) return false;
    char buffer[512];
    const int n = com.ReadBytes(buffer, sizeof buffer);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      reader.Feed(std::string_view(pending).substr(0, end + 1));
      pending.erase(0, end + 1);
    }
    // A report is coming: wait for the rest of it while bytes keep
    // arriving.
    if (reader.Heard())
      until = std::min(latest, Clock::now() + std::chrono::milliseconds(kQuietAfterReportMs));
  }
  if (!pending.empty()) reader.Feed(pending);
  return true;
}

}  // namespace

namespace {

// One setting the status query goes out at: a rate and parity of the
// scan, or the line as the caller set it up (rate 0: as it is).
struct Attempt {
  int baud = 0;
  std::string parity;
};

PortResult Probe(const std::string& port, const ScanOptions& options,
                 const std::function<void(serial::TComPort&)>& setup,
                 const std::vector<Attempt>& attempts, bool rawTcp) {
  const auto start = Clock::now();
  PortResult result;
  result.port = port;
  auto finish = [&](PortResult::Outcome outcome) {
    result.outcome = outcome;
    result.elapsed_ms = MsSince(start);
    return result;
  };
  auto cancelled = [&] { return options.cancel && options.cancel->load(); };
  if (cancelled()) return finish(PortResult::Outcome::Stopped);

  const bool network = serial::net::IsNetworkPortName(port);
  // Before the first byte: a line another process has open is its own.
  if (!network) {
    const std::vector<serial::ProcessRef> holders =
        serial::HoldersOf(serial::DevicePathOf(port), options.roots.proc);
    if (!holders.empty()) {
      result.reasons = {InUseBy(holders)};
      return finish(PortResult::Outcome::InUse);
    }
  }

  serial::TComPort com;
  // No event thread: this thread is the only reader.
  com.SetEvents(serial::TComEvents());
  com.SetTransportFactory(serial::net::NetworkTransportFor);
  com.SetRestoreLineOnClose(true);
  com.SetPort(port);
  com.SetBaudRate(serial::brCustom);
  com.SetCustomBaudRate(ScanRates().front());
  com.FlowControl().SetFlowControl(serial::fcNone);
  com.FlowControl().SetControlDTR(serial::dtrEnable);
  if (setup) setup(com);
  try {
    com.OpenPort();
  } catch (const serial::EComPort& e) {
    if (com.Connected()) com.ClosePort();
    if (e.Code() == serial::CError_OpenFailed && e.ErrorCode() == EBUSY && !network) {
      // A holder that /proc shows was found above; one that came since is
      // named now, and one this user may not look at stays unnamed.
      const std::vector<serial::ProcessRef> holders =
          serial::HoldersOf(serial::DevicePathOf(port), options.roots.proc);
      result.reasons = {holders.empty() ? std::string("in use by a process of another user")
                                        : InUseBy(holders)};
      return finish(PortResult::Outcome::InUse);
    }
    result.reasons = !e.Reason().empty()
                         ? std::vector<std::string>{e.Reason()}
                         : serial::RefusalReasons(port, e.Code(), e.ErrorCode(), options.roots);
    return finish(PortResult::Outcome::Failed);
  }

  PortResult::Outcome outcome = PortResult::Outcome::Silent;
  try {
    for (const Attempt& at : attempts) {
      if (cancelled()) {
        outcome = PortResult::Outcome::Stopped;
        break;
      }
      if (at.baud > 0) {
        com.SetCustomBaudRate(at.baud);
        com.Parity().SetBits(ParityBits(at.parity));
      }
      com.PurgeQueues(true, true);
      // The status query, paced as every command is sent; nothing else
      // ever goes out during a scan.
      for (char byte : std::string("AT&V\r")) {
        com.WriteBytes(&byte, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      ++result.settings_tried;
      ReportReader reader;
      if (!ListenForReport(com, options, reader)) {
        outcome = PortResult::Outcome::Stopped;
        break;
      }
      if (!reader.Heard()) continue;
      outcome = PortResult::Outcome::Found;
      result.baud = rawTcp ? 0 : at.baud > 0 ? at.baud : com.EffectiveBaudRate();
      result.parity = rawTcp ? std::string() : at.parity;
      result.family_only = rawTcp;
      result.family = reader.Which();
      result.firmware = reader.Firmware();
      result.source_id = reader.SourceId();
      break;
    }
  } catch (const serial::EComPort& e) {
    // The adapter went away or refused a rate.
    outcome = PortResult::Outcome::Failed;
    result.reasons = {std::string("The port failed during the scan: ") + e.what()};
  }
  // Closing gives the line its own settings back, also after a failure.
  try {
    com.ClosePort();
  } catch (const std::exception&) {
  }
  return finish(outcome);
}

}  // namespace

PortResult ScanPort(const std::string& port, const ScanOptions& options) {
  // A raw TCP server runs its line at a rate of its own: one query at
  // whatever it is.
  const bool rawTcp = serial::net::IsNetworkPortName(port) && port.rfind("tcp://", 0) == 0;
  std::vector<Attempt> attempts;
  if (rawTcp) {
    attempts.push_back({ScanRates().front(), "None"});
  } else {
    for (int rate : ScanRates())
      for (const std::string& parity : ScanParities()) attempts.push_back({rate, parity});
  }
  return Probe(port, options, nullptr, attempts, rawTcp);
}

PortResult ReadReport(const std::string& port, const std::function<void(serial::TComPort&)>& setup,
                      const ScanOptions& options) {
  return Probe(port, options, setup, {Attempt{}}, false);
}

std::vector<PortResult> ScanPorts(const ScanOptions& options,
                                  const std::function<void(const PortResult&)>& portDone) {
  std::vector<std::string> listed = options.ports;
  if (listed.empty()) {
    if (auto found = serial::EnumerateSerialPorts(options.roots.sys_class_tty, options.roots.dev))
      listed = *found;
  }
  std::vector<std::string> ports;
  std::vector<std::string> keys;
  for (const std::string& port : listed) {
    std::string key = DeviceKey(port);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(std::move(key));
    ports.push_back(port);
  }
  std::vector<PortResult> results(ports.size());
  // Each thread takes the next port not yet taken: a silent port holds
  // one thread for its whole round of settings, the others go on.
  std::atomic<size_t> next{0};
  auto probeNext = [&] {
    for (size_t i; (i = next.fetch_add(1)) < ports.size();) {
      results[i] = ScanPort(ports[i], options);
      if (portDone) portDone(results[i]);
    }
  };
  std::vector<std::thread> threads;
  for (size_t n = std::min(ports.size(), kMaxProbeThreads); threads.size() < n;)
    threads.emplace_back(probeNext);
  for (std::thread& t : threads) t.join();
  return results;
}

}  // namespace velimo::scan
