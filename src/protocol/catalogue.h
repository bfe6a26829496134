// Every line the tool sends to a modem, as one table: command text, buffer
// size, how the editor's value becomes the value text, the values allowed,
// the message for a refused value. A row that is a setting also says all
// else that more than one place needs of it: its page set, its list, its
// profile key and caption, its step and the length its bytes must match.
// The single saves, the save-all steps, the pages' bindings, the session's
// control lookup and the profile table all follow from these rows.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/command_buffer.h"
#include "protocol/models.h"
#include "protocol/transmitter.h"

namespace velimo::protocol {

// How an editor's state becomes the value text of a line.
enum class ValueEncoding {
  None,               // actions and queries: no value
  Typed,              // the editor's text unchanged
  Position,           // the selected position in decimal, whole ("10", "-1")
  PositionFirstChar,  // the same, first character only (single-digit lists; "-" for -1)
  PositionPlus1,      // position + 1
  PositionPlus7,      // position + 7
  FirstLetter,        // first character of the selected item's text
  Tenths,             // typed milliseconds / 10, remainder dropped
  HexList,            // 1 to 3 typed two-character values joined by ","
  SignedCalibration,  // "-" when the sign list shows "-", then the typed digits
  PortAndTyped,       // the row's port digit, ",", the typed text
};

// Which values the single save accepts before anything is sent.
enum class BoundsKind {
  None,         // lists, actions, the sTavi/uTavi key and IV
  IntRange,     // integer of the typed text within [min, max]
  ExactLength,  // text of exactly min characters (ioTavi AES key and IV)
  HexCount,     // hex list: count 1 to 3, each used value 2 characters
};

enum class CommandId {
  // identity and addressing
  S_Sid,
  R_Sid,
  I_Sid,
  S_Did,
  I_Did,
  S_Dtn,
  S_Dent,
  S_MPID,
  S_LPID,
  S_SPID,
  R_Mode,
  R_Rid1,
  R_Rid2,
  // radio
  S_CH,
  R_CH,
  I_CH,
  S_SF,
  R_SF,
  I_SF,
  S_Country,
  R_Country,
  I_Band,
  S_Freq,
  R_Freq,
  // encryption
  S_En,
  I_En,
  S_AESKEY,
  I_AESKEY,
  S_AESIV,
  I_AESIV,
  GetAES,
  // the modem's serial port, RS-232 side
  S_Ptype,
  I_Ptype,
  S_PTP,
  S_Baudrate,
  I_Baudrate,
  S_PAB,
  I_PAB,
  S_HF,
  I_HF,
  S_DMT,
  I_DMT,
  S_DMS,
  I_DMS,
  S_STXL,
  I_STXL,
  S_ETXL,
  I_ETXL,
  S_STX,
  I_STX,
  S_ETX,
  I_ETX,
  // ioTavi RS-485 side
  I_Query485,
  I_Ptype_485,
  I_Did_485,
  I_Baudrate_485,
  I_PAB_485,
  I_DMT_485,
  I_DMS_485,
  I_STXL_485,
  I_ETXL_485,
  I_STX_485,
  I_ETX_485,
  // actions and queries
  StatusQuery,
  SystemReset,
  FactoryReset,
  ATModeOn,
  ATModeOff,
  kCount
};

// Which query makes the modem report a setting.
enum class Query : uint8_t { Status, Encryption, Rs485 };

// Which line setting of the link itself a setting changes: the port this
// program talks through must follow it.
enum class LinkField : uint8_t { None, Baud, Parity, Flow };

struct CommandEntry {
  CommandId id;
  std::string_view command;  // "AT+CH="; empty for the AES IV line
  int buffer_size;           // 5, 20, 30 or 50
  ValueEncoding encoding;
  BoundsKind bounds;
  long long min;  // IntRange bounds; ExactLength: the length
  long long max;
  std::string_view refusal;         // message for a refused value; empty when none
  bool terminated = true;           // false only for "+++"
  std::string_view announcement{};  // trace text before sending
  std::string_view confirmation{};  // Yes/No question before sending
  int port_digit = 0;               // PortAndTyped: 1 main, 2 LoRa, 3 serial
  std::string_view frame{};         // HexList: "STX", "ETX", "485 STX", "485 ETX"
  // A port failure restarts the application (the status query only).
  bool lost_connection_on_failure = false;
  // The value is a secret (encryption key and IV): the log file masks it.
  bool secret = false;

