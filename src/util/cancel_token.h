// The owner's "stop" to work on another thread: a flag the work looks at
// between its steps, and a wake-up that turns readable (signalled) when it
// is set, so a wait of the work (a socket, a name lookup) ends at once too.
#pragma once

#include <atomic>
#include <system_error>

#include "util/waitable.h"

namespace velimo {

class CancelToken {
 public:
  CancelToken() {
    try {
      fd_ = CreateWakeEvent();
    } catch (const std::system_error&) {
      // The waits then see the flag only.
    }
  }
  ~CancelToken() {
    if (fd_ != kNoWaitable) DestroyWakeEvent(fd_);
  }
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // From any thread; once is enough. The wake-up is never reset, so every
  // later wait on it ends at once too.
  void Cancel() {
    if (!cancelled_.exchange(true) && fd_ != kNoWaitable) SignalWakeEvent(fd_);
  }
  bool Cancelled() const { return cancelled_.load(); }
  // The flag itself, for work that polls a plain flag (a scan's probes).
  const std::atomic<bool>& Flag() const { return cancelled_; }
  // Readable once cancelled; kNoWaitable when the system had none left.
  Waitable Fd() const { return fd_; }

 private:
  std::atomic<bool> cancelled_{false};
  Waitable fd_ = kNoWaitable;
};

}  // namespace velimo
