// The profile file: an INI-style text a person can read, edit, comment and
// diff. [Profile] says where it came from (Model, Firmware, Saved, Port,
// Program); [Settings] holds one key per setting, in file order, each
// after a comment naming the window's caption. Values are what the window
// shows ("CH = 5", "PAB = Even", "DMT = 250", "STX = 02,0a").
//
// Reading refuses the whole file, naming the line and the reason, at the
// first thing it cannot take: an unknown section or key, a key of another
// model family, a value the single save would refuse, a missing or unknown
// Model. Nothing is sent for a refused file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "profile/setting_table.h"

namespace velimo::profile {

inline constexpr std::string_view kProfileExtension = ".vprofile";

struct ProfileEntry {
  const SettingDef* def = nullptr;
  std::string value;  // as the window spells it
  int line = 0;       // in the file it was read from; 0 when made here
};

struct Profile {
  char model = 0;  // 's', 'u', 'r' or 'i'
  PageSet set = PageSet::S;
  int model_line = 0;
  std::string firmware;
  std::string saved;  // ISO 8601 local time
  std::string port;
  std::string program;
  std::vector<ProfileEntry> settings;  // file order
  // Settings the modem did not report when the profile was saved: left
  // out, and named in a comment so that nobody takes them for forgotten.
  std::vector<std::string> not_reported;

  const ProfileEntry* Find(std::string_view key) const;
  // Holds the AES key or IV: the file is then readable by its owner only.
  bool HasSecrets() const;
};

struct ProfileRead {
  std::optional<Profile> profile;
  std::string error;  // "line 12: ..." when refused
};

ProfileRead ParseProfile(std::string_view text);
// Reads a file; one that cannot be read is refused with the system's
// reason, and so is anything but a regular file ("not a regular file") and
// a file larger than 1 MiB ("larger than 1 MiB"), before it is read.
ProfileRead ReadProfileFile(const std::string& path);

// The profile with one unit's own values on top (its address, say), each
// "KEY", "VALUE" tested as a line of the file would be. Refused, naming the
// key, when a key is not a setting of the profile's model or a value is
// out of its range; a key the profile lacks is added.
ProfileRead WithUnitValues(const Profile& profile,
                           const std::vector<std::pair<std::string, std::string>>& values);

// The file's text: UTF-8 without BOM, LF line ends.
std::string ProfileText(const Profile& profile);
// Replaces path atomically (util/safe_replace.h: written beside it, synced,
// moved over it; a device, FIFO or stranger's link at the name is refused
// and kept). A profile holding secrets is created 0600 from the first
// byte; others 0644 before the umask. Raises velimo::Exception "Unable to
// write to <path>: <reason>".
void WriteProfileFile(const std::string& path, const Profile& profile);

}  // namespace velimo::profile
