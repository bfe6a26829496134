// Finding modems end to end: velimo-cli scan against simulators of every
// family, each set to its own rate (it answers at no other), beside a
// modem that stays silent and a line another process holds. The scan
// finds each modem at its rate, names the held line, passes the silent
// one by, sends nothing but the status query, and --port auto with
// --model auto connects to a modem found alone. The times are printed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "forms/headless_platform.h"
#include "serial/com_port.h"
#include "session.h"
#include "support/fake_system.h"
#include "support/wait_for.h"

extern char** environ;

namespace velimo::e2e {
namespace {

int64_t Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-scan-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (holder_ > 0) {
      kill(holder_, SIGKILL);
      waitpid(holder_, nullptr, 0);
    }
    for (pid_t pid : sims_) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    std::filesystem::remove_all(dir_);
  }

  // A simulator on dir/name, its commands logged to dir/name.log.
  void Sim(const std::string& name, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {VELIMO_MODEM_SIM, "--link", dir_ + "/" + name, "--verbose"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    const std::string log = dir_ + "/" + name + ".log";
    posix_spawn_file_actions_addopen(&files, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, VELIMO_MODEM_SIM, &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);
    sims_.push_back(pid);
    ASSERT_TRUE(test::WaitFor([&] { return std::filesystem::exists(dir_ + "/" + name); }))
        << "the simulator did not come up";
  }

  // Another process holding a line as the program does, until the test ends.
  void Hold(const std::string& name) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    holder_ = fork();
    ASSERT_GE(holder_, 0);
    if (holder_ == 0) {
      close(fds[0]);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      prctl(PR_SET_NAME, "velimo-holder");
      serial::TComPort port;
      port.SetPort(dir_ + "/" + name);
      char answer = '1';
      try {
        port.OpenPort();
      } catch (const std::exception&) {
        answer = '0';
      }
      if (write(fds[1], &answer, 1) != 1) _exit(2);
      for (;;) pause();
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char answer = 0;
    ASSERT_TRUE(poll(&p, 1, 5000) == 1 && read(fds[0], &answer, 1) == 1 && answer == '1');
    close(fds[0]);
  }

  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string dir_;
  std::vector<pid_t> sims_;
  pid_t holder_ = -1;
};

TEST_F(ScanTest, FindsEachModemAtItsRateSkipsTheHeldLineAndSendsOnlyTheStatusQuery) {
  Sim("s", {"--model", "s"});
  Sim("r", {"--model", "r", "--line-rate", "57600"});
  Sim("i", {"--model", "i", "--line-rate", "115200"});
  Sim("u", {"--model", "u", "--line-rate", "19200"});
  Sim("quiet", {"--model", "s", "--silent"});
  Sim("held", {"--model", "s"});
  Hold("held");

  // Four modems at once.
  int64_t t0 = Now();
  ProcessResult four = RunProgram(
      VELIMO_CLI, {"scan", "--port", "./s", "--port", "./r", "--port", "./i", "--port", "./u"},
      dir_, 30000);
  const int64_t fourMs = Now() - t0;
  EXPECT_EQ(four.status, 0) << four.err;
  EXPECT_EQ(Lines(four.out), (std::vector<std::string>{
                                 "./s\t9600\tNone\tsTavi or uTavi\t1.3\t100001",
                                 "./r\t57600\tNone\trTavi\t1.3\t300001",
                                 "./i\t115200\tNone\tioTavi\t1.3\t400001",
                                 "./u\t19200\tNone\tsTavi or uTavi\t1.3\t200001",
                             }));

  // A modem at 9600 none alone.
  t0 = Now();
  ProcessResult one = RunProgram(VELIMO_CLI, {"scan", "--port", "./s"}, dir_, 30000);
  const int64_t oneMs = Now() - t0;
  EXPECT_EQ(one.status, 0);

  // The silent line and the held one, with a modem beside them, as JSON:
  // the modem is listed, and the named line that could not be probed fails.
  t0 = Now();
  ProcessResult mixed = RunProgram(
      VELIMO_CLI, {"scan", "--json", "--port", "./quiet", "--port", "./held", "--port", "./s"},
      dir_, 30000);
  const int64_t mixedMs = Now() - t0;
  EXPECT_EQ(mixed.status, 1) << mixed.err;  // the held line was named
  EXPECT_EQ(mixed.out,
            "[{\"port\":\"./s\",\"baud\":9600,\"parity\":\"None\",\"family\":\"sTavi or uTavi\","
            "\"model\":\"s\",\"firmware\":\"1.3\",\"source_id\":\"100001\"}]\n");
  EXPECT_NE(
      mixed.err.find("./held: in use by PID " + std::to_string(holder_) + " (velimo-holder)\n"),
      std::string::npos)
      << mixed.err;

  // Only the silent line: nothing found, every rate and parity tried.
  t0 = Now();
  ProcessResult none = RunProgram(VELIMO_CLI, {"scan", "--port", "./quiet"}, dir_, 30000);
  const int64_t emptyMs = Now() - t0;
  EXPECT_EQ(none.status, 3);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "velimo-cli: no modem found\n  ./quiet: no answer at 42 settings\n");
  int queries = 0;
  for (const std::string& line : Lines(Slurp(dir_ + "/quiet.log")))
    if (line.find("received") != std::string::npos) ++queries;
  EXPECT_EQ(queries, 2 * 14 * 3) << "each rate and parity once per scan";

