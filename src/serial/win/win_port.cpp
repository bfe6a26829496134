#include "serial/win/win_port.h"

#include <windows.h>

#include <algorithm>

#include "serial/com_error.h"
#include "util/wide_text_win.h"

namespace velimo::serial::win {

namespace {

constexpr DWORD kWatchedEvents =
    EV_RXCHAR | EV_ERR | EV_BREAK | EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// A handle that closes itself.
struct Event {
  HANDLE h;
  explicit Event(BOOL manualReset) : h(CreateEventW(nullptr, manualReset, FALSE, nullptr)) {}
  ~Event() {
    if (h) CloseHandle(h);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
};

// What an operation on an open port answers once its device has gone.
bool DeviceGoneError(DWORD error) {
  return error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE ||
         error == ERROR_DEVICE_REMOVED || error == ERROR_INVALID_HANDLE ||
         error == ERROR_ACCESS_DENIED || error == ERROR_NOT_READY;
}

// The reason for a refused open, in the words the port list uses.
std::string OpenReason(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "in use";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "no such port";
    default:
      return SystemErrorText(error);
  }
}

}  // namespace

WinPort::WinPort(std::string port, bool restoreLine)
    : port_(std::move(port)), restore_line_(restoreLine), handle_(INVALID_HANDLE_VALUE) {
  arrived_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  input_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!arrived_ || !input_ || !stop_)
    throw EComPort(CError_WaitFailed, static_cast<int>(GetLastError()));
}

WinPort::~WinPort() {
  Close();
  CloseHandle(arrived_);
  CloseHandle(input_);
  CloseHandle(stop_);
}

std::wstring WinPort::DevicePath(const std::string& port) {
  const std::wstring wide = Widen(port);
  if (wide.size() > 3 && _wcsnicmp(wide.c_str(), L"COM", 3) == 0 &&
      wide.find_first_not_of(L"0123456789", 3) == std::wstring::npos)
    return L"\\\\.\\" + wide;
  return wide;
}

