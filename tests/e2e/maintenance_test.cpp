// Key and IV, system and factory reset, the ioTavi's RS-485 query and AT
// mode, against the simulator.
#include <algorithm>

#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

using sim::IoTaviConfig;
using sim::STaviConfig;

int CountSent(forms::TForm_main& main, const std::string& command) {
  int n = 0;
  for (const std::string& line : main.Trace().Pane().Lines())
    if (line.find("Send AT Command : " + command) != std::string::npos) ++n;
  return n;
}

TEST_F(E2eTest, DefaultKeyShownAsItsTextAndKeyEditorsMadeUsable) {
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  EXPECT_FALSE(Main().Edit_S_AESKey.Enabled());
  Click("Btn_S_GetAES");
  ExpectForm(ExpectedKeys(sim::Encryption{}, 's'), false);
  EXPECT_EQ(Value("Edit_S_AESKey"), "<qelvin_brastok>");
  EXPECT_TRUE(Main().Edit_S_AESKey.Enabled());
  EXPECT_TRUE(Main().Btn_S_Save_AESKEY.Enabled());
  EXPECT_TRUE(Main().Edit_S_AESIV.Enabled());
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(E2eTest, LoRaPageAsksForTheKeyASecondAfterTheStatusQuery) {
  StartSim('u');
  ASSERT_TRUE(ConnectTo('u'));
  Click("Btn_Left_LoRa");  // settles only after the delayed key query
  EXPECT_EQ(CountSent(Main(), "AT&E"), 1);
  EXPECT_EQ(Value("Edit_S_AESIV"), "<qelvin_brastok>");
}

TEST_F(E2eTest, IoTaviKeyAndIvSavedOneByOne) {
  StartSim('i');
  ASSERT_TRUE(ConnectTo('i'));
  // The ioTavi refuses a key that is not 16 characters and sends nothing.
  Set("Edit_I_AESKey", "short");
  Click("Btn_I_Save_AESKEY");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"You must type [16 Bytes] AES KEY."});
  EXPECT_EQ(SimStateAs<IoTaviConfig>().aes.key, sim::kDefaultKey);

  Set("Edit_I_AESKey", "0123456789ABCDEF");
  Click("Btn_I_Save_AESKEY");
  Set("Edit_I_AESIV", "fedcba9876543210");
  Click("Btn_I_Save_AESIV");  // its acknowledgement asks for the key again
  const IoTaviConfig c = SimStateAs<IoTaviConfig>();
  EXPECT_EQ(c.aes.key, "0123456789ABCDEF");
  EXPECT_EQ(c.aes.iv, "fedcba9876543210");
  EXPECT_FALSE(c.aes.on);
  EXPECT_TRUE(TakeMessages().empty());

  // A new run reads them with the "AES" button.
  StartProgram();
  ASSERT_TRUE(ConnectTo('i'));
  Click("Btn_I_GetAES");
  ExpectForm(ExpectedKeys(c.aes, 'i'), false);
}

TEST_F(E2eTest, SystemResetAskedAndSentOnlyOnYes) {
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  confirm_answer = false;
  Click("Btn_SystemReset");
  EXPECT_EQ(confirmations, std::vector<std::string>{"Trying to System Reset. Continue? "});
  EXPECT_EQ(CountSent(Main(), "AT&Z"), 0);

  confirm_answer = true;
  Click("reboot1");  // the hidden menu item runs the same action
  EXPECT_EQ(confirmations.size(), 2u);
  EXPECT_EQ(CountSent(Main(), "AT&Z"), 1);
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(errors.empty());
}

