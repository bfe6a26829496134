#include "profile/setting_table.h"

#include "forms/pages/page_parts.h"

namespace velimo::profile {

namespace {

using C = protocol::CommandId;
using K = ValueKind;

constexpr std::array<std::string_view, 3> One(std::string_view control) {
  return {control, {}, {}};
}

constexpr SettingDef Value(PageSet set, std::string_view key, std::string_view caption, C command,
                           K kind, std::string_view control, int pauseAfter = 200) {
  SettingDef d{set, key, caption, command, kind, One(control)};
  d.pause_after_ms = pauseAfter;
  return d;
}

constexpr SettingDef Identity(PageSet set, C command, std::string_view control) {
  SettingDef d = Value(set, "MYID", "Source ID", command, K::Integer, control);
  d.identity = true;
  return d;
}

constexpr SettingDef Country(PageSet set, C command, std::string_view control) {
  SettingDef d = Value(set, "CTRY", "Country Code", command, K::List, control);
  d.apply_rank = 0;
  return d;
}

constexpr SettingDef Secret(PageSet set, std::string_view key, std::string_view caption, C command,
                            std::string_view control, int pauseAfter = 200) {
  SettingDef d = Value(set, key, caption, command, K::Text16, control, pauseAfter);
  d.query = Query::Encryption;
  d.secret = true;
  return d;
}

constexpr SettingDef Link(PageSet set, std::string_view key, std::string_view caption, C command,
                          std::string_view control) {
  SettingDef d = Value(set, key, caption, command, K::List, control);
  d.link = true;
  return d;
}

constexpr SettingDef Frame(PageSet set, std::string_view key, std::string_view caption, C command,
                           std::array<std::string_view, 3> bytes, std::string_view length) {
  SettingDef d{set, key, caption, command, K::HexList, bytes, length};
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
    Identity(S, C::S_Sid, "Edit_S_Sid"),
    Value(S, "DID", "Destination ID", C::S_Did, K::Integer, "Edit_S_Did"),
    Value(S, "DTN", "Dest. Table Number", C::S_Dtn, K::Integer, "Edit_S_Dtn"),
    Value(S, "DENT", "Dest. Entry Number", C::S_Dent, K::Integer, "Edit_S_Dent"),
    Value(S, "PID1", "Main Port PID", C::S_MPID, K::Integer, "Edit_S_MPID"),
    Value(S, "PID2", "LoRa Port PID", C::S_LPID, K::Integer, "Edit_S_LPID"),
    Value(S, "PID3", "Serial Port PID", C::S_SPID, K::Integer, "Edit_S_SPID"),
    Value(S, "CH", "Channel", C::S_CH, K::List, "CB_S_Ch", 100),
    Value(S, "SFT", "Spreading Factor", C::S_SF, K::List, "CB_S_Sf"),
    Country(S, C::S_Country, "Edit_S_Country"),
    Value(S, "AES", "Encryption", C::S_En, K::List, "Edit_S_En", 100),
    Secret(S, "AESKEY", "AES KEY", C::S_AESKEY, "Edit_S_AESKey", 100),
    Secret(S, "AESIV", "AES IV", C::S_AESIV, "Edit_S_AESIV"),
    Value(S, "PTYPE", "Port Type", C::S_Ptype, K::List, "Edit_S_Ptype", 100),
    Value(S, "PTP", "Peer to peer", C::S_PTP, K::List, "Edit_S_PTP"),
    Link(S, "BAU", "Baudrate", C::S_Baudrate, "Edit_S_Baudrate"),
    Link(S, "PAB", "Parity Bit", C::S_PAB, "Edit_S_PAB"),
    Link(S, "HF", "H/W Flow Control", C::S_HF, "Edit_S_HWF"),
    Value(S, "DMT", "Message Timeout", C::S_DMT, K::Tenths, "Edit_S_DMT"),
    Value(S, "DMS", "Message Size", C::S_DMS, K::Integer, "Edit_S_DMS"),
    Value(S, "STXL", "STX Length", C::S_STXL, K::List, "Edit_S_STXLen"),
    Value(S, "ETXL", "ETX Length", C::S_ETXL, K::List, "Edit_S_ETXLen"),
    Frame(S, "STX", "STX bytes", C::S_STX, {"Edit_S_STX1", "Edit_S_STX2", "Edit_S_STX3"},
          "Edit_S_STXLen"),
    Frame(S, "ETX", "ETX bytes", C::S_ETX, {"Edit_S_ETX1", "Edit_S_ETX2", "Edit_S_ETX3"},
          "Edit_S_ETXLen"),
    // rTavi: the relay save-all pauses 100 ms after mode and identifiers.
    Identity(R, C::R_Sid, "Edit_R_Sid"),
    Value(R, "MODE", "rTavi Mode", C::R_Mode, K::List, "Edit_R_Mode", 100),
    Value(R, "RID1", "Relay ID 1", C::R_Rid1, K::Integer, "Edit_R_Rid1", 100),
    Value(R, "RID2", "Relay ID 2", C::R_Rid2, K::Integer, "Edit_R_Rid2", 100),
    Value(R, "CH", "Channel", C::R_CH, K::List, "CB_R_Ch"),
    Value(R, "SFT", "Spreading Factor", C::R_SF, K::List, "CB_R_Sf"),
    Country(R, C::R_Country, "Edit_R_Country"),
    // ioTavi
    Identity(I, C::I_Sid, "Edit_I_Sid"),
    Value(I, "DID", "Destination ID", C::I_Did, K::Integer, "Edit_I_Did"),
    Value(I, "CH", "Channel", C::I_CH, K::List, "CB_I_Ch"),
    Value(I, "SFT", "Spreading Factor", C::I_SF, K::List, "CB_I_Sf"),
    Value(I, "BND", "Band", C::I_Band, K::Integer, "Edit_I_Band"),
    Value(I, "AES", "Encryption", C::I_En, K::List, "Edit_I_En"),
    Secret(I, "AESKEY", "AES KEY", C::I_AESKEY, "Edit_I_AESKey"),
    Secret(I, "AESIV", "AES IV", C::I_AESIV, "Edit_I_AESIV"),
    Value(I, "PTYPE", "Port Type", C::I_Ptype, K::List, "Edit_I_Ptype"),
    Link(I, "BAU", "Baudrate", C::I_Baudrate, "Edit_I_Baudrate"),
    Link(I, "PAB", "Parity Bit", C::I_PAB, "Edit_I_PAB"),
    Link(I, "HF", "H/W Flow Control", C::I_HF, "Edit_I_HWF"),
    Value(I, "DMT", "Message Timeout", C::I_DMT, K::Tenths, "Edit_I_DMT"),
    Value(I, "DMS", "Message Size", C::I_DMS, K::Integer, "Edit_I_DMS"),
    Value(I, "STXL", "STX Length", C::I_STXL, K::List, "Edit_I_STXLen"),
    Value(I, "ETXL", "ETX Length", C::I_ETXL, K::List, "Edit_I_ETXLen"),
    Frame(I, "STX", "STX bytes", C::I_STX, {"Edit_I_STX1", "Edit_I_STX2", "Edit_I_STX3"},
          "Edit_I_STXLen"),
    Frame(I, "ETX", "ETX bytes", C::I_ETX, {"Edit_I_ETX1", "Edit_I_ETX2", "Edit_I_ETX3"},
          "Edit_I_ETXLen"),
    Rs485(Value(I, "485+PTYPE", "[RS485] Port Type", C::I_Ptype_485, K::List, "Edit_I_Ptype_485")),
    Rs485(
        Value(I, "485+DID", "[RS485] Destination ID", C::I_Did_485, K::Integer, "Edit_I_Did_485")),
    Rs485(
        Value(I, "485+BAU", "[RS485] Baudrate", C::I_Baudrate_485, K::List, "Edit_I_Baudrate_485")),
    Rs485(Value(I, "485+PAB", "[RS485] Parity Bit", C::I_PAB_485, K::List, "Edit_I_PAB_485")),
    Rs485(
        Value(I, "485+DMT", "[RS485] Message Timeout", C::I_DMT_485, K::Tenths, "Edit_I_DMT_485")),
    Rs485(Value(I, "485+DMS", "[RS485] Message Size", C::I_DMS_485, K::Integer, "Edit_I_DMS_485")),
    Rs485(Value(I, "485+STXL", "[RS485] STX Length", C::I_STXL_485, K::List, "Edit_I_STXLen_485")),
    Rs485(Value(I, "485+ETXL", "[RS485] ETX Length", C::I_ETXL_485, K::List, "Edit_I_ETXLen_485")),
    Rs485(Frame(I, "485+STX", "[RS485] STX bytes", C::I_STX_485,
                {"Edit_I_STX1_485", "Edit_I_STX2_485", "Edit_I_STX3_485"}, "Edit_I_STXLen_485")),
    Rs485(Frame(I, "485+ETX", "[RS485] ETX bytes", C::I_ETX_485,
                {"Edit_I_ETX1_485", "Edit_I_ETX2_485", "Edit_I_ETX3_485"}, "Edit_I_ETXLen_485")),
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

std::vector<std::string> Numbers(int first, int last) {
  std::vector<std::string> out;
  for (int n = first; n <= last; ++n) out.push_back(std::to_string(n));
  return out;
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
  using namespace forms::pages;
  const std::string_view k = def.key.starts_with("485+") ? def.key.substr(4) : def.key;
  if (k == "CH") return Numbers(1, japan ? 9 : 20);
  if (k == "SFT") return Numbers(7, japan ? 11 : 12);
  if (k == "CTRY") return CountryItems();
  if (k == "MODE") return RelayModeItems();
  if (k == "AES" || k == "PTP") return OnOffItems();
  if (k == "PTYPE") return PortTypeItems();
  if (k == "BAU") return BaudItems();
  if (k == "PAB") return ParityItems();
  if (k == "HF") return FlowItems();
  if (k == "STXL" || k == "ETXL") return LengthItems();
  return {};
}

}  // namespace velimo::profile
