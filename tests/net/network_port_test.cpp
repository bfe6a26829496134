// The serial port component on a network port, against a scripted server:
// the port as the program drives it (settings, purge, paced writes, the
// event thread and its notifications), and each way a server can fail it.
#include "serial/net/network_port.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_rfc2217_server.h"
#include "serial/com_port.h"
#include "support/wait_for.h"
#include "support/watchdog.h"

namespace velimo::serial::net {
namespace {

using test::FakeRfc2217Server;
using test::kGenerousMs;
using test::kNeverMs;
using test::ServerScript;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A port whose network ports wait `answerMs` for the server and take at
// most passBytes in a read pass; *made is the port's transport while open.
void UseNetwork(TComPort& port, int answerMs = kGenerousMs, int connectMs = kGenerousMs,
                size_t passBytes = NetLimits{}.pass_bytes, NetworkPort** made = nullptr) {
  port.SetTransportFactory([=](const std::string& name) -> std::unique_ptr<PortTransport> {
    ParsedAddress parsed = ParsePortAddress(name);
    if (!parsed.address) return NetworkTransportFor(name);
    NetLimits limits;
    limits.answer_ms = answerMs;
    limits.connect_ms = connectMs;
    limits.pass_bytes = passBytes;
    auto net = std::make_unique<NetworkPort>(*parsed.address, limits);
    if (made) *made = net.get();
    return net;
  });
}

// Serves the port's events until done() or the limit.
bool ServeUntil(TComPort& port, const std::function<bool()>& done, int limitMs = kGenerousMs) {
  return test::WaitFor(done, limitMs, [&port] { port.ProcessPendingEvents(); });
}

// Each test begins with one: a hang is ended with the test's name rather
// than by the suite's time limit.
using Watchdog = test::Watchdog;
constexpr std::chrono::seconds kHung{90};

// The kernel's view of a loopback listener on port: the connections in its
// accept queue and the most it takes (/proc/net/tcp lists both for a
// listening socket where a connected one has its queued bytes). -1, -1
// when nothing listens there.
std::pair<int, int> AcceptQueue(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    // "sl local_address rem_address st tx_queue:rx_queue ...", LISTEN is 0A.
    std::istringstream fields(line);
    std::string sl, local, remote, state, queues;
    fields >> sl >> local >> remote >> state >> queues;
    if (!local.ends_with(wanted) || state != "0A") continue;
    const size_t colon = queues.find(':');
    return {std::stoi(queues.substr(colon + 1), nullptr, 16),
            std::stoi(queues.substr(0, colon), nullptr, 16)};
  }
  return {-1, -1};
}

// Connections from this host to port the kernel still tries to make:
// their requests went unanswered (SYN_SENT, state 02).
int ConnectionsWaitingFor(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  int waiting = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string sl, local, remote, state;
    fields >> sl >> local >> remote >> state;
    waiting += remote.ends_with(wanted) && state == "02";
  }
  return waiting;
}

