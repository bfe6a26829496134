// A network port on Winsock, as the program drives it, against a raw TCP
// server in the test process: the event thread wakes for arrivals, also
// for what a read pass left in the socket, sleeps while nothing arrives,
// and learns the server's close as a hang-up; a refusal is told in the
// port's words with Winsock's number.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "serial/com_error.h"
#include "serial/com_port.h"
#include "serial/net/network_port.h"

namespace velimo::serial::net {
namespace {

using Clock = std::chrono::steady_clock;

bool ServeUntil(TComPort& port, const std::function<bool()>& done, int limitMs = 5000) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    port.ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Reads from the socket until `count` bytes have come (or it closes).
std::string ReceiveExactly(SOCKET s, size_t count) {
  std::string got;
  char buffer[256];
  while (got.size() < count) {
    const int n = recv(s, buffer, static_cast<int>(std::min(sizeof buffer, count - got.size())), 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

class Listener {
 public:
  Listener() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() { closesocket(socket_); }
  void Listen() { listen(socket_, 1); }
  SOCKET Accept() { return accept(socket_, nullptr, nullptr); }
  std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

TEST(NetworkPortOnWinsock, DeliversEveryPassSleepsWhenIdleAndHearsTheServerClose) {
  Listener listener;
  // Not listening yet: the port is refused, in its words.
  {
    TComPort port;
    port.SetTransportFactory(NetworkTransportFor);
    port.SetPort(listener.Url());
    try {
      port.OpenPort();
      FAIL() << "opened a port nothing listens on";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.Code(), CError_OpenFailed);
      EXPECT_EQ(e.ErrorCode(), WSAECONNREFUSED);
      EXPECT_NE(e.Reason().find("was refused: nothing listens there."), std::string::npos)
          << e.Reason();
    }
  }

  listener.Listen();
  // More than one read pass takes (64 KiB): the rest must wake the event
  // thread again although nothing more arrives.
  std::string payload(150 * 1024, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('A' + i % 23);
  std::string asked, farewell;
  std::thread server([&] {
    SOCKET c = listener.Accept();
    asked = ReceiveExactly(c, 5);
    send(c, payload.data(), static_cast<int>(payload.size()), 0);
    farewell = ReceiveExactly(c, 4);
    closesocket(c);
  });

  TComPort port;
  port.SetTransportFactory(NetworkTransportFor);
  port.SetPort(listener.Url());
  std::string received;
  bool hungUp = false;
  port.OnRxChar = [&](int count) {
    std::string chunk(static_cast<size_t>(count), '\0');
    chunk.resize(static_cast<size_t>(port.ReadBytes(chunk.data(), count)));
    received += chunk;
  };
  port.OnHangUp = [&] { hungUp = true; };
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  port.WriteBytes("AT&V\r", 5);
  EXPECT_TRUE(ServeUntil(port, [&] { return received.size() >= payload.size(); }))
      << received.size() << " of " << payload.size() << " bytes";
  EXPECT_TRUE(received == payload);

  // Nothing arrives: the event thread sleeps, and hands over no batch (an
  // event left signalled would hand over one for each look).
  int batches = 0;
  const Clock::time_point idle = Clock::now();
  while (Clock::now() - idle < std::chrono::milliseconds(400)) {
    batches += port.ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_LE(batches, 1) << "batches handed over while nothing arrived";

  port.WriteBytes("bye\r", 4);
  EXPECT_TRUE(ServeUntil(port, [&] { return hungUp; })) << "the server's close was not heard";
  server.join();
  EXPECT_EQ(asked, "AT&V\r");
  EXPECT_EQ(farewell, "bye\r");
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

}  // namespace
}  // namespace velimo::serial::net
