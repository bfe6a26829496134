// velimo-cli scan: the modems on the free serial ports, found with the
// status query alone; and the single modem --port auto / --model auto
// stand for.
#pragma once

#include <string>
#include <vector>

#include "cli_options.h"

namespace velimo::cli {

// args: what follows the word "scan". Returns the exit status: 0 when a
// modem was found, 3 when none was, 1 when a named port is in use or
// failed, 2 on a usage error.
int RunScanCommand(const std::vector<std::string>& args);

// Fills in port, rate, parity and model from a scan when the options ask
// for "auto". Returns an exit status to end with (after saying why), or
// -1 to go on.
int ResolveAuto(CliOptions& options);

// A bench's "--port all": every free port a scan finds a modem on, each
// with the rate and parity it answered at as worker options; ports in use
// are named on standard error.
struct FoundPort {
  std::string path, by_id, usb_serial;
  std::vector<std::string> link_args;  // --baud N --parity P
};
std::vector<FoundPort> ScanForBench();

}  // namespace velimo::cli
