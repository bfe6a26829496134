#include "protocol/catalogue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "support/fake_channel.h"
#include "support/test_platform.h"
#include "util/errors.h"

namespace velimo::protocol {
namespace {

using C = CommandId;

struct LineCase {
  C id;
  EditorValue value;
  std::string line;  // as sent, terminator included
};

std::string Line(const CommandEntry& entry, const EditorValue& v) {
  auto buffer = BuildLine(entry, EncodeValue(entry, v));
  return buffer ? std::string(buffer->Line()) : "<refused>";
}

TEST(Catalogue, EncodesEachValueAsTheModemExpects) {
  const std::vector<LineCase> cases = {
      {C::S_LPID, {.text = "1234"}, "AT+PID=2,1234\r"},
      {C::S_SF, {.item_index = 2}, "AT+SFT=9\r"},
      {C::S_Baudrate, {.item_index = 10}, "AT+BAU=10\r"},
      {C::I_Baudrate_485, {.item_index = 13}, "AT+485+BAU=13\r"},
      {C::S_PAB, {.item_text = "Even"}, "AT+PAB=E\r"},
      {C::I_PAB_485, {.item_text = "Odd"}, "AT+485+PAB=O\r"},
      {C::S_DMT, {.text = "255"}, "AT+DMT=25\r"},
      {C::S_DMT, {.text = "10"}, "AT+DMT=1\r"},
      {C::S_DMT, {.text = "19"}, "AT+DMT=1\r"},
      {C::I_DMT_485, {.text = "2550"}, "AT+485+DMT=255\r"},
      {C::S_Did, {.text = "007"}, "AT+DID=007\r"},
      {C::S_STX, {.hex_count = 2, .hex = {"02", "0a", "ff"}}, "AT+STX=02,0a\r"},
      {C::I_ETX_485, {.hex_count = 1, .hex = {"03", "", ""}}, "AT+485+ETX=03\r"},
      {C::I_ETX, {.hex_count = 3, .hex = {"01", "02", "03"}}, "AT+ETX=01,02,03\r"},
      // JPN lists: 9 channels, spreading factors 7 to 11.
      {C::I_CH, {.item_index = 8}, "AT+CH=9\r"},
      {C::R_SF, {.item_index = 4}, "AT+SFT=11\r"},
      {C::R_Mode, {.item_index = 1}, "AT+MODE=2\r"},
      {C::S_Country, {.item_index = 2}, "AT+CTRY=3\r"},
      {C::S_En, {.item_index = 1}, "AT+AES=1\r"},
      {C::S_HF, {.item_index = 0}, "AT+HF=0\r"},
      {C::I_Ptype_485, {.item_index = 1}, "AT+485+PTYPE=1\r"},
      {C::S_Freq,
       {.text = "40000", .sign = "+"},
       "at+44Pivot_318Offset_Trim_Adjustment9127=40000\r"},
      {C::R_Freq, {.text = "0", .sign = "-"}, "at+44Pivot_318Offset_Trim_Adjustment9127=-0\r"},
      {C::S_AESIV, {.text = "ABCDEFGHIJKLMNOP"}, "ABCDEFGHIJKLMNOP\r"},
      {C::S_AESKEY, {.text = "No Information"}, "AT+AESKEY=No Information\r"},
      {C::I_Did_485, {.text = "16777215"}, "AT+485+DID=16777215\r"},
      {C::ATModeOn, {}, "+++"},
      {C::StatusQuery, {}, "AT&V\r"},
      {C::GetAES, {}, "AT&E\r"},
      {C::I_Query485, {}, "AT+485?\r"},
      // Lists left without a selection by a report they do not hold.
      {C::S_CH, {.item_index = -1}, "AT+CH=0\r"},
      {C::S_SF, {.item_index = -1}, "AT+SFT=6\r"},
      {C::S_STXL, {.item_index = -1}, "AT+STXL=-\r"},
      {C::I_ETXL, {.item_index = -1}, "AT+ETXL=-\r"},
      {C::I_STXL_485, {.item_index = -1}, "AT+485+STXL=-1\r"},
      // Sound refusal instead of running past the buffer.
      {C::I_Did_485, {.text = "123456789"}, "<refused>"},
      {C::S_AESKEY, {.text = "0123456789abcdefghijk"}, "<refused>"},
  };
  for (const LineCase& c : cases) {
    const CommandEntry& entry = Entry(c.id);
    SCOPED_TRACE(std::string(entry.command) + " " + std::string(entry.key));
    EXPECT_EQ(Line(entry, c.value), c.line);
  }
}

TEST(Catalogue, RowsAreCompleteAndConsistent) {
  std::set<std::pair<PageSet, std::string_view>> keys;
  for (const CommandEntry& s : Catalogue()) {
    SCOPED_TRACE(std::string(s.command) + " " + std::string(s.key));
    EXPECT_EQ(&Entry(s.id), &s);
    if (!s.key.empty()) {
      // A profile names each setting of a page set once, and by its key
      // in any case.
      EXPECT_TRUE(keys.insert({s.set, s.key}).second) << "key given twice in a page set";
      EXPECT_FALSE(s.caption.empty());
      std::string lower(s.key);
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_EQ(FindSettingRow(s.set, lower), &s);
    }
    if (s.bounds == BoundsKind::IntRange) {
      EXPECT_FALSE(s.refusal.empty());
    }
    // The longest accepted value fits: the editors' maximum lengths (8 for
    // identifiers, 4 for timeouts ...) must never lead to a refusal.
    std::string widest;
    switch (s.encoding) {
      case ValueEncoding::Typed:
        widest = s.bounds == BoundsKind::IntRange ? std::to_string(s.max) : std::string(16, 'k');
        break;
      case ValueEncoding::Tenths:
        widest = std::to_string(s.max / 10);
        break;
      case ValueEncoding::PortAndTyped:
        widest = "1," + std::to_string(s.max);
        break;
      case ValueEncoding::SignedCalibration:
        widest = "-" + std::to_string(s.max);
        break;
      case ValueEncoding::HexList:
        widest = "00,00,00";
        break;
      case ValueEncoding::None:
        break;
      default:
        widest = "13";
        break;
    }
    EXPECT_TRUE(BuildLine(s, widest)) << widest;
  }
  EXPECT_EQ(FindSettingRow(PageSet::I, "485+did"), &Entry(C::I_Did_485));
  EXPECT_EQ(FindSettingRow(PageSet::S, "485+DID"), nullptr);
  EXPECT_EQ(FindSettingRow(PageSet::S, "MODE"), nullptr) << "the relay mode is the rTavi's";
  EXPECT_EQ(Entry(C::I_Ptype_485).buffer_size, 50);
  EXPECT_EQ(Entry(C::S_Freq).command.size(), 41u);
  EXPECT_EQ(Entry(C::S_Sid).refusal, "Source  ID Range : 1~16777215");
  EXPECT_EQ(Entry(C::FactoryReset).confirmation, "Continue factory reset?");
}

TEST(Catalogue, BoundsAndHexListChecks) {
  EXPECT_FALSE(InRange(Entry(C::S_DMT), 9));
  EXPECT_TRUE(InRange(Entry(C::S_DMT), 10));
  EXPECT_TRUE(InRange(Entry(C::S_DMT), 2550));
  EXPECT_FALSE(InRange(Entry(C::S_DMT), 2551));
  EXPECT_TRUE(InRange(Entry(C::S_DMS), 0));
  EXPECT_FALSE(InRange(Entry(C::S_DMS), 117));
  EXPECT_FALSE(InRange(Entry(C::S_Did), 0));
  EXPECT_TRUE(InRange(Entry(C::S_Did), 16777215));
  EXPECT_FALSE(InRange(Entry(C::S_Did), 16777216));
  EXPECT_TRUE(InRange(Entry(C::S_CH), -1));  // lists are not checked
  EXPECT_TRUE(LengthOk(Entry(C::I_AESKEY), "0123456789abcdef"));
  EXPECT_FALSE(LengthOk(Entry(C::I_AESIV), "0123456789abcde"));
  EXPECT_TRUE(LengthOk(Entry(C::S_AESIV), "short"));

  const std::array<std::string_view, 3> typed = {"02", "3", ""};
  EXPECT_EQ(CheckHexList(0, typed), -1);
  EXPECT_EQ(CheckHexList(1, typed), 0);
  EXPECT_EQ(CheckHexList(2, typed), 2);
  EXPECT_EQ(CheckHexList(3, {"", "", ""}), 1);
  EXPECT_EQ(HexListRefusal(Entry(C::S_STX), -1), "Check your STX Length");
  EXPECT_EQ(HexListRefusal(Entry(C::I_ETX), 3), "Check your ETX3 input");
  EXPECT_EQ(HexListRefusal(Entry(C::I_STX_485), 2), "Check your 485 STX2 input");
  EXPECT_EQ(HexListRefusal(Entry(C::I_ETX_485), -1), "Check your 485 ETX Length");
  EXPECT_THROW(EncodeTenths("12a"), EConvertError);
}

TEST(Catalogue, SendCommandUsesTheRowsAnnouncementFailureVariantAndRefusal) {
  test::TestPlatform platform;
  test::FakeChannel channel(&platform);
  std::vector<std::string> trace;
  Link link{&channel, &platform, [&](std::string_view t) { trace.emplace_back(t); }};

  EXPECT_EQ(SendCommand(link, Entry(C::ATModeOff), ""), SendResult::Sent);
  EXPECT_EQ(channel.Written(), "AT&O\r");
  EXPECT_EQ(trace.front(), "Send AT Mode Off Command to ioTavi... ");

  channel.fail_on_write = channel.write_calls + 1;
  EXPECT_EQ(SendCommand(link, Entry(C::StatusQuery), ""), SendResult::Failed);
  EXPECT_EQ(platform.restarts, 1);

  channel.writes.clear();
  trace.clear();
  platform.ClearRecords();
  EXPECT_EQ(SendCommand(link, Entry(C::S_Sid), "1234567890123"), SendResult::Refused);
  EXPECT_TRUE(channel.writes.empty());
  EXPECT_TRUE(trace.empty());
  EXPECT_EQ(platform.Messages(), std::vector<std::string>{LineTooLongMessage(20)});
}

}  // namespace
}  // namespace velimo::protocol
