// The real executable on a real pseudo-terminal. Every blocking step has a
// time limit, so a fault fails the test instead of hanging the suite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "modem.h"
#include "wire.h"

namespace velimo::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The simulator as a child process, its standard output on a pipe.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      std::string program = VELIMO_MODEM_SIM_PATH;
      argv.push_back(program.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    stdout_ = out[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }

  // One line of standard output, or "" after the time limit.
  std::string ReadLine(int limit_ms = 5000) {
    std::string line;
    auto start = Clock::now();
    while (MsSince(start) < limit_ms) {
      pollfd fd{stdout_, POLLIN, 0};
      if (poll(&fd, 1, 50) <= 0) continue;
      char c;
      if (read(stdout_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return "";
  }

  // Exit status, or -1 if it has not ended within the limit.
  int Wait(int limit_ms = 5000) {
    auto start = Clock::now();
    while (status_ < 0 && MsSince(start) < limit_ms) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return status_;
  }

  int Stop() {
    kill(pid_, SIGTERM);
    return Wait();
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  int status_ = -1;
};

// The program's side of the line: the linked slave, raw.
class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Port() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Byte by byte with 5 ms after each, as the program writes.
  void Send(const std::string& line) {
    for (char c : line) {
      ASSERT_EQ(write(fd_, &c, 1), 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Reads until `size` bytes have come or the limit has passed; `reads`
  // collects the size of each read.
  std::string Receive(std::size_t size, int limit_ms = 5000, std::vector<int>* reads = nullptr) {
    std::string data;
    auto start = Clock::now();
    while (data.size() < size && MsSince(start) < limit_ms) {
      pollfd fd{fd_, POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      char buffer[1024];
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      if (reads) reads->push_back(static_cast<int>(n));
      data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
  }

  // True once the line has gone dead (hang-up, or reads failing).
  bool WaitForHangup(int limit_ms) {
    auto start = Clock::now();
    while (MsSince(start) < limit_ms) {
      pollfd fd{fd_, POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      if (fd.revents & (POLLHUP | POLLERR)) return true;
      char buffer[256];
      if (read(fd_, buffer, sizeof buffer) <= 0) return true;
    }
    return false;
  }

 private:
  int fd_ = -1;
};

class SimulatorOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velimo-sim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static std::string Report(Family family, Firmware firmware = Firmware::k1_3) {
    return std::visit([&](const auto& c) { return WireText(StatusReport(c, firmware)); },
                      FactoryDefaults(family, firmware));
  }

  static bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
  }

  std::string dir_;
};

TEST_F(SimulatorOnPty, AnswersTheStatusQueryOfEachFamily) {
  for (auto [code, family] : {std::pair{"s", Family::kSTavi}, std::pair{"u", Family::kUTavi},
                              std::pair{"r", Family::kRTavi}, std::pair{"i", Family::kIoTavi}}) {
    SCOPED_TRACE(code);
    std::string link = Path(std::string("tty-") + code);
    SimProcess sim({"--model", code, "--link", link});
    ASSERT_EQ(sim.ReadLine(), link);
    Port port(link);
    ASSERT_TRUE(port.ok());
    port.Send("AT&V\r");
    std::string expected = Report(family);
    EXPECT_EQ(port.Receive(expected.size()), expected);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(Exists(link));  // the link goes with the simulator
  }
}

// A bench of mixed families from one command: every modem on its own
// link with its own state file, all ended by one signal.
TEST_F(SimulatorOnPty, ABenchStartsEveryModemOfTheListAndEndsThemTogether) {
  SimProcess bench({"--bench", "2s,r,i", "--dir", dir_, "--delay", "0"});
  std::set<std::string> links;
  for (int i = 0; i < 4; ++i) links.insert(bench.ReadLine());
  ASSERT_EQ(links, (std::set<std::string>{Path("ttyVelimo-1"), Path("ttyVelimo-2"),
                                          Path("ttyVelimo-3"), Path("ttyVelimo-4")}));
  const Family families[] = {Family::kSTavi, Family::kSTavi, Family::kRTavi, Family::kIoTavi};
  for (int n = 1; n <= 4; ++n) {
    SCOPED_TRACE(n);
    Port port(Path("ttyVelimo-" + std::to_string(n)));
    ASSERT_TRUE(port.ok());
    port.Send("AT&V\r");
    const std::string expected = Report(families[n - 1]);
    EXPECT_EQ(port.Receive(expected.size()), expected);
  }
  // A change to one modem is kept in its own state file only.
  Port first(Path("ttyVelimo-1"));
  first.Send("AT+CH=7\r");
  EXPECT_EQ(first.Receive(15), "OK. Channel=7\r\n");
  EXPECT_EQ(bench.Stop(), 0);
  for (const std::string& link : links) EXPECT_FALSE(Exists(link)) << link;
  auto read = [&](const char* name) {
    std::ifstream in(Path(name));
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_NE(read("modem-1.state"), read("modem-2.state"));
}

TEST_F(SimulatorOnPty, KeepsServingAcrossCloseAndReopen) {
  std::string link = Path("tty");
  SimProcess sim({"--model", "s", "--link", link, "--firmware", "1.0"});
  ASSERT_EQ(sim.ReadLine(), link);
  {
    Port port(link);
    ASSERT_TRUE(port.ok());
    port.Send("AT+CH=5\r");
    EXPECT_EQ(port.Receive(15), "OK. Channel=5\r\n");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nobody attached
  Port again(link);
  ASSERT_TRUE(again.ok());
  again.Send("AT&V\r");
  std::string report = again.Receive(Report(Family::kSTavi, Firmware::k1_0).size());
  EXPECT_NE(report.find("\r\nChannel = 5, Bandwidth = 125 kHz, SF = 7\r\n"), std::string::npos)
      << report;
  EXPECT_EQ(sim.Stop(), 0);
}

// The program opens its port exclusively; on a pseudo-terminal that mark
// would outlive its close and lock it (unless root) out of reconnecting.
TEST_F(SimulatorOnPty, FreesTheLineWhenAnExclusiveUserClosesIt) {
  std::string link = Path("tty");
  SimProcess sim({"--model", "s", "--link", link});
  ASSERT_EQ(sim.ReadLine(), link);
  {
    Port port(link);
    ASSERT_TRUE(port.ok());
    ASSERT_EQ(ioctl(port.fd(), TIOCEXCL), 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(port.fd(), TIOCGEXCL, &exclusive), 0);
    ASSERT_EQ(exclusive, 1);
  }
  int exclusive = 1;
  auto start = Clock::now();
  while (exclusive != 0 && MsSince(start) < 3000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Port probe(link);  // refused while the mark stands, unless root
    if (probe.ok()) ioctl(probe.fd(), TIOCGEXCL, &exclusive);
  }
  EXPECT_EQ(exclusive, 0);
  Port again(link);
  ASSERT_TRUE(again.ok());
  again.Send("AT+CH=6\r");
  EXPECT_EQ(again.Receive(15), "OK. Channel=6\r\n");
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimulatorOnPty, StateSurvivesARestart) {
  std::string link = Path("tty");
  std::string state = Path("modem.state");
  {
    SimProcess sim({"--model", "r", "--link", link, "--state", state});
    ASSERT_EQ(sim.ReadLine(), link);
    Port port(link);
    port.Send("AT+MODE=2\r");
    EXPECT_EQ(port.Receive(16), "OK. Mode=Relay\r\n");
    EXPECT_EQ(sim.Stop(), 0);
  }
  std::ifstream in(state);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("\nmode=Relay\n"), std::string::npos) << text.str();

  SimProcess sim({"--model", "r", "--link", link, "--state", state});
  ASSERT_EQ(sim.ReadLine(), link);
  Port port(link);
  port.Send("AT&V\r");
  RTaviConfig relay;
  relay.mode = 2;
  std::string expected = WireText(StatusReport(relay, Firmware::k1_3));
  EXPECT_EQ(port.Receive(expected.size()), expected);
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimulatorOnPty, VanishesAfterNCommandsAsAnUnpluggedAdapter) {
  std::string link = Path("tty");
  SimProcess sim({"--model", "i", "--link", link, "--vanish-after", "2"});
  ASSERT_EQ(sim.ReadLine(), link);
  Port port(link);
  port.Send("AT+CH=3\r");
  EXPECT_EQ(port.Receive(15), "OK. Channel=3\r\n");
  port.Send("+++");
  EXPECT_EQ(port.Receive(12), "AT Mode On\r\n");  // the last answer still arrives
  EXPECT_TRUE(port.WaitForHangup(3000));
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_FALSE(Exists(link));
}

TEST_F(SimulatorOnPty, FaultOptionsSilenceDelayAndChunks) {
  {
    std::string link = Path("silent");
    SimProcess sim({"--model", "s", "--link", link, "--silent"});
    ASSERT_EQ(sim.ReadLine(), link);
    Port port(link);
    port.Send("AT&V\r");
    EXPECT_EQ(port.Receive(1, 500), "");
    EXPECT_EQ(sim.Stop(), 0);
  }
  {
    std::string link = Path("slow");
    SimProcess sim({"--model", "s", "--link", link, "--delay", "300"});
    ASSERT_EQ(sim.ReadLine(), link);
    Port port(link);
    port.Send("AT+CH=5\r");
    auto start = Clock::now();
    EXPECT_EQ(port.Receive(15), "OK. Channel=5\r\n");
    EXPECT_GE(MsSince(start), 250);  // the delay runs from the carriage return
    EXPECT_EQ(sim.Stop(), 0);
  }
  {
    std::string link = Path("chunky");
    SimProcess sim({"--model", "s", "--link", link, "--chunk", "4", "--chunk-pause", "200"});
    ASSERT_EQ(sim.ReadLine(), link);
    Port port(link);
    port.Send("AT+CH=5\r");
    std::vector<int> reads;
    auto start = Clock::now();
    EXPECT_EQ(port.Receive(15, 5000, &reads), "OK. Channel=5\r\n");
    EXPECT_GE(MsSince(start), 550);  // three pauses between four chunks
    ASSERT_GE(reads.size(), 2u);     // not in one piece
    EXPECT_EQ(reads[0] % 4, 0);
    EXPECT_EQ(sim.Stop(), 0);
  }
}

TEST_F(SimulatorOnPty, ForeignModelAnswersWithTheOtherFamilysLines) {
  std::string link = Path("tty");
  SimProcess sim({"--model", "s", "--foreign", "i", "--link", link});
  ASSERT_EQ(sim.ReadLine(), link);
  Port port(link);
  port.Send("AT&V\r");
  std::string expected = Report(Family::kIoTavi);
  EXPECT_EQ(port.Receive(expected.size()), expected);
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimulatorOnPty, RefusesBadArgumentsAndForeignFiles) {
  SimProcess usage({"--model", "q"});
  EXPECT_EQ(usage.Wait(), 2);

  std::string file = Path("precious");
  std::ofstream(file) << "keep me\n";
  SimProcess clash({"--model", "s", "--link", file});
  EXPECT_EQ(clash.Wait(), 1);
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");

  std::string state = Path("bad.state");
  std::ofstream(state) << "model=i\n";
  SimProcess wrong_state({"--model", "s", "--link", Path("tty"), "--state", state});
  EXPECT_EQ(wrong_state.Wait(), 1);
  EXPECT_FALSE(Exists(Path("tty")));
}

}  // namespace
}  // namespace velimo::sim::test
