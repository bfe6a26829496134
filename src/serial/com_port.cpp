#include "serial/com_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "serial/port_holders.h"
#include "serial/tty/linux_tty.h"

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

// Drivers without modem lines (pseudo-terminals) refuse the modem ioctls;
// that is not a failure of the port.
bool Unsupported(int err) {
  return err == ENOTTY || err == EINVAL;
}

int PollOne(int fd, short events, int64_t timeoutMs) {
  pollfd p{fd, events, 0};
  int timeout = timeoutMs < 0 ? -1 : static_cast<int>(std::min<int64_t>(timeoutMs, 1 << 30));
  int rc;
  do {
    rc = poll(&p, 1, timeout);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

}  // namespace

std::string DevicePathOf(const std::string& port) {
  if (port.size() > 3 && port.size() <= 12 && (port[0] == 'C' || port[0] == 'c') &&
      (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm') &&
      std::all_of(port.begin() + 3, port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    long n = std::stol(port.substr(3));
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  // A path as an operator types it in a shell: absolute, or relative to the
  // working folder when it starts at "." or "..". Anything else is a name
  // under /dev, which includes "serial/by-id/...".
  if (port.starts_with('/') || port.starts_with("./") || port.starts_with("../")) return port;
  return "/dev/" + port;
}

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

TComPort::TComPort() = default;

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

PortLineSettings TComPort::LineSettingsNow() const {
  PortLineSettings settings;
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
  if (transport_) return transport_->ApplyLineSettings(LineSettingsNow());
  if (int rc = tty::ApplyLineConfig(fd_, LineSettingsNow().line)) {
    throw EComPort(CError_SetStateFailed, rc);
  }
  ApplyModemLines();
}

void TComPort::ApplyModemLines() {
  // DTR is held on for dtrEnable (and for dtrHandshake, which Linux cannot
  // do); RTS likewise, and under RTS/CTS the driver takes it over.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  bool dtrOn = flow_control_.ControlDTR() != dtrDisable;
  bool rtsOn = flow_control_.ControlRTS() != rtsDisable;
  if (ioctl(fd_, dtrOn ? TIOCMBIS : TIOCMBIC, &dtr) < 0 && !Unsupported(errno)) {
    throw EComPort(CError_SetStateFailed, errno);
  }
  if (ioctl(fd_, rtsOn ? TIOCMBIS : TIOCMBIC, &rts) < 0 && !Unsupported(errno)) {
    throw EComPort(CError_SetStateFailed, errno);
  }
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

  int fd = -1;
  if (std::unique_ptr<PortTransport> transport =
          transport_factory_ ? transport_factory_(port_) : nullptr) {
    transport->Open();
    fd = transport->Fd();
    transport_ = std::move(transport);
  } else {
    const std::string path = DevicePathOf(port_);
    fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EComPort(CError_OpenFailed, errno);
    auto fail = [fd](int err) {
      close(fd);
      throw EComPort(CError_OpenFailed, err);
    };
    if (!isatty(fd)) fail(ENOTTY);
    // No sharing: flock keeps other processes (and other ports of this one)
    // out even where TIOCEXCL does not (it spares privileged openers, and
    // two processes can race past it).
    if (flock(fd, LOCK_EX | LOCK_NB) < 0) fail(errno == EWOULDBLOCK ? EBUSY : errno);
    // A process that has the line open without a lock (a getty, a
    // terminal program, a GPS daemon) owns it just the same: two readers
    // of one line each get half of every answer.
    if (!HoldersOf(path).empty()) fail(EBUSY);
    if (ioctl(fd, TIOCEXCL) < 0) fail(errno);
    if (restore_line_) {
      tty::RawTermios found;
      if (tty::ReadRawTermios(fd, &found) == 0) found_line_ = found;
    }
  }

  fd_ = fd;
  connected_ = true;
  ++session_;
  tty::LineCounters counters;
  int countersRc = transport_ ? -1 : tty::ReadLineCounters(fd_, &counters);
  counters_valid_ = countersRc == 0;
  // A driver without counters will not grow them; asking on every batch
  // would only cost a system call per arrival.
  counters_unsupported_ = countersRc < 0;
  if (counters_valid_) last_counters_ = counters;
  try {
    ApplyQueueSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
    if (!events_.Empty()) {
      thread_ = std::make_unique<TComThread>(fd_, events_, session_, hand_over_);
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
  if (transport_) {
    transport_->Close();
    transport_.reset();
    fd_ = -1;
    return;
  }
  if (fd_ < 0) return;
  if (found_line_) {
    // Nothing of ours may linger in the line: bytes still queued would
    // go out at the settings being replaced.
    tcflush(fd_, TCIOFLUSH);
    tty::WriteRawTermios(fd_, *found_line_);
    found_line_.reset();
  }
  // The exclusive flag belongs to the tty, not to this descriptor: clear
  // it so the next opener is not refused.
  ioctl(fd_, TIOCNXCL);
  close(fd_);  // also releases the flock
  fd_ = -1;
}

void TComPort::ClosePort() {
  if (!connected_) return;
  const uint64_t session = session_;
  if (OnBeforeClose) OnBeforeClose();
  if (!connected_ || session_ != session) return;

  // Nothing waits in other threads for our I/O; what the queues hold is
  // dropped, which also keeps close() from waiting for a transmit queue
  // that flow control holds.
  if (!transport_) tcflush(fd_, TCIOFLUSH);

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
  if (transport_) return transport_->Purge(input, output);
  int what = input && output ? TCIOFLUSH : input ? TCIFLUSH : output ? TCOFLUSH : -1;
  if (what < 0) {
    if (fd_ < 0) throw EComPort(CError_PurgeFailed, EBADF);
    return;
  }
  if (tcflush(fd_, what) < 0) throw EComPort(CError_PurgeFailed, errno);
}

void TComPort::WriteTimedOut() {
  // What the failed write left queued must not trickle out later, when
  // the far end lets the line go again.
  tcflush(fd_, TCOFLUSH);
  throw EComPort(CError_WriteFailed, ETIMEDOUT);
}

int TComPort::WriteBytes(const void* data, int count) {
  if (count < 0) throw EComPort(CError_WriteFailed, EINVAL);
  if (!data && count > 0) throw EComPort(CError_InvalidAsync);
  const int64_t limitMs =
      Unsigned(timeouts_.WriteTotalConstant()) + Unsigned(timeouts_.WriteTotalMultiplier()) * count;
  if (transport_) return transport_->Write(data, count, limitMs);
  const bool limited = limitMs > 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  const char* bytes = static_cast<const char*>(data);

  int written = 0;
  do {
    ssize_t n = write(fd_, bytes + written, static_cast<size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) throw EComPort(CError_WriteFailed, errno);
    if (n == 0 && count == 0) break;
    // The driver's queue is full (flow control holds the line, or the far
    // side reads nothing): wait for room until the write timeout.
    int64_t left = limited ? MsUntil(deadline) : -1;
    if (limited && left == 0) WriteTimedOut();
    if (PollOne(fd_, POLLOUT, left) < 0) throw EComPort(CError_WriteFailed, errno);
  } while (written < count);

  // The write is finished when the driver has sent it, not when it has
  // queued it: wait for the transmit queue to empty.
  const int64_t bitsPerByte = 12;
  const int64_t baud = std::max<int32_t>(1, EffectiveBaudRate());
  for (;;) {
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) < 0) {
      if (Unsupported(errno)) break;
      throw EComPort(CError_WriteFailed, errno);
    }
    if (queued <= 0) break;
    int64_t left = limited ? MsUntil(deadline) : INT64_MAX;
    if (left == 0) WriteTimedOut();
    int64_t expectUs = queued * bitsPerByte * 1000000 / baud;
    int64_t sleepUs = std::clamp<int64_t>(expectUs, 200, 20000);
    if (limited) sleepUs = std::min<int64_t>(sleepUs, left * 1000);
    std::this_thread::sleep_for(std::chrono::microseconds(sleepUs));
  }
  return written;
}

int TComPort::ReadBytes(void* buffer, int count) {
  if (count < 0) throw EComPort(CError_ReadFailed, EINVAL);
  if (!buffer && count > 0) throw EComPort(CError_InvalidAsync);
  const int64_t totalMs =
      Unsigned(timeouts_.ReadTotalConstant()) + Unsigned(timeouts_.ReadTotalMultiplier()) * count;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);
  char* out = static_cast<char*>(buffer);

  int got = 0;
  // A network port hands over what has arrived; it never waits for more.
  if (transport_) {
    got = transport_->Read(buffer, count);
    if (discard_null_) got = static_cast<int>(std::remove(out, out + got, '\0') - out);
  }
  while (!transport_) {
    ssize_t n = read(fd_, out + got, static_cast<size_t>(count - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) throw EComPort(CError_ReadFailed, errno);
    if (n > 0) {
      char* end = out + got + n;
      if (discard_null_) end = std::remove(out + got, end, '\0');
      got = static_cast<int>(end - out);
    }
    // With a read total the read waits for the rest, up to that time;
    // without one it returns with what has arrived.
    if (got >= count || totalMs == 0) break;
    if (n == 0) break;  // end of file: the device is gone
    int64_t left = MsUntil(deadline);
    if (left == 0) break;
    if (n < 0 && PollOne(fd_, POLLIN, left) < 0) throw EComPort(CError_ReadFailed, errno);
  }
  // As after every read, the receive queue is looked at once more; on a
  // device that has gone away this is where the failure shows.
  QueuedInputCount();
  return got;
}

int TComPort::QueuedInputCount() {
  if (transport_) return transport_->QueuedInput();
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) < 0) throw EComPort(CError_ClearComFailed, errno);
  return n;
}

TComErrors LineErrorsBetween(const tty::LineCounters& before, const tty::LineCounters& now,
                             bool checkParity) {
  TComErrors errors;
  if (now.frame != before.frame) errors.Include(ceFrame);
  // Received parity is only a fault when it is being checked.
  if (checkParity && now.parity != before.parity) errors.Include(ceRxParity);
  if (now.overrun != before.overrun) errors.Include(ceOverrun);
  if (now.buf_overrun != before.buf_overrun) errors.Include(ceRxOver);
  if (now.brk != before.brk) errors.Include(ceBreak);
  return errors;
}

TComErrors TComPort::ReadLineErrors() {
  if (fd_ < 0) throw EComPort(CError_ClearComFailed, EBADF);
  if (transport_) return transport_->LineErrors(parity_.Check());
  if (counters_unsupported_) return {};
  tty::LineCounters now;
  int rc = tty::ReadLineCounters(fd_, &now);
  if (rc < 0) return {};  // the driver keeps no counters
  if (rc > 0) throw EComPort(CError_ClearComFailed, rc);
  TComErrors errors;
  if (counters_valid_) errors = LineErrorsBetween(last_counters_, now, parity_.Check());
  counters_valid_ = true;
  last_counters_ = now;
  return errors;
}

TComSignals TComPort::ModemSignals() {
  if (transport_) return transport_->Signals();
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) < 0) {
    if (Unsupported(errno)) return {};
    throw EComPort(CError_ModemStatFailed, errno);
  }
  TComSignals s;
  s.cts = lines & TIOCM_CTS;
  s.dsr = lines & TIOCM_DSR;
  s.ring = lines & TIOCM_RNG;
  s.rlsd = lines & TIOCM_CAR;
  return s;
}

// ---- TComPort: hand-over ----

void TComPort::SetWakeHook(std::function<void()> hook) {
  hand_over_.SetWakeHook(std::move(hook));
}

int TComPort::ProcessPendingEvents() {
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
