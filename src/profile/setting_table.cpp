#include "profile/setting_table.h"

#include "protocol/save_steps.h"

namespace velimo::profile {

namespace {

using protocol::CommandEntry;
using protocol::ValueEncoding;

ValueKind KindOf(const CommandEntry& row) {
  if (row.secret) return ValueKind::Text16;
  switch (row.encoding) {
    case ValueEncoding::Tenths:
      return ValueKind::Tenths;
    case ValueEncoding::HexList:
      return ValueKind::HexList;
    case ValueEncoding::Position:
    case ValueEncoding::PositionFirstChar:
    case ValueEncoding::PositionPlus1:
    case ValueEncoding::PositionPlus7:
    case ValueEncoding::FirstLetter:
      return ValueKind::List;
    default:
      return ValueKind::Integer;
  }
}

SettingDef Derived(const CommandEntry& row) {
  SettingDef d;
  d.row = &row;
  d.set = row.set;
  d.command = row.id;
  d.key = row.key;
  d.caption = (row.query == Query::Rs485 ? "[RS485] " : "") + std::string(row.caption);
  d.kind = KindOf(row);
  d.query = row.query;
  d.identity = row.identity;
  d.secret = row.secret;
  d.country = row.list == protocol::ListId::Country;
  d.link = row.link;
  d.pause_after_ms = protocol::ApplyPauseMs(row.id);
  d.apply_rank = d.country ? 0 : d.kind == ValueKind::HexList ? 2 : 1;
  return d;
}

const std::vector<SettingDef>& Table() {
  static const std::vector<SettingDef> table = [] {
    std::vector<SettingDef> out;
    for (const CommandEntry* row : protocol::SettingRows()) out.push_back(Derived(*row));
    return out;
  }();
  return table;
}

}  // namespace

std::vector<const SettingDef*> SettingsOf(PageSet set) {
  std::vector<const SettingDef*> out;
  for (const SettingDef& d : Table())
    if (d.set == set) out.push_back(&d);
  return out;
}

const SettingDef* FindSetting(PageSet set, std::string_view key) {
  const CommandEntry* row = protocol::FindSettingRow(set, key);
  return row ? SettingOf(row->id) : nullptr;
}

const SettingDef* SettingOf(protocol::CommandId command) {
  for (const SettingDef& d : Table())
    if (d.command == command) return &d;
  return nullptr;
}

std::vector<PageSet> PageSetsWithKey(std::string_view key) {
  std::vector<PageSet> out;
  for (PageSet set : {PageSet::S, PageSet::R, PageSet::I})
    if (FindSetting(set, key)) out.push_back(set);
  return out;
}

std::vector<std::string> ListEntries(const SettingDef& def, const ChannelPlan& plan) {
  return protocol::ListItems(def.row->list, plan);
}

}  // namespace velimo::profile
