#include "protocol/catalogue.h"

#include <algorithm>

#include "util/positions.h"

namespace velimo::protocol {

namespace {

using E = ValueEncoding;
using C = CommandId;

constexpr long long kMaxId = 16777215;  // 24-bit identifiers; the broadcast one

constexpr CommandEntry Typed(C id, std::string_view cmd, long long min, long long max,
                             std::string_view refusal, std::string_view editor,
                             std::string_view button, E enc = E::Typed, int size = 20) {
  return {id, cmd, size, enc, BoundsKind::IntRange, min, max, refusal, editor, button};
}

constexpr CommandEntry List(C id, std::string_view cmd, E enc, std::string_view editor,
                            std::string_view button, int size = 20) {
  return {id, cmd, size, enc, BoundsKind::None, 0, 0, {}, editor, button};
}

constexpr CommandEntry Pid(C id, int digit, std::string_view editor, std::string_view button) {
  CommandEntry s =
      Typed(id, "AT+PID=", 1, kMaxId, "PID Range : 1~16777215", editor, button, E::PortAndTyped);
  s.port_digit = digit;
  return s;
}

constexpr CommandEntry Hex(C id, std::string_view cmd, std::string_view frame,
                           std::string_view refusal, std::string_view editor,
                           std::string_view button) {
  CommandEntry s{id, cmd, 20, E::HexList, BoundsKind::HexCount, 1, 3, refusal, editor, button};
  s.frame = frame;
  return s;
}

constexpr CommandEntry Aes(C id, std::string_view cmd, long long exactLength,
                           std::string_view refusal, std::string_view editor,
                           std::string_view button) {
  CommandEntry s{id,
                 cmd,
                 30,
                 E::Typed,
                 exactLength ? BoundsKind::ExactLength : BoundsKind::None,
                 exactLength,
                 exactLength,
                 refusal,
                 editor,
                 button};
  s.secret_value = true;
  return s;
}

constexpr CommandEntry Action(C id, std::string_view cmd, int size, std::string_view button,
                              std::string_view announcement = {},
                              std::string_view confirmation = {}, bool terminated = true) {
  CommandEntry s{id, cmd, size, E::None, BoundsKind::None, 0, 0, {}, {}, button};
  s.terminated = terminated;
  s.announcement = announcement;
  s.confirmation = confirmation;
  return s;
}

constexpr CommandEntry StatusQueryRow() {
  CommandEntry s = Action(C::StatusQuery, "AT&V", 5, "Btn_S_CurrentStatus",
                          "Send Current Status Read Command to ... ");
  s.lost_connection_on_failure = true;
  return s;
}

constexpr std::string_view kCalibration = "at+44Pivot_318Offset_Trim_Adjustment9127=";

constexpr std::array<CommandEntry, static_cast<size_t>(C::kCount)> kTable = {{
    // identity and addressing
    Typed(C::S_Sid, "AT+MYID=", 1, kMaxId, "Source  ID Range : 1~16777215", "Edit_S_Sid",
          "Btn_S_Save_Sid"),
    Typed(C::R_Sid, "AT+MYID=", 1, kMaxId, "Source  ID Range : 1~16777215", "Edit_R_Sid",
          "Btn_R_Save_Sid"),
    Typed(C::I_Sid, "AT+MYID=", 1, kMaxId, "Source  ID Range : 1~16777215", "Edit_I_Sid",
          "Btn_I_Save_Sid"),
    Typed(C::S_Did, "AT+DID=", 1, kMaxId, "Destination ID Range : 1~16777215", "Edit_S_Did",
          "Btn_S_Save_Did"),
    Typed(C::I_Did, "AT+DID=", 1, kMaxId, "Destination ID Range : 1~16777215", "Edit_I_Did",
          "Btn_I_Save_Did"),
    Typed(C::S_Dtn, "AT+DTN=", 0, 255, "Destination Table number Range : 0~255", "Edit_S_Dtn",
          "Btn_S_Save_Dtn"),
    Typed(C::S_Dent, "AT+DENT=", 0, 255, "Destination Entry number Range : 0~255", "Edit_S_Dent",
          "Btn_S_Save_Dent"),
    Pid(C::S_MPID, 1, "Edit_S_MPID", "Btn_S_Save_MPID"),
    Pid(C::S_LPID, 2, "Edit_S_LPID", "Btn_S_Save_LPID"),
    Pid(C::S_SPID, 3, "Edit_S_SPID", "Btn_S_Save_SPID"),
    List(C::R_Mode, "AT+MODE=", E::PositionPlus1, "Edit_R_Mode", "Btn_R_Save_Mode"),
    Typed(C::R_Rid1, "AT+RID1=", 1, kMaxId, "Relay ID 1 Range : 1~16777215", "Edit_R_Rid1",
          "Btn_R_Save_Rid1"),
    Typed(C::R_Rid2, "AT+RID2=", 1, kMaxId, "Relay ID 2 Range : 1~16777215", "Edit_R_Rid2",
          "Btn_R_Save_Rid2"),
    // radio
    List(C::S_CH, "AT+CH=", E::PositionPlus1, "CB_S_Ch", "Btn_S_Save_CH"),
    List(C::R_CH, "AT+CH=", E::PositionPlus1, "CB_R_Ch", "Btn_R_Save_CH"),
    List(C::I_CH, "AT+CH=", E::PositionPlus1, "CB_I_Ch", "Btn_I_Save_CH"),
    List(C::S_SF, "AT+SFT=", E::PositionPlus7, "CB_S_Sf", "Btn_S_Save_SF"),
    List(C::R_SF, "AT+SFT=", E::PositionPlus7, "CB_R_Sf", "Btn_R_Save_SF"),
    List(C::I_SF, "AT+SFT=", E::PositionPlus7, "CB_I_Sf", "Btn_I_Save_SF"),
    List(C::S_Country, "AT+CTRY=", E::PositionPlus1, "Edit_S_Country", "Btn_S_Save_Country"),
    List(C::R_Country, "AT+CTRY=", E::PositionPlus1, "Edit_R_Country", "Btn_R_Save_Country"),
    Typed(C::I_Band, "AT+BND=", 6, 8, "LoRa Band Range : 6~8", "Edit_I_Band", "Btn_I_Save_Band"),
    Typed(C::S_Freq, kCalibration, 0, 40000, "LoRa Frequency Range : -40000~40000",
          "CB_S_LoRa_Freq_PM, Edit_S_LoRa_Freq", "Btn_S_Save_Freq", E::SignedCalibration, 50),
    Typed(C::R_Freq, kCalibration, 0, 40000, "LoRa Frequency Range : -40000~40000",
          "CB_R_LoRa_Freq_PM, Edit_R_LoRa_Freq", "Btn_R_Save_Freq", E::SignedCalibration, 50),
    // encryption
    List(C::S_En, "AT+AES=", E::PositionFirstChar, "Edit_S_En", "Btn_S_Save_En"),
    List(C::I_En, "AT+AES=", E::PositionFirstChar, "Edit_I_En", "Btn_I_Save_En"),
    Aes(C::S_AESKEY, "AT+AESKEY=", 0, {}, "Edit_S_AESKey", "Btn_S_Save_AESKEY"),
    Aes(C::I_AESKEY, "AT+AESKEY=", 16, "You must type [16 Bytes] AES KEY.", "Edit_I_AESKey",
        "Btn_I_Save_AESKEY"),
    Aes(C::S_AESIV, "", 0, {}, "Edit_S_AESIV", "Btn_S_Save_AESIV"),
    Aes(C::I_AESIV, "", 16, "You must also type IV(Initialization Vector) [16 Bytes]",
        "Edit_I_AESIV", "Btn_I_Save_AESIV"),
    Action(C::GetAES, "AT&E", 20, "Btn_S_GetAES, Btn_I_GetAES"),
    // the modem's serial port, RS-232 side
    List(C::S_Ptype, "AT+PTYPE=", E::PositionFirstChar, "Edit_S_Ptype", "Btn_S_Save_Ptype"),
    List(C::I_Ptype, "AT+PTYPE=", E::PositionFirstChar, "Edit_I_Ptype", "Btn_I_Save_Ptype"),
    List(C::S_PTP, "AT+PTP=", E::PositionFirstChar, "Edit_S_PTP", "Btn_S_Save_PTP"),
    List(C::S_Baudrate, "AT+BAU=", E::Position, "Edit_S_Baudrate", "Btn_S_Save_Baudrate"),
    List(C::I_Baudrate, "AT+BAU=", E::Position, "Edit_I_Baudrate", "Btn_I_Save_Baudrate"),
    List(C::S_PAB, "AT+PAB=", E::FirstLetter, "Edit_S_PAB", "Btn_S_Save_PAB"),
    List(C::I_PAB, "AT+PAB=", E::FirstLetter, "Edit_I_PAB", "Btn_I_Save_PAB"),
    List(C::S_HF, "AT+HF=", E::PositionFirstChar, "Edit_S_HWF", "Btn_S_Save_HF"),
    List(C::I_HF, "AT+HF=", E::PositionFirstChar, "Edit_I_HWF", "Btn_I_Save_HF"),
    Typed(C::S_DMT, "AT+DMT=", 10, 2550, "Message Timeout Range : 10~2550ms", "Edit_S_DMT",
          "Btn_S_Save_DMT", E::Tenths),
    Typed(C::I_DMT, "AT+DMT=", 10, 2550, "Message Timeout Range : 10~2550ms", "Edit_I_DMT",
          "Btn_I_Save_DMT", E::Tenths),
    Typed(C::S_DMS, "AT+DMS=", 0, 116, "Message Size Range : 0~116", "Edit_S_DMS",
          "Btn_S_Save_DMS"),
    Typed(C::I_DMS, "AT+DMS=", 0, 116, "Message Size Range : 0~116", "Edit_I_DMS",
          "Btn_I_Save_DMS"),
    List(C::S_STXL, "AT+STXL=", E::PositionFirstChar, "Edit_S_STXLen", "Btn_S_Save_STXL"),
    List(C::I_STXL, "AT+STXL=", E::PositionFirstChar, "Edit_I_STXLen", "Btn_I_Save_STXL"),
    List(C::S_ETXL, "AT+ETXL=", E::PositionFirstChar, "Edit_S_ETXLen", "Btn_S_Save_ETXL"),
    List(C::I_ETXL, "AT+ETXL=", E::PositionFirstChar, "Edit_I_ETXLen", "Btn_I_Save_ETXL"),
    Hex(C::S_STX, "AT+STX=", "STX", "Check your STX Length",
        "Edit_S_STXLen, Edit_S_STX1, Edit_S_STX2, Edit_S_STX3", "Btn_S_Save_STX"),
    Hex(C::I_STX, "AT+STX=", "STX", "Check your STX Length",
        "Edit_I_STXLen, Edit_I_STX1, Edit_I_STX2, Edit_I_STX3", "Btn_I_Save_STX"),
    Hex(C::S_ETX, "AT+ETX=", "ETX", "Check your ETX Length",
        "Edit_S_ETXLen, Edit_S_ETX1, Edit_S_ETX2, Edit_S_ETX3", "Btn_S_Save_ETX"),
    Hex(C::I_ETX, "AT+ETX=", "ETX", "Check your ETX Length",
        "Edit_I_ETXLen, Edit_I_ETX1, Edit_I_ETX2, Edit_I_ETX3", "Btn_I_Save_ETX"),
    // ioTavi RS-485 side
    Action(C::I_Query485, "AT+485?", 20, "Edit_I_Get_Info_485"),
    List(C::I_Ptype_485, "AT+485+PTYPE=", E::Position, "Edit_I_Ptype_485", "Btn_I_Save_Ptype_485",
         50),
    Typed(C::I_Did_485, "AT+485+DID=", 1, kMaxId, "Destination ID Range : 1~16777215",
          "Edit_I_Did_485", "Btn_I_Save_Did_485"),
    List(C::I_Baudrate_485, "AT+485+BAU=", E::Position, "Edit_I_Baudrate_485",
         "Btn_I_Save_Baudrate_485"),
    List(C::I_PAB_485, "AT+485+PAB=", E::FirstLetter, "Edit_I_PAB_485", "Btn_I_Save_PAB_485"),
    Typed(C::I_DMT_485, "AT+485+DMT=", 10, 2550, "Message Timeout Range : 10~2550ms",
          "Edit_I_DMT_485", "Btn_I_Save_DMT_485", E::Tenths),
    Typed(C::I_DMS_485, "AT+485+DMS=", 0, 116, "Message Size Range : 0~116", "Edit_I_DMS_485",
          "Btn_I_Save_DMS_485"),
    List(C::I_STXL_485, "AT+485+STXL=", E::Position, "Edit_I_STXLen_485", "Btn_I_Save_STXL_485"),
    List(C::I_ETXL_485, "AT+485+ETXL=", E::Position, "Edit_I_ETXLen_485", "Btn_I_Save_ETXL_485"),
    Hex(C::I_STX_485, "AT+485+STX=", "485 STX", "Check your 485 STX Length",
        "Edit_I_STXLen_485, Edit_I_STX1_485, Edit_I_STX2_485, Edit_I_STX3_485",
        "Btn_I_Save_STX_485"),
    // Its Save button has no action; only the RS-485 save-all sends it.
    Hex(C::I_ETX_485, "AT+485+ETX=", "485 ETX", "Check your 485 ETX Length",
        "Edit_I_ETXLen_485, Edit_I_ETX1_485, Edit_I_ETX2_485, Edit_I_ETX3_485",
        "Btn_I_Save_ETX_485"),
    // actions and queries
    StatusQueryRow(),
    Action(C::SystemReset, "AT&Z", 20, "Btn_SystemReset, reboot1", {},
           "Trying to System Reset. Continue? "),
    Action(C::FactoryReset, "AT&F", 20, "Btn_FactoryReset", {}, "Continue factory reset?"),
    Action(C::ATModeOn, "+++", 5, "Btn_I_ATModeOn", "Send AT Mode On Command to ioTavi... ", {},
           false),
    Action(C::ATModeOff, "AT&O", 5, "Btn_I_ATModeOff", "Send AT Mode Off Command to ioTavi... "),
}};

constexpr bool TableInIdOrder() {
  for (size_t i = 0; i < kTable.size(); ++i) {
    if (static_cast<size_t>(kTable[i].id) != i) return false;
    if (!CommandBuffer::ValidSize(kTable[i].buffer_size)) return false;
  }
  return true;
}
static_assert(TableInIdOrder(), "catalogue rows must follow CommandId order, valid buffer sizes");

// True when name is one of the comma-separated names of list.
bool ListNames(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    if (item == name) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::span<const CommandEntry> Catalogue() {
  return kTable;
}

const CommandEntry& Entry(CommandId id) {
  return kTable.at(static_cast<size_t>(id));
}

const CommandEntry* FindByButton(std::string_view buttonName) {
  for (const CommandEntry& s : kTable) {
    if (ListNames(s.button, buttonName)) return &s;
  }
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
  if (entry.secret_value) options.secret = {entry.command.size(), valueText.size()};
  const std::optional<CommandBuffer> line = BuildLine(entry, valueText);
  if (!line) {
    link.platform->ShowMessage(LineTooLongMessage(entry.buffer_size));
    return SendResult::Refused;
  }
  return SendCommandLine(link, *line, options);
}

}  // namespace velimo::protocol
