// Ports the program may not have, as the operator meets them in the connect
// dialog: a line another process holds, a path that is no terminal, a
// device the user may not open. Each gives "ERROR! Please check your serial
// port status.", the dialog stays open with the choice in it and the window
// stays disconnected; once the cause is gone the same dialog connects.
// (The port component's own codes and errors for these are tested with the
// pseudo-terminal tests; missing devices and "No COM Port" at the dialog
// too.)
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "scan/port_scan.h"
#include "serial/com_port.h"
#include "serial/port_list.h"

namespace velimo::faults {
namespace {

using Texts = std::vector<std::string>;

const char* const kRefused = "ERROR! Please check your serial port status.";

class OpenRefusedTest : public FaultTest {
 protected:
  void TearDown() override {
    ReleaseHolder();
    FaultTest::TearDown();
  }

  // The operator tries port in the connect dialog. Returns "" when the
  // program refused it as it should, otherwise what differed. Runs in a
  // process of its own too, so it asserts nothing itself.
  // reasons: the lines that must stand below the first line of the
  // message, and after the attempt in the trace.
  std::string RefusedAttempt(const std::string& port, const Texts& reasons) {
    StartProgram();
    S().SelectModel('s');
    cli::LinkChoice link;
    link.port = port;
    const bool open = S().Connect(link);
    Platform().RunFor(100);
    std::string wrong;
    const Texts messages = TakeMessages();
    std::string expected = kRefused;
    for (size_t i = 0; i < reasons.size(); ++i) expected += (i == 0 ? "\n\n" : "\n") + reasons[i];
    if (messages != Texts{expected})
      wrong += "messages: " + ::testing::PrintToString(messages) + "; ";
    if (!TakeErrors().empty()) wrong += "an error report; ";
    if (open || Main().ComPortEnvBoard.Connected()) wrong += "the port opened; ";
    if (!S().Dialog().Showing()) wrong += "the dialog closed; ";
    if (S().Dialog().CB_ComPort.Text() != port) wrong += "the dialog lost the choice; ";
    if (Main().StatusBar1.PanelText(1) != "Disconnected") wrong += "the status bar changed; ";
    if (!Main().ConnectN1.Enabled() || Main().Disconnect1.Enabled())
      wrong += "the connection menu changed; ";
    Texts tail = {"Trying Connection to Device... "};
    tail.insert(tail.end(), reasons.begin(), reasons.end());
    const Texts trace = TraceMessages();
    if (trace.size() < tail.size() ||
        !std::equal(tail.begin(), tail.end(), trace.end() - tail.size()))
      wrong += "the trace does not end with the attempt and its reasons: " +
               ::testing::PrintToString(trace) + "; ";
    return wrong;
  }

  // The cause is gone: the operator puts the modem's line in the dialog
  // still open and presses Connect again.
  void ConnectFromTheOpenDialog() {
    S().Run([this] {
      S().Dialog().CB_ComPort.UserSetText(link_);
      S().Dialog().Btn_Connect.Click();
    });
    Settle();
    const Texts messages = TakeMessages();
    EXPECT_TRUE(messages.empty()) << ::testing::PrintToString(messages) << "\n"
                                  << HoldersNamedIn(messages);
    EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
    EXPECT_FALSE(S().Dialog().Showing());
    EXPECT_EQ(Value("LB_S_SID"), "100001");
  }

