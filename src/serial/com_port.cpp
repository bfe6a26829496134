#include "serial/com_port.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/deadline.h"
#include "serial/local_port.h"

namespace velimo::serial {

namespace {

using Clock = std::chrono::steady_clock;

// A timeout field as the unsigned 32-bit number the settings mean (-1 is
// "all bits set").
int64_t Unsigned(int32_t v) {
  return static_cast<int64_t>(static_cast<uint32_t>(v));
}

int64_t MsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return std::max<int64_t>(0, left.count());
}

// The transport of a port that is not open: every operation fails as one
// on a closed handle does.
class ClosedPort : public PortTransport {
 public:
  void Open() override {}
  void Close() override {}
  Waitable Fd() const override { return kNoWaitable; }
  void ApplyLineSettings(const TransportSettings&) override {}
  void Purge(bool, bool) override { throw EComPort(CError_PurgeFailed, EBADF); }
  int Write(const void*, int, int64_t) override { throw EComPort(CError_WriteFailed, EBADF); }
  int Read(void*, int) override { throw EComPort(CError_ReadFailed, EBADF); }
  bool WaitForInput(int64_t) override { throw EComPort(CError_ReadFailed, EBADF); }
  void DiscardQueues() override {}
  int QueuedInput() override { throw EComPort(CError_ClearComFailed, EBADF); }
  TComErrors LineErrors(bool) override { throw EComPort(CError_ClearComFailed, EBADF); }
  TComSignals Signals() override { throw EComPort(CError_ModemStatFailed, EBADF); }
};

}  // namespace

// ---- settings objects ----

#define VELIMO_SETTER(Class, Name, Type, field, apply) \
  void Class::Set##Name(Type value) {                  \
    if (field == value) return;                        \
    field = value;                                     \
    port_->apply();                                    \
  }

VELIMO_SETTER(TComParity, Bits, TParityBits, bits_, ApplyLineSettings)
VELIMO_SETTER(TComParity, Check, bool, check_, ApplyLineSettings)
VELIMO_SETTER(TComParity, Replace, bool, replace_, ApplyLineSettings)
VELIMO_SETTER(TComParity, ReplaceChar, char, replace_char_, ApplyLineSettings)

VELIMO_SETTER(TComFlowControl, OutCTSFlow, bool, out_cts_flow_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, OutDSRFlow, bool, out_dsr_flow_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, ControlDTR, TDTRFlowControl, control_dtr_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, ControlRTS, TRTSFlowControl, control_rts_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, XonXoffOut, bool, xon_xoff_out_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, XonXoffIn, bool, xon_xoff_in_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, DSRSensitivity, bool, dsr_sensitivity_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, TxContinueOnXoff, bool, tx_continue_on_xoff_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, XonChar, char, xon_char_, ApplyLineSettings)
VELIMO_SETTER(TComFlowControl, XoffChar, char, xoff_char_, ApplyLineSettings)

VELIMO_SETTER(TComTimeouts, ReadInterval, int32_t, read_interval_, ApplyTimeoutSettings)
VELIMO_SETTER(TComTimeouts, ReadTotalMultiplier, int32_t, read_total_multiplier_,
              ApplyTimeoutSettings)
VELIMO_SETTER(TComTimeouts, ReadTotalConstant, int32_t, read_total_constant_, ApplyTimeoutSettings)
VELIMO_SETTER(TComTimeouts, WriteTotalMultiplier, int32_t, write_total_multiplier_,
              ApplyTimeoutSettings)
VELIMO_SETTER(TComTimeouts, WriteTotalConstant, int32_t, write_total_constant_,
              ApplyTimeoutSettings)

#undef VELIMO_SETTER

