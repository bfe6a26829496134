// Faults the program must survive: the adapter pulled out, a port it may not
// have, a log or settings file that cannot be written, a modem that floods
// the line. Each test gets a folder of its own, the program as a headless
// session on the real clock (real serial port, real files), and where a
// modem is needed the simulator as a child process on a pseudo-terminal
// linked into that folder. Every wait has a time limit and the whole test
// runs under a watchdog, so a hang fails instead of stalling the suite.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "forms/headless_platform.h"
#include "pty/pty_fixture.h"
#include "session.h"
#include "support/child_process.h"
#include "support/fresh_process.h"
#include "support/watchdog.h"

namespace velimo::faults {

using test::DropPrivileges;
using test::NowMs;
using test::ProcessCpuMs;
using test::Unprivileged;
using test::UnprivilegedUser;

// What a check in a process of its own came to. The body's report is
// checked in that process, a fresh start of the test program (never a
// forked copy of this one): "" is all held, "skip" a case the machine
// cannot make, anything else a failure there; a body that runs past
// limitMs is ended, failing the check. What comes back here tells nothing
// more.
struct ChildResult {
  int status = 0;
  std::string report;
  bool timed_out = false;
};
ChildResult RunInChild(const std::function<std::string()>& body, int limitMs);

// The headless platform with a look at every blocking pause: the byte
// pauses of a command (5 ms) and the pauses between the commands of a
// save-all (100 ms and more). A test pulls the adapter out from there, at
// an exact point of a transmission.
class HookedPlatform : public forms::HeadlessPlatform {
 public:
  std::function<void(int ms)> on_pause;
  void Pause(int ms) override {
    if (on_pause) on_pause(ms);
    HeadlessPlatform::Pause(ms);
  }
};

using test::DropPrivileges;
using test::ExpectInFreshProcess;
using test::Unprivileged;
using test::UnprivilegedUser;

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Also the last step of a check run in a fresh process.
  void TearDown() override;

  // ---- The simulated modem ----
  // Starts it on link_ and waits until the line is there.
  void StartSim(char model, const std::vector<std::string>& extra = {});
  // Ends it at once, as an adapter pulled out: its end of the line closes
  // with nothing said. The program's end stays open and dead.
  void KillSim();
  bool SimRunning() const { return sim_.Running(); }
  // The device behind link_.
  std::string SimDevice() const;

  // ---- The program ----
  // A start of the program in the test's folder (ends the previous one).
  void StartProgram();
  // Model chosen, dialog filled in with port, Connect pressed, answers
  // served until the line is quiet. Returns whether the port opened.
  bool ConnectTo(char model, const std::string& port);
  bool ConnectTo(char model) { return ConnectTo(model, link_); }
  void Settle();
  void Click(const std::string& name);
  void Set(const std::string& name, const std::string& value);
  std::string Value(const std::string& name);
  std::vector<std::string> TakeMessages();
  std::vector<std::string> TakeErrors();
  // The trace pane's lines, stamps removed from the trace lines.
  std::vector<std::string> TraceMessages();
  // Serves the event loop for ms and returns the CPU time the whole
  // process (event thread included) used meanwhile.
  double CpuMsWhileIdle(int ms);
  // Serves the event loop until the window shows the adapter removed (a
  // generous bound); returns whether it did.
  bool AdapterRemovalSeen();

  cli::Session& S() { return *session_; }
  forms::TForm_main& Main() { return session_->Main(); }
  HookedPlatform& Platform() { return *platform_; }

  std::string dir_;
  std::string link_;
  std::string state_;
  std::string settings_;

 private:
  std::unique_ptr<test::Watchdog> watchdog_;
  std::unique_ptr<HookedPlatform> platform_;
  std::unique_ptr<cli::Session> session_;
  std::vector<std::string> messages_;
  std::vector<std::string> errors_;
  test::SimProcess sim_;
};

}  // namespace velimo::faults
