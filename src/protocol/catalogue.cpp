#include "protocol/catalogue.h"

#include <algorithm>

#include "util/positions.h"

namespace velimo::protocol {

namespace {

using E = ValueEncoding;
using C = CommandId;
using L = ListId;

constexpr long long kMaxId = 16777215;  // 24-bit identifiers; the broadcast one
constexpr std::string_view kSidRange = "Source  ID Range : 1~16777215";
constexpr std::string_view kDidRange = "Destination ID Range : 1~16777215";
constexpr std::string_view kDmtRange = "Message Timeout Range : 10~2550ms";
constexpr std::string_view kDmsRange = "Message Size Range : 0~116";
constexpr std::string_view kCalibration = "at+44Pivot_318Offset_Trim_Adjustment9127=";

constexpr CommandEntry Typed(C id, std::string_view cmd, long long min, long long max,
                             std::string_view refusal, E enc = E::Typed, int size = 20) {
  return {id, cmd, size, enc, BoundsKind::IntRange, min, max, refusal};
}

// Milliseconds the modem keeps in steps of ten.
constexpr CommandEntry Timeout(C id, std::string_view cmd) {
  CommandEntry s = Typed(id, cmd, 10, 2550, kDmtRange, E::Tenths);
  s.step = 10;
  return s;
}

constexpr CommandEntry List(C id, std::string_view cmd, E enc, ListId list, int size = 20) {
  CommandEntry s{id, cmd, size, enc, BoundsKind::None, 0, 0, {}};
  s.list = list;
  return s;
}

constexpr CommandEntry Pid(C id, int digit) {
  CommandEntry s = Typed(id, "AT+PID=", 1, kMaxId, "PID Range : 1~16777215", E::PortAndTyped);
  s.port_digit = digit;
  return s;
}

// Framing bytes: as many as their length setting says.
constexpr CommandEntry Hex(C id, std::string_view cmd, std::string_view frame, C length) {
  CommandEntry s{id, cmd, 20, E::HexList, BoundsKind::HexCount, 1, 3, {}};
  s.frame = frame;
  s.length = length;
  return s;
}

constexpr CommandEntry Aes(C id, std::string_view cmd, long long exactLength,
                           std::string_view refusal) {
  CommandEntry s{id,
                 cmd,
                 30,
                 E::Typed,
                 exactLength ? BoundsKind::ExactLength : BoundsKind::None,
                 exactLength,
                 exactLength,
                 refusal};
  s.secret = true;
  s.query = Query::Encryption;
  return s;
}

constexpr CommandEntry Action(C id, std::string_view cmd, int size,
                              std::string_view announcement = {},
                              std::string_view confirmation = {}, bool terminated = true) {
  CommandEntry s{id, cmd, size, E::None, BoundsKind::None, 0, 0, {}};
  s.terminated = terminated;
  s.announcement = announcement;
  s.confirmation = confirmation;
  return s;
}

constexpr CommandEntry StatusQueryRow() {
  CommandEntry s = Action(C::StatusQuery, "AT&V", 5, "Send Current Status Read Command to ... ");
  s.lost_connection_on_failure = true;
  return s;
}

// A setting of a page set: the caption of its row, its key in a profile.
constexpr CommandEntry Setting(PageSet set, std::string_view caption, std::string_view key,
                               CommandEntry s) {
  s.set = set;
  s.caption = caption;
  s.key = key;
  return s;
}

constexpr CommandEntry Identity(PageSet set, C id) {
  CommandEntry s = Setting(set, "Source ID", "MYID", Typed(id, "AT+MYID=", 1, kMaxId, kSidRange));
  s.identity = true;
  return s;
}

constexpr CommandEntry ChangesLink(CommandEntry s, LinkField field) {
  s.link = field;
  return s;
}

// The ioTavi's RS-485 side, read with its own query.
constexpr CommandEntry Rs485(std::string_view caption, std::string_view key, CommandEntry s) {
  s = Setting(PageSet::I, caption, key, s);
  s.query = Query::Rs485;
  return s;
}

constexpr PageSet S = PageSet::S;
constexpr PageSet R = PageSet::R;
constexpr PageSet I = PageSet::I;

constexpr std::array<CommandEntry, static_cast<size_t>(C::kCount)> kTable = {{
    // identity and addressing
    Identity(S, C::S_Sid),
    Identity(R, C::R_Sid),
    Identity(I, C::I_Sid),
    Setting(S, "Destination ID", "DID", Typed(C::S_Did, "AT+DID=", 1, kMaxId, kDidRange)),
    Setting(I, "Destination ID", "DID", Typed(C::I_Did, "AT+DID=", 1, kMaxId, kDidRange)),
    Setting(S, "Dest. Table Number", "DTN",
            Typed(C::S_Dtn, "AT+DTN=", 0, 255, "Destination Table number Range : 0~255")),
    Setting(S, "Dest. Entry Number", "DENT",
            Typed(C::S_Dent, "AT+DENT=", 0, 255, "Destination Entry number Range : 0~255")),
    Setting(S, "Main Port PID", "PID1", Pid(C::S_MPID, 1)),
    Setting(S, "LoRa Port PID", "PID2", Pid(C::S_LPID, 2)),
    Setting(S, "Serial Port PID", "PID3", Pid(C::S_SPID, 3)),
    Setting(R, "rTavi Mode", "MODE", List(C::R_Mode, "AT+MODE=", E::PositionPlus1, L::RelayMode)),
    Setting(R, "Relay ID 1", "RID1",
            Typed(C::R_Rid1, "AT+RID1=", 1, kMaxId, "Relay ID 1 Range : 1~16777215")),
    Setting(R, "Relay ID 2", "RID2",
            Typed(C::R_Rid2, "AT+RID2=", 1, kMaxId, "Relay ID 2 Range : 1~16777215")),
    // radio
    Setting(S, "Channel", "CH", List(C::S_CH, "AT+CH=", E::PositionPlus1, L::Channel)),
    Setting(R, "Channel", "CH", List(C::R_CH, "AT+CH=", E::PositionPlus1, L::Channel)),
    Setting(I, "Channel", "CH", List(C::I_CH, "AT+CH=", E::PositionPlus1, L::Channel)),
    Setting(S, "Spreading Factor", "SFT", List(C::S_SF, "AT+SFT=", E::PositionPlus7, L::Factor)),
    Setting(R, "Spreading Factor", "SFT", List(C::R_SF, "AT+SFT=", E::PositionPlus7, L::Factor)),
    Setting(I, "Spreading Factor", "SFT", List(C::I_SF, "AT+SFT=", E::PositionPlus7, L::Factor)),
    Setting(S, "Country Code", "CTRY",
            List(C::S_Country, "AT+CTRY=", E::PositionPlus1, L::Country)),
    Setting(R, "Country Code", "CTRY",
            List(C::R_Country, "AT+CTRY=", E::PositionPlus1, L::Country)),
    Setting(I, "Band", "BND", Typed(C::I_Band, "AT+BND=", 6, 8, "LoRa Band Range : 6~8")),
    // Only the administrator panel offers the calibration; no profile holds it.
    Setting(S, "LoRa Frequency change", {},
            Typed(C::S_Freq, kCalibration, 0, 40000, "LoRa Frequency Range : -40000~40000",
                  E::SignedCalibration, 50)),
    Setting(R, "LoRa Frequency change", {},
            Typed(C::R_Freq, kCalibration, 0, 40000, "LoRa Frequency Range : -40000~40000",
                  E::SignedCalibration, 50)),
    // encryption
    Setting(S, "Encryption", "AES", List(C::S_En, "AT+AES=", E::PositionFirstChar, L::OnOff)),
    Setting(I, "Encryption", "AES", List(C::I_En, "AT+AES=", E::PositionFirstChar, L::OnOff)),
    // The sTavi/uTavi key and IV saves test nothing: their save-all tests
    // the length, with its own messages.
    Setting(S, "AES KEY", "AESKEY", Aes(C::S_AESKEY, "AT+AESKEY=", 0, {})),
    Setting(I, "AES KEY", "AESKEY",
            Aes(C::I_AESKEY, "AT+AESKEY=", 16, "You must type [16 Bytes] AES KEY.")),
    Setting(S, "AES IV", "AESIV", Aes(C::S_AESIV, "", 0, {})),
    Setting(I, "AES IV", "AESIV",
            Aes(C::I_AESIV, "", 16, "You must also type IV(Initialization Vector) [16 Bytes]")),
    Action(C::GetAES, "AT&E", 20),
    // the modem's serial port, RS-232 side
    Setting(S, "Port Type", "PTYPE",
            List(C::S_Ptype, "AT+PTYPE=", E::PositionFirstChar, L::PortType)),
    Setting(I, "Port Type", "PTYPE",
            List(C::I_Ptype, "AT+PTYPE=", E::PositionFirstChar, L::PortType)),
    Setting(S, "Peer to peer", "PTP", List(C::S_PTP, "AT+PTP=", E::PositionFirstChar, L::OnOff)),
    ChangesLink(Setting(S, "Baudrate", "BAU", List(C::S_Baudrate, "AT+BAU=", E::Position, L::Baud)),
                LinkField::Baud),
    ChangesLink(Setting(I, "Baudrate", "BAU", List(C::I_Baudrate, "AT+BAU=", E::Position, L::Baud)),
                LinkField::Baud),
    ChangesLink(
        Setting(S, "Parity Bit", "PAB", List(C::S_PAB, "AT+PAB=", E::FirstLetter, L::Parity)),
        LinkField::Parity),
    ChangesLink(
        Setting(I, "Parity Bit", "PAB", List(C::I_PAB, "AT+PAB=", E::FirstLetter, L::Parity)),
        LinkField::Parity),
    ChangesLink(Setting(S, "H/W Flow Control", "HF",
                        List(C::S_HF, "AT+HF=", E::PositionFirstChar, L::Flow)),
                LinkField::Flow),
    ChangesLink(Setting(I, "H/W Flow Control", "HF",
                        List(C::I_HF, "AT+HF=", E::PositionFirstChar, L::Flow)),
                LinkField::Flow),
    Setting(S, "Message Timeout", "DMT", Timeout(C::S_DMT, "AT+DMT=")),
    Setting(I, "Message Timeout", "DMT", Timeout(C::I_DMT, "AT+DMT=")),
    Setting(S, "Message Size", "DMS", Typed(C::S_DMS, "AT+DMS=", 0, 116, kDmsRange)),
    Setting(I, "Message Size", "DMS", Typed(C::I_DMS, "AT+DMS=", 0, 116, kDmsRange)),
    Setting(S, "STX Length", "STXL", List(C::S_STXL, "AT+STXL=", E::PositionFirstChar, L::Length)),
    Setting(I, "STX Length", "STXL", List(C::I_STXL, "AT+STXL=", E::PositionFirstChar, L::Length)),
    Setting(S, "ETX Length", "ETXL", List(C::S_ETXL, "AT+ETXL=", E::PositionFirstChar, L::Length)),
    Setting(I, "ETX Length", "ETXL", List(C::I_ETXL, "AT+ETXL=", E::PositionFirstChar, L::Length)),
    Setting(S, "STX bytes", "STX", Hex(C::S_STX, "AT+STX=", "STX", C::S_STXL)),
    Setting(I, "STX bytes", "STX", Hex(C::I_STX, "AT+STX=", "STX", C::I_STXL)),
    Setting(S, "ETX bytes", "ETX", Hex(C::S_ETX, "AT+ETX=", "ETX", C::S_ETXL)),
    Setting(I, "ETX bytes", "ETX", Hex(C::I_ETX, "AT+ETX=", "ETX", C::I_ETXL)),
    // ioTavi RS-485 side
    Action(C::I_Query485, "AT+485?", 20),
    Rs485("Port Type", "485+PTYPE",
          List(C::I_Ptype_485, "AT+485+PTYPE=", E::Position, L::PortType, 50)),
    Rs485("Destination ID", "485+DID", Typed(C::I_Did_485, "AT+485+DID=", 1, kMaxId, kDidRange)),
    Rs485("Baudrate", "485+BAU", List(C::I_Baudrate_485, "AT+485+BAU=", E::Position, L::Baud)),
    Rs485("Parity Bit", "485+PAB", List(C::I_PAB_485, "AT+485+PAB=", E::FirstLetter, L::Parity)),
    Rs485("Message Timeout", "485+DMT", Timeout(C::I_DMT_485, "AT+485+DMT=")),
    Rs485("Message Size", "485+DMS", Typed(C::I_DMS_485, "AT+485+DMS=", 0, 116, kDmsRange)),
    Rs485("STX Length", "485+STXL", List(C::I_STXL_485, "AT+485+STXL=", E::Position, L::Length)),
    Rs485("ETX Length", "485+ETXL", List(C::I_ETXL_485, "AT+485+ETXL=", E::Position, L::Length)),
    Rs485("STX bytes", "485+STX", Hex(C::I_STX_485, "AT+485+STX=", "485 STX", C::I_STXL_485)),
    // Its Save button has no action; only the RS-485 save-all sends it.
    Rs485("ETX bytes", "485+ETX", Hex(C::I_ETX_485, "AT+485+ETX=", "485 ETX", C::I_ETXL_485)),
    // actions and queries
    StatusQueryRow(),
    Action(C::SystemReset, "AT&Z", 20, {}, "Trying to System Reset. Continue? "),
    Action(C::FactoryReset, "AT&F", 20, {}, "Continue factory reset?"),
    Action(C::ATModeOn, "+++", 5, "Send AT Mode On Command to ioTavi... ", {}, false),
    Action(C::ATModeOff, "AT&O", 5, "Send AT Mode Off Command to ioTavi... "),
}};

constexpr bool TableInIdOrder() {
  for (size_t i = 0; i < kTable.size(); ++i) {
    if (static_cast<size_t>(kTable[i].id) != i) return false;
    if (!CommandBuffer::ValidSize(kTable[i].buffer_size)) return false;
  }
  return true;
}
static_assert(TableInIdOrder(), "catalogue rows must follow CommandId order, valid buffer sizes");

// Framing bytes name a length list of their own page set and side.
constexpr bool FramesHaveTheirLength() {
  for (const CommandEntry& s : kTable) {
    if (s.encoding != E::HexList) continue;
    if (s.length == C::kCount) return false;
    const CommandEntry& length = kTable[static_cast<size_t>(s.length)];
    if (length.list != L::Length || length.set != s.set || length.query != s.query) return false;
  }
  return true;
}
static_assert(FramesHaveTheirLength(), "every framing row names its length row");

}  // namespace

std::span<const CommandEntry> Catalogue() {
  return kTable;
}

const CommandEntry& Entry(CommandId id) {
  return kTable.at(static_cast<size_t>(id));
}

bool SameLetters(std::string_view a, std::string_view b) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return upper(x) == upper(y); });
}

