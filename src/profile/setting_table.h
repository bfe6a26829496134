// The settings a profile can hold, per page set: the key the file names
// them by (the command's key), the window's caption, and the catalogue row
// whose single save sends them (which also names them to the modem
// session, which knows where the window shows them). The
// file lists them in this order; applying follows the apply rank, with the
// settings of the link itself last.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/catalogue.h"

namespace velimo::profile {

// The page sets: sTavi and uTavi share S, rTavi has R, ioTavi I.
enum class PageSet { S, R, I };

// "sTavi", "uTavi", "rTavi", "ioTavi" from the model code 's', 'u', 'r', 'i';
// empty for anything else.
std::string_view ModelName(char modelCode);
// The model code of a model name (exact spelling), or nothing.
std::optional<char> ModelCodeOf(std::string_view modelName);
std::optional<PageSet> PageSetOf(char modelCode);
// "sTavi/uTavi", "rTavi", "ioTavi".
std::string_view PageSetName(PageSet set);

// How a value is written in the file and compared with the modem's.
enum class ValueKind {
  Integer,  // typed decimal number within the catalogue row's range
  Tenths,   // milliseconds; the modem keeps tenths of them
  List,     // one of the window's list entries
  HexList,  // 1 to 3 two-digit hexadecimal bytes joined by ","
  Text16,   // the AES key or IV: 16 characters
};

// Which query makes the modem report a setting.
enum class Query { Status, Encryption, Rs485 };

// Which line setting of the link itself a setting changes: the port this
// program talks through must follow it.
enum class LinkField { None, Baud, Parity, Flow };

struct SettingDef {
  PageSet set;
  std::string_view key;      // "CH", "PID2", "485+BAU"
  std::string_view caption;  // the window's caption of the row
  protocol::CommandId command;
  ValueKind kind;
  Query query = Query::Status;
  bool identity = false;  // the unit's own address
  bool secret = false;    // key and IV
  bool country = false;   // the country code, which narrows the channel plan
  LinkField link = LinkField::None;
  // The pause after its line: 100 ms where the save-alls pause 100 after
  // the same line, 200 ms everywhere else.
  int pause_after_ms = 200;
  // Applying goes by rank, then file order: the country before the channel
  // plan it narrows, the framing lengths before their bytes.
  int apply_rank = 1;
};

// Every setting of one page set, in file order.
std::vector<const SettingDef*> SettingsOf(PageSet set);
// The setting of a page set by key (letters in any case), or nullptr.
const SettingDef* FindSetting(PageSet set, std::string_view key);
// The page sets that know a key.
std::vector<PageSet> PageSetsWithKey(std::string_view key);

// A list setting's entries as the window offers them. The channel and
// spreading-factor lists depend on the country (narrower in JPN).
std::vector<std::string> ListEntries(const SettingDef& def, bool japan = false);

}  // namespace velimo::profile
