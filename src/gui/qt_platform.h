// The platform seam on Qt: message boxes that run a nested event loop (so
// port hand-overs and timer ticks are served while one is open), a pause
// that blocks the user-interface thread and serves nothing, QTimer-based
// timers, and the restart of the program.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "util/platform.h"

namespace velimo::gui {

// The caption of every plain message box and of the default error report.
inline constexpr const char* kApplicationTitle = "Velimo";

class QtPlatform : public Platform {
 public:
  QtPlatform();
  ~QtPlatform() override;

  void ShowMessage(std::string_view text) override;
  bool Confirm(std::string_view text) override;
  void ShowError(std::string_view text) override;
  bool ModalOpen() const override;
  void Pause(int ms) override;
  LocalDateTime Now() override;
  int64_t MonotonicMs() override;
  std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override;
  std::unique_ptr<PlatformWatch> WatchReadable(int fd, std::function<void()> onReady) override;
  void RestartApplication() override;
  // The wait cursor over the whole application while a sequence runs; a
  // message box opened meanwhile gets the ordinary arrow, since it waits
  // for the operator.
  void BeginBusy() override;
  void EndBusy() override;
  bool Busy() const { return busy_depth_ > 0; }

  // Message boxes are centred over this window when it is shown.
  void SetOwnerWindow(QWidget* window) { owner_ = window; }

  // Runs before the event loop is told to end on a restart, instead of
  // nothing; the main window uses it to skip its close handler.
  std::function<void()> before_restart;
  // Starts the new instance; returns false when it could not be started.
  // Replaceable so tests can watch a restart without starting a program.
  std::function<bool()> start_new_instance;

  // How many modal boxes are open right now (nested ones counted).
  int OpenBoxes() const { return open_boxes_; }

 private:
  QWidget* DialogParent() const;

  QPointer<QWidget> owner_;
  int open_boxes_ = 0;
  int busy_depth_ = 0;
};

// Runs fn and hands any error that escapes it to the default error report,
// as the application does for every operator-triggered handler; the
// program then goes on waiting for the next action.
void RunGuarded(Platform& platform, const std::function<void()>& fn);

}  // namespace velimo::gui
