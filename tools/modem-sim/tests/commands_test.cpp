// Every command line of the catalogue, as the program writes it, against
// the simulated modem: the acknowledgement, the value it applied, and the
// rejection of malformed and out-of-range values.
#include <gtest/gtest.h>

#include "modem.h"
#include "reader.h"
#include "wire.h"

namespace velimo::sim::test {
namespace {

const std::string kCal = "at+44Pivot_318Offset_Trim_Adjustment9127=";

// Whether the saved state holds the line "name=value".
bool StateHas(const Modem& modem, const std::string& field) {
  std::string state = modem.SaveState();
  std::size_t at = state.find(field);
  while (at != std::string::npos) {
    bool starts = at == 0 || state[at - 1] == '\n';
    bool ends = at + field.size() < state.size() && state[at + field.size()] == '\n';
    if (starts && ends) return true;
    at = state.find(field, at + 1);
  }
  return false;
}

struct Applied {
  Family family;
  std::string line;
  std::string answer;
  std::string field;  // "name=value" in the saved state afterwards
};

class CommandApplied : public ::testing::TestWithParam<Applied> {};

TEST_P(CommandApplied, IsAcknowledgedAndApplied) {
  const Applied& c = GetParam();
  Modem modem(c.family, Firmware::k1_3);
  ASSERT_FALSE(StateHas(modem, c.field)) << "the default already holds " << c.field;
  Answer answer = modem.Handle(c.line);
  ASSERT_EQ(answer.lines.size(), 1u);
  EXPECT_EQ(answer.lines[0], c.answer);
  EXPECT_TRUE(answer.changed);
  EXPECT_TRUE(StateHas(modem, c.field)) << modem.SaveState();
}

INSTANTIATE_TEST_SUITE_P(
    STavi, CommandApplied,
    ::testing::Values(
        Applied{Family::kSTavi, "AT+MYID=4660", "OK. Source ID=4660", "source_id=4660"},
        Applied{Family::kUTavi, "AT+MYID=16777215", "OK. Source ID=16777215", "source_id=16777215"},
        Applied{Family::kSTavi, "AT+DID=007", "OK. Destination ID=7", "destination_id=7"},
        Applied{Family::kSTavi, "AT+DTN=255", "OK. Destination Table=255", "destination_table=255"},
        Applied{Family::kSTavi, "AT+DENT=12", "OK. Destination Entry=12", "destination_entry=12"},
        Applied{Family::kSTavi, "AT+PID=1,1234", "OK. PID1=1234", "main_pid=1234"},
        Applied{Family::kSTavi, "AT+PID=2,1234", "OK. PID2=1234", "lora_pid=1234"},
        Applied{Family::kSTavi, "AT+PID=3,16777215", "OK. PID3=16777215", "serial_pid=16777215"},
        Applied{Family::kSTavi, "AT+CH=20", "OK. Channel=20", "channel=20"},
        Applied{Family::kSTavi, "AT+SFT=12", "OK. Spreading Factor=12", "spreading_factor=12"},
        Applied{Family::kSTavi, "AT+CTRY=2", "OK. Country=USA", "country=USA"},
        Applied{Family::kSTavi, "AT+CTRY=3", "OK. Country=JPN", "country=JPN"},
        Applied{Family::kSTavi, kCal + "-250", "OK. Frequency Offset=-250",
                "frequency_offset=-250"},
        Applied{Family::kSTavi, kCal + "40000", "OK. Frequency Offset=40000",
                "frequency_offset=40000"},
        Applied{Family::kSTavi, "AT+AES=1", "OK. AES ON", "encryption=ON"},
        Applied{Family::kSTavi, "AT+AESKEY=0123456789abcdef", "OK, AES KEY",
                "aes_key=0123456789abcdef"},
        Applied{Family::kSTavi, "fedcba9876543210", "OK, AES IV", "aes_iv=fedcba9876543210"},
        Applied{Family::kSTavi, "AT+PTYPE=1", "OK. Port Type=Normal", "port_type=Normal"},
        Applied{Family::kSTavi, "AT+PTP=1", "OK. Peer to Peer=ON", "peer_to_peer=ON"},
        Applied{Family::kSTavi, "AT+BAU=13", "OK. Baudrate=921600", "baudrate=921600"},
        Applied{Family::kSTavi, "AT+BAU=0", "OK. Baudrate=600", "baudrate=600"},
        Applied{Family::kSTavi, "AT+PAB=E", "OK. Parity=Even", "parity=Even"},
        Applied{Family::kSTavi, "AT+PAB=O", "OK. Parity=Odd", "parity=Odd"},
        Applied{Family::kSTavi, "AT+HF=1", "OK. Hardware Flow Control=RTS/CTS",
                "flow_control=RTS/CTS"},
        Applied{Family::kSTavi, "AT+DMT=255", "OK. Message Timeout=2550ms",
                "message_timeout_ms=2550"},
        Applied{Family::kSTavi, "AT+DMT=1", "OK. Message Timeout=10ms", "message_timeout_ms=10"},
        Applied{Family::kSTavi, "AT+DMS=0", "OK. Message Size=0", "message_size=0"},
        Applied{Family::kSTavi, "AT+STXL=3", "OK. STX Length=3", "stx_length=3"},
        Applied{Family::kSTavi, "AT+ETXL=2", "OK. ETX Length=2", "etx_length=2"},
        Applied{Family::kSTavi, "AT+STX=02,0a", "OK, STX1=02, STX2=0A", "stx=02,0A,00"},
        Applied{Family::kSTavi, "AT+STX=7e", "OK, STX1=7E", "stx=7E,00,00"},
        Applied{Family::kSTavi, "AT+ETX=04,0D,FF", "OK, ETX1=04, ETX2=0D, ETX3=FF",
                "etx=04,0D,FF"}));

INSTANTIATE_TEST_SUITE_P(
    RTavi, CommandApplied,
    ::testing::Values(
        Applied{Family::kRTavi, "AT+MYID=9", "OK. Source ID=9", "source_id=9"},
        Applied{Family::kRTavi, "AT+MODE=2", "OK. Mode=Relay", "mode=Relay"},
        Applied{Family::kRTavi, "AT+RID1=16777215", "OK. Relay ID 1=16777215",
                "relay_id_1=16777215"},
        Applied{Family::kRTavi, "AT+RID2=4321", "OK. Relay ID 2=4321", "relay_id_2=4321"},
        Applied{Family::kRTavi, "AT+CH=7", "OK. Channel=7", "channel=7"},
        Applied{Family::kRTavi, "AT+SFT=8", "OK. Spreading Factor=8", "spreading_factor=8"},
        Applied{Family::kRTavi, "AT+CTRY=3", "OK. Country=JPN", "country=JPN"},
        Applied{Family::kRTavi, kCal + "-40000", "OK. Frequency Offset=-40000",
                "frequency_offset=-40000"}));

INSTANTIATE_TEST_SUITE_P(
    IoTavi, CommandApplied,
    ::testing::Values(
        Applied{Family::kIoTavi, "AT+MYID=5", "OK. Source ID=5", "source_id=5"},
        Applied{Family::kIoTavi, "AT+DID=123", "OK. Destination ID=123", "destination_id=123"},
        Applied{Family::kIoTavi, "AT+CH=20", "OK. Channel=20", "channel=20"},
        Applied{Family::kIoTavi, "AT+SFT=12", "OK. Spreading Factor=12", "spreading_factor=12"},
        Applied{Family::kIoTavi, "AT+BND=8", "OK. Band=8", "band=8"},
        Applied{Family::kIoTavi, "AT+AES=1", "OK. AES ON", "encryption=ON"},
        Applied{Family::kIoTavi, "AT+AESKEY=KKKKKKKKKKKKKKKK", "OK, AES KEY",
                "aes_key=KKKKKKKKKKKKKKKK"},
        Applied{Family::kIoTavi, "IIIIIIIIIIIIIIII", "OK, AES IV", "aes_iv=IIIIIIIIIIIIIIII"},
        Applied{Family::kIoTavi, "AT+PTYPE=1", "OK. Port Type=Normal", "rs232.port_type=Normal"},
        Applied{Family::kIoTavi, "AT+BAU=10", "OK. Baudrate=115200", "rs232.baudrate=115200"},
        Applied{Family::kIoTavi, "AT+PAB=O", "OK. Parity=Odd", "rs232.parity=Odd"},
        Applied{Family::kIoTavi, "AT+HF=1", "OK. Hardware Flow Control=RTS/CTS",
                "rs232.flow_control=RTS/CTS"},
        Applied{Family::kIoTavi, "AT+DMT=25", "OK. Message Timeout=250ms",
                "rs232.message_timeout_ms=250"},
        Applied{Family::kIoTavi, "AT+DMS=50", "OK. Message Size=50", "rs232.message_size=50"},
        Applied{Family::kIoTavi, "AT+STXL=1", "OK. STX Length=1", "rs232.stx_length=1"},
        Applied{Family::kIoTavi, "AT+ETXL=3", "OK. ETX Length=3", "rs232.etx_length=3"},
        Applied{Family::kIoTavi, "AT+STX=10,20,30", "OK, STX1=10, STX2=20, STX3=30",
                "rs232.stx=10,20,30"},
        Applied{Family::kIoTavi, "AT+ETX=0d,0a", "OK, ETX1=0D, ETX2=0A", "rs232.etx=0D,0A,00"},
        Applied{Family::kIoTavi, "AT+485+PTYPE=1", "OK. 485 Port Type=Normal",
                "rs485.port_type=Normal"},
        Applied{Family::kIoTavi, "AT+485+DID=16777214", "OK. 485 Destination ID=16777214",
                "rs485.destination_id=16777214"},
        Applied{Family::kIoTavi, "AT+485+BAU=13", "OK. 485 Baudrate=921600",
                "rs485.baudrate=921600"},
        Applied{Family::kIoTavi, "AT+485+PAB=E", "OK. 485 Parity=Even", "rs485.parity=Even"},
        Applied{Family::kIoTavi, "AT+485+DMT=1", "OK. 485 Message Timeout=10ms",
                "rs485.message_timeout_ms=10"},
        Applied{Family::kIoTavi, "AT+485+DMS=0", "OK. 485 Message Size=0", "rs485.message_size=0"},
        Applied{Family::kIoTavi, "AT+485+STXL=2", "OK. 485 STX Length=2", "rs485.stx_length=2"},
        Applied{Family::kIoTavi, "AT+485+ETXL=1", "OK. 485 ETX Length=1", "rs485.etx_length=1"},
        Applied{Family::kIoTavi, "AT+485+STX=7e", "OK, 485 STX1=7E", "rs485.stx=7E,00,00"},
        Applied{Family::kIoTavi, "AT+485+ETX=03,0d", "OK, 485 ETX1=03, ETX2=0D",
                "rs485.etx=03,0D,00"}));

// Refused values: the answer begins with "Invalid" (the program shows it),
// names the line, and nothing changes.
struct Refused {
  Family family;
  std::string line;
};

class CommandRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(CommandRefused, AnswersInvalidAndChangesNothing) {
  const Refused& c = GetParam();
  Modem modem(c.family, Firmware::k1_3);
  std::string before = modem.SaveState();
  Answer answer = modem.Handle(c.line);
  ASSERT_EQ(answer.lines.size(), 1u);
  EXPECT_EQ(answer.lines[0], "Invalid Command : " + c.line);
  EXPECT_FALSE(answer.changed);
  EXPECT_EQ(modem.SaveState(), before);
}

INSTANTIATE_TEST_SUITE_P(
    STavi, CommandRefused,
    ::testing::Values(
        Refused{Family::kSTavi, "AT+CH=99"}, Refused{Family::kSTavi, "AT+CH=0"},
        Refused{Family::kSTavi, "AT+CH=21"}, Refused{Family::kSTavi, "AT+CH="},
        Refused{Family::kSTavi, "AT+CH=5x"}, Refused{Family::kSTavi, "AT+CH= 5"},
        Refused{Family::kSTavi, "AT+MYID=0"}, Refused{Family::kSTavi, "AT+MYID=16777216"},
        Refused{Family::kSTavi, "AT+MYID=-5"}, Refused{Family::kSTavi, "AT+DID=0"},
        Refused{Family::kSTavi, "AT+DTN=256"}, Refused{Family::kSTavi, "AT+DENT=256"},
        Refused{Family::kSTavi, "AT+PID=4,5"}, Refused{Family::kSTavi, "AT+PID=1,0"},
        Refused{Family::kSTavi, "AT+PID=1"}, Refused{Family::kSTavi, "AT+PID=12,5"},
        Refused{Family::kSTavi, "AT+SFT=6"}, Refused{Family::kSTavi, "AT+SFT=13"},
        Refused{Family::kSTavi, "AT+CTRY=0"}, Refused{Family::kSTavi, "AT+CTRY=4"},
        Refused{Family::kSTavi, kCal + "40001"}, Refused{Family::kSTavi, kCal + "-40001"},
        Refused{Family::kSTavi, kCal + "+5"}, Refused{Family::kSTavi, kCal},
        Refused{Family::kSTavi, "AT+AES=2"}, Refused{Family::kSTavi, "AT+AESKEY=No Information"},
        Refused{Family::kSTavi, "AT+AESKEY=0123456789abcdefg"},
        Refused{Family::kSTavi, "No Information"}, Refused{Family::kSTavi, "AT+PTYPE=2"},
        Refused{Family::kSTavi, "AT+PTP=2"}, Refused{Family::kSTavi, "AT+BAU=14"},
        Refused{Family::kSTavi, "AT+PAB=n"}, Refused{Family::kSTavi, "AT+PAB=None"},
        Refused{Family::kSTavi, "AT+HF=2"}, Refused{Family::kSTavi, "AT+DMT=0"},
        Refused{Family::kSTavi, "AT+DMT=256"}, Refused{Family::kSTavi, "AT+DMS=117"},
        Refused{Family::kSTavi, "AT+STXL=-"}, Refused{Family::kSTavi, "AT+STXL=4"},
        Refused{Family::kSTavi, "AT+ETXL=-1"}, Refused{Family::kSTavi, "AT+STX=2"},
        Refused{Family::kSTavi, "AT+STX=0g"}, Refused{Family::kSTavi, "AT+STX=02,03,04,05"},
        Refused{Family::kSTavi, "AT+STX=02,"}, Refused{Family::kSTavi, "AT+ETX="},
        Refused{Family::kSTavi, "AT+FOO=1"}, Refused{Family::kSTavi, "at&v"},
        Refused{Family::kSTavi, "AT&V "}));

INSTANTIATE_TEST_SUITE_P(
    Others, CommandRefused,
    ::testing::Values(
        Refused{Family::kRTavi, "AT+MODE=0"}, Refused{Family::kRTavi, "AT+MODE=3"},
        Refused{Family::kRTavi, "AT+RID1=0"}, Refused{Family::kRTavi, "AT+RID2=16777216"},
        Refused{Family::kRTavi, "AT+CH=21"}, Refused{Family::kRTavi, kCal + "x"},
        Refused{Family::kIoTavi, "AT+BND=5"}, Refused{Family::kIoTavi, "AT+BND=9"},
        Refused{Family::kIoTavi, "AT+CH=21"}, Refused{Family::kIoTavi, "AT+SFT=6"},
        Refused{Family::kIoTavi, "AT+485+STXL=-1"}, Refused{Family::kIoTavi, "AT+485+DID=0"},
        Refused{Family::kIoTavi, "AT+485+BAU=14"}, Refused{Family::kIoTavi, "AT+485+PTYPE=2"},
        Refused{Family::kIoTavi, "AT+485+STX=1"}, Refused{Family::kIoTavi, "AT+AESKEY=short"},
        Refused{Family::kIoTavi, "short IV"}));

// Commands this model or firmware does not have: "Invalid" stands inside
// the line, not at its start, so the program logs the answer (and an sTavi
// modem's rejected encryption query is not put in front of the operator).
struct Unsupported {
  Family family;
  Firmware firmware;
  std::string line;
};

class CommandUnsupported : public ::testing::TestWithParam<Unsupported> {};

TEST_P(CommandUnsupported, AnswersWithInvalidInsideTheLine) {
  const Unsupported& c = GetParam();
  Modem modem(c.family, c.firmware);
  std::string before = modem.SaveState();
  Answer answer = modem.Handle(c.line);
  ASSERT_EQ(answer.lines.size(), 1u);
  const std::string& line = answer.lines[0];
  EXPECT_TRUE(line.starts_with("ERROR : ")) << line;
  EXPECT_NE(line.find("Invalid"), std::string::npos) << line;
  EXPECT_TRUE(line.ends_with(" : " + c.line)) << line;
  EXPECT_EQ(modem.SaveState(), before);
}

INSTANTIATE_TEST_SUITE_P(
    All, CommandUnsupported,
    ::testing::Values(Unsupported{Family::kSTavi, Firmware::k1_3, "+++"},
                      Unsupported{Family::kSTavi, Firmware::k1_3, "AT&O"},
                      Unsupported{Family::kSTavi, Firmware::k1_3, "AT+485?"},
                      Unsupported{Family::kSTavi, Firmware::k1_3, "AT+MODE=1"},
                      Unsupported{Family::kSTavi, Firmware::k1_3, "AT+BND=7"},
                      Unsupported{Family::kSTavi, Firmware::k1_3, "AT+485+DID=5"},
                      Unsupported{Family::kSTavi, Firmware::k1_1, "AT&E"},
                      Unsupported{Family::kSTavi, Firmware::k1_0, "AT&E"},
                      Unsupported{Family::kSTavi, Firmware::k1_1, "AT+AES=1"},
                      Unsupported{Family::kSTavi, Firmware::k1_1, "AT+AESKEY=0123456789abcdef"},
                      Unsupported{Family::kSTavi, Firmware::k1_0, "0123456789abcdef"},
                      Unsupported{Family::kRTavi, Firmware::k1_3, "AT&E"},
                      Unsupported{Family::kRTavi, Firmware::k1_3, "AT+AES=0"},
                      Unsupported{Family::kRTavi, Firmware::k1_3, "AT+DID=5"},
                      Unsupported{Family::kRTavi, Firmware::k1_3, "+++"},
                      Unsupported{Family::kRTavi, Firmware::k1_3, "0123456789abcdef"},
                      Unsupported{Family::kIoTavi, Firmware::k1_3, "AT+CTRY=1"},
                      Unsupported{Family::kIoTavi, Firmware::k1_3, kCal + "5"},
                      Unsupported{Family::kIoTavi, Firmware::k1_3, "AT+PTP=1"},
                      Unsupported{Family::kIoTavi, Firmware::k1_3, "AT+DTN=1"}));

TEST(Commands, EveryAcknowledgementBeginsWithOkAndHoldsNoInvalid) {
  // Run the whole catalogue on each family; whatever is not refused must
  // read as an acknowledgement to every parser.
  const std::vector<std::string> catalogue = {
      "AT+MYID=5",        "AT+DID=5",      "AT+DTN=5",      "AT+DENT=5",
      "AT+PID=2,5",       "AT+MODE=2",     "AT+RID1=5",     "AT+RID2=5",
      "AT+CH=5",          "AT+SFT=9",      "AT+CTRY=1",     "AT+BND=6",
      kCal + "-5",        "AT+AES=0",      "AT+AES=1",      "AT+AESKEY=kkkkkkkkkkkkkkkk",
      "iiiiiiiiiiiiiiii", "AT+PTYPE=0",    "AT+PTP=0",      "AT+BAU=6",
      "AT+PAB=N",         "AT+HF=0",       "AT+DMT=10",     "AT+DMS=10",
      "AT+STXL=0",        "AT+ETXL=0",     "AT+STX=02",     "AT+ETX=03",
      "AT+485+PTYPE=0",   "AT+485+DID=5",  "AT+485+BAU=6",  "AT+485+PAB=N",
      "AT+485+DMT=10",    "AT+485+DMS=10", "AT+485+STXL=0", "AT+485+ETXL=0",
      "AT+485+STX=02",    "AT+485+ETX=03", "AT&Z",          "AT&F"};
  for (Family family : {Family::kSTavi, Family::kUTavi, Family::kRTavi, Family::kIoTavi}) {
    Modem modem(family, Firmware::k1_3);
    int acknowledged = 0;
    for (const auto& line : catalogue) {
      for (const auto& answer : modem.Handle(line).lines) {
        if (answer.starts_with("ERROR : ")) continue;
        ++acknowledged;
        EXPECT_TRUE(answer.starts_with("OK. ") || answer.starts_with("OK, ")) << answer;
        EXPECT_EQ(answer.find("Invalid"), std::string::npos) << answer;
      }
    }
    EXPECT_GE(acknowledged, 10) << FamilyName(family);
  }
}

// ---------------------------------------------------------------------------
// The save-all sequences, seen from the sTavi/uTavi parser: the
// acknowledgements must make it say "Successfully changed." exactly once,
// on the answer to the sequence's last command.

struct SParserView {
  std::string firmware;  // as the program holds it after the firmware line
  int stx_length_index = 0;
  int etx_length_index = 0;

