#include "modem.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <type_traits>

namespace velimo::sim {

namespace {

// ---------------------------------------------------------------------------
// Small value readers. The modem accepts values only in the exact form the
// program writes them: decimal digits without sign or blanks, single letters
// in capitals, two hexadecimal digits per framing byte.

std::optional<long> Decimal(std::string_view text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<long> SignedDecimal(std::string_view text, long low, long high) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  auto magnitude = Decimal(text, 0, std::max(-low, high));
  if (!magnitude) return std::nullopt;
  long value = negative ? -*magnitude : *magnitude;
  if (value < low || value > high) return std::nullopt;
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "02", "02,0a" or "02,0a,FF": one to three bytes.
std::optional<std::vector<int>> HexList(std::string_view text) {
  std::vector<int> bytes;
  while (true) {
    if (text.size() < 2) return std::nullopt;
    int high = HexDigit(text[0]);
    int low = HexDigit(text[1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(high * 16 + low);
    text.remove_prefix(2);
    if (text.empty()) break;
    if (text.front() != ',' || bytes.size() == 3) return std::nullopt;
    text.remove_prefix(1);
  }
  return bytes;
}

// Position of a text in a list of names.
template <std::size_t N>
std::optional<int> IndexOf(const std::array<std::string_view, N>& names, std::string_view text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::string Hex2(int byte) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02X", byte & 0xFF);
  return buffer;
}

std::string OffOn(bool on) {
  return on ? "ON" : "OFF";
}
std::string PortTypeName(int type) {
  return type == 0 ? "Kivet" : "Normal";
}

int MaxChannel(int country) {
  return country == 2 ? 9 : 20;
}
int MaxSpreadingFactor(int country) {
  return country == 2 ? 11 : 12;
}

// Changing the country to Japan narrows the channel plan; a channel or
// spreading factor outside it moves to the highest one left.
void ApplyCountry(Radio& radio, int country) {
  radio.country = country;
  radio.channel = std::min(radio.channel, MaxChannel(country));
  radio.spreading_factor = std::min(radio.spreading_factor, MaxSpreadingFactor(country));
}

bool HasEncryption(Family family, Firmware firmware) {
  if (family == Family::kRTavi) return false;
  if (family == Family::kIoTavi) return true;
  return firmware != Firmware::k1_0 && firmware != Firmware::k1_1;
}

// Version text of the firmware line. The export firmwares are 1.2 builds.
std::string VersionText(Firmware firmware) {
  switch (firmware) {
    case Firmware::k1_0:
      return "1.0";
    case Firmware::k1_1:
      return "1.1";
    case Firmware::k1_3:
      return "1.3";
    case Firmware::kUsa:
    case Firmware::kJapan:
      return "1.2";
  }
  return "1.3";
}

std::string FramingLine(std::string_view name, const Framing& framing) {
  // "STX Length = 2, STX1 = 0x02, STX2 = 0x03, STX3 = 0x00": length at token
  // 2, the bytes at tokens 5, 8 and 11 with their digits from position 3.
  std::string line = std::string(name) + " Length = " + std::to_string(framing.length);
  for (int i = 0; i < 3; ++i) {
    line += ", " + std::string(name) + std::to_string(i + 1) + " = 0x" + Hex2(framing.bytes[i]);
  }
  return line;
}

std::string MessageLine(const SerialSide& side) {
  // Timeout digits at token 2, size at token 6.
  return "Message Timeout = " + std::to_string(side.timeout_tenths * 10) +
         " ms, Size = " + std::to_string(side.message_size) + " bytes";
}

std::string KeyText(const std::string& key) {
  return key == kDefaultKey ? std::string(kDefaultKeyReport) : key;
}

// Keeps an echoed command printable and on one line.
std::string Printable(std::string_view line) {
  std::string text;
  for (unsigned char c : line) text += (c < 0x20 || c > 0x7E) ? '?' : static_cast<char>(c);
  return text;
}

// ---------------------------------------------------------------------------
// Setting commands. Each family has a table: the command text up to and
// including "=", whether the firmware must know encryption, and the action
// that checks and applies the value and returns the acknowledgement (or
// nothing when the value is refused).

using Ack = std::optional<std::string>;

template <class C>
struct Setting {
  std::string text;
  bool needs_encryption = false;
  std::function<Ack(C&, std::string_view)> apply;
};

template <class C, class Access>
Setting<C> IdSetting(std::string text, std::string label, Access access) {
  return {std::move(text), false, [label, access](C& c, std::string_view v) -> Ack {
            auto id = Decimal(v, 1, kBroadcastId);
            if (!id) return std::nullopt;
            access(c) = static_cast<std::uint32_t>(*id);
            return "OK. " + label + "=" + std::to_string(*id);
          }};
}

template <class C>
void AddRadioSettings(std::vector<Setting<C>>& table, Radio& (*radio)(C&)) {
  table.push_back({"AT+CH=", false, [radio](C& c, std::string_view v) -> Ack {
                     Radio& r = radio(c);
                     auto channel = Decimal(v, 1, MaxChannel(r.country));
                     if (!channel) return std::nullopt;
                     r.channel = static_cast<int>(*channel);
                     return "OK. Channel=" + std::to_string(*channel);
                   }});
  table.push_back({"AT+SFT=", false, [radio](C& c, std::string_view v) -> Ack {
                     Radio& r = radio(c);
                     auto sf = Decimal(v, 7, MaxSpreadingFactor(r.country));
                     if (!sf) return std::nullopt;
                     r.spreading_factor = static_cast<int>(*sf);
                     return "OK. Spreading Factor=" + std::to_string(*sf);
                   }});
  table.push_back({"AT+CTRY=", false, [radio](C& c, std::string_view v) -> Ack {
                     auto country = Decimal(v, 1, 3);
                     if (!country) return std::nullopt;
                     ApplyCountry(radio(c), static_cast<int>(*country) - 1);
                     return "OK. Country=" + std::string(kCountries[*country - 1]);
                   }});
  table.push_back({"at+44Pivot_318Offset_Trim_Adjustment9127=", false,
                   [radio](C& c, std::string_view v) -> Ack {
                     auto offset = SignedDecimal(v, -40000, 40000);
                     if (!offset) return std::nullopt;
                     radio(c).frequency_offset = static_cast<int>(*offset);
                     return "OK. Frequency Offset=" + std::to_string(*offset);
                   }});
}

template <class C>
void AddEncryptionSettings(std::vector<Setting<C>>& table, Encryption& (*aes)(C&)) {
  table.push_back({"AT+AES=", true, [aes](C& c, std::string_view v) -> Ack {
                     auto on = Decimal(v, 0, 1);
                     if (!on) return std::nullopt;
                     aes(c).on = *on == 1;
                     return *on == 1 ? "OK. AES ON" : "OK. AES OFF";
                   }});
  table.push_back({"AT+AESKEY=", true, [aes](C& c, std::string_view v) -> Ack {
                     if (v.size() != 16) return std::nullopt;
                     aes(c).key = std::string(v);
                     return "OK, AES KEY";
                   }});
}

// The serial port commands, for the sTavi/uTavi port and both sides of the
// ioTavi: prefix "AT+" or "AT+485+", label "" or "485 " in the answers.
template <class C>
void AddSerialSettings(std::vector<Setting<C>>& table, const std::string& prefix,
                       const std::string& label, SerialSide& (*side)(C&), bool with_flow) {
  table.push_back({prefix + "PTYPE=", false, [=](C& c, std::string_view v) -> Ack {
                     auto type = Decimal(v, 0, 1);
                     if (!type) return std::nullopt;
                     side(c).port_type = static_cast<int>(*type);
                     return "OK. " + label + "Port Type=" + PortTypeName(side(c).port_type);
                   }});
  table.push_back({prefix + "BAU=", false, [=](C& c, std::string_view v) -> Ack {
                     auto index = Decimal(v, 0, 13);
                     if (!index) return std::nullopt;
                     side(c).baud_index = static_cast<int>(*index);
                     return "OK. " + label + "Baudrate=" + std::string(kBaudRates[*index]);
                   }});
  table.push_back({prefix + "PAB=", false, [=](C& c, std::string_view v) -> Ack {
                     int parity = v == "N" ? 0 : v == "O" ? 1 : v == "E" ? 2 : -1;
                     if (parity < 0) return std::nullopt;
                     side(c).parity = parity;
                     return "OK. " + label + "Parity=" + std::string(kParities[parity]);
                   }});
  if (with_flow) {
    table.push_back({prefix + "HF=", false, [=](C& c, std::string_view v) -> Ack {
                       auto flow = Decimal(v, 0, 1);
                       if (!flow) return std::nullopt;
                       side(c).flow_control = *flow == 1;
                       return "OK. " + label +
                              "Hardware Flow Control=" + (*flow == 1 ? "RTS/CTS" : "OFF");
                     }});
  }
  table.push_back({prefix + "DMT=", false, [=](C& c, std::string_view v) -> Ack {
                     auto tenths = Decimal(v, 1, 255);
                     if (!tenths) return std::nullopt;
                     side(c).timeout_tenths = static_cast<int>(*tenths);
                     return "OK. " + label + "Message Timeout=" + std::to_string(*tenths * 10) +
                            "ms";
                   }});
  table.push_back({prefix + "DMS=", false, [=](C& c, std::string_view v) -> Ack {
                     auto size = Decimal(v, 0, 116);
                     if (!size) return std::nullopt;
                     side(c).message_size = static_cast<int>(*size);
                     return "OK. " + label + "Message Size=" + std::to_string(*size);
                   }});
  // "OK. ETX Length=0" is the answer the program waits for at the end of a
  // serial save-all whose framing lengths are both 0.
  for (bool is_stx : {true, false}) {
    std::string name = is_stx ? "STX" : "ETX";
    table.push_back({prefix + name + "L=", false, [=](C& c, std::string_view v) -> Ack {
                       auto length = Decimal(v, 0, 3);
                       if (!length) return std::nullopt;
                       (is_stx ? side(c).stx : side(c).etx).length = static_cast<int>(*length);
                       return "OK. " + label + name + " Length=" + std::to_string(*length);
                     }});
    // The bytes answer with "OK, STX1=..." / "OK, ETX1=...": the program takes
    // it as the end of a serial save-all that writes framing bytes.
    table.push_back({prefix + name + "=", false, [=](C& c, std::string_view v) -> Ack {
                       auto bytes = HexList(v);
                       if (!bytes) return std::nullopt;
                       Framing& framing = is_stx ? side(c).stx : side(c).etx;
                       std::string ack = "OK, " + label;
                       for (std::size_t i = 0; i < bytes->size(); ++i) {
                         framing.bytes[i] = (*bytes)[i];
                         ack += (i ? ", " : "") + name + std::to_string(i + 1) + "=" +
                                Hex2((*bytes)[i]);
                       }
                       return ack;
                     }});
  }
}

const std::vector<Setting<STaviConfig>>& STaviSettings() {
  static const std::vector<Setting<STaviConfig>> table = [] {
    using C = STaviConfig;
    std::vector<Setting<C>> t;
    t.push_back(IdSetting<C>(
        "AT+MYID=", "Source ID", [](C & c) -> auto& { return c.source_id; }));
    t.push_back(IdSetting<C>(
        "AT+DID=", "Destination ID", [](C & c) -> auto& { return c.destination_id; }));
    t.push_back({"AT+DTN=", false, [](C& c, std::string_view v) -> Ack {
                   auto n = Decimal(v, 0, 255);
                   if (!n) return std::nullopt;
                   c.destination_table = static_cast<int>(*n);
                   return "OK. Destination Table=" + std::to_string(*n);
                 }});
    t.push_back({"AT+DENT=", false, [](C& c, std::string_view v) -> Ack {
                   auto n = Decimal(v, 0, 255);
                   if (!n) return std::nullopt;
                   c.destination_entry = static_cast<int>(*n);
                   return "OK. Destination Entry=" + std::to_string(*n);
                 }});
    t.push_back({"AT+PID=", false, [](C& c, std::string_view v) -> Ack {
                   // The port digit, a comma, the identifier.
                   if (v.size() < 3 || v[1] != ',') return std::nullopt;
                   auto port = Decimal(v.substr(0, 1), 1, 3);
                   auto id = Decimal(v.substr(2), 1, kBroadcastId);
                   if (!port || !id) return std::nullopt;
                   c.pid[*port - 1] = static_cast<std::uint32_t>(*id);
                   return "OK. PID" + std::to_string(*port) + "=" + std::to_string(*id);
                 }});
    AddRadioSettings<C>(t, [](C& c) -> Radio& { return c.radio; });
    AddEncryptionSettings<C>(t, [](C& c) -> Encryption& { return c.aes; });
    t.push_back({"AT+PTP=", false, [](C& c, std::string_view v) -> Ack {
                   auto on = Decimal(v, 0, 1);
                   if (!on) return std::nullopt;
                   c.peer_to_peer = *on == 1;
                   return "OK. Peer to Peer=" + OffOn(c.peer_to_peer);
                 }});
    AddSerialSettings<C>(
        t, "AT+", "", [](C& c) -> SerialSide& { return c.serial; }, true);
    return t;
  }();
  return table;
}

const std::vector<Setting<RTaviConfig>>& RTaviSettings() {
  static const std::vector<Setting<RTaviConfig>> table = [] {
    using C = RTaviConfig;
    std::vector<Setting<C>> t;
    t.push_back(IdSetting<C>(
        "AT+MYID=", "Source ID", [](C & c) -> auto& { return c.source_id; }));
    t.push_back({"AT+MODE=", false, [](C& c, std::string_view v) -> Ack {
                   auto mode = Decimal(v, 1, 2);
                   if (!mode) return std::nullopt;
                   c.mode = static_cast<int>(*mode);
                   return std::string(c.mode == 1 ? "OK. Mode=Repeat" : "OK. Mode=Relay");
                 }});
    t.push_back(IdSetting<C>(
        "AT+RID1=", "Relay ID 1", [](C & c) -> auto& { return c.relay_id_1; }));
    t.push_back(IdSetting<C>(
        "AT+RID2=", "Relay ID 2", [](C & c) -> auto& { return c.relay_id_2; }));
    AddRadioSettings<C>(t, [](C& c) -> Radio& { return c.radio; });
    return t;
  }();
  return table;
}

const std::vector<Setting<IoTaviConfig>>& IoTaviSettings() {
  static const std::vector<Setting<IoTaviConfig>> table = [] {
    using C = IoTaviConfig;
    std::vector<Setting<C>> t;
    t.push_back(IdSetting<C>(
        "AT+MYID=", "Source ID", [](C & c) -> auto& { return c.source_id; }));
    t.push_back(IdSetting<C>(
        "AT+DID=", "Destination ID", [](C & c) -> auto& { return c.destination_id; }));
    t.push_back(IdSetting<C>(
        "AT+485+DID=", "485 Destination ID", [](C & c) -> auto& { return c.destination_id_485; }));
    t.push_back({"AT+CH=", false, [](C& c, std::string_view v) -> Ack {
                   auto channel = Decimal(v, 1, 20);
                   if (!channel) return std::nullopt;
                   c.channel = static_cast<int>(*channel);
                   return "OK. Channel=" + std::to_string(*channel);
                 }});
    t.push_back({"AT+SFT=", false, [](C& c, std::string_view v) -> Ack {
                   auto sf = Decimal(v, 7, 12);
                   if (!sf) return std::nullopt;
                   c.spreading_factor = static_cast<int>(*sf);
                   return "OK. Spreading Factor=" + std::to_string(*sf);
                 }});
    t.push_back({"AT+BND=", false, [](C& c, std::string_view v) -> Ack {
                   auto band = Decimal(v, 6, 8);
                   if (!band) return std::nullopt;
                   c.band = static_cast<int>(*band);
                   return "OK. Band=" + std::to_string(*band);
                 }});
    AddEncryptionSettings<C>(t, [](C& c) -> Encryption& { return c.aes; });
    AddSerialSettings<C>(
        t, "AT+", "", [](C& c) -> SerialSide& { return c.rs232; }, true);
    AddSerialSettings<C>(
        t, "AT+485+", "485 ", [](C& c) -> SerialSide& { return c.rs485; }, false);
    return t;
  }();
  return table;
}

template <class C>
const Setting<C>* FindSetting(const std::vector<Setting<C>>& table, std::string_view text) {
  for (const auto& setting : table) {
    if (setting.text == text) return &setting;
  }
  return nullptr;
}

const std::set<std::string, std::less<>>& AllCommandTexts() {
  static const std::set<std::string, std::less<>> texts = [] {
    std::set<std::string, std::less<>> all = {"AT&V", "AT&E", "AT&Z",   "AT&F",
                                              "AT&O", "+++",  "AT+485?"};
    for (const auto& s : STaviSettings()) all.insert(s.text);
    for (const auto& s : RTaviSettings()) all.insert(s.text);
    for (const auto& s : IoTaviSettings()) all.insert(s.text);
    return all;
  }();
  return texts;
}

std::string InvalidLine(std::string_view line) {
  return "Invalid Command : " + Printable(line);
}

// A command this modem does not offer, though another model or firmware
// does. The word "Invalid" is not at the start, so the program logs the line
// instead of showing it; an unsupported encryption query therefore does not
// interrupt the operator on firmware without encryption.
std::string UnsupportedLine(Family family, Firmware firmware, std::string_view line) {
  bool by_model = family == Family::kRTavi || family == Family::kIoTavi || line == "+++" ||
                  line == "AT&O" || line == "AT+485?" || line.starts_with("AT+485+") ||
                  line.starts_with("AT+MODE=") || line.starts_with("AT+RID") ||
                  line.starts_with("AT+BND=");
  std::string what = by_model ? std::string(FamilyName(family)) : "F/W " + VersionText(firmware);
  return "ERROR : Invalid Command for " + what + " : " + Printable(line);
}

// ---------------------------------------------------------------------------
// State file fields: "name=value", one per line.

template <class C>
struct Field {
  std::string name;
  std::function<std::string(const C&)> get;
  std::function<bool(C&, std::string_view)> set;
};

template <class C, class Access>
Field<C> NumberField(std::string name, Access access, long low, long high) {
  return {std::move(name), [access](const C& c) { return std::to_string(access(c)); },
          [access, low, high](C& c, std::string_view v) {
            auto n = SignedDecimal(v, low, high);
            if (!n) return false;
            access(c) = static_cast<std::remove_reference_t<decltype(access(c))>>(*n);
            return true;
          }};
}

template <class C, std::size_t N, class Access>
Field<C> ChoiceField(std::string name, Access access, const std::array<std::string_view, N>& names,
                     int offset = 0) {
  return {std::move(name),
          [access, &names, offset](const C& c) {
            return std::string(names[static_cast<std::size_t>(access(c) - offset)]);
          },
          [access, &names, offset](C& c, std::string_view v) {
            auto index = IndexOf(names, v);
            if (!index) return false;
            access(c) = *index + offset;
            return true;
          }};
}

inline constexpr std::array<std::string_view, 2> kOffOn = {"OFF", "ON"};
inline constexpr std::array<std::string_view, 2> kPortTypes = {"Kivet", "Normal"};
inline constexpr std::array<std::string_view, 2> kFlow = {"OFF", "RTS/CTS"};
inline constexpr std::array<std::string_view, 2> kModes = {"Repeat", "Relay"};

template <class C, class Access>
Field<C> BoolField(std::string name, Access access, const std::array<std::string_view, 2>& names) {
  return {std::move(name), [access, &names](const C& c) { return std::string(names[access(c)]); },
          [access, &names](C& c, std::string_view v) {
            auto index = IndexOf(names, v);
            if (!index) return false;
            access(c) = *index == 1;
            return true;
          }};
}

template <class C, class Access>
Field<C> KeyField(std::string name, Access access) {
  return {std::move(name), [access](const C& c) { return access(c); },
          [access](C& c, std::string_view v) {
            if (v.size() != 16) return false;
            access(c) = std::string(v);
            return true;
          }};
}

template <class C, class Access>
Field<C> FramingBytesField(std::string name, Access access) {
  return {std::move(name),
          [access](const C& c) {
            const Framing& f = access(c);
            return Hex2(f.bytes[0]) + "," + Hex2(f.bytes[1]) + "," + Hex2(f.bytes[2]);
          },
          [access](C& c, std::string_view v) {
            auto bytes = HexList(v);
            if (!bytes || bytes->size() != 3) return false;
            std::copy(bytes->begin(), bytes->end(), access(c).bytes.begin());
            return true;
          }};
}

template <class C>
void AddSerialFields(std::vector<Field<C>>& fields, const std::string& prefix,
                     SerialSide& (*side)(C&), const SerialSide& (*cside)(const C&), bool flow) {
  auto s = [ side, cside ](auto& c) -> auto& {
    if constexpr (std::is_const_v<std::remove_reference_t<decltype(c)>>) {
      return cside(c);
    } else {
      return side(c);
    }
  };
  fields.push_back(ChoiceField<C>(
      prefix + "port_type", [s](auto& c) -> auto& { return s(c).port_type; }, kPortTypes));
  fields.push_back(ChoiceField<C>(
      prefix + "baudrate", [s](auto& c) -> auto& { return s(c).baud_index; }, kBaudRates));
  fields.push_back(ChoiceField<C>(
      prefix + "parity", [s](auto& c) -> auto& { return s(c).parity; }, kParities));
  if (flow) {
    fields.push_back(BoolField<C>(
        prefix + "flow_control", [s](auto& c) -> auto& { return s(c).flow_control; }, kFlow));
  }
  fields.push_back(Field<C>{prefix + "message_timeout_ms",
                            [s](const C& c) { return std::to_string(s(c).timeout_tenths * 10); },
                            [s](C& c, std::string_view v) {
                              auto ms = Decimal(v, 10, 2550);
                              if (!ms || *ms % 10 != 0) return false;
                              s(c).timeout_tenths = static_cast<int>(*ms / 10);
                              return true;
                            }});
  fields.push_back(NumberField<C>(
      prefix + "message_size", [s](auto& c) -> auto& { return s(c).message_size; }, 0, 116));
  fields.push_back(NumberField<C>(
      prefix + "stx_length", [s](auto& c) -> auto& { return s(c).stx.length; }, 0, 3));
  fields.push_back(FramingBytesField<C>(
      prefix + "stx", [s](auto& c) -> auto& { return s(c).stx; }));
  fields.push_back(NumberField<C>(
      prefix + "etx_length", [s](auto& c) -> auto& { return s(c).etx.length; }, 0, 3));
  fields.push_back(FramingBytesField<C>(
      prefix + "etx", [s](auto& c) -> auto& { return s(c).etx; }));
}

template <class C>
void AddRadioFields(std::vector<Field<C>>& fields) {
  fields.push_back(ChoiceField<C>(
      "country", [](auto& c) -> auto& { return c.radio.country; }, kCountries));
  fields.push_back(NumberField<C>(
      "channel", [](auto& c) -> auto& { return c.radio.channel; }, 1, 20));
  fields.push_back(NumberField<C>(
      "spreading_factor", [](auto& c) -> auto& { return c.radio.spreading_factor; }, 7, 12));
  fields.push_back(NumberField<C>(
      "frequency_offset", [](auto& c) -> auto& { return c.radio.frequency_offset; }, -40000,
      40000));
}

template <class C>
void AddEncryptionFields(std::vector<Field<C>>& fields) {
  fields.push_back(BoolField<C>(
      "encryption", [](auto& c) -> auto& { return c.aes.on; }, kOffOn));
  fields.push_back(KeyField<C>(
      "aes_key", [](auto& c) -> auto& { return c.aes.key; }));
  fields.push_back(KeyField<C>(
      "aes_iv", [](auto& c) -> auto& { return c.aes.iv; }));
}

const std::vector<Field<STaviConfig>>& STaviFields() {
  static const std::vector<Field<STaviConfig>> fields = [] {
    using C = STaviConfig;
    std::vector<Field<C>> f;
    f.push_back(NumberField<C>(
        "source_id", [](auto& c) -> auto& { return c.source_id; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "destination_id", [](auto& c) -> auto& { return c.destination_id; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "destination_table", [](auto& c) -> auto& { return c.destination_table; }, 0, 255));
    f.push_back(NumberField<C>(
        "destination_entry", [](auto& c) -> auto& { return c.destination_entry; }, 0, 255));
    f.push_back(NumberField<C>(
        "main_pid", [](auto& c) -> auto& { return c.pid[0]; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "lora_pid", [](auto& c) -> auto& { return c.pid[1]; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "serial_pid", [](auto& c) -> auto& { return c.pid[2]; }, 1, kBroadcastId));
    AddRadioFields<C>(f);
    AddEncryptionFields<C>(f);
    f.push_back(BoolField<C>(
        "peer_to_peer", [](auto& c) -> auto& { return c.peer_to_peer; }, kOffOn));
    AddSerialFields<C>(
        f, "", [](C& c) -> SerialSide& { return c.serial; },
        [](const C& c) -> const SerialSide& { return c.serial; }, true);
    return f;
  }();
  return fields;
}

const std::vector<Field<RTaviConfig>>& RTaviFields() {
  static const std::vector<Field<RTaviConfig>> fields = [] {
    using C = RTaviConfig;
    std::vector<Field<C>> f;
    f.push_back(NumberField<C>(
        "source_id", [](auto& c) -> auto& { return c.source_id; }, 1, kBroadcastId));
    AddRadioFields<C>(f);
    f.push_back(ChoiceField<C>(
        "mode", [](auto& c) -> auto& { return c.mode; }, kModes, 1));
    f.push_back(NumberField<C>(
        "relay_id_1", [](auto& c) -> auto& { return c.relay_id_1; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "relay_id_2", [](auto& c) -> auto& { return c.relay_id_2; }, 1, kBroadcastId));
    return f;
  }();
  return fields;
}

const std::vector<Field<IoTaviConfig>>& IoTaviFields() {
  static const std::vector<Field<IoTaviConfig>> fields = [] {
    using C = IoTaviConfig;
    std::vector<Field<C>> f;
    f.push_back(NumberField<C>(
        "source_id", [](auto& c) -> auto& { return c.source_id; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "destination_id", [](auto& c) -> auto& { return c.destination_id; }, 1, kBroadcastId));
    f.push_back(NumberField<C>(
        "channel", [](auto& c) -> auto& { return c.channel; }, 1, 20));
    f.push_back(NumberField<C>(
        "band", [](auto& c) -> auto& { return c.band; }, 6, 8));
    f.push_back(NumberField<C>(
        "spreading_factor", [](auto& c) -> auto& { return c.spreading_factor; }, 7, 12));
    AddEncryptionFields<C>(f);
    AddSerialFields<C>(
        f, "rs232.", [](C& c) -> SerialSide& { return c.rs232; },
        [](const C& c) -> const SerialSide& { return c.rs232; }, true);
    AddSerialFields<C>(
        f, "rs485.", [](C& c) -> SerialSide& { return c.rs485; },
        [](const C& c) -> const SerialSide& { return c.rs485; }, false);
    f.push_back(NumberField<C>(
        "rs485.destination_id", [](auto& c) -> auto& { return c.destination_id_485; }, 1,
        kBroadcastId));
    return f;
  }();
  return fields;
}

template <class C>
std::string SaveFields(const std::vector<Field<C>>& fields, const C& config) {
  std::string text;
  for (const auto& field : fields) text += field.name + "=" + field.get(config) + "\n";
  return text;
}

template <class C>
std::optional<std::string> LoadField(const std::vector<Field<C>>& fields, C& config,
                                     std::string_view name, std::string_view value) {
  for (const auto& field : fields) {
    if (field.name == name) {
      if (!field.set(config, value)) {
        return "bad value for " + std::string(name) + ": \"" + std::string(value) + "\"";
      }
      return std::nullopt;
    }
  }
  return "unknown setting \"" + std::string(name) + "\"";
}

std::optional<std::string> CheckRadio(const Radio& radio) {
  if (radio.channel > MaxChannel(radio.country) ||
      radio.spreading_factor > MaxSpreadingFactor(radio.country)) {
    return "channel or spreading factor outside the channel plan of " +
           std::string(kCountries[radio.country]);
  }
  return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------------------

std::optional<Family> FamilyFromCode(std::string_view code) {
  if (code == "s") return Family::kSTavi;
  if (code == "u") return Family::kUTavi;
  if (code == "r") return Family::kRTavi;
  if (code == "i") return Family::kIoTavi;
  return std::nullopt;
}

std::string_view FamilyCode(Family family) {
  switch (family) {
    case Family::kSTavi:
      return "s";
    case Family::kUTavi:
      return "u";
    case Family::kRTavi:
      return "r";
    case Family::kIoTavi:
      return "i";
  }
  return "s";
}

std::string_view FamilyName(Family family) {
  switch (family) {
    case Family::kSTavi:
      return "sTavi";
    case Family::kUTavi:
      return "uTavi";
    case Family::kRTavi:
      return "rTavi";
    case Family::kIoTavi:
      return "ioTavi";
  }
  return "sTavi";
}

std::optional<Firmware> FirmwareFromName(std::string_view name) {
  if (name == "1.0") return Firmware::k1_0;
  if (name == "1.1") return Firmware::k1_1;
  if (name == "1.3") return Firmware::k1_3;
  if (name == "usa") return Firmware::kUsa;
  if (name == "japan") return Firmware::kJapan;
  return std::nullopt;
}

std::string_view FirmwareName(Firmware firmware) {
  switch (firmware) {
    case Firmware::k1_0:
      return "1.0";
    case Firmware::k1_1:
      return "1.1";
    case Firmware::k1_3:
      return "1.3";
    case Firmware::kUsa:
      return "usa";
    case Firmware::kJapan:
      return "japan";
  }
  return "1.3";
}

Config FactoryDefaults(Family family, Firmware firmware) {
  int country = firmware == Firmware::kUsa ? 1 : firmware == Firmware::kJapan ? 2 : 0;
  switch (family) {
    case Family::kSTavi:
    case Family::kUTavi: {
      STaviConfig c;
      if (family == Family::kUTavi) c.source_id = 200001;
      c.radio.country = country;
      return c;
    }
    case Family::kRTavi: {
      RTaviConfig c;
      c.radio.country = country;
      return c;
    }
    case Family::kIoTavi:
      return IoTaviConfig{};
  }
  return STaviConfig{};
}

std::vector<std::string> StatusReport(const STaviConfig& c, Firmware firmware) {
  std::vector<std::string> lines;
  // Version: 3 characters from position 11 ("F/W Ver = 1.3"), 15 after
  // "USA F/W", 17 after "JAPAN F/W".
  if (firmware == Firmware::kUsa) {
    lines.push_back("USA F/W Ver = " + VersionText(firmware));
  } else if (firmware == Firmware::kJapan) {
    lines.push_back("JAPAN F/W Ver = " + VersionText(firmware));
  } else {
    lines.push_back("F/W Ver = " + VersionText(firmware));
  }
  lines.push_back("Source ID = " + std::to_string(c.source_id));  // from position 13
  // Identifier at token 2, table at token 5, entry at token 8.
  lines.push_back("Destination ID = " + std::to_string(c.destination_id) +
                  ", Table = " + std::to_string(c.destination_table) +
                  ", Entry = " + std::to_string(c.destination_entry));
  // Identifiers from position 14.
  lines.push_back("Main   PID = " + std::to_string(c.pid[0]));
  lines.push_back("LoRa   PID = " + std::to_string(c.pid[1]));
  lines.push_back("Serial PID = " + std::to_string(c.pid[2]));
  lines.push_back("Country = " + std::string(kCountries[c.radio.country]));  // position 11
  // Channel at token 1; the spreading factor at token 5, on firmware 1.0 at
  // token 8 (that firmware also names the bandwidth).
  if (firmware == Firmware::k1_0) {
    lines.push_back("Channel = " + std::to_string(c.radio.channel) +
                    ", Bandwidth = 125 kHz, SF = " + std::to_string(c.radio.spreading_factor));
  } else {
    lines.push_back("Channel = " + std::to_string(c.radio.channel) +
                    ", Spreading Factor = " + std::to_string(c.radio.spreading_factor));
  }
  if (HasEncryption(Family::kSTavi, firmware)) {
    lines.push_back("Encryption = " + OffOn(c.aes.on));  // position 14
  }
  lines.push_back("Port Type = " + PortTypeName(c.serial.port_type));  // position 13
  lines.push_back("Peer to Peer = " + OffOn(c.peer_to_peer));          // position 16
  lines.push_back(MessageLine(c.serial));
  lines.push_back(FramingLine("STX", c.serial.stx));
  lines.push_back(FramingLine("ETX", c.serial.etx));
  // Baud rate at token 1, parity at token 5, data bits at token 9.
  lines.push_back("Baudrate = " + std::string(kBaudRates[c.serial.baud_index]) +
                  " bps, Parity = " + std::string(kParities[c.serial.parity]) +
                  ", Data Bit = " + std::to_string(c.serial.data_bits));
  // Stop bits at token 2, flow control at token 7; the last line of the
  // report.
  lines.push_back("Stop Bit = " + std::to_string(c.serial.stop_bits) +
                  ", Hardware Flow Control = " + (c.serial.flow_control ? "RTS/CTS" : "OFF"));
  return lines;
}

std::vector<std::string> StatusReport(const RTaviConfig& c, Firmware firmware) {
  std::vector<std::string> lines;
  lines.push_back("F/W Ver = " + VersionText(firmware));          // position 11
  lines.push_back("Source ID = " + std::to_string(c.source_id));  // from position 13
  lines.push_back("Country = " + std::string(kCountries[c.radio.country]));
  lines.push_back("Channel = " + std::to_string(c.radio.channel) +
                  ", Spreading Factor = " + std::to_string(c.radio.spreading_factor));
  lines.push_back(c.mode == 1 ? "Mode = Repeat" : "Mode = Relay");  // position 8
  // The relay identifiers stand under the mode: keyword at position 8,
  // identifier from position 21.
  lines.push_back("       Relay ID 1 = " + std::to_string(c.relay_id_1));
  lines.push_back("       Relay ID 2 = " + std::to_string(c.relay_id_2));
  return lines;
}

namespace {

// The ioTavi serial lines; the RS-485 report puts one blank in front of each
// (keyword at position 2, every value one position further right).
std::vector<std::string> IoTaviSerialLines(const SerialSide& side, std::uint32_t destination,
                                           bool rs485, bool flow) {
  std::string in = rs485 ? " " : "";
  std::vector<std::string> lines;
  lines.push_back(in + "Port Type " + PortTypeName(side.port_type));               // pos 11
  lines.push_back(in + "Dummy Destination ID  = " + std::to_string(destination));  // pos 25
  lines.push_back(in + "BaudRate = " + std::string(kBaudRates[side.baud_index]) +
                  " bps, Parity = " + std::string(kParities[side.parity]));
  lines.push_back(in + "Data Bit = " + std::to_string(side.data_bits) +
                  ", Stop Bit = " + std::to_string(side.stop_bits));
  // Flow control at token 3: "ON" in the RS-232 report, "RTS/CTS" in the
  // RS-485 one.
  lines.push_back(in + "Hardware Flow Control = " + (flow ? (rs485 ? "RTS/CTS" : "ON") : "OFF"));
  lines.push_back(in + MessageLine(side));
  lines.push_back(in + FramingLine("STX", side.stx));
  lines.push_back(in + FramingLine("ETX", side.etx));
  return lines;
}

std::string IoTaviVersion(Firmware firmware) {
  if (firmware == Firmware::kUsa) return VersionText(firmware) + " USA";
  if (firmware == Firmware::kJapan) return VersionText(firmware) + " JPN";
  return VersionText(firmware);
}

}  // namespace

std::vector<std::string> StatusReport(const IoTaviConfig& c, Firmware firmware) {
  std::vector<std::string> lines;
  lines.push_back("F/W Version " + IoTaviVersion(firmware));       // from position 13
  lines.push_back("Source ID  = " + std::to_string(c.source_id));  // from position 14
  // Channel at token 1, band at token 4, spreading factor at token 8.
  lines.push_back("Channel = " + std::to_string(c.channel) + ", Band = " + std::to_string(c.band) +
                  ", Spreading Factor = " + std::to_string(c.spreading_factor));
  lines.push_back("Encryption " + OffOn(c.aes.on));  // position 12
  auto serial = IoTaviSerialLines(c.rs232, c.destination_id, false, c.rs232.flow_control);
  lines.insert(lines.end(), serial.begin(), serial.end());
  return lines;
}

std::vector<std::string> Rs485Report(const IoTaviConfig& c) {
  // The RS-485 side has no flow control of its own; its report shows the
  // modem's one flow-control setting, so that whichever report the program
  // reads last, its flow-control display stays true.
  return IoTaviSerialLines(c.rs485, c.destination_id_485, true, c.rs232.flow_control);
}

std::vector<std::string> KeyReport(const STaviConfig& c) {
  // Key from position 10, IV from position 9.
  return {"AES KEY = " + KeyText(c.aes.key), "AES IV = " + KeyText(c.aes.iv)};
}

std::vector<std::string> KeyReport(const IoTaviConfig& c) {
  // Key from position 8, IV from position 7.
  return {"AESKEY: " + KeyText(c.aes.key), "AESIV: " + KeyText(c.aes.iv)};
}

// ---------------------------------------------------------------------------

Modem::Modem(Family family, Firmware firmware)
    : family_(family), firmware_(firmware), config_(FactoryDefaults(family, firmware)) {}

Answer Modem::Handle(std::string_view line) {
  Answer answer;
  if (line.empty()) return answer;  // a bare carriage return
  auto say = [&answer](std::string text) { answer.lines.push_back(std::move(text)); };
  auto unsupported = [&] { say(UnsupportedLine(family_, firmware_, line)); };
  const bool is_io = family_ == Family::kIoTavi;

  if (line == "AT&V") {
    std::visit([&](const auto& c) { answer.lines = StatusReport(c, firmware_); }, config_);
    return answer;
  }
  if (line == "AT&E") {
    if (!HasEncryption(family_, firmware_)) {
      unsupported();
    } else if (auto* s = std::get_if<STaviConfig>(&config_)) {
      answer.lines = KeyReport(*s);
    } else {
      answer.lines = KeyReport(std::get<IoTaviConfig>(config_));
    }
    return answer;
  }
  if (line == "AT&Z") {
    at_mode_ = false;
    say("OK. System Reset");
    return answer;
  }
  if (line == "AT&F") {
    config_ = FactoryDefaults(family_, firmware_);
    at_mode_ = false;
    answer.changed = true;
    say("OK. Factory Default");
    return answer;
  }
  if (line == "+++" || line == "AT&O") {
    if (!is_io) {
      unsupported();
      return answer;
    }
    at_mode_ = line == "+++";
    say(at_mode_ ? "AT Mode On" : "AT Mode Off");
    return answer;
  }
  if (line == "AT+485?") {
    if (is_io) {
      answer.lines = Rs485Report(std::get<IoTaviConfig>(config_));
    } else {
      unsupported();
    }
    return answer;
  }

  auto equals = line.find('=');
  std::string_view text = equals == std::string_view::npos ? line : line.substr(0, equals + 1);
  std::string_view value = equals == std::string_view::npos ? "" : line.substr(equals + 1);
  bool known_anywhere = AllCommandTexts().contains(text);

  auto apply = [&](auto& config, const auto& table) -> bool {
    const auto* setting = FindSetting(table, text);
    if (!setting) return false;
    if (setting->needs_encryption && !HasEncryption(family_, firmware_)) {
      unsupported();
      return true;
    }
    auto copy = config;
    if (auto ack = setting->apply(copy, value)) {
      // An ignored setting is acknowledged all the same: only a read-back
      // shows that it did not stick.
      if (!ignored_.contains(std::string(text))) {
        answer.changed = !(copy == config);
        if (text == "AT+BAU=" && answer.changed) rate_changed_ = true;
        config = std::move(copy);
      }
      say(std::move(*ack));
    } else {
      say(InvalidLine(line));
    }
    return true;
  };
  bool handled = std::visit(
      [&](auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, STaviConfig>) {
          return apply(c, STaviSettings());
        } else if constexpr (std::is_same_v<C, RTaviConfig>) {
          return apply(c, RTaviSettings());
        } else {
          return apply(c, IoTaviSettings());
        }
      },
      config_);
  if (handled) return answer;
  if (known_anywhere) {
    unsupported();
    return answer;
  }

  // The IV line: sixteen characters with no command text in front.
  if (line.size() == 16) {
    if (!HasEncryption(family_, firmware_)) {
      unsupported();
      return answer;
    }
    Encryption& aes =
        is_io ? std::get<IoTaviConfig>(config_).aes : std::get<STaviConfig>(config_).aes;
    if (!ignored_.contains("IV")) {
      answer.changed = aes.iv != line;
      aes.iv = std::string(line);
    }
    say("OK, AES IV");
    return answer;
  }
  say(InvalidLine(line));
  return answer;
}

int Modem::LinkBaud() const {
  int index = -1;
  if (auto* s = std::get_if<STaviConfig>(&config_)) index = s->serial.baud_index;
  if (auto* i = std::get_if<IoTaviConfig>(&config_)) index = i->rs232.baud_index;
  if (index < 0 || index >= static_cast<int>(kBaudRates.size())) return 0;
  return std::stoi(std::string(kBaudRates[static_cast<size_t>(index)]));
}

bool Modem::Hears(int lineBaud) const {
  return !rate_watch_ || !rate_changed_ || LinkBaud() == 0 || lineBaud == LinkBaud();
}

std::string Modem::SaveState() const {
  std::string text = "# velimo-modem-sim state\nmodel=" + std::string(FamilyCode(family_)) + "\n";
  std::visit(
      [&](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, STaviConfig>) text += SaveFields(STaviFields(), c);
        if constexpr (std::is_same_v<C, RTaviConfig>) text += SaveFields(RTaviFields(), c);
        if constexpr (std::is_same_v<C, IoTaviConfig>) text += SaveFields(IoTaviFields(), c);
      },
      config_);
  return text;
}

std::optional<std::string> Modem::LoadState(std::string_view text) {
  Config loaded = FactoryDefaults(family_, firmware_);
  bool model_seen = false;
  int number = 0;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      return "line " + std::to_string(number) + ": expected name=value";
    }
    std::string_view name = line.substr(0, equals);
    std::string_view value = line.substr(equals + 1);
    if (name == "model") {
      if (value != FamilyCode(family_)) {
        return "the state is of model \"" + std::string(value) + "\", not \"" +
               std::string(FamilyCode(family_)) + "\"";
      }
      model_seen = true;
      continue;
    }
    std::optional<std::string> error = std::visit(
        [&](auto& c) -> std::optional<std::string> {
          using C = std::decay_t<decltype(c)>;
          if constexpr (std::is_same_v<C, STaviConfig>) {
            return LoadField(STaviFields(), c, name, value);
          } else if constexpr (std::is_same_v<C, RTaviConfig>) {
            return LoadField(RTaviFields(), c, name, value);
          } else {
            return LoadField(IoTaviFields(), c, name, value);
          }
        },
        loaded);
    if (error) return "line " + std::to_string(number) + ": " + *error;
  }
  if (!model_seen) return std::string("no model line");
  if (auto* s = std::get_if<STaviConfig>(&loaded)) {
    if (auto error = CheckRadio(s->radio)) return error;
  }
  if (auto* r = std::get_if<RTaviConfig>(&loaded)) {
    if (auto error = CheckRadio(r->radio)) return error;
  }
  config_ = std::move(loaded);
  return std::nullopt;
}

std::string WireText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> LineSplitter::Feed(std::string_view bytes) {
  std::vector<std::string> lines;
  for (char byte : bytes) {
    if (byte == '\0' || byte == '\n') continue;
    if (byte == '\r') {
      lines.push_back(std::move(pending_));
      pending_.clear();
      continue;
    }
    if (pending_.size() < kMaxLine) pending_ += byte;
    if (pending_ == "+++") {
      lines.push_back(std::move(pending_));
      pending_.clear();
    }
  }
  return lines;
}

}  // namespace velimo::sim