  // Nothing but the status query reached any modem.
  for (const char* name : {"s", "r", "i", "u", "quiet", "held"}) {
    for (const std::string& line : Lines(Slurp(dir_ + "/" + name + ".log"))) {
      if (line.find("received") == std::string::npos) continue;
      EXPECT_NE(line.find("received \"AT&V\""), std::string::npos) << name << ": " << line;
    }
  }

  // A modem found alone is connected to and read.
  ProcessResult autoRun =
      RunProgram(VELIMO_CLI, {"--port", "./r", "--model", "auto", "show", "LB_R_SID"}, dir_, 30000);
  EXPECT_EQ(autoRun.status, 0) << autoRun.err;
  EXPECT_EQ(autoRun.out, "LB_R_SID=300001\n");
  EXPECT_NE(autoRun.err.find("found rTavi on ./r at 57600 None"), std::string::npos);

  std::printf(
      "figure scan_four_simulators_ms %lld\nfigure scan_one_empty_port_ms %lld\n"
      "figure scan_silent_held_and_one_ms %lld\nfigure scan_one_modem_9600_ms %lld\n",
      static_cast<long long>(fourMs), static_cast<long long>(emptyMs),
      static_cast<long long>(mixedMs), static_cast<long long>(oneMs));
  RecordProperty("scan_four_simulators_ms", std::to_string(fourMs));
  RecordProperty("scan_one_empty_port_ms", std::to_string(emptyMs));
}

}  // namespace
}  // namespace velimo::e2e

