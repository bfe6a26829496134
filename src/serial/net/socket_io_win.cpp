// Winsock. The library is started once, at the first lookup or socket,
// and stays for the program's life. A socket watched by the port's event
// thread signals an event (WSAEventSelect) when bytes arrive and when the
// far side closes; the thread takes what was recorded after each wake-up,
// which re-arms the event. Waits of the port's own thread use WSAPoll,
// which leaves that event alone; a wait that a cancel may end (the open)
// watches the socket through an event of its own instead, before the
// event thread's is set up.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <system_error>

#include "serial/net/socket_io.h"
#include "util/wide_text_win.h"

namespace velimo::serial::net {

namespace {

void StartSockets() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    // A failure here shows at the first socket call, with its number.
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

SOCKET Raw(Socket s) {
  return static_cast<SOCKET>(s);
}

}  // namespace

int LastSocketError() {
  return WSAGetLastError();
}

std::string SocketErrorText(int err) {
  return SystemErrorText(static_cast<unsigned long>(err));
}

int LookUpHost(const std::string& host, int port, addrinfo** result, std::string* why) {
  StartSockets();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // No AI_ADDRCONFIG: Windows does not count the loopback address as
  // configured, so on a laptop without a network "localhost" would not
  // resolve.
  hints.ai_flags = AI_NUMERICSERV;
  *result = nullptr;
  const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, result);
  if (rc == 0) return 0;
  *why = SocketErrorText(rc);
  return rc;
}

void FreeLookUp(addrinfo* result) {
  if (result) freeaddrinfo(result);
}

const addrinfo* NextAddress(const addrinfo* address) {
  return address->ai_next;
}

Socket OpenStreamSocket(const addrinfo* address, int* err) {
  StartSockets();
  SOCKET s = WSASocketW(address->ai_family, address->ai_socktype, address->ai_protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    *err = WSAGetLastError();
    return kNoSocket;
  }
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    *err = WSAGetLastError();
    closesocket(s);
    return kNoSocket;
  }
  return static_cast<Socket>(s);
}

int StartConnect(Socket s, const addrinfo* address) {
  if (connect(Raw(s), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) return 0;
  return WSAGetLastError();  // WSAEWOULDBLOCK while it is under way
}

int ConnectOutcome(Socket s) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(Raw(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
    err = WSAGetLastError();
  return err;
}

void SendAtOnce(Socket s) {
  BOOL one = TRUE;
  setsockopt(Raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void CloseSocket(Socket s) {
  if (s != kNoSocket) closesocket(Raw(s));
}

void ShutdownSocket(Socket s) {
  shutdown(Raw(s), SD_BOTH);
}

long SendSome(Socket s, const char* data, size_t count) {
  const int n = send(Raw(s), data, static_cast<int>(std::min<size_t>(count, INT_MAX)), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveSome(Socket s, char* buffer, size_t count) {
  const int n = recv(Raw(s), buffer, static_cast<int>(std::min<size_t>(count, INT_MAX)), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

// A receive that leaves bytes behind records a new arrival itself.
void RewakeReader(Socket, Waitable arrivals) {
  // Winsock posts FD_READ again after a receive that leaves bytes behind,
  // but the event thread's look at the recorded events resets the event,
  // and under wine a repost that races with that look is lost: the bytes
  // left would wait for the server's next ones. Set the event here, so the
  // event thread comes for another pass whatever the order.
  if (arrivals != kNoWaitable) WSASetEvent(arrivals);
}

SocketWaitResult WaitForSocket(Socket s, SocketWant want, int timeoutMs, Waitable cancel) {
  SocketWaitResult result;
  if (cancel == kNoWaitable) {
    WSAPOLLFD p{};
    p.fd = Raw(s);
    p.events = want == SocketWant::kRead ? POLLRDNORM : want == SocketWant::kWrite ? POLLWRNORM : 0;
    if (WSAPoll(&p, 1, timeoutMs) <= 0) return result;
    result.hung_up = (p.revents & (POLLHUP | POLLERR)) != 0;
    result.ready = p.revents != 0;
    return result;
  }
  // The socket's state at the selection is recorded at once, so nothing
  // that happened before the wait is missed.
  WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) return result;
  const long wanted =
      want == SocketWant::kWrite ? FD_WRITE | FD_CONNECT | FD_CLOSE : FD_READ | FD_CLOSE;
  if (WSAEventSelect(Raw(s), event, wanted) == 0) {
    try {
      for (Waitable ready : WaitForAny({event, cancel}, timeoutMs)) {
        if (ready == cancel) result.cancelled = true;
      }
    } catch (const std::system_error&) {
      // Told as a wait whose time ran out.
    }
    WSANETWORKEVENTS recorded{};
    if (WSAEnumNetworkEvents(Raw(s), event, &recorded) == 0) {
      result.ready = (recorded.lNetworkEvents & wanted) != 0;
      if (recorded.lNetworkEvents & FD_CONNECT) result.error = recorded.iErrorCode[FD_CONNECT_BIT];
      result.hung_up = (recorded.lNetworkEvents & FD_CLOSE) != 0 || result.error != 0;
    }
    WSAEventSelect(Raw(s), nullptr, 0);
  }
  WSACloseEvent(event);
  return result;
}

Waitable WatchArrivals(Socket s) {
  WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT)
    throw std::system_error(WSAGetLastError(), std::system_category(), "WSACreateEvent");
  if (WSAEventSelect(Raw(s), event, FD_READ | FD_CLOSE) != 0) {
    const int err = WSAGetLastError();
    WSACloseEvent(event);
    throw std::system_error(err, std::system_category(), "WSAEventSelect");
  }
  return event;
}

void StopWatchingArrivals(Socket s, Waitable arrivals) {
  if (arrivals == kNoWaitable) return;
  if (s != kNoSocket) WSAEventSelect(Raw(s), nullptr, 0);
  WSACloseEvent(arrivals);
}

void WakeArrivalsWatcher(Waitable arrivals) {
  if (arrivals != kNoWaitable) WSASetEvent(arrivals);
}

bool TakeHangUp(Socket s, Waitable arrivals) {
  WSANETWORKEVENTS recorded{};
  if (WSAEnumNetworkEvents(Raw(s), arrivals, &recorded) != 0) {
    // A socket that cannot be asked any more is one that has gone.
    WSAResetEvent(arrivals);
    return true;
  }
  return (recorded.lNetworkEvents & FD_CLOSE) != 0;
}

}  // namespace velimo::serial::net
