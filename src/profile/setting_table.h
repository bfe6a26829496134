// The settings a profile can hold, per page set, as the catalogue's rows
// say them: the key the file names them by, the caption its comment
// carries, how a value is written and compared, which query reports it,
// and the pause after its line (its page set's save-all step). Nothing
// here is said a second time: every field is taken from the row or the
// step tables. The file lists them in catalogue order; applying follows
// the apply rank, with the settings of the link itself last.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/catalogue.h"
#include "protocol/models.h"

namespace velimo::profile {

using protocol::ChannelPlan;
using protocol::LinkField;
using protocol::ModelCodeOf;
using protocol::ModelName;
using protocol::PageSet;
using protocol::PageSetName;
using protocol::PageSetOf;
using protocol::Query;

// How a value is written in the file and compared with the modem's.
enum class ValueKind {
  Integer,  // typed decimal number within the row's range
  Tenths,   // milliseconds, in the row's steps (the modem keeps tenths of them)
  List,     // one of the window's list entries
  HexList,  // 1 to 3 two-digit hexadecimal bytes joined by ",", as many as their length
  Text16,   // the AES key or IV: 16 characters
};

struct SettingDef {
  const protocol::CommandEntry* row = nullptr;
  PageSet set = PageSet::S;
  protocol::CommandId command = protocol::CommandId::kCount;
  std::string_view key;  // "CH", "PID2", "485+BAU"
  // The window's caption of the row; an RS-485 row says its side.
  std::string caption;
  ValueKind kind = ValueKind::Integer;
  Query query = Query::Status;
  bool identity = false;  // the unit's own address
  bool secret = false;    // key and IV
  bool country = false;   // the country code, which sets the channel plan
  LinkField link = LinkField::None;
  // The pause after its line: its step's in its page set's sequences.
  int pause_after_ms = 0;
  // Applying goes by rank, then file order: the country before the channel
  // plan it sets, the framing lengths before their bytes.
  int apply_rank = 1;
};

// Every setting of one page set, in file order.
std::vector<const SettingDef*> SettingsOf(PageSet set);
// The setting of a page set by key (letters in any case), or nullptr.
const SettingDef* FindSetting(PageSet set, std::string_view key);
// The setting a row describes, or nullptr for a row no profile holds.
const SettingDef* SettingOf(protocol::CommandId command);
// The page sets that know a key.
std::vector<PageSet> PageSetsWithKey(std::string_view key);

// A list setting's entries as the window offers them under a plan.
std::vector<std::string> ListEntries(const SettingDef& def,
                                     const ChannelPlan& plan = protocol::kWidestPlan);

}  // namespace velimo::profile
