// Stops a network open that runs on a thread of its own (the name lookup,
// the connection and the server's agreement may take seconds): every wait
// of the open also watches the token and ends at once when it is
// cancelled, so the thread that cancels can wait for the open's end.
#pragma once

#include <atomic>

#include "util/waitable.h"

namespace velimo::serial::net {

class OpenCancel {
 public:
  OpenCancel();
  ~OpenCancel();
  OpenCancel(const OpenCancel&) = delete;
  OpenCancel& operator=(const OpenCancel&) = delete;

  // From any thread; once is enough, more do no harm.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }
  // Readable from the moment of the cancel on, for the waits that poll.
  Waitable Fd() const { return fd_; }

 private:
  std::atomic<bool> cancelled_{false};
  Waitable fd_ = kNoWaitable;
};

}  // namespace velimo::serial::net
