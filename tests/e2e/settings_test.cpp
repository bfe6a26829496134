// Changing every setting of each model through the buttons the window
// offers (its Save buttons, save-alls and combined buttons, the hidden ones
// reached by the save-alls' way), then reading back: the simulator's
// configuration holds the new values, and a new status query shows them.
#include <algorithm>

#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

using sim::IoTaviConfig;
using sim::RTaviConfig;
using sim::STaviConfig;

bool Has(const std::vector<std::string>& all, const std::string& one) {
  return std::find(all.begin(), all.end(), one) != all.end();
}

class SettingsTest : public E2eTest {
 protected:
  // The pauses run at a tenth of their length: their order and lengths
  // are pinned by the unit tests in virtual time. The sTavi walk keeps
  // real time, so one whole walk meets the pauses as a modem does; so do
  // the link settings that end the connection, whose command must reach
  // the simulator before the port closes and drops what it has not read.
  void SetUp() override {
    E2eTest::SetUp();
    ScalePauses(10);
  }

  void AdminMode(const std::string& header) {
    for (int i = 0; i < forms::TForm_main::kAdminClickCount; ++i) Click(header);
  }

  // A link setting of the sTavi/uTavi serial page: the page's save-all,
  // the setting, the reconnect request and the disconnect; then the
  // operator connects again.
  void SaveLinkSettingAndReconnect(char model, const std::string& button) {
    TakeMessages();
    Click(button);
    const auto messages = TakeMessages();
    EXPECT_TRUE(Has(messages, "Please set COM again and reconnect.")) << button;
    EXPECT_TRUE(Has(messages, "     Disconnected.     ")) << button;
    EXPECT_FALSE(Main().ComPortEnvBoard.Connected()) << button;
    ASSERT_TRUE(ConnectTo(model)) << button;
    EXPECT_TRUE(TakeMessages().empty()) << button;
  }
};

class STaviSettingsTest : public SettingsTest, public ::testing::WithParamInterface<char> {};