  bool Reports(const std::string& line) const {
    if (line.starts_with("OK. AES OFF")) return true;
    if (line.starts_with("OK. Spreading Factor")) return firmware == "1.0" || firmware == "1.1";
    if (line.starts_with("OK. ETX Length=0")) return stx_length_index == 0;
    if (line.starts_with("OK, STX1=")) return etx_length_index == 0;
    if (line.starts_with("OK, ETX1=")) return true;
    if (line.starts_with("OK, AES IV")) return true;
    return false;
  }
};

// The firmware text the program keeps, read from the report's firmware line.
std::string FirmwareText(const std::vector<std::string>& report) {
  for (const auto& line : report) {
    if (line.starts_with("F/W Ver")) return Trim(Chars(line, 11, 3));
    if (line.starts_with("USA F/W")) return Trim(Chars(line, 15, 3)) + " USA";
    if (line.starts_with("JAPAN F/W")) return Trim(Chars(line, 17, 3)) + " JPN";
  }
  return "";
}

// Runs a sequence; returns the index of each answer the parser reports.
std::vector<std::size_t> Reported(Modem& modem, const SParserView& view,
                                  const std::vector<std::string>& sequence) {
  std::vector<std::size_t> reported;
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    auto answer = modem.Handle(sequence[i]);
    EXPECT_EQ(answer.lines.size(), 1u) << sequence[i];
    for (const auto& line : answer.lines) {
      EXPECT_FALSE(line.starts_with("Invalid")) << line;
      if (view.Reports(line)) reported.push_back(i);
    }
  }
  return reported;
}

TEST(SaveAll, SerialPageReportsOnceOnTheLastAnswerForEveryFramingLength) {
  for (int stx = 0; stx <= 3; ++stx) {
    for (int etx = 0; etx <= 3; ++etx) {
      SCOPED_TRACE("STX length " + std::to_string(stx) + ", ETX length " + std::to_string(etx));
      Modem modem(Family::kSTavi, Firmware::k1_3);
      std::vector<std::string> sequence = {"AT+DMT=25", "AT+DMS=100",
                                           "AT+STXL=" + std::to_string(stx),
                                           "AT+ETXL=" + std::to_string(etx)};
      const char* bytes[] = {"", "02", "02,03", "02,03,04"};
      if (stx > 0) sequence.push_back(std::string("AT+STX=") + bytes[stx]);
      if (etx > 0) sequence.push_back(std::string("AT+ETX=") + bytes[etx]);
      auto reported = Reported(modem, {"1.3", stx, etx}, sequence);
      EXPECT_EQ(reported, std::vector<std::size_t>{sequence.size() - 1});
    }
  }
}

TEST(SaveAll, LoRaPageReportsOnceOnEveryFirmware) {
  for (Firmware firmware :
       {Firmware::k1_0, Firmware::k1_1, Firmware::k1_3, Firmware::kUsa, Firmware::kJapan}) {
    for (bool encryption : {false, true}) {
      SCOPED_TRACE(std::string(FirmwareName(firmware)) + (encryption ? " ON" : " OFF"));
      Modem modem(Family::kUTavi, firmware);
      SParserView view{FirmwareText(modem.Handle("AT&V").lines)};
      ASSERT_FALSE(view.firmware.empty());
      std::vector<std::string> sequence = {"AT+DID=77", "AT+CH=3", "AT+SFT=9"};
      if (view.firmware != "1.0" && view.firmware != "1.1") {
        sequence.push_back(encryption ? "AT+AES=1" : "AT+AES=0");
        if (encryption) {
          sequence.push_back("AT+AESKEY=0123456789abcdef");
          sequence.push_back("fedcba9876543210");
        }
      }
      auto reported = Reported(modem, view, sequence);
      EXPECT_EQ(reported, std::vector<std::size_t>{sequence.size() - 1});
    }
  }
}

TEST(SaveAll, RTaviAndIoTaviAcknowledgeEachStepOnlyOnceAsTheirParsersExpect) {
  // rTavi: only the spreading factor's answer begins "OK. Spreading", and
  // the LoRa save-all sends it last.
  Modem relay(Family::kRTavi, Firmware::k1_3);
  std::vector<std::string> lora = {"AT+MODE=2", "AT+RID1=10", "AT+RID2=20", "AT+CH=4", "AT+SFT=10"};
  for (std::size_t i = 0; i < lora.size(); ++i) {
    auto answer = relay.Handle(lora[i]);
    ASSERT_EQ(answer.lines.size(), 1u);
    EXPECT_EQ(answer.lines[0].starts_with("OK. Spreading"), i == lora.size() - 1)
        << answer.lines[0];
  }
  // ioTavi: only the IV's answer begins "OK, AES IV" (which makes the
  // program ask for key and IV); nothing reads as an AT mode line.
  Modem io(Family::kIoTavi, Firmware::k1_3);
  std::vector<std::string> aes = {"AT+AES=1", "AT+AESKEY=0123456789abcdef", "fedcba9876543210"};
  for (std::size_t i = 0; i < aes.size(); ++i) {
    auto answer = io.Handle(aes[i]);
    ASSERT_EQ(answer.lines.size(), 1u);
    EXPECT_EQ(answer.lines[0].starts_with("OK, AES IV"), i == aes.size() - 1);
    EXPECT_FALSE(answer.lines[0].starts_with("AT Mode"));
  }
}

// ---------------------------------------------------------------------------

TEST(Commands, JapanNarrowsTheChannelPlan) {
  Modem modem(Family::kSTavi, Firmware::k1_3);
  modem.Handle("AT+CH=15");
  modem.Handle("AT+SFT=12");
  EXPECT_EQ(modem.Handle("AT+CTRY=3").lines[0], "OK. Country=JPN");
  EXPECT_TRUE(StateHas(modem, "channel=9"));
  EXPECT_TRUE(StateHas(modem, "spreading_factor=11"));
  EXPECT_EQ(modem.Handle("AT+CH=10").lines[0], "Invalid Command : AT+CH=10");
  EXPECT_EQ(modem.Handle("AT+SFT=12").lines[0], "Invalid Command : AT+SFT=12");
  EXPECT_EQ(modem.Handle("AT+CH=9").lines[0], "OK. Channel=9");

  Modem japan(Family::kSTavi, Firmware::kJapan);
  EXPECT_TRUE(StateHas(japan, "country=JPN"));
  EXPECT_EQ(japan.Handle("AT+CH=10").lines[0], "Invalid Command : AT+CH=10");
  Modem usa(Family::kRTavi, Firmware::kUsa);
  EXPECT_TRUE(StateHas(usa, "country=USA"));
}

TEST(Commands, QueriesResetsAndAtMode) {
  Modem io(Family::kIoTavi, Firmware::k1_3);
  EXPECT_EQ(io.Handle("+++").lines, std::vector<std::string>{"AT Mode On"});
  EXPECT_TRUE(io.at_mode());
  EXPECT_EQ(io.Handle("AT&O").lines, std::vector<std::string>{"AT Mode Off"});
  EXPECT_FALSE(io.at_mode());
  EXPECT_EQ(io.Handle("AT+485?").lines, Rs485Report(std::get<IoTaviConfig>(io.config())));
  EXPECT_EQ(io.Handle("AT&E").lines, KeyReport(std::get<IoTaviConfig>(io.config())));

  Modem s(Family::kSTavi, Firmware::k1_3);
  EXPECT_EQ(s.Handle("AT&V").lines,
            StatusReport(std::get<STaviConfig>(s.config()), Firmware::k1_3));
  s.Handle("AT+CH=12");
  s.Handle("AT+AESKEY=0123456789abcdef");
  auto reset = s.Handle("AT&Z");
  EXPECT_EQ(reset.lines, std::vector<std::string>{"OK. System Reset"});
  EXPECT_FALSE(reset.changed);
  EXPECT_TRUE(StateHas(s, "channel=12"));  // a reset keeps the configuration
  auto factory = s.Handle("AT&F");
  EXPECT_EQ(factory.lines, std::vector<std::string>{"OK. Factory Default"});
  EXPECT_TRUE(factory.changed);
  EXPECT_EQ(std::get<STaviConfig>(s.config()), STaviConfig{});
  EXPECT_EQ(s.Handle("AT&E").lines[0], "AES KEY = ****************(Default)");
  EXPECT_TRUE(s.Handle("").lines.empty());  // a bare carriage return
}

TEST(Commands, CalibrationTakesTheProgramsMinusZero) {
  Modem modem(Family::kSTavi, Firmware::k1_3);
  modem.Handle(kCal + "-250");
  EXPECT_EQ(modem.Handle(kCal + "-0").lines[0], "OK. Frequency Offset=0");
  EXPECT_TRUE(StateHas(modem, "frequency_offset=0"));
}

TEST(Commands, ARefusedLineIsEchoedPrintable) {
  Modem modem(Family::kSTavi, Firmware::k1_3);
  auto answer = modem.Handle(std::string("AT+CH=\x01\x7f\xff", 9));
  EXPECT_EQ(answer.lines[0], "Invalid Command : AT+CH=???");
}

TEST(WireText, EndsEveryLineWithCarriageReturnAndLineFeed) {
  EXPECT_EQ(WireText({"OK. AES OFF", "x"}), "OK. AES OFF\r\nx\r\n");
  EXPECT_EQ(WireText({}), "");
}

// ---------------------------------------------------------------------------

TEST(LineSplitter, CutsTheProgramsStreamIntoCommandLines) {
  struct Case {
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    std::string pending;
  };
  const std::vector<Case> cases = {
      {{"AT&V\r"}, {"AT&V"}, ""},
      {{"A", "T", "&", "V", "\r"}, {"AT&V"}, ""},
      {{"AT+CH=5\rAT+SF"}, {"AT+CH=5"}, "AT+SF"},
      {{"+", "+", "+"}, {"+++"}, ""},                // no terminator
      {{"+++AT&O\r"}, {"+++", "AT&O"}, ""},          // AT mode on, then off
      {{"ab+++\r"}, {"ab+++"}, ""},                  // only at the start of a line
      {{"AT&V\r\n"}, {"AT&V"}, ""},                  // a line feed is dropped
      {{std::string("AT\0&V\r", 6)}, {"AT&V"}, ""},  // so is a NUL byte
      {{"\r\r"}, {"", ""}, ""},
      {{std::string(300, 'x') + "\r"}, {std::string(LineSplitter::kMaxLine, 'x')}, ""},
  };
  for (const auto& c : cases) {
    LineSplitter splitter;
    std::vector<std::string> lines;
    for (const auto& piece : c.pieces) {
      auto more = splitter.Feed(piece);
      lines.insert(lines.end(), more.begin(), more.end());
    }
    EXPECT_EQ(lines, c.lines) << c.pieces[0];
    EXPECT_EQ(splitter.pending(), c.pending);
  }
}

}  // namespace
}  // namespace velimo::sim::test

