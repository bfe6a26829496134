// Line settings as the far end of a pseudo-terminal sees them: raw mode,
// any baud rate, stop bits, parity kind and flow control, applied at open
// and again at once when changed while connected.
//
// The pty driver rewrites two things of every setting it is given: it
// forces 8 data bits and clears the parity enable (a pty has no wire). So
// here the data bits always read back as CS8 and PARENB as off; what
// survives is checked, and the record we hand to the kernel is checked in
// full by the unit tests of ComposeTermios.
#include <sys/wait.h>
#include <termios.h>

#include <sstream>
#include <vector>

#include "pty_fixture.h"
#include "serial/tty/linux_tty.h"

namespace velimo::test {
namespace {

using namespace velimo::serial;

tty::RawTermios ReadBack(int master) {
  tty::RawTermios t;
  EXPECT_EQ(tty::ReadRawTermios(master, &t), 0);
  return t;
}

struct LineCase {
  const char* name;
  TBaudRate rate;
  int custom;
  TDataBits data;
  TStopBits stop;
  TParityBits parity;
  TFlowControl flow;
  // expected
  uint32_t speed;
  bool bother;  // carried as a free number
  tcflag_t csize;
  bool cstopb;
  tcflag_t parityBits;  // PARENB | PARODD | CMSPAR as we set them
  bool crtscts, ixon, ixoff;
};

class LineSettings : public PtyTest {};

TEST_F(LineSettings, ReachTheDeviceAsSet) {
  const LineCase cases[] = {
      {"9600 8N1", br9600, 0, dbEight, sbOneStopBit, prNone, fcNone, 9600, false, CS8, false, 0,
       false, false, false},
      {"3600 custom", brCustom, 3600, dbEight, sbOneStopBit, prNone, fcNone, 3600, true, CS8, false,
       0, false, false, false},
      {"7200 custom", brCustom, 7200, dbEight, sbOneStopBit, prOdd, fcNone, 7200, true, CS8, false,
       PARENB | PARODD, false, false, false},
      {"57600 custom", brCustom, 57600, dbEight, sbOneStopBit, prEven, fcHardware, 57600, false,
       CS8, false, PARENB, true, false, false},
      {"230400", brCustom, 230400, dbSeven, sbTwoStopBits, prMark, fcNone, 230400, false, CS7, true,
       PARENB | PARODD | CMSPAR, false, false, false},
      {"460800", brCustom, 460800, dbSix, sbOneStopBit, prSpace, fcSoftware, 460800, false, CS6,
       false, PARENB | CMSPAR, false, true, true},
      {"921600", brCustom, 921600, dbFive, sbOne5StopBits, prNone, fcHardware, 921600, false, CS5,
       true, 0, true, false, false},
      {"110", br110, 0, dbEight, sbOneStopBit, prNone, fcNone, 110, false, CS8, false, 0, false,
       false, false},
      {"14400 named", br14400, 0, dbEight, sbOneStopBit, prNone, fcNone, 14400, true, CS8, false, 0,
       false, false, false},
      {"256000 named", br256000, 0, dbEight, sbOneStopBit, prNone, fcNone, 256000, true, CS8, false,
       0, false, false, false},
      {"odd custom 31250", brCustom, 31250, dbEight, sbOneStopBit, prNone, fcNone, 31250, true, CS8,
       false, 0, false, false, false},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    TComPort port;
    Configure(port);
    port.SetBaudRate(c.rate);
    if (c.custom) port.SetCustomBaudRate(c.custom);
    port.SetDataBits(c.data);
    port.SetStopBits(c.stop);
    port.Parity().SetBits(c.parity);
    port.FlowControl().SetFlowControl(c.flow);
    port.OpenPort();
    tty::RawTermios t = ReadBack(master_);
    EXPECT_EQ(t.ospeed, c.speed);
    EXPECT_EQ(t.ispeed, c.speed);
    EXPECT_EQ((t.cflag & tty::BaudMask()) == tty::BaudOther(), c.bother);
    EXPECT_EQ(t.cflag & CSIZE, static_cast<tcflag_t>(CS8)) << "pty forces 8 data bits";
    (void)c.csize;
    EXPECT_EQ((t.cflag & CSTOPB) != 0, c.cstopb);
    EXPECT_EQ(t.cflag & (PARODD | CMSPAR), c.parityBits & (PARODD | CMSPAR));
    EXPECT_EQ(t.cflag & PARENB, 0u) << "pty clears the parity enable";
    EXPECT_EQ((t.cflag & CRTSCTS) != 0, c.crtscts);
    EXPECT_EQ((t.iflag & IXON) != 0, c.ixon);
    EXPECT_EQ((t.iflag & IXOFF) != 0, c.ixoff);
    // Raw mode, whatever the line settings.
    EXPECT_EQ(t.lflag & (ECHO | ICANON | ISIG | IEXTEN | ECHONL), 0u);
    EXPECT_EQ(t.oflag & OPOST, 0u);
    EXPECT_EQ(t.iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | IXANY | INPCK), 0u);
    EXPECT_EQ(t.cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    port.ClosePort();
  }
}

TEST_F(LineSettings, ChangesWhileConnectedApplyAtOnce) {
  TComPort port;
  Configure(port);
  port.OpenPort();
  EXPECT_EQ(ReadBack(master_).ospeed, 9600u);

  port.SetCustomBaudRate(921600);
  EXPECT_EQ(ReadBack(master_).ospeed, 921600u);
  port.SetBaudRate(br57600);
  EXPECT_EQ(ReadBack(master_).ospeed, 57600u);
  port.Parity().SetBits(prMark);
  EXPECT_EQ(ReadBack(master_).cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
  port.Parity().SetBits(prSpace);
  EXPECT_EQ(ReadBack(master_).cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(CMSPAR));
  port.SetStopBits(sbTwoStopBits);
  EXPECT_NE(ReadBack(master_).cflag & CSTOPB, 0u);
  port.FlowControl().SetFlowControl(fcHardware);
  EXPECT_NE(ReadBack(master_).cflag & CRTSCTS, 0u);
  port.FlowControl().SetFlowControl(fcNone);
  EXPECT_EQ(ReadBack(master_).cflag & CRTSCTS, 0u);
  port.Parity().SetCheck(true);
  EXPECT_NE(ReadBack(master_).iflag & INPCK, 0u);
  port.FlowControl().SetXonChar(0x11 + 2);
  EXPECT_EQ(ReadBack(master_).cc[VSTART], 0x13);
}

TEST_F(LineSettings, ChangesWhileClosedWaitForTheOpen) {
  TComPort port;
  Configure(port);
  port.SetCustomBaudRate(7200);
  // Nothing reached the device yet: the pty still has its own speed.
  EXPECT_NE(ReadBack(master_).ospeed, 7200u);
  port.OpenPort();
  EXPECT_EQ(ReadBack(master_).ospeed, 7200u);
}

TEST_F(LineSettings, ARateOfZeroIsRefusedAndLeavesThePortClosed) {
  TComPort port;
  Configure(port);
  port.SetCustomBaudRate(0);
  try {
    port.OpenPort();
    FAIL() << "opened at 0 baud";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 7);
  }
  EXPECT_FALSE(port.Connected());
  // The failed open released the device.
  port.SetCustomBaudRate(9600);
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
}

// Every byte value passes both ways unchanged: no CR/NL translation, no
// echo, no signal or flow-control characters taken out.
TEST_F(LineSettings, EveryBytePassesUnchanged) {
  TComPort port;
  Configure(port);
  port.SetEvents({});  // read by hand, no event thread
  port.OpenPort();
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));

