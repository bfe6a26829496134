#include <algorithm>
#include <functional>
#include <type_traits>

#include "model_rules.h"
#include "modem.h"
#include "values.h"

namespace velimo::sim {

namespace {

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

}  // namespace velimo::sim
