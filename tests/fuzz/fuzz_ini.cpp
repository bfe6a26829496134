// Fuzz target: the settings file's reader and writer. Read, write, read
// again: the text comes back byte for byte, every value read the same;
// setting values changes those values only, and reading them back gives
// what was set (as the reader sees a value: cut at a line end, trimmed, one
// pair of quotes removed, at most 2047 characters).
//
// Input: the file's text, optionally followed by settings to make, each
// introduced by "\x1e" as "section\x1fkey\x1fvalue".
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/reference.h"
#include "fuzz/slow_inputs.h"
#include "settings/ini_file.h"

namespace {

using std::string;
using std::string_view;
using velimo::settings::IniFile;

constexpr size_t kMaxChecked = 24;  // keys compared per input, to stay fast

[[noreturn]] void Fail(const char* what, string_view section, string_view key) {
  std::fprintf(stderr, "fuzz_ini: %s [%.*s] %.*s\n", what, static_cast<int>(section.size()),
               section.data(), static_cast<int>(key.size()), key.data());
  std::abort();
}

FUZZ_REFERENCE bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

FUZZ_REFERENCE string_view Trimmed(string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

FUZZ_REFERENCE bool SameName(string_view a, string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

FUZZ_REFERENCE string_view Unquoted(string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

// ---- A plain reader of the format, line by line -----------------------------

struct Entry {
  string section;
  string key;
};

struct LineRole {
  enum Kind { Other, Section, Key } kind = Other;
  string_view name;
  string_view value;
};

// Comments start with ";" or "#"; "[name]" opens a section (anything after
// the "]" is ignored); "key = value" holds a value; anything else is kept
// but means nothing.
FUZZ_REFERENCE LineRole Role(string_view line) {
  LineRole role;
  const string_view t = Trimmed(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return role;
  if (t.front() == '[') {
    const size_t close = t.find(']');
    if (close == string_view::npos) return role;
    role.kind = LineRole::Section;
    role.name = Trimmed(t.substr(1, close - 1));
    return role;
  }
  const size_t eq = line.find('=');
  if (eq == string_view::npos || Trimmed(line.substr(0, eq)).empty()) return role;
  role.kind = LineRole::Key;
  role.name = Trimmed(line.substr(0, eq));
  role.value = Unquoted(Trimmed(line.substr(eq + 1)));
  return role;
}

FUZZ_REFERENCE std::vector<string_view> Lines(string_view text) {
  std::vector<string_view> lines;
  for (size_t pos = 0; pos < text.size();) {
    const size_t lf = text.find('\n', pos);
    if (lf == string_view::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, lf - pos));
    pos = lf + 1;
  }
  return lines;
}

// A UTF-8 byte-order mark before the first line is no part of it.
FUZZ_REFERENCE string_view WithoutMark(string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text;
}

// The first value of section/key in the file, looked for in the first copy
// of the section only.
FUZZ_REFERENCE std::optional<string> PlainGet(string_view text, string_view section,
                                              string_view key) {
  bool in = false;
  bool seen = false;
  for (string_view line : Lines(WithoutMark(text))) {
    const LineRole r = Role(line);
    if (r.kind == LineRole::Section) {
      if (seen) return std::nullopt;
      in = seen = SameName(r.name, section);
    } else if (r.kind == LineRole::Key && in && SameName(r.name, key)) {
      return string(r.value.substr(0, IniFile::kMaxValueLength));
    }
  }
  return std::nullopt;
}

FUZZ_REFERENCE std::vector<Entry> PlainEntries(string_view text) {
  std::vector<Entry> entries;
  string_view section;
  bool inSection = false;
  for (string_view line : Lines(WithoutMark(text))) {
    const LineRole r = Role(line);
    if (r.kind == LineRole::Section) {
      section = r.name;
      inSection = true;
    } else if (r.kind == LineRole::Key && inSection && entries.size() < kMaxChecked) {
      entries.push_back({string(section), string(r.name)});
    }
  }
  return entries;
}

// ---- Setting --------------------------------------------------------------

// Names a file can hold at all: a section without "]" and a key without
// "=", neither with a line end or blanks around it, a key not looking like
// a comment or a section.
FUZZ_REFERENCE bool WritableNames(string_view section, string_view key) {
  const auto clean = [](string_view s) {
    return s.find_first_of(string_view("\r\n\0", 3)) == string_view::npos && Trimmed(s) == s;
  };
  if (!clean(section) || section.find(']') != string_view::npos) return false;
  if (!clean(key) || key.empty() || key.find('=') != string_view::npos) return false;
  return key.front() != '[' && key.front() != ';' && key.front() != '#';
}

// What reading gives back after a value was set.
FUZZ_REFERENCE string AsRead(string_view value) {
  value = value.substr(0, value.find_first_of(string_view("\r\n\0", 3)));
  return string(Unquoted(Trimmed(value)).substr(0, IniFile::kMaxValueLength));
}

struct Setting {
  string_view section, key, value;
};

FUZZ_REFERENCE void CheckAllAgree(const IniFile& ini, const std::vector<Entry>& keys) {
  const string text = ini.Text();
  for (const Entry& e : keys) {
    if (ini.Get(e.section, e.key) != PlainGet(text, e.section, e.key))
      Fail("a value read differs from the plain reader", e.section, e.key);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  velimo::fuzz::InitSlowInputs(argc, argv);
  return 0;
}

namespace {

int RunOne(const uint8_t* data, size_t size) {
  const string_view input(reinterpret_cast<const char*>(data), size);
  const size_t opsAt = input.find('\x1e');
  const string_view text = input.substr(0, opsAt);

  // Read, and write back unchanged: the very same bytes.
  IniFile first = IniFile::Parse(text);
  if (first.Text() != text) Fail("writing back a file read changed it", "", "");

  // What the tool reads at start-up.
  std::vector<Entry> toolKeys;
  for (const char* k : {"ViewTraceMenu", "ViewLogTrace", "SaveLogTrace", "Device"})
    toolKeys.push_back({"MACHINE", k});
  for (const char* k : {"ComPort", "BaudRate", "DataBits", "StopBits", "Parity"})
    toolKeys.push_back({"EnvBoard", k});
  for (const Entry& e : toolKeys) (void)first.Get(e.section, e.key);
  const IniFile second = IniFile::Parse(first.Text());

  // Every key of the file, and those of the tool, read as the plain reader
  // reads them; read again what was written: the same values.
  std::vector<Entry> keys = PlainEntries(text);
  keys.insert(keys.end(), toolKeys.begin(), toolKeys.end());
  {
    const velimo::fuzz::Unmetered checking;
    CheckAllAgree(first, keys);
    for (const Entry& e : keys) {
      if (second.Get(e.section, e.key) != first.Get(e.section, e.key))
        Fail("the second read differs from the first", e.section, e.key);
    }
  }

  // Writing back a value as read leaves the file as it is (the settings
  // writer does so for keys it does not change).
  for (const Entry& e : PlainEntries(text)) {
    const velimo::fuzz::Unmetered checking;
    const std::optional<string> v = first.Get(e.section, e.key);
    if (!v || v->size() >= IniFile::kMaxValueLength ||
        v->find_first_of(string_view("\r\0", 2)) != string::npos)
      continue;
    first.Set(e.section, e.key, *v);
    if (first.Text() != text)
      Fail("writing back a value as read changed the file", e.section, e.key);
  }

  // The settings: those of the input, then the tool's own nine.
  std::vector<Setting> settings;
  for (size_t at = opsAt; at != string_view::npos && at < input.size();) {
    const size_t next = input.find('\x1e', at + 1);
    string_view op =
        input.substr(at + 1, next == string_view::npos ? string_view::npos : next - at - 1);
    at = next;
    const size_t a = op.find('\x1f');
    const size_t b = a == string_view::npos ? a : op.find('\x1f', a + 1);
    if (b == string_view::npos) continue;
    settings.push_back({op.substr(0, a), op.substr(a + 1, b - a - 1), op.substr(b + 1)});
    if (settings.size() >= 16) break;
  }
  const string_view someValue = text.substr(0, std::min<size_t>(text.size(), 24));
  settings.push_back({"MACHINE", "Device", someValue});
  settings.push_back({"MACHINE", "SaveLogTrace", "1"});
  settings.push_back({"MACHINE", "ViewTraceMenu", " 0 "});
  settings.push_back({"MACHINE", "ViewLogTrace", "\"1\""});
  settings.push_back({"EnvBoard", "ComPort", "/dev/ttyUSB0"});
  settings.push_back({"EnvBoard", "BaudRate", "Custom"});
  settings.push_back({"EnvBoard", "DataBits", "8"});
  settings.push_back({"EnvBoard", "StopBits", ""});
  settings.push_back({"envboard", "PARITY", someValue});

  IniFile ini = IniFile::Parse(text);
  // A name holding a line end or "]" / "=" cannot be written so that it
  // reads back (the tool's names are constants); such a file is only
  // required to survive, and to read back as the plain reader reads it.
  bool unwritableName = false;
  for (const Setting& s : settings) {
    if (!WritableNames(s.section, s.key)) {
      ini.Set(s.section, s.key, s.value);
      unwritableName = true;
      continue;
    }
    std::vector<std::optional<string>> before;
    {
      const velimo::fuzz::Unmetered checking;
      for (const Entry& e : keys) before.push_back(ini.Get(e.section, e.key));
    }
    ini.Set(s.section, s.key, s.value);
    if (ini.Get(s.section, s.key) != AsRead(s.value))
      Fail("a value set reads back differently", s.section, s.key);
    const velimo::fuzz::Unmetered checking;
    for (size_t i = 0; i < keys.size(); ++i) {
      const Entry& e = keys[i];
      if (SameName(e.section, s.section) && SameName(e.key, s.key)) continue;
      if (ini.Get(e.section, e.key) != before[i])
        Fail("setting one value changed another", e.section, e.key);
    }
    if (keys.size() < kMaxChecked * 2) keys.push_back({string(s.section), string(s.key)});
  }

  // Write, read again: the same text and the same values.
  const string written = ini.Text();
  const IniFile reread = IniFile::Parse(written);
  if (reread.Text() != written) Fail("a written file did not read back byte for byte", "", "");
  const velimo::fuzz::Unmetered checking;
  CheckAllAgree(reread, keys);
  if (unwritableName) return 0;
  for (const Entry& e : keys) {
    if (reread.Get(e.section, e.key) != ini.Get(e.section, e.key))
      Fail("a written file reads differently", e.section, e.key);
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velimo::fuzz::TimedRun(data, size, RunOne);
}