  MasterWrite(all);
  std::string got;
  ASSERT_TRUE(WaitUntil([&] {
    char buf[512];
    int n = port.ReadBytes(buf, sizeof buf);
    got.append(buf, static_cast<size_t>(n));
    return got.size() >= all.size();
  }));
  EXPECT_EQ(got, all);

  EXPECT_EQ(port.WriteBytes(all.data(), static_cast<int>(all.size())), 256);
  EXPECT_EQ(MasterRead(256, 2000), all);
  // Nothing was echoed back to the far end.
  EXPECT_EQ(MasterRead(1, 50), "");
}

TEST_F(LineSettings, DiscardNullDropsNulBytes) {
  TComPort port;
  Configure(port);
  port.SetEvents({});
  port.SetDiscardNull(true);
  port.OpenPort();
  MasterWrite(std::string("a\0b\0\0c", 6));
  std::string got;
  ASSERT_TRUE(WaitUntil([&] {
    char buf[16];
    got.append(buf, static_cast<size_t>(port.ReadBytes(buf, sizeof buf)));
    return got.size() >= 3;
  }));
  EXPECT_EQ(got, "abc");
}

// stty, reading the settings through the far end, is a witness that does
// not share our idea of the kernel's record.
TEST_F(LineSettings, SttySeesTheSettings) {
  TComPort port;
  Configure(port);
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(115200);
  port.SetDataBits(dbSeven);
  port.SetStopBits(sbTwoStopBits);
  port.Parity().SetBits(prOdd);
  port.FlowControl().SetFlowControl(fcHardware);
  port.OpenPort();

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(master_, 0);
    dup2(out[1], 1);
    execlp("stty", "stty", "-a", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text = ReadFrom(out[0], 1 << 16, 5000);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) GTEST_SKIP() << "stty not installed";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;

  EXPECT_NE(text.find("speed 115200 baud"), std::string::npos) << text;
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w.back() == ';' ? w.substr(0, w.size() - 1) : w);
  auto has = [&](const std::string& w) {
    return std::find(words.begin(), words.end(), w) != words.end();
  };
  // cs8 and -parenb whatever was asked: the pty driver's doing (see top).
  for (const char* w : {"cs8", "cstopb", "-parenb", "parodd", "-cmspar", "crtscts", "clocal",
                        "cread", "-echo", "-icanon", "-isig", "-iexten", "-opost", "-icrnl",
                        "-inlcr", "-igncr", "-ixon", "-ixoff", "-istrip"}) {
    EXPECT_TRUE(has(w)) << "stty does not show " << w << ":\n" << text;
  }
}

TEST_F(LineSettings, ChangingThePortWhileConnectedMovesToTheNewDevice) {
  int master2 = -1, slave2 = -1;
  std::string path2;
  OpenPair(&master2, &slave2, &path2);
  TComPort port;
  Configure(port);
  port.OpenPort();
  port.SetPort(path2);
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.Port(), path2);
  const char hello[] = "on two";
  port.WriteBytes(hello, 6);
  EXPECT_EQ(ReadFrom(master2, 6, 2000), "on two");
  EXPECT_EQ(MasterRead(1, 50), "");
  // The first device was let go.
  TComPort other;
  Configure(other);
  EXPECT_NO_THROW(other.OpenPort());
}

}  // namespace
}  // namespace velimo::test
