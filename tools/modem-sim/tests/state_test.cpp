// The configuration written to a state file and read back.
#include <gtest/gtest.h>

#include "modem.h"

namespace velimo::sim::test {
namespace {

TEST(State, RoundTripKeepsEveryChangeOfEachFamily) {
  struct Case {
    Family family;
    std::vector<std::string> commands;
  };
  const std::vector<Case> cases = {
      {Family::kSTavi,
       {"AT+MYID=4660",
        "AT+DID=99",
        "AT+DTN=3",
        "AT+DENT=4",
        "AT+PID=1,11",
        "AT+PID=2,22",
        "AT+PID=3,33",
        "AT+CTRY=3",
        "AT+CH=9",
        "AT+SFT=11",
        "at+44Pivot_318Offset_Trim_Adjustment9127=-123",
        "AT+AES=1",
        "AT+AESKEY=a=b c#d!01234567",
        "  leading blank ",
        "AT+PTYPE=1",
        "AT+PTP=1",
        "AT+BAU=12",
        "AT+PAB=O",
        "AT+HF=1",
        "AT+DMT=7",
        "AT+DMS=33",
        "AT+STXL=2",
        "AT+STX=0a,0b,0c",
        "AT+ETXL=1",
        "AT+ETX=ff"}},
      {Family::kUTavi, {"AT+CH=20", "AT+SFT=12", "AT+CTRY=2"}},
      {Family::kRTavi,
       {"AT+MYID=8", "AT+MODE=2", "AT+RID1=16777215", "AT+RID2=1", "AT+CTRY=2", "AT+CH=19",
        "AT+SFT=12", "at+44Pivot_318Offset_Trim_Adjustment9127=40000"}},
      {Family::kIoTavi,
       {"AT+MYID=8",
        "AT+DID=9",
        "AT+CH=2",
        "AT+BND=6",
        "AT+SFT=8",
        "AT+AES=1",
        "AT+AESKEY=KKKKKKKKKKKKKKKK",
        "IIIIIIIIIIIIIIII",
        "AT+PTYPE=1",
        "AT+BAU=0",
        "AT+PAB=E",
        "AT+HF=1",
        "AT+DMT=255",
        "AT+DMS=0",
        "AT+STXL=3",
        "AT+STX=01,02,03",
        "AT+ETXL=3",
        "AT+ETX=04,05,06",
        "AT+485+PTYPE=1",
        "AT+485+DID=5",
        "AT+485+BAU=13",
        "AT+485+PAB=O",
        "AT+485+DMT=2",
        "AT+485+DMS=1",
        "AT+485+STXL=1",
        "AT+485+STX=aa",
        "AT+485+ETXL=2",
        "AT+485+ETX=bb,cc"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FamilyName(c.family));
    Modem modem(c.family, Firmware::k1_3);
    for (const auto& command : c.commands) {
      auto answer = modem.Handle(command);
      ASSERT_EQ(answer.lines.size(), 1u);
      ASSERT_TRUE(answer.lines[0].starts_with("OK")) << command << " -> " << answer.lines[0];
    }
    ASSERT_FALSE(modem.config() == FactoryDefaults(c.family, Firmware::k1_3));
    Modem restarted(c.family, Firmware::k1_3);
    EXPECT_EQ(restarted.LoadState(modem.SaveState()), std::nullopt);
    EXPECT_TRUE(restarted.config() == modem.config()) << restarted.SaveState();
    EXPECT_EQ(restarted.Handle("AT&V").lines, modem.Handle("AT&V").lines);
  }
}

TEST(State, BadTextIsRefusedWholeAndLeavesTheConfigurationAlone) {
  struct Case {
    Family family;
    std::string text;
    std::string error_part;
  };
  const std::vector<Case> cases = {
      {Family::kSTavi, "model=r\nchannel=5\n", "model"},
      {Family::kSTavi, "channel=5\n", "no model line"},
      {Family::kSTavi, "model=s\nchannel=21\n", "channel"},
      {Family::kSTavi, "model=s\nchannel=5\nwhatever=1\n", "unknown setting"},
      {Family::kSTavi, "model=s\nchannel 5\n", "name=value"},
      {Family::kSTavi, "model=s\ncountry=JPN\nchannel=15\n", "channel plan"},
      {Family::kSTavi, "model=s\naes_key=short\n", "aes_key"},
      {Family::kSTavi, "model=s\nmessage_timeout_ms=255\n", "message_timeout_ms"},
      {Family::kSTavi, "model=s\nstx=02,03\n", "stx"},
      {Family::kRTavi, "model=r\nmode=Bridge\n", "mode"},
      {Family::kIoTavi, "model=i\nrs485.flow_control=OFF\n", "unknown setting"},
      {Family::kIoTavi, "model=i\nband=9\n", "band"},
  };
  for (const auto& c : cases) {
    Modem modem(c.family, Firmware::k1_3);
    modem.Handle("AT+CH=3");
    Config before = modem.config();
    auto error = modem.LoadState(c.text);
    ASSERT_TRUE(error.has_value()) << c.text;
    EXPECT_NE(error->find(c.error_part), std::string::npos) << *error;
    EXPECT_TRUE(modem.config() == before) << c.text;
  }
}

TEST(State, MissingSettingsTakeTheFactoryDefaultsAndCommentsAreSkipped) {
  Modem modem(Family::kSTavi, Firmware::kUsa);
  modem.Handle("AT+DID=5");
  ASSERT_EQ(modem.LoadState("# kept by hand\r\nmodel=s\r\n\r\nchannel=4\r\n"), std::nullopt);
  STaviConfig expected = std::get<STaviConfig>(FactoryDefaults(Family::kSTavi, Firmware::kUsa));
  expected.radio.channel = 4;
  EXPECT_EQ(std::get<STaviConfig>(modem.config()), expected);
  EXPECT_EQ(expected.radio.country, 1);  // the USA firmware's own country
}

}  // namespace
}  // namespace velimo::sim::test
