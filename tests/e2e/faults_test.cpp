// When the far end is not what the operator thinks: another model, a modem
// that says nothing, a modem that goes away in the middle of a save-all.
#include <algorithm>

#include "e2e_fixture.h"
#include "support/wait_for.h"

namespace velimo::e2e {
namespace {

int Count(const std::vector<std::string>& all, const std::string& one) {
  return static_cast<int>(std::count(all.begin(), all.end(), one));
}

struct WrongModel {
  char modem;
  char chosen;
  const char* message;
};

void PrintTo(const WrongModel& w, std::ostream* os) {
  *os << "modem " << w.modem << ", chosen " << w.chosen;
}

class WrongModelTest : public E2eTest, public ::testing::WithParamInterface<WrongModel> {};

TEST_P(WrongModelTest, DeviceChoiceMessageAndTheWindowStaysUsable) {
  const WrongModel w = GetParam();
  StartSim(w.modem);
  ASSERT_TRUE(ConnectTo(w.chosen));
  const auto messages = TakeMessages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(Count(messages, w.message), static_cast<int>(messages.size()))
      << "only the device-choice message: " << messages.front();
  EXPECT_TRUE(errors.empty());
  // The operator disconnects and picks the right model.
  Click("Disconnect1");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"     Disconnected.     "});
  ASSERT_TRUE(ConnectTo(w.modem));
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Main().ResponseFlag, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, WrongModelTest,
    ::testing::Values(
        WrongModel{'i', 's', "Check your Device Choice.You chose [sTavi or uTavi]. Is it correct?"},
        WrongModel{'s', 'i', "Check your Device Choice. You chose [ioTavi]. Is it correct?"},
        WrongModel{'i', 'r', "Check your Device Choice. You chose [rTavi]. Is it correct?"}),
    [](const auto& info) {
      return std::string("modem_") + info.param.modem + "_chosen_" + info.param.chosen;
    });

TEST_F(E2eTest, SilentModemWatchdogThenDisconnected) {
  StartSim('s', {"--silent"});
  ASSERT_TRUE(ConnectTo('s'));  // settles once the watchdog has fired
  EXPECT_EQ(TakeMessages(),
            (std::vector<std::string>{"ERROR! Please check your serial port status.",
                                      "     Disconnected.     "}));
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_FALSE(Main().Timer_ConnectionResponse.Enabled());
  EXPECT_FALSE(Main().Panel_S_Info.Visible());
  EXPECT_TRUE(Main().ConnectN1.Enabled());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected");
  EXPECT_EQ(Value("LB_S_FwVer"), "no info");
}

// Trace lines of commands that went out.
int SentCommands(forms::TForm_main& main) {
  int n = 0;
  for (const std::string& line : main.Trace().Pane().Lines())
    if (line.find("Send AT Command : ") != std::string::npos) ++n;
  return n;
}

TEST_F(E2eTest, ModemVanishingDuringASaveAllThenConnectingAgain) {
  // It answers the status query and the save-all's first command, then its
  // line goes dead as an unplugged adapter's does.
  StartSim('i', {"--vanish-after", "2"});
  ASSERT_TRUE(ConnectTo('i'));
  Set("Edit_I_DMT", "1200");
  const int sent_before = SentCommands(Main());
  TakeMessages();
  Click("Btn_I_Serial_SaveAll");  // timeout, size, STX length, ETX length
  const auto messages = TakeMessages();
  const int sent = SentCommands(Main()) - sent_before;
  // The step that found the line gone (a failed write, or the port the
  // window closed when it saw the removal) reported it, once, and ended
  // the sequence.
  const int failed =
      Count(messages, "Serial Port ERROR!!") + Count(messages, "Check your Serial Port Status.");
  EXPECT_GE(sent, 1);
  EXPECT_LT(sent, 4);
  // One report at most: none when the window saw the removal between two
  // steps (the status bar says so), one when a step met it first.
  EXPECT_LE(failed, 1);
  EXPECT_EQ(failed, static_cast<int>(messages.size()));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(SimStateAs<sim::IoTaviConfig>().rs232.timeout_tenths, 120);

  // The removal is noticed without the operator: the port is closed and
  // the window disconnected, with nothing to restart.
  EXPECT_TRUE(Platform().RunUntil(
      [this] { return Main().StatusBar1.PanelText(1) == "Disconnected (adapter removed)"; },
      test::kGenerousMs))
      << Main().StatusBar1.PanelText(1);
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_FALSE(Platform().RestartRequested());

  // The adapter is plugged in again; the new instance connects and reads.
  StartSim('i');
  StartProgram();
  ASSERT_TRUE(ConnectTo('i'));
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Value("Edit_I_DMT"), "1200");
  ExpectForm(ExpectedI(SimStateAs<sim::IoTaviConfig>()), false);
}

}  // namespace
}  // namespace velimo::e2e
