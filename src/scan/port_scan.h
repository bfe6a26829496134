// Finding modems: free ports are probed side by side, each at the
// connect dialog's rates, most common first, and each parity, with the
// status query and nothing else; the first configuration report heard on
// a port ends its search. A port another process has open is not touched
// and is named with its holder; a probed port gets back exactly the line
// settings it had. One device is probed once, whatever names lead to it.
// Network ports are probed through their server: rfc2217:// at each rate
// and parity as a local port, tcp:// once at the server's fixed rate.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "scan/report_lines.h"
#include "serial/com_port.h"
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
  // Stopped: the scan was cancelled before the port was done.
  enum class Outcome { Found, Silent, InUse, Failed, Stopped };
  std::string port;
  Outcome outcome = Outcome::Silent;
  // Found:
  int baud = 0;
  std::string parity;  // "None", "Odd", "Even", as the connect dialog spells them
  Family family = Family::Unknown;
  std::string firmware;
  std::string source_id;
  // A raw TCP port: the server's rate and parity are fixed and unknown
  // here, so only the family was told (baud 0, parity empty).
  bool family_only = false;
  // InUse, Failed: why, as for a refused open ("in use by PID 812
  // (agetty)" first for a held port).
  std::vector<std::string> reasons;
  // The rate and parity pairs the status query went out at.
  int settings_tried = 0;
  int64_t elapsed_ms = 0;

  // Why the port gave no modem, one line without the port: "no answer at
  // 42 settings", "in use by PID 812 (agetty)", the first refusal reason.
  std::string Why() const;
};

// The rates in the order they are tried: 9600, 115200, 57600, 38400,
// 19200, then the dialog's others from the highest down.
const std::vector<int>& ScanRates();
const std::vector<std::string>& ScanParities();

// At most this many ports are probed at a time.
inline constexpr size_t kMaxProbeThreads = 8;

// Probes the ports in parallel, on at most kMaxProbeThreads threads;
// results in the order of the ports. Of names that lead to one device
// ("COM1" and /dev/ttyS0, a by-id link and its tty) only the first is
// probed and reported. portDone, when given, hears each port's result as
// soon as its probe ends, on the probe's thread (so from several threads
// at once).
std::vector<PortResult> ScanPorts(const ScanOptions& options,
                                  const std::function<void(const PortResult&)>& portDone = {});

// One status query at the line as setup leaves it (the rate, parity and
// the rest the caller copies onto the probe's own port), listened to for
// options.listen_ms: who answers at a port, read into a result of its own
// and nothing else. The same rules as a scan: a held line is not touched,
// the line gets its settings back.
PortResult ReadReport(const std::string& port, const std::function<void(serial::TComPort&)>& setup,
                      const ScanOptions& options);

// What a port name leads to: the device's real path, or the network
// port's name; equal keys are one device.
std::string DeviceKey(const std::string& port);

// Probes one port (the work of one thread of ScanPorts).
PortResult ScanPort(const std::string& port, const ScanOptions& options);

}  // namespace velimo::scan