std::vector<const CommandEntry*> SettingRows() {
  std::vector<const CommandEntry*> out;
  for (const CommandEntry& s : kTable)
    if (!s.key.empty()) out.push_back(&s);
  return out;
}

const CommandEntry* FindSettingRow(PageSet set, std::string_view key) {
  for (const CommandEntry& s : kTable)
    if (!s.key.empty() && s.set == set && SameLetters(s.key, key)) return &s;
  return nullptr;
}

std::string EncodePosition(int itemIndex) {
  return std::to_string(itemIndex);
}

std::string EncodePositionFirstChar(int itemIndex) {
  // The single-digit lists write one character; without a selection that
  // is the minus sign of -1, as the modem has always been sent.
  return std::to_string(itemIndex).substr(0, 1);
}

std::string EncodePositionPlus(int itemIndex, int offset) {
  return std::to_string(itemIndex + offset);
}

std::string EncodeFirstLetter(std::string_view itemText) {
  return std::string(itemText.substr(0, 1));
}

std::string EncodeTenths(std::string_view typedMs) {
  return std::to_string(StrToInt(typedMs) / 10);
}

std::string EncodeHexList(int count, const std::array<std::string_view, 3>& values) {
  count = std::clamp(count, 1, 3);
  std::string out(values[0]);
  for (int i = 1; i < count; ++i) {
    out += ',';
    out += values[static_cast<size_t>(i)];
  }
  return out;
}

