// Connecting to each model and reading it: every information label and
// editor of the page set shows what the simulator is configured to.
#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

using sim::IoTaviConfig;
using sim::RTaviConfig;
using sim::STaviConfig;

// A configuration far from the factory's, so that a value read from the
// wrong place cannot pass by chance.
STaviConfig UnusualS() {
  STaviConfig c;
  c.source_id = 123457;
  c.destination_id = 7654321;
  c.destination_table = 17;
  c.destination_entry = 230;
  c.pid = {11, 222, 3333};
  c.radio.country = 2;  // JPN: nine channels
  c.radio.channel = 9;
  c.radio.spreading_factor = 11;
  c.aes.on = true;
  c.peer_to_peer = true;
  c.serial.port_type = 1;
  c.serial.baud_index = 13;
  c.serial.parity = 2;
  c.serial.flow_control = true;
  c.serial.timeout_tenths = 255;
  c.serial.message_size = 0;
  c.serial.stx = {3, {0xAB, 0x0C, 0xFF}};
  c.serial.etx = {2, {0x7E, 0x0D, 0x00}};
  return c;
}

class ConnectReadTest : public E2eTest, public ::testing::WithParamInterface<char> {};

TEST_P(ConnectReadTest, FactoryConfigurationReadIntoEveryControl) {
  const char model = GetParam();
  StartSim(model);
  ASSERT_TRUE(ConnectTo(model));
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(Main().ResponseFlag, 1);
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Connected to [" + link_ + "]");

  const sim::Config config = SimState();
  Expected expected;
  if (model == 's' || model == 'u') {
    expected = ExpectedS(std::get<STaviConfig>(config), sim::Firmware::k1_3);
    EXPECT_TRUE(Main().Panel_S_Info.Visible());
  } else if (model == 'r') {
    expected = ExpectedR(std::get<RTaviConfig>(config));
    EXPECT_TRUE(Main().Panel_R_Info.Visible());
  } else {
    expected = ExpectedI(std::get<IoTaviConfig>(config));
    EXPECT_TRUE(Main().Panel_I_Info.Visible());
  }
  ExpectForm(Merge(Untouched(model), expected), /*complete=*/true);
}

INSTANTIATE_TEST_SUITE_P(EachModel, ConnectReadTest, ::testing::Values('s', 'u', 'r', 'i'),
                         [](const auto& info) { return std::string(1, info.param); });

TEST_F(E2eTest, UnusualSTaviConfigurationReadBackAfterAReload) {
  sim_model_ = 's';
  WriteSimState(UnusualS());
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  Load();  // a second status query reads the same
  EXPECT_TRUE(TakeMessages().empty());
  ExpectForm(Merge(Untouched('s'), ExpectedS(UnusualS(), sim::Firmware::k1_3)), true);
  // Japan's lists: channels 1 to 9, spreading factors 7 to 11.
  EXPECT_EQ(Main().CB_S_Ch.Items().size(), 9u);
  EXPECT_EQ(Main().CB_S_Sf.Items().size(), 5u);
  EXPECT_TRUE(Main().Panel_S_STX.Visible());
  EXPECT_TRUE(Main().Panel_S_ETX.Visible());
  EXPECT_TRUE(Main().Panel_S_En_KeyIV.Visible());
}

TEST_F(E2eTest, RelayModeWithItsIdentifiersRead) {
  sim_model_ = 'r';
  RTaviConfig r;
  r.source_id = 16777214;
  r.mode = 2;
  r.relay_id_1 = 42;
  r.relay_id_2 = 16777215;
  r.radio.country = 1;
  r.radio.channel = 20;
  r.radio.spreading_factor = 12;
  WriteSimState(r);
  StartSim('r');
  ASSERT_TRUE(ConnectTo('r'));
  ExpectForm(Merge(Untouched('r'), ExpectedR(r)), true);
  EXPECT_TRUE(Main().Panel_R_Relay.Visible());
  EXPECT_TRUE(Main().LB_R_Rid1.Visible());
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(E2eTest, SlowAndChoppedAnswersReadTheSame) {
  // Answers after 300 ms, cut into 7-byte pieces 15 ms apart.
  StartSim('i', {"--delay", "300", "--chunk", "7", "--chunk-pause", "15"});
  ASSERT_TRUE(ConnectTo('i'));
  EXPECT_TRUE(TakeMessages().empty());
  ExpectForm(Merge(Untouched('i'), ExpectedI(SimStateAs<IoTaviConfig>())), true);
}

}  // namespace
}  // namespace velimo::e2e
