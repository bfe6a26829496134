#include "profile/operations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "forms/form_main.h"
#include "profile/values.h"
#include "protocol/catalogue.h"
#include "util/positions.h"

namespace velimo::profile {

namespace {

using protocol::CommandId;

// The line each answer ends with, as the modem sends its reports. A modem
// that orders its report otherwise is still read: the answer then counts as
// complete once the line has been quiet for a while.
bool StatusClosing(std::string_view line, PageSet set) {
  switch (set) {
    case PageSet::S:
      return BeginsWithAt(line, "Stop Bit");
    case PageSet::R:
      return BeginsWithAt(line, "Relay ID 2", 8);
    case PageSet::I:
      return BeginsWithAt(line, "ETX Length");
  }
  return false;
}

bool EncryptionClosing(std::string_view line, PageSet set) {
  return BeginsWithAt(line, set == PageSet::I ? "AESIV" : "AES IV");
}

bool Rs485Closing(std::string_view line, PageSet) {
  return BeginsWithAt(line, "ETX Length", 2);
}

std::string ControlValue(const forms::Control* c) {
  if (!c) return {};
  switch (c->Kind()) {
    case forms::ControlKind::Edit:
      return static_cast<const forms::TEdit*>(c)->Text();
    case forms::ControlKind::ComboBox:
      return static_cast<const forms::TComboBox*>(c)->Text();
    default:
      return c->Caption();
  }
}

std::string_view FirmwareEditor(PageSet set) {
  switch (set) {
    case PageSet::S:
      return "Edit_S_FwVer";
    case PageSet::R:
      return "Edit_R_FwVer";
    case PageSet::I:
      return "Edit_I_FwVer";
  }
  return {};
}

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
      return std::make_tuple(d->def->link, d->def->apply_rank, CatalogueIndex(d->def));
    };
    return key(a) < key(b);
  });
  std::vector<PlannedLine> lines;
  for (const Difference* d : order)
    lines.push_back({d->def, LineValue(*d->def, d->profile), d->def->pause_after_ms});
  return lines;
}

// ---- The runner ---------------------------------------------------------------

ProfileRunner::ProfileRunner(forms::TForm_main& form, Host host)
    : form_(form), host_(std::move(host)) {
  if (!host_.line) {
    own_line_ = std::make_unique<FormLineSwitch>(form_);
    host_.line = own_line_.get();
  }
  set_ = PageSetOf(form_.ModelCode.empty() ? 0 : form_.ModelCode[0]).value_or(PageSet::S);
  // The reads here wait for their own answers: the window's watchdog must
  // not judge them (and disconnect) halfway through a link change.
  watchdog_was_on_ = form_.Timer_ConnectionResponse.Enabled();
  form_.Timer_ConnectionResponse.SetEnabled(false);
  // Nor may the delayed key query go out in the middle of a report: its
  // send empties the receive queue.
  aes_query_was_on_ = form_.Timer_AESQuery.Enabled();
  form_.Timer_AESQuery.SetEnabled(false);
  flag_before_ = form_.ResponseFlag;
  form_.OnResponseLine = [this](std::string_view line) { OnLine(line); };
}

ProfileRunner::~ProfileRunner() {
  form_.OnResponseLine = nullptr;
  form_.ResponseFlag = status_read_ ? 1 : flag_before_;
  if (watchdog_was_on_ && form_.Port().Connected()) form_.Timer_ConnectionResponse.SetEnabled(true);
  if (aes_query_was_on_ && form_.Port().Connected()) form_.Timer_AESQuery.SetEnabled(true);
}

void ProfileRunner::OnLine(std::string_view line) {
  if (!closing_) return;
  ++lines_seen_;
  last_line_ms_ = form_.platform().MonotonicMs();
  if (closing_(line, set_)) closing_seen_ = true;
}

bool ProfileRunner::Ask(CommandId id, bool (*closing)(std::string_view, PageSet)) {
  const bool status = id == CommandId::StatusQuery;
  closing_ = closing;
  closing_seen_ = false;
  lines_seen_ = 0;
  if (status) form_.ResponseFlag = 0;
  const protocol::SendResult sent =
      protocol::SendCommand(form_.SendLink(), protocol::Entry(id), std::string_view{});
  bool answered = false;
  if (sent == protocol::SendResult::Sent) {
    Platform& platform = form_.platform();
    answered = host_.serve_until(
        [&] {
          if (!form_.Port().Connected()) return true;
          if (status && form_.ResponseFlag == 0) return false;
          if (closing_seen_) return true;
          return lines_seen_ > 0 && platform.MonotonicMs() - last_line_ms_ >= host_.quiet_ms;
        },
        kAnswerLimitMs);
  }
  closing_ = nullptr;
  return answered && form_.Port().Connected() && lines_seen_ > 0 &&
         (!status || form_.ResponseFlag != 0);
}

bool ProfileRunner::ReadModem(bool encryption, bool rs485) {
  status_read_ = encryption_read_ = rs485_read_ = false;
  status_read_ = Ask(CommandId::StatusQuery, StatusClosing);
  if (!status_read_) return false;
  // Firmware 1.0 and 1.1 of the sTavi/uTavi know no encryption.
  const bool hasEncryption =
      set_ == PageSet::I || (set_ == PageSet::S && form_.Panel_S_Info_Encryption.Visible());
  if (encryption && hasEncryption) encryption_read_ = Ask(CommandId::GetAES, EncryptionClosing);
  if (rs485 && set_ == PageSet::I) rs485_read_ = Ask(CommandId::I_Query485, Rs485Closing);
  return true;
}

