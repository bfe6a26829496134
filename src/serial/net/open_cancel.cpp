#include "serial/net/open_cancel.h"

#include <system_error>

namespace velimo::serial::net {

OpenCancel::OpenCancel() {
  try {
    fd_ = CreateWakeEvent();
  } catch (const std::system_error&) {
    // The waits then see the flag only.
  }
}

OpenCancel::~OpenCancel() {
  if (fd_ != kNoWaitable) DestroyWakeEvent(fd_);
}

void OpenCancel::Cancel() {
  if (cancelled_.exchange(true)) return;
  // Never reset: the event stays signalled, and every later wait on it
  // ends at once too.
  if (fd_ != kNoWaitable) SignalWakeEvent(fd_);
}

}  // namespace velimo::serial::net
