#include "serial/tty/tty_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/com_error.h"
#include "serial/deadline.h"
#include "serial/port_holders.h"

namespace velimo::serial::tty {

namespace {

using Clock = std::chrono::steady_clock;

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

TComErrors LineErrorsBetween(const LineCounters& before, const LineCounters& now,
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

TtyPort::TtyPort(std::string path, bool restoreLine)
    : path_(std::move(path)), restore_line_(restoreLine) {}

TtyPort::~TtyPort() {
  Close();
}

void TtyPort::Open() {
  int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
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
  // A process that has the line open without a lock (a getty, a terminal
  // program, a GPS daemon) owns it just the same: two readers of one line
  // each get half of every answer.
  if (!HoldersOf(path_).empty()) fail(EBUSY);
  if (ioctl(fd, TIOCEXCL) < 0) fail(errno);
  if (restore_line_) {
    RawTermios found;
    if (ReadRawTermios(fd, &found) == 0) found_line_ = found;
  }
  fd_ = fd;

  LineCounters counters;
  int countersRc = ReadLineCounters(fd_, &counters);
  counters_valid_ = countersRc == 0;
  // A driver without counters will not grow them; asking on every batch
  // would only cost a system call per arrival.
  counters_unsupported_ = countersRc < 0;
  if (counters_valid_) last_counters_ = counters;
}

void TtyPort::Close() {
  if (fd_ < 0) return;
  if (found_line_) {
    // Nothing of ours may linger in the line: bytes still queued would go
    // out at the settings being replaced.
    tcflush(fd_, TCIOFLUSH);
    WriteRawTermios(fd_, *found_line_);
    found_line_.reset();
  }
  // The exclusive flag belongs to the tty, not to this descriptor: clear
  // it so the next opener is not refused.
  ioctl(fd_, TIOCNXCL);
  close(fd_);  // also releases the flock
  fd_ = -1;
}

void TtyPort::ApplyLineSettings(const TransportSettings& settings) {
  if (int rc = ApplyLineConfig(fd_, settings.line)) {
    throw EComPort(CError_SetStateFailed, rc);
  }
  baud_ = settings.line.baud;
  // DTR is held on for dtrEnable (and for dtrHandshake, which Linux cannot
  // do); RTS likewise, and under RTS/CTS the driver takes it over.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  if (ioctl(fd_, settings.dtr ? TIOCMBIS : TIOCMBIC, &dtr) < 0 && !Unsupported(errno)) {
    throw EComPort(CError_SetStateFailed, errno);
  }
  if (ioctl(fd_, settings.rts ? TIOCMBIS : TIOCMBIC, &rts) < 0 && !Unsupported(errno)) {
    throw EComPort(CError_SetStateFailed, errno);
  }
}

void TtyPort::Purge(bool input, bool output) {
  int what = input && output ? TCIOFLUSH : input ? TCIFLUSH : output ? TCOFLUSH : -1;
  if (what < 0) {
    if (fd_ < 0) throw EComPort(CError_PurgeFailed, EBADF);
    return;
  }
  if (tcflush(fd_, what) < 0) throw EComPort(CError_PurgeFailed, errno);
}

void TtyPort::DiscardQueues() {
  tcflush(fd_, TCIOFLUSH);
}

void TtyPort::WriteTimedOut() {
  // What the failed write left queued must not trickle out later, when
  // the far end lets the line go again.
  tcflush(fd_, TCOFLUSH);
  throw EComPort(CError_WriteFailed, ETIMEDOUT);
}

int TtyPort::Write(const void* data, int count, int64_t limitMs) {
  const bool limited = limitMs > 0;
  const Clock::time_point deadline = DeadlineAfterMs(limitMs);
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
  const int64_t baud = std::max(1, baud_);
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

int TtyPort::Read(void* buffer, int count) {
  for (;;) {
    ssize_t n = read(fd_, buffer, static_cast<size_t>(count));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return 0;
    if (n < 0) throw EComPort(CError_ReadFailed, errno);
    // End of file: the device is gone.
    if (n == 0 && count > 0) return -1;
    return static_cast<int>(n);
  }
}

bool TtyPort::WaitForInput(int64_t waitMs) {
  if (PollOne(fd_, POLLIN, waitMs) < 0) throw EComPort(CError_ReadFailed, errno);
  return true;
}

int TtyPort::QueuedInput() {
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) < 0) throw EComPort(CError_ClearComFailed, errno);
  return n;
}

TComErrors TtyPort::LineErrors(bool checkParity) {
  if (fd_ < 0) throw EComPort(CError_ClearComFailed, EBADF);
  if (counters_unsupported_) return {};
  LineCounters now;
  int rc = ReadLineCounters(fd_, &now);
  if (rc < 0) return {};  // the driver keeps no counters
  if (rc > 0) throw EComPort(CError_ClearComFailed, rc);
  TComErrors errors;
  if (counters_valid_) errors = LineErrorsBetween(last_counters_, now, checkParity);
  counters_valid_ = true;
  last_counters_ = now;
  return errors;
}

TComSignals TtyPort::Signals() {
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

}  // namespace velimo::serial::tty
