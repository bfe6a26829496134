#include "fake_rfc2217_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace velimo::test {

namespace {

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr int kComPort = 44;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Sub(int command, const std::string& value) {
  std::string s = Bytes({IAC, SB, kComPort, command});
  for (char c : value) {
    s.push_back(c);
    if (static_cast<uint8_t>(c) == IAC) s.push_back(c);
  }
  return s + Bytes({IAC, SE});
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

FakeRfc2217Server::FakeRfc2217Server(ServerScript script) : script_(std::move(script)) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listen_fd_, 1);
  socklen_t len = sizeof a;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

FakeRfc2217Server::~FakeRfc2217Server() {
  stop_ = true;
  thread_.join();
  close(listen_fd_);
}

void FakeRfc2217Server::Send(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  outgoing_ += bytes;
}

void FakeRfc2217Server::Drop() {
  drop_ = true;
}

std::string FakeRfc2217Server::Data() {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_;
}

std::vector<std::pair<int, std::string>> FakeRfc2217Server::Commands() {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

bool FakeRfc2217Server::WaitForData(size_t n, int limitMs) {
  for (int waited = 0; waited < limitMs; waited += 5) {
    if (Data().size() >= n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return Data().size() >= n;
}

void FakeRfc2217Server::Flood() {
  flooding_ = true;
}

void FakeRfc2217Server::StopFlood() {
  stop_flood_ = true;
}

bool FakeRfc2217Server::FloodOver() {
  return flood_over_;
}

bool FakeRfc2217Server::ClientGone() {
  return client_gone_;
}

std::vector<std::pair<int, int>> FakeRfc2217Server::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeRfc2217Server::Run() {
  int fd = -1;
  while (!stop_ && fd < 0) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 20) > 0) fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  if (script_.flood_at_once) flooding_ = true;
  std::string flood;
  while (flood.size() < 16384 && !script_.flood.empty()) flood += script_.flood;
  auto floodEnd = std::chrono::steady_clock::time_point::max();
  while (!stop_ && fd >= 0) {
    if (drop_) break;
    std::string out;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      out.swap(outgoing_);
    }
    SendAll(fd, out);
    bool floodNow = flooding_ && !flood.empty() && !flood_over_;
    if (floodNow && floodEnd == std::chrono::steady_clock::time_point::max()) {
      floodEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(script_.flood_ms);
    }
    if (floodNow && (stop_flood_ || std::chrono::steady_clock::now() >= floodEnd)) {
      flood_over_ = true;
      floodNow = false;
    }
    if (floodNow) send(fd, flood.data(), flood.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    const bool reading = !floodNow || script_.read_during_flood;
    pollfd p{fd, static_cast<short>((reading ? POLLIN : 0) | (floodNow ? POLLOUT : 0)), 0};
    if (poll(&p, 1, 5) <= 0) continue;
    if (p.revents & (POLLHUP | POLLERR)) break;
    if (!(p.revents & POLLIN)) continue;
    char buffer[1024];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    // While flooding at once the server answers nothing: it only talks.
    if (!(floodNow && script_.flood_at_once))
      Handle(fd, std::string(buffer, static_cast<size_t>(n)));
    if (script_.close_after_agree && state_ < 0) break;
  }
  if (fd >= 0) client_gone_ = !stop_ && !drop_;
  if (fd >= 0) close(fd);
}

void FakeRfc2217Server::Handle(int fd, const std::string& in) {
  for (char ch : in) {
    const int b = static_cast<uint8_t>(ch);
    switch (state_) {
      case 0:  // data
        if (b == IAC) {
          state_ = 1;
        } else {
          std::lock_guard<std::mutex> lock(mutex_);
          data_.push_back(ch);
        }
        break;
      case 1:  // after IAC
        state_ = 0;
        if (b == IAC) {
          std::lock_guard<std::mutex> lock(mutex_);
          data_.push_back(ch);
        } else if (b >= WILL && b <= DONT) {
          verb_ = b;
          state_ = 2;
        } else if (b == SB) {
          sb_.clear();
          state_ = 3;
        }
        break;
      case 2: {  // option of a request
        state_ = 0;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.emplace_back(verb_, b);
        }
        if (script_.agree_delay_ms) {
          std::this_thread::sleep_for(std::chrono::milliseconds(script_.agree_delay_ms));
          script_.agree_delay_ms = 0;
        }
        if (!script_.answer_options) break;
        if (verb_ == WILL) {
          const bool yes = b != kComPort || script_.offer_comport;
          SendAll(fd, Bytes({IAC, yes ? DO : DONT, b}));
          if (b == kComPort && yes && script_.close_after_agree) {
            // A subnegotiation begins and the server goes away.
            SendAll(fd, Bytes({IAC, SB, kComPort, 101, 0}));
            state_ = -1;
            return;
          }
        } else if (verb_ == DO) {
          SendAll(fd, Bytes({IAC, WILL, b}));
        }
        break;
      }
      case 3:  // subnegotiation
        if (b == IAC) {
          state_ = 4;
        } else {
          sb_.push_back(ch);
        }
        break;
      case 4:
        if (b == IAC) {
          sb_.push_back(ch);
          state_ = 3;
          break;
        }
        state_ = 0;
        if (b != SE || sb_.size() < 2 || static_cast<uint8_t>(sb_[0]) != kComPort) break;
        const int command = static_cast<uint8_t>(sb_[1]);
        std::string value = sb_.substr(2);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          commands_.emplace_back(command, value);
        }
        if (command == 1 && value.size() == 4) {
          uint32_t asked = 0;
          for (char c : value) asked = (asked << 8) | static_cast<uint8_t>(c);
          const uint32_t kept = script_.rate(asked);
          value = Bytes({static_cast<int>(kept >> 24 & 0xFF), static_cast<int>(kept >> 16 & 0xFF),
                         static_cast<int>(kept >> 8 & 0xFF), static_cast<int>(kept & 0xFF)});
        }
        if (command == 12) {
          if (!script_.confirm_purge) break;
          SendAll(fd, script_.before_purge_answer);
        }
        SendAll(fd, Sub(command + 100, value));
        break;
    }
  }
}

}  // namespace velimo::test
