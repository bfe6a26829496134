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
  // Asked before each line: true ends the run there (Ctrl-C, the window's
  // Cancel); the lines not yet sent are reported "not sent", and nothing
  // more goes out, the read-back included.
  std::function<bool()> stop_requested;
  // How the messages name the model the operator chose: "--model" on the
  // command line, "the chosen model" in the window.
  std::string chosen_model_word = "the chosen model";
};

struct SaveChoice {
  bool with_identity = false;  // MYID
  bool with_secrets = false;   // AESKEY, AESIV
};

struct Difference {
  const SettingDef* def = nullptr;
  std::string modem;  // empty when not reported
  std::string profile;
  // False when the read had no line that gave this setting a value: the
  // modem's value is not known, and so not the same.
  bool reported = true;
};

struct SettingResult {
  const SettingDef* def = nullptr;
  Outcome outcome = Outcome::Unchanged;
  std::string reason;  // with "written, not verified" and "skipped"
  std::string before;  // what the first read showed; empty when not reported
  std::string modem;   // what the last read shows; empty when not read
  bool modem_read = false;
  std::string profile;
  // "written, not verified (not reported)", "did-not-stick (modem=9600)" ...
  std::string Text() const;
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
  // The host asked the run to stop (an interrupt, Cancel): the lines after
  // that point are "not sent", and nothing more went out, not even the
  // read-back.
  bool stopped = false;
  bool AllVerified() const;
};

// Why a profile cannot go to the chosen model, before the modem is asked
// anything: "line 2: the profile is for ioTavi, --model is for sTavi
// (sTavi/uTavi)"; empty when it can.
std::string ModelMismatch(const Profile& profile, char modelCode,
                          std::string_view chosenWord = "the chosen model");

// Why nothing may be written when the family the modem's report shows is
// not the one chosen (or the profile's): "the modem reports itself as an
// rTavi; --model and the profile are for sTavi". Empty when they agree,
// or when the report shows no line that tells the family.
std::string FamilyMismatch(scan::Family reported, char chosenModel, const Profile* profile,
                           std::string_view chosenWord);

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
  std::string CheckFamily(const Profile* profile) const;
  // The channel plan of the country the profile sets, or else of the one
  // the last read reported.
  const ChannelPlan& ModemPlan(const Profile* profile) const;
  // Why the profile cannot go to this modem as read: a channel outside its
  // plan, framing bytes that are not as many as its length. Nothing is
  // sent then.
  std::string CheckFits(const Profile& profile) const;
  std::vector<Difference> Differences(const Profile& profile) const;

  forms::ModemSession& modem_;
  Host host_;
  PageSet set_ = PageSet::S;
};

}  // namespace velimo::profile
