// The serial port component on a network port, against a scripted server:
// the port as the program drives it (settings, purge, paced writes, the
// event thread and its notifications), and each way a server can fail it.
#include "serial/net/network_port.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A port whose network ports wait `answerMs` for the server.
void UseNetwork(TComPort& port, int answerMs = 2000, int connectMs = 5000) {
  port.SetTransportFactory([=](const std::string& name) -> std::unique_ptr<PortTransport> {
    ParsedAddress parsed = ParsePortAddress(name);
    if (!parsed.address) return NetworkTransportFor(name);
    NetTiming timing;
    timing.answer_ms = answerMs;
    timing.connect_ms = connectMs;
    return std::make_unique<NetworkPort>(*parsed.address, timing);
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
  const Case cases[] = {
      {"refused rate", refusesRate, "", false, false, CError_SetStateFailed,
       "refused 921600 baud (it answered 115200 baud)", 1500},
      {"no port control", noComPort, "", false, false, CError_OpenFailed,
       "does not offer port control", 1500},
      {"hang-up in a subnegotiation", hangsUp, "", false, false, 0, "closed the connection", 1500},
      {"no agreement in time", mute, "", false, false, CError_OpenFailed,
       "did not agree to port control within 1 s", 1500},
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

}  // namespace
}  // namespace velimo::serial::net
