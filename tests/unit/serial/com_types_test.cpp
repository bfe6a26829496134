// Text forms, device values and set mappings of the serial layer's types.
#include "serial/com_types.h"

#include <gtest/gtest.h>

#include <string>

#include "serial/com_error.h"

namespace velimo::serial {
namespace {

struct BaudCase {
  const char* text;
  TBaudRate rate;
};

TEST(BaudRateText, FromTextMatchesWithoutCaseAndFallsBackTo9600) {
  const BaudCase cases[] = {
      {"Custom", brCustom},
      {"custom", brCustom},
      {"CUSTOM", brCustom},
      {"110", br110},
      {"300", br300},
      {"600", br600},
      {"1200", br1200},
      {"2400", br2400},
      {"4800", br4800},
      {"9600", br9600},
      {"14400", br14400},
      {"19200", br19200},
      {"38400", br38400},
      {"56000", br56000},
      {"57600", br57600},
      {"115200", br115200},
      {"128000", br128000},
      {"256000", br256000},
      // Rates the dialog offers that have no name of their own, and junk.
      {"abc", br9600},
      {"", br9600},
      {"921600", br9600},
      {"3600", br9600},
      {" 9600", br9600},
      {"9600 ", br9600},
      {"115200\r", br9600},
      {"0110", br9600},
  };
  for (const BaudCase& c : cases) {
    EXPECT_EQ(BaudRateFromText(c.text), c.rate) << "text \"" << c.text << "\"";
  }
}

TEST(BaudRateText, ToTextRoundTripsEveryRate) {
  for (int r = brCustom; r <= br256000; ++r) {
    TBaudRate rate = static_cast<TBaudRate>(r);
    EXPECT_EQ(BaudRateFromText(BaudRateToText(rate)), rate) << BaudRateToText(rate);
  }
  EXPECT_EQ(BaudRateToText(brCustom), "Custom");
  EXPECT_EQ(BaudRateToText(br115200), "115200");
}

TEST(ParityText, FromTextAndToText) {
  struct Case {
    const char* text;
    TParityBits parity;
  } cases[] = {
      {"None", prNone},   {"none", prNone}, {"Odd", prOdd},    {"ODD", prOdd},
      {"even", prEven},   {"Even", prEven}, {"Mark", prMark},  {"mArK", prMark},
      {"Space", prSpace}, {"", prNone},     {"Evens", prNone}, {"E", prNone},
  };
  for (const Case& c : cases) EXPECT_EQ(ParityFromText(c.text), c.parity) << c.text;
  const char* texts[] = {"None", "Odd", "Even", "Mark", "Space"};
  for (int p = prNone; p <= prSpace; ++p) {
    EXPECT_EQ(ParityToText(static_cast<TParityBits>(p)), texts[p]);
  }
}

TEST(DataAndStopBitsText, FromTextWithFallbacks) {
  struct DataCase {
    const char* text;
    TDataBits bits;
  } data[] = {{"5", dbFive},  {"6", dbSix},  {"7", dbSeven},  {"8", dbEight},
              {"9", dbEight}, {"", dbEight}, {"05", dbEight}, {"4", dbEight}};
  for (const DataCase& c : data) EXPECT_EQ(DataBitsFromText(c.text), c.bits) << c.text;
  struct StopCase {
    const char* text;
    TStopBits bits;
  } stop[] = {{"1", sbOneStopBit},   {"1.5", sbOne5StopBits}, {"2", sbTwoStopBits},
              {"1,5", sbOneStopBit}, {"1.50", sbOneStopBit},  {"", sbOneStopBit},
              {"3", sbOneStopBit}};
  for (const StopCase& c : stop) EXPECT_EQ(StopBitsFromText(c.text), c.bits) << c.text;
  EXPECT_EQ(StopBitsToText(sbOne5StopBits), "1.5");
  EXPECT_EQ(DataBitsToText(dbSeven), "7");
}

TEST(DeviceValues, EnumerationsMapToTheirDeviceNumbers) {
  const int bauds[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                       14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int r = brCustom; r <= br256000; ++r) {
    EXPECT_EQ(BaudRateValue(static_cast<TBaudRate>(r)), bauds[r]);
  }
  EXPECT_EQ(DataBitsValue(dbFive), 5);
  EXPECT_EQ(DataBitsValue(dbEight), 8);
  EXPECT_EQ(StopBitsValue(sbOne5StopBits), 1);
  EXPECT_EQ(StopBitsValue(sbTwoStopBits), 2);
  EXPECT_EQ(ParityValue(prSpace), 4);
  EXPECT_EQ(DTRControlBits(dtrDisable), 0x00u);
  EXPECT_EQ(DTRControlBits(dtrEnable), 0x10u);
  EXPECT_EQ(DTRControlBits(dtrHandshake), 0x20u);
  EXPECT_EQ(RTSControlBits(rtsEnable), 0x1000u);
  EXPECT_EQ(RTSControlBits(rtsHandshake), 0x2000u);
  EXPECT_EQ(RTSControlBits(rtsToggle), 0x3000u);
}

TEST(ComEvents, MaskMappingBothWays) {
  struct Case {
    TComEvent event;
    uint32_t bit;
  } cases[] = {{evRxChar, 0x0001}, {evTxEmpty, 0x0004}, {evRxFlag, 0x0002}, {evRing, 0x0100},
               {evBreak, 0x0040},  {evCTS, 0x0008},     {evDSR, 0x0010},    {evError, 0x0080},
               {evRLSD, 0x0020},   {evRx80Full, 0x0400}};
  for (const Case& c : cases) {
    EXPECT_EQ(EventMaskBit(c.event), c.bit);
    EXPECT_EQ(EventsToMask(TComEvents{c.event}), c.bit);
    EXPECT_EQ(EventsFromMask(c.bit), TComEvents{c.event});
  }
  EXPECT_EQ(EventsToMask(TComEvents::All()), 0x05FFu);
  EXPECT_EQ(EventsFromMask(0x05FF), TComEvents::All());
  // Bits that name no event are dropped.
  EXPECT_EQ(EventsFromMask(0x0200 | 0x0800 | 0x0001), TComEvents{evRxChar});
  EXPECT_EQ(EventsToMask(TComEvents{evError, evRxChar}), 0x0081u);
  EXPECT_TRUE(TComEvents{}.Empty());
}

TEST(ComErrors, WholeByteComparesWithSingleKinds) {
  TComErrors frame = ceFrame;
  EXPECT_TRUE(frame == ceFrame);
  EXPECT_FALSE(frame == ceOverrun);
  TComErrors both;
  both.Include(ceFrame);
  both.Include(ceOverrun);
  EXPECT_EQ(both.Byte(), 5);
  EXPECT_FALSE(both == ceFrame);
  EXPECT_FALSE(both == ceOverrun);
  EXPECT_TRUE(both.Contains(ceOverrun));
  EXPECT_FALSE(both.Contains(ceBreak));
  EXPECT_EQ(TComErrors::FromByte(128), TComErrors(ceTxFull));
}

TEST(EComPortMessage, TableTextWithOrWithoutSystemCode) {
  struct Case {
    int code;
    int system;
    const char* message;
  } cases[] = {
      {1, 2, "Unable to open com port (win error code: 2)"},
      {1, -1, "Unable to open com port"},
      {2, 110, "WriteFile function failed (win error code: 110)"},
      {5, 5, "PurgeComm function failed (win error code: 5)"},
      {7, 22, "SetCommState function failed (win error code: 22)"},
      {10, 9, "ClearCommError function failed (win error code: 9)"},
      {14, -1, "Cannot set property while connected"},
      {19, -1, "Cannot change led state if ComPort is selected"},
      {23, -1, "Registry error"},
      {11, 0, "GetCommModemStatus function failed (win error code: 0)"},
  };
  for (const Case& c : cases) {
    EComPort e(c.code, c.system);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.Code(), c.code);
    EXPECT_EQ(e.ErrorCode(), c.system);
  }
  // Every code of the table has a text; none outside it.
  for (int code = 1; code <= 23; ++code) EXPECT_STRNE(ComErrorText(code), "") << code;
  EXPECT_STREQ(ComErrorText(0), "");
  EXPECT_STREQ(ComErrorText(24), "");
  // The port error is one of the program's errors.
  const velimo::Exception& base = EComPort(3, 5);
  EXPECT_STREQ(base.what(), "ReadFile function failed (win error code: 5)");
}

}  // namespace
}  // namespace velimo::serial
