#include "scan/port_scan.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/com_port.h"
#include "serial/open_refusal.h"
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

PortResult ScanPort(const std::string& port, const ScanOptions& options) {
  const auto start = Clock::now();
  PortResult result;
  result.port = port;
  serial::TComPort com;
  // No event thread: this thread is the only reader.
  com.SetEvents(serial::TComEvents());
  com.SetPort(port);
  com.SetBaudRate(serial::brCustom);
  com.SetCustomBaudRate(ScanRates().front());
  com.FlowControl().SetFlowControl(serial::fcNone);
  com.FlowControl().SetControlDTR(serial::dtrEnable);
  try {
    com.OpenPort();
  } catch (const serial::EComPort& e) {
    if (com.Connected()) com.ClosePort();
    result.outcome = e.Code() == serial::CError_OpenFailed && e.ErrorCode() == EBUSY
                         ? PortResult::Outcome::InUse
                         : PortResult::Outcome::Failed;
    result.reasons = serial::RefusalReasons(port, e.Code(), e.ErrorCode(), options.roots);
    result.elapsed_ms = MsSince(start);
    return result;
  }

  auto cancelled = [&] { return options.cancel && options.cancel->load(); };
  try {
    for (int rate : ScanRates()) {
      for (const std::string& parity : ScanParities()) {
        if (cancelled()) break;
        com.SetCustomBaudRate(rate);
        com.Parity().SetBits(ParityBits(parity));
        com.PurgeQueues(true, true);
        // The status query, paced as every command is sent; nothing else
        // ever goes out during a scan.
        for (char byte : std::string("AT&V\r")) {
          com.WriteBytes(&byte, 1);
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ReportReader reader;
        std::string pending;
        const auto asked = Clock::now();
        auto until = asked + std::chrono::milliseconds(options.listen_ms);
        const auto latest = asked + std::chrono::milliseconds(kLongestReportMs);
        while (Clock::now() < until && !reader.Complete()) {
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
        if (!reader.Heard()) continue;
        result.outcome = PortResult::Outcome::Found;
        result.baud = rate;
        result.parity = parity;
        result.family = reader.Which();
        result.firmware = reader.Firmware();
        result.source_id = reader.SourceId();
        com.ClosePort();
        result.elapsed_ms = MsSince(start);
        return result;
      }
    }
  } catch (const serial::EComPort& e) {
    // The adapter went away or refused a rate.
    result.outcome = PortResult::Outcome::Failed;
    result.reasons = {std::string("The port failed during the scan: ") + e.what()};
  }
  try {
    com.ClosePort();
  } catch (const std::exception&) {
  }
  result.elapsed_ms = MsSince(start);
  return result;
}

std::vector<PortResult> ScanPorts(const ScanOptions& options) {
  std::vector<std::string> ports = options.ports;
  if (ports.empty()) {
    if (auto listed = serial::EnumerateSerialPorts(options.roots.sys_class_tty, options.roots.dev))
      ports = *listed;
  }
  std::vector<PortResult> results(ports.size());
  std::vector<std::thread> threads;
  threads.reserve(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    threads.emplace_back([&, i] { results[i] = ScanPort(ports[i], options); });
  }
  for (std::thread& t : threads) t.join();
  return results;
}

}  // namespace velimo::scan
