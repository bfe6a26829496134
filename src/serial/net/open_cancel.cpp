#include "serial/net/open_cancel.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace velimo::serial::net {

OpenCancel::OpenCancel() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

OpenCancel::~OpenCancel() {
  if (fd_ >= 0) close(fd_);
}

void OpenCancel::Cancel() {
  if (cancelled_.exchange(true)) return;
  // Never read: the descriptor stays readable, and every later wait on
  // it ends at once too.
  const uint64_t one = 1;
  if (fd_ >= 0 && write(fd_, &one, sizeof one) < 0) {
    // A full counter cannot happen with one write; the flag still holds.
  }
}

}  // namespace velimo::serial::net
