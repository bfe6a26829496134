// The report lines, read the way the program's parser rows read them: each
// line must begin with exactly one row's keyword, and each value must stand
// at the row's position or token index.
#include <gtest/gtest.h>

#include "modem.h"
#include "reader.h"

namespace velimo::sim::test {
namespace {

struct Keyword {
  std::string_view text;
  std::size_t at = 1;
};

// Every keyword of each family's parser table, at its position.
const std::vector<Keyword> kSKeywords = {{"OK. AES OFF"},      {"OK. Spreading Factor"},
                                         {"OK. ETX Length=0"}, {"OK, STX1="},
                                         {"OK, ETX1="},        {"OK, AES IV"},
                                         {"Invalid"},          {"AES KEY"},
                                         {"AES IV"},           {"F/W Ver"},
                                         {"USA F/W"},          {"JAPAN F/W"},
                                         {"Source ID"},        {"Destination"},
                                         {"Main   PID"},       {"LoRa   PID"},
                                         {"Serial PID"},       {"Country"},
                                         {"Channel"},          {"Encryption"},
                                         {"Port Type"},        {"Peer"},
                                         {"Message"},          {"STX Length"},
                                         {"ETX Length"},       {"Baudrate"},
                                         {"Stop Bit"}};
const std::vector<Keyword> kRKeywords = {{"OK. Spreading"}, {"Invalid"},       {"F/W Ver"},
                                         {"Source ID"},     {"Country"},       {"Channel"},
                                         {"Mode"},          {"Relay ID 1", 8}, {"Relay ID 2", 8}};
const std::vector<Keyword> kIKeywords = {{"AT Mode"},
                                         {"OK, AES IV"},
                                         {"Invalid"},
                                         {"AESKEY"},
                                         {"AESIV"},
                                         {"Port Type", 2},
                                         {"Dummy Destination", 2},
                                         {"BaudRate", 2},
                                         {"Data Bit", 2},
                                         {"Hardware", 2},
                                         {"Message", 2},
                                         {"STX Length", 2},
                                         {"ETX Length", 2},
                                         {"F/W Ver"},
                                         {"Source ID"},
                                         {"Channel"},
                                         {"Encryption"},
                                         {"Port Type"},
                                         {"Dummy Destination"},
                                         {"BaudRate"},
                                         {"Data Bit"},
                                         {"Hardware"},
                                         {"Message"},
                                         {"STX Length"},
                                         {"ETX Length"}};

enum class Read { kChars, kRest, kToken, kTokenDigits, kTokenHex };

// One value read by a row: where and how, and what it must be.
struct Expect {
  Keyword keyword;
  Read read;
  std::size_t where;  // position, or token index
  std::size_t count;  // characters, for kChars
  std::string value;
};

std::string ReadValue(const std::string& line, const Expect& e) {
  switch (e.read) {
    case Read::kChars:
      return Trim(Chars(line, e.where, e.count));
    case Read::kRest:
      return Trim(Rest(line, e.where));
    case Read::kToken:
    case Read::kTokenDigits:
    case Read::kTokenHex: {
      auto tokens = Tokens(line);
      if (e.where >= tokens.size()) return "<no token " + std::to_string(e.where) + ">";
      const std::string& token = tokens[e.where];
      if (e.read == Read::kTokenDigits) return Digits(token);
      if (e.read == Read::kTokenHex) return Trim(Chars(token, 3, 2));
      return Trim(token);
    }
  }
  return "";
}

// Each line begins with exactly one keyword, none carries "Invalid", and
// every expected value is read from the one line of its keyword.
void CheckReport(const std::vector<std::string>& lines, const std::vector<Keyword>& keywords,
                 const std::vector<Expect>& expects) {
  for (const auto& line : lines) {
    int matches = 0;
    for (const auto& k : keywords) matches += BeginsAt(line, k.at, k.text) ? 1 : 0;
    EXPECT_EQ(matches, 1) << "line \"" << line << "\"";
    EXPECT_EQ(line.find("Invalid"), std::string::npos) << line;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  }
  for (const auto& e : expects) {
    std::vector<std::string> found;
    for (const auto& line : lines) {
      if (BeginsAt(line, e.keyword.at, e.keyword.text)) found.push_back(line);
    }
    ASSERT_EQ(found.size(), 1u) << "keyword \"" << e.keyword.text << "\" at " << e.keyword.at;
    EXPECT_EQ(ReadValue(found[0], e), e.value) << "line \"" << found[0] << "\", "
                                               << (e.read == Read::kChars  ? "characters at "
                                                   : e.read == Read::kRest ? "rest from "
                                                                           : "token ")
                                               << e.where;
  }
}

bool HasLineStarting(const std::vector<std::string>& lines, std::string_view keyword) {
  for (const auto& line : lines) {
    if (line.starts_with(keyword)) return true;
  }
  return false;
}

STaviConfig DistinctSTavi() {
  STaviConfig c;
  c.source_id = 4660;
  c.destination_id = 12345678;
  c.destination_table = 17;
  c.destination_entry = 42;
  c.pid = {111, 2222, 16777215};
  c.radio.country = 1;
  c.radio.channel = 13;
  c.radio.spreading_factor = 11;
  c.aes.on = true;
  c.serial.port_type = 1;
  c.peer_to_peer = true;
  c.serial.baud_index = 10;
  c.serial.parity = 2;
  c.serial.flow_control = true;
  c.serial.timeout_tenths = 25;
  c.serial.message_size = 64;
  c.serial.stx = {2, {0x02, 0xAB, 0x00}};
  c.serial.etx = {3, {0x03, 0x0D, 0x0A}};
  return c;
}

// The rows that read an sTavi/uTavi report, for the distinct configuration.
std::vector<Expect> STaviExpects(std::size_t sf_token) {
  return {
      {{"Source ID"}, Read::kRest, 13, 0, "4660"},
      {{"Destination"}, Read::kToken, 2, 0, "12345678"},
      {{"Destination"}, Read::kToken, 5, 0, "17"},
      {{"Destination"}, Read::kToken, 8, 0, "42"},
      {{"Main   PID"}, Read::kRest, 14, 0, "111"},
      {{"LoRa   PID"}, Read::kRest, 14, 0, "2222"},
      {{"Serial PID"}, Read::kRest, 14, 0, "16777215"},
      {{"Country"}, Read::kChars, 11, 3, "USA"},
      {{"Channel"}, Read::kToken, 1, 0, "13"},
      {{"Channel"}, Read::kToken, sf_token, 0, "11"},
      {{"Port Type"}, Read::kChars, 13, 6, "Normal"},
      {{"Peer"}, Read::kChars, 16, 2, "ON"},
      {{"Message"}, Read::kTokenDigits, 2, 0, "250"},
      {{"Message"}, Read::kTokenDigits, 6, 0, "64"},
      {{"STX Length"}, Read::kToken, 2, 0, "2"},
      {{"STX Length"}, Read::kTokenHex, 5, 0, "02"},
      {{"STX Length"}, Read::kTokenHex, 8, 0, "AB"},
      {{"STX Length"}, Read::kTokenHex, 11, 0, "00"},
      {{"ETX Length"}, Read::kToken, 2, 0, "3"},
      {{"ETX Length"}, Read::kTokenHex, 5, 0, "03"},
      {{"ETX Length"}, Read::kTokenHex, 8, 0, "0D"},
      {{"ETX Length"}, Read::kTokenHex, 11, 0, "0A"},
      {{"Baudrate"}, Read::kToken, 1, 0, "115200"},
      {{"Baudrate"}, Read::kToken, 5, 0, "Even"},
      {{"Baudrate"}, Read::kToken, 9, 0, "8"},
      {{"Stop Bit"}, Read::kToken, 2, 0, "1"},
      {{"Stop Bit"}, Read::kToken, 7, 0, "RTS/CTS"},
  };
}

struct FirmwareCase {
  Firmware firmware;
  const char* version_keyword;
  std::size_t version_at;
  const char* version;
  std::size_t sf_token;
  bool encryption;
};

class STaviReport : public ::testing::TestWithParam<FirmwareCase> {};

TEST_P(STaviReport, EveryRowReadsItsValue) {
  const FirmwareCase& f = GetParam();
  auto lines = StatusReport(DistinctSTavi(), f.firmware);
  auto expects = STaviExpects(f.sf_token);
  expects.push_back({{f.version_keyword}, Read::kChars, f.version_at, 3, f.version});
  if (f.encryption) expects.push_back({{"Encryption"}, Read::kChars, 14, 3, "ON"});
  CheckReport(lines, kSKeywords, expects);
  EXPECT_EQ(HasLineStarting(lines, "Encryption"), f.encryption);
  // Only one firmware line, and before the channel line, whose reading
  // depends on it; the status is confirmed by the last line.
  int firmware_lines = 0;
  for (const auto& line : lines) {
    if (line.starts_with("F/W Ver") || line.starts_with("USA F/W") ||
        line.starts_with("JAPAN F/W")) {
      ++firmware_lines;
    }
  }
  EXPECT_EQ(firmware_lines, 1);
  EXPECT_TRUE(lines.front().find("F/W") != std::string::npos) << lines.front();
  EXPECT_TRUE(lines.back().starts_with("Stop Bit")) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(
    Firmwares, STaviReport,
    ::testing::Values(FirmwareCase{Firmware::k1_0, "F/W Ver", 11, "1.0", 8, false},
                      FirmwareCase{Firmware::k1_1, "F/W Ver", 11, "1.1", 5, false},
                      FirmwareCase{Firmware::k1_3, "F/W Ver", 11, "1.3", 5, true},
                      FirmwareCase{Firmware::kUsa, "USA F/W", 15, "1.2", 5, true},
                      FirmwareCase{Firmware::kJapan, "JAPAN F/W", 17, "1.2", 5, true}));

TEST(STaviReport, CountryComesBeforeChannelAndOffIsReadAsThreeCharacters) {
  STaviConfig c;  // encryption off, port Kivet, peer off, flow off
  auto lines = StatusReport(c, Firmware::k1_3);
  std::size_t country = 0, channel = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with("Country")) country = i;
    if (lines[i].starts_with("Channel")) channel = i;
  }
  EXPECT_LT(country, channel);  // a country line rebuilds the channel lists
  CheckReport(lines, kSKeywords,
              {{{"Encryption"}, Read::kChars, 14, 3, "OFF"},
               {{"Port Type"}, Read::kChars, 13, 5, "Kivet"},
               {{"Peer"}, Read::kChars, 16, 3, "OFF"},
               {{"Stop Bit"}, Read::kToken, 7, 0, "OFF"},
               {{"Country"}, Read::kChars, 11, 3, "KOR"},
               {{"Baudrate"}, Read::kToken, 1, 0, "9600"},
               {{"Baudrate"}, Read::kToken, 5, 0, "None"}});
}

TEST(STaviReport, KeyReportShowsTheDefaultKeyMaskedAndAnyOtherInClear) {
  STaviConfig c;
  CheckReport(KeyReport(c), kSKeywords,
              {{{"AES KEY"}, Read::kRest, 10, 0, "****************(Default)"},
               {{"AES IV"}, Read::kRest, 9, 0, "****************(Default)"}});
  c.aes.key = "0123456789ABCDEF";
  c.aes.iv = "a=b,c d!e#f$g%h&";
  CheckReport(KeyReport(c), kSKeywords,
              {{{"AES KEY"}, Read::kRest, 10, 0, "0123456789ABCDEF"},
               {{"AES IV"}, Read::kRest, 9, 0, "a=b,c d!e#f$g%h&"}});
}

TEST(RTaviReport, EveryRowReadsItsValue) {
  for (int mode : {1, 2}) {
    RTaviConfig c;
    c.source_id = 777;
    c.radio.country = 2;
    c.radio.channel = 9;
    c.radio.spreading_factor = 10;
    c.mode = mode;
    c.relay_id_1 = 16777215;
    c.relay_id_2 = 5;
    for (Firmware firmware : {Firmware::k1_0, Firmware::k1_3, Firmware::kUsa}) {
      SCOPED_TRACE(mode);
      CheckReport(StatusReport(c, firmware), kRKeywords,
                  {{{"F/W Ver"},
                    Read::kChars,
                    11,
                    3,
                    firmware == Firmware::k1_0   ? "1.0"
                    : firmware == Firmware::k1_3 ? "1.3"
                                                 : "1.2"},
                   {{"Source ID"}, Read::kRest, 13, 0, "777"},
                   {{"Country"}, Read::kChars, 11, 3, "JPN"},
                   {{"Channel"}, Read::kToken, 1, 0, "9"},
                   {{"Channel"}, Read::kToken, 5, 0, "10"},
                   {{"Mode"}, Read::kChars, 8, 6, mode == 1 ? "Repeat" : "Relay"},
                   {{"Relay ID 1", 8}, Read::kRest, 21, 0, "16777215"},
                   {{"Relay ID 2", 8}, Read::kRest, 21, 0, "5"}});
    }
  }
}

IoTaviConfig DistinctIoTavi() {
  IoTaviConfig c;
  c.source_id = 99;
  c.destination_id = 4242;
  c.channel = 17;
  c.band = 8;
  c.spreading_factor = 12;
  c.aes.on = true;
  c.rs232.port_type = 1;
  c.rs232.baud_index = 13;
  c.rs232.parity = 1;
  c.rs232.flow_control = true;
  c.rs232.timeout_tenths = 1;
  c.rs232.message_size = 0;
  c.rs232.stx = {1, {0x7E, 0x00, 0x00}};
  c.rs232.etx = {0, {0x7F, 0x01, 0x02}};
  c.rs485.port_type = 0;
  c.rs485.baud_index = 0;
  c.rs485.parity = 2;
  c.rs485.timeout_tenths = 255;
  c.rs485.message_size = 116;
  c.rs485.stx = {3, {0x11, 0x22, 0x33}};
  c.rs485.etx = {2, {0x44, 0x55, 0x66}};
  c.destination_id_485 = 16777215;
  return c;
}

TEST(IoTaviReport, StatusRowsReadTheRs232Side) {
  for (Firmware firmware : {Firmware::k1_3, Firmware::kUsa}) {
    auto lines = StatusReport(DistinctIoTavi(), firmware);
    CheckReport(lines, kIKeywords,
                {{{"F/W Ver"}, Read::kRest, 13, 0, firmware == Firmware::kUsa ? "1.2 USA" : "1.3"},
                 {{"Source ID"}, Read::kRest, 14, 0, "99"},
                 {{"Channel"}, Read::kToken, 1, 0, "17"},
                 {{"Channel"}, Read::kToken, 4, 0, "8"},
                 {{"Channel"}, Read::kToken, 8, 0, "12"},
                 {{"Encryption"}, Read::kChars, 12, 3, "ON"},
                 {{"Port Type"}, Read::kChars, 11, 6, "Normal"},
                 {{"Dummy Destination"}, Read::kRest, 25, 0, "4242"},
                 {{"BaudRate"}, Read::kToken, 1, 0, "921600"},
                 {{"BaudRate"}, Read::kToken, 5, 0, "Odd"},
                 {{"Data Bit"}, Read::kToken, 2, 0, "8"},
                 {{"Data Bit"}, Read::kToken, 6, 0, "1"},
                 {{"Hardware"}, Read::kToken, 3, 0, "ON"},
                 {{"Message"}, Read::kTokenDigits, 2, 0, "10"},
                 {{"Message"}, Read::kTokenDigits, 6, 0, "0"},
                 {{"STX Length"}, Read::kToken, 2, 0, "1"},
                 {{"STX Length"}, Read::kTokenHex, 5, 0, "7E"},
                 {{"ETX Length"}, Read::kToken, 2, 0, "0"},
                 {{"ETX Length"}, Read::kTokenHex, 11, 0, "02"}});
    // The status report holds no RS-485 line.
    for (const auto& line : lines) EXPECT_NE(line.front(), ' ') << line;
  }
}

TEST(IoTaviReport, Rs485RowsReadOnePositionFurtherRight) {
  IoTaviConfig c = DistinctIoTavi();
  auto lines = Rs485Report(c);
  CheckReport(lines, kIKeywords,
              {{{"Port Type", 2}, Read::kChars, 12, 5, "Kivet"},
               {{"Dummy Destination", 2}, Read::kRest, 26, 0, "16777215"},
               {{"BaudRate", 2}, Read::kToken, 1, 0, "600"},
               {{"BaudRate", 2}, Read::kToken, 5, 0, "Even"},
               {{"Data Bit", 2}, Read::kToken, 2, 0, "8"},
               {{"Data Bit", 2}, Read::kToken, 6, 0, "1"},
               {{"Hardware", 2}, Read::kToken, 3, 0, "RTS/CTS"},
               {{"Message", 2}, Read::kTokenDigits, 2, 0, "2550"},
               {{"Message", 2}, Read::kTokenDigits, 6, 0, "116"},
               {{"STX Length", 2}, Read::kToken, 2, 0, "3"},
               {{"STX Length", 2}, Read::kTokenHex, 5, 0, "11"},
               {{"STX Length", 2}, Read::kTokenHex, 8, 0, "22"},
               {{"STX Length", 2}, Read::kTokenHex, 11, 0, "33"},
               {{"ETX Length", 2}, Read::kToken, 2, 0, "2"},
               {{"ETX Length", 2}, Read::kTokenHex, 8, 0, "55"}});
  // The flow-control display follows the one setting whichever report
  // comes last: "OFF" in both when it is off.
  c.rs232.flow_control = false;
  CheckReport(Rs485Report(c), kIKeywords, {{{"Hardware", 2}, Read::kToken, 3, 0, "OFF"}});
  CheckReport(StatusReport(c, Firmware::k1_3), kIKeywords,
              {{{"Hardware"}, Read::kToken, 3, 0, "OFF"}});
}

TEST(IoTaviReport, KeyReportUsesTheUnspacedKeywords) {
  IoTaviConfig c;
  CheckReport(KeyReport(c), kIKeywords,
              {{{"AESKEY"}, Read::kRest, 8, 0, "****************(Default)"},
               {{"AESIV"}, Read::kRest, 7, 0, "****************(Default)"}});
  c.aes.key = "KKKKKKKKKKKKKKKK";
  c.aes.iv = "IIIIIIIIIIIIIIII";
  CheckReport(KeyReport(c), kIKeywords,
              {{{"AESKEY"}, Read::kRest, 8, 0, "KKKKKKKKKKKKKKKK"},
               {{"AESIV"}, Read::kRest, 7, 0, "IIIIIIIIIIIIIIII"}});
}

// A wrongly chosen model must show up as a value missing where the chosen
// family reads it (the program then names the device choice).
TEST(ForeignReports, IoTaviChannelLineFailsTheOtherFamiliesAndTheirsFailIoTavi) {
  auto io = StatusReport(IoTaviConfig{}, Firmware::k1_3);
  auto s = StatusReport(STaviConfig{}, Firmware::k1_3);
  auto r = StatusReport(RTaviConfig{}, Firmware::k1_3);
  auto channel = [](const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
      if (line.starts_with("Channel")) return Tokens(line);
    }
    return std::vector<std::string>{};
  };
  auto is_integer = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  // sTavi/uTavi and rTavi read the spreading factor at token 5.
  ASSERT_GT(channel(io).size(), 5u);
  EXPECT_FALSE(is_integer(channel(io)[5]));
  // ioTavi reads it at token 8.
  EXPECT_LE(channel(s).size(), 8u);
  EXPECT_LE(channel(r).size(), 8u);
}

}  // namespace
}  // namespace velimo::sim::test
