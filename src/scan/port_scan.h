// Finding modems: each free port is probed in a thread of its own at the
// connect dialog's rates, most common first, and each parity, with the
// status query and nothing else; the first configuration report heard on
// a port ends its search. A port in use is skipped and named.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "scan/report_lines.h"
#include "serial/port_identity.h"

namespace velimo::scan {

struct ScanOptions {
  // The ports to probe (names as the connect dialog takes them); empty:
  // every port of the system's list.
  std::vector<std::string> ports;
  serial::SystemRoots roots;
  // How long each rate and parity is listened to after the query.
  int listen_ms = 180;
  // Set from another thread to end the scan early.
  const std::atomic<bool>* cancel = nullptr;
};

struct PortResult {
  enum class Outcome { Found, Silent, InUse, Failed };
  std::string port;
  Outcome outcome = Outcome::Silent;
  // Found:
  int baud = 0;
  std::string parity;  // "None", "Odd", "Even", as the connect dialog spells them
  Family family = Family::Unknown;
  std::string firmware;
  std::string source_id;
  // InUse, Failed: why, as for a refused open.
  std::vector<std::string> reasons;
  int64_t elapsed_ms = 0;
};

// The rates in the order they are tried: 9600, 115200, 57600, 38400,
// 19200, then the dialog's others from the highest down.
const std::vector<int>& ScanRates();
const std::vector<std::string>& ScanParities();

// Probes the ports in parallel; results in the order of the ports.
std::vector<PortResult> ScanPorts(const ScanOptions& options);

// Probes one port (the work of one thread of ScanPorts).
PortResult ScanPort(const std::string& port, const ScanOptions& options);

}  // namespace velimo::scan
