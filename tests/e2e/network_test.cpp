// The program against the simulator behind ser2net: one TCP port speaking
// RFC 2217 and one raw, both bridging to the simulator's pseudo-terminal.
// Read, save-all and a profile (saved, edited, compared and applied with
// its read-back) go through each, and the line settings the program chose
// are read back on the simulator's side of the bridge.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e_fixture.h"
#include "forms/form_connect.h"
#include "profile/dialog_model.h"
#include "profile_commands.h"
#include "serial/tty/linux_tty.h"
#include "support/wait_for.h"

namespace velimo::e2e {
namespace {

using test::kGenerousMs;
using test::kNeverMs;

// ser2net lets go of the line a moment after the last connection ended,
// and turns away (hangs up on) a connection that comes before, at once or
// while the line settings are sent: an attempt it turned away is made
// again, until 30 s have passed.
bool TurnedAway(const std::string& why) {
  return why.find("accepted the connection and closed it") != std::string::npos ||
         why.find("closed the connection while") != std::string::npos;
}
bool RetryOnLine(const std::chrono::steady_clock::time_point& since) {
  if (std::chrono::steady_clock::now() - since > std::chrono::milliseconds(3 * kGenerousMs)) {
    return false;
  }
  usleep(50000);
  return true;
}

std::string Ser2net() {
  for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}

// A loopback port bound by the test and held, not listening: a connection
// to it is refused, and no other program can take it while it is held.
class HeldTcpPort {
 public:
  HeldTcpPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~HeldTcpPort() { close(fd_); }
  HeldTcpPort(const HeldTcpPort&) = delete;
  HeldTcpPort& operator=(const HeldTcpPort&) = delete;
  int Port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

// Whether process pid listens on 127.0.0.1:port, read from the kernel's
// tables rather than by connecting: a connection would make ser2net open
// the simulator's line, and it would still hold it when the test connects.
// Another program that took the port since it was chosen does not count.
bool ListeningBy(pid_t pid, int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  std::string inode;
  while (std::getline(table, line) && inode.empty()) {
    // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout
    // inode", LISTEN is state 0A.
    std::istringstream fields(line);
    std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, node;
    fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
        node;
    if (local.ends_with(wanted) && state == "0A") inode = node;
  }
  if (inode.empty()) return false;
  const std::string socket = "socket:[" + inode + "]";
  std::error_code ec;
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    if (std::filesystem::read_symlink(fd.path(), ec).string() == socket) return true;
  }
  return false;
}

class NetworkE2eTest : public E2eTest {
 protected:
  void TearDown() override {
    if (ser2net_ > 0) {
      kill(ser2net_, SIGTERM);
      int status = 0;
      waitpid(ser2net_, &status, 0);
    }
    E2eTest::TearDown();
  }