TFlowControl TComFlowControl::FlowControl() const {
  if (control_rts_ == rtsHandshake && out_cts_flow_ && !xon_xoff_in_ && !xon_xoff_out_) {
    return fcHardware;
  }
  if (control_rts_ == rtsDisable && !out_cts_flow_ && xon_xoff_in_ && xon_xoff_out_) {
    return fcSoftware;
  }
  if (control_rts_ == rtsDisable && !out_cts_flow_ && !xon_xoff_in_ && !xon_xoff_out_) {
    return fcNone;
  }
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  switch (value) {
    case fcHardware:
      control_rts_ = rtsHandshake;
      out_cts_flow_ = true;
      xon_xoff_in_ = false;
      xon_xoff_out_ = false;
      break;
    case fcSoftware:
      control_rts_ = rtsDisable;
      out_cts_flow_ = false;
      xon_xoff_in_ = true;
      xon_xoff_out_ = true;
      break;
    case fcNone:
      control_rts_ = rtsDisable;
      out_cts_flow_ = false;
      xon_xoff_in_ = false;
      xon_xoff_out_ = false;
      break;
    case fcCustom:
      break;
  }
  port_->ApplyLineSettings();
}

void TComBuffer::SetInputSize(int value) {
  value -= value % 2;
  if (input_size_ == value) return;
  input_size_ = value;
  port_->ApplyQueueSizes();
}

void TComBuffer::SetOutputSize(int value) {
  value -= value % 2;
  if (output_size_ == value) return;
  output_size_ = value;
  port_->ApplyQueueSizes();
}

// ---- TComPort: properties ----

TComPort::TComPort() : transport_(std::make_unique<ClosedPort>()) {}

TComPort::~TComPort() {
  try {
    ClosePort();
  } catch (...) {
    // A close hook that fails must not take the program down with it.
  }
}

void TComPort::SetPort(const std::string& value) {
  if (port_ == value) return;
  port_ = value;
  if (connected_) {
    ClosePort();
    OpenPort();
  }
}

#define VELIMO_PORT_SETTER(Name, Type, field, apply) \
  void TComPort::Set##Name(Type value) {             \
    if (field == value) return;                      \
    field = value;                                   \
    apply();                                         \
  }

VELIMO_PORT_SETTER(BaudRate, TBaudRate, baud_rate_, ApplyLineSettings)
VELIMO_PORT_SETTER(CustomBaudRate, int32_t, custom_baud_rate_, ApplyLineSettings)
VELIMO_PORT_SETTER(DataBits, TDataBits, data_bits_, ApplyLineSettings)
VELIMO_PORT_SETTER(StopBits, TStopBits, stop_bits_, ApplyLineSettings)
VELIMO_PORT_SETTER(DiscardNull, bool, discard_null_, ApplyLineSettings)
VELIMO_PORT_SETTER(EventChar, char, event_char_, ApplyLineSettings)

#undef VELIMO_PORT_SETTER

void TComPort::SetEvents(TComEvents value) {
  events_ = value;
}

void TComPort::SetSyncMethod(TSyncMethod value) {
  if (sync_method_ == value) return;
  if (connected_) throw EComPort(CError_ConnChangeProp);
  sync_method_ = value;
}

int32_t TComPort::EffectiveBaudRate() const {
  return baud_rate_ == brCustom ? custom_baud_rate_ : BaudRateValue(baud_rate_);
}

void TComPort::SetConnected(bool value) {
  if (value) {
    OpenPort();
  } else {
    ClosePort();
  }
}

// ---- TComPort: applying settings ----

TransportSettings TComPort::LineSettingsNow() const {
  TransportSettings settings;
  tty::LineConfig& config = settings.line;
  config.baud = EffectiveBaudRate();
  config.data_bits = DataBitsValue(data_bits_);
  // Linux offers one or two stop bits; one and a half becomes two.
  config.two_stop_bits = stop_bits_ != sbOneStopBit;
  config.parity = ParityValue(parity_.Bits());
  config.check_parity = parity_.Check();
  // Linux has one switch for RTS/CTS in both directions.
  config.rts_cts = flow_control_.ControlRTS() == rtsHandshake || flow_control_.OutCTSFlow();
  config.xon_out = flow_control_.XonXoffOut();
  config.xon_in = flow_control_.XonXoffIn();
  config.xon_char = static_cast<unsigned char>(flow_control_.XonChar());
  config.xoff_char = static_cast<unsigned char>(flow_control_.XoffChar());
  settings.dtr = flow_control_.ControlDTR() != dtrDisable;
  settings.rts = flow_control_.ControlRTS() != rtsDisable;
  return settings;
}