void WinPort::Open() {
  Close();
  // No sharing: a second open, by this program or another, is refused
  // while we hold the port.
  HANDLE h = CreateFileW(DevicePath(port_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    throw EComPort(CError_OpenFailed, static_cast<int>(error), OpenReason(error));
  }
  auto fail = [h](int code) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    throw EComPort(code, static_cast<int>(error));
  };
  if (GetFileType(h) != FILE_TYPE_CHAR) {
    CloseHandle(h);
    throw EComPort(CError_OpenFailed, ERROR_BAD_DEVICE, "not a serial port");
  }
  found_line_.reset();
  if (restore_line_) {
    auto found = std::make_unique<DCB>();
    found->DCBlength = sizeof(DCB);
    if (!GetCommState(h, found.get())) fail(CError_SetStateFailed);
    found_line_ = std::move(found);
  }
  if (!SetupComm(h, 4096, 4096)) fail(CError_SetupComFailed);
  // Reads "return at once with what is queued"; reads only ever ask for
  // what ClearCommError reports queued, so no driver makes them wait.
  // Writes have no timeout of their own: Write waits for them up to its
  // limit.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  if (!SetCommTimeouts(h, &timeouts)) fail(CError_TimeoutsFailed);
  if (!PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
    fail(CError_PurgeFailed);
  if (!SetCommMask(h, kWatchedEvents)) fail(CError_WaitFailed);
  handle_ = h;
  errors_ = 0;
  hung_up_.store(false, std::memory_order_release);
  stopping_.store(false, std::memory_order_release);
  ResetEvent(stop_);
  ResetEvent(arrived_);
  ResetEvent(input_);
  watcher_ = std::thread([this] { WatchEvents(); });
}

void WinPort::StopWatching() {
  if (!watcher_.joinable()) return;
  stopping_.store(true, std::memory_order_release);
  SetEvent(stop_);
  watcher_.join();
}

void WinPort::Close() {
  StopWatching();
  if (handle_ == INVALID_HANDLE_VALUE) return;
  // What the queues hold is dropped, so the close does not wait for a
  // transmit queue that flow control holds.
  PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  if (found_line_) SetCommState(handle_, found_line_.get());
  found_line_.reset();
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void WinPort::WatchEvents() {
  Event done(TRUE);
  unsigned abortedInRow = 0;
  while (!stopping_.load(std::memory_order_acquire)) {
    OVERLAPPED ov{};
    ov.hEvent = done.h;
    ResetEvent(done.h);
    DWORD mask = 0;
    BOOL ok = WaitCommEvent(handle_, &mask, &ov);
    DWORD error = ok ? 0 : GetLastError();
    if (!ok && error == ERROR_IO_PENDING) {
      HANDLE waits[2] = {done.h, stop_};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Stopping. A new event mask ends the pending wait (Windows
        // completes it with an empty mask, wine aborts it); the wait must
        // be over before its OVERLAPPED goes out of scope.
        SetCommMask(handle_, 0);
        if (WaitForSingleObject(done.h, 1000) != WAIT_OBJECT_0) CancelIoEx(handle_, &ov);
        DWORD ignored = 0;
        GetOverlappedResult(handle_, &ov, &ignored, TRUE);
        break;
      }
      DWORD ignored = 0;
      ok = GetOverlappedResult(handle_, &ov, &ignored, FALSE);
      error = ok ? 0 : GetLastError();
    }
    if (stopping_.load(std::memory_order_acquire)) break;
    if (ok) {
      abortedInRow = 0;
      if (mask != 0) {
        SetEvent(input_);
        SetEvent(arrived_);
      }
      continue;
    }
    if (error == ERROR_OPERATION_ABORTED) {
      // A wake-up, not a fault (a purge or a new mask ends a wait so).
      // Wine on a device without modem lines aborts every wait at once:
      // back off, so such a port costs a few wake-ups a second, not a
      // core.
      aborted_waits_.fetch_add(1, std::memory_order_relaxed);
      SetEvent(input_);
      SetEvent(arrived_);
      const DWORD backOffMs = std::min<DWORD>(abortedInRow++, 16);
      if (backOffMs) WaitForSingleObject(stop_, backOffMs);
      continue;
    }
    if (DeviceGoneError(error)) {
      hung_up_.store(true, std::memory_order_release);
      SetEvent(input_);
      SetEvent(arrived_);
      break;
    }
    // Anything else: try again shortly rather than spin.
    WaitForSingleObject(stop_, 10);
  }
}

void WinPort::ApplyLineSettings(const TransportSettings& settings) {
  if (handle_ == INVALID_HANDLE_VALUE) throw EComPort(CError_SetStateFailed, ERROR_INVALID_HANDLE);
  const tty::LineConfig& line = settings.line;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle_, &dcb))
    throw EComPort(CError_SetStateFailed, static_cast<int>(GetLastError()));
  if (line.baud <= 0 || line.data_bits < 5 || line.data_bits > 8 || line.parity < 0 ||
      line.parity > 4)
    throw EComPort(CError_SetStateFailed, ERROR_INVALID_PARAMETER, "settings out of range");
  dcb.BaudRate = static_cast<DWORD>(line.baud);  // any rate: the driver takes or refuses it
  dcb.ByteSize = static_cast<BYTE>(line.data_bits);
  dcb.Parity = static_cast<BYTE>(line.parity);  // NOPARITY..SPACEPARITY, the same order
  dcb.StopBits = line.two_stop_bits ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = line.check_parity ? TRUE : FALSE;
  dcb.fOutxCtsFlow = line.rts_cts ? TRUE : FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fRtsControl = line.rts_cts   ? RTS_CONTROL_HANDSHAKE
                    : settings.rts ? RTS_CONTROL_ENABLE
                                   : RTS_CONTROL_DISABLE;
  dcb.fOutX = line.xon_out ? TRUE : FALSE;
  dcb.fInX = line.xon_in ? TRUE : FALSE;
  dcb.XonChar = static_cast<char>(line.xon_char);
  dcb.XoffChar = static_cast<char>(line.xoff_char);
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;  // an error must not stop every later read and write
  if (!SetCommState(handle_, &dcb))
    throw EComPort(CError_SetStateFailed, static_cast<int>(GetLastError()));
}

void WinPort::Purge(bool input, bool output) {
  if (handle_ == INVALID_HANDLE_VALUE) throw EComPort(CError_PurgeFailed, ERROR_INVALID_HANDLE);
  DWORD flags = 0;
  if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
  if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  if (flags && !PurgeComm(handle_, flags))
    throw EComPort(CError_PurgeFailed, static_cast<int>(GetLastError()));
}

int WinPort::Write(const void* data, int count, int64_t limitMs) {
  if (handle_ == INVALID_HANDLE_VALUE) throw EComPort(CError_WriteFailed, ERROR_INVALID_HANDLE);
  if (count <= 0) return 0;
  Event done(TRUE);
  OVERLAPPED ov{};
  ov.hEvent = done.h;
  DWORD written = 0;
  if (!WriteFile(handle_, data, static_cast<DWORD>(count), &written, &ov)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) throw EComPort(CError_WriteFailed, static_cast<int>(error));
    const DWORD wait =
        limitMs > 0 ? static_cast<DWORD>(std::min<int64_t>(limitMs, MAXDWORD - 1)) : INFINITE;
    if (WaitForSingleObject(done.h, wait) != WAIT_OBJECT_0) {
      // Flow control held the line past the limit: the rest is withdrawn,
      // so it does not trickle out later when the far end lets go.
      CancelIoEx(handle_, &ov);
      GetOverlappedResult(handle_, &ov, &written, TRUE);
      PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
      throw EComPort(CError_WriteFailed, ERROR_TIMEOUT);
    }
    if (!GetOverlappedResult(handle_, &ov, &written, FALSE))
      throw EComPort(CError_WriteFailed, static_cast<int>(GetLastError()));
  }
  if (static_cast<int>(written) != count) throw EComPort(CError_WriteFailed, ERROR_TIMEOUT);
  return count;
}