  // ser2net in the foreground with a configuration of its own, bridging
  // the simulator's line to a RFC 2217 port and a raw port.
  // rawLine: the raw port's fixed line settings at the simulator.
  // The ports are chosen free, then let go for ser2net to take: should
  // another program take one first, ser2net is started again on others.
  void StartSer2net(const std::string& rawLine = "9600n81") {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (ser2net_ > 0) {
        kill(ser2net_, SIGTERM);
        waitpid(ser2net_, nullptr, 0);
        ser2net_ = -1;
      }
      {
        const HeldTcpPort rfc, raw;  // two at once: never the same port twice
        rfc_port_ = rfc.Port();
        raw_port_ = raw.Port();
      }
      ASSERT_NO_FATAL_FAILURE(StartSer2netOn(rawLine));
      if (ListeningBy(ser2net_, rfc_port_) && ListeningBy(ser2net_, raw_port_)) return;
    }
    FAIL() << "ser2net did not come up";
  }
  void StartSer2netOn(const std::string& rawLine) {
    const std::string config = dir_ + "/ser2net.yaml";
    std::ofstream(config) << "connection: &rfc\n"
                          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc_port_ << "\n"
                          << "  connector: serialdev," << link_ << ",9600n81,local\n"
                          << "connection: &raw\n"
                          << "  accepter: tcp,127.0.0.1," << raw_port_ << "\n"
                          << "  connector: serialdev," << link_ << "," << rawLine << ",local\n";
    const std::string program = Ser2net();
    ser2net_ = fork();
    if (ser2net_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      execl(program.c_str(), program.c_str(), "-n", "-c", config.c_str(), "-P",
            (dir_ + "/ser2net.pid").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(ser2net_, 0);
    // Until it listens on both, or has ended (a port taken), or 30 s.
    for (int i = 0;
         i < 3000 && !(ListeningBy(ser2net_, rfc_port_) && ListeningBy(ser2net_, raw_port_)); ++i) {
      if (waitpid(ser2net_, nullptr, WNOHANG) == ser2net_) {
        ser2net_ = -1;
        return;
      }
      usleep(10000);
    }
  }

  // The speed and RTS/CTS flag of the simulator's line, as ser2net set
  // them on its side.
  void ExpectLineAtSimulator(int baud, bool rtsCts) {
    int fd = open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << "the simulator's line cannot be looked at: " << strerror(errno);
    serial::tty::RawTermios t;
    ASSERT_EQ(serial::tty::ReadRawTermios(fd, &t), 0);
    close(fd);
    EXPECT_EQ(static_cast<int>(t.ospeed), baud);
    EXPECT_EQ((t.cflag & CRTSCTS) != 0, rtsCts);
  }

  pid_t ser2net_ = -1;
  int rfc_port_ = 0;
  int raw_port_ = 0;
};

TEST_F(NetworkE2eTest, ReadSaveAllAndProfileThroughSer2netInBothModes) {
  if (Ser2net().empty()) GTEST_SKIP() << "ser2net is not installed (scripts/bootstrap adds it)";
  StartSim('s');
  StartSer2net();
  struct Mode {
    std::string url;
    const char* baud;
    int flow_index;
    int channel;
  };
  const Mode modes[] = {
      {"rfc2217://127.0.0.1:" + std::to_string(rfc_port_), "57600", 1, 5},
      {"tcp://localhost:" + std::to_string(raw_port_), "9600", 0, 7},
  };
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.url);
    // The second run finds a network port stored in its settings file.
    if (&m != &modes[0])
      std::ofstream(dir_ + "/Velimo.INI") << "[EnvBoard]\nComPort=rfc2217://[::1]:2217\n";
    StartProgram();
    S().SelectModel('s');
    cli::LinkChoice link;
    link.port = m.url;
    link.baud = m.baud;
    link.flow_index = m.flow_index;
    bool open = false;
    for (const auto since = std::chrono::steady_clock::now(); !open;) {
      open = S().Connect(link);
      if (open) break;
      const auto refused = TakeMessages();
      ASSERT_EQ(refused.size(), 1u);
      ASSERT_TRUE(TurnedAway(refused[0])) << refused[0];
      ASSERT_FALSE(S().Click("Btn_Cancel"));
      if (!RetryOnLine(since)) break;
    }
    ASSERT_TRUE(open);
    Settle();
    ExpectForm(ExpectedS(SimStateAs<sim::STaviConfig>(), sim::Firmware::k1_3), false);
    if (m.url.starts_with("rfc2217")) ExpectLineAtSimulator(57600, true);
    // A used network port stays in the dialog's list; one stored in
    // Velimo.INI is offered too.
    const auto& items = S().Dialog().CB_ComPort.Items();
    EXPECT_NE(std::find(items.begin(), items.end(), m.url), items.end());
    if (&m != &modes[0]) {
      EXPECT_NE(std::find(items.begin(), items.end(), "rfc2217://[::1]:2217"), items.end());
    }

    TakeMessages();
    Click("Btn_Left_LoRa");
    Set("CB_S_Ch", std::to_string(m.channel));
    Click("Btn_S_SaveAll_LoRaPage");
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Successfully changed."});
    EXPECT_EQ(SimStateAs<sim::STaviConfig>().radio.channel, m.channel);

    // The profile dialog's round: the modem saved to a file, one setting
    // edited there as a person would, the file compared and applied, and
    // the change read back, every line through the bridge.
    using Phase = profile::ProfileDialogModel::Phase;
    profile::ProfileDialogModel dialog(S().Modem(), {});
    const std::string file = dir_ + "/unit.vprofile";
    const std::string saved = dialog.Save(file, {});
    ASSERT_TRUE(saved.starts_with("Saved ")) << saved;
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    std::string edited = text.str();
    const auto edit = [&](const std::string& was, const std::string& now) {
      const size_t at = edited.find(was);
      ASSERT_NE(at, std::string::npos) << edited;
      edited.replace(at, was.size(), now);
    };
    edit("\nCH = " + std::to_string(m.channel) + "\n",
         "\nCH = " + std::to_string(m.channel + 2) + "\n");
    // Through a raw TCP port the modem's rate cannot change: the server's
    // line would stay where it is, and the modem would be lost.
    const bool raw = m.url.starts_with("tcp://");
    if (raw) edit("\nBAU = 9600\n", "\nBAU = 19200\n");
    std::ofstream(file, std::ios::trunc) << edited;

    dialog.Open(file);
    ASSERT_EQ(dialog.CurrentPhase(), Phase::Compared) << dialog.Status();
    ASSERT_EQ(dialog.Rows().size(), raw ? 2u : 1u) << dialog.Status();
    EXPECT_EQ(dialog.Rows()[0].key, "CH");
    EXPECT_EQ(dialog.Rows()[0].modem, std::to_string(m.channel));
    EXPECT_EQ(dialog.Rows()[0].profile, std::to_string(m.channel + 2));
    dialog.Apply();
    ASSERT_EQ(dialog.CurrentPhase(), Phase::Applied) << dialog.Status();
    EXPECT_EQ(dialog.Rows()[0].result, "verified");
    EXPECT_EQ(SimStateAs<sim::STaviConfig>().radio.channel, m.channel + 2);
    if (raw) {
      EXPECT_EQ(dialog.Rows()[1].result,
                "skipped (a raw TCP port cannot follow the modem's line settings; use rfc2217:// "
                "or change it on a local port)");
      EXPECT_EQ(dialog.Status(), "1 verified, 1 skipped.");
      EXPECT_EQ(SimStateAs<sim::STaviConfig>().serial.baud_index, 6) << "nothing sent for BAU";
      dialog.Open(file);
      ASSERT_EQ(dialog.Rows().size(), 1u);
      EXPECT_EQ(dialog.Rows()[0].key, "BAU");
    } else {
      EXPECT_EQ(dialog.Status(), "All 1 settings verified.");
      dialog.Open(file);
      EXPECT_EQ(dialog.Status(), "The modem holds every setting of the profile.");
      EXPECT_TRUE(dialog.Rows().empty());
    }
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{});

