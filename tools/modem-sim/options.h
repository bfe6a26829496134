// Command line of velimo-modem-sim.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "modem.h"

namespace velimo::sim {

struct Options {
  Family model = Family::kSTavi;       // names the default link
  Family behaves_as = Family::kSTavi;  // answers as this family (--foreign)
  std::string link;                    // ./ttyVelimo-<model> unless given
  std::string state_file;              // empty: the configuration is not kept
  Firmware firmware = Firmware::k1_3;
  bool silent = false;
  int delay_ms = 0;
  int chunk = 0;  // 0: each answer in one write
  int chunk_pause_ms = 10;
  int vanish_after = 0;  // 0: never
  // Command texts ("AT+CH=", "AT+485+BAU=", "IV" for the IV line) whose
  // settings are acknowledged but kept as they were.
  std::set<std::string> ignored;
  // Answer lines left out: those beginning with one of these texts.
  std::set<std::string> omitted;
  // After acknowledging a new rate, answer only while the line runs at it.
  bool rate_watch = false;
  // Answer only while the line runs at this rate (0: at any).
  int line_rate = 0;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

struct ParsedOptions {
  std::optional<Options> options;  // empty on a usage error
  std::string error;
};

// Parses the arguments after the program name. "--name value" and
// "--name=value" are both accepted.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

// The command text a setting key of --ignore stands for: "CH" gives
// "AT+CH=", "485+BAU" gives "AT+485+BAU=", "AESIV" the IV line ("IV").
std::string IgnoredCommand(std::string_view key);

}  // namespace velimo::sim
