// The termios2 record the port hands to the kernel, checked field by
// field (a pseudo-terminal rewrites some of it, so the pty tests cannot).
#include "serial/tty/linux_tty.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace velimo::serial::tty {
namespace {

RawTermios Cooked() {
  // What a freshly opened terminal typically holds.
  RawTermios t;
  t.iflag = ICRNL | IXON | IXANY | IMAXBEL | BRKINT | IUTF8;
  t.oflag = OPOST | ONLCR;
  t.cflag = CS7 | PARENB | CREAD | B38400 | CRTSCTS | CSTOPB;
  t.lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN | ECHOCTL | ECHOKE;
  t.cc[VMIN] = 0;
  t.cc[VTIME] = 5;
  t.ispeed = t.ospeed = 38400;
  return t;
}

TEST(ComposeTermios, DataBitsParityAndStopBits) {
  struct Case {
    int dataBits;
    int parity;
    bool twoStop;
    tcflag_t size;
    tcflag_t parityBits;
  } cases[] = {
      {5, 0, false, CS5, 0},
      {6, 1, false, CS6, PARENB | PARODD},
      {7, 2, true, CS7, PARENB},
      {8, 3, false, CS8, PARENB | PARODD | CMSPAR},
      {8, 4, true, CS8, PARENB | CMSPAR},
  };
  for (const Case& c : cases) {
    LineConfig config;
    config.data_bits = c.dataBits;
    config.parity = c.parity;
    config.two_stop_bits = c.twoStop;
    RawTermios t;
    ASSERT_TRUE(ComposeTermios(Cooked(), config, &t));
    EXPECT_EQ(t.cflag & CSIZE, c.size) << c.dataBits;
    EXPECT_EQ(t.cflag & (PARENB | PARODD | CMSPAR), c.parityBits) << c.parity;
    EXPECT_EQ((t.cflag & CSTOPB) != 0, c.twoStop);
  }
}

TEST(ComposeTermios, RawModeWhateverWasThereBefore) {
  LineConfig config;
  RawTermios t;
  ASSERT_TRUE(ComposeTermios(Cooked(), config, &t));
  EXPECT_EQ(t.lflag, 0u);
  EXPECT_EQ(t.oflag, 0u);
  EXPECT_EQ(t.iflag & (ICRNL | IXON | IXANY | IMAXBEL | BRKINT | IUTF8 | INPCK), 0u);
  EXPECT_EQ(t.cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(t.cc[VMIN], 1);
  EXPECT_EQ(t.cc[VTIME], 0);
  EXPECT_EQ(t.cc[VSTART], 17);
  EXPECT_EQ(t.cc[VSTOP], 19);
}

TEST(ComposeTermios, FlowControlAndParityCheck) {
  LineConfig config;
  config.rts_cts = true;
  config.xon_in = true;
  config.check_parity = true;
  config.xon_char = 'A';
  config.xoff_char = 'B';
  RawTermios t;
  ASSERT_TRUE(ComposeTermios(RawTermios{}, config, &t));
  EXPECT_NE(t.cflag & CRTSCTS, 0u);
  EXPECT_NE(t.iflag & IXOFF, 0u);
  EXPECT_EQ(t.iflag & IXON, 0u);
  EXPECT_NE(t.iflag & INPCK, 0u);
  EXPECT_EQ(t.cc[VSTART], 'A');
  EXPECT_EQ(t.cc[VSTOP], 'B');
}

TEST(ComposeTermios, StandardRatesByCodeOthersAsFreeNumber) {
  struct Case {
    int baud;
    bool free;
  } cases[] = {{600, false},    {3600, true},   {7200, true},    {9600, false},
               {14400, true},   {57600, false}, {230400, false}, {460800, false},
               {921600, false}, {256000, true}, {1, true},       {4000000, false}};
  for (const Case& c : cases) {
    LineConfig config;
    config.baud = c.baud;
    RawTermios t;
    ASSERT_TRUE(ComposeTermios(Cooked(), config, &t));
    EXPECT_EQ((t.cflag & BaudMask()) == BaudOther(), c.free) << c.baud;
    EXPECT_EQ(t.ospeed, static_cast<uint32_t>(c.baud));
    EXPECT_EQ(t.ispeed, static_cast<uint32_t>(c.baud));
    // The input speed follows the output speed.
    EXPECT_EQ(t.cflag & (BaudMask() << 16), 0u) << c.baud;
    if (!c.free) {
      EXPECT_EQ(t.cflag & BaudMask(), StandardBaudCode(c.baud));
    }
  }
  EXPECT_EQ(StandardBaudCode(115200), static_cast<uint32_t>(B115200));
  EXPECT_EQ(StandardBaudCode(3600), 0u);
}

TEST(ComposeTermios, RefusesWhatTheKernelCannotTake) {
  struct Case {
    int baud, dataBits, parity;
  } cases[] = {{0, 8, 0}, {-9600, 8, 0}, {9600, 4, 0}, {9600, 9, 0}, {9600, 8, 5}, {9600, 8, -1}};
  for (const Case& c : cases) {
    LineConfig config;
    config.baud = c.baud;
    config.data_bits = c.dataBits;
    config.parity = c.parity;
    RawTermios t;
    EXPECT_FALSE(ComposeTermios(Cooked(), config, &t)) << c.baud << " " << c.dataBits;
  }
}

}  // namespace
}  // namespace velimo::serial::tty
