#include "profile/profile_file.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "profile/values.h"
#include "settings/ini_file.h"
#include "util/bounded_file.h"
#include "util/errors.h"

namespace velimo::profile {

namespace {

using protocol::SameLetters;

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

std::string At(int line, std::string_view reason) {
  return "line " + std::to_string(line) + ": " + std::string(reason);
}

ProfileRead Refuse(int line, std::string_view reason) {
  return {std::nullopt, At(line, reason)};
}

constexpr std::string_view kProfileKeys[] = {"Model", "Firmware", "Saved", "Port", "Program"};

// The channel plan of the country a CTRY value names; the widest plan when
// none is named (the modem's own country is checked when it is read).
const ChannelPlan& PlanNamed(std::string_view key, std::string_view value,
                             const ChannelPlan& otherwise) {
  if (!SameLetters(key, "CTRY")) return otherwise;
  for (const ChannelPlan& plan : protocol::kPlans)
    if (SameLetters(value, plan.country)) return plan;
  return otherwise;
}

// Framing bytes given with their length must be as many as it says: the
// modem would send (or expect) another frame than the profile shows.
std::string FrameCountsAgree(const Profile& profile) {
  for (const ProfileEntry& bytes : profile.settings) {
    if (bytes.def->kind != ValueKind::HexList) continue;
    const SettingDef* lengthDef = SettingOf(bytes.def->row->length);
    for (const ProfileEntry& length : profile.settings) {
      if (length.def != lengthDef) continue;
      const std::string refusal = FrameCountRefusal(*bytes.def, bytes.value, length.value);
      if (refusal.empty()) continue;
      std::string text = std::string(bytes.def->key) + " = " + bytes.value + ": " + refusal;
      if (length.line > 0) text += " (line " + std::to_string(length.line) + ")";
      return bytes.line > 0 ? At(bytes.line, text) : text;
    }
  }
  return {};
}

}  // namespace

const ProfileEntry* Profile::Find(std::string_view key) const {
  for (const ProfileEntry& e : settings)
    if (e.def && SameLetters(e.def->key, key)) return &e;
  return nullptr;
}

bool Profile::HasSecrets() const {
  for (const ProfileEntry& e : settings)
    if (e.def && e.def->secret) return true;
  return false;
}

ProfileRead ParseProfile(std::string_view text) {
  // An editor that put a byte-order mark in front is forgiven.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const settings::IniFile ini = settings::IniFile::Parse(text);

  // Every line is a section, a key, a comment or blank: anything else is a
  // mistake the operator should see rather than have skipped.
  std::set<int> known;
  for (const auto& [name, line] : ini.Sections()) {
    known.insert(line);
    if (!SameLetters(name, "Profile") && !SameLetters(name, "Settings"))
      return Refuse(line, "unknown section [" + name + "]; a profile has [Profile] and [Settings]");
  }
  const std::vector<settings::IniFile::KeyLine> keys = ini.Keys();
  for (const auto& k : keys) known.insert(k.line);
  {
    int number = 0;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
      ++number;
      const std::string_view t = Trimmed(line);
      if (t.empty() || t.front() == ';' || t.front() == '#' || known.count(number)) continue;
      return Refuse(number, "\"" + std::string(t) + "\" is not a KEY = VALUE line");
    }
  }

  Profile profile;
  std::map<std::string, int> header;
  for (const auto& k : keys) {
    if (k.section.empty()) return Refuse(k.line, k.key + " stands before [Profile] and [Settings]");
    if (!SameLetters(k.section, "Profile")) continue;
    bool ok = false;
    for (std::string_view name : kProfileKeys) ok = ok || SameLetters(name, k.key);
    if (!ok)
      return Refuse(
          k.line, "unknown key " + k.key + " in [Profile] (Model, Firmware, Saved, Port, Program)");
    if (SameLetters(k.key, "Model")) {
      const std::optional<char> code = ModelCodeOf(k.value);
      if (!code)
        return Refuse(k.line, "Model = " + k.value + " is not one of sTavi, uTavi, rTavi, ioTavi");
      profile.model = *code;
      profile.set = *PageSetOf(*code);
      profile.model_line = k.line;
    } else if (SameLetters(k.key, "Firmware")) {
      profile.firmware = k.value;
    } else if (SameLetters(k.key, "Saved")) {
      profile.saved = k.value;
    } else if (SameLetters(k.key, "Port")) {
      profile.port = k.value;
    } else {
      profile.program = k.value;
    }
  }
  if (!profile.model) {
    int line = 1;
    for (const auto& [name, at] : ini.Sections())
      if (SameLetters(name, "Profile")) line = at;
    return Refuse(line, "the profile names no Model (sTavi, uTavi, rTavi or ioTavi) in [Profile]");
  }

