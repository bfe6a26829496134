#include "profile/operations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "profile/values.h"
#include "protocol/catalogue.h"

namespace velimo::profile {

namespace {

using protocol::CommandId;

std::string IsoTime(const LocalDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

bool HasQuery(const Profile& profile, Query query) {
  return std::any_of(profile.settings.begin(), profile.settings.end(),
                     [query](const ProfileEntry& e) { return e.def->query == query; });
}

using forms::Describe;
using forms::LineSettings;

// The line settings with one link setting's new value.
LineSettings WithLinkValue(LineSettings line, LinkField field, const std::string& value) {
  switch (field) {
    case LinkField::Baud:
      line.baud = std::atoi(value.c_str());
      break;
    case LinkField::Parity:
      line.parity = value == "Odd" ? 1 : value == "Even" ? 2 : 0;
      break;
    case LinkField::Flow:
      line.rtscts = value == "RTS/CTS";
      break;
    case LinkField::None:
      break;
  }
  return line;
}

int CatalogueIndex(const SettingDef* def) {
  const auto all = SettingsOf(def->set);
  return static_cast<int>(std::find(all.begin(), all.end(), def) - all.begin());
}

}  // namespace

bool ApplyResult::AllVerified() const {
  return ok && std::all_of(settings.begin(), settings.end(), [](const SettingResult& s) {
           return s.outcome != Outcome::DidNotStick;
         });
}

std::vector<PlannedLine> PlanLines(const std::vector<Difference>& differences) {
  std::vector<const Difference*> order;
  for (const Difference& d : differences) order.push_back(&d);
  std::stable_sort(order.begin(), order.end(), [](const Difference* a, const Difference* b) {
    const auto key = [](const Difference* d) {
      return std::make_tuple(d->def->link != LinkField::None, d->def->apply_rank,
                             CatalogueIndex(d->def));
    };
    return key(a) < key(b);
  });
  std::vector<PlannedLine> lines;
  for (const Difference* d : order)
    lines.push_back({d->def, LineValue(*d->def, d->profile), d->def->pause_after_ms});
  return lines;
}

// ---- The runner ---------------------------------------------------------------

ProfileRunner::ProfileRunner(forms::ModemSession& modem, Host host)
    : modem_(modem), host_(std::move(host)) {
  set_ = PageSetOf(modem_.ChosenModel()).value_or(PageSet::S);
  modem_.Begin();
}

ProfileRunner::~ProfileRunner() {
  modem_.End();
}

bool ProfileRunner::ReadModem(bool encryption, bool rs485) {
  return modem_.Read(encryption, rs485).status;
}

std::string ProfileRunner::ModemValue(const SettingDef& def, int hexCount) const {
  return modem_.Value(def.command, def.kind == ValueKind::HexList ? hexCount : -1).value_or("");
}

bool ProfileRunner::Reported(const SettingDef& def) const {
  const forms::ReadAnswers& read = modem_.LastRead();
  const bool answered = def.query == Query::Status       ? read.status
                        : def.query == Query::Encryption ? read.encryption
                                                         : read.rs485;
  return answered && modem_.Value(def.command).has_value();
}

std::string ModelMismatch(const Profile& profile, char modelCode) {
  const std::optional<PageSet> set = PageSetOf(modelCode);
  if (!set) return "No model is chosen.";
  if (profile.set == *set) return {};
  return "line " + std::to_string(profile.model_line) + ": the profile is for " +
         std::string(ModelName(profile.model)) + ", the modem is " +
         std::string(ModelName(modelCode)) + " (" + std::string(PageSetName(*set)) + ")";
}

std::string ProfileRunner::CheckModel(const Profile& profile) {
  if (!modem_.Connected()) return std::string(protocol::kMsgPortClosed);
  return ModelMismatch(profile, modem_.ChosenModel());
}

std::vector<Difference> ProfileRunner::Differences(const Profile& profile) const {
  std::vector<Difference> out;
  for (const ProfileEntry& e : profile.settings) {
    const bool reported = Reported(*e.def);
    const std::string modem = reported ? ModemValue(*e.def, HexCount(*e.def, e.value)) : "?";
    if (!reported || !SameValue(*e.def, e.value, modem)) out.push_back({e.def, modem, e.value});
  }
  return out;
}

CaptureResult ProfileRunner::Capture(const SaveChoice& choice, const std::string& portName) {
  CaptureResult result;
  if (!modem_.Connected()) {
    result.error = protocol::kMsgPortClosed;
    return result;
  }
  const char model = modem_.ChosenModel();
  if (!PageSetOf(model)) {
    result.error = "No model is chosen.";
    return result;
  }
  if (!ReadModem(choice.with_secrets, set_ == PageSet::I)) {
    result.error = "The modem did not answer the status query within 5 s.";
    return result;
  }
  Profile p;
  p.model = model;
  p.set = set_;
  p.firmware = modem_.Firmware();
  p.saved = IsoTime(modem_.platform().Now());
  p.port = portName;
  p.program = "Velimo " + modem_.ProgramVersion();
  bool japan = false;
  for (const SettingDef* def : SettingsOf(set_))
    if (def->country) japan = modem_.Value(def->command) == "JPN";
  for (const SettingDef* def : SettingsOf(set_)) {
    if ((def->identity && !choice.with_identity) || (def->secret && !choice.with_secrets)) continue;
    if (!Reported(*def)) continue;
    // Bytes the length leaves unused are not part of the configuration.
    const std::string value = ModemValue(*def, -1);
    if (def->kind == ValueKind::HexList && value.empty()) continue;
    const CheckedValue checked = CheckValue(*def, value, japan);
    if (!checked.refusal.empty()) {
      result.skipped.push_back(std::string(def->key) + ": " + checked.refusal);
      continue;
    }
    p.settings.push_back({def, checked.value, 0});
  }
  result.profile = std::move(p);
  return result;
}

CompareResult ProfileRunner::Compare(const Profile& profile) {
  CompareResult result;
  result.error = CheckModel(profile);
  if (!result.error.empty()) return result;
  if (!ReadModem(HasQuery(profile, Query::Encryption), HasQuery(profile, Query::Rs485))) {
    result.error = "The modem did not answer the status query within 5 s.";
    return result;
  }
  result.differences = Differences(profile);
  result.ok = true;
  return result;
}

ApplyResult ProfileRunner::Apply(const Profile& profile) {
  ApplyResult result;
  result.error = CheckModel(profile);
  if (!result.error.empty()) return result;
  const bool encryption = HasQuery(profile, Query::Encryption);
  const bool rs485 = HasQuery(profile, Query::Rs485);
  if (!ReadModem(encryption, rs485)) {
    result.error = "The modem did not answer the status query within 5 s; nothing was sent.";
    return result;
  }
  const std::vector<Difference> differences = Differences(profile);
  const std::vector<PlannedLine> plan = PlanLines(differences);

  forms::LineSwitch& link = modem_.Line();
  const forms::LineSettings before = link.Current();
  forms::LineSettings expected = before;
  bool linkChanged = false;
  bool sendFailed = false;
  Platform& platform = modem_.platform();
  for (const PlannedLine& line : plan) {
    const protocol::SendResult sent = modem_.Send(line.def->command, line.value_text);
    if (sent != protocol::SendResult::Sent) {
      // The transmitter has told the operator why; nothing more goes out.
      result.error = "The line for " + std::string(line.def->key) +
                     " could not be sent; the lines after it were not sent.";
      sendFailed = true;
      break;
    }
    ++result.lines_sent;
    if (host_.progress) host_.progress(result.lines_sent, static_cast<int>(plan.size()), *line.def);
    platform.Pause(line.pause_after_ms);
    if (line.def->link == LinkField::None) continue;
    // The modem now talks with the new setting: so must the port.
    const std::string value = [&] {
      for (const Difference& d : differences)
        if (d.def == line.def) return d.profile;
      return std::string();
    }();
    expected = WithLinkValue(expected, line.def->link, value);
    linkChanged = true;
    modem_.Log("Reopening the port at " + Describe(expected));
    if (!link.Reopen(expected)) {
      result.error = "The port could not be opened again at " + Describe(expected) + ".";
      break;
    }
  }

  // A port that failed a write is not asked anything more: the status
  // query would take its failure for a lost link and restart the program.
  bool answered = !sendFailed && modem_.Connected() && ReadModem(encryption, rs485);
  if (linkChanged && !answered && !sendFailed) {
    // The operator is never left guessing at which rate the modem talks:
    // the old line settings are tried once before giving up.
    modem_.Log("No answer at " + Describe(expected) + "; trying " + Describe(before));
    const bool old = link.Reopen(before) && ReadModem(encryption, rs485);
    result.link_message =
        old ? "The modem did not answer at " + Describe(expected) +
                  "; it still answers at its old line settings, " + Describe(before) +
                  ". The port is closed: connect again with the line settings the modem holds."
            : "The modem answers neither at the new line settings (" + Describe(expected) +
                  ") nor at the old ones (" + Describe(before) + "). The port is closed.";
    answered = old;
    link.Close();
    result.port_closed = true;
    modem_.ShowDisconnected();
    modem_.Log(result.link_message);
  } else if (linkChanged && answered) {
    result.link_message = "The port now runs at " + Describe(expected) + ".";
  }

  for (const ProfileEntry& e : profile.settings) {
    SettingResult r;
    r.def = e.def;
    r.profile = e.value;
    const bool differed = std::any_of(differences.begin(), differences.end(),
                                      [&](const Difference& d) { return d.def == e.def; });
    const bool reported = answered && Reported(*e.def);
    r.modem = reported ? ModemValue(*e.def, HexCount(*e.def, e.value)) : "?";
    if (!reported) {
      r.outcome = differed ? Outcome::DidNotStick : Outcome::Unchanged;
    } else if (SameValue(*e.def, e.value, r.modem)) {
      r.outcome = differed ? Outcome::Verified : Outcome::Unchanged;
    } else {
      r.outcome = Outcome::DidNotStick;
    }
    result.settings.push_back(std::move(r));
  }
  if (!answered && result.error.empty()) {
    result.error = result.link_message.empty()
                       ? "The modem did not answer the read-back within 5 s; nothing is verified."
                       : result.link_message;
  }
  result.ok = answered && result.error.empty();
  return result;
}

}  // namespace velimo::profile
