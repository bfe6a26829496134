// An outgoing TCP connection with a time limit on everything it waits for:
// the name lookup and the connection itself. The operating system's own
// limits run to minutes; an operator in a dialog should wait seconds.
#pragma once

#include <string>

#include "serial/net/port_address.h"
#include "serial/net/socket_io.h"
#include "util/cancel_token.h"

namespace velimo::serial::net {

// Connects to the address within limitMs and returns a non-blocking socket
// that sends each write at once (no coalescing of small segments, so a
// paced byte leaves when it is written). Raises EComPort code 1 with the
// system error and the reason: the name does not resolve, nothing listens,
// the host cannot be reached, no answer in time; with kNetCancelled when cancel
// (if given) was cancelled first, from another thread.
Socket ConnectTcp(const PortAddress& address, int limitMs, const CancelToken* cancel = nullptr);

}  // namespace velimo::serial::net
