// The few socket calls the network port makes, where POSIX and Winsock
// differ: the socket's type (an int there, a SOCKET here), how it is
// closed, how errors are fetched and told, and how a thread sleeps on it.
// The Telnet and port logic above is one code for both systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/waitable.h"

#ifndef _WIN32
#include <cerrno>
#endif

struct addrinfo;

namespace velimo::serial::net {

#ifdef _WIN32
using Socket = std::uintptr_t;  // a SOCKET
#else
using Socket = int;  // a file descriptor
#endif
inline constexpr Socket kNoSocket = static_cast<Socket>(-1);

// The failures the port tells apart, in the system's own numbers: errno
// on POSIX, Winsock's (WSAGetLastError) on Windows, so that the number an
// operator reads in a message is the one the system documents.
#ifdef _WIN32
inline constexpr int kNetWouldBlock = 10035;        // WSAEWOULDBLOCK
inline constexpr int kNetInProgress = 10035;        // a connect under way: WSAEWOULDBLOCK
inline constexpr int kNetInterrupted = 10004;       // WSAEINTR
inline constexpr int kNetRefused = 10061;           // WSAECONNREFUSED
inline constexpr int kNetTimedOut = 10060;          // WSAETIMEDOUT
inline constexpr int kNetHostUnreachable = 10065;   // WSAEHOSTUNREACH
inline constexpr int kNetNetUnreachable = 10051;    // WSAENETUNREACH
inline constexpr int kNetAddrNotAvailable = 10049;  // WSAEADDRNOTAVAIL
inline constexpr int kNetReset = 10054;             // WSAECONNRESET
inline constexpr int kNetNoSupport = 10043;         // WSAEPROTONOSUPPORT
inline constexpr int kNetNotOpen = 10038;           // WSAENOTSOCK
inline constexpr int kNetInvalid = 10022;           // WSAEINVAL
inline constexpr int kNetCancelled = 1223;          // ERROR_CANCELLED
inline constexpr int kNetProtocol = 13;  // ERROR_INVALID_DATA: the server broke the protocol
#else
inline constexpr int kNetWouldBlock = EAGAIN;
inline constexpr int kNetInProgress = EINPROGRESS;
inline constexpr int kNetInterrupted = EINTR;
inline constexpr int kNetRefused = ECONNREFUSED;
inline constexpr int kNetTimedOut = ETIMEDOUT;
inline constexpr int kNetHostUnreachable = EHOSTUNREACH;
inline constexpr int kNetNetUnreachable = ENETUNREACH;
inline constexpr int kNetAddrNotAvailable = EADDRNOTAVAIL;
inline constexpr int kNetReset = ECONNRESET;
inline constexpr int kNetNoSupport = EPROTONOSUPPORT;
inline constexpr int kNetNotOpen = EBADF;
inline constexpr int kNetInvalid = EINVAL;
inline constexpr int kNetCancelled = ECANCELED;
inline constexpr int kNetProtocol = EPROTO;
#endif

// The failure of the last socket call on this thread.
int LastSocketError();
// The system's words for a socket failure.
std::string SocketErrorText(int err);

// Looks host up for a stream connection to port (the sockets library is
// started first where it must be). 0 and the addresses, or the failure's
// number and the system's words for it.
int LookUpHost(const std::string& host, int port, addrinfo** result, std::string* why);
void FreeLookUp(addrinfo* result);
// The lookup's next address, or nullptr.
const addrinfo* NextAddress(const addrinfo* address);

// A non-blocking stream socket for the address, not inherited by child
// processes; kNoSocket with *err set when the system gives none.
Socket OpenStreamSocket(const addrinfo* address, int* err);
// Starts the connection: 0 when made at once, kNetInProgress while it is
// under way, otherwise the failure.
int StartConnect(Socket s, const addrinfo* address);
// How a connection under way ended, once the socket is writable: 0 or the
// failure.
int ConnectOutcome(Socket s);
// Each write goes out in its own segment at once (no coalescing).
void SendAtOnce(Socket s);
void CloseSocket(Socket s);
// Both ways shut; the far side is told.
void ShutdownSocket(Socket s);
// Moves bytes without waiting: the count, 0 when the far side closed (a
// receive only), or -1 with LastSocketError set.
long SendSome(Socket s, const char* data, size_t count);
long ReceiveSome(Socket s, char* buffer, size_t count);
// After a read pass that left bytes in the socket: makes the socket's
// watcher (arrivals, from WatchArrivals) wake for them again without
// waiting for the next arrival.
void RewakeReader(Socket s, Waitable arrivals);

enum class SocketWant { kRead, kWrite, kHangUpOnly };
struct SocketWaitResult {
  bool ready = false;      // readable (or hung up) / writable, as wanted
  bool hung_up = false;    // the far side has closed, or the connection failed
  bool cancelled = false;  // cancel was signalled first
  int error = 0;           // a connection's failure, where the wake-up told it
};
// Sleeps until the socket is as wanted, timeoutMs pass (negative: no
// limit) or cancel (when given) is signalled.
SocketWaitResult WaitForSocket(Socket s, SocketWant want, int timeoutMs,
                               Waitable cancel = kNoWaitable);

// What the port's event thread sleeps on for a connected socket: the
// socket itself on POSIX; on Windows an event the socket signals when
// bytes arrive and when the far side closes. Raises std::system_error
// when the system has none to give.
Waitable WatchArrivals(Socket s);
void StopWatchingArrivals(Socket s, Waitable arrivals);
// Wakes the watcher where closing the socket's ways does not (Windows).
void WakeArrivalsWatcher(Waitable arrivals);
// Asked by the event thread after each wake-up: true once the far side
// has closed. On Windows it takes what the socket recorded, which also
// re-arms the event; on POSIX the wait tells the hang-up itself (false).
bool TakeHangUp(Socket s, Waitable arrivals);

}  // namespace velimo::serial::net