  // What the processes a refusal names were, for a refusal nobody expected:
  // their parent, command line and open files.
  static std::string HoldersNamedIn(const Texts& messages) {
    std::string out;
    for (const std::string& m : messages) {
      for (size_t at = m.find("PID "); at != std::string::npos; at = m.find("PID ", at + 4)) {
        const std::string pid = std::to_string(std::atoi(m.c_str() + at + 4));
        const std::string folder = "/proc/" + pid;
        std::string status = ReadFile(folder + "/status");
        std::string cmdline = ReadFile(folder + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        out += "PID " + pid + ": " + cmdline + "\n";
        for (const char* key : {"PPid:", "Tgid:", "State:"}) {
          const size_t k = status.find(key);
          if (k != std::string::npos) out += status.substr(k, status.find('\n', k) - k) + "\n";
        }
        std::error_code error;
        for (const auto& fd : std::filesystem::directory_iterator(folder + "/fd", error))
          out += "  fd " + fd.path().filename().string() + " -> " +
                 std::filesystem::read_symlink(fd.path(), error).string() + "\n";
      }
    }
    return out;
  }

  // Another process that opens the modem's line as the program does and
  // keeps it until it is killed.
  // lock=false: opened as a terminal program does, without a lock or
  // the exclusive flag.
  void HoldInAnotherProcess(const char* name = "velimo-holder", bool lock = true) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    holder_ = fork();
    ASSERT_GE(holder_, 0);
    if (holder_ == 0) {
      close(fds[0]);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      prctl(PR_SET_NAME, name);
      char answer = '1';
      serial::TComPort port;
      port.SetPort(link_);
      try {
        if (lock)
          port.OpenPort();
        else if (open(link_.c_str(), O_RDWR | O_NOCTTY) < 0)
          answer = '0';
      } catch (const std::exception&) {
        answer = '0';
      }
      if (write(fds[1], &answer, 1) != 1) _exit(2);
      for (;;) pause();
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char answer = 0;
    const bool told = poll(&p, 1, 5000) == 1 && read(fds[0], &answer, 1) == 1;
    close(fds[0]);
    ASSERT_TRUE(told && answer == '1') << "the other process could not take the line";
  }
  void ReleaseHolder() {
    if (holder_ <= 0) return;
    kill(holder_, SIGKILL);
    waitpid(holder_, nullptr, 0);
    holder_ = -1;
  }

  pid_t holder_ = -1;
};

TEST_F(OpenRefusedTest, ALineHeldByAnotherProcess) {
  StartSim('s');
  HoldInAnotherProcess();
  EXPECT_EQ(
      RefusedAttempt(link_, {"In use by PID " + std::to_string(holder_) + " (velimo-holder)."}),
      "");
  // The other process lets go of the line; the same dialog connects.
  ReleaseHolder();
  ConnectFromTheOpenDialog();
}

// Held open without a lock (a terminal program, a getty): the line is the
// other process's all the same, refused in the same words.
TEST_F(OpenRefusedTest, ALineHeldWithoutALock) {
  StartSim('s');
  HoldInAnotherProcess("velimo-holder", /*lock=*/false);
  EXPECT_EQ(
      RefusedAttempt(link_, {"In use by PID " + std::to_string(holder_) + " (velimo-holder)."}),
      "");
  ReleaseHolder();
  ConnectFromTheOpenDialog();
}

// ModemManager probing a new adapter is the usual holder: the operator is
// told how to keep it away (a pseudo-terminal has no USB ids, so the rule
// carries placeholders to fill in).
TEST_F(OpenRefusedTest, ALineHeldByModemManager) {
  StartSim('s');
  HoldInAnotherProcess("ModemManager");
  EXPECT_EQ(
      RefusedAttempt(
          link_,
          {"In use by PID " + std::to_string(holder_) + " (ModemManager).",
           "To keep ModemManager away from this adapter, put this udev rule in a file such as "
           "/etc/udev/rules.d/99-velimo.rules:",
           "    ATTRS{idVendor}==\"VVVV\", ATTRS{idProduct}==\"PPPP\", "
           "ENV{ID_MM_DEVICE_IGNORE}=\"1\"",
           "then run: sudo udevadm control --reload-rules && sudo udevadm trigger"}),
      "");
  // The other process lets go of the line; the same dialog connects.
  ReleaseHolder();
  ConnectFromTheOpenDialog();
}

TEST_F(OpenRefusedTest, APathThatIsNoTerminal) {
  StartSim('s');
  const std::string plain = dir_ + "/notes.txt";
  WriteFile(plain, "not a terminal\n");
  const std::string cases[] = {plain, dir_, "/dev/null"};
  for (const std::string& port : cases) {
    SCOPED_TRACE(port);
    EXPECT_EQ(RefusedAttempt(port, {"Not a serial device: " + port + " is not a terminal device."}),
              "");
  }
  // Gone, and never there.
  for (const std::string& port : {dir_ + "/ttyGone", std::string(serial::kNoComPort)}) {
    EXPECT_EQ(RefusedAttempt(port, {"No such device: " + serial::DevicePathOf(port) +
                                    " (unplugged or renamed)."}),
              "");
  }
  EXPECT_EQ(ReadFile(plain), "not a terminal\n") << "nothing was written to the file";
  ConnectFromTheOpenDialog();
}

// A device the user may not open: the program runs as an unprivileged
// user in a process of its own (root may open any device).
TEST_F(OpenRefusedTest, ADeviceTheUserMayNotOpen) {
  const std::optional<Unprivileged> who = UnprivilegedUser();
  if (!who) GTEST_SKIP() << "needs root to run the program as another user";
  StartSim('s');
  const std::string device = SimDevice();
  ASSERT_FALSE(device.empty());
  // The folder may be entered by anyone; the device only by its owner.
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  // Owned by root and the dialout group, as udev leaves serial devices.
  ASSERT_EQ(chown(device.c_str(), 0, 20), 0);
  ASSERT_EQ(chmod(device.c_str(), 0660), 0);
  const std::string group = getgrgid(20) ? getgrgid(20)->gr_name : "20";
  const std::string user = getpwuid(who->uid) ? getpwuid(who->uid)->pw_name : "$USER";
  ExpectInFreshProcess([&] {
    auto check = [&]() -> std::string {
      if (!DropPrivileges(*who)) return "could not drop privileges";
      const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd >= 0 || errno != EACCES)
        return std::string("precondition: the device opened or failed otherwise: ") +
               std::strerror(errno);
      return RefusedAttempt(
          link_,
          {"Permission denied: " + serial::DevicePathOf(link_) + " may be used by the group " +
               group + ", and this program does not run with it.",
           "Add the user to the group with:", "    sudo usermod -aG " + group + " " + user,
           "then log out and in again: the group applies from a new login on."});
    };
    EXPECT_EQ(check(), "");
    test::RegainPrivileges();
    TearDown();
  });
  // The owner may: the same steps as root connect.
  StartProgram();
  ASSERT_TRUE(ConnectTo('s'));
  EXPECT_TRUE(TakeMessages().empty());
}

// Devices the user may not open, where joining a group or a udev rule
// would be wrong advice: a pseudo-terminal only root may open (no udev
// rule reaches it), one of the disk group (joining disk is raw disk
// access), and a node that is no terminal at all.
TEST_F(OpenRefusedTest, NoUnsafeOrUselessAdviceForDevicesThatAreNoSerialPort) {
  const std::optional<Unprivileged> who = UnprivilegedUser();
  if (!who) GTEST_SKIP() << "needs root to run the program as another user";
  StartSim('s');
  const std::string device = SimDevice();
  ASSERT_FALSE(device.empty());
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  const std::string root = getgrgid(0) ? getgrgid(0)->gr_name : "0";
  const group* disk = getgrnam("disk");
  if (!disk) GTEST_SKIP() << "no disk group on this system";
  const std::string null_node = dir_ + "/null-node";
  ASSERT_EQ(mknod(null_node.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
  const std::string pty = serial::DevicePathOf(link_);
  const std::string pty_said =
      "It is a pseudo-terminal: the program that made it decides who "
      "may open it.";
  struct Case {
    const char* name;
    std::string port;
    gid_t group;
    mode_t mode;
    Texts reasons;
  };
  const Case cases[] = {
      {"a pseudo-terminal of root's",
       link_,
       0,
       0600,
       {"Permission denied: " + pty + " belongs to root:" + root +
            " with mode 0600 (rw-------), so no group may use it.",
        pty_said}},
      {"a pseudo-terminal of the disk group",
       link_,
       disk->gr_gid,
       0660,
       {"Permission denied: " + pty +
            " belongs to root:disk with mode 0660 (rw-rw----); the "
            "group disk grants far more than a serial line, so "
            "joining it is no remedy.",
        pty_said}},
      {"a node that is no terminal",
       null_node,
       disk->gr_gid,
       0600,
       {"Permission denied: " + null_node +
        " belongs to root:disk with mode 0600 (rw-------): this is not a serial port."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string node = c.port == link_ ? device : c.port;
    ASSERT_EQ(chown(node.c_str(), 0, c.group), 0);
    ASSERT_EQ(chmod(node.c_str(), c.mode), 0);
    const ChildResult r = RunInChild(
        [&]() -> std::string {
          if (!DropPrivileges(*who)) return "could not drop privileges";
          return RefusedAttempt(c.port, c.reasons);
        },
        20000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.report;
    EXPECT_EQ(r.report, "");
  }
}

// A line held by a process of another user: /proc does not show who, so
// the scan and the connect dialog learn of it only from the lock, and say
// so in those words.
TEST_F(OpenRefusedTest, ALineHeldByAnotherUsersProcess) {
  const std::optional<Unprivileged> who = UnprivilegedUser();
  if (!who) GTEST_SKIP() << "needs root to run the program as another user";
  StartSim('s');
  const std::string device = SimDevice();
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(device.c_str(), 0666), 0);
  HoldInAnotherProcess();
  const ChildResult r = RunInChild(
      [&]() -> std::string {
        if (!DropPrivileges(*who)) return "could not drop privileges";
        scan::ScanOptions options;
        const scan::PortResult found = scan::ScanPort(link_, options);
        std::string wrong;
        if (found.outcome != scan::PortResult::Outcome::InUse ||
            found.Why() != "in use by a process of another user")
          wrong += "scan: " + found.Why() + "; ";
        if (found.settings_tried != 0) wrong += "the scan sent a query; ";
        return wrong + RefusedAttempt(link_, {"In use by a process of another user."});
      },
      20000);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0) << r.report;
  EXPECT_EQ(r.report, "");
}

}  // namespace
}  // namespace velimo::faults
