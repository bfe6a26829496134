// The program as an operator runs it, for the benchmarks that need a modem:
// a velimo-modem-sim child process on a pseudo-terminal in a folder of its
// own, and a headless session of the form model with the real serial port
// and the real clock, connected to it. The platform adds up the pauses it
// is asked for, which is the nominal length of what was sent: 5 ms per byte
// written and the pauses between the commands of a sequence.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/headless_platform.h"
#include "session.h"
#include "support/child_process.h"

namespace velimo::bench {

class CountingPlatform : public forms::HeadlessPlatform {
 public:
  void Pause(int ms) override {
    (ms == 5 ? byte_pauses : other_pauses) += 1;
    nominal_ms += ms;
    HeadlessPlatform::Pause(ms);
  }
  void ResetCounts() {
    nominal_ms = 0;
    byte_pauses = other_pauses = 0;
  }
  int64_t nominal_ms = 0;
  int byte_pauses = 0;   // one per byte written
  int other_pauses = 0;  // between the commands of a sequence
};

class SimRig {
 public:
  // Starts the simulator for model ('s', 'u', 'r', 'i') and the program,
  // chooses the model and connects; the status report is read before it
  // returns. Exits the process with a message when any of that fails.
  explicit SimRig(char model);
  ~SimRig();
  SimRig(const SimRig&) = delete;
  SimRig& operator=(const SimRig&) = delete;

  cli::Session& S() { return *session_; }
  CountingPlatform& Platform() { return *platform_; }
  pid_t SimPid() const { return sim_.Pid(); }

  // The operator types or picks a value; exits on an unknown control.
  void Set(const std::string& name, const std::string& value);
  // Clicks (the handler runs to its end) without serving anything after.
  void Click(const std::string& name);
  // Serves events until the line has been quiet a while.
  void Settle();

  // Message boxes since the last call.
  std::vector<std::string> TakeMessages();

 private:
  std::string dir_;
  test::SimProcess sim_;
  std::unique_ptr<CountingPlatform> platform_;
  std::unique_ptr<cli::Session> session_;
  std::vector<std::string> messages_;
};

// CPU seconds used so far by this process (all threads) and by a waited-for
// child or a running one (from /proc).
double ProcessCpuSeconds();
double ChildCpuSeconds(pid_t pid);

// Monotonic seconds.
double NowSeconds();

}  // namespace velimo::bench