TEST_F(E2eTest, FactoryResetRestoresTheDefaultsAndDisconnects) {
  sim_model_ = 's';
  STaviConfig changed;
  changed.radio.channel = 14;
  changed.serial.message_size = 3;
  changed.aes.on = true;
  WriteSimState(changed);
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));

  confirm_answer = false;
  Click("Btn_FactoryReset");
  EXPECT_EQ(confirmations, std::vector<std::string>{"Continue factory reset?"});
  EXPECT_EQ(SimStateAs<STaviConfig>(), changed);
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());

  confirm_answer = true;
  Click("Btn_FactoryReset");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"     Disconnected.     "});
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  const STaviConfig defaults =
      std::get<STaviConfig>(sim::FactoryDefaults(sim::Family::kSTavi, sim::Firmware::k1_3));
  EXPECT_EQ(SimStateAs<STaviConfig>(), defaults);

  ASSERT_TRUE(ConnectTo('s'));
  ExpectForm(ExpectedS(defaults, sim::Firmware::k1_3), false);
}

TEST_F(E2eTest, IoTaviRs485QueryFillsTheRs485Side) {
  sim_model_ = 'i';
  IoTaviConfig c;
  c.rs232.flow_control = true;
  c.rs485.port_type = 1;
  c.rs485.baud_index = 11;
  c.rs485.parity = 1;
  c.rs485.timeout_tenths = 77;
  c.rs485.message_size = 99;
  c.rs485.stx = {1, {0x5A, 0, 0}};
  c.rs485.etx = {3, {0x0D, 0x0A, 0xEE}};
  c.destination_id_485 = 31337;
  WriteSimState(c);
  StartSim('i');
  ASSERT_TRUE(ConnectTo('i'));
  ExpectForm(ExpectedI(c), false);  // "ON" from the RS-232 report
  Click("Edit_I_Get_Info_485");
  ExpectForm(ExpectedI485(c), false);  // "RTS/CTS" from the RS-485 one
  EXPECT_TRUE(Main().Panel_I_ETX_485.Visible());
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(E2eTest, OpeningTheIoTaviSerialPageReadsBothSidesFromAModemThatAnswersAtOnce) {
  sim_model_ = 'i';
  IoTaviConfig c;
  c.rs232.flow_control = true;
  c.rs485.port_type = 1;
  c.rs485.baud_index = 11;
  c.rs485.parity = 2;
  c.rs485.timeout_tenths = 42;
  c.rs485.message_size = 7;
  c.rs485.stx = {2, {0x01, 0x02, 0}};
  c.rs485.etx = {1, {0x0D, 0, 0}};
  c.destination_id_485 = 4242;
  WriteSimState(c);
  StartSim('i');
  ASSERT_TRUE(ConnectTo('i'));
  TakeMessages();
  Main().Trace().Clear();
  Click("Btn_Left_Serial");
  // The RS-485 answer is read before the status query's purge, and the
  // status report after it (its "ON" is the flow control shown last).
  ExpectForm(Merge(ExpectedI485(c), ExpectedI(c)), false);
  EXPECT_EQ(Main().ResponseFlag, 1);
  EXPECT_TRUE(Main().Panel_I_ETX_485.Visible());
  EXPECT_TRUE(TakeMessages().empty());
  // "AT+485?" first, then "AT&V", each sent once.
  std::vector<std::string> sent;
  for (const std::string& line : Main().Trace().Pane().Lines()) {
    const size_t at = line.find("Send AT Command : ");
    if (at != std::string::npos) sent.push_back(line.substr(at + 18, line.find('\r') - at - 18));
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"AT+485?", "AT&V"}));
}

TEST_F(E2eTest, IoTaviAtModeOnAndOffAnswersShown) {
  StartSim('i');
  ASSERT_TRUE(ConnectTo('i'));
  ASSERT_TRUE(Main().Btn_I_ATModeOn.Visible());
  Click("Btn_I_ATModeOn");
  Click("Btn_I_ATModeOff");
  const auto messages = TakeMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(messages[0].starts_with("AT Mode On")) << messages[0];
  EXPECT_TRUE(messages[1].starts_with("AT Mode Off")) << messages[1];
  EXPECT_EQ(CountSent(Main(), "+++"), 1);
  EXPECT_EQ(CountSent(Main(), "AT&O"), 1);
}

}  // namespace
}  // namespace velimo::e2e