    Click("Disconnect1");
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"     Disconnected.     "});

    if (raw) {
      // The same from velimo-cli, as a technician scripts it: the link
      // setting is skipped with its reason, the rest goes out and is
      // verified, and the run says it is short of the profile.
      edit("\nCH = " + std::to_string(m.channel + 2) + "\n",
           "\nCH = " + std::to_string(m.channel + 3) + "\n");
      std::ofstream(file, std::ios::trunc) << edited;
      ProcessResult r;
      for (const auto since = std::chrono::steady_clock::now();;) {
        r = RunProgram(VELIMO_CLI, {"--port", m.url, "--model", "s", "apply-profile", file}, dir_,
                       30000);
        if (!TurnedAway(r.err)) break;
        if (!RetryOnLine(since)) break;
      }
      EXPECT_EQ(r.status, 3) << r.out << r.err;
      EXPECT_NE(r.out.find("\nCH: verified\n"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("\nBAU: skipped (a raw TCP port cannot follow the modem's line "
                           "settings; use rfc2217:// or change it on a local port)\n"),
                std::string::npos)
          << r.out;
      EXPECT_EQ(SimStateAs<sim::STaviConfig>().radio.channel, m.channel + 3);
      EXPECT_EQ(SimStateAs<sim::STaviConfig>().serial.baud_index, 6);
    }
  }
}

