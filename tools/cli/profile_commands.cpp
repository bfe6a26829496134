#include "profile_commands.h"

#include <exception>

#include "interrupt.h"
#include "output.h"
#include "secrets.h"

namespace velimo::cli {

namespace {

std::string Field(std::string_view name, std::string_view bytes) {
  return JsonString(name) + ": " + JsonString(bytes);
}

std::string Head(std::string_view command, const std::string& file) {
  return "{" + Field("command", command) + ", " + Field("file", file);
}

// A setting's value as it may be shown: a key or IV masked unless asked.
std::string Shown(const profile::SettingDef& def, const std::string& value, bool with_secrets) {
  return def.secret && !with_secrets && value != "?" ? Masked(value) : value;
}

profile::Host CliHost() {
  profile::Host host;
  host.chosen_model_word = "--model";
  // Ctrl-C or SIGTERM: an apply ends before its next line.
  host.stop_requested = [] { return Interrupted(); };
  return host;
}

// A JSON string, or null for a value that was not read.
std::string JsonOrNull(bool known, std::string_view bytes) {
  return known ? JsonString(bytes) : "null";
}

}  // namespace

profile::Host SessionHost(Session&) {
  return CliHost();
}

ProfileCommandResult SaveProfileCommand(Session& session, const std::string& file,
                                        const profile::SaveChoice& choice, const std::string& port,
                                        bool json) {
  ProfileCommandResult r;
  profile::CaptureResult captured;
  {
    profile::ProfileRunner runner(session.Modem(), CliHost());
    captured = runner.Capture(choice, port);
  }
  if (!captured.profile) {
    r.status = 1;
    r.error = captured.error;
    return r;
  }
  try {
    profile::WriteProfileFile(file, *captured.profile);
  } catch (const std::exception& e) {
    r.status = 1;
    r.error = e.what();
    return r;
  }
  const size_t n = captured.profile->settings.size();
  if (json) {
    std::string skipped, unreported;
    for (const std::string& s : captured.skipped)
      skipped += (skipped.empty() ? "" : ", ") + JsonString(s);
    for (const std::string& k : captured.profile->not_reported)
      unreported += (unreported.empty() ? "" : ", ") + JsonString(k);
    r.out = Head("save-profile", file) + ", \"settings\": " + std::to_string(n) +
            ", \"skipped\": [" + skipped + "], \"not_reported\": [" + unreported + "]}\n";
  } else {
    r.out = "saved " + std::to_string(n) + " settings to " + file + "\n";
    for (const std::string& s : captured.skipped) r.out += "skipped " + s + "\n";
    for (const std::string& k : captured.profile->not_reported)
      r.out += "left out " + k + ": not reported\n";
  }
  return r;
}

ProfileCommandResult CompareProfileCommand(Session& session, const profile::Profile& profile,
                                           const std::string& file, bool json, bool with_secrets) {
  ProfileCommandResult r;
  profile::CompareResult compared;
  {
    profile::ProfileRunner runner(session.Modem(), CliHost());
    compared = runner.Compare(profile);
  }
  if (!compared.ok) {
    r.status = 1;
    r.error = compared.error;
    return r;
  }
  r.status = compared.differences.empty() ? 0 : 3;
  // "CH: modem=1 profile=5", or "BAU: not reported (profile=9600)".
  const auto line = [](const profile::Difference& d) {
    const std::string key(d.def->key);
    return d.reported ? key + ": modem=" + d.modem + " profile=" + d.profile
                      : key + ": not reported (profile=" + d.profile + ")";
  };
  for (profile::Difference& d : compared.differences) {
    d.modem = Shown(*d.def, d.modem, with_secrets);
    d.profile = Shown(*d.def, d.profile, with_secrets);
    r.differences.push_back(line(d));
  }
  if (json) {
    std::string list;
    for (const profile::Difference& d : compared.differences) {
      list += std::string(list.empty() ? "" : ", ") + "{" + Field("key", d.def->key) + ", " +
              Field("caption", d.def->caption) + ", \"modem\": " + JsonOrNull(d.reported, d.modem) +
              ", " + Field("profile", d.profile) +
              ", \"reported\": " + (d.reported ? "true" : "false") + "}";
    }
    r.out = Head("compare-profile", file) +
            ", \"matches\": " + (compared.differences.empty() ? "true" : "false") +
            ", \"differences\": [" + list + "]}\n";
    return r;
  }
  for (const profile::Difference& d : compared.differences) r.out += PlainText(line(d)) + "\n";
  return r;
}

ProfileCommandResult ApplyProfileCommand(Session& session, const profile::Profile& profile,
                                         const std::string& file, bool json, bool with_secrets) {
  ProfileCommandResult r;
  profile::ApplyResult applied;
  {
    profile::ProfileRunner runner(session.Modem(), CliHost());
    applied = runner.Apply(profile);
  }
  if (!applied.ok) {
    r.status = 1;
    r.error = applied.error;
  } else {
    r.status = applied.AllVerified() ? 0 : 3;
  }
  r.lines_sent = applied.lines_sent;
  r.settings = applied.settings;
  r.stopped = applied.stopped;
  for (profile::SettingResult& s : applied.settings) {
    s.modem = Shown(*s.def, s.modem, with_secrets);
    s.profile = Shown(*s.def, s.profile, with_secrets);
  }
  for (const profile::SettingResult& s : applied.settings) {
    if (s.outcome != profile::Outcome::Unchanged)
      r.differences.push_back(std::string(s.def->key) + "=" + s.profile + " " + s.Text());
  }
  if (json) {
    std::string list;
    for (const profile::SettingResult& s : applied.settings) {
      list += std::string(list.empty() ? "" : ", ") + "{" + Field("key", s.def->key) + ", " +
              Field("caption", s.def->caption) + ", " +
              Field("result", profile::OutcomeName(s.outcome)) + ", " + Field("reason", s.reason) +
              ", \"before\": " + JsonOrNull(!s.before.empty(), s.before) +
              ", \"modem\": " + JsonOrNull(s.modem_read, s.modem) + ", " +
              Field("profile", s.profile) + "}";
    }
    r.out = Head("apply-profile", file) +
            ", \"lines_sent\": " + std::to_string(applied.lines_sent) + ", \"settings\": [" + list +
            "], " + Field("link", applied.link_message) +
            ", \"port_closed\": " + (applied.port_closed ? "true" : "false") + ", " +
            Field("error", r.error) + "}\n";
    return r;
  }
  // Without a read-back nothing can be said per setting.
  if (applied.ok || !applied.settings.empty()) {
    for (const profile::SettingResult& s : applied.settings)
      r.out += PlainText(std::string(s.def->key) + ": " + s.Text()) + "\n";
  }
  if (!applied.link_message.empty()) r.out += "link: " + applied.link_message + "\n";
  return r;
}

}  // namespace velimo::cli
