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
// interface thread); the port's event thread only waits on the socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/net/port_address.h"
#include "serial/net/telnet_codec.h"
#include "serial/port_transport.h"

namespace velimo::serial::net {

// How long the port waits for the network.
struct NetTiming {
  int connect_ms = 5000;  // name lookup and connection
  int answer_ms = 3000;   // the server's agreement to port control, its answers to settings
  // A raw server that takes the connection and at once closes it (its
  // device could not be opened) does so within this time.
  int raw_settle_ms = 200;
  // Data is dropped after a purge until the server confirms it, at most
  // this long (a server that never confirms must not silence the line).
  int purge_confirm_ms = 1000;
};

class NetworkPort : public PortTransport {
 public:
  NetworkPort(PortAddress address, NetTiming timing = {});
  // On a connection already made (a socket pair in tests): Open
  // negotiates on it instead of connecting. The port owns the socket.
  NetworkPort(PortAddress address, NetTiming timing, int connectedFd);
  ~NetworkPort() override;
  NetworkPort(const NetworkPort&) = delete;
  NetworkPort& operator=(const NetworkPort&) = delete;

  void Open() override;
  void Close() override;
  int Fd() const override { return fd_; }
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

  // Received data is held up to this much; the rest waits in the socket.
  static constexpr size_t kMaxHeld = 1 << 20;

 private:
  using Clock = std::chrono::steady_clock;
  bool Telnet() const { return address_.kind == NetKind::kRfc2217; }
  // Takes what the socket holds without waiting: decodes it, keeps the
  // data, sends the option replies. Notes a closed or failed connection.
  void Pump();
  // Waits until the socket is readable or the deadline passes, then pumps.
  void WaitAndPump(Clock::time_point deadline);
  void TakeData(std::string& data, std::vector<TelnetCodec::Answer>& answers);
  // Sends everything (what waits from earlier first); false when the
  // deadline passed first. Raises code `code` on a failed connection.
  bool SendAll(const std::string& bytes, Clock::time_point deadline, int code);
  void FlushReplies();
  bool Gone() const { return peer_closed_ || socket_error_ != 0; }
  int GoneError() const;
  std::string Where() const { return Describe(address_); }
  [[noreturn]] void FailOpen(int err, const std::string& reason);

  PortAddress address_;
  NetTiming timing_;
  int fd_ = -1;
  int adopted_fd_ = -1;
  TelnetCodec codec_;
  std::string held_;     // received data not yet read
  std::string replies_;  // option replies not yet sent
  std::string said_;     // the first bytes a raw server sent, for a refusal's reason
  std::vector<TelnetCodec::Answer> answers_;
  bool peer_closed_ = false;
  int socket_error_ = 0;
  bool dropping_until_purged_ = false;
  Clock::time_point purge_deadline_{};
};

// The factory for TComPort: a NetworkPort for a network port name (one
// that is not well formed fails at its open with the reason), nothing for
// any other name.
std::unique_ptr<PortTransport> NetworkTransportFor(const std::string& port);

}  // namespace velimo::serial::net