// velimo-cli scan through ser2net: over RFC 2217 the rates and parities
// are tried through the server as on a local line, and the modem is found
// at its own rate; over raw TCP only the family is told, at the server's
// fixed rate, and the result says so. --port auto --model auto with a
// network port connects to what the scan found.
TEST_F(NetworkE2eTest, ScanFindsTheModemThroughTheServer) {
  if (Ser2net().empty()) GTEST_SKIP() << "ser2net is not installed (scripts/bootstrap adds it)";
  StartSim('s', {"--line-rate", "57600"});
  StartSer2net("57600n81");
  const std::string rfc = "rfc2217://127.0.0.1:" + std::to_string(rfc_port_);
  const std::string raw = "tcp://127.0.0.1:" + std::to_string(raw_port_);
  auto scan = [&](const std::vector<std::string>& args) {
    ProcessResult r;
    for (const auto since = std::chrono::steady_clock::now();;) {
      r = RunProgram(VELIMO_CLI, args, dir_, 60000);
      if (!TurnedAway(r.err)) break;
      if (!RetryOnLine(since)) break;
    }
    return r;
  };
  ProcessResult r = scan({"scan", "--port", rfc});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, rfc + "\t57600\tNone\tsTavi or uTavi\t1.3\t100001\n");
  r = scan({"scan", "--port", raw});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, raw + "\t-\t-\tsTavi or uTavi\t1.3\t100001\n");
  EXPECT_EQ(r.err, "velimo-cli: " + raw +
                       ": only the family is told: a raw TCP port runs at its server's fixed "
                       "rate and parity\n");
  r = scan({"--port", rfc, "--model", "auto", "show", "LB_S_SID"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "LB_S_SID=100001\n");
  EXPECT_NE(r.err.find("found sTavi or uTavi on " + rfc + " at 57600 None"), std::string::npos)
      << r.err;
}

