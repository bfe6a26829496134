#include "forms/controls/timer.h"

namespace velimo::forms {

void TTimer::Attach(Platform& platform) {
  timer_ = platform.CreateTimer([this] {
    if (enabled_ && OnTimer) OnTimer();
  });
  Restart();
}

void TTimer::Restart() {
  if (!timer_) return;
  if (enabled_ && interval_ > 0)
    timer_->Start(interval_);
  else
    timer_->Stop();
}

void TTimer::SetInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Restart();
}

}  // namespace velimo::forms
