#include "profile/setting_table.h"

#include "forms/modem_session.h"

namespace velimo::profile {

namespace {

using C = protocol::CommandId;
using K = ValueKind;

constexpr SettingDef Value(PageSet set, std::string_view key, std::string_view caption, C command,
                           K kind, int pauseAfter = 200) {
  SettingDef d{set, key, caption, command, kind};
  d.pause_after_ms = pauseAfter;
  return d;
}

constexpr SettingDef Identity(PageSet set, C command) {
  SettingDef d = Value(set, "MYID", "Source ID", command, K::Integer);
  d.identity = true;
  return d;
}

constexpr SettingDef Country(PageSet set, C command) {
  SettingDef d = Value(set, "CTRY", "Country Code", command, K::List);
  d.country = true;
  d.apply_rank = 0;
  return d;
}

constexpr SettingDef Secret(PageSet set, std::string_view key, std::string_view caption, C command,
                            int pauseAfter = 200) {
  SettingDef d = Value(set, key, caption, command, K::Text16, pauseAfter);
  d.query = Query::Encryption;
  d.secret = true;
  return d;
}

constexpr SettingDef Link(PageSet set, std::string_view key, std::string_view caption, C command,
                          LinkField field) {
  SettingDef d = Value(set, key, caption, command, K::List);
  d.link = field;
  return d;
}

constexpr SettingDef Frame(PageSet set, std::string_view key, std::string_view caption, C command) {
  SettingDef d{set, key, caption, command, K::HexList};
  d.apply_rank = 2;
  return d;
}

constexpr SettingDef Rs485(SettingDef d) {
  d.query = Query::Rs485;
  return d;
}

constexpr PageSet S = PageSet::S;
constexpr PageSet R = PageSet::R;
constexpr PageSet I = PageSet::I;

// In catalogue order within each page set.
constexpr SettingDef kSettings[] = {
    // sTavi/uTavi
    Identity(S, C::S_Sid),
    Value(S, "DID", "Destination ID", C::S_Did, K::Integer),
    Value(S, "DTN", "Dest. Table Number", C::S_Dtn, K::Integer),
    Value(S, "DENT", "Dest. Entry Number", C::S_Dent, K::Integer),
    Value(S, "PID1", "Main Port PID", C::S_MPID, K::Integer),
    Value(S, "PID2", "LoRa Port PID", C::S_LPID, K::Integer),
    Value(S, "PID3", "Serial Port PID", C::S_SPID, K::Integer),
    Value(S, "CH", "Channel", C::S_CH, K::List, 100),
    Value(S, "SFT", "Spreading Factor", C::S_SF, K::List),
    Country(S, C::S_Country),
    Value(S, "AES", "Encryption", C::S_En, K::List, 100),
    Secret(S, "AESKEY", "AES KEY", C::S_AESKEY, 100),
    Secret(S, "AESIV", "AES IV", C::S_AESIV),
    Value(S, "PTYPE", "Port Type", C::S_Ptype, K::List, 100),
    Value(S, "PTP", "Peer to peer", C::S_PTP, K::List),
    Link(S, "BAU", "Baudrate", C::S_Baudrate, LinkField::Baud),
    Link(S, "PAB", "Parity Bit", C::S_PAB, LinkField::Parity),
    Link(S, "HF", "H/W Flow Control", C::S_HF, LinkField::Flow),
    Value(S, "DMT", "Message Timeout", C::S_DMT, K::Tenths),
    Value(S, "DMS", "Message Size", C::S_DMS, K::Integer),
    Value(S, "STXL", "STX Length", C::S_STXL, K::List),
    Value(S, "ETXL", "ETX Length", C::S_ETXL, K::List),
    Frame(S, "STX", "STX bytes", C::S_STX),
    Frame(S, "ETX", "ETX bytes", C::S_ETX),
    // rTavi: the relay save-all pauses 100 ms after mode and identifiers.
    Identity(R, C::R_Sid),
    Value(R, "MODE", "rTavi Mode", C::R_Mode, K::List, 100),
    Value(R, "RID1", "Relay ID 1", C::R_Rid1, K::Integer, 100),
    Value(R, "RID2", "Relay ID 2", C::R_Rid2, K::Integer, 100),
    Value(R, "CH", "Channel", C::R_CH, K::List),
    Value(R, "SFT", "Spreading Factor", C::R_SF, K::List),
    Country(R, C::R_Country),
    // ioTavi
    Identity(I, C::I_Sid),
    Value(I, "DID", "Destination ID", C::I_Did, K::Integer),
    Value(I, "CH", "Channel", C::I_CH, K::List),
    Value(I, "SFT", "Spreading Factor", C::I_SF, K::List),
    Value(I, "BND", "Band", C::I_Band, K::Integer),
    Value(I, "AES", "Encryption", C::I_En, K::List),
    Secret(I, "AESKEY", "AES KEY", C::I_AESKEY),
    Secret(I, "AESIV", "AES IV", C::I_AESIV),
    Value(I, "PTYPE", "Port Type", C::I_Ptype, K::List),
    Link(I, "BAU", "Baudrate", C::I_Baudrate, LinkField::Baud),
    Link(I, "PAB", "Parity Bit", C::I_PAB, LinkField::Parity),
    Link(I, "HF", "H/W Flow Control", C::I_HF, LinkField::Flow),
    Value(I, "DMT", "Message Timeout", C::I_DMT, K::Tenths),
    Value(I, "DMS", "Message Size", C::I_DMS, K::Integer),
    Value(I, "STXL", "STX Length", C::I_STXL, K::List),
    Value(I, "ETXL", "ETX Length", C::I_ETXL, K::List),
    Frame(I, "STX", "STX bytes", C::I_STX),
    Frame(I, "ETX", "ETX bytes", C::I_ETX),
    Rs485(Value(I, "485+PTYPE", "[RS485] Port Type", C::I_Ptype_485, K::List)),
    Rs485(Value(I, "485+DID", "[RS485] Destination ID", C::I_Did_485, K::Integer)),
    Rs485(Value(I, "485+BAU", "[RS485] Baudrate", C::I_Baudrate_485, K::List)),
    Rs485(Value(I, "485+PAB", "[RS485] Parity Bit", C::I_PAB_485, K::List)),
    Rs485(Value(I, "485+DMT", "[RS485] Message Timeout", C::I_DMT_485, K::Tenths)),
    Rs485(Value(I, "485+DMS", "[RS485] Message Size", C::I_DMS_485, K::Integer)),
    Rs485(Value(I, "485+STXL", "[RS485] STX Length", C::I_STXL_485, K::List)),
    Rs485(Value(I, "485+ETXL", "[RS485] ETX Length", C::I_ETXL_485, K::List)),
    Rs485(Frame(I, "485+STX", "[RS485] STX bytes", C::I_STX_485)),
    Rs485(Frame(I, "485+ETX", "[RS485] ETX bytes", C::I_ETX_485)),
};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

}  // namespace

std::string_view ModelName(char modelCode) {
  switch (modelCode) {
    case 's':
      return "sTavi";
    case 'u':
      return "uTavi";
    case 'r':
      return "rTavi";
    case 'i':
      return "ioTavi";
    default:
      return {};
  }
}

std::optional<char> ModelCodeOf(std::string_view modelName) {
  for (char code : {'s', 'u', 'r', 'i'})
    if (ModelName(code) == modelName) return code;
  return std::nullopt;
}

std::optional<PageSet> PageSetOf(char modelCode) {
  switch (modelCode) {
    case 's':
    case 'u':
      return PageSet::S;
    case 'r':
      return PageSet::R;
    case 'i':
      return PageSet::I;
    default:
      return std::nullopt;
  }
}

std::string_view PageSetName(PageSet set) {
  switch (set) {
    case PageSet::S:
      return "sTavi/uTavi";
    case PageSet::R:
      return "rTavi";
    case PageSet::I:
      return "ioTavi";
  }
  return {};
}

std::vector<const SettingDef*> SettingsOf(PageSet set) {
  std::vector<const SettingDef*> out;
  for (const SettingDef& d : kSettings)
    if (d.set == set) out.push_back(&d);
  return out;
}

const SettingDef* FindSetting(PageSet set, std::string_view key) {
  for (const SettingDef& d : kSettings)
    if (d.set == set && SameKey(d.key, key)) return &d;
  return nullptr;
}

std::vector<PageSet> PageSetsWithKey(std::string_view key) {
  std::vector<PageSet> out;
  for (PageSet set : {PageSet::S, PageSet::R, PageSet::I})
    if (FindSetting(set, key)) out.push_back(set);
  return out;
}

std::vector<std::string> ListEntries(const SettingDef& def, bool japan) {
  return forms::SettingListItems(def.command, japan);
}

}  // namespace velimo::profile