  // The channel plan a country sets is known before the channel is tested.
  const ChannelPlan* plan = &protocol::kWidestPlan;
  for (const auto& k : keys)
    if (SameLetters(k.section, "Settings")) plan = &PlanNamed(k.key, k.value, *plan);

  std::map<const SettingDef*, int> seen;
  for (const auto& k : keys) {
    if (!SameLetters(k.section, "Settings")) continue;
    const SettingDef* def = FindSetting(profile.set, k.key);
    if (!def) {
      const std::vector<PageSet> others = PageSetsWithKey(k.key);
      if (others.empty()) return Refuse(k.line, "unknown setting " + k.key);
      return Refuse(k.line, k.key + " is a setting of " + std::string(PageSetName(others.front())) +
                                ", not of " + std::string(ModelName(profile.model)));
    }
    if (auto it = seen.find(def); it != seen.end())
      return Refuse(k.line, std::string(def->key) + " is given twice (first on line " +
                                std::to_string(it->second) + ")");
    seen[def] = k.line;
    const CheckedValue checked = CheckValue(*def, k.value, *plan);
    if (!checked.refusal.empty())
      return Refuse(k.line, std::string(def->key) + " = " + k.value + ": " + checked.refusal);
    profile.settings.push_back({def, checked.value, k.line});
  }
  if (std::string frames = FrameCountsAgree(profile); !frames.empty())
    return {std::nullopt, std::move(frames)};
  return {std::move(profile), {}};
}

ProfileRead ReadProfileFile(const std::string& path) {
  // A profile is a few kilobytes of text: a FIFO, a device or a file of
  // hundreds of megabytes in its place is refused before it is read.
  const BoundedRead file = ReadBoundedFile(path, kProfileFileLimit);
  if (!file.ok) return {std::nullopt, "cannot read " + path + ": " + file.reason};
  ProfileRead read = ParseProfile(file.text);
  if (!read.profile) read.error = path + ": " + read.error;
  return read;
}

std::string ProfileText(const Profile& profile) {
  std::string out = "; Velimo configuration profile\n[Profile]\n";
  out += "Model = " + std::string(ModelName(profile.model)) + "\n";
  out += "Firmware = " + profile.firmware + "\n";
  out += "Saved = " + profile.saved + "\n";
  out += "Port = " + profile.port + "\n";
  out += "Program = " + profile.program + "\n";
  out += "\n[Settings]\n";
  if (!profile.not_reported.empty()) {
    std::string keys;
    for (const std::string& k : profile.not_reported) keys += (keys.empty() ? "" : ", ") + k;
    out += "; Left out, as the modem did not report them when this was saved: " + keys + "\n";
  }
  for (const ProfileEntry& e : profile.settings) {
    out += "; " + std::string(e.def->caption) + "\n";
    out += std::string(e.def->key) + " = " + e.value + "\n";
  }
  return out;
}

ProfileRead WithUnitValues(const Profile& profile,
                           const std::vector<std::pair<std::string, std::string>>& values) {
  Profile unit = profile;
  const ChannelPlan* plan = &protocol::kWidestPlan;
  for (const ProfileEntry& e : unit.settings) plan = &PlanNamed(e.def->key, e.value, *plan);
  for (const auto& [key, value] : values) plan = &PlanNamed(key, value, *plan);
  for (const auto& [key, value] : values) {
    const SettingDef* def = FindSetting(unit.set, key);
    if (!def)
      return {std::nullopt,
              "unit value " + key + ": not a setting of " + std::string(ModelName(unit.model))};
    const CheckedValue checked = CheckValue(*def, value, *plan);
    if (!checked.refusal.empty())
      return {std::nullopt, "unit value " + key + " = " + value + ": " + checked.refusal};
    bool replaced = false;
    for (ProfileEntry& e : unit.settings) {
      if (e.def != def) continue;
      e.value = checked.value;
      replaced = true;
    }
    if (!replaced) unit.settings.push_back({def, checked.value, 0});
  }
  if (std::string frames = FrameCountsAgree(unit); !frames.empty())
    return {std::nullopt, "unit values: " + frames};
  return {std::move(unit), {}};
}

}  // namespace velimo::profile
