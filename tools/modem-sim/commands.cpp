#include <functional>
#include <set>
#include <type_traits>

#include "model_rules.h"
#include "modem.h"
#include "values.h"

namespace velimo::sim {

namespace {

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

}  // namespace

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

}  // namespace velimo::sim
