// One kind of port (a local tty, a serial port on the far side of a
// network connection): the operations TComPort hands over to it while it
// is open. TComPort keeps the settings, the event thread and the
// notifications; the transport only moves bytes and line settings, so
// nothing above the port knows which kind it talks to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/com_types.h"
#include "serial/tty/linux_tty.h"
#include "util/waitable.h"

namespace velimo::serial {

// State of the modem status lines.
struct TComSignals {
  bool cts = false;
  bool dsr = false;
  bool ring = false;
  bool rlsd = false;  // carrier detect
  friend bool operator==(const TComSignals&, const TComSignals&) = default;
};

// The line settings as the port hands them to its transport: presets
// resolved to what the device takes, with the two modem lines it holds.
// (The connect dialog's stored choices are forms::PortLineSettings.)
struct TransportSettings {
  tty::LineConfig line;
  bool dtr = true;
  bool rts = false;
};

class PortTransport {
 public:
  virtual ~PortTransport() = default;
  // Connects. Raises EComPort code 1 with the reason; nothing stays open.
  virtual void Open() = 0;
  // Ends the connection; never raises.
  virtual void Close() = 0;
  // Readable (signalled) when bytes arrived; hangs up when the far side
  // went away. The port's event thread watches it.
  virtual Waitable Fd() const = 0;
  // Raises code 7 (with the reason) when the far side refuses a setting.
  virtual void ApplyLineSettings(const TransportSettings& settings) = 0;
  // Raises code 5.
  virtual void Purge(bool input, bool output) = 0;
  // Writes count bytes, failing after limitMs (0: no limit). Raises code 2.
  virtual int Write(const void* data, int count, int64_t limitMs) = 0;
  // Copies up to count received bytes without waiting; -1 when the far
  // side has ended and nothing more will arrive. Raises code 3.
  virtual int Read(void* buffer, int count) = 0;
  // Waits up to waitMs for received bytes (returning early when they are
  // there). False when this kind of port never waits: a read hands over
  // what has arrived. Raises code 3.
  virtual bool WaitForInput(int64_t waitMs) = 0;
  // Drops what the queues hold ahead of a close, so that the close does
  // not wait for a transmit queue that flow control holds; never raises.
  virtual void DiscardQueues() = 0;
  // Received bytes waiting. Raises code 10.
  virtual int QueuedInput() = 0;
  // Line errors reported since the last look. Raises code 10.
  virtual TComErrors LineErrors(bool checkParity) = 0;
  // The modem lines as last reported. Raises code 11.
  virtual TComSignals Signals() = 0;
  // Asked by the port's event thread after each wake-up, where the
  // waitable cannot tell that the far side went away (a Windows event):
  // true once it has. Safe beside the other calls on the port's own thread.
  virtual bool TakeHangUp() { return false; }

  // Told what an operator should hear that is no failure (a server that
  // does not confirm purges, or why this side ended a connection), once,
  // at the end of the operation that found it. Set by the port.
  std::function<void(const std::string& text)> OnNotice;
};

// The transport for a port name, or nullptr for a local tty.
using TransportFactory = std::function<std::unique_ptr<PortTransport>(const std::string& port)>;

}  // namespace velimo::serial
