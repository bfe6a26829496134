// The serial port component: one port (a local tty or a network port, each
// a PortTransport), its line settings, its event thread and the
// notifications it delivers on the user-interface thread.
//
// Every operation and every notification runs on the user-interface
// thread. The event thread only waits for line events and hands each batch
// over (see com_thread.h); the front end serves the hand-over by calling
// ProcessPendingEvents when the wake hook fires or WakeFd turns readable.
// One exception: while a long operation (a profile apply) runs on a thread
// of its own, that thread alone writes (Connected, PurgeQueues,
// WriteBytes, ReadBytes, QueuedInputCount) while the user-interface thread
// goes on reading; the device is used by one of them at a time, and a
// notice the device raises on the writer's thread waits for the next
// ProcessPendingEvents.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/byte_channel.h"
#include "serial/com_error.h"
#include "serial/com_thread.h"
#include "serial/com_types.h"
#include "serial/port_transport.h"

namespace velimo::serial {

class TComPort;

// Parity settings of a port.
class TComParity {
 public:
  explicit TComParity(TComPort* port) : port_(port) {}
  TParityBits Bits() const { return bits_; }
  void SetBits(TParityBits value);
  // Verify the parity of received bytes (off in this program).
  bool Check() const { return check_; }
  void SetCheck(bool value);
  bool Replace() const { return replace_; }
  void SetReplace(bool value);
  char ReplaceChar() const { return replace_char_; }
  void SetReplaceChar(char value);
  TComPort* ComPort() const { return port_; }

 private:
  TComPort* port_;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  char replace_char_ = 0;
};

// Flow-control settings of a port.
class TComFlowControl {
 public:
  explicit TComFlowControl(TComPort* port) : port_(port) {}
  bool OutCTSFlow() const { return out_cts_flow_; }
  void SetOutCTSFlow(bool value);
  bool OutDSRFlow() const { return out_dsr_flow_; }
  void SetOutDSRFlow(bool value);
  TDTRFlowControl ControlDTR() const { return control_dtr_; }
  void SetControlDTR(TDTRFlowControl value);
  TRTSFlowControl ControlRTS() const { return control_rts_; }
  void SetControlRTS(TRTSFlowControl value);
  bool XonXoffOut() const { return xon_xoff_out_; }
  void SetXonXoffOut(bool value);
  bool XonXoffIn() const { return xon_xoff_in_; }
  void SetXonXoffIn(bool value);
  bool DSRSensitivity() const { return dsr_sensitivity_; }
  void SetDSRSensitivity(bool value);
  bool TxContinueOnXoff() const { return tx_continue_on_xoff_; }
  void SetTxContinueOnXoff(bool value);
  char XonChar() const { return xon_char_; }
  void SetXonChar(char value);
  char XoffChar() const { return xoff_char_; }
  void SetXoffChar(char value);

  // The preset the current values amount to (fcCustom for any other mix).
  TFlowControl FlowControl() const;
  // Applies a preset (fcCustom keeps everything) and re-applies the line
  // settings while connected, whatever the preset.
  void SetFlowControl(TFlowControl value);
  TComPort* ComPort() const { return port_; }

 private:
  TComPort* port_;
  bool out_cts_flow_ = false;
  bool out_dsr_flow_ = false;
  TDTRFlowControl control_dtr_ = dtrDisable;
  TRTSFlowControl control_rts_ = rtsDisable;
  bool xon_xoff_out_ = false;
  bool xon_xoff_in_ = false;
  bool dsr_sensitivity_ = false;
  bool tx_continue_on_xoff_ = false;
  char xon_char_ = 17;
  char xoff_char_ = 19;
};

// Timeouts in milliseconds, as the port's callers know them: -1 is "all
// bits set". A write may take WriteTotalConstant + WriteTotalMultiplier
// per byte before it fails (both 0: no limit). Reads with ReadInterval -1
// and both read totals 0 return at once; with a read total they wait at
// most that long for the bytes asked for.
class TComTimeouts {
 public:
  explicit TComTimeouts(TComPort* port) : port_(port) {}
  int32_t ReadInterval() const { return read_interval_; }
  void SetReadInterval(int32_t value);
  int32_t ReadTotalMultiplier() const { return read_total_multiplier_; }
  void SetReadTotalMultiplier(int32_t value);
  int32_t ReadTotalConstant() const { return read_total_constant_; }
  void SetReadTotalConstant(int32_t value);
  int32_t WriteTotalMultiplier() const { return write_total_multiplier_; }
  void SetWriteTotalMultiplier(int32_t value);
  int32_t WriteTotalConstant() const { return write_total_constant_; }
  void SetWriteTotalConstant(int32_t value);
  TComPort* ComPort() const { return port_; }

