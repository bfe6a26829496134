#include "serial/net/tcp_connect.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/com_error.h"

namespace velimo::serial::net {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

[[noreturn]] void Fail(int err, std::string reason) {
  throw EComPort(CError_OpenFailed, err, std::move(reason));
}

// Waits until fd is readable, the deadline passes or cancel is cancelled;
// true only for the first.
bool WaitReadable(int fd, short events, Clock::time_point deadline, const OpenCancel* cancel) {
  pollfd p[2] = {{fd, events, 0}, {cancel ? cancel->Fd() : -1, POLLIN, 0}};
  for (;;) {
    if (cancel && cancel->Cancelled()) return false;
    const int rc = poll(p, 2, MsLeft(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return false;
    if (p[1].revents) return false;
    return true;
  }
}

[[noreturn]] void FailCancelled(const PortAddress& address) {
  Fail(ECANCELED, "The connection to " + Describe(address) + " was cancelled.");
}

// getaddrinfo cannot be given a time limit, so it runs on a thread of its
// own; when the limit passes first (or the open is cancelled), the thread
// is left to finish alone and its result is dropped.
struct Lookup {
  std::mutex mutex;
  bool done = false;
  // Readable once the lookup has ended.
  int done_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  int rc = 0;
  // errno of the lookup thread, where a system error of the lookup is
  // told: the waiting thread's own errno says nothing about it.
  int system_error = 0;
  addrinfo* result = nullptr;
  ~Lookup() {
    if (result) freeaddrinfo(result);
    if (done_fd >= 0) close(done_fd);
  }
  bool Done() {
    std::lock_guard<std::mutex> lock(mutex);
    return done;
  }
};

std::shared_ptr<Lookup> Resolve(const PortAddress& address, Clock::time_point deadline,
                                const OpenCancel* cancel) {
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host = address.host, service = std::to_string(address.port)] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* result = nullptr;
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    const int err = errno;
    {
      std::lock_guard<std::mutex> lock(lookup->mutex);
      lookup->rc = rc;
      lookup->system_error = err;
      lookup->result = result;
      lookup->done = true;
    }
    const uint64_t one = 1;
    if (lookup->done_fd >= 0 && write(lookup->done_fd, &one, sizeof one) < 0) {
      // The waiting side then sees the end at its deadline.
    }
  }).detach();
  while (!lookup->Done()) {
    if (cancel && cancel->Cancelled()) FailCancelled(address);
    if (MsLeft(deadline) == 0) {
      Fail(ETIMEDOUT, "The name " + address.host + " could not be looked up in time.");
    }
    WaitReadable(lookup->done_fd, POLLIN, deadline, cancel);
  }
  if (lookup->rc != 0) {
    const bool system = lookup->rc == EAI_SYSTEM && lookup->system_error;
    const int err = system ? lookup->system_error : EHOSTUNREACH;
    Fail(err, "The name " + address.host + " does not resolve (" +
                  (system ? std::strerror(err) : gai_strerror(lookup->rc)) + ").");
  }
  return lookup;
}

// One attempt on one address: 0 and the socket, or the error.
int TryConnect(const addrinfo* ai, Clock::time_point deadline, const OpenCancel* cancel,
               int* fdOut) {
  int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
  if (fd < 0) return errno;
  int err = 0;
  if (connect(fd, ai->ai_addr, ai->ai_addrlen) < 0) {
    if (errno != EINPROGRESS) {
      err = errno;
    } else {
      if (!WaitReadable(fd, POLLOUT, deadline, cancel)) {
        err = cancel && cancel->Cancelled() ? ECANCELED : ETIMEDOUT;
      } else {
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
      }
    }
  }
  if (err) {
    close(fd);
    return err;
  }
  // Each paced byte goes out in its own segment instead of waiting for the
  // acknowledgement of the one before.
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  *fdOut = fd;
  return 0;
}

}  // namespace

int ConnectTcp(const PortAddress& address, int limitMs, const OpenCancel* cancel) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  std::shared_ptr<Lookup> lookup = Resolve(address, deadline, cancel);
  int firstErr = 0;
  for (const addrinfo* ai = lookup->result; ai; ai = ai->ai_next) {
    int fd = -1;
    int err = TryConnect(ai, deadline, cancel, &fd);
    if (!err) return fd;
    if (err == ECANCELED) FailCancelled(address);
    // The first address's failure is the telling one (a refusal on the
    // IPv4 address says more than "unreachable" on an unrouted IPv6 one),
    // unless time ran out.
    if (!firstErr || err == ETIMEDOUT) firstErr = err;
    if (MsLeft(deadline) == 0) break;
  }
  const std::string where = Describe(address);
  switch (firstErr) {
    case ECONNREFUSED:
      Fail(firstErr, "The connection to " + where + " was refused: nothing listens there.");
    case ETIMEDOUT:
      Fail(firstErr, "No answer from " + where + " within " +
                         std::to_string((limitMs + 999) / 1000) +
                         " s (host down, or a firewall drops the connection).");
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EADDRNOTAVAIL:
      Fail(firstErr, where + " cannot be reached (" + std::strerror(firstErr) + ").");
    default:
      Fail(firstErr ? firstErr : EHOSTUNREACH,
           "The connection to " + where + " failed (" +
               std::strerror(firstErr ? firstErr : EHOSTUNREACH) + ").");
  }
}

}  // namespace velimo::serial::net
