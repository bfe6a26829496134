#include "profile/operations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
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
  return ok && std::all_of(settings.begin(), settings.end(),
                           [](const SettingResult& s) { return Confirmed(s.outcome); });
}

std::string SettingResult::Text() const {
  if (outcome == Outcome::DidNotStick) return OutcomeText(outcome, "modem=" + modem);
  return OutcomeText(outcome, reason);
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

std::string ModelMismatch(const Profile& profile, char modelCode, std::string_view chosenWord) {
  const std::optional<PageSet> set = PageSetOf(modelCode);
  if (!set) return "No model is chosen.";
  if (profile.set == *set) return {};
  return "line " + std::to_string(profile.model_line) + ": the profile is for " +
         std::string(ModelName(profile.model)) + ", " + std::string(chosenWord) + " is for " +
         std::string(ModelName(modelCode)) + " (" + std::string(PageSetName(*set)) + ")";
}

std::string ProfileRunner::CheckModel(const Profile& profile) {
  if (!modem_.Connected()) return std::string(protocol::kMsgPortClosed);
  return ModelMismatch(profile, modem_.ChosenModel(), host_.chosen_model_word);
}

std::string FamilyMismatch(scan::Family reported, char chosenModel, const Profile* profile,
                           std::string_view chosenWord) {
  std::optional<PageSet> shown;
  switch (reported) {
    case scan::Family::STaviOrUTavi:
      shown = PageSet::S;
      break;
    case scan::Family::RTavi:
      shown = PageSet::R;
      break;
    case scan::Family::IoTavi:
      shown = PageSet::I;
      break;
    case scan::Family::Unknown:
      return {};
  }
  const bool chosenAgrees = PageSetOf(chosenModel) == shown;
  const bool profileAgrees = !profile || profile->set == *shown;
  if (chosenAgrees && profileAgrees) return {};
  const std::string chosen(ModelName(chosenModel));
  std::string text = "the modem reports itself as an " + std::string(scan::FamilyName(reported)) +
                     "; " + std::string(chosenWord);
  if (!profile) return text + " is for " + chosen;
  const std::string inProfile(ModelName(profile->model));
  if (inProfile == chosen) return text + " and the profile are for " + chosen;
  return text + " is for " + chosen + " and the profile for " + inProfile;
}

std::string ProfileRunner::CheckFamily(const Profile* profile) const {
  return FamilyMismatch(modem_.ReportedFamily(), modem_.ChosenModel(), profile,
                        host_.chosen_model_word);
}

const ChannelPlan& ProfileRunner::ModemPlan(const Profile* profile) const {
  for (const SettingDef* def : SettingsOf(set_)) {
    if (!def->country) continue;
    const ProfileEntry* wanted = profile ? profile->Find(def->key) : nullptr;
    const std::optional<std::string> country =
        wanted ? std::optional<std::string>(wanted->value) : modem_.Value(def->command);
    if (const ChannelPlan* plan = country ? protocol::PlanOf(*country) : nullptr) return *plan;
  }
  // A page set without a country setting (the ioTavi) has the widest plan.
  return protocol::kWidestPlan;
}

std::string ProfileRunner::CheckFits(const Profile& profile) const {
  const ChannelPlan& plan = ModemPlan(&profile);
  const auto at = [](const ProfileEntry& e, const std::string& reason) {
    return (e.line > 0 ? "line " + std::to_string(e.line) + ": " : std::string()) +
           std::string(e.def->key) + " = " + e.value + ": " + reason;
  };
  for (const ProfileEntry& e : profile.settings) {
    // A channel the file allowed may lie outside the plan of the country
    // the modem reports (or the one the profile sets).
    if (protocol::FollowsPlan(e.def->row->list)) {
      const CheckedValue checked = CheckValue(*e.def, e.value, plan);
      if (!checked.refusal.empty()) return at(e, checked.refusal);
    }
    // Framing bytes without their length in the profile go with the
    // modem's length.
    if (e.def->kind == ValueKind::HexList) {
      const SettingDef* lengthDef = SettingOf(e.def->row->length);
      if (profile.Find(lengthDef->key) || !Reported(*lengthDef)) continue;
      const std::string length = modem_.Value(lengthDef->command).value_or("");
      const std::string refusal = FrameCountRefusal(*e.def, e.value, length);
      if (!refusal.empty()) return at(e, refusal + " in the modem");
    }
  }
  return {};
}

std::vector<Difference> ProfileRunner::Differences(const Profile& profile) const {
  std::vector<Difference> out;
  for (const ProfileEntry& e : profile.settings) {
    if (!Reported(*e.def)) {
      out.push_back({e.def, {}, e.value, false});
      continue;
    }
    const std::string modem = ModemValue(*e.def, HexCount(*e.def, e.value));
    if (!SameValue(*e.def, e.value, modem)) out.push_back({e.def, modem, e.value, true});
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
  result.error = CheckFamily(nullptr);
  if (!result.error.empty()) return result;
  Profile p;
  p.model = model;
  p.set = set_;
  p.firmware = modem_.Firmware();
  p.saved = IsoTime(modem_.platform().Now());
  p.port = portName;
  p.program = "Velimo " + modem_.ProgramVersion();
  const ChannelPlan& plan = ModemPlan(nullptr);
  for (const SettingDef* def : SettingsOf(set_)) {
    if ((def->identity && !choice.with_identity) || (def->secret && !choice.with_secrets)) continue;
    if (!Reported(*def)) {
      // A start value the window still shows is not the modem's.
      p.not_reported.push_back(std::string(def->key));
      continue;
    }
    // Bytes the length leaves unused are not part of the configuration.
    const std::string value = ModemValue(*def, -1);
    if (def->kind == ValueKind::HexList && value.empty()) continue;
    const CheckedValue checked = CheckValue(*def, value, plan);
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
  result.error = CheckFamily(&profile);
  if (result.error.empty()) result.error = CheckFits(profile);
  if (!result.error.empty()) return result;
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
  result.error = CheckFamily(&profile);
  if (result.error.empty()) result.error = CheckFits(profile);
  if (!result.error.empty()) return result;
  const std::vector<Difference> differences = Differences(profile);
  const std::vector<PlannedLine> plan = PlanLines(differences);
  std::map<const SettingDef*, std::string> firstRead;
  for (const ProfileEntry& e : profile.settings)
    if (Reported(*e.def)) firstRead[e.def] = ModemValue(*e.def, HexCount(*e.def, e.value));
  const auto differenceOf = [&](const SettingDef* def) -> const Difference* {
    for (const Difference& d : differences)
      if (d.def == def) return &d;
    return nullptr;
  };

  // What the run itself decided for a setting, before any read-back.
  struct Decided {
    Outcome outcome;
    std::string reason;
  };
  std::map<const SettingDef*, Decided> decided;
  std::set<const SettingDef*> written;
  forms::LineSwitch& link = modem_.Line();
  const LineSettings start = link.Current();
  LineSettings now = start;  // where the modem was last found
  bool ended = false;        // nothing more goes out
  bool lost = false;         // the modem was found nowhere, or the port failed
  bool readBack = false;     // the last thing done was a read at `now`
  std::string fallbacks;
  Platform& platform = modem_.platform();
  for (const PlannedLine& line : plan) {
    const SettingDef* def = line.def;
    if (!ended && host_.stop_requested && host_.stop_requested()) {
      result.error = "The run was stopped; the lines after it were not sent.";
      ended = result.stopped = true;
    }
    if (ended) {
      decided[def] = {Outcome::NotSent, {}};
      continue;
    }
    const bool linkSetting = def->link != LinkField::None;
    if (linkSetting && modem_.LineIsFixed()) {
      // The server's line would stay where it is: the modem would be
      // stranded at a rate nothing here can follow.
      decided[def] = {Outcome::Skipped, std::string(kReasonRawTcp)};
      continue;
    }
    const protocol::SendResult sent = modem_.Send(def->command, line.value_text);
    if (sent != protocol::SendResult::Sent) {
      // The transmitter has told the operator why; nothing more goes out.
      result.error = "The line for " + std::string(def->key) +
                     " could not be sent; the lines after it were not sent.";
      decided[def] = {Outcome::NotSent, {}};
      ended = lost = true;
      continue;
    }
    written.insert(def);
    readBack = false;
    ++result.lines_sent;
    if (host_.progress) host_.progress(result.lines_sent, static_cast<int>(plan.size()), *def);
    platform.Pause(line.pause_after_ms);
    if (!linkSetting) continue;

    // One link setting at a time: the port follows, and the modem must
    // answer there before the next one goes out.
    const LineSettings wanted = WithLinkValue(now, def->link, differenceOf(def)->profile);
    modem_.Log("Reopening the port at " + Describe(wanted));
    if (link.Reopen(wanted) && ReadModem(encryption, rs485)) {
      now = wanted;
      readBack = true;
      continue;
    }
    // The operator is never left guessing at which settings the modem
    // talks: the ones it answered at before are tried once.
    modem_.Log("No answer at " + Describe(wanted) + "; trying " + Describe(now));
    if (link.Reopen(now) && ReadModem(encryption, rs485)) {
      fallbacks += "The modem did not answer at " + Describe(wanted) + " after " +
                   std::string(def->key) + "; it still answers at " + Describe(now) + ". ";
      readBack = true;
      continue;
    }
    decided[def] = {Outcome::WrittenNotVerified, std::string(kReasonNoAnswer)};
    result.link_message = "The modem answers neither at the new line settings (" +
                          Describe(wanted) + ") nor at the old ones (" + Describe(now) +
                          "). The port is closed.";
    ended = lost = true;
    link.Close();
    result.port_closed = true;
    modem_.ShowDisconnected();
    modem_.Log(result.link_message);
  }

  // A port that failed a write is not asked anything more: the status
  // query would take its failure for a lost link and restart the program.
  // Nor is a stopped run's: the operator asked that nothing more go out,
  // so only a read the run had made already verifies anything.
  bool answered = false;
  if (!lost) {
    if (readBack)
      answered = modem_.LastRead().status;
    else if (!result.stopped)
      answered = modem_.Connected() && ReadModem(encryption, rs485);
  }
  if (result.link_message.empty() && (now != start || !fallbacks.empty()))
    result.link_message =
        fallbacks + "The modem now talks at " + Describe(now) + ", and the port runs there.";
  if (!result.link_message.empty() && !result.port_closed) modem_.Log(result.link_message);

  for (const ProfileEntry& e : profile.settings) {
    SettingResult r;
    r.def = e.def;
    r.profile = e.value;
    const bool reportedNow = answered && Reported(*e.def);
    r.modem_read = reportedNow;
    if (reportedNow) r.modem = ModemValue(*e.def, HexCount(*e.def, e.value));
    const bool same = reportedNow && SameValue(*e.def, e.value, r.modem);
    if (const auto it = firstRead.find(e.def); it != firstRead.end()) r.before = it->second;
    if (const auto it = decided.find(e.def); it != decided.end()) {
      r.outcome = it->second.outcome;
      r.reason = it->second.reason;
    } else if (!written.contains(e.def)) {
      // Held before the run; it counts as changed only when a read-back
      // shows another value (a country that narrowed the channel plan).
      r.outcome = reportedNow && !same ? Outcome::DidNotStick : Outcome::Unchanged;
    } else if (!answered) {
      r.outcome = Outcome::WrittenNotVerified;
      r.reason = lost ? kReasonNoReadBack : result.stopped ? kReasonStopped : kReasonNoAnswer;
    } else if (!reportedNow) {
      r.outcome = Outcome::WrittenNotVerified;
      r.reason = kReasonNotReported;
    } else {
      r.outcome = same ? Outcome::Verified : Outcome::DidNotStick;
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
