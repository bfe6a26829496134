// A serial port on the far side of a TCP connection, behind the same seam
// as a local tty (see serial/port_transport.h).
//
// rfc2217://HOST:PORT speaks Telnet with port control: the line settings
// are sent to the server and its answers checked, a purge is passed on,
// and the server's line-error and modem-line reports are delivered as a
// local port's. tcp://HOST:PORT carries the bytes alone: the settings stay
// here and are not sent, and a purge drops only what has arrived here.
//
// All socket reads happen on the thread that uses the port (the user-
// interface thread); the port's event thread only waits on the socket. The
// open alone may run on a thread of its own (OpenNetworkTransport), the
// open port then handed to the thread that uses it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "serial/net/port_address.h"
#include "serial/net/socket_io.h"
#include "serial/net/telnet_codec.h"
#include "serial/port_transport.h"
#include "util/cancel_token.h"

namespace velimo::serial::net {

// How long the port waits for the network, and how much it takes in.
struct NetLimits {
  int connect_ms = 5000;  // name lookup and connection
  int answer_ms = 3000;   // the server's agreement to port control, its answers to settings
  // A raw server that takes the connection and at once closes it (its
  // device could not be opened) does so within this time.
  int raw_settle_ms = 200;
  // After a purge, what arrives is held back until the server confirms
  // the purge, at most this long. A server that lets it pass unconfirmed
  // is not waited for again on that connection.
  int purge_confirm_ms = 1000;
  // One read pass takes at most this many bytes from the socket, Telnet
  // commands and subnegotiations counted as data is; the data held for
  // the reader never exceeds it either. The rest waits in the socket, so
  // a server that floods commands cannot keep a pass from ending. A modem
  // sends a few kilobytes a second; a pass of a flood costs milliseconds.
  size_t pass_bytes = 64 * 1024;
};

class NetworkPort : public PortTransport {
 public:
  NetworkPort(PortAddress address, NetLimits limits = {});
  // On a connection already made (a socket pair in tests): Open
  // negotiates on it instead of connecting. The port owns the socket.
  NetworkPort(PortAddress address, NetLimits limits, Socket connected);
  ~NetworkPort() override;
  NetworkPort(const NetworkPort&) = delete;
  NetworkPort& operator=(const NetworkPort&) = delete;

  void Open() override;
  // Open, ended early by cancel from another thread: it then raises code 1
  // with kNetCancelled, and nothing stays open.
  void Open(const CancelToken& cancel);
  void Close() override;
  Waitable Fd() const override;
  void ApplyLineSettings(const TransportSettings& settings) override;
  void Purge(bool input, bool output) override;
  int Write(const void* data, int count, int64_t limitMs) override;
  int Read(void* buffer, int count) override;
  // A network port hands over what has arrived; it never waits for more.
  bool WaitForInput(int64_t) override { return false; }
  // The far side's queues are not ours to drop at a close.
  void DiscardQueues() override {}
  int QueuedInput() override;
  TComErrors LineErrors(bool checkParity) override;
  TComSignals Signals() override;
  bool TakeHangUp() override;

  // The memory the port holds for the connection: data not yet read or
  // held back after a purge, replies and data not yet sent, the server's
  // answers. Bounded by the limits whatever the server does.
  size_t HeldBytes() const;
  // The most bytes a single read pass took from the socket.
  size_t LargestPass() const { return largest_pass_; }
  // Why this side ended the connection; empty while it has not.
  const std::string& Ended() const { return ended_; }
  // How long a later purge's confirmation is waited for. Tests make it
  // longer than they wait, so only the server's act can end a hold.
  void SetPurgeConfirmMs(int ms) { limits_.purge_confirm_ms = ms; }

 private:
  using Clock = std::chrono::steady_clock;
  bool Telnet() const { return address_.kind == NetKind::kRfc2217; }
  // Takes what the socket holds without waiting: decodes it, keeps the
  // data, sends the option replies. Notes a closed or failed connection.
  void Pump();
  // The connection, and over RFC 2217 the server's agreement.
  void Connect();
  // Waits until the socket is readable or the deadline passes, then pumps.
  void WaitAndPump(Clock::time_point deadline);
  void TakeData(std::string& data, std::vector<TelnetCodec::Answer>& answers);
  // A purge not confirmed in time: what was held back is delivered, and
  // confirmations are not waited for again on this connection.
  void StopWaitingForPurges();
  void AwaitPurgeConfirmation();
  // Sends everything (what waits from earlier first); false when the
  // deadline passed first. Raises code `code` on a failed connection.
  bool SendAll(const std::string& bytes, Clock::time_point deadline, int code);
  void FlushReplies();
  // Ends the connection from this side for a misbehaving server; the
  // event thread sees it as a hang-up, and the next operation fails with
  // the reason.
  void EndConnection(const std::string& reason);
  bool Gone() const { return peer_closed_ || socket_error_ != 0 || !ended_.empty(); }
  int GoneError() const;
  [[noreturn]] void FailGone(int code, std::string reason = {}) const;
  // Tells the owner what it should hear (see PortTransport::OnNotice).
  void Announce();
  size_t Room() const;
  std::string Where() const { return Describe(address_); }
  [[noreturn]] void FailOpen(int err, std::string reason);
  // Raises kNetCancelled when the open under way has been cancelled.
  void CheckCancelled();

  PortAddress address_;
  NetLimits limits_;
  Socket fd_ = kNoSocket;
  Socket adopted_fd_ = kNoSocket;
  // What the event thread sleeps on while connected (see socket_io.h).
  Waitable arrivals_ = kNoWaitable;
  TelnetCodec codec_;
  std::string held_;     // received data not yet read
  std::string aside_;    // received after a purge request, before its confirmation
  std::string replies_;  // option replies and data not yet sent
  std::deque<TelnetCodec::Answer> answers_;
  bool peer_closed_ = false;
  int socket_error_ = 0;
  std::string ended_;                    // why this side ended the connection
  std::atomic<bool> ended_here_{false};  // the same, for the event thread
  // Purges asked of the server and not confirmed yet; the oldest must be
  // confirmed by the deadline.
  int unconfirmed_purges_ = 0;
  Clock::time_point purge_deadline_{};
  bool server_confirms_purges_ = true;
  bool written_since_purge_ = false;  // a line went out: its answer is awaited
  std::vector<std::string> notices_;
  size_t largest_pass_ = 0;
  // While a cancellable open runs: its token, watched by every wait.
  const CancelToken* cancel_ = nullptr;
};

// The factory for TComPort: a NetworkPort for a network port name (one
// that is not well formed fails at its open with the reason), nothing for
// any other name.
std::unique_ptr<PortTransport> NetworkTransportFor(const std::string& port);

// Makes the network port for a network port name and opens it (the
// lookup, the connection and, over RFC 2217, the server's agreement to
// port control), for a thread other than the one that will use it: the
// open port is handed to TComPort::OpenPort(transport) there. Raises
// EComPort code 1 with the reason, kNetCancelled once cancel is cancelled;
// nothing stays open then.
std::unique_ptr<PortTransport> OpenNetworkTransport(const std::string& port,
                                                    const CancelToken& cancel,
                                                    NetLimits limits = {});

}  // namespace velimo::serial::net