TEST_P(STaviSettingsTest, EverySettingSavedAndReadBack) {
  const char model = GetParam();
  if (model == 's') ScalePauses(1);
  StartSim(model);
  ASSERT_TRUE(ConnectTo(model));

  // Administrator mode: source identifier, country and calibration.
  AdminMode("Panel_Device_head_S");
  ASSERT_TRUE(Main().Edit_S_Sid.Enabled());
  ASSERT_TRUE(Main().Panel_Info_Admin_S.Visible());
  Set("Edit_S_Sid", "123456");
  Click("Btn_S_Save_Sid");
  Set("Edit_S_Country", "USA");
  Click("Btn_S_Save_Country");
  Set("CB_S_LoRa_Freq_PM", "-");
  Set("Edit_S_LoRa_Freq", "250");
  Click("Btn_S_Save_Freq");
  // Hidden Save buttons, reached as the save-alls reach them.
  Set("Edit_S_Dtn", "12");
  Click("Btn_S_Save_Dtn");
  Set("Edit_S_Dent", "34");
  Click("Btn_S_Save_Dent");
  Set("Edit_S_MPID", "101");
  Click("Btn_S_Save_MPID");
  Set("Edit_S_LPID", "202");
  Click("Btn_S_Save_LPID");
  Set("Edit_S_SPID", "303");
  Click("Btn_S_Save_SPID");
  EXPECT_TRUE(errors.empty());

  // The LoRa page's save-all: destination, channel, spreading factor and
  // encryption with key and IV, confirmed once at its end.
  Click("Btn_Left_LoRa");
  Set("Edit_S_Did", "4242");
  Set("CB_S_Ch", "12");
  Set("CB_S_Sf", "10");
  SetAndSettle("Edit_S_En", "ON");  // asks for the key, which makes it editable
  ASSERT_TRUE(Main().Edit_S_AESKey.Enabled());
  Set("Edit_S_AESKey", "ABCDEFGHIJKLMNOP");
  Set("Edit_S_AESIV", "0123456789abcdef");
  TakeMessages();
  Click("Btn_S_SaveAll_LoRaPage");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Successfully changed."});

  // The serial page: port type with peer to peer, then the page's save-all
  // (timeout, size, framing), confirmed once on its last answer.
  Click("Btn_Left_Serial");
  Set("Edit_S_Ptype", "Normal");
  Set("Edit_S_PTP", "ON");
  Click("Btn_S_Save_Ptype_Ptp");
  Set("Edit_S_DMT", "500");
  Set("Edit_S_DMS", "64");
  Set("Edit_S_STXLen", "2");
  Set("Edit_S_STX1", "AB");
  Set("Edit_S_STX2", "0c");
  Set("Edit_S_ETXLen", "1");
  Set("Edit_S_ETX1", "7E");
  TakeMessages();
  Click("Btn_S_Serial_SaveAll");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Successfully changed."});

  // The three link settings each end the connection.
  ScalePauses(1);
  Set("Edit_S_Baudrate", "115200");
  SaveLinkSettingAndReconnect(model, "Btn_S_Save_Baudrate");
  Set("Edit_S_PAB", "Even");
  SaveLinkSettingAndReconnect(model, "Btn_S_Save_PAB");
  Set("Edit_S_HWF", "RTS/CTS");
  SaveLinkSettingAndReconnect(model, "Btn_S_Save_HF");
  EXPECT_TRUE(errors.empty());

  const STaviConfig c = SimStateAs<STaviConfig>();
  EXPECT_EQ(c.source_id, 123456u);
  EXPECT_EQ(c.radio.country, 1);
  EXPECT_EQ(c.radio.frequency_offset, -250);
  EXPECT_EQ(c.destination_table, 12);
  EXPECT_EQ(c.destination_entry, 34);
  EXPECT_EQ(c.pid, (std::array<uint32_t, 3>{101, 202, 303}));
  EXPECT_EQ(c.destination_id, 4242u);
  EXPECT_EQ(c.radio.channel, 12);
  EXPECT_EQ(c.radio.spreading_factor, 10);
  EXPECT_TRUE(c.aes.on);
  EXPECT_EQ(c.aes.key, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(c.aes.iv, "0123456789abcdef");
  EXPECT_EQ(c.serial.port_type, 1);
  EXPECT_TRUE(c.peer_to_peer);
  EXPECT_EQ(c.serial.timeout_tenths, 50);
  EXPECT_EQ(c.serial.message_size, 64);
  EXPECT_EQ(c.serial.stx.length, 2);
  EXPECT_EQ(c.serial.stx.bytes[0], 0xAB);
  EXPECT_EQ(c.serial.stx.bytes[1], 0x0C);
  EXPECT_EQ(c.serial.etx.length, 1);
  EXPECT_EQ(c.serial.etx.bytes[0], 0x7E);
  EXPECT_EQ(c.serial.baud_index, 10);
  EXPECT_EQ(c.serial.parity, 2);
  EXPECT_TRUE(c.serial.flow_control);

  // The last connect read it all back; the key and IV came with the
  // encryption query that the IV's acknowledgement sent.
  ExpectForm(Merge(Merge(ExpectedS(c, sim::Firmware::k1_3), ExpectedKeys(c.aes, 's')),
                   {{"CB_S_LoRa_Freq_PM", "-"}, {"Edit_S_LoRa_Freq", "250"}}),
             /*complete=*/true);
}

INSTANTIATE_TEST_SUITE_P(SAndU, STaviSettingsTest, ::testing::Values('s', 'u'),
                         [](const auto& info) { return std::string(1, info.param); });

TEST_F(SettingsTest, RTaviEverySettingSavedAndReadBack) {
  StartSim('r');
  ASSERT_TRUE(ConnectTo('r'));
  AdminMode("Panel_Device_head_R");
  ASSERT_TRUE(Main().Edit_R_Sid.Enabled());
  Set("Edit_R_Sid", "222333");
  Click("Btn_R_Save_Sid");
  Set("Edit_R_Country", "JPN");
  Click("Btn_R_Save_Country");
  Set("CB_R_LoRa_Freq_PM", "+");
  Set("Edit_R_LoRa_Freq", "40000");
  Click("Btn_R_Save_Freq");
  // Japan's lists come with the next report.
  Load();
  ASSERT_EQ(Main().CB_R_Ch.Items().size(), 9u);

  Click("Btn_Left_LoRa");
  Set("Edit_R_Mode", "2. Relay");
  EXPECT_TRUE(Main().Panel_R_Relay.Visible());
  Set("Edit_R_Rid1", "77");
  Set("Edit_R_Rid2", "88");
  Set("CB_R_Ch", "9");
  Set("CB_R_Sf", "11");
  TakeMessages();
  Click("Btn_R_SaveAll_LoRaPage");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Successfully changed."});
  EXPECT_TRUE(errors.empty());

  const RTaviConfig c = SimStateAs<RTaviConfig>();
  EXPECT_EQ(c.source_id, 222333u);
  EXPECT_EQ(c.radio.country, 2);
  EXPECT_EQ(c.radio.frequency_offset, 40000);
  EXPECT_EQ(c.mode, 2);
  EXPECT_EQ(c.relay_id_1, 77u);
  EXPECT_EQ(c.relay_id_2, 88u);
  EXPECT_EQ(c.radio.channel, 9);
  EXPECT_EQ(c.radio.spreading_factor, 11);

  Load();
  ExpectForm(Merge(ExpectedR(c), {{"CB_R_LoRa_Freq_PM", "+"}, {"Edit_R_LoRa_Freq", "40000"}}),
             true);
}

TEST_F(SettingsTest, IoTaviEverySettingSavedAndReadBack) {
  StartSim('i');
  ASSERT_TRUE(ConnectTo('i'));
  // Hidden in the window; reached as a sequence would reach it.
  Set("Edit_I_Sid", "444555");
  Click("Btn_I_Save_Sid");

  Click("Btn_Left_LoRa");
  Set("CB_I_Ch", "17");
  Set("CB_I_Sf", "12");
  Click("Btn_I_LoRa_SaveAll");
  Set("Edit_I_Band", "8");
  Click("Btn_I_Save_Band");
  Set("Edit_I_En", "ON");
  Set("Edit_I_AESKey", "K0123456789ABCDE");
  Set("Edit_I_AESIV", "I0123456789ABCDE");
  Click("Btn_I_AES_SaveAll");

  Click("Btn_Left_Serial");
  Set("Edit_I_Ptype", "Normal");
  Set("Edit_I_Did", "5555");
  Click("Btn_I_Save_Ptype_Did");
  Set("Edit_I_Ptype_485", "Normal");
  Set("Edit_I_Did_485", "6666");
  Click("Btn_I_Save_Ptype_Did_485");
  Set("Edit_I_DMT", "1200");
  Set("Edit_I_DMS", "100");
  Set("Edit_I_STXLen", "3");
  Set("Edit_I_STX1", "01");
  Set("Edit_I_STX2", "02");
  Set("Edit_I_STX3", "03");
  Set("Edit_I_ETXLen", "2");
  Set("Edit_I_ETX1", "04");
  Set("Edit_I_ETX2", "05");
  Click("Btn_I_Serial_SaveAll");
  Set("Edit_I_DMT_485", "30");
  Set("Edit_I_DMS_485", "7");
  Set("Edit_I_STXLen_485", "1");
  Set("Edit_I_STX1_485", "aa");
  Set("Edit_I_ETXLen_485", "1");
  Set("Edit_I_ETX1_485", "bb");
  Click("Btn_I_Serial_SaveAll_485");
  // No acknowledgement of the ioTavi is turned into a message.
  EXPECT_TRUE(TakeMessages().empty());

  // The RS-232 link settings ask for a reconnect but keep the link; the
  // RS-485 ones say nothing.
  Set("Edit_I_Baudrate", "57600");
  Click("Btn_I_Save_Baudrate");
  Set("Edit_I_PAB", "Odd");
  Click("Btn_I_Save_PAB");
  Set("Edit_I_HWF", "RTS/CTS");
  Click("Btn_I_Save_HF");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>(3, "Please set COM again and reconnect."));
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
  Set("Edit_I_Baudrate_485", "4800");
  Click("Btn_I_Save_Baudrate_485");
  Set("Edit_I_PAB_485", "Even");
  Click("Btn_I_Save_PAB_485");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(errors.empty());

  const IoTaviConfig c = SimStateAs<IoTaviConfig>();
  EXPECT_EQ(c.source_id, 444555u);
  EXPECT_EQ(c.channel, 17);
  EXPECT_EQ(c.spreading_factor, 12);
  EXPECT_EQ(c.band, 8);
  EXPECT_TRUE(c.aes.on);
  EXPECT_EQ(c.aes.key, "K0123456789ABCDE");
  EXPECT_EQ(c.aes.iv, "I0123456789ABCDE");
  EXPECT_EQ(c.rs232.port_type, 1);
  EXPECT_EQ(c.destination_id, 5555u);
  EXPECT_EQ(c.rs485.port_type, 1);
  EXPECT_EQ(c.destination_id_485, 6666u);
  EXPECT_EQ(c.rs232.timeout_tenths, 120);
  EXPECT_EQ(c.rs232.message_size, 100);
  EXPECT_EQ(c.rs232.stx, (sim::Framing{3, {1, 2, 3}}));
  EXPECT_EQ(c.rs232.etx, (sim::Framing{2, {4, 5, 0}}));
  EXPECT_EQ(c.rs485.timeout_tenths, 3);
  EXPECT_EQ(c.rs485.message_size, 7);
  EXPECT_EQ(c.rs485.stx.length, 1);
  EXPECT_EQ(c.rs485.stx.bytes[0], 0xAA);
  EXPECT_EQ(c.rs485.etx.length, 1);
  EXPECT_EQ(c.rs485.etx.bytes[0], 0xBB);
  EXPECT_EQ(c.rs232.baud_index, 9);
  EXPECT_EQ(c.rs232.parity, 1);
  EXPECT_TRUE(c.rs232.flow_control);
  EXPECT_EQ(c.rs485.baud_index, 4);
  EXPECT_EQ(c.rs485.parity, 2);

  // Read back: the status report, then the RS-485 side and the key.
  Load();
  Click("Edit_I_Get_Info_485");
  Click("Btn_I_GetAES");
  ExpectForm(
      Merge(Merge(Merge(Untouched('i'), ExpectedI(c)), ExpectedI485(c)), ExpectedKeys(c.aes, 'i')),
      true);
}

}  // namespace
}  // namespace velimo::e2e
