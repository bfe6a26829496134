#include "settings/ini_file.h"

#include <string_view>
#include <vector>

#include "settings/ini_file_io.h"
#include "util/errors.h"
#include "util/own_file.h"
#include "util/safe_replace.h"

namespace velimo::settings {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  // Before the first line, not part of it: "[MACHINE]" right after the
  // mark is still a section header.
  if (text.starts_with(kByteOrderMark)) {
    ini.byte_order_mark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
      ini.lines_.push_back({std::string(text.substr(pos)), ""});
      break;
    }
    std::string_view body = text.substr(pos, lf - pos);
    const bool crlf = !body.empty() && body.back() == '\r';
    if (crlf) body.remove_suffix(1);
    ini.lines_.push_back({std::string(body), crlf ? "\r\n" : "\n"});
    pos = lf + 1;
  }
  return ini;
}

IniFile IniFile::Load(const std::string& path, std::string* refused) {
  std::string text, why;
  const ini_io::ReadResult read = ini_io::ReadWholeFile(path, text, why);
  if (read == ini_io::ReadResult::Refused && refused) *refused = why;
  if (read != ini_io::ReadResult::Read) return IniFile{};
  return Parse(text);
}

IniFile IniFile::LoadForUpdate(const std::string& path) {
  std::string text, why;
  switch (ini_io::ReadWholeFile(path, text, why)) {
    case ini_io::ReadResult::Read:
      return Parse(text);
    case ini_io::ReadResult::Missing:
      return IniFile{};
    case ini_io::ReadResult::Failed:
    case ini_io::ReadResult::Refused:
      break;
  }
  throw Exception("Unable to write to " + path);
}

IniFile::Parsed IniFile::ParseLine(std::string_view text) {
  Parsed p;
  const std::string_view t = TrimView(text);
  if (t.empty() || t.front() == ';' || t.front() == '#') return p;
  if (t.front() == '[') {
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return p;
    p.kind = Parsed::Section;
    p.name = std::string(TrimView(t.substr(1, close - 1)));
    return p;
  }
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return p;
  const std::string_view key = TrimView(text.substr(0, eq));
  if (key.empty()) return p;
  p.kind = Parsed::Key;
  p.name = std::string(key);
  size_t b = eq + 1;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e) b = e = text.size();  // an empty value is written at the end
  p.value_begin = b;
  p.value_end = e;
  return p;
}

std::string_view IniFile::Parsed::Value(std::string_view text) const {
  std::string_view v = text.substr(value_begin, value_end - value_begin);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return v;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  bool seenSection = false;  // only the first copy of a section counts
  for (const Line& line : lines_) {
    const Parsed p = ParseLine(line.text);
    if (p.kind == Parsed::Section) {
      if (seenSection) return std::nullopt;
      inSection = seenSection = SameName(p.name, section);
    } else if (p.kind == Parsed::Key && inSection && SameName(p.name, key)) {
      return std::string(p.Value(line.text).substr(0, kMaxValueLength));
    }
  }
  return std::nullopt;
}

std::string IniFile::Get(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const {
  std::optional<std::string> value = Get(section, key);
  return value ? std::move(*value) : std::string(defaultValue);
}

std::string IniFile::NewLineEnd() const {
  for (const Line& line : lines_) {
    if (!line.end.empty()) return line.end;
  }
  return "\n";
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  const size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
  if (cut != std::string_view::npos) value = value.substr(0, cut);

  // Only the first copy of the section is looked at.
  size_t firstSection = std::string::npos;
  size_t insertAfter = std::string::npos;  // its header or its last key
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) {
      if (firstSection != std::string::npos) break;
      if (SameName(p.name, section)) insertAfter = firstSection = i;
      continue;
    }
    if (p.kind != Parsed::Key || firstSection == std::string::npos) continue;
    if (SameName(p.name, key)) {
      std::string& text = lines_[i].text;
      if (p.Value(text) != value) {
        text.replace(p.value_begin, p.value_end - p.value_begin, value);
      }
      return;
    }
    insertAfter = i;
  }

  const std::string end = NewLineEnd();
  std::string keyLine = std::string(key) + "=" + std::string(value);
  if (firstSection != std::string::npos) {
    if (lines_[insertAfter].end.empty()) lines_[insertAfter].end = end;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1,
                  Line{std::move(keyLine), end});
    return;
  }
  if (!lines_.empty()) {
    if (lines_.back().end.empty()) lines_.back().end = end;
    // A blank line between the sections, unless there is one already.
    if (!TrimView(lines_.back().text).empty()) lines_.push_back({"", end});
  }
  lines_.push_back({std::string("[").append(section).append("]"), end});
  lines_.push_back({std::move(keyLine), end});
}

std::vector<IniFile::KeyLine> IniFile::Keys() const {
  std::vector<KeyLine> keys;
  std::string section;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) section = p.name;
    if (p.kind != Parsed::Key) continue;
    keys.push_back({section, p.name,
                    std::string(p.Value(lines_[i].text).substr(0, kMaxValueLength)),
                    static_cast<int>(i) + 1});
  }
  return keys;
}

std::vector<std::pair<std::string, int>> IniFile::Sections() const {
  std::vector<std::pair<std::string, int>> sections;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == Parsed::Section) sections.emplace_back(p.name, static_cast<int>(i) + 1);
  }
  return sections;
}

std::string IniFile::Text() const {
  std::string text(byte_order_mark_ ? kByteOrderMark : std::string_view());
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

void IniFile::Save(const std::string& path) const {
  const std::string text = Text();
  const OwnFile target = FollowOwnLinks(path);
  if (target.error || target.foreignOwner || !ini_io::SaveText(target.path, text))
    throw Exception("Unable to write to " + path);
}

void IniFile::RemoveLeftovers(const std::string& path) {
  const OwnFile target = FollowOwnLinks(path);
  if (!target.error) RemoveLeftoverReplaces(target.path);
}

}  // namespace velimo::settings
