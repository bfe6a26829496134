// A local serial port: a POSIX terminal device in raw mode, opened for
// this process alone (flock and TIOCEXCL), behind the same seam as the
// network ports (see serial/port_transport.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "serial/com_types.h"
#include "serial/port_transport.h"
#include "serial/tty/linux_tty.h"

namespace velimo::serial::tty {

// The line errors between two readings of the driver's error counters:
// frame, overrun, receive-buffer overflow, break, and parity only when
// received parity is checked.
TComErrors LineErrorsBetween(const LineCounters& before, const LineCounters& now, bool checkParity);

class TtyPort : public PortTransport {
 public:
  // path: the device, as DevicePathOf gives it. restoreLine: the line's
  // settings as found at the open are given back at the close (a probe of
  // a port that is not ours leaves it as it was).
  explicit TtyPort(std::string path, bool restoreLine = false);
  ~TtyPort() override;
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  void Open() override;
  void Close() override;
  int Fd() const override { return fd_; }
  void ApplyLineSettings(const TransportSettings& settings) override;
  void Purge(bool input, bool output) override;
  int Write(const void* data, int count, int64_t limitMs) override;
  int Read(void* buffer, int count) override;
  bool WaitForInput(int64_t waitMs) override;
  void DiscardQueues() override;
  int QueuedInput() override;
  TComErrors LineErrors(bool checkParity) override;
  TComSignals Signals() override;

 private:
  [[noreturn]] void WriteTimedOut();

  std::string path_;
  int fd_ = -1;
  bool restore_line_ = false;
  std::optional<RawTermios> found_line_;
  // The rate last set, for how long the transmit queue takes to empty.
  int baud_ = 9600;
  // Driver error counters at the last look, for the deltas.
  bool counters_valid_ = false;
  bool counters_unsupported_ = false;
  LineCounters last_counters_;
};

}  // namespace velimo::serial::tty