namespace velimo::e2e {
namespace {

// "Find Modem" in the connect dialog: the window stays live while the scan
// runs, the list then marks the port with the modem, the dialog takes its
// rate, parity and model, and Connect reads it.
TEST_F(ScanTest, FindModemFillsTheDialogAndConnectReads) {
  Sim("r", {"--model", "r", "--line-rate", "57600"});
  Sim("quiet", {"--model", "s", "--silent"});
  forms::HeadlessPlatform platform;
  std::vector<std::string> messages;
  platform.on_message = [&](std::string_view text) { messages.emplace_back(text); };
  forms::ApplicationOptions options;
  options.settings_path = dir_ + "/Velimo.INI";
  options.about_picture = dir_ + "/none.jpg";
  const std::string r = dir_ + "/r", quiet = dir_ + "/quiet";
  options.ports = [&] { return std::optional<std::vector<std::string>>{{quiet, r}}; };
  cli::Session session(platform, options);
  session.SelectModel('s');
  session.Run([&] { session.Main().ConnectN1.Click(); });
  forms::TForm_Connect& d = session.Dialog();
  ASSERT_TRUE(d.Showing());

  session.Run([&] { d.Btn_FindModem.Click(); });
  EXPECT_TRUE(d.FindingModem());
  EXPECT_TRUE(d.Btn_FindModem.Enabled());
  EXPECT_EQ(d.Btn_FindModem.Caption(), "Cancel");
  EXPECT_FALSE(d.Btn_Connect.Enabled());
  // Ticks served while the scan runs: a scan that held the window's
  // thread would have ended before the first.
  int ticks = 0;
  auto timer = platform.CreateTimer([&] { ticks += d.FindingModem(); });
  timer->Start(20);
  ASSERT_TRUE(platform.RunUntil([&] { return !d.FindingModem(); }, 3 * test::kGenerousMs));
  EXPECT_GE(ticks, 1) << "the window was not served while the scan ran";
  timer->Stop();

  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(d.FoundModems().size(), 1u);
  EXPECT_EQ(d.CB_ComPort.Items(), (std::vector<std::string>{quiet, r + " [rTavi 57600 None]"}));
  EXPECT_EQ(d.PortValue(), r);
  EXPECT_EQ(d.Edit_Baudrate.Text(), "57600");
  EXPECT_EQ(d.Edit_PAB.Text(), "None");
  EXPECT_TRUE(session.Main().rTavi1.Checked());
  EXPECT_TRUE(d.Btn_Connect.Enabled());

  // Cancel (the button itself while scanning) and closing the dialog each
  // stop a scan, with nothing to report. Each rate and parity is listened
  // to longer than the test waits for anything, so the scan cannot end on
  // its own: a stop its waits did not see would hold the click until the
  // watchdog ends the test.
  d.FindModemListenMs = test::kNeverMs;
  for (const char* how : {"Cancel", "close"}) {
    SCOPED_TRACE(how);
    session.Run([&] { d.Btn_FindModem.Click(); });
    ASSERT_TRUE(d.FindingModem());
    // Under way: the first queries have reached the silent modem.
    const size_t before = Lines(Slurp(dir_ + "/quiet.log")).size();
    EXPECT_TRUE(platform.RunUntil([&] { return Lines(Slurp(dir_ + "/quiet.log")).size() > before; },
                                  test::kGenerousMs));
    const int64_t t0 = Now();
    session.Run([&] {
      if (std::string(how) == "Cancel")
        d.Btn_FindModem.Click();
      else
        d.Btn_Cancel.Click();
    });
    const int64_t stopMs = Now() - t0;
    EXPECT_FALSE(d.FindingModem());
    EXPECT_EQ(d.Btn_FindModem.Caption(), "Find Modem");
    EXPECT_TRUE(d.Btn_Connect.Enabled());
    EXPECT_TRUE(messages.empty());
    std::printf("figure find_modem_stop_by_%s_ms %lld\n", how, static_cast<long long>(stopMs));
  }
  EXPECT_FALSE(d.Showing());
  session.Run([&] { session.Main().ConnectN1.Click(); });
  ASSERT_TRUE(d.Showing());
  d.SelectPort(r);
  const auto& rates = d.Edit_Baudrate.Items();
  d.Edit_Baudrate.SetItemIndex(
      static_cast<int>(std::find(rates.begin(), rates.end(), "57600") - rates.begin()));

  session.Run([&] { d.Btn_Connect.Click(); });
  ASSERT_TRUE(session.Settle());
  EXPECT_EQ(session.ValueOf(*session.Find("LB_R_SID")), "300001");
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace velimo::e2e

namespace velimo::e2e {
namespace {

// velimo-cli ports on a system tree of the test's own: each port with its
// by-id name, ids, serial, description and state, one held open by
// another process.
TEST_F(ScanTest, PortsSayWhatTheyAreAndWhoHoldsThem) {
  test::FakeSystem sys;
  sys.PlugFtdi("1-1", "ttyUSB0", "A50285BI");
  sys.PlugFtdi("1-2", "ttyUSB1", "B0000007");
  const std::string busy = sys.Root() + "/dev/ttyUSB1";
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  holder_ = fork();
  ASSERT_GE(holder_, 0);
  if (holder_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    prctl(PR_SET_NAME, "velimo-holder");
    const int fd = open(busy.c_str(), O_RDWR);
    if (fd < 0 || write(fds[1], "1", 1) != 1) _exit(2);
    for (;;) pause();
  }
  char ready = 0;
  ASSERT_EQ(read(fds[0], &ready, 1), 1);
  close(fds[0]);
  close(fds[1]);

  ProcessResult r = RunProgram(VELIMO_CLI, {"ports", "--root", sys.Root()}, dir_, 10000);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string byId = sys.Root() + "/dev/serial/by-id/";
  EXPECT_EQ(r.out, sys.Root() + "/dev/ttyUSB0\t" + byId + test::FakeSystem::FtdiById("A50285BI") +
                       "\t0403:6001\tA50285BI\tFT232R USB UART, serial A50285BI\tfree\n" + busy +
                       "\t" + byId + test::FakeSystem::FtdiById("B0000007") +
                       "\t0403:6001\tB0000007\tFT232R USB UART, serial B0000007\tin use by PID " +
                       std::to_string(holder_) + " (velimo-holder)\n");
  ProcessResult j = RunProgram(VELIMO_CLI, {"ports", "--json", "--root", sys.Root()}, dir_, 10000);
  EXPECT_EQ(j.status, 0);
  EXPECT_EQ(j.out.rfind("[{\"path\":\"" + sys.Root() + "/dev/ttyUSB0\",\"by_id\":", 0), 0u)
      << j.out;
  EXPECT_NE(j.out.find("\"vid\":\"0403\",\"pid\":\"6001\",\"serial\":\"B0000007\","
                       "\"manufacturer\":\"FTDI\",\"product\":\"FT232R USB UART\","
                       "\"driver\":\"ftdi_sio\""),
            std::string::npos)
      << j.out;

  // A product string with a tab, a terminal's escape and an é (UTF-8, as
  // sysfs holds it): the columns hold, the terminal obeys nothing, and the
  // é is one é in both forms.
  sys.Write("/sys/devices/usb1/1-1/product", "Caf\xC3\xA9\tUART\x1b[2J\n");
  r = RunProgram(VELIMO_CLI, {"ports", "--root", sys.Root()}, dir_, 10000);
  const std::string first = r.out.substr(0, r.out.find('\n'));
  EXPECT_EQ(std::count(first.begin(), first.end(), '\t'), 5) << first;
  EXPECT_NE(first.find("\tCaf\xC3\xA9\\x09UART\\x1B[2J, serial A50285BI\tfree"), std::string::npos)
      << first;
  j = RunProgram(VELIMO_CLI, {"ports", "--json", "--root", sys.Root()}, dir_, 10000);
  EXPECT_NE(j.out.find("\"product\":\"Caf\xC3\xA9\\tUART\\u001b[2J\""), std::string::npos) << j.out;
}

}  // namespace
}  // namespace velimo::e2e

namespace velimo::e2e {
namespace {

// termios of a line as tcgetattr reads it, every field compared.
bool SameLine(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b) &&
         cfgetospeed(&a) == cfgetospeed(&b) && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// A pseudo-terminal of the test's own, linked into the folder: the test
// holds its master (and, for the settings, its slave), as a simulator does.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string slave_path;
  ~Pty() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  bool Open(const std::string& link) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    slave_path = ptsname(master);
    slave = open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return slave >= 0 && symlink(slave_path.c_str(), link.c_str()) == 0;
  }
  // What reached the line from the far side, without waiting.
  std::string Drain() const {
    std::string got;
    char buffer[4096];
    for (;;) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 0) != 1 || !(p.revents & POLLIN)) break;
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
};

// A console-like line: 4800 7O1, echo, canonical mode, hang-up on close.
termios ConsoleSettings(int fd) {
  termios t;
  tcgetattr(fd, &t);
  t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | CS7 | PARENB | PARODD | HUPCL;
  t.c_lflag |= ECHO | ICANON;
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  tcsetattr(fd, TCSANOW, &t);
  tcgetattr(fd, &t);
  return t;
}

// The scan touches only lines nobody else has open, gives each probed
// line exactly its settings back (also when Ctrl-C stops it), probes one
// device once whatever names lead to it, and when nothing is found names
// each line tried with why.
TEST_F(ScanTest, TouchesOnlyFreeLinesAndGivesEachItsSettingsBack) {
  // Held without a lock by a process that opened the slave as a terminal
  // program does (a child that keeps no master of it).
  Pty held;
  ASSERT_TRUE(held.Open(dir_ + "/plainheld"));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  holder_ = fork();
  ASSERT_GE(holder_, 0);
  if (holder_ == 0) {
    close(fds[0]);
    close(held.master);
    close(held.slave);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    prctl(PR_SET_NAME, "velimo-holder");
    const int fd = open(held.slave_path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || write(fds[1], "1", 1) != 1) _exit(2);
    for (;;) pause();
  }
  close(fds[1]);
  char ready = 0;
  ASSERT_EQ(read(fds[0], &ready, 1), 1);
  close(fds[0]);
  close(held.slave);
  held.slave = -1;

  // Free, no modem on it, set up as a console would be; this process
  // holds both of its sides.
  Pty free;
  ASSERT_TRUE(free.Open(dir_ + "/free"));
  const termios before = ConsoleSettings(free.slave);
  // Held by nothing but its own simulator.
  Sim("s", {"--model", "s"});
  char simDevice[PATH_MAX];
  ASSERT_NE(realpath((dir_ + "/s").c_str(), simDevice), nullptr);

  ProcessResult r = RunProgram(
      VELIMO_CLI,
      {"scan", "--port", "./free", "--port", "./plainheld", "--port", "./s", "--port", simDevice},
      dir_, 30000);
  // The held line was named: it could not be probed, which is a failure.
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "./s\t9600\tNone\tsTavi or uTavi\t1.3\t100001\n")
      << "the simulator's own line is free, and its two names are one device";
  EXPECT_EQ(r.err, "velimo-cli: ./plainheld: in use by PID " + std::to_string(holder_) +
                       " (velimo-holder)\n");
  termios after;
  ASSERT_EQ(tcgetattr(free.slave, &after), 0);
  EXPECT_TRUE(SameLine(before, after)) << "the free line got its settings back";
  EXPECT_EQ(held.Drain(), "") << "not a byte reached the held line";
  std::string asked;
  for (int i = 0; i < 42; ++i) asked += "AT&V\r";
  EXPECT_EQ(free.Drain(), asked) << "the status query alone, once per rate and parity";
  int queries = 0;
  for (const std::string& line : Lines(Slurp(dir_ + "/s.log")))
    if (line.find("received") != std::string::npos) ++queries;
  EXPECT_EQ(queries, 1) << "the simulator's line was probed once, under one of its names";

