// A velimo-cli script stops at its first failed step: what comes after a
// set the editor did not take whole, an entry that does not exist or a Save
// that refused its value was meant to rest on it, and is not sent. What the
// modem received is read from the simulator's own log.
#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

using ::testing::HasSubstr;

class ScriptStepsTest : public E2eTest {};

TEST_F(ScriptStepsTest, AFailedStepEndsTheScriptAndNothingAfterItIsSent) {
  const struct {
    const char* what;
    std::vector<std::string> commands;
    int status;
    const char* told;                   // on standard error
    std::vector<std::string> received;  // the setting lines the modem got
  } cases[] = {
      {"a key the filter refuses",
       {"set", "Edit_S_Did=-5", "click", "Btn_S_Save_Did"},
       1,
       "Edit_S_Did did not take \"-5\" whole",
       {}},
      {"a value longer than the editor holds",
       {"set", "Edit_S_DMT=25500", "click", "Btn_S_Save_DMT"},
       1,
       "did not take \"25500\" whole",
       {}},
      {"an entry the list does not have",
       {"set", "CB_S_Ch=25", "click", "Btn_S_Save_CH"},
       1,
       "CB_S_Ch has no entry \"25\"",
       {}},
      {"a value the Save refuses",
       {"set", "Edit_S_DMT=3000", "click", "Btn_S_Save_DMT", "set", "Edit_S_DMS=100", "click",
        "Btn_S_Save_DMS"},
       1,
       "command 2 of 4 failed; the commands after it were not run",
       {}},
      {"an entry in other letters is the entry",
       {"set", "CB_S_Ch=5", "click", "Btn_S_Save_CH", "set", "Edit_S_PAB=even", "show",
        "Edit_S_PAB"},
       0,
       "",
       {"AT+CH=5"}},
      {"--keep-going runs what follows, as asked",
       {"--keep-going", "set", "Edit_S_Did=-5", "click", "Btn_S_Save_Did"},
       1,
       "Edit_S_Did did not take",
       {"AT+DID=5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartSim('s', {"--verbose"});
    std::vector<std::string> args = {"--port", link_, "--model", "s"};
    args.insert(args.end(), c.commands.begin(), c.commands.end());
    const ProcessResult r = RunProgram(VELIMO_CLI, args, dir_, 30000);
    StopSim();
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    if (*c.told) {
      EXPECT_THAT(r.err, HasSubstr(c.told)) << r.err;
    }
    const std::string simErr = Slurp(dir_ + "/sim.err");
    EXPECT_EQ(LinesReceived(simErr, "AT+"), c.received) << simErr;
  }
}

}  // namespace
}  // namespace velimo::e2e
