#include "secrets.h"

#include <cctype>

#include "profile/setting_table.h"
#include "trace/trace_secret.h"

namespace velimo::cli {

namespace {

using protocol::SameLetters;

template <class Test>
bool AnySecret(Test test) {
  for (profile::PageSet set : {profile::PageSet::S, profile::PageSet::R, profile::PageSet::I})
    for (const profile::SettingDef* def : profile::SettingsOf(set))
      if (def->secret && test(*def)) return true;
  return false;
}

// A word of the command line quoted for a shell, when it needs it.
std::string Quoted(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789-_=+./:,@%") == std::string::npos)
    return word;
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string Masked(std::string_view value) {
  return std::string(value.size(), '*');
}

bool IsSecretKey(std::string_view key) {
  return AnySecret([&](const profile::SettingDef& def) { return SameLetters(def.key, key); });
}

bool IsSecretControl(std::string_view name) {
  // The key and IV editors of every page set (Edit_S_AESKey, Edit_I_AESIV
  // ...) and any copy of them carry these words in their names.
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("aeskey") != std::string::npos || lower.find("aesiv") != std::string::npos;
}

std::string MaskedTraceLine(std::string line, const std::vector<std::string>& known) {
  trace::MaskSecrets(line, 0, {});
  for (const std::string& value : known) {
    // A short text ("0", "1") is not a key: masking it would mask digits
    // everywhere and tell nothing.
    if (value.size() < 8) continue;
    for (size_t at = line.find(value); at != std::string::npos; at = line.find(value, at))
      line.replace(at, value.size(), Masked(value));
  }
  return line;
}

std::string CommandLineText(const std::vector<std::string>& args) {
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    // NAME=VALUE after set or --unit-value, or --unit-value=NAME=VALUE.
    std::string_view pair = word;
    size_t prefix = 0;
    if (pair.starts_with("--unit-value=")) prefix = 13;
    const bool after_word = i > 0 && (args[i - 1] == "set" || args[i - 1] == "--unit-value");
    if (after_word || prefix > 0) {
      const size_t eq = word.find('=', prefix);
      if (eq != std::string::npos) {
        const std::string_view name = std::string_view(word).substr(prefix, eq - prefix);
        if (IsSecretKey(name) || IsSecretControl(name))
          word = word.substr(0, eq + 1) + Masked(std::string_view(word).substr(eq + 1));
      }
    }
    if (!out.empty()) out += ' ';
    out += Quoted(word);
  }
  return out;
}

}  // namespace velimo::cli
