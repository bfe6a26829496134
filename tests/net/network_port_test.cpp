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
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_rfc2217_server.h"
#include "serial/com_port.h"

namespace velimo::serial::net {
namespace {

using test::FakeRfc2217Server;
using test::ServerScript;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A port whose network ports wait `answerMs` for the server and take at
// most passBytes in a read pass; *made is the port's transport while open.
void UseNetwork(TComPort& port, int answerMs = 2000, int connectMs = 5000,
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
bool ServeUntil(TComPort& port, const std::function<bool()>& done, int limitMs = 3000) {
  const auto start = Clock::now();
  while (!done()) {
    if (MsSince(start) > limitMs) return false;
    port.ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

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
  ASSERT_TRUE(server.WaitForData(4, 2000));
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
  // A port nothing listens on.
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  const int freePort = ntohs(a.sin_port);
  close(probe);

  struct Case {
    const char* name;
    ServerScript script;
    std::string url;   // empty: the scripted server's
    bool raw = false;  // tcp:// to the scripted server
    bool drop = false;
    int code;
    const char* reason;
    int max_ms;
  };
  ServerScript refusesRate;
  refusesRate.rate = [](uint32_t asked) { return asked > 115200 ? 115200u : asked; };
  ServerScript noComPort;
  noComPort.offer_comport = false;
  ServerScript hangsUp;
  hangsUp.close_after_agree = true;
  ServerScript mute;
  mute.agree_delay_ms = 1500;
  // Floods that begin with the connection and outlast the time for the
  // agreement: the limit is looked at while the bytes keep coming.
  ServerScript nopFlood;
  nopFlood.flood = "\xFF\xF1";
  nopFlood.flood_at_once = true;
  ServerScript binaryToggling;
  binaryToggling.flood = std::string("\xFF\xFB\x00\xFF\xFC\x00", 6);
  binaryToggling.flood_at_once = true;
  const Case cases[] = {
      {"refused rate", refusesRate, "", false, false, CError_SetStateFailed,
       "refused 921600 baud (it answered 115200 baud)", 1500},
      {"no port control", noComPort, "", false, false, CError_OpenFailed,
       "does not offer port control", 1500},
      {"hang-up in a subnegotiation", hangsUp, "", false, false, 0, "closed the connection", 1500},
      {"no agreement in time", mute, "", false, false, CError_OpenFailed,
       "did not agree to port control within 1 s", 1500},
      {"IAC NOP flood instead of an agreement", nopFlood, "", false, false, CError_OpenFailed,
       "did not agree to port control within 1 s", 2500},
      {"BINARY turned on and off without end", binaryToggling, "", false, false, CError_OpenFailed,
       "turned the Telnet option BINARY on and off more than 10 times", 1500},
      {"raw server that closes at once",
       {},
       "",
       true,
       true,
       CError_OpenFailed,
       "accepted the connection and closed it",
       1500},
      {"nothing listens",
       {},
       "rfc2217://127.0.0.1:" + std::to_string(freePort),
       false,
       false,
       CError_OpenFailed,
       "refused: nothing listens there",
       1500},
      {"a name that does not resolve",
       {},
       "tcp://no-such-host.invalid:4001",
       false,
       false,
       CError_OpenFailed,
       "does not resolve",
       6000},
      {"no port number",
       {},
       "rfc2217://gateway",
       false,
       false,
       CError_OpenFailed,
       "has no port number",
       100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRfc2217Server server(c.script);
    if (c.drop) server.Drop();
    TComPort port;
    UseNetwork(port, 1000);
    std::string url = c.url.empty() ? server.Url() : c.url;
    if (c.raw) url = "tcp://127.0.0.1:" + std::to_string(server.Port());
    port.SetPort(url);
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(921600);
    const auto start = Clock::now();
    Failure f = OpenFails(port);
    EXPECT_LT(MsSince(start), c.max_ms);
    EXPECT_FALSE(port.Connected());
    if (c.code) {
      EXPECT_EQ(f.code, c.code);
    } else {
      EXPECT_NE(f.code, 0);
    }
    EXPECT_NE(f.reason.find(c.reason), std::string::npos) << f.reason;
  }
}

// Servers that flood once the port is open. Each read pass takes a
// bounded number of bytes, so serving the port's events keeps returning
// (the window's timers get their turn) while the flood goes on, and what
// the port holds stays bounded; a repeated request is answered once; a
// server that turns one option on and off without end loses the
// connection, with the reason; after any other flood the line works.
TEST(NetworkPort, HostileServersAreHeldToTheirLimits) {
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
    script.flood_ms = 1200;
    FakeRfc2217Server server(script);
    TComPort port;
    NetworkPort* net = nullptr;
    UseNetwork(port, 2000, 5000, kPass, &net);
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

    server.Flood();
    const auto start = Clock::now();
    size_t most = 0;
    while (MsSince(start) < 400 && !hungUp) {
      port.ProcessPendingEvents();
      if (!hungUp) most = std::max(most, net->HeldBytes());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The flood lasts 1.2 s: a pass that ran until it ended would show.
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_FALSE(server.FloodOver());
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
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.QueuedInputCount();
    size_t refusals = 0;
    for (const auto& [verb, option] : server.Requests()) refusals += option == 5;
    EXPECT_EQ(refusals, c.flood == "\xFF\xFB\x05" ? 1u : 0u);
    EXPECT_TRUE(notices.empty());
    EXPECT_FALSE(hungUp);
    port.PurgeQueues(true, true);
    received.clear();
    for (char ch : std::string("AT\r")) port.WriteBytes(&ch, 1);
    ASSERT_TRUE(server.WaitForData(3, 2000));
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
  ServerScript script;
  script.confirm_purge = false;
  FakeRfc2217Server server(script);
  TComPort port;
  UseNetwork(port);
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

  // The line as the transmitter sends it; the modem answers at once.
  auto line = [&](const std::string& answer) {
    received.clear();
    const size_t before = server.Data().size();
    port.PurgeQueues(true, true);
    for (char ch : std::string("AT\r")) port.WriteBytes(&ch, 1);
    EXPECT_TRUE(server.WaitForData(before + 3, 2000));
    server.Send(answer);
    const auto start = Clock::now();
    EXPECT_TRUE(ServeUntil(port, [&] { return received == answer; })) << received;
    return MsSince(start);
  };
  const int64_t first = line("ONE\r\n");
  EXPECT_GE(first, 800);  // held back until the purge's time had passed
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("did not confirm a purge within 1 s"), std::string::npos) << notices[0];

  // What arrived before the next purge is dropped by it; the answer after
  // it is not held back.
  server.Send("old\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_LT(line("TWO\r\n"), 500);
  EXPECT_EQ(received, "TWO\r\n");
  EXPECT_EQ(notices.size(), 1u);
}

TEST(NetworkPort, SlowAgreementWithinTheLimitConnects) {
  ServerScript slow;
  slow.agree_delay_ms = 700;
  FakeRfc2217Server server(slow);
  TComPort port;
  UseNetwork(port, 3000);
  port.SetPort(server.Url());
  const auto start = Clock::now();
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  EXPECT_GE(MsSince(start), 700);
}

TEST(NetworkPort, RawPortKeepsTheSettingsAndPurgesWhatArrived) {
  FakeRfc2217Server server({});
  TComPort port;
  UseNetwork(port);
  port.SetPort("tcp://127.0.0.1:" + std::to_string(server.Port()));
  port.SetBaudRate(br115200);
  port.FlowControl().SetFlowControl(fcHardware);
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  port.PurgeQueues(true, true);
  for (char c : std::string("AT\xFF\r")) port.WriteBytes(&c, 1);
  ASSERT_TRUE(server.WaitForData(2, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // Nothing but the data went out: no negotiation, no settings, no
  // escaping (this server reads the lone 0xFF and the byte after it as a
  // command).
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(server.Data(), "AT");

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
  // A listener whose queue is full and that never accepts: the kernel
  // drops further connection requests, as a firewall dropping them would.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener, 0);
  socklen_t len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  TComPort port;
  UseNetwork(port, 1000, 700);
  port.SetPort("tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  const auto start = Clock::now();
  Failure f = OpenFails(port);
  const int64_t took = MsSince(start);
  EXPECT_EQ(f.code, CError_OpenFailed);
  EXPECT_NE(f.reason.find("No answer from 127.0.0.1 port"), std::string::npos) << f.reason;
  EXPECT_GE(took, 650);
  EXPECT_LT(took, 2000);
  for (int fd : fillers) close(fd);
  close(listener);
}

// The open on a thread of its own, as the connect dialog runs it: a
// cancel ends a connection that hangs and an agreement that never comes
// within moments, leaving nothing open; an open that succeeds is handed to
// the port on this thread, which sets the line up and carries the data.
TEST(NetworkPort, OpenedOnAThreadOfItsOwnCancelledOrHandedOver) {
  const auto listener = [](int backlog, std::vector<int>* fillers) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, backlog);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    // A full queue: further connection requests are dropped unanswered.
    for (int i = 0; fillers && i < 4; ++i) {
      int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers->push_back(filler);
    }
    return std::pair<int, int>(fd, ntohs(a.sin_port));
  };
  const struct {
    const char* stage;
    const char* scheme;
    bool full_queue;
  } stages[] = {{"connection", "tcp://", true}, {"agreement", "rfc2217://", false}};
  for (const auto& stage : stages) {
    SCOPED_TRACE(stage.stage);
    std::vector<int> fillers;
    const auto [fd, number] =
        listener(stage.full_queue ? 0 : 4, stage.full_queue ? &fillers : nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string name = stage.scheme + std::string("127.0.0.1:") + std::to_string(number);
    CancelToken cancel;
    std::atomic<bool> ended{false};
    std::unique_ptr<PortTransport> opened;
    Failure failure;
    std::thread opener([&] {
      try {
        opened = OpenNetworkTransport(name, cancel);
      } catch (const EComPort& e) {
        failure = {e.ErrorCode(), e.Reason()};
      }
      ended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(ended.load()) << "the " << stage.stage << " did not hang";
    const auto start = Clock::now();
    cancel.Cancel();
    opener.join();
    const int64_t took = MsSince(start);
    EXPECT_LT(took, 200);
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(failure.code, ECANCELED);
    EXPECT_EQ(failure.reason,
              "The connection to 127.0.0.1 port " + std::to_string(number) + " was cancelled.");
    std::printf("figure net_open_cancel_%s_ms %lld\n", stage.stage, static_cast<long long>(took));
    if (!stage.full_queue) {
      // The greeting reached the server; the connection is closed now.
      const int taken = accept(fd, nullptr, nullptr);
      ASSERT_GE(taken, 0);
      char buffer[64];
      ssize_t n;
      while ((n = recv(taken, buffer, sizeof buffer, 0)) > 0) {
      }
      EXPECT_EQ(n, 0);
      close(taken);
    }
    for (int filler : fillers) close(filler);
    close(fd);
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
  ASSERT_TRUE(server.WaitForData(3, 2000));
  server.Send("OK\r\n");
  ASSERT_TRUE(ServeUntil(port, [&] { return received == "OK\r\n"; }));
  port.ClosePort();
  EXPECT_TRUE(ServeUntil(port, [&] { return server.ClientGone(); }));
}

}  // namespace
}  // namespace velimo::serial::net
