// The platform without a desktop, on the real clock: for the command-line
// driver and the end-to-end tests. Message boxes and confirmations go to
// callbacks, pauses really sleep, timers tick on the real clock, and an
// event loop run by the caller waits on the serial hand-over and the next
// timer deadline and serves both on the calling thread, which is the
// user-interface thread of the run.
//
// A message box is closed by its reader at once, but while it is "open" it
// serves whatever is already waiting (port batches, due timer ticks), as
// the desktop's nested event loop does; a handler showing a box can
// therefore find a receive event run inside it, just as on the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/platform.h"

namespace velimo::serial {
class TComPort;
}

namespace velimo::forms {

class HeadlessPlatform : public Platform {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  // ---- Platform ----
  void ShowMessage(std::string_view text) override;
  bool Confirm(std::string_view text) override;
  void ShowError(std::string_view text) override;
  void Pause(int ms) override;
  LocalDateTime Now() override;
  int64_t MonotonicMs() override;
  std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override;
  std::unique_ptr<PlatformWatch> WatchReadable(Waitable fd, std::function<void()> onReady) override;
  // Nothing is started here: a headless run cannot hand its work to a new
  // instance. The request is recorded and on_restart is told, so the
  // caller ends its run as the desktop program ends its own.
  void RestartApplication() override;

  // ---- What the reader of the boxes does ----
  // A plain message box (default: "message: <text>" on standard output).
  std::function<void(std::string_view text)> on_message;
  // A Yes/No question; returns the answer (default: No, printed).
  std::function<bool(std::string_view text)> on_confirm;
  // The default error report (default: "message: <text>" on standard
  // output, as the box it stands for).
  std::function<void(std::string_view text)> on_error;
  // A restart was asked for.
  std::function<void()> on_restart;
  // How long each box stays open, serving events meanwhile; 0 serves only
  // what is waiting when it opens.
  int box_open_ms = 0;

  bool RestartRequested() const { return restart_requested_; }
  // Boxes open right now, nested ones counted.
  int OpenBoxes() const { return open_boxes_; }
  bool ModalOpen() const override { return open_boxes_ > 0; }

  // ---- Event sources ----
  // Serves the port's hand-over whenever its wake descriptor is readable.
  // The port must outlive the watch (or be unwatched first).
  void WatchPort(serial::TComPort& port);
  void UnwatchPort(serial::TComPort& port);
  // When a port batch was last served (monotonic ms), -1 before the first:
  // the line has been quiet since then.
  int64_t LastPortActivityMs() const { return last_port_activity_ms_; }

  // ---- The event loop (user-interface thread) ----
  // Serves what is ready now (port batches, due ticks) without waiting.
  void ProcessEvents();
  // Serves events until done() holds or timeoutMs has passed; returns
  // done(). done is checked before each wait.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);
  // Serves events for ms milliseconds.
  void RunFor(int ms);
  // How many times a timer has ticked in this run, and when one last
  // ended its tick (monotonic ms, -1 before the first): a tick may have
  // sent something whose answer is still to come.
  int64_t TicksServed() const { return ticks_served_; }
  int64_t LastTickMs() const { return last_tick_ms_; }
  // How many times the loop has woken (each wait for an event or a timer
  // counts once): an idle program should hardly wake at all.
  int64_t Wakeups() const { return wakeups_; }

 private:
  class Timer;
  friend class Timer;
  struct Watch {
    serial::TComPort* port;
  };
  class DescriptorWatch;
  friend class DescriptorWatch;
  struct Readable {
    DescriptorWatch* watch;
    Waitable fd;
    std::function<void()> on_ready;
  };
  void ServeReadable(const std::vector<Waitable>& ready);

  // One round: waits at most waitMs for a port or the next timer, then
  // serves what is ready.
  void ServeOnce(int waitMs);
  void ServePorts(const std::vector<Waitable>& ready);
  void ServeDueTimers();
  int64_t NextDeadline() const;
  void BoxOpen();

  std::vector<Timer*> timers_;
  std::vector<Watch> watches_;
  std::vector<Readable> readables_;
  int64_t last_port_activity_ms_ = -1;
  int64_t ticks_served_ = 0;
  int64_t wakeups_ = 0;
  int64_t last_tick_ms_ = -1;
  bool restart_requested_ = false;
  int open_boxes_ = 0;
};

}  // namespace velimo::forms
