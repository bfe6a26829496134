// A scripted RFC 2217 server on 127.0.0.1 for one client: it agrees to
// the options a client asks for (or not), answers port-control commands
// with what its script says, and records the client's data bytes with the
// Telnet escaping removed. Its own small parser, independent of the
// program's, so a fault in the program's codec cannot hide in both.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velimo::test {

struct ServerScript {
  bool offer_comport = true;       // DO COM-PORT-OPTION, or DONT
  int agree_delay_ms = 0;          // before its first answer to the client's options
  bool answer_options = true;      // false: the client's option requests go unanswered
  bool confirm_purge = true;       // answer PURGE-DATA
  bool close_after_agree = false;  // hang up in the middle of a subnegotiation
  // The rate the server keeps when asked for one.
  std::function<uint32_t(uint32_t asked)> rate = [](uint32_t asked) { return asked; };
  // Sent just before the answer to PURGE-DATA (data the server's queue held).
  std::string before_purge_answer;
  // A hostile server: these bytes sent over and over, for flood_ms, from
  // the connection on (flood_at_once, answering nothing meanwhile) or
  // from Flood(). The limit keeps a client that never lets go from
  // hanging the test.
  std::string flood;
  bool flood_at_once = false;
  bool read_during_flood = true;
  int flood_ms = 4000;
};

class FakeRfc2217Server {
 public:
  explicit FakeRfc2217Server(ServerScript script);
  ~FakeRfc2217Server();

  int Port() const { return port_; }
  std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
  // Bytes to the client, sent as they are (the caller escapes them).
  void Send(const std::string& bytes);
  // Hangs up on the client.
  void Drop();
  // The client's data bytes so far, unescaped.
  std::string Data();
  // Port-control commands received: command code and value.
  std::vector<std::pair<int, std::string>> Commands();
  // Waits until Data() holds n bytes, at most limitMs.
  bool WaitForData(size_t n, int limitMs);
  // Starts the script's flood; ends it before its time.
  void Flood();
  void StopFlood();
  // Whether the flood is over, and whether the client hung up.
  bool FloodOver();
  bool ClientGone();
  // The client's option requests and answers: verb and option.
  std::vector<std::pair<int, int>> Requests();

 private:
  void Run();
  void Handle(int fd, const std::string& in);

  ServerScript script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> drop_{false};
  std::mutex mutex_;
  std::string outgoing_;
  std::string data_;
  std::vector<std::pair<int, std::string>> commands_;
  std::vector<std::pair<int, int>> requests_;
  std::atomic<bool> flooding_{false};
  std::atomic<bool> flood_over_{false};
  std::atomic<bool> stop_flood_{false};
  std::atomic<bool> client_gone_{false};
  // Parser state.
  int state_ = 0;
  int verb_ = 0;
  std::string sb_;
  std::thread thread_;
};

}  // namespace velimo::test