// Connect to a network port with the window live: against a server that
// takes the connection and never agrees to port control, the window's
// timers keep ticking while the attempt runs, Cancel ends it at once with
// the connection closed, the dialog open with the choice in it and nothing
// claiming a connection; then, from the same dialog, the modem behind
// ser2net is connected to, and its report read.
TEST_F(NetworkE2eTest, ANetworkPortOpensOffTheWindowThreadAndCancelAbandonsIt) {
  StartProgram();
  S().SelectModel('s');
  // Listening, never accepting: the system completes the connection, and
  // nobody answers the greeting.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  socklen_t len = sizeof a;
  getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);
  const std::string mute = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));

  forms::TForm_Connect& d = S().Dialog();
  // The attempt waits for the server beyond anything the test waits for:
  // only the cancel can end it, and a cancel its waits did not see would
  // hold the click until the watchdog ends the test.
  d.NetworkLimits.answer_ms = kNeverMs;
  d.NetworkLimits.connect_ms = kNeverMs;
  S().Run([this] { Main().ConnectN1.Click(); });
  ASSERT_TRUE(d.Showing());
  d.CB_ComPort.UserSetText(mute);
  int ticks = 0;
  const auto timer = Platform().CreateTimer([&ticks] { ++ticks; });
  timer->Start(20);
  S().Run([&d] { d.Btn_Connect.Click(); });
  // The click returned while the attempt runs on: a click that waited for
  // it would find it ended (the server never agrees).
  ASSERT_TRUE(d.Connecting());
  EXPECT_FALSE(d.Btn_Connect.Enabled());
  EXPECT_FALSE(d.CB_ComPort.Enabled());
  EXPECT_TRUE(d.Btn_Cancel.Enabled());
  EXPECT_EQ(d.LB_Status.Caption(), "Connecting to " + mute + "...");
  // The window's thread goes on serving its timers while the attempt runs.
  EXPECT_TRUE(Platform().RunUntil([&ticks] { return ticks >= 10; }, kGenerousMs))
      << "the window's thread was held";
  EXPECT_TRUE(d.Connecting());
  timer->Stop();  // a tick counts as activity: the line would never settle

  const int64_t cancelled = Platform().MonotonicMs();
  S().Run([&d] { d.Btn_Cancel.Click(); });
  const int64_t cancelMs = Platform().MonotonicMs() - cancelled;
  std::printf("figure network_connect_cancel_ms %lld\n", static_cast<long long>(cancelMs));
  EXPECT_FALSE(d.Connecting());
  EXPECT_TRUE(d.Showing());
  EXPECT_EQ(d.CB_ComPort.Text(), mute);
  EXPECT_TRUE(d.Btn_Connect.Enabled());
  EXPECT_TRUE(d.CB_ComPort.Enabled());
  EXPECT_EQ(d.LB_Status.Caption(), "Connection cancelled.");
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(Main().StatusBar1.PanelText(1).find("Connected"), std::string::npos)
      << Main().StatusBar1.PanelText(1);
  EXPECT_TRUE(TakeMessages().empty());
  // The attempt's connection is closed: the server finds it ended.
  const int taken = accept(silent, nullptr, nullptr);
  ASSERT_GE(taken, 0);
  char buffer[256];
  ssize_t n;
  while ((n = recv(taken, buffer, sizeof buffer, 0)) > 0) {
    // the greeting sent before the cancel
  }
  EXPECT_EQ(n, 0);
  close(taken);
  close(silent);
  // Nothing arrives later from the abandoned attempt.
  Platform().RunFor(100);
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_TRUE(d.Showing());

  if (Ser2net().empty()) GTEST_SKIP() << "ser2net is not installed (scripts/bootstrap adds it)";
  StartSim('s');
  StartSer2net();
  const std::string url = "rfc2217://127.0.0.1:" + std::to_string(rfc_port_);
  d.CB_ComPort.UserSetText(url);
  S().Run([&d] { d.Btn_Connect.Click(); });
  EXPECT_TRUE(d.Connecting());
  ASSERT_TRUE(Platform().RunUntil([&d] { return !d.Connecting(); }, 10000));
  ASSERT_TRUE(Main().ComPortEnvBoard.Connected()) << ::testing::PrintToString(TakeMessages());
  EXPECT_FALSE(d.Showing());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Connected to [" + url + "]");
  Settle();
  EXPECT_EQ(Value("LB_S_SID"), "100001");
  ExpectForm(ExpectedS(SimStateAs<sim::STaviConfig>(), sim::Firmware::k1_3), false);
}

TEST_F(NetworkE2eTest, RefusalsNameTheirReason) {
  StartProgram();
  S().SelectModel('s');
  cli::LinkChoice link;
  const HeldTcpPort nobodyListens;
  link.port = "rfc2217://127.0.0.1:" + std::to_string(nobodyListens.Port());
  EXPECT_FALSE(S().Connect(link));
  const auto messages = TakeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(
      messages[0].starts_with("ERROR! Please check your serial port status.\n\nThe "
                              "connection to 127.0.0.1 port "))
      << messages[0];
  EXPECT_NE(messages[0].find("refused: nothing listens there."), std::string::npos);
  EXPECT_TRUE(S().Dialog().Showing());
}

}  // namespace
}  // namespace velimo::e2e