void TComPort::ApplyLineSettings() {
  if (!connected_) return;
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  transport_->ApplyLineSettings(LineSettingsNow());
}

// The timeouts are read by every write and read, so a change is in force
// at once; there is nothing to hand to the driver.
void TComPort::ApplyTimeoutSettings() {}

// A tty's queues have the driver's own size.
void TComPort::ApplyQueueSizes() {}

// ---- TComPort: open and close ----

void TComPort::OpenPort() {
  if (connected_) return;
  if (OnBeforeOpen) OnBeforeOpen();
  if (connected_) return;

  std::unique_ptr<PortTransport> transport =
      transport_factory_ ? transport_factory_(port_) : nullptr;
  if (!transport) transport = LocalPortTransport(port_, restore_line_);
  transport->Open();
  TakeOpened(std::move(transport));
}

void TComPort::OpenPort(std::unique_ptr<PortTransport> opened) {
  if (connected_) return;
  if (OnBeforeOpen) OnBeforeOpen();
  // A hook that opened the port itself wins; the transport handed over is
  // closed with its destruction.
  if (connected_) return;
  TakeOpened(std::move(opened));
}

void TComPort::TakeOpened(std::unique_ptr<PortTransport> transport) {
  transport->OnNotice = [this](const std::string& text) {
    if (std::this_thread::get_id() != owner_thread_) {
      std::lock_guard<std::mutex> lock(notices_mutex_);
      held_notices_.push_back(text);
      return;
    }
    if (OnNotice) OnNotice(text);
  };
  {
    std::lock_guard<std::recursive_mutex> lock(io_mutex_);
    transport_ = std::move(transport);
  }
  connected_ = true;
  ++session_;
  try {
    ApplyQueueSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
    if (!events_.Empty()) {
      thread_ = std::make_unique<TComThread>(
          transport_->Fd(), events_, session_, hand_over_,
          [transport = transport_.get()] { return transport->TakeHangUp(); });
      thread_->Start();
      thread_created_ = true;
    }
  } catch (...) {
    thread_.reset();
    CloseDevice();
    connected_ = false;
    throw;
  }
  // The initial state of the modem lines; nothing listens for it here,
  // but a failure to read them is reported with the port left open.
  ModemSignals();
  if (OnAfterOpen) OnAfterOpen();
}

void TComPort::CloseDevice() {
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  transport_->Close();
  transport_ = std::make_unique<ClosedPort>();
}

void TComPort::ClosePort() {
  if (!connected_) return;
  const uint64_t session = session_;
  if (OnBeforeClose) OnBeforeClose();
  if (!connected_ || session_ != session) return;

  // Nothing waits in other threads for our I/O; what the queues hold is
  // dropped, which also keeps close() from waiting for a transmit queue
  // that flow control holds.
  {
    std::lock_guard<std::recursive_mutex> lock(io_mutex_);
    transport_->DiscardQueues();
  }

  if (thread_created_ && thread_) {
    thread_->Stop();
    std::this_thread::yield();
    // Serve batches while waiting: the thread may be blocked in a
    // hand-over, and it is released when this close runs inside one.
    while (!hand_over_.Finished(session)) {
      ProcessPendingEvents();
      hand_over_.WaitForWorkOrFinish(session, 50);
    }
    // A handler run above may have closed (and even reopened) the port.
    if (!connected_ || session_ != session) return;
    thread_->WaitFor();
    thread_.reset();
    thread_created_ = false;
  }
  CloseDevice();
  connected_ = false;
  if (OnAfterClose) OnAfterClose();
}

// ---- TComPort: I/O ----

void TComPort::PurgeQueues(bool input, bool output) {
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  transport_->Purge(input, output);
}

int TComPort::WriteBytes(const void* data, int count) {
  if (count < 0) throw EComPort(CError_WriteFailed, EINVAL);
  if (!data && count > 0) throw EComPort(CError_InvalidAsync);
  const int64_t limitMs =
      Unsigned(timeouts_.WriteTotalConstant()) + Unsigned(timeouts_.WriteTotalMultiplier()) * count;
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  return transport_->Write(data, count, limitMs);
}

