// A window timer as the handlers use it: an interval, an Enabled switch and
// a tick handler. Switching it on when it is already on does not restart
// the count, so a status query sent shortly before the watchdog's next tick
// is judged at that tick.
#pragma once

#include <functional>
#include <memory>

#include "util/platform.h"

namespace velimo::forms {

class TTimer {
 public:
  TTimer(const char* name, int intervalMs) : name_(name), interval_(intervalMs) {}
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  const char* Name() const { return name_; }

  // Connects the timer to the platform's clock; until then it only records
  // its settings. An enabled timer starts counting here.
  void Attach(Platform& platform);

  int Interval() const { return interval_; }
  // A new interval restarts the count of an enabled timer.
  void SetInterval(int ms);
  bool Enabled() const { return enabled_; }
  // true on a running timer changes nothing; false stops it.
  void SetEnabled(bool enabled);

  // Runs at each tick on the user-interface thread.
  std::function<void()> OnTimer;

 private:
  void Restart();

  const char* name_;
  int interval_;
  bool enabled_ = false;
  std::unique_ptr<PlatformTimer> timer_;
};

}  // namespace velimo::forms