// A loopback listener that accepts nothing, with its accept queue full: the
// kernel drops every further connection request unanswered, as a firewall
// that drops them would, and goes on doing so while nobody accepts.
// Connections are made to it until the kernel shows the queue full, so
// the hang does not rest on how the kernel counts the queue's length.
class FullListener {
 public:
  FullListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 0);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    // Each connection is either taken into the queue or left waiting
    // before the queue is looked at again.
    while (fillers_.size() < 8 && !Full()) {
      const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers_.push_back(filler);
      test::WaitFor([&] {
        return AcceptQueue(port_).first + ConnectionsWaitingFor(port_) ==
               static_cast<int>(fillers_.size());
      });
    }
  }
  ~FullListener() {
    for (int fd : fillers_) close(fd);
    close(fd_);
  }
  FullListener(const FullListener&) = delete;
  FullListener& operator=(const FullListener&) = delete;
  int Port() const { return port_; }
  // The kernel drops new requests once the queue holds more than its most.
  bool Full() const {
    const auto [queued, most] = AcceptQueue(port_);
    return queued >= 0 && queued > most;
  }
  // Connection requests to it that went unanswered, the fillers' own too.
  int Waiting() const { return ConnectionsWaitingFor(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

// How an open failed: the component's code and the reason given.
struct Failure {
  int code = 0;
  std::string reason;
};

Failure OpenFails(TComPort& port) {
  try {
    port.OpenPort();
  } catch (const EComPort& e) {
    return {e.Code(), e.Reason()};
  }
  return {};
}

std::string Sub(int command, std::string value) {
  return std::string("\xFF\xFA\x2C", 3) + static_cast<char>(command) + value + "\xFF\xF0";
}

TEST(NetworkPort, DrivenAsALocalPort) {
  const Watchdog watchdog(kHung);
  ServerScript script;
  // What the server's queue held when the purge came must not reach the
  // receive path.
  script.before_purge_answer = "stale\r\n";
  FakeRfc2217Server server(script);
  TComPort port;
  UseNetwork(port);
  port.SetPort(server.Url());
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(57600);
  port.Parity().SetBits(prEven);
  port.FlowControl().SetFlowControl(fcHardware);
  port.FlowControl().SetControlDTR(dtrEnable);
  std::string received;
  TComErrors errors;
  port.OnRxChar = [&](int count) {
    std::string chunk(static_cast<size_t>(count), '\0');
    chunk.resize(static_cast<size_t>(port.ReadBytes(chunk.data(), count)));
    received += chunk;
  };
  port.OnError = [&](TComErrors e) { errors = e; };
  port.OpenPort();
  ASSERT_TRUE(port.Connected());

  // The settings reached the server: 57600, 8 bits, even, 1 stop bit,
  // RTS/CTS, DTR on.
  const auto commands = server.Commands();
  auto has = [&](int command, std::string value) {
    for (const auto& c : commands)
      if (c.first == command && c.second == value) return true;
    return false;
  };
  EXPECT_TRUE(has(1, std::string("\0\0\xE1\0", 4)));
  EXPECT_TRUE(has(2, "\x08"));
  EXPECT_TRUE(has(3, "\x03"));
  EXPECT_TRUE(has(4, "\x01"));
  EXPECT_TRUE(has(5, "\x03"));
  EXPECT_TRUE(has(5, "\x08"));

  // A line as the transmitter sends it: purge, then one byte per write;
  // 0xFF arrives as itself.
  port.PurgeQueues(true, true);
  for (char c : std::string("AT\xFF\r")) port.WriteBytes(&c, 1);
  ASSERT_TRUE(server.WaitForData(4, kGenerousMs));
  EXPECT_EQ(server.Data(), "AT\xFF\r");

  // The answer with a 0xFF in it, a frame error and the modem lines.
  server.Send("ok\xFF\xFF\r\n" + Sub(106, "\x08") + Sub(107, "\x30"));
  ASSERT_TRUE(ServeUntil(port, [&] { return received.size() >= 5 && !errors.Empty(); }));
  EXPECT_EQ(received, "ok\xFF\r\n");
  EXPECT_EQ(errors, TComErrors(ceFrame));
  const TComSignals signals = port.ModemSignals();
  EXPECT_TRUE(signals.cts);
  EXPECT_TRUE(signals.dsr);
  EXPECT_FALSE(signals.rlsd);

  // The server goes away: the event thread ends as for an unplugged
  // adapter, and the next line fails instead of vanishing unseen.
  server.Drop();
  ASSERT_TRUE(ServeUntil(port, [&] { return !port.EventThreadActive(); }));
  EXPECT_THROW(
      {
        port.PurgeQueues(true, true);
        char c = 'A';
        port.WriteBytes(&c, 1);
        port.WriteBytes(&c, 1);
      },
      EComPort);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

TEST(NetworkPort, ServersThatFailTheConnection) {
  const Watchdog watchdog(kHung);
  // A port nothing listens on: bound and held, not listening, so a
  // connection is refused and no other program takes it meanwhile.
  int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  const int freePort = ntohs(a.sin_port);

  struct Case {
    const char* name;
    ServerScript script;
    std::string url;   // empty: the scripted server's
    bool raw = false;  // tcp:// to the scripted server
    bool drop = false;
    int code;
    const char* reason;
    // The port's limit for the server's answers: 1 s where the case is
    // that limit, else one no case reaches, so that the server's act
    // alone can end the open (a port that sat out its limit instead of
    // seeing the act would hang, and the watchdog ends the test).
    int answer_ms;
  };
  ServerScript refusesRate;
  refusesRate.rate = [](uint32_t asked) { return asked > 115200 ? 115200u : asked; };
  ServerScript noComPort;
  noComPort.offer_comport = false;
  ServerScript hangsUp;
  hangsUp.close_after_agree = true;
  ServerScript mute;
  mute.answer_options = false;
  // Floods that begin with the connection and outlast the time for the
  // agreement many times over: the limit is looked at while the bytes keep
  // coming, so the open fails while the flood still goes on.
  ServerScript nopFlood;
  nopFlood.flood = "\xFF\xF1";
  nopFlood.flood_at_once = true;
  nopFlood.flood_ms = 3 * kGenerousMs;
  ServerScript binaryToggling;
  binaryToggling.flood = std::string("\xFF\xFB\x00\xFF\xFC\x00", 6);
  binaryToggling.flood_at_once = true;
  binaryToggling.flood_ms = 3 * kGenerousMs;
  const Case cases[] = {
      {"refused rate", refusesRate, "", false, false, CError_SetStateFailed,
       "refused 921600 baud (it answered 115200 baud)", kNeverMs},
      {"no port control", noComPort, "", false, false, CError_OpenFailed,
       "does not offer port control", kNeverMs},
      {"hang-up in a subnegotiation", hangsUp, "", false, false, 0, "closed the connection",
       kNeverMs},
      {"no agreement in time", mute, "", false, false, CError_OpenFailed,
       "did not agree to port control within 1 s", 1000},
      {"IAC NOP flood instead of an agreement", nopFlood, "", false, false, CError_OpenFailed,
       "did not agree to port control within 1 s", 1000},
      {"BINARY turned on and off without end", binaryToggling, "", false, false, CError_OpenFailed,
       "turned the Telnet option BINARY on and off more than 10 times", kNeverMs},
      {"raw server that closes at once",
       {},
       "",
       true,
       true,
       CError_OpenFailed,
       "accepted the connection and closed it",
       kNeverMs},
      {"nothing listens",
       {},
       "rfc2217://127.0.0.1:" + std::to_string(freePort),
       false,
       false,
       CError_OpenFailed,
       "refused: nothing listens there",
       kNeverMs},
      {"a name that does not resolve",
       {},
       "tcp://no-such-host.invalid:4001",
       false,
       false,
       CError_OpenFailed,
       "does not resolve",
       kNeverMs},
      {"no port number",
       {},
       "rfc2217://gateway",
       false,
       false,
       CError_OpenFailed,
       "has no port number",
       kNeverMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRfc2217Server server(c.script);
    if (c.drop) server.Drop();
    TComPort port;
    // The lookup and connection too are ended only by what the system
    // answers (a name that does not resolve, a refusal).
    UseNetwork(port, c.answer_ms, kNeverMs);
    std::string url = c.url.empty() ? server.Url() : c.url;
    if (c.raw) url = "tcp://127.0.0.1:" + std::to_string(server.Port());
    port.SetPort(url);
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(921600);
    Failure f = OpenFails(port);
    EXPECT_FALSE(port.Connected());
    // A flood is still going on when its limit ends the open: a port
    // that read on until the flood ended would find it over.
    if (!c.script.flood.empty()) {
      EXPECT_FALSE(server.FloodOver());
    }
    if (c.code) {
      EXPECT_EQ(f.code, c.code);
    } else {
      EXPECT_NE(f.code, 0);
    }
    EXPECT_NE(f.reason.find(c.reason), std::string::npos) << f.reason;
  }
  close(probe);
}

// Servers that flood once the port is open. Each read pass takes a
// bounded number of bytes, so serving the port's events keeps returning
// (the window's timers get their turn) while the flood goes on, and what
// the port holds stays bounded; a repeated request is answered once; a
// server that turns one option on and off without end loses the
// connection, with the reason; after any other flood the line works.
TEST(NetworkPort, HostileServersAreHeldToTheirLimits) {
  const Watchdog watchdog(kHung);
  constexpr size_t kPass = 64 * 1024;
  struct Case {
    const char* name;
    std::string flood;
    bool read;  // the server reads what the port sends while it floods
    bool ends;  // the port ends the connection
  };
  const Case cases[] = {
      {"IAC WILL 5 for ever, reading nothing", "\xFF\xFB\x05", false, false},
      {"IAC NOP flood", "\xFF\xF1", true, false},
      {"line-state reports and unasked answers",
       Sub(106, "\x08") + Sub(101, std::string(60, '\xFF')) + "\xFF\xF9", true, false},
      {"DO/DONT BINARY toggling", std::string("\xFF\xFD\x00\xFF\xFE\x00", 6), true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerScript script;
    script.flood = c.flood;
    script.read_during_flood = c.read;
    // Longer than the test waits for anything: the test ends it.
    script.flood_ms = 3 * kGenerousMs;
    FakeRfc2217Server server(script);
    TComPort port;
    NetworkPort* net = nullptr;
    UseNetwork(port, kGenerousMs, kGenerousMs, kPass, &net);
    port.SetPort(server.Url());
    std::string received;
    std::vector<std::string> notices;
    bool hungUp = false;
    port.OnRxChar = [&](int count) {
      std::string chunk(static_cast<size_t>(count), '\0');
      chunk.resize(static_cast<size_t>(port.ReadBytes(chunk.data(), count)));
      received += chunk;
    };
    port.OnNotice = [&](const std::string& text) { notices.push_back(text); };
    port.OnHangUp = [&] { hungUp = true; };
    port.OpenPort();
    ASSERT_TRUE(port.Connected());

    // Served while the flood arrives: from a pass larger than any before it
    // (the greeting's were a few bytes) on, for a few hundred more.
    const size_t greeting = net->LargestPass();
    server.Flood();
    size_t most = 0;
    ASSERT_TRUE(ServeUntil(port, [&] {
      if (!hungUp) most = std::max(most, net->HeldBytes());
      return hungUp || net->LargestPass() > greeting;
    })) << "the flood did not arrive";
    for (int pass = 0; pass < 200 && !hungUp; ++pass) {
      port.ProcessPendingEvents();
      if (!hungUp) most = std::max(most, net->HeldBytes());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Every serving returned while the flood went on: one that read until
    // it ended would have returned only after the server's 30 s.
    EXPECT_FALSE(server.FloodOver());
    server.StopFlood();
    if (!hungUp) {
      EXPECT_LE(net->LargestPass(), kPass);
      EXPECT_LE(most, 2 * kPass + 64 * 1024 + 4096);
    }

    if (c.ends) {
      ASSERT_TRUE(ServeUntil(port, [&] { return hungUp; }));
      ASSERT_EQ(notices.size(), 1u);
      EXPECT_NE(notices[0].find("turned the Telnet option BINARY on and off more than 10 times"),
                std::string::npos)
          << notices[0];
      EXPECT_TRUE(ServeUntil(port, [&] { return server.ClientGone(); }));
      // The greeting's two requests of BINARY, then one answer per flip.
      size_t binary = 0;
      for (const auto& [verb, option] : server.Requests()) binary += option == 0;
      EXPECT_LE(binary, 2u + TelnetCodec::kMaxFlips);
      EXPECT_THROW(port.PurgeQueues(true, true), EComPort);
      try {
        port.PurgeQueues(true, true);
      } catch (const EComPort& e) {
        EXPECT_NE(e.Reason().find("more than 10 times"), std::string::npos) << e.Reason();
      }
      port.ClosePort();
      continue;
    }

    // Once the flood is over the server reads again: the repeated request
    // got one answer, and a line goes through.
    ASSERT_TRUE(ServeUntil(port, [&] { return server.FloodOver(); }));
    ASSERT_TRUE(ServeUntil(port, [&] {
      port.QueuedInputCount();
      return server.WaitForData(0, 0) && !server.Requests().empty();
    }));
    port.QueuedInputCount();
    EXPECT_TRUE(notices.empty());
    EXPECT_FALSE(hungUp);
    port.PurgeQueues(true, true);
    received.clear();
    for (char ch : std::string("AT\r")) port.WriteBytes(&ch, 1);
    ASSERT_TRUE(server.WaitForData(3, kGenerousMs));
    // The connection keeps its order: every answer the port gave before the
    // line reached the server first.
    size_t refusals = 0;
    for (const auto& [verb, option] : server.Requests()) refusals += option == 5;
    EXPECT_EQ(refusals, c.flood == "\xFF\xFB\x05" ? 1u : 0u);
    server.Send("OK\r\n");
    EXPECT_TRUE(ServeUntil(port, [&] { return received.find("OK\r\n") != std::string::npos; }));
    port.ClosePort();
  }
}

// A server that never confirms a purge: the answer to the first line is
// held back for the purge's second at most, then delivered, and the trace
// is told once; later lines are not held back, and their purges still
// drop what arrived before them.
TEST(NetworkPort, UnconfirmedPurgeDoesNotSilenceTheLine) {
  const Watchdog watchdog(kHung);
  ServerScript script;
  script.confirm_purge = false;
  FakeRfc2217Server server(script);
  TComPort port;
  NetworkPort* net = nullptr;
  UseNetwork(port, kGenerousMs, kGenerousMs, NetLimits{}.pass_bytes, &net);
  port.SetPort(server.Url());
  std::string received;
  std::vector<std::string> notices;
  port.OnRxChar = [&](int count) {
    std::string chunk(static_cast<size_t>(count), '\0');
    chunk.resize(static_cast<size_t>(port.ReadBytes(chunk.data(), count)));
    received += chunk;
  };
  port.OnNotice = [&](const std::string& text) { notices.push_back(text); };
  port.OpenPort();
  ASSERT_TRUE(port.Connected());

  // The line as the transmitter sends it; the modem answers at once. The
  // time from the purge until the answer was read.
  auto line = [&](const std::string& answer) {
    received.clear();
    const size_t before = server.Data().size();
    const auto purged = Clock::now();
    port.PurgeQueues(true, true);
    for (char ch : std::string("AT\r")) port.WriteBytes(&ch, 1);
    EXPECT_TRUE(server.WaitForData(before + 3, kGenerousMs));
    server.Send(answer);
    EXPECT_TRUE(ServeUntil(port, [&] { return received == answer; })) << received;
    return MsSince(purged);
  };
  // Held back until the purge's time had passed, never less (a loaded
  // machine only makes it later).
  EXPECT_GE(line("ONE\r\n"), NetLimits{}.purge_confirm_ms);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("did not confirm a purge within 1 s"), std::string::npos) << notices[0];

  // What arrived before the next purge is dropped by it; the answer after
  // it is not held back: were it, only a purge's time the test never
  // reaches would release it.
  net->SetPurgeConfirmMs(kNeverMs);
  server.Send("old\r\n");
  ASSERT_TRUE(test::WaitFor([&] { return port.QueuedInputCount() == 5; }));  // unread
  line("TWO\r\n");
  EXPECT_EQ(received, "TWO\r\n");
  EXPECT_EQ(notices.size(), 1u);
}

TEST(NetworkPort, SlowAgreementWithinTheLimitConnects) {
  const Watchdog watchdog(kHung);
  ServerScript slow;
  slow.agree_delay_ms = 700;
  FakeRfc2217Server server(slow);
  TComPort port;
  UseNetwork(port, 3 * kGenerousMs);
  port.SetPort(server.Url());
  const auto start = Clock::now();
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  EXPECT_GE(MsSince(start), 700);  // the agreement was waited for, not skipped
}

TEST(NetworkPort, RawPortKeepsTheSettingsAndPurgesWhatArrived) {
  const Watchdog watchdog(kHung);
  FakeRfc2217Server server({});
  TComPort port;
  UseNetwork(port);
  port.SetPort("tcp://127.0.0.1:" + std::to_string(server.Port()));
  port.SetBaudRate(br115200);
  port.FlowControl().SetFlowControl(fcHardware);
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  port.PurgeQueues(true, true);
  for (char c : std::string("AT\xFF\rZ")) port.WriteBytes(&c, 1);
  // The last byte written has arrived, and all before it with it.
  ASSERT_TRUE(test::WaitFor([&] { return server.Data().ends_with('Z'); })) << server.Data();
  // Nothing but the data went out: no negotiation, no settings, no
  // escaping (this server reads the lone 0xFF and the byte after it as a
  // command).
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(server.Data(), "ATZ");

  server.Send("old\r\n");
  ASSERT_TRUE(ServeUntil(port, [&] { return port.QueuedInputCount() == 5; }));
  port.PurgeQueues(true, true);
  EXPECT_EQ(port.QueuedInputCount(), 0);
  server.Send("new\r\n");
  ASSERT_TRUE(ServeUntil(port, [&] { return port.QueuedInputCount() == 5; }));
  char buffer[16] = {};
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "new\r\n");
}

TEST(NetworkPort, ConnectionThatHangsTimesOut) {
  const Watchdog watchdog(kHung);
  const FullListener listener;
  ASSERT_TRUE(listener.Full()) << "the listener's queue could not be filled";

  TComPort port;
  UseNetwork(port, 1000, 700);
  port.SetPort("tcp://127.0.0.1:" + std::to_string(listener.Port()));
  const auto start = Clock::now();
  Failure f = OpenFails(port);
  // Never before its limit (a load only makes it later). A connection left
  // to the system's own limit (minutes) is ended by the watchdog; the
  // reason names the port's limit.
  EXPECT_GE(MsSince(start), 650);
  EXPECT_EQ(f.code, CError_OpenFailed);
  EXPECT_NE(f.reason.find("No answer from 127.0.0.1 port " + std::to_string(listener.Port()) +
                          " within 1 s"),
            std::string::npos)
      << f.reason;
}

// The open on a thread of its own, as the connect dialog runs it: a
// cancel ends a connection that hangs and an agreement that never comes,
// leaving nothing open; an open that succeeds is handed to the port on
// this thread, which sets the line up and carries the data. The open's own
// limits are longer than the test waits, so only the cancel can end it.
TEST(NetworkPort, OpenedOnAThreadOfItsOwnCancelledOrHandedOver) {
  const Watchdog watchdog(kHung);
  NetLimits never;
  never.connect_ms = kNeverMs;
  never.answer_ms = kNeverMs;
  for (const bool connection : {true, false}) {
    SCOPED_TRACE(connection ? "connection" : "agreement");
    // For the connection a listener that drops the request; for the
    // agreement a server that takes the connection and says nothing.
    std::unique_ptr<FullListener> full;
    int fd = -1;
    int number = 0;
    if (connection) {
      full = std::make_unique<FullListener>();
      ASSERT_TRUE(full->Full()) << "the listener's queue could not be filled";
      number = full->Port();
    } else {
      fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      listen(fd, 4);
      socklen_t len = sizeof a;
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
      number = ntohs(a.sin_port);
    }
    const int waitingBefore = connection ? full->Waiting() : 0;
    const std::string name =
        (connection ? "tcp://" : "rfc2217://") + std::string("127.0.0.1:") + std::to_string(number);
    CancelToken cancel;
    std::atomic<bool> ended{false};
    std::unique_ptr<PortTransport> opened;
    Failure failure;
    std::thread opener([&] {
      try {
        opened = OpenNetworkTransport(name, cancel, never);
      } catch (const EComPort& e) {
        failure = {e.ErrorCode(), e.Reason()};
      }
      ended = true;
    });
    // The open is under way before it is cancelled: its connection request
    // waits unanswered, or the server has its greeting.
    int taken = -1;
    std::string greeting;
    if (connection) {
      EXPECT_TRUE(test::WaitFor([&] { return full->Waiting() > waitingBefore; }))
          << "the connection was not asked for";
    } else {
      taken = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
      ASSERT_GE(taken, 0);
      EXPECT_TRUE(test::WaitFor([&] {
        char buffer[64];
        const ssize_t n = recv(taken, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) greeting.append(buffer, static_cast<size_t>(n));
        return !greeting.empty();
      })) << "no greeting reached the server";
    }
    EXPECT_FALSE(ended.load()) << "the open ended before the cancel";
    const auto start = Clock::now();
    cancel.Cancel();
    opener.join();  // an open the cancel does not end is ended by the watchdog
    const int64_t took = MsSince(start);
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(failure.code, ECANCELED);
    EXPECT_EQ(failure.reason,
              "The connection to 127.0.0.1 port " + std::to_string(number) + " was cancelled.");
    std::printf("figure net_open_cancel_%s_ms %lld\n", connection ? "connection" : "agreement",
                static_cast<long long>(took));
    if (!connection) {
      // The connection is closed now.
      char buffer[64];
      ssize_t n;
      while ((n = recv(taken, buffer, sizeof buffer, 0)) > 0) {
      }
      EXPECT_EQ(n, 0);
      close(taken);
      close(fd);
    }
  }

  FakeRfc2217Server server({});
  CancelToken cancel;
  std::unique_ptr<PortTransport> opened;
  std::thread opener([&] { opened = OpenNetworkTransport(server.Url(), cancel); });
  opener.join();
  ASSERT_NE(opened, nullptr);
  TComPort port;
  port.SetPort(server.Url());
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(57600);
  std::string received;
  port.OnRxChar = [&](int count) {
    std::string chunk(static_cast<size_t>(count), '\0');
    chunk.resize(static_cast<size_t>(port.ReadBytes(chunk.data(), count)));
    received += chunk;
  };
  port.OpenPort(std::move(opened));
  ASSERT_TRUE(port.Connected());
  bool rate = false;
  for (const auto& c : server.Commands())
    rate = rate || (c.first == 1 && c.second == std::string("\0\0\xE1\0", 4));
  EXPECT_TRUE(rate) << "the line settings were not sent after the hand-over";
  for (char c : std::string("AT\r")) port.WriteBytes(&c, 1);
  ASSERT_TRUE(server.WaitForData(3, kGenerousMs));
  server.Send("OK\r\n");
  ASSERT_TRUE(ServeUntil(port, [&] { return received == "OK\r\n"; }));
  port.ClosePort();
  EXPECT_TRUE(ServeUntil(port, [&] { return server.ClientGone(); }));
}

}  // namespace
}  // namespace velimo::serial::net