std::string ProfileRunner::ModemValue(const SettingDef& def, int hexCount) const {
  if (def.kind != ValueKind::HexList) return ControlValue(form_.FindControl(def.controls[0]));
  std::string out;
  for (int i = 0; i < std::clamp(hexCount, 0, 3); ++i) {
    if (i) out += ",";
    out += ControlValue(form_.FindControl(def.controls[static_cast<size_t>(i)]));
  }
  return out;
}

bool ProfileRunner::Reported(const SettingDef& def) const {
  switch (def.query) {
    case Query::Status:
      if (def.set == PageSet::S && def.key == "AES") {
        return status_read_ && form_.Panel_S_Info_Encryption.Visible();
      }
      return status_read_;
    case Query::Encryption:
      return encryption_read_;
    case Query::Rs485:
      return rs485_read_;
  }
  return false;
}

std::string ModelMismatch(const Profile& profile, char modelCode) {
  const std::optional<PageSet> set = PageSetOf(modelCode);
  if (!set) return "No model is chosen.";
  if (profile.set == *set) return {};
  return "line " + std::to_string(profile.model_line) + ": the profile is for " +
         std::string(ModelName(profile.model)) + ", the modem is " +
         std::string(ModelName(modelCode)) + " (" + std::string(PageSetName(*set)) + ")";
}

std::string ProfileRunner::CheckModel(const Profile& profile) const {
  if (!form_.Port().Connected()) return std::string(protocol::kMsgPortClosed);
  return ModelMismatch(profile, form_.ModelCode.empty() ? 0 : form_.ModelCode[0]);
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
  if (!form_.Port().Connected()) {
    result.error = protocol::kMsgPortClosed;
    return result;
  }
  const char model = form_.ModelCode.empty() ? 0 : form_.ModelCode[0];
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
  p.firmware = ControlValue(form_.FindControl(FirmwareEditor(set_)));
  p.saved = IsoTime(form_.platform().Now());
  p.port = portName;
  std::string version = form_.Lb_PGVersion.Caption();
  if (version.starts_with("Version ")) version.erase(0, 8);
  p.program = "Velimo " + version;
  const bool japan =
      set_ != PageSet::I &&
      ControlValue(form_.FindControl(set_ == PageSet::S ? "Edit_S_Country" : "Edit_R_Country")) ==
          "JPN";
  for (const SettingDef* def : SettingsOf(set_)) {
    if ((def->identity && !choice.with_identity) || (def->secret && !choice.with_secrets)) continue;
    if (!Reported(*def)) continue;
    int count = 0;
    if (def->kind == ValueKind::HexList) {
      // Bytes the length leaves unused are not part of the configuration.
      count = std::atoi(ControlValue(form_.FindControl(def->length_control)).c_str());
      if (count <= 0) continue;
    }
    const CheckedValue checked = CheckValue(*def, ModemValue(*def, count), japan);
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

  const LineSettings before = host_.line->Current();
  LineSettings expected = before;
  bool linkChanged = false;
  bool sendFailed = false;
  Platform& platform = form_.platform();
  for (const PlannedLine& line : plan) {
    const protocol::SendResult sent = protocol::SendCommand(
        form_.SendLink(), protocol::Entry(line.def->command), line.value_text);
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
    if (!line.def->link) continue;
    // The modem now talks with the new setting: so must the port.
    const std::string k(line.def->key);
    const std::string value = [&] {
      for (const Difference& d : differences)
        if (d.def == line.def) return d.profile;
      return std::string();
    }();
    if (k == "BAU") expected.baud = std::atoi(value.c_str());
    if (k == "PAB") expected.parity = value == "Odd" ? 1 : value == "Even" ? 2 : 0;
    if (k == "HF") expected.rtscts = value == "RTS/CTS";
    linkChanged = true;
    form_.LogWriteStr("Reopening the port at " + Describe(expected));
    if (!host_.line->Reopen(expected)) {
      result.error = "The port could not be opened again at " + Describe(expected) + ".";
      break;
    }
  }

  // A port that failed a write is not asked anything more: the status
  // query would take its failure for a lost link and restart the program.
  bool answered = !sendFailed && form_.Port().Connected() && ReadModem(encryption, rs485);
  if (linkChanged && !answered && !sendFailed) {
    // The operator is never left guessing at which rate the modem talks:
    // the old line settings are tried once before giving up.
    form_.LogWriteStr("No answer at " + Describe(expected) + "; trying " + Describe(before));
    const bool old = host_.line->Reopen(before) && ReadModem(encryption, rs485);
    result.link_message =
        old ? "The modem did not answer at " + Describe(expected) +
                  "; it still answers at its old line settings, " + Describe(before) +
                  ". The port is closed: connect again with the line settings the modem holds."
            : "The modem answers neither at the new line settings (" + Describe(expected) +
                  ") nor at the old ones (" + Describe(before) + "). The port is closed.";
    answered = old;
    host_.line->Close();
    result.port_closed = true;
    form_.StatusBar1.SetPanelText(1, "Disconnected");
    form_.ApplyDisconnectedPresentation();
    form_.LogWriteStr(result.link_message);
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
