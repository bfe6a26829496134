// The profile commands of velimo-cli on a connected session: what each
// prints and the exit status it asks for (0 the modem holds the profile,
// 3 it differs or some setting did not stick, 1 a failure).
#pragma once

#include <string>
#include <vector>

#include "profile/operations.h"
#include "session.h"

namespace velimo::cli {

struct ProfileCommandResult {
  int status = 0;
  std::string out;    // standard output
  std::string error;  // one line for standard error, empty when none
  // For a bench report: each difference found ("KEY: modem=A profile=B"),
  // or each setting written ("KEY=B verified", "KEY=B did-not-stick
  // (modem=A)"), and the number of lines sent.
  std::vector<std::string> differences;
  int lines_sent = 0;
  // apply-profile: each setting's outcome, its values in clear.
  std::vector<profile::SettingResult> settings;
  // apply-profile: an interrupt stopped it before one of its lines.
  bool stopped = false;
};

ProfileCommandResult SaveProfileCommand(Session& session, const std::string& file,
                                        const profile::SaveChoice& choice, const std::string& port,
                                        bool json);
// The AES key and IV are masked in what they print and list unless
// with_secrets.
ProfileCommandResult CompareProfileCommand(Session& session, const profile::Profile& profile,
                                           const std::string& file, bool json,
                                           bool with_secrets = false);
// What a profile operation of velimo-cli needs besides the session.
profile::Host SessionHost(Session& session);

ProfileCommandResult ApplyProfileCommand(Session& session, const profile::Profile& profile,
                                         const std::string& file, bool json,
                                         bool with_secrets = false);

}  // namespace velimo::cli