  // ---- A setting (actions and queries leave these as they are) ----------
  PageSet set = PageSet::S;
  // The caption of its row in the window; the profile file's comment.
  std::string_view caption{};
  // Its name in a profile: "CH", "PID2", "485+BAU"; empty for a row no
  // profile holds (the calibration).
  std::string_view key{};
  ListId list = ListId::None;
  // Tenths: the modem keeps whole steps of this many milliseconds, so a
  // value between two steps is one it cannot hold.
  int step = 1;
  // HexList: the length setting whose number its count of bytes must equal.
  CommandId length = CommandId::kCount;
  Query query = Query::Status;
  LinkField link = LinkField::None;
  bool identity = false;  // the unit's own address
};

// The catalogue, indexed by CommandId.
std::span<const CommandEntry> Catalogue();
const CommandEntry& Entry(CommandId id);
// Whether two keys (or list entries) are the same without regard to the
// case of their letters, as profiles and settings files compare them.
bool SameLetters(std::string_view a, std::string_view b);

// The rows a profile can hold (those with a key), in catalogue order.
std::vector<const CommandEntry*> SettingRows();
// The row of a page set's setting by key (letters in any case), or nullptr.
const CommandEntry* FindSettingRow(PageSet set, std::string_view key);

// What an editor holds at the moment its single save runs. Fill what the
// row's encoding reads; the rest is ignored.
struct EditorValue {
  std::string_view text{};       // Typed, Tenths, SignedCalibration, PortAndTyped
  int item_index = -1;           // Position*, -1 when the list has no selection
  std::string_view item_text{};  // FirstLetter: the selected item's text
  std::string_view sign{};       // SignedCalibration: the sign list's text
  int hex_count = 0;             // HexList: the length list's number
  std::array<std::string_view, 3> hex{};
};

// The encodings one by one.
std::string EncodePosition(int itemIndex);
std::string EncodePositionFirstChar(int itemIndex);
std::string EncodePositionPlus(int itemIndex, int offset);
std::string EncodeFirstLetter(std::string_view itemText);
// Raises EConvertError for a text that is not an integer.
std::string EncodeTenths(std::string_view typedMs);
// Joins the first count values (count clamped to 1..3) with ",".
std::string EncodeHexList(int count, const std::array<std::string_view, 3>& values);
std::string EncodeCalibration(std::string_view sign, std::string_view typedDigits);
std::string EncodePortAndTyped(int portDigit, std::string_view typed);

// The value text of a row for an editor's state (no bounds are checked).
std::string EncodeValue(const CommandEntry& entry, const EditorValue& value);

// Bounds checks for the single saves. InRange: IntRange rows only (other
// rows accept anything). LengthOk: ExactLength rows only.
bool InRange(const CommandEntry& entry, long long value);
bool LengthOk(const CommandEntry& entry, std::string_view text);
// Hex list checks in the order the single save makes them: 0 when
// accepted, -1 for the length, 1 to 3 for the first editor that is empty or
// shorter than two characters.
int CheckHexList(int count, const std::array<std::string_view, 3>& values);
// The message for a refused hex list: "Check your STX Length" for -1,
// "Check your STX2 input" for 2 (frame name of the row).
std::string HexListRefusal(const CommandEntry& entry, int failed);

// The row's line in a zero-filled buffer of its size: command text, value
// text, carriage return (none for "+++"). Empty when it would not fit.
std::optional<CommandBuffer> BuildLine(const CommandEntry& entry, std::string_view valueText);

// Builds the row's line and sends it with the row's announcement and, for
// the status query, the lost-connection failure variant; a secret value is
// marked as such for the trace. A line that would
// not fit is refused with LineTooLongMessage before anything else happens.
// A non-empty options.announcement replaces the row's; the failure variant
// is the lost-connection one when either the row or the caller asks for it.
SendResult SendCommand(const Link& link, const CommandEntry& entry, std::string_view valueText,
                       SendOptions options = {});

}  // namespace velimo::protocol
