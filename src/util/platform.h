// What the logic needs of the desktop and the clock. The Qt front end gives
// the real thing (message boxes that run a nested event loop, real timers);
// tests use a virtual-time implementation, so every handler can be run and
// checked without a display and without waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "util/waitable.h"

namespace velimo {

struct LocalDateTime {
  int year = 2000;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// A repeating timer. Its tick runs on the user-interface thread.
class PlatformTimer {
 public:
  virtual ~PlatformTimer() = default;
  // Starts (or restarts) ticking every intervalMs milliseconds.
  virtual void Start(int intervalMs) = 0;
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
};

// A descriptor the platform watches; destroying it ends the watch.
class PlatformWatch {
 public:
  virtual ~PlatformWatch() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Modal message box captioned with the application title "Velimo", OK only.
  // While it is open, port events and timer ticks keep being served.
  virtual void ShowMessage(std::string_view text) = 0;
  // Whether a modal box or dialog is open now (its nested loop is what
  // serves the caller): what the operator answers there comes first.
  virtual bool ModalOpen() const { return false; }
  // Modal Yes/No question; true when the operator answers Yes.
  virtual bool Confirm(std::string_view text) = 0;
  // The application's default error report (error icon, OK). The text is
  // shown as given; DefaultErrorText() makes it from an error's message.
  virtual void ShowError(std::string_view text) = 0;

  // Blocks the user-interface thread for ms milliseconds, serving nothing.
  virtual void Pause(int ms) = 0;
  // Local wall-clock time; the trace reads time and date separately.
  virtual LocalDateTime Now() = 0;
  // Milliseconds on a monotonic clock, for waits and measurements.
  virtual int64_t MonotonicMs() = 0;

  // Moves the input focus to the named control of the active window, as a
  // refused value does with its editor.
  virtual void MoveFocus(std::string_view controlName) { (void)controlName; }

  // A timer whose tick calls onTick on the user-interface thread.
  virtual std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) = 0;

  // Calls onReady on the user-interface thread whenever fd is readable
  // (signalled, on Windows), until the returned watch is destroyed.
  // nullptr where the platform watches nothing (the logic then hears
  // nothing of it).
  virtual std::unique_ptr<PlatformWatch> WatchReadable(Waitable fd, std::function<void()> onReady) {
    (void)fd;
    (void)onReady;
    return nullptr;
  }
  // Starts the program's own executable anew (no arguments, same working
  // directory) and ends this instance without its close handler.
  virtual void RestartApplication() = 0;

  // The window is busy (a sequence of commands blocks it) from BeginBusy
  // until the matching EndBusy: the operator sees the wait cursor. Calls
  // nest; only the outermost pair counts. Use BusyScope rather than the
  // bare calls, so that every way out of the busy stretch ends it.
  virtual void BeginBusy() {}
  virtual void EndBusy() {}
};

// Shows the platform busy for the lifetime of the object.
class BusyScope {
 public:
  explicit BusyScope(Platform& platform) : platform_(platform) { platform_.BeginBusy(); }
  ~BusyScope() { platform_.EndBusy(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  Platform& platform_;
};

// The default error report's text: the message with a full stop appended
// when its last character sorts after "." (a letter or a digit, say).
std::string DefaultErrorText(std::string_view message);

}  // namespace velimo
