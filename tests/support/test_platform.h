// The platform for tests: a virtual clock that a pause advances at once,
// timers that tick only while a test runs the clock forward, and message
// boxes that are recorded instead of shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/platform.h"

namespace velimo::test {

class TestPlatform : public Platform {
 public:
  enum class DialogKind { Message, Confirm, Error };
  struct Dialog {
    DialogKind kind;
    std::string text;
    int64_t at_ms;
  };
  struct PauseRecord {
    int64_t at_ms;
    int ms;
  };
  // One change of the busy indicator as the operator would see it: the
  // outermost BeginBusy (on) or its matching EndBusy (off).
  struct BusyChange {
    bool on;
    int64_t at_ms;
  };

  TestPlatform();
  ~TestPlatform() override;

  void ShowMessage(std::string_view text) override;
  bool Confirm(std::string_view text) override;
  void ShowError(std::string_view text) override;
  bool ModalOpen() const override { return modal_depth_ > 0; }
  void Pause(int ms) override;
  LocalDateTime Now() override;
  int64_t MonotonicMs() override { return now_ms_; }
  std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override;
  void RestartApplication() override { ++restarts; }
  void MoveFocus(std::string_view controlName) override { focus.emplace_back(controlName); }
  void BeginBusy() override;
  void EndBusy() override;

  // Sets the wall clock to read `at` now; virtual time does not move.
  void SetWallClock(const LocalDateTime& at);
  // Runs the virtual clock forward, ticking due timers in time order.
  void RunUntil(int64_t ms);
  void Advance(int64_t ms) { RunUntil(now_ms_ + ms); }
  int64_t NowMs() const { return now_ms_; }

  // The texts of every message box of a kind, in order.
  std::vector<std::string> Messages(DialogKind kind = DialogKind::Message) const;
  void ClearRecords();

  std::vector<Dialog> dialogs;
  std::vector<PauseRecord> pauses;
  int restarts = 0;
  // Busy calls not yet ended (nested ones counted); an EndBusy without a
  // BeginBusy is counted in unbalanced_busy_ends instead.
  int busy_depth = 0;
  int unbalanced_busy_ends = 0;
  std::vector<BusyChange> busy_changes;
  // The busy depth each message box was opened at, in the order of dialogs.
  std::vector<int> busy_at_dialog;
  // Control names the focus was moved to, in order.
  std::vector<std::string> focus;
  // Virtual milliseconds that pass with every read of the wall clock (after
  // the read), so a test can let midnight fall between two reads.
  int now_read_step_ms = 0;
  // Answer to each confirmation (default Yes).
  std::function<bool(std::string_view)> confirm_answer = [](std::string_view) { return true; };
  // Runs while a message box or confirmation is open, to mimic the nested
  // event loop (serve pending port events, say).
  std::function<void()> while_modal;

 private:
  int modal_depth_ = 0;
  class Timer;
  friend class Timer;
  void Modal();

  int64_t now_ms_ = 0;
  int64_t wall_base_ms_ = 0;  // local time at virtual time 0, in ms since 1970
  std::vector<Timer*> timers_;
};

}  // namespace velimo::test