namespace velimo::sim::test {
namespace {

TEST(ModemBehaviour, IgnoredSettingIsAcknowledgedButKeptAndTheRateWatchFollowsANewRate) {
  Modem modem(Family::kSTavi, Firmware::k1_3);
  modem.SetIgnored({"AT+CH=", "IV"});
  modem.SetRateWatch(true);
  EXPECT_EQ(modem.Handle("AT+CH=5").lines, std::vector<std::string>{"OK. Channel=5"});
  EXPECT_EQ(modem.Handle("ABCDEFGHIJKLMNOP").lines, std::vector<std::string>{"OK, AES IV"});
  const auto& c = std::get<STaviConfig>(modem.config());
  EXPECT_EQ(c.radio.channel, 1);
  EXPECT_EQ(c.aes.iv, kDefaultKey);
  EXPECT_TRUE(modem.Hears(1200)) << "before a rate change any line is heard";
  EXPECT_EQ(modem.Handle("AT+BAU=10").lines, std::vector<std::string>{"OK. Baudrate=115200"});
  EXPECT_EQ(modem.LinkBaud(), 115200);
  EXPECT_FALSE(modem.Hears(9600));
  EXPECT_TRUE(modem.Hears(115200));
}

}  // namespace
}  // namespace velimo::sim::test
