#include "serial/net/tcp_connect.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "serial/com_error.h"
#include "serial/net/socket_io.h"

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

[[noreturn]] void FailCancelled(const PortAddress& address) {
  Fail(kNetCancelled, "The connection to " + Describe(address) + " was cancelled.");
}

// getaddrinfo cannot be given a time limit, so it runs on a thread of its
// own; when the limit passes first (or the open is cancelled), the thread
// is left to finish alone and its result is dropped.
struct Lookup {
  std::mutex mutex;
  bool done = false;
  // Signalled once the lookup has ended.
  Waitable done_event = kNoWaitable;
  int rc = 0;
  std::string why;  // the system's words for a failed lookup
  addrinfo* result = nullptr;
  Lookup() {
    try {
      done_event = CreateWakeEvent();
    } catch (const std::system_error&) {
      // The waiting side then sees the end at its deadline.
    }
  }
  ~Lookup() {
    FreeLookUp(result);
    if (done_event != kNoWaitable) DestroyWakeEvent(done_event);
  }
  bool Done() {
    std::lock_guard<std::mutex> lock(mutex);
    return done;
  }
};

std::shared_ptr<Lookup> Resolve(const PortAddress& address, Clock::time_point deadline,
                                const CancelToken* cancel) {
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host = address.host, port = address.port] {
    addrinfo* result = nullptr;
    std::string why;
    const int rc = LookUpHost(host, port, &result, &why);
    {
      std::lock_guard<std::mutex> lock(lookup->mutex);
      lookup->rc = rc;
      lookup->why = std::move(why);
      lookup->result = result;
      lookup->done = true;
    }
    if (lookup->done_event != kNoWaitable) SignalWakeEvent(lookup->done_event);
  }).detach();
  while (!lookup->Done()) {
    if (cancel && cancel->Cancelled()) FailCancelled(address);
    if (MsLeft(deadline) == 0) {
      Fail(kNetTimedOut, "The name " + address.host + " could not be looked up in time.");
    }
    std::vector<Waitable> waits;
    if (lookup->done_event != kNoWaitable) waits.push_back(lookup->done_event);
    if (cancel && cancel->Fd() != kNoWaitable) waits.push_back(cancel->Fd());
    try {
      WaitForAny(waits, MsLeft(deadline));
    } catch (const std::system_error&) {
      // Looked at again until the deadline.
    }
  }
  if (lookup->rc != 0) {
    Fail(lookup->rc, "The name " + address.host + " does not resolve (" + lookup->why + ").");
  }
  return lookup;
}

// One attempt on one address: 0 and the socket, or the error.
int TryConnect(const addrinfo* ai, Clock::time_point deadline, const CancelToken* cancel,
               Socket* out) {
  int err = 0;
  const Socket s = OpenStreamSocket(ai, &err);
  if (s == kNoSocket) return err;
  err = StartConnect(s, ai);
  if (err == kNetInProgress) {
    const SocketWaitResult wait =
        WaitForSocket(s, SocketWant::kWrite, MsLeft(deadline), cancel ? cancel->Fd() : kNoWaitable);
    if (cancel && cancel->Cancelled()) {
      err = kNetCancelled;
    } else if (!wait.ready) {
      err = kNetTimedOut;
    } else {
      err = wait.error ? wait.error : ConnectOutcome(s);
    }
  }
  if (err) {
    CloseSocket(s);
    return err;
  }
  // Each paced byte goes out in its own segment instead of waiting for the
  // acknowledgement of the one before.
  SendAtOnce(s);
  *out = s;
  return 0;
}

}  // namespace

Socket ConnectTcp(const PortAddress& address, int limitMs, const CancelToken* cancel) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  std::shared_ptr<Lookup> lookup = Resolve(address, deadline, cancel);
  int firstErr = 0;
  for (const addrinfo* ai = lookup->result; ai; ai = NextAddress(ai)) {
    Socket s = kNoSocket;
    const int err = TryConnect(ai, deadline, cancel, &s);
    if (!err) return s;
    if (err == kNetCancelled) FailCancelled(address);
    // The first address's failure is the telling one (a refusal on the
    // IPv4 address says more than "unreachable" on an unrouted IPv6 one),
    // unless time ran out.
    if (!firstErr || err == kNetTimedOut) firstErr = err;
    if (MsLeft(deadline) == 0) break;
  }
  const std::string where = Describe(address);
  if (firstErr == kNetRefused) {
    Fail(firstErr, "The connection to " + where + " was refused: nothing listens there.");
  }
  if (firstErr == kNetTimedOut) {
    Fail(firstErr, "No answer from " + where + " within " + std::to_string((limitMs + 999) / 1000) +
                       " s (host down, or a firewall drops the connection).");
  }
  if (firstErr == kNetHostUnreachable || firstErr == kNetNetUnreachable ||
      firstErr == kNetAddrNotAvailable) {
    Fail(firstErr, where + " cannot be reached (" + SocketErrorText(firstErr) + ").");
  }
  if (!firstErr) firstErr = kNetHostUnreachable;
  Fail(firstErr, "The connection to " + where + " failed (" + SocketErrorText(firstErr) + ").");
}

}  // namespace velimo::serial::net