std::string EncodeCalibration(std::string_view sign, std::string_view typedDigits) {
  std::string out = sign == "-" ? "-" : "";
  out += typedDigits;
  return out;
}

std::string EncodePortAndTyped(int portDigit, std::string_view typed) {
  return std::to_string(portDigit) + "," + std::string(typed);
}

std::string EncodeValue(const CommandEntry& entry, const EditorValue& v) {
  switch (entry.encoding) {
    case E::None:
      return {};
    case E::Typed:
      return std::string(v.text);
    case E::Position:
      return EncodePosition(v.item_index);
    case E::PositionFirstChar:
      return EncodePositionFirstChar(v.item_index);
    case E::PositionPlus1:
      return EncodePositionPlus(v.item_index, 1);
    case E::PositionPlus7:
      return EncodePositionPlus(v.item_index, 7);
    case E::FirstLetter:
      return EncodeFirstLetter(v.item_text);
    case E::Tenths:
      return EncodeTenths(v.text);
    case E::HexList:
      return EncodeHexList(v.hex_count, v.hex);
    case E::SignedCalibration:
      return EncodeCalibration(v.sign, v.text);
    case E::PortAndTyped:
      return EncodePortAndTyped(entry.port_digit, v.text);
  }
  return {};
}

bool InRange(const CommandEntry& entry, long long value) {
  if (entry.bounds != BoundsKind::IntRange) return true;
  return value >= entry.min && value <= entry.max;
}

