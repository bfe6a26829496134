// Opening: exclusive hold of the device (against this process, another
// process, and the kernel's exclusive-tty check), and the failures that
// leave the port closed.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <fstream>

#include "pty_fixture.h"

namespace velimo::test {
namespace {

using namespace velimo::serial;

struct ProbeResult {
  int code = -1;
  int err = -1;
};

// Runs the probe in a process of its own.
ProbeResult Probe(const std::string& args) {
  std::string cmd = std::string(VELIMO_PTY_OPEN_PROBE) + " " + args;
  ProbeResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  if (fscanf(p, "code=%d errno=%d", &r.code, &r.err) != 2) r.code = -2;
  pclose(p);
  return r;
}

int OpenCode(TComPort& port, int* err = nullptr) {
  try {
    port.OpenPort();
    return 0;
  } catch (const EComPort& e) {
    if (err) *err = e.ErrorCode();
    return e.Code();
  }
}

class OpenPort : public PtyTest {};

TEST_F(OpenPort, ASecondPortOfThisProcessIsRefused) {
  TComPort first, second;
  Configure(first);
  Configure(second);
  first.OpenPort();
  int err = 0;
  EXPECT_EQ(OpenCode(second, &err), 1);
  EXPECT_EQ(err, EBUSY);
  EXPECT_FALSE(second.Connected());
  EXPECT_TRUE(first.Connected());
  // The refused open did not disturb the holder.
  const char byte = 'x';
  first.WriteBytes(&byte, 1);
  EXPECT_EQ(MasterRead(1, 1000), "x");
  // Once the holder lets go, the device can be taken.
  first.ClosePort();
  EXPECT_EQ(OpenCode(second), 0);
}

TEST_F(OpenPort, AnotherProcessIsRefused) {
  TComPort port;
  Configure(port);
  port.OpenPort();
  ProbeResult held = Probe(path_);
  EXPECT_EQ(held.code, 1);
  EXPECT_EQ(held.err, EBUSY);
  port.ClosePort();
  ProbeResult free = Probe(path_);
  EXPECT_EQ(free.code, 0) << "errno " << free.err;
}

// TIOCEXCL refuses even a bare open() that ignores flock; only unprivileged
// openers are subject to it, so the probe drops root first when it has it.
TEST_F(OpenPort, TheKernelRefusesABareOpenWhileHeld) {
  ASSERT_EQ(chmod(path_.c_str(), 0666), 0);
  TComPort port;
  Configure(port);
  port.OpenPort();
  const std::string nobody = getuid() == 0 ? "--as-nobody " : "";
  ProbeResult held = Probe(nobody + "--raw-open " + path_);
  EXPECT_EQ(held.code, 1);
  EXPECT_EQ(held.err, EBUSY);
  port.ClosePort();
  // The flag is cleared at close, though the tty lives on.
  ProbeResult free = Probe(nobody + "--raw-open " + path_);
  EXPECT_EQ(free.code, 0) << "errno " << free.err;
}

TEST_F(OpenPort, FailuresGiveCodeOneAndLeaveThePortClosed) {
  char dirTmpl[] = "/tmp/velimo-open-XXXXXX";
  ASSERT_NE(mkdtemp(dirTmpl), nullptr);
  const std::string dir = dirTmpl;
  const std::string plain = dir + "/plain-file";
  std::ofstream(plain) << "not a tty\n";
  struct Case {
    const char* what;
    std::string port;
    int err;
  } cases[] = {
      {"missing device", dir + "/ttyMissing", ENOENT},
      {"plain file", plain, ENOTTY},
      {"directory", dir, EISDIR},
      {"the list's placeholder", "No COM Port", ENOENT},
      {"COM name without device", "COM200", ENOENT},
  };
  for (const Case& c : cases) {
    TComPort port;
    port.SetPort(c.port);
    int err = 0;
    EXPECT_EQ(OpenCode(port, &err), 1) << c.what;
    EXPECT_EQ(err, c.err) << c.what;
    EXPECT_FALSE(port.Connected()) << c.what;
    EXPECT_FALSE(port.EventThreadActive()) << c.what;
  }
  std::remove(plain.c_str());
  rmdir(dir.c_str());
}

TEST_F(OpenPort, PermissionDeniedGivesCodeOne) {
  ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
  if (getuid() != 0) {
    // Not root: the pty is ours, so make one we cannot open.
    GTEST_SKIP() << "needs root to try the device as another user";
  }
  ProbeResult r = Probe("--as-nobody " + path_);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, EACCES);
}

TEST_F(OpenPort, OpenTwiceAndCloseTwiceDoNothing) {
  TComPort port;
  Configure(port);
  int opens = 0, closes = 0;
  port.OnAfterOpen = [&] { ++opens; };
  port.OnAfterClose = [&] { ++closes; };
  port.OpenPort();
  port.OpenPort();
  port.SetConnected(true);
  EXPECT_EQ(opens, 1);
  EXPECT_TRUE(port.EventThreadActive());
  port.ClosePort();
  port.ClosePort();
  port.SetConnected(false);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadActive());
  // And again, on the same object.
  port.SetConnected(true);
  EXPECT_TRUE(port.Connected());
  EXPECT_TRUE(port.EventThreadActive());
}

TEST_F(OpenPort, SyncMethodCannotChangeWhileConnected) {
  TComPort port;
  Configure(port);
  port.OpenPort();
  try {
    port.SetSyncMethod(smWindowSync);
    FAIL() << "changed while connected";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 14);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
  }
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  port.SetSyncMethod(smThreadSync);  // the same value is no change
}

TEST_F(OpenPort, NoEventsMeansNoEventThread) {
  TComPort port;
  Configure(port);
  port.SetEvents({});
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  EXPECT_FALSE(port.EventThreadActive());
  MasterWrite("abc");
  char buf[8];
  int got = 0;
  ASSERT_TRUE(WaitUntil([&] { return (got += port.ReadBytes(buf + got, 8 - got)) >= 3; }));
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_FALSE(port.HasPendingEvents());
}

}  // namespace
}  // namespace velimo::test
