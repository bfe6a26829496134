#include "profile/values.h"

#include <algorithm>
#include <array>
#include <vector>

#include "protocol/save_steps.h"

namespace velimo::profile {

namespace {

using protocol::SameLetters;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Decimal digits only, no sign, no blanks; leading zeros allowed. Numbers
// too long for any range read as "too large" (the caller's range test
// refuses them).
std::optional<long long> Number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min(value * 10 + (c - '0'), 1'000'000'000'000LL);
  }
  return value;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  while (true) {
    const size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return parts;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// The ioTavi single saves test the key and IV and carry their own
// messages; the sTavi/uTavi ones test nothing, and the encryption save-all
// that sends them tests the length with its messages.
std::string LengthRefusal(const SettingDef& def) {
  const protocol::CommandEntry& entry = protocol::Entry(def.command);
  if (!entry.refusal.empty()) return std::string(entry.refusal);
  return std::string(def.command == protocol::CommandId::S_AESKEY ? protocol::kSAesKeyRefusal
                                                                  : protocol::kSAesIvRefusal);
}

}  // namespace

CheckedValue CheckValue(const SettingDef& def, std::string_view text, const ChannelPlan& plan) {
  const protocol::CommandEntry& entry = protocol::Entry(def.command);
  switch (def.kind) {
    case ValueKind::Integer:
    case ValueKind::Tenths: {
      const std::optional<long long> n = Number(text);
      if (!text.empty() && !n)
        return {{}, "'" + std::string(text) + "' is not a valid integer value"};
      // An empty value is refused with the range message, as an empty editor is.
      if (!n || !protocol::InRange(entry, *n)) return {{}, std::string(entry.refusal)};
      // Sent as whole steps: a value between two would go out cut down to
      // the step below it, and read back as that.
      if (*n % entry.step != 0) {
        const long long below = *n - *n % entry.step;
        return {{},
                "the modem keeps the " + std::string(entry.caption) + " in steps of " +
                    std::to_string(entry.step) + " ms; " + std::to_string(*n) +
                    " cannot be held (" + std::to_string(below) + " or " +
                    std::to_string(below + entry.step) + ")"};
      }
      // Written without leading zeros, as the modem reports it.
      return {std::to_string(*n), {}};
    }
    case ValueKind::List: {
      const std::vector<std::string> entries = ListEntries(def, plan);
      for (const std::string& e : entries)
        if (SameLetters(e, text)) return {e, {}};
      std::string refusal = "\"" + std::string(text) + "\" is not one of " + Joined(entries);
      if (protocol::FollowsPlan(def.row->list) && &plan != &protocol::kWidestPlan)
        refusal += " (the channel plan of " + std::string(plan.country) + ")";
      return {{}, refusal};
    }
    case ValueKind::HexList: {
      const std::vector<std::string_view> parts = SplitCommas(text);
      if (text.empty() || parts.size() > 3) return {{}, protocol::HexListRefusal(entry, -1)};
      for (size_t i = 0; i < parts.size(); ++i) {
        const std::string_view p = parts[i];
        if (p.size() != 2 || !IsHexDigit(p[0]) || !IsHexDigit(p[1]))
          return {{}, protocol::HexListRefusal(entry, static_cast<int>(i) + 1)};
      }
      return {std::string(text), {}};
    }
    case ValueKind::Text16: {
      const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) != 0x7F;
      });
      if (text.size() != 16 || !printable) return {{}, LengthRefusal(def)};
      return {std::string(text), {}};
    }
  }
  return {{}, "unknown value kind"};
}

bool SameValue(const SettingDef& def, std::string_view profileValue, std::string_view modemValue) {
  switch (def.kind) {
    case ValueKind::Integer:
    case ValueKind::Tenths: {
      const auto a = Number(profileValue), b = Number(modemValue);
      return a && b && *a == *b;
    }
    case ValueKind::HexList:
      return SameLetters(profileValue, modemValue);
    case ValueKind::List:
    case ValueKind::Text16:
      return profileValue == modemValue;
  }
  return false;
}

int HexCount(const SettingDef& def, std::string_view value) {
  if (def.kind != ValueKind::HexList || value.empty()) return 0;
  return static_cast<int>(SplitCommas(value).size());
}

std::string FrameCountRefusal(const SettingDef& bytes, std::string_view value,
                              std::string_view length) {
  const int count = HexCount(bytes, value);
  if (std::to_string(count) == length) return {};
  return std::to_string(count) + (count == 1 ? " byte" : " bytes") + ", but " +
         std::string(SettingOf(bytes.row->length)->key) + " = " + std::string(length);
}

std::string LineValue(const SettingDef& def, std::string_view value) {
  const protocol::CommandEntry& entry = protocol::Entry(def.command);
  protocol::EditorValue editor;
  editor.text = value;
  std::vector<std::string_view> hex;
  if (def.kind == ValueKind::List) {
    // The widest plan: a channel's position is its number less one in
    // either plan.
    const std::vector<std::string> entries = ListEntries(def);
    const auto it = std::find(entries.begin(), entries.end(), value);
    editor.item_index = it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
    editor.item_text = value;
    return protocol::EncodeValue(entry, editor);
  }
  if (def.kind == ValueKind::HexList) {
    hex = SplitCommas(value);
    editor.hex_count = static_cast<int>(std::min<size_t>(hex.size(), 3));
    for (size_t i = 0; i < hex.size() && i < 3; ++i) editor.hex[i] = hex[i];
  }
  return protocol::EncodeValue(entry, editor);
}

}  // namespace velimo::profile