bool LengthOk(const CommandEntry& entry, std::string_view text) {
  if (entry.bounds != BoundsKind::ExactLength) return true;
  return static_cast<long long>(text.size()) == entry.min;
}

int CheckHexList(int count, const std::array<std::string_view, 3>& values) {
  if (count < 1 || count > 3) return -1;
  for (int i = 0; i < count; ++i) {
    if (values[static_cast<size_t>(i)].size() < 2) return i + 1;
  }
  return 0;
}

std::string HexListRefusal(const CommandEntry& entry, int failed) {
  std::string out = "Check your ";
  out += entry.frame;
  if (failed < 0) return out + " Length";
  return out + std::to_string(failed) + " input";
}

std::optional<CommandBuffer> BuildLine(const CommandEntry& entry, std::string_view valueText) {
  return CommandBuffer::Make(entry.buffer_size, entry.command, valueText, entry.terminated);
}

SendResult SendCommand(const Link& link, const CommandEntry& entry, std::string_view valueText,
                       SendOptions options) {
  if (options.announcement.empty()) options.announcement = entry.announcement;
  if (entry.lost_connection_on_failure) options.failure = FailureVariant::LostConnection;
  if (entry.secret) options.secret = {entry.command.size(), valueText.size()};
  const std::optional<CommandBuffer> line = BuildLine(entry, valueText);
  if (!line) {
    link.platform->ShowMessage(LineTooLongMessage(entry.buffer_size));
    return SendResult::Refused;
  }
  return SendCommandLine(link, *line, options);
}

}  // namespace velimo::protocol
