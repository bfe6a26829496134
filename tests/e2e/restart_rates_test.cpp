// The connect dialog's rate survives a restart: a modem set to each rate
// of the list (it answers at no other) is connected, the program closed
// and started again, and the reopened dialog connects to it as it stands.
#include <fstream>
#include <string>
#include <vector>

#include "cli_options.h"
#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

TEST_F(E2eTest, EveryRateOfTheListIsOfferedAgainAfterARestart) {
  for (const std::string& rate : cli::BaudEntries()) {
    SCOPED_TRACE(rate);
    StartSim('s', {"--line-rate", rate});
    StartProgram();
    S().SelectModel('s');
    cli::LinkChoice link;
    link.port = link_;
    link.baud = rate;
    ASSERT_TRUE(S().Connect(link));
    Settle();
    ASSERT_TRUE(TakeMessages().empty()) << "the modem did not answer at " << rate;
    ASSERT_TRUE(S().App().CloseMainWindow());

    StartProgram();
    EXPECT_EQ(Main().ComPortEnvBoard.EffectiveBaudRate(), std::stoi(rate));
    S().Run([this] { Main().ConnectN1.Click(); });
    ASSERT_TRUE(S().Dialog().Showing());
    EXPECT_EQ(S().Dialog().Edit_Baudrate.Text(), rate);
    S().Run([this] { S().Dialog().Btn_Connect.Click(); });
    Settle();
    EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
    EXPECT_EQ(Main().StatusBar1.PanelText(1), "Connected to [" + link_ + "]");
    EXPECT_TRUE(TakeMessages().empty()) << "no answer after the restart at " << rate;
    EXPECT_EQ(Value("Edit_S_Did").empty(), false);
  }
}

TEST_F(E2eTest, AConnectThatGetsNoAnswerLeavesNoClaimOfAConnection) {
  // A file of an older version: "Custom" without the rate, so the dialog
  // offers 9600 to a modem that answers at 57600 only.
  StartSim('s', {"--line-rate", "57600"});
  std::ofstream(dir_ + "/Velimo.INI") << "[EnvBoard]\nComPort=" << link_ << "\nBaudRate=Custom\n";
  StartProgram();
  S().SelectModel('s');
  S().Run([this] { Main().ConnectN1.Click(); });
  EXPECT_EQ(S().Dialog().Edit_Baudrate.Text(), "9600");
  // What the status bar says while each box is open.
  std::vector<std::string> bars;
  auto recorded = Platform().on_message;
  Platform().on_message = [&](std::string_view text) {
    bars.push_back(Main().StatusBar1.PanelText(1));
    recorded(text);
  };
  S().Run([this] { S().Dialog().Btn_Connect.Click(); });
  Settle();
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(bars, (std::vector<std::string>{"No answer on [" + link_ + "]", "Disconnected"}));
  EXPECT_EQ(TakeMessages(),
            (std::vector<std::string>{"ERROR! Please check your serial port status.",
                                      "     Disconnected.     "}));
  EXPECT_EQ(Main().StatusBar1.PanelText(1).rfind("Connected", 0), std::string::npos)
      << Main().StatusBar1.PanelText(1);
}

}  // namespace
}  // namespace velimo::e2e
