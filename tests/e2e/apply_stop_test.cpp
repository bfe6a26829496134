// Stopping an apply halfway, against the simulator: in the window's model,
// whose apply runs on a thread of its own while the window's thread stays
// live with its sending controls held, and in velimo-cli, where Ctrl-C
// asks the same stop. What the modem received is read from the
// simulator's own log.
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "e2e_fixture.h"
#include "profile/dialog_model.h"
#include "support/child_process.h"
#include "support/wait_for.h"

namespace velimo::e2e {
namespace {

using ::testing::HasSubstr;

// Five settings of one kind, each followed by the usual pause, so a stop
// after the second line lands well before the third.
constexpr const char* kProfile =
    "[Profile]\nModel = sTavi\n\n[Settings]\nDID = 7\nDTN = 2\nDENT = 3\nPID1 = 11\nPID2 = 12\n";

class ApplyStopE2e : public E2eTest {};

TEST_F(ApplyStopE2e, AStopEndsTheApplyBeforeItsNextLineAndLeavesThePortUsable) {
  StartSim('s', {"--verbose"});
  ASSERT_TRUE(ConnectTo('s'));
  const std::string file = dir_ + "/site.vprofile";
  std::ofstream(file) << kProfile;
  profile::ProfileDialogModel model(S().Modem(), {});
  model.Open(file);
  ASSERT_TRUE(model.CanApply()) << model.Status();
  ASSERT_EQ(model.Rows().size(), 5u);

  forms::TForm_main& form = Main();
  const auto sentLines = [&] {
    int n = 0;
    for (const std::string& line : form.Trace().Pane().Lines())
      n += line.find("Send AT Command : ") != std::string::npos;
    return n;
  };
  int sentAtStop = -1;
  bool heldWhileRunning = true;
  model.on_progress = [&] {
    // On the window's thread, while the worker pauses after its line.
    heldWhileRunning = heldWhileRunning && form.SendingHeld() && !form.Btn_S_Save_Did.Usable() &&
                       !form.Btn_S_LoRa_SaveAll.Usable() && !form.Btn_FactoryReset.Usable() &&
                       !form.Disconnect1.Usable() && form.Btn_S_Clear_Info.Usable();
    if (model.Done() == 2) {
      model.Stop();
      sentAtStop = sentLines();
    }
  };
  bool finished = false;
  model.StartApply([&] { finished = true; });
  EXPECT_EQ(model.CurrentPhase(), profile::ProfileDialogModel::Phase::Applying);
  // The window's thread is free meanwhile: it serves its own timer while
  // the apply runs (an apply that held the thread would have ended before
  // the first tick).
  int ticks = 0;
  auto timer = Platform().CreateTimer([&] { ticks += !finished; });
  timer->Start(20);
  ASSERT_TRUE(Platform().RunUntil([&] { return finished; }, 3 * test::kGenerousMs))
      << "the apply never ended";
  timer->Stop();
  EXPECT_GE(ticks, 1) << "the window's thread was blocked by the apply";
  EXPECT_TRUE(heldWhileRunning) << "a sending control was usable during the apply";
  EXPECT_FALSE(form.SendingHeld());
  EXPECT_TRUE(form.Btn_S_Save_Did.Usable());
  EXPECT_TRUE(form.Disconnect1.Usable());

  // Two lines went out; the three after the stop did not, and nothing more
  // went out after it, not even a read-back.
  int written = 0, notSent = 0;
  std::vector<std::string> notSentKeys;
  for (const auto& row : model.Rows()) {
    if (row.result == "written, not verified (stopped before the read-back)") ++written;
    if (row.result == "not sent") {
      ++notSent;
      notSentKeys.push_back(row.key);
    }
  }
  EXPECT_EQ(written, 2) << model.Status();
  EXPECT_EQ(notSent, 3) << model.Status();
  EXPECT_EQ(sentLines(), sentAtStop) << "a line went out after the stop";
  EXPECT_THAT(model.Status(), HasSubstr("the lines after it were not sent"));
  const std::vector<std::string> received = LinesReceived(Slurp(dir_ + "/sim.err"), "AT+");
  EXPECT_EQ(received.size(), 2u) << Slurp(dir_ + "/sim.err");

  // The port is the window's again: the modem is read, and a compare
  // finds exactly the three settings that were not sent, so the modem
  // holds the two that were and none of the others.
  model.Open(file);
  ASSERT_TRUE(model.CanApply()) << model.Status();
  std::vector<std::string> differing;
  for (const auto& row : model.Rows()) differing.push_back(row.key);
  EXPECT_THAT(differing, ::testing::UnorderedElementsAreArray(notSentKeys));
}

TEST_F(ApplyStopE2e, CtrlCDuringApplyProfileSendsNoFurtherLineAndFails) {
  StartSim('s', {"--verbose"});
  const std::string file = dir_ + "/site.vprofile";
  std::ofstream(file) << kProfile;
  const pid_t cli =
      test::Spawn(VELIMO_CLI, {"--port", link_, "--model", "s", "--trace", "apply-profile", file},
                  dir_, dir_ + "/cli.out", dir_ + "/cli.err");
  ASSERT_GT(cli, 0);
  // Ctrl-C once the first setting line is on its way.
  EXPECT_TRUE(test::WaitFor(
      [&] { return Slurp(dir_ + "/cli.err").find("Send AT Command : AT+") != std::string::npos; },
      3 * test::kGenerousMs))
      << "no setting line went out";
  kill(cli, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(cli, &status, 0), cli);
  const std::string out = Slurp(dir_ + "/cli.out");
  const std::string err = Slurp(dir_ + "/cli.err");
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), 130) << out << err;
  EXPECT_THAT(err, HasSubstr("interrupted in command 1 of 1 (apply-profile) after "));
  // Every setting has its line; those after the interrupt say "not sent",
  // and the modem got exactly the others.
  int sent = 0, notSent = 0;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with(": not sent")) ++notSent;
    if (line.ends_with(": written, not verified (stopped before the read-back)")) ++sent;
  }
  EXPECT_EQ(sent + notSent, 5) << out;
  EXPECT_GE(notSent, 1) << out;
  StopSim();
  EXPECT_EQ(LinesReceived(Slurp(dir_ + "/sim.err"), "AT+").size(), static_cast<size_t>(sent))
      << Slurp(dir_ + "/sim.err");
}

}  // namespace
}  // namespace velimo::e2e
