// Only kernel headers here: no <termios.h> (see linux_tty.h).
#include "serial/tty/linux_tty.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <errno.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cstring>

namespace velimo::serial::tty {

namespace {

struct SpeedCode {
  int baud;
  uint32_t code;
};

// Rates with a speed code of their own are set through it, so tools that
// read the classic termios (stty among them) see the rate by name; every
// other rate travels as BOTHER with the number in c_ospeed.
constexpr SpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

int Ioctl(int fd, unsigned long request, void* arg) {
  int rc;
  do {
    rc = ioctl(fd, request, arg);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? errno : 0;
}

}  // namespace

uint32_t StandardBaudCode(int baud) {
  for (const SpeedCode& s : kSpeedCodes) {
    if (s.baud == baud) return s.code;
  }
  return 0;
}

uint32_t BaudMask() {
  return CBAUD;
}
uint32_t BaudOther() {
  return BOTHER;
}

namespace {

void ToRaw(const termios2& t, RawTermios* out) {
  out->iflag = t.c_iflag;
  out->oflag = t.c_oflag;
  out->cflag = t.c_cflag;
  out->lflag = t.c_lflag;
  out->line = t.c_line;
  static_assert(sizeof out->cc == sizeof t.c_cc);
  std::memcpy(out->cc, t.c_cc, sizeof out->cc);
  out->ispeed = t.c_ispeed;
  out->ospeed = t.c_ospeed;
}

void FromRaw(const RawTermios& in, termios2* t) {
  t->c_iflag = in.iflag;
  t->c_oflag = in.oflag;
  t->c_cflag = in.cflag;
  t->c_lflag = in.lflag;
  t->c_line = in.line;
  std::memcpy(t->c_cc, in.cc, sizeof t->c_cc);
  t->c_ispeed = in.ispeed;
  t->c_ospeed = in.ospeed;
}

}  // namespace

bool ComposeTermios(const RawTermios& current, const LineConfig& config, RawTermios* out) {
  // A zero rate would mean "hang up" to the driver; negative ones wrap.
  if (config.baud <= 0) return false;
  if (config.data_bits < 5 || config.data_bits > 8) return false;
  if (config.parity < 0 || config.parity > 4) return false;
  RawTermios t = current;

  // Input: no break or parity marking, no stripping, no CR/NL mapping, no
  // software flow control unless asked for.
  t.iflag &= ~static_cast<uint32_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                    IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
  if (config.check_parity) t.iflag |= INPCK;
  if (config.xon_out) t.iflag |= IXON;
  if (config.xon_in) t.iflag |= IXOFF;
  // Output passes unchanged; no echo, no line editing, no signals.
  t.oflag = 0;
  t.lflag = 0;

  uint32_t size = CS8;
  switch (config.data_bits) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    default:
      size = CS8;
      break;
  }
  t.cflag &= ~static_cast<uint32_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CBAUD |
                                    (CBAUD << IBSHIFT));
  // CLOCAL: the modem's carrier line does not gate opening or reading.
  t.cflag |= CREAD | CLOCAL | HUPCL | size;
  if (config.two_stop_bits) t.cflag |= CSTOPB;
  switch (config.parity) {
    case 1:
      t.cflag |= PARENB | PARODD;
      break;
    case 2:
      t.cflag |= PARENB;
      break;
    case 3:
      t.cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 4:
      t.cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (config.rts_cts) t.cflag |= CRTSCTS;

  // Input speed code left zero: input runs at the output speed.
  uint32_t code = StandardBaudCode(config.baud);
  t.cflag |= code ? code : BOTHER;
  t.ispeed = static_cast<uint32_t>(config.baud);
  t.ospeed = static_cast<uint32_t>(config.baud);

  t.cc[VSTART] = config.xon_char;
  t.cc[VSTOP] = config.xoff_char;
  // Reads never wait: the descriptor is non-blocking, and a read returns
  // whatever has arrived.
  t.cc[VMIN] = 1;
  t.cc[VTIME] = 0;
  *out = t;
  return true;
}

int ApplyLineConfig(int fd, const LineConfig& config) {
  termios2 t;
  std::memset(&t, 0, sizeof t);
  if (int rc = Ioctl(fd, TCGETS2, &t)) return rc;
  RawTermios current, wanted;
  ToRaw(t, &current);
  if (!ComposeTermios(current, config, &wanted)) return EINVAL;
  FromRaw(wanted, &t);
  return Ioctl(fd, TCSETS2, &t);
}

int ReadRawTermios(int fd, RawTermios* out) {
  termios2 t;
  std::memset(&t, 0, sizeof t);
  if (int rc = Ioctl(fd, TCGETS2, &t)) return rc;
  ToRaw(t, out);
  return 0;
}

int WriteRawTermios(int fd, const RawTermios& in) {
  termios2 t;
  std::memset(&t, 0, sizeof t);
  FromRaw(in, &t);
  return Ioctl(fd, TCSETS2, &t);
}

int ReadLineCounters(int fd, LineCounters* out) {
  serial_icounter_struct ic;
  std::memset(&ic, 0, sizeof ic);
  int rc = Ioctl(fd, TIOCGICOUNT, &ic);
  if (rc == ENOTTY || rc == EINVAL) return -1;
  if (rc) return rc;
  out->frame = static_cast<uint32_t>(ic.frame);
  out->overrun = static_cast<uint32_t>(ic.overrun);
  out->parity = static_cast<uint32_t>(ic.parity);
  out->brk = static_cast<uint32_t>(ic.brk);
  out->buf_overrun = static_cast<uint32_t>(ic.buf_overrun);
  return 0;
}

}  // namespace velimo::serial::tty