  // Nothing found: each line named with why.
  r = RunProgram(VELIMO_CLI, {"scan", "--port", "./free", "--port", "./plainheld"}, dir_, 30000);
  EXPECT_EQ(r.status, 1);  // the named held line
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "velimo-cli: no modem found\n  ./free: no answer at 42 settings\n"
            "  ./plainheld: in use by PID " +
                std::to_string(holder_) + " (velimo-holder)\n");
  ASSERT_EQ(tcgetattr(free.slave, &after), 0);
  EXPECT_TRUE(SameLine(before, after));
  free.Drain();

  // Ctrl-C in the middle of the scan: it ends at once, and the line has
  // its settings back.
  std::vector<std::string> args = {VELIMO_CLI, "scan", "--port", "./free"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addchdir_np(&files, dir_.c_str());
  posix_spawn_file_actions_addopen(&files, 2, (dir_ + "/interrupted.err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t scan = -1;
  ASSERT_EQ(posix_spawn(&scan, VELIMO_CLI, &files, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&files);
  // Under way: some queries have gone out.
  std::string seen;
  ASSERT_TRUE(test::WaitFor([&] { return seen.size() >= 3 * 5; }, test::kGenerousMs,
                            [&] { seen += free.Drain(); }));
  const int64_t interrupted = Now();
  kill(scan, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(scan, &status, 0), scan);
  const int64_t stopMs = Now() - interrupted;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  std::printf("figure scan_interrupt_ms %lld\n", static_cast<long long>(stopMs));
  EXPECT_EQ(Slurp(dir_ + "/interrupted.err")
                .rfind("velimo-cli: scan stopped; no modem found\n"
                       "  ./free: stopped after ",
                       0),
            0u)
      << Slurp(dir_ + "/interrupted.err");
  ASSERT_EQ(tcgetattr(free.slave, &after), 0);
  EXPECT_TRUE(SameLine(before, after)) << "the interrupted scan gave the line its settings back";
  std::printf("figure scan_stop_after_ctrl_c_ms %lld\n", static_cast<long long>(stopMs));
}

// Each modem is listed as soon as its port has answered: the modem at
// 57600 is listed and chosen while the silent port is still being probed
// at its other rates (its round of 42 settings takes several times as long
// as the modem's first answer), and Connect takes it at once, ending the
// search.
TEST_F(ScanTest, FindModemListsAModemWhileAnotherPortIsStillProbed) {
  Sim("r", {"--model", "r", "--line-rate", "57600"});
  Sim("quiet", {"--model", "s", "--silent"});
  forms::HeadlessPlatform platform;
  std::vector<std::string> messages;
  platform.on_message = [&](std::string_view text) { messages.emplace_back(text); };
  forms::ApplicationOptions options;
  options.settings_path = dir_ + "/Velimo.INI";
  options.about_picture = dir_ + "/none.jpg";
  const std::string r = dir_ + "/r", quiet = dir_ + "/quiet";
  options.ports = [&] { return std::optional<std::vector<std::string>>{{quiet, r}}; };
  cli::Session session(platform, options);
  session.SelectModel('s');
  session.Run([&] { session.Main().ConnectN1.Click(); });
  forms::TForm_Connect& d = session.Dialog();
  ASSERT_TRUE(d.Showing());

  session.Run([&] { d.Btn_FindModem.Click(); });
  const int64_t t0 = Now();
  ASSERT_TRUE(
      platform.RunUntil([&] { return !d.FoundModems().empty() || !d.FindingModem(); }, 30000));
  const int64_t firstMs = Now() - t0;
  std::printf("figure find_modem_first_listed_ms %lld\n", static_cast<long long>(firstMs));
  EXPECT_TRUE(d.FindingModem()) << "the modem was listed only once the whole search had ended";
  ASSERT_EQ(d.FoundModems().size(), 1u);
  EXPECT_EQ(d.CB_ComPort.Items(), (std::vector<std::string>{quiet, r + " [rTavi 57600 None]"}));
  EXPECT_EQ(d.PortValue(), r);
  EXPECT_EQ(d.Edit_Baudrate.Text(), "57600");
  EXPECT_TRUE(session.Main().rTavi1.Checked());
  EXPECT_EQ(d.LB_Status.Caption(), "Found rTavi at 57600 on " + r);
  EXPECT_EQ(d.Btn_FindModem.Caption(), "Cancel");
  EXPECT_TRUE(d.Btn_Connect.Enabled());

  session.Run([&] { d.Btn_Connect.Click(); });
  EXPECT_FALSE(d.FindingModem());
  ASSERT_TRUE(session.Settle());
  EXPECT_EQ(session.ValueOf(*session.Find("LB_R_SID")), "300001");
  EXPECT_TRUE(messages.empty());
  // Nothing but status queries reached the silent modem.
  for (const std::string& line : Lines(Slurp(quiet + ".log"))) {
    if (line.find("received") == std::string::npos) continue;
    EXPECT_NE(line.find("received \"AT&V\""), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace velimo::e2e
