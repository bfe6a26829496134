// The few calls that need the kernel's own termios2 record. They live in one
// file because the kernel's termios header and the C library's <termios.h>
// define the same names differently and cannot be included together.
#pragma once

#include <cstdint>

namespace velimo::serial::tty {

// Line settings as the kernel takes them; every field already decided by
// the port (presets resolved, Windows-only options dropped).
struct LineConfig {
  int baud = 9600;    // bits per second, any positive value
  int data_bits = 8;  // 5..8
  bool two_stop_bits = false;
  int parity = 0;             // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool check_parity = false;  // verify received parity
  bool rts_cts = false;       // hardware flow control
  bool xon_out = false;       // honour XON/XOFF from the far end
  bool xon_in = false;        // send XON/XOFF when our queue fills
  unsigned char xon_char = 17;
  unsigned char xoff_char = 19;
};

// The kernel's termios2 record, field by field.
struct RawTermios {
  uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
  uint8_t line = 0;
  uint8_t cc[19] = {};
  uint32_t ispeed = 0, ospeed = 0;
};

// The record that puts a tty in raw mode (no echo, no line editing, no
// CR/NL translation, no signal characters) with the given line settings;
// fields that the settings do not decide are kept from current. Returns
// false for settings the kernel cannot take (a rate of 0 or less, data
// bits outside 5..8, an unknown parity).
bool ComposeTermios(const RawTermios& current, const LineConfig& config, RawTermios* out);

// Applies ComposeTermios through TCSETS2, so that any baud rate reaches
// the driver. Returns 0 or the errno (EINVAL for refused settings).
int ApplyLineConfig(int fd, const LineConfig& config);
// TCGETS2 on fd; on a pseudo-terminal master it reads the slave's settings.
// Returns 0 or the errno.
int ReadRawTermios(int fd, RawTermios* out);
// TCSETS2 with a record as ReadRawTermios gave it: every flag, rate and
// control character back as it was. Returns 0 or the errno.
int WriteRawTermios(int fd, const RawTermios& in);
// The kernel's CBAUD mask and its BOTHER value ("speed in c_ospeed").
uint32_t BaudMask();
uint32_t BaudOther();
// The kernel's speed code for a standard rate, or 0 for a rate that is
// carried as BOTHER.
uint32_t StandardBaudCode(int baud);

// Counters of line errors kept by the driver.
struct LineCounters {
  uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, buf_overrun = 0;
};
// TIOCGICOUNT. Returns 0, the errno, or -1 when the driver keeps no
// counters (pseudo-terminals, some USB adapters).
int ReadLineCounters(int fd, LineCounters* out);

}  // namespace velimo::serial::tty