int TComPort::ReadBytes(void* buffer, int count) {
  if (count < 0) throw EComPort(CError_ReadFailed, EINVAL);
  if (!buffer && count > 0) throw EComPort(CError_InvalidAsync);
  const int64_t totalMs =
      Unsigned(timeouts_.ReadTotalConstant()) + Unsigned(timeouts_.ReadTotalMultiplier()) * count;
  const Clock::time_point deadline = DeadlineAfterMs(totalMs);
  char* out = static_cast<char*>(buffer);

  int got = 0;
  for (;;) {
    int n = 0;
    {
      std::lock_guard<std::recursive_mutex> lock(io_mutex_);
      n = transport_->Read(out + got, count - got);
    }
    if (n > 0) {
      char* end = out + got + n;
      if (discard_null_) end = std::remove(out + got, end, '\0');
      got = static_cast<int>(end - out);
    }
    // With a read total the read waits for the rest, up to that time;
    // without one it returns with what has arrived.
    if (got >= count || totalMs == 0) break;
    if (n < 0) break;  // the far side has ended
    int64_t left = MsUntil(deadline);
    if (left == 0) break;
    bool more = false;
    {
      std::lock_guard<std::recursive_mutex> lock(io_mutex_);
      more = transport_->WaitForInput(left);
    }
    if (!more) break;
  }
  // As after every read, the receive queue is looked at once more; on a
  // device that has gone away this is where the failure shows.
  QueuedInputCount();
  return got;
}

int TComPort::QueuedInputCount() {
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  return transport_->QueuedInput();
}

TComErrors TComPort::ReadLineErrors() {
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  return transport_->LineErrors(parity_.Check());
}

TComSignals TComPort::ModemSignals() {
  std::lock_guard<std::recursive_mutex> lock(io_mutex_);
  return transport_->Signals();
}

// ---- TComPort: hand-over ----

void TComPort::SetWakeHook(std::function<void()> hook) {
  hand_over_.SetWakeHook(std::move(hook));
}

void TComPort::DeliverHeldNotices() {
  std::vector<std::string> notices;
  {
    std::lock_guard<std::mutex> lock(notices_mutex_);
    notices.swap(held_notices_);
  }
  for (const std::string& text : notices)
    if (OnNotice) OnNotice(text);
}

int TComPort::ProcessPendingEvents() {
  DeliverHeldNotices();
  return hand_over_.RunPending([this](const HandOverRequest& r) { ProcessEventSet(r); });
}

bool TComPort::EventThreadActive() const {
  return thread_ && thread_->Active();
}

void TComPort::ProcessEventSet(const HandOverRequest& request) {
  // A batch belongs to one opening of the port; a handler may close or
  // reopen the port halfway, and the rest of the batch is then void.
  auto live = [&] { return connected_ && session_ == request.session; };
  const TComEvents events = request.events;
  if (!live()) return;
  if (events.Contains(evError)) {
    TComErrors errors = ReadLineErrors();
    if (!errors.Empty() && OnError) OnError(errors);
  }
  if (!live()) return;
  if (events.Contains(evRxChar)) {
    int count = QueuedInputCount();
    if (count > 0 && OnRxChar) OnRxChar(count);
  }
  if (!live()) return;
  if (events.Contains(evTxEmpty) && OnTxEmpty) OnTxEmpty();
  if (events.Contains(evBreak) && OnBreak) OnBreak();
  if (events.Contains(evRing) && OnRing) OnRing();
  if (!live()) return;
  if (events.Contains(evCTS) || events.Contains(evDSR) || events.Contains(evRLSD)) {
    TComSignals s = ModemSignals();
    if (events.Contains(evCTS) && OnCTSChange) OnCTSChange(s.cts);
    if (events.Contains(evDSR) && OnDSRChange) OnDSRChange(s.dsr);
    if (events.Contains(evRLSD) && OnRLSDChange) OnRLSDChange(s.rlsd);
  }
  if (!live()) return;
  if (events.Contains(evRxFlag) && OnRxFlag) OnRxFlag();
  if (events.Contains(evRx80Full) && OnRx80Full) OnRx80Full();
  if (!live()) return;
  if (request.hang_up && OnHangUp) OnHangUp();
}

}  // namespace velimo::serial
