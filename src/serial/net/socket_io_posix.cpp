#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "serial/net/socket_io.h"

namespace velimo::serial::net {

int LastSocketError() {
  return errno;
}

std::string SocketErrorText(int err) {
  return std::strerror(err);
}

int LookUpHost(const std::string& host, int port, addrinfo** result, std::string* why) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
  *result = nullptr;
  const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, result);
  // errno of this thread, where a system error of the lookup is told.
  const int err = errno;
  if (rc == 0) return 0;
  if (rc == EAI_SYSTEM && err) {
    *why = std::strerror(err);
    return err;
  }
  *why = gai_strerror(rc);
  return EHOSTUNREACH;
}

void FreeLookUp(addrinfo* result) {
  if (result) freeaddrinfo(result);
}

const addrinfo* NextAddress(const addrinfo* address) {
  return address->ai_next;
}

Socket OpenStreamSocket(const addrinfo* address, int* err) {
  const int fd = socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                        address->ai_protocol);
  if (fd < 0) *err = errno;
  return fd < 0 ? kNoSocket : fd;
}

int StartConnect(Socket s, const addrinfo* address) {
  return connect(s, address->ai_addr, address->ai_addrlen) < 0 ? errno : 0;
}

int ConnectOutcome(Socket s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
  return err;
}

void SendAtOnce(Socket s) {
  int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void CloseSocket(Socket s) {
  if (s >= 0) close(s);
}

void ShutdownSocket(Socket s) {
  shutdown(s, SHUT_RDWR);
}

// MSG_DONTWAIT: a socket handed over by the caller may be a blocking one.
long SendSome(Socket s, const char* data, size_t count) {
  return send(s, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long ReceiveSome(Socket s, char* buffer, size_t count) {
  return recv(s, buffer, count, MSG_DONTWAIT);
}

void RewakeReader(Socket s, Waitable) {
  // Setting the low-water mark anew makes Linux signal the socket readable
  // at once (since 4.18), which wakes the event thread for another pass;
  // elsewhere nothing happens.
  const int one = 1;
  setsockopt(s, SOL_SOCKET, SO_RCVLOWAT, &one, sizeof one);
}

SocketWaitResult WaitForSocket(Socket s, SocketWant want, int timeoutMs, Waitable cancel) {
  const short events = want == SocketWant::kRead    ? POLLIN
                       : want == SocketWant::kWrite ? POLLOUT
                                                    : 0;
  pollfd p[2] = {{s, events, 0}, {cancel, POLLIN, 0}};
  int rc;
  do {
    rc = poll(p, 2, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  SocketWaitResult result;
  if (rc <= 0) return result;
  result.cancelled = p[1].revents != 0;
  result.hung_up = (p[0].revents & (POLLHUP | POLLERR)) != 0;
  result.ready = p[0].revents != 0;
  return result;
}

Waitable WatchArrivals(Socket s) {
  return s;
}

void StopWatchingArrivals(Socket, Waitable) {}

void WakeArrivalsWatcher(Waitable) {}

bool TakeHangUp(Socket, Waitable) {
  return false;
}

}  // namespace velimo::serial::net
