// A local serial port on Windows (COM1, COM5, \\.\COM12): the
// communications API behind the same seam as the POSIX tty and the
// network ports.
//
// Written to Windows' documented behaviour, and tolerant of wine's, where
// the tests run (wine maps COM ports to Linux devices; see README):
// - the port is opened for overlapped I/O without sharing; "access denied"
//   is a port another program holds;
// - a read takes only what ClearCommError reports queued, so it never
//   waits, whatever the driver makes of the read timeouts (wine leaves an
//   overlapped read "return at once" pending, and ends a read with a total
//   timeout with ERROR_TIMEOUT where Windows returns success and 0 bytes:
//   both read here as nothing read);
// - line events come from WaitCommEvent on a thread of the port's own; it
//   signals the waitable that the port's event thread watches. The wait
//   is ended with SetCommMask (CancelIoEx does not end it under wine), and
//   an aborted wait is a wake-up, not a fault.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "serial/port_transport.h"

struct _DCB;  // <windows.h>

namespace velimo::serial::win {

class WinPort : public PortTransport {
 public:
  // port: "COMn" or a device path ("\\.\COMn"). restoreLine: the line's
  // settings as found at the open are given back at the close (a probe of
  // a port that is not ours leaves it as it was).
  explicit WinPort(std::string port, bool restoreLine = false);
  ~WinPort() override;
  WinPort(const WinPort&) = delete;
  WinPort& operator=(const WinPort&) = delete;

  void Open() override;
  void Close() override;
  // An auto-reset event, signalled when bytes, a line error or a modem
  // line change arrived, or the device went away (HungUp then says so).
  Waitable Fd() const override { return arrived_; }
  void ApplyLineSettings(const TransportSettings& settings) override;
  void Purge(bool input, bool output) override;
  int Write(const void* data, int count, int64_t limitMs) override;
  int Read(void* buffer, int count) override;
  int QueuedInput() override;
  TComErrors LineErrors(bool checkParity) override;
  TComSignals Signals() override;

  // Waits up to waitMs for received bytes, returning early when they are
  // there. Raises code 3.
  bool WaitForInput(int64_t waitMs) override;
  // Drops what the queues hold ahead of a close; never raises.
  void DiscardQueues() override;

  // Raises or lowers DTR or RTS (EscapeCommFunction). Raises code 12.
  void SetDtr(bool on);
  void SetRts(bool on);
  // The device went away (an adapter pulled out): nothing more arrives.
  bool HungUp() const { return hung_up_.load(std::memory_order_acquire); }
  // How many WaitCommEvent waits ended aborted (wine on a device without
  // modem lines ends every one so): for the tests and the report.
  uint64_t AbortedWaits() const { return aborted_waits_.load(std::memory_order_relaxed); }

  // "\\.\COMn" for "COMn" (needed from COM10 on), any other name as given.
  static std::wstring DevicePath(const std::string& port);

 private:
  // Takes the driver's queued-input count and its errors since the last
  // look (they are kept for LineErrors). Raises code 10.
  unsigned long Poll();
  void WatchEvents();
  void StopWatching();

  std::string port_;
  bool restore_line_ = false;
  std::unique_ptr<_DCB> found_line_;  // as the open found it, when it is given back
  void* handle_;                      // INVALID_HANDLE_VALUE when closed
  void* arrived_ = nullptr;
  void* input_ = nullptr;  // manual-reset: set with arrived_, for WaitForInput
  void* stop_ = nullptr;
  std::thread watcher_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> hung_up_{false};
  std::atomic<uint64_t> aborted_waits_{0};
  unsigned long errors_ = 0;  // CE_* bits not yet asked for
};

}  // namespace velimo::serial::win
