// Several simulated modems from one command, for benches of many units:
//
//   velimo-modem-sim --bench 4s,2u,r,i --dir /tmp/bench [options for each]
//
// starts one simulator process per modem (4 sTavi, 2 uTavi, an rTavi and
// an ioTavi here), each on its own pseudo-terminal linked as
// DIR/ttyVelimo-<n> and keeping its configuration in DIR/modem-<n>.state
// (n counts from 1 across the list). Each prints its link when it is ready,
// as a single simulator does. SIGINT or SIGTERM ends them all; the bench
// ends when the last of them has ended.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velimo::sim {

struct BenchPlan {
  std::string dir = ".";
  std::vector<char> models;         // one model code per modem, in order
  std::vector<std::string> common;  // options given to every modem
};

struct ParsedBench {
  std::optional<BenchPlan> plan;  // empty: a usage error, or no --bench
  std::string error;              // empty when there was no --bench
};

// Finds --bench in the arguments; the rest but --dir go to every modem.
// --link, --state and --model belong to each modem and are refused.
ParsedBench ParseBench(const std::vector<std::string>& args);

// The arguments of modem i (0-based) of the plan, after the program name.
std::vector<std::string> BenchModemArgs(const BenchPlan& plan, size_t i);

// Starts the modems and waits for them. Returns the exit status: 0 when
// every modem ended well.
int RunBench(const BenchPlan& plan, const std::string& program);

}  // namespace velimo::sim