 private:
  TComPort* port_;
  int32_t read_interval_ = -1;
  int32_t read_total_multiplier_ = 0;
  int32_t read_total_constant_ = 0;
  int32_t write_total_multiplier_ = 100;
  int32_t write_total_constant_ = 1000;
};

// Driver queue sizes in bytes; an odd size is lowered by one. Linux ttys
// keep queues of their own size, so these only shape the XON/XOFF limits
// that Windows derives from them.
class TComBuffer {
 public:
  explicit TComBuffer(TComPort* port) : port_(port) {}
  int InputSize() const { return input_size_; }
  void SetInputSize(int value);
  int OutputSize() const { return output_size_; }
  void SetOutputSize(int value);
  TComPort* ComPort() const { return port_; }

 private:
  TComPort* port_;
  int input_size_ = 1024;
  int output_size_ = 1024;
};

// "COM" + n names /dev/ttyS + (n - 1), so settings written on Windows keep
// working; a name starting with "/", "./" or "../" is a path (the last two
// relative to the working folder); any other name is a name under /dev.
std::string DevicePathOf(const std::string& port);

class TComPort : public ByteChannel {
 public:
  TComPort();
  // Closes the port first.
  ~TComPort() override;
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // ---- properties ----
  const std::string& Port() const { return port_; }
  // While connected, a different name (compared case-sensitively) closes
  // the port and opens it on the new name.
  void SetPort(const std::string& value);
  TBaudRate BaudRate() const { return baud_rate_; }
  void SetBaudRate(TBaudRate value);
  int32_t CustomBaudRate() const { return custom_baud_rate_; }
  void SetCustomBaudRate(int32_t value);
  TDataBits DataBits() const { return data_bits_; }
  void SetDataBits(TDataBits value);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits value);
  TComParity& Parity() { return parity_; }
  const TComParity& Parity() const { return parity_; }
  TComFlowControl& FlowControl() { return flow_control_; }
  const TComFlowControl& FlowControl() const { return flow_control_; }
  TComTimeouts& Timeouts() { return timeouts_; }
  const TComTimeouts& Timeouts() const { return timeouts_; }
  TComBuffer& Buffer() { return buffer_; }
  const TComBuffer& Buffer() const { return buffer_; }
  // Drop received NUL bytes.
  bool DiscardNull() const { return discard_null_; }
  void SetDiscardNull(bool value);
  char EventChar() const { return event_char_; }
  void SetEventChar(char value);
  // Which line events the event thread listens for (all ten by default;
  // none: no event thread). Takes effect at the next open.
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents value);
  TSyncMethod SyncMethod() const { return sync_method_; }
  // Raises EComPort code 14 while connected.
  void SetSyncMethod(TSyncMethod value);
  // The rate that reaches the device: the named rate, or CustomBaudRate
  // for brCustom.
  int32_t EffectiveBaudRate() const;
  // Where names that are not local ttys go (network ports): asked at
  // every open; a port it returns nothing for is a tty.
  void SetTransportFactory(TransportFactory factory) { transport_factory_ = std::move(factory); }
  // A tty gets back, at close, exactly the line settings it had before
  // the open (every termios flag, rate and control character), as a
  // probe of a port that is not ours must leave it. Off by default: the
  // port the operator connected to keeps what the program set.
  void SetRestoreLineOnClose(bool value) { restore_line_ = value; }

  // ---- operations (user-interface thread) ----
  // Opens the device named by Port with the current settings and starts
  // the event thread. Nothing happens when already connected. Raises
  // EComPort; a failure to open or set up leaves the port closed.
  void OpenPort();
  // The same on a transport already opened elsewhere (a network port
  // connected on a thread of its own, see net::OpenNetworkTransport): the
  // rest of the open (line settings, event thread, modem lines) runs
  // here, on this thread, as OpenPort runs it.
  void OpenPort(std::unique_ptr<PortTransport> opened);
  // Stops the event thread and closes the device; serves waiting batches
  // while it waits, so it may be called from inside a notification.
  // Nothing happens when not connected.
  void ClosePort() override;
  bool Connected() const override { return connected_; }
  void SetConnected(bool value);
  void PurgeQueues(bool input, bool output) override;
  int WriteBytes(const void* data, int count) override;
  int ReadBytes(void* buffer, int count) override;
  int QueuedInputCount() override;
  // The line errors reported by the driver since the last look (empty
  // where the driver keeps no error counters). Raises EComPort code 10.
  virtual TComErrors ReadLineErrors();
  // The modem status lines (all off where the driver has none, as on a
  // pseudo-terminal). Raises EComPort code 11.
  TComSignals ModemSignals();

  // ---- hand-over (user-interface thread, except the hook) ----
  // Called on the event thread whenever a batch waits; the front end
  // arranges for ProcessPendingEvents to run on its own thread. It may be
  // changed at any time (nullptr: none); it must not block.
  void SetWakeHook(std::function<void()> hook);
  // Readable while a batch waits; poll it in a headless event loop.
  Waitable WakeFd() const { return hand_over_.WakeFd(); }
  bool HasPendingEvents() const { return hand_over_.Pending(); }
  // Runs the batches waiting when called (one that is queued meanwhile
  // signals WakeFd and the hook again): line errors first (OnError), then received
  // data (OnRxChar). An error a notification raises ends the event thread
  // and is not passed on. Returns the number of batches run.
  int ProcessPendingEvents();
  // True while the event thread of the current opening is in its loop.
  bool EventThreadActive() const;

  // ---- notifications, always on the user-interface thread ----
  // Bytes arrived; count (> 0) is what waits in the receive queue.
  std::function<void(int count)> OnRxChar;
  // The driver reported line errors; never empty.
  std::function<void(TComErrors errors)> OnError;
  // The device hung up (an adapter pulled out): the event thread has
  // ended, and nothing more will arrive on this opening.
  std::function<void()> OnHangUp;
  // A port behind the network has something to say that is no failure
  // (see PortTransport::OnNotice), in words fit for the trace.
  std::function<void(const std::string& text)> OnNotice;
  // Further hooks the component offers. Linux reports neither transmit
  // empty nor line changes through the wait the event thread uses, so
  // only the open and close hooks fire here.
  std::function<void()> OnBeforeOpen;
  std::function<void()> OnAfterOpen;
  std::function<void()> OnBeforeClose;
  std::function<void()> OnAfterClose;
  std::function<void()> OnTxEmpty;
  std::function<void()> OnBreak;
  std::function<void()> OnRing;
  std::function<void(bool on)> OnCTSChange;
  std::function<void(bool on)> OnDSRChange;
  std::function<void(bool on)> OnRLSDChange;
  std::function<void()> OnRxFlag;
  std::function<void()> OnRx80Full;

  // Group appliers, called by the settings objects; no-ops while closed.
  void ApplyLineSettings();
  void ApplyTimeoutSettings();
  void ApplyQueueSizes();

 private:
  void ProcessEventSet(const HandOverRequest& request);
  // What follows the transport's open in both ways of opening.
  void TakeOpened(std::unique_ptr<PortTransport> transport);
  void CloseDevice();
  TransportSettings LineSettingsNow() const;

  std::string port_ = "COM1";
  TBaudRate baud_rate_ = br9600;
  int32_t custom_baud_rate_ = 9600;
  TDataBits data_bits_ = dbEight;
  TStopBits stop_bits_ = sbOneStopBit;
  TComParity parity_{this};
  TComFlowControl flow_control_{this};
  TComTimeouts timeouts_{this};
  TComBuffer buffer_{this};
  bool discard_null_ = false;
  char event_char_ = 0;
  TComEvents events_ = TComEvents::All();
  TSyncMethod sync_method_ = smThreadSync;

  TransportFactory transport_factory_;
  // The open port of its kind; while closed, one whose every operation
  // fails as on a closed handle.
  std::unique_ptr<PortTransport> transport_;
  std::atomic<bool> connected_ = false;
  bool restore_line_ = false;
  // Held around every use of the device and every change of transport_:
  // a writer thread and the user-interface thread never use it at once.
  // Recursive: a notice handler may close the port from inside a call.
  mutable std::recursive_mutex io_mutex_;
  // Notices the device raised on another thread than the port's own.
  std::thread::id owner_thread_ = std::this_thread::get_id();
  std::mutex notices_mutex_;
  std::vector<std::string> held_notices_;
  void DeliverHeldNotices();
  // The line settings found at the open, while they are to be restored.
  bool thread_created_ = false;
  uint64_t session_ = 0;
  HandOver hand_over_;
  std::unique_ptr<TComThread> thread_;
};

}  // namespace velimo::serial
