#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "util/waitable.h"

namespace velimo {

std::vector<Waitable> WaitForAny(const std::vector<Waitable>& items, int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(items.size());
  for (Waitable fd : items) fds.push_back(pollfd{fd, POLLIN, 0});
  int n;
  do {
    n = poll(fds.data(), fds.size(), timeoutMs < 0 ? -1 : timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw std::system_error(errno, std::generic_category(), "poll");
  std::vector<Waitable> ready;
  for (const pollfd& p : fds)
    if (p.revents & POLLIN) ready.push_back(p.fd);
  return ready;
}

Waitable CreateWakeEvent() {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}

void DestroyWakeEvent(Waitable event) {
  if (event >= 0) close(event);
}

void SignalWakeEvent(Waitable event) {
  uint64_t one = 1;
  while (write(event, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void ResetWakeEvent(Waitable event) {
  uint64_t value;
  while (read(event, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

}  // namespace velimo
