// What the window's profile dialog shows, without the window: the table
// of the settings the modem holds otherwise, the Apply button's state, the
// progress of an apply and the result per row. The Qt dialog only renders
// this and forwards the operator's clicks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "profile/operations.h"
#include "util/background_work.h"

namespace velimo::profile {

class ProfileDialogModel {
 public:
  struct Row {
    std::string key;
    std::string caption;
    std::string modem;
    std::string profile;
    // Empty until applied, then the outcome: "verified", "did-not-stick
    // (modem=3)", "written, not verified (not reported)", "skipped (...)".
    std::string result;
  };
  enum class Phase { Empty, Refused, Compared, Applying, Applied, Failed };

  ProfileDialogModel(forms::ModemSession& modem, Host host);
  ~ProfileDialogModel();

  // Reads the file (refused files send nothing) and the modem; the rows are
  // the differing settings.
  void Open(const std::string& path);
  // Writes the differing settings and verifies them; the rows get their
  // results. Progress goes to on_progress.
  void Apply();
  // The same in the background, so that the window stays live for the
  // seconds it takes: the worker keeps the apply's pauses and waits,
  // while every line is written, and the reads, the form, the trace and
  // the boxes are served, on the window's thread. Returns at once; the
  // phase is Applying until the run has ended; then the rows have their
  // results and finished is called, on the caller's thread. A platform
  // that cannot watch (the tests' virtual clock) runs the apply at once.
  void StartApply(std::function<void()> finished);
  // Cancel: the apply ends before its next line; the rows not written say
  // "not sent".
  void Stop();
  bool StopRequested() const;
  // Reads the modem and writes what it holds to path; returns the text for
  // the operator ("Saved 19 settings to ..." or why not).
  std::string Save(const std::string& path, const SaveChoice& choice);

  Phase CurrentPhase() const { return phase_; }
  const std::vector<Row>& Rows() const { return rows_; }
  const std::string& Status() const { return status_; }
  bool CanApply() const { return phase_ == Phase::Compared && !rows_.empty(); }
  int Done() const { return done_; }
  int Total() const { return total_; }

  // After each line sent (done of total): the window repaints its bar.
  std::function<void()> on_progress;

 private:
  Host ApplyHost();
  void Progress(int done, int total);
  void Applied(const ApplyResult& applied);
  // The window given back once a background apply has ended.
  void ApplyEnded();

  forms::ModemSession& modem_;
  Host host_;
  // Reports how many lines of how many have gone out.
  using ApplyJob = Background<ApplyResult, std::pair<int, int>>;
  std::unique_ptr<ApplyJob> apply_;
  std::optional<Profile> profile_;
  std::vector<Row> rows_;
  std::string status_;
  Phase phase_ = Phase::Empty;
  int done_ = 0;
  int total_ = 0;
};

}  // namespace velimo::profile
