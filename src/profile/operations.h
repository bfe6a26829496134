// Saving, comparing and applying a profile on the connected modem, through
// the form model's modem session: the modem is read with the status query (and
// the encryption and RS-485 queries where the profile needs them), every
// line goes out as its single save's line through the one send path, and
// nothing counts as done until a read-back shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "forms/modem_session.h"
#include "profile/outcome.h"
#include "profile/profile_file.h"

namespace velimo::profile {

// What an operation needs besides the modem session.
struct Host {
  // After each line sent: how many of how many, and the setting's key.
  // The window repaints its progress bar here.
  std::function<void(int done, int total, const SettingDef& def)> progress;
};

struct SaveChoice {
  bool with_identity = false;  // MYID
  bool with_secrets = false;   // AESKEY, AESIV
};

struct Difference {
  const SettingDef* def = nullptr;
  std::string modem;
  std::string profile;
};

struct SettingResult {
  const SettingDef* def = nullptr;
  Outcome outcome = Outcome::Unchanged;
  std::string modem;  // what the last read shows; "?" when it was not read
  std::string profile;
};

struct CaptureResult {
  std::optional<Profile> profile;
  std::string error;
  // Settings left out because the modem reports a value no profile could
  // hold (a channel outside its plan, say): "KEY: reason".
  std::vector<std::string> skipped;
};

struct CompareResult {
  bool ok = false;
  std::string error;
  std::vector<Difference> differences;
};

struct ApplyResult {
  bool ok = false;  // the modem was read back (some settings may still not have stuck)
  std::string error;
  std::vector<SettingResult> settings;  // profile order
  int lines_sent = 0;
  // Set when the link settings changed: what happened to the port.
  std::string link_message;
  bool port_closed = false;
  bool AllVerified() const;
};

// Why a profile cannot go to a modem of this model: "line 2: the profile
// is for ioTavi, the modem is sTavi (sTavi/uTavi)"; empty when it can.
std::string ModelMismatch(const Profile& profile, char modelCode);

// One planned line: the setting, its value text, the pause after it.
struct PlannedLine {
  const SettingDef* def = nullptr;
  std::string value_text;
  int pause_after_ms = 200;
};
// The lines that make the modem hold the profile's values where it differs:
// by apply rank then file order, the link settings last.
std::vector<PlannedLine> PlanLines(const std::vector<Difference>& differences);

class ProfileRunner {
 public:
  // Takes the session's window over for the runner's lifetime.
  ProfileRunner(forms::ModemSession& modem, Host host);
  ~ProfileRunner();
  ProfileRunner(const ProfileRunner&) = delete;
  ProfileRunner& operator=(const ProfileRunner&) = delete;

  // Reads the modem and makes a profile of what it holds.
  CaptureResult Capture(const SaveChoice& choice, const std::string& portName);
  // Reads the modem and lists the profile's settings it holds otherwise.
  CompareResult Compare(const Profile& profile);
  // Writes the differing settings, reads back, and reports per setting.
  ApplyResult Apply(const Profile& profile);

 private:
  bool ReadModem(bool encryption, bool rs485);
  std::string ModemValue(const SettingDef& def, int hexCount) const;
  bool Reported(const SettingDef& def) const;
  std::string CheckModel(const Profile& profile);
  std::vector<Difference> Differences(const Profile& profile) const;

  forms::ModemSession& modem_;
  Host host_;
  PageSet set_ = PageSet::S;
};

}  // namespace velimo::profile
