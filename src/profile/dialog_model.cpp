#include "profile/dialog_model.h"

#include <algorithm>
#include <exception>
#include <map>

namespace velimo::profile {

void ProfileDialogModel::Open(const std::string& path) {
  rows_.clear();
  done_ = total_ = 0;
  ProfileRead read = ReadProfileFile(path);
  if (read.profile) {
    const std::string mismatch =
        ModelMismatch(*read.profile, modem_.ChosenModel(), host_.chosen_model_word);
    if (!mismatch.empty()) read = {std::nullopt, path + ": " + mismatch};
  }
  if (!read.profile) {
    phase_ = Phase::Refused;
    status_ = read.error + "\nNothing was sent.";
    return;
  }
  profile_ = std::move(read.profile);
  CompareResult compared;
  {
    ProfileRunner runner(modem_, host_);
    compared = runner.Compare(*profile_);
  }
  if (!compared.ok) {
    phase_ = Phase::Failed;
    status_ = compared.error + "\nNothing was sent.";
    return;
  }
  for (const Difference& d : compared.differences) {
    rows_.push_back({std::string(d.def->key),
                     std::string(d.def->caption),
                     d.reported ? d.modem : "not reported",
                     d.profile,
                     {}});
  }
  total_ = static_cast<int>(rows_.size());
  phase_ = Phase::Compared;
  const auto unreported = std::count_if(compared.differences.begin(), compared.differences.end(),
                                        [](const Difference& d) { return !d.reported; });
  const size_t differ = rows_.size() - static_cast<size_t>(unreported);
  std::string counted = std::to_string(differ) + " of " +
                        std::to_string(profile_->settings.size()) + " settings differ";
  if (unreported > 0) counted += ", " + std::to_string(unreported) + " not reported by the modem";
  status_ = rows_.empty() ? "The modem holds every setting of the profile."
                          : counted + ". Apply writes them and reads them back.";
}

ProfileDialogModel::ProfileDialogModel(forms::ModemSession& modem, Host host)
    : modem_(modem), host_(std::move(host)) {}

ProfileDialogModel::~ProfileDialogModel() {
  if (!apply_ || !apply_->Running()) return;
  // A run still going is stopped before its next line and waited for;
  // its result is dropped.
  apply_.reset();
  ApplyEnded();
}

void ProfileDialogModel::ApplyEnded() {
  modem_.SetWorkerCalls(nullptr);
  modem_.platform().EndBusy();
  modem_.HoldSending(false);
}

void ProfileDialogModel::Progress(int done, int total) {
  done_ = done;
  total_ = total;
  if (on_progress) on_progress();
}

Host ProfileDialogModel::ApplyHost() {
  Host host = host_;
  host.progress = [this](int done, int total, const SettingDef&) { Progress(done, total); };
  return host;
}

void ProfileDialogModel::Apply() {
  if (!CanApply() || !profile_) return;
  phase_ = Phase::Applying;
  done_ = 0;
  ApplyResult applied;
  {
    ProfileRunner runner(modem_, ApplyHost());
    applied = runner.Apply(*profile_);
  }
  Applied(applied);
}

void ProfileDialogModel::StartApply(std::function<void()> finished) {
  if (!CanApply() || !profile_) return;
  phase_ = Phase::Applying;
  done_ = 0;
  // The window holds every control that sends and shows itself busy;
  // the worker's lines are written on the window's thread, which holds
  // the port (see ModemSession::SetWorkerCalls).
  modem_.HoldSending(true);
  modem_.platform().BeginBusy();
  apply_ = std::make_unique<ApplyJob>(modem_.platform());
  modem_.SetWorkerCalls(apply_->Calls());
  apply_->Start(
      [&modem = modem_, profile = *profile_, own = host_](ApplyJob::Worker& worker) {
        Host host = own;
        host.stop_requested = [&worker, own = own.stop_requested] {
          return worker.Cancelled() || (own && worker.Call(own));
        };
        host.progress = [&worker](int done, int total, const SettingDef&) {
          worker.Report({done, total});
        };
        try {
          ProfileRunner runner(modem, host);
          return runner.Apply(profile);
        } catch (const std::exception& e) {
          // What the window's thread raised for the worker (a trace file
          // that cannot be written, say); the settings' outcomes are not
          // known.
          ApplyResult failed;
          failed.error = e.what();
          return failed;
        }
      },
      [this, finished = std::move(finished)](ApplyResult applied) {
        ApplyEnded();
        Applied(applied);
        if (finished) finished();
      },
      [this](std::pair<int, int> progress) { Progress(progress.first, progress.second); });
}

void ProfileDialogModel::Stop() {
  if (apply_ && apply_->Running()) apply_->Cancel();
}

bool ProfileDialogModel::StopRequested() const {
  return apply_ && apply_->Running() && apply_->Cancelled();
}

void ProfileDialogModel::Applied(const ApplyResult& applied) {
  // How many settings came to each outcome, in the order of the words.
  std::map<Outcome, int> counts;
  for (const SettingResult& s : applied.settings) {
    auto row =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.key == s.def->key; });
    if (row == rows_.end()) {
      // Held before, changed since (a country narrowing the channel plan).
      if (s.outcome == Outcome::Unchanged) continue;
      rows_.push_back({std::string(s.def->key), std::string(s.def->caption), {}, s.profile, {}});
      row = rows_.end() - 1;
    }
    row->modem = s.modem_read ? s.modem : "not read";
    row->result = s.Text();
    ++counts[s.outcome];
  }
  std::string tally;
  int confirmed = 0, total = 0;
  for (const auto& [outcome, n] : counts) {
    tally +=
        (tally.empty() ? "" : ", ") + std::to_string(n) + " " + std::string(OutcomeName(outcome));
    if (Confirmed(outcome)) confirmed += n;
    total += n;
  }
  phase_ = applied.ok ? Phase::Applied : Phase::Failed;
  if (!applied.ok) {
    status_ = applied.error;
    if (!tally.empty()) status_ += "\n" + tally + ".";
  } else {
    status_ =
        confirmed == total ? "All " + std::to_string(total) + " settings verified." : tally + ".";
  }
  if (!applied.link_message.empty() && applied.link_message != applied.error)
    status_ += "\n" + applied.link_message;
}

std::string ProfileDialogModel::Save(const std::string& path, const SaveChoice& choice) {
  CaptureResult captured;
  {
    ProfileRunner runner(modem_, host_);
    captured = runner.Capture(choice, modem_.PortName());
  }
  if (!captured.profile) return captured.error;
  try {
    WriteProfileFile(path, *captured.profile);
  } catch (const std::exception& e) {
    return e.what();
  }
  std::string text =
      "Saved " + std::to_string(captured.profile->settings.size()) + " settings to " + path + ".";
  for (const std::string& s : captured.skipped) text += "\nLeft out " + s;
  for (const std::string& key : captured.profile->not_reported)
    text += "\nLeft out " + key + ": not reported";
  return text;
}

}  // namespace velimo::profile
