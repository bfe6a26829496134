// The program against the simulated modem: each test gets a folder of its
// own, a velimo-modem-sim child process on a pseudo-terminal linked into
// that folder (its configuration kept in a state file there), and a
// headless session of the program driven by control names, with the real
// serial port and the real clock. Every wait has a time limit, and the
// whole test runs under a watchdog that ends the process when it hangs.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/headless_platform.h"
#include "modem.h"
#include "session.h"
#include "support/child_process.h"
#include "support/watchdog.h"

namespace velimo::e2e {

// A finished child process: its exit status (or -signal) and output.
struct ProcessResult {
  int status = -1000;  // exit status; -N when killed by signal N
  std::string out;
  std::string err;
  bool timed_out = false;
};

// Runs a program in a folder and waits for it at most limitMs.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir, int limitMs);

// A file's whole content ("" when it cannot be read).
std::string Slurp(const std::string& path);
// The lines the simulator's log (--verbose) says it received, in order;
// with start, only those beginning with it ("AT+": the setting lines).
std::vector<std::string> LinesReceived(const std::string& simErr, std::string_view start = "");

// Control name -> the text it should show.
using Expected = std::map<std::string, std::string>;

// What the pages of each family show after the modem's answer to the
// status query, read from the simulator's configuration as the parsers
// read its report lines. Only the controls the report writes are listed;
// Untouched() gives the others as the window starts.
Expected ExpectedS(const sim::STaviConfig& c, sim::Firmware firmware);
Expected ExpectedR(const sim::RTaviConfig& c);
Expected ExpectedI(const sim::IoTaviConfig& c);
// The RS-485 side after the answer to "AT+485?".
Expected ExpectedI485(const sim::IoTaviConfig& c);
// The key and IV editors after the answer to "AT&E".
Expected ExpectedKeys(const sim::Encryption& aes, char family);
// The page set's controls that the status report does not write, as the
// window starts (the key and IV editors, the calibration, the RS-485 side).
Expected Untouched(char model);
// Both maps in one; the second wins.
Expected Merge(Expected a, const Expected& b);

// The headless platform whose blocking pauses (the pacing of a command's
// bytes, the waits between the commands of a sequence) last a set fraction
// of their length. The simulator reads and answers at once, so the order
// of what is sent and answered is the same; the unit tests pin the lengths
// in virtual time.
class ScaledPausePlatform : public forms::HeadlessPlatform {
 public:
  explicit ScaledPausePlatform(int divisor) : divisor_(divisor) {}
  void Pause(int ms) override { HeadlessPlatform::Pause(ms / divisor_); }
  void SetDivisor(int divisor) { divisor_ = divisor; }

 private:
  int divisor_;
};

// A simulator process of our own beside the fixture's one modem (a bench
// of them, or one with options of its own); its links are printed one a
// line when ready. Stopped (SIGTERM) when it goes.
class SimGroup {
 public:
  SimGroup(std::vector<std::string> args, size_t links);
  ~SimGroup();
  SimGroup(const SimGroup&) = delete;
  SimGroup& operator=(const SimGroup&) = delete;
  const std::vector<std::string>& Links() const { return links_; }

 private:
  pid_t pid_ = -1;
  std::vector<std::string> links_;
};

class E2eTest : public ::testing::Test {
 protected:
  // Pauses last 1/divisor of their length from now on (1: real time).
  void ScalePauses(int divisor) {
    pause_divisor_ = divisor;
    if (platform_) platform_->SetDivisor(divisor);
  }

  void SetUp() override;
  void TearDown() override;

  // Starts the simulator for model ('s', 'u', 'r', 'i') with extra options
  // and waits until its line is there. Stops one that is running first.
  void StartSim(char model, const std::vector<std::string>& extra = {});
  // Stops the simulator (as an operator pressing Ctrl+C) and waits for it.
  void StopSim();
  bool SimRunning() const { return sim_.Running(); }
  // The simulator's configuration as its state file holds it now.
  sim::Config SimState();
  template <class C>
  C SimStateAs() {
    return std::get<C>(SimState());
  }
  // Replaces the simulator's configuration; takes effect at its next start.
  void WriteSimState(const sim::Config& config);

  // A start of the program (the previous session, if any, ends first).
  void StartProgram();
  // Model chosen, dialog filled in with the simulator's line, Connect
  // pressed, answers served until the line is quiet. Returns whether the
  // port opened.
  bool ConnectTo(char model);
  // Serves until the line is quiet (and a waiting status query answered
  // or given up by the watchdog). The simulator answers at once, so a
  // shorter quiet spell than velimo-cli's does here.
  static constexpr int kQuietMs = 100;
  void Settle();
  // Clicks and settles.
  void Click(const std::string& name);
  // Sets and serves what waits; SetAndSettle for a change handler that
  // asks the modem something.
  void Set(const std::string& name, const std::string& value);
  void SetAndSettle(const std::string& name, const std::string& value);
  // " Load": the status query, settled.
  void Load();

  // Every message box since the last TakeMessages, in order.
  std::vector<std::string> TakeMessages();
  std::vector<std::string> errors;  // default error reports
  std::vector<std::string> confirmations;
  bool confirm_answer = true;

  // Compares every control of `expected` with the form; and, when
  // `complete`, that they are exactly the page set's printed controls.
  void ExpectForm(const Expected& expected, bool complete);
  std::string Value(const std::string& name);

  cli::Session& S() { return *session_; }
  forms::TForm_main& Main() { return session_->Main(); }
  forms::HeadlessPlatform& Platform() { return *platform_; }

  std::string dir_;
  std::string link_;
  std::string state_;
  char sim_model_ = 's';

 private:
  std::unique_ptr<test::Watchdog> watchdog_;
  std::unique_ptr<ScaledPausePlatform> platform_;
  int pause_divisor_ = 1;
  std::unique_ptr<cli::Session> session_;
  std::vector<std::string> messages_;
  test::SimProcess sim_;
};

// The simulator's family from a model letter, and its default firmware.
sim::Family FamilyOf(char model);

}  // namespace velimo::e2e