unsigned long WinPort::Poll() {
  if (handle_ == INVALID_HANDLE_VALUE) throw EComPort(CError_ClearComFailed, ERROR_INVALID_HANDLE);
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handle_, &errors, &status))
    throw EComPort(CError_ClearComFailed, static_cast<int>(GetLastError()));
  errors_ |= errors;
  return status.cbInQue;
}

int WinPort::Read(void* buffer, int count) {
  if (handle_ == INVALID_HANDLE_VALUE) throw EComPort(CError_ReadFailed, ERROR_INVALID_HANDLE);
  if (count <= 0) return 0;
  unsigned long queued = 0;
  try {
    queued = Poll();
  } catch (const EComPort& e) {
    throw EComPort(CError_ReadFailed, e.ErrorCode());
  }
  const DWORD want = static_cast<DWORD>(std::min<unsigned long>(queued, count));
  if (want == 0) return 0;
  Event done(TRUE);
  OVERLAPPED ov{};
  ov.hEvent = done.h;
  DWORD got = 0;
  if (!ReadFile(handle_, buffer, want, &got, &ov)) {
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      // What was queued is there to take: a read that still waits is a
      // driver that makes it (wine with "return at once"), and is ended
      // with what it has.
      if (WaitForSingleObject(done.h, 50) != WAIT_OBJECT_0) CancelIoEx(handle_, &ov);
      error = GetOverlappedResult(handle_, &ov, &got, TRUE) ? 0 : GetLastError();
    }
    // A total timeout ends a read with ERROR_TIMEOUT under wine where
    // Windows returns success: nothing (more) was read either way.
    if (error != 0 && error != ERROR_TIMEOUT && error != ERROR_OPERATION_ABORTED)
      throw EComPort(CError_ReadFailed, static_cast<int>(error));
  }
  return static_cast<int>(got);
}

bool WinPort::WaitForInput(int64_t waitMs) {
  // Reset before the look: bytes that arrive after it set the event again.
  ResetEvent(input_);
  try {
    if (Poll() > 0) return true;
  } catch (const EComPort& e) {
    throw EComPort(CError_ReadFailed, e.ErrorCode());
  }
  if (waitMs > 0)
    WaitForSingleObject(input_, static_cast<DWORD>(std::min<int64_t>(waitMs, MAXDWORD - 1)));
  return true;
}

void WinPort::DiscardQueues() {
  if (handle_ != INVALID_HANDLE_VALUE)
    PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

int WinPort::QueuedInput() {
  return static_cast<int>(Poll());
}

TComErrors WinPort::LineErrors(bool checkParity) {
  Poll();
  TComErrors found;
  if (errors_ & CE_FRAME) found.Include(ceFrame);
  if (checkParity && (errors_ & CE_RXPARITY)) found.Include(ceRxParity);
  if (errors_ & CE_OVERRUN) found.Include(ceOverrun);
  if (errors_ & CE_BREAK) found.Include(ceBreak);
  if (errors_ & CE_RXOVER) found.Include(ceRxOver);
  errors_ = 0;
  return found;
}

TComSignals WinPort::Signals() {
  if (handle_ == INVALID_HANDLE_VALUE) throw EComPort(CError_ModemStatFailed, ERROR_INVALID_HANDLE);
  DWORD status = 0;
  if (!GetCommModemStatus(handle_, &status))
    throw EComPort(CError_ModemStatFailed, static_cast<int>(GetLastError()));
  TComSignals s;
  s.cts = status & MS_CTS_ON;
  s.dsr = status & MS_DSR_ON;
  s.ring = status & MS_RING_ON;
  s.rlsd = status & MS_RLSD_ON;
  return s;
}

void WinPort::SetDtr(bool on) {
  if (handle_ == INVALID_HANDLE_VALUE || !EscapeCommFunction(handle_, on ? SETDTR : CLRDTR))
    throw EComPort(CError_EscapeComFailed, static_cast<int>(GetLastError()));
}

void WinPort::SetRts(bool on) {
  if (handle_ == INVALID_HANDLE_VALUE || !EscapeCommFunction(handle_, on ? SETRTS : CLRRTS))
    throw EComPort(CError_EscapeComFailed, static_cast<int>(GetLastError()));
}

}  // namespace velimo::serial::win
