#include "serial/net/network_port.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "serial/com_error.h"
#include "serial/deadline.h"
#include "serial/net/tcp_connect.h"

namespace velimo::serial::net {

namespace {

int MsLeft(std::chrono::steady_clock::time_point deadline) {
  if (deadline == std::chrono::steady_clock::time_point::max()) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)) : 0;
}

std::string Seconds(int ms) {
  return std::to_string((ms + 999) / 1000) + " s";
}

// What a server said before it hung up, fit to be quoted to an operator:
// printable characters only, on one line, not too long.
std::string Quoted(const std::string& said) {
  std::string text;
  for (char c : said) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c < ' ' || c > '~') continue;
    if (c == ' ' && (text.empty() || text.back() == ' ')) continue;
    text.push_back(c);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.size() > 80) text = text.substr(0, 77) + "...";
  return text.empty() ? "" : " (it said: \"" + text + "\")";
}

const char* ParityName(int parity) {
  static const char* const kNames[] = {"no", "odd", "even", "mark", "space"};
  return parity >= 0 && parity <= 4 ? kNames[parity] : "unknown";
}

const char* FlowName(int flow) {
  switch (flow) {
    case 1:
      return "no flow control";
    case 2:
      return "XON/XOFF flow control";
    case 3:
      return "RTS/CTS flow control";
    default:
      return "an unknown flow control";
  }
}

}  // namespace

NetworkPort::NetworkPort(PortAddress address, NetTiming timing)
    : address_(std::move(address)), timing_(timing) {}

NetworkPort::NetworkPort(PortAddress address, NetTiming timing, int connectedFd)
    : address_(std::move(address)), timing_(timing), adopted_fd_(connectedFd) {}

NetworkPort::~NetworkPort() {
  Close();
  if (adopted_fd_ >= 0) close(adopted_fd_);
}

void NetworkPort::FailOpen(int err, const std::string& reason) {
  Close();
  throw EComPort(CError_OpenFailed, err, reason);
}

void NetworkPort::Open() {
  Close();
  fd_ =
      adopted_fd_ >= 0 ? std::exchange(adopted_fd_, -1) : ConnectTcp(address_, timing_.connect_ms);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timing_.answer_ms);
  const std::string closed = Where() + " accepted the connection and closed it";
  if (!Telnet()) {
    // Nothing is negotiated on a raw port; a server that could not open
    // its device says so by hanging up at once.
    const Clock::time_point settle =
        Clock::now() + std::chrono::milliseconds(timing_.raw_settle_ms);
    while (!Gone() && Clock::now() < settle) WaitAndPump(settle);
    if (Gone()) FailOpen(GoneError(), closed + Quoted(held_) + ".");
    return;
  }
  try {
    if (!SendAll(codec_.Greeting(), deadline, CError_OpenFailed)) {
      FailOpen(ETIMEDOUT, "The server at " + Where() + " takes nothing in.");
    }
    while (!codec_.ComPortAccepted()) {
      if (codec_.ComPortRefused()) {
        FailOpen(EPROTONOSUPPORT, "The server at " + Where() +
                                      " does not offer port control (RFC 2217); a raw port is "
                                      "reached as tcp://HOST:PORT.");
      }
      if (Gone()) FailOpen(GoneError(), closed + Quoted(held_) + ".");
      if (Clock::now() >= deadline) {
        FailOpen(ETIMEDOUT, "The server at " + Where() + " did not agree to port control within " +
                                Seconds(timing_.answer_ms) + ".");
      }
      WaitAndPump(deadline);
    }
    // Line errors are reported as they happen; the modem lines as the
    // server's default has it.
    const uint8_t mask = kLsBreak | kLsFraming | kLsParity | kLsOverrun;
    SendAll(TelnetCodec::Command(kCpSetLineStateMask, std::string(1, static_cast<char>(mask))),
            deadline, CError_OpenFailed);
  } catch (const EComPort& e) {
    if (!e.Reason().empty()) throw;
    FailOpen(e.ErrorCode(), closed + Quoted(held_) + ".");
  }
}

void NetworkPort::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  codec_ = TelnetCodec();
  held_.clear();
  replies_.clear();
  answers_.clear();
  peer_closed_ = false;
  socket_error_ = 0;
  dropping_until_purged_ = false;
}

int NetworkPort::GoneError() const {
  return socket_error_ ? socket_error_ : ECONNRESET;
}

void NetworkPort::FlushReplies() {
  while (!replies_.empty() && fd_ >= 0 && !socket_error_) {
    ssize_t n = send(fd_, replies_.data(), replies_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      replies_.erase(0, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n < 0 && errno != EAGAIN) socket_error_ = errno;
      break;
    }
  }
}

void NetworkPort::Pump() {
  if (fd_ < 0) return;
  FlushReplies();
  char buffer[4096];
  while (held_.size() < kMaxHeld && !Gone()) {
    ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      std::string data;
      std::vector<TelnetCodec::Answer> answers;
      if (Telnet()) {
        codec_.Feed(std::string_view(buffer, static_cast<size_t>(n)), &data, &replies_);
        answers = codec_.TakeAnswers();
      } else {
        data.assign(buffer, static_cast<size_t>(n));
      }
      TakeData(data, answers);
    } else if (n == 0) {
      peer_closed_ = true;
    } else if (errno == EINTR) {
      continue;
    } else {
      if (errno != EAGAIN) socket_error_ = errno;
      break;
    }
  }
  FlushReplies();
}

void NetworkPort::TakeData(std::string& data, std::vector<TelnetCodec::Answer>& answers) {
  if (dropping_until_purged_) {
    // What the server sent before it confirmed the purge was waiting in
    // its queue when the purge was asked for: it goes as a local port's
    // queue would.
    auto confirm = std::find_if(answers.begin(), answers.end(),
                                [](const auto& a) { return a.command == kCpPurgeData; });
    if (confirm != answers.end()) {
      data.erase(0, std::min(confirm->data_offset, data.size()));
      dropping_until_purged_ = false;
    } else if (Clock::now() < purge_deadline_) {
      data.clear();
    } else {
      dropping_until_purged_ = false;
    }
  }
  held_ += data;
  for (auto& a : answers) {
    if (answers_.size() >= TelnetCodec::kMaxAnswers) answers_.erase(answers_.begin());
    answers_.push_back(std::move(a));
  }
}

void NetworkPort::WaitAndPump(Clock::time_point deadline) {
  pollfd p{fd_, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, MsLeft(deadline));
  } while (rc < 0 && errno == EINTR);
  Pump();
}

bool NetworkPort::SendAll(const std::string& bytes, Clock::time_point deadline, int code) {
  if (fd_ < 0) throw EComPort(code, EBADF);
  // Option replies still waiting go first, so the stream stays in order.
  std::string out = std::move(replies_);
  replies_.clear();
  out += bytes;
  size_t sent = 0;
  while (sent < out.size()) {
    ssize_t n = send(fd_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      socket_error_ = errno;
      throw EComPort(code, errno);
    }
    const int left = MsLeft(deadline);
    if (left == 0) {
      // The rest goes out when the server takes data again: cutting it
      // would break a Telnet sequence in the middle.
      replies_ = out.substr(sent);
      return false;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, left) < 0 && errno != EINTR) throw EComPort(code, errno);
  }
  return true;
}

void NetworkPort::ApplyLineSettings(const TransportSettings& settings) {
  if (!Telnet()) return;  // a raw port has no line of its own to set
  Pump();
  if (Gone()) {
    throw EComPort(CError_SetStateFailed, GoneError(),
                   Where() + " closed the connection before the port settings were sent" +
                       Quoted(held_) + ".");
  }
  answers_.clear();
  const tty::LineConfig& line = settings.line;
  const uint32_t baud = static_cast<uint32_t>(line.baud);
  const std::string baudValue = {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
                                 static_cast<char>(baud >> 8), static_cast<char>(baud)};
  auto one = [](int v) { return std::string(1, static_cast<char>(v)); };
  const int dataSize = line.data_bits;
  const int parity = line.parity + 1;
  const int stopSize = line.two_stop_bits ? 2 : 1;
  const int flow = line.rts_cts ? 3 : (line.xon_out || line.xon_in) ? 2 : 1;
  std::string out = TelnetCodec::Command(kCpSetBaudRate, baudValue);
  out += TelnetCodec::Command(kCpSetDataSize, one(dataSize));
  out += TelnetCodec::Command(kCpSetParity, one(parity));
  out += TelnetCodec::Command(kCpSetStopSize, one(stopSize));
  out += TelnetCodec::Command(kCpSetControl, one(flow));
  out += TelnetCodec::Command(kCpSetControl, one(settings.dtr ? 8 : 9));
  // Under RTS/CTS the server's driver holds RTS itself.
  if (!line.rts_cts) out += TelnetCodec::Command(kCpSetControl, one(settings.rts ? 11 : 12));

  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timing_.answer_ms);
  if (!SendAll(out, deadline, CError_SetStateFailed)) {
    throw EComPort(CError_SetStateFailed, ETIMEDOUT,
                   "The server at " + Where() + " takes no port settings in.");
  }
  // The server answers each setting with the value now in force, in the
  // order they were sent; the first control answer is the flow control's.
  auto find = [&](uint8_t command) -> const TelnetCodec::Answer* {
    for (const auto& a : answers_)
      if (a.command == command) return &a;
    return nullptr;
  };
  for (;;) {
    if (find(kCpSetBaudRate) && find(kCpSetDataSize) && find(kCpSetParity) &&
        find(kCpSetStopSize) && find(kCpSetControl)) {
      break;
    }
    if (Gone()) {
      throw EComPort(CError_SetStateFailed, GoneError(),
                     Where() + " closed the connection while the port settings were sent.");
    }
    if (Clock::now() >= deadline) {
      throw EComPort(CError_SetStateFailed, ETIMEDOUT,
                     "The server at " + Where() + " did not confirm the port settings within " +
                         Seconds(timing_.answer_ms) + ".");
    }
    WaitAndPump(deadline);
  }
  auto byteOf = [](const TelnetCodec::Answer* a) {
    return a->value.size() == 1 ? static_cast<uint8_t>(a->value[0]) : -1;
  };
  const std::string server = "The server at " + Where() + " refused ";
  const TelnetCodec::Answer* rate = find(kCpSetBaudRate);
  if (rate->value.size() != 4 || rate->value != baudValue) {
    std::string kept = "no rate";
    if (rate->value.size() == 4) {
      uint32_t v = 0;
      for (char c : rate->value) v = (v << 8) | static_cast<uint8_t>(c);
      kept = std::to_string(v) + " baud";
    }
    throw EComPort(CError_SetStateFailed, EINVAL,
                   server + std::to_string(baud) + " baud (it answered " + kept + ").");
  }
  if (int v = byteOf(find(kCpSetDataSize)); v != dataSize) {
    throw EComPort(
        CError_SetStateFailed, EINVAL,
        server + std::to_string(dataSize) + " data bits (it answered " + std::to_string(v) + ").");
  }
  if (int v = byteOf(find(kCpSetParity)); v != parity) {
    throw EComPort(CError_SetStateFailed, EINVAL,
                   server + ParityName(line.parity) + " parity (it answered " + ParityName(v - 1) +
                       " parity).");
  }
  if (int v = byteOf(find(kCpSetStopSize)); v != stopSize) {
    throw EComPort(
        CError_SetStateFailed, EINVAL,
        server + std::to_string(stopSize) + " stop bits (it answered " + std::to_string(v) + ").");
  }
  if (int v = byteOf(find(kCpSetControl)); v != flow) {
    throw EComPort(CError_SetStateFailed, EINVAL,
                   server + FlowName(flow) + " (it answered " + FlowName(v) + ").");
  }
}

void NetworkPort::Purge(bool input, bool output) {
  Pump();
  if (Gone()) throw EComPort(CError_PurgeFailed, GoneError());
  if (input) {
    held_.clear();
    // A raw port drops what has reached this side; more may be under way.
    // A few rounds at most: a server streaming without end must not hold
    // the purge for ever.
    for (int round = 0; !Telnet() && round < 4; ++round) {
      Pump();
      if (held_.empty()) break;
      held_.clear();
    }
  }
  if (!Telnet() || (!input && !output)) return;
  const int what = input && output ? 3 : input ? 1 : 2;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timing_.answer_ms);
  if (!SendAll(TelnetCodec::Command(kCpPurgeData, std::string(1, static_cast<char>(what))),
               deadline, CError_PurgeFailed)) {
    throw EComPort(CError_PurgeFailed, ETIMEDOUT);
  }
  if (input) {
    dropping_until_purged_ = true;
    purge_deadline_ = Clock::now() + std::chrono::milliseconds(timing_.purge_confirm_ms);
  }
}

int NetworkPort::Write(const void* data, int count, int64_t limitMs) {
  if (fd_ < 0) throw EComPort(CError_WriteFailed, EBADF);
  if (Gone()) throw EComPort(CError_WriteFailed, GoneError());
  const Clock::time_point deadline =
      limitMs > 0 ? DeadlineAfterMs(limitMs) : Clock::time_point::max();
  // The server asked us to hold back (its device's flow control holds the
  // line): wait as a local write waits for the line, up to the same limit.
  while (Telnet() && codec_.Suspended()) {
    if (Gone()) throw EComPort(CError_WriteFailed, GoneError());
    if (MsLeft(deadline) == 0) throw EComPort(CError_WriteFailed, ETIMEDOUT);
    WaitAndPump(deadline);
  }
  const std::string_view bytes(static_cast<const char*>(data), static_cast<size_t>(count));
  std::string out;
  if (Telnet()) {
    codec_.EncodeData(bytes, &out);
  } else {
    out.assign(bytes);
  }
  if (!SendAll(out, deadline, CError_WriteFailed)) {
    throw EComPort(CError_WriteFailed, ETIMEDOUT);
  }
  return count;
}

int NetworkPort::Read(void* buffer, int count) {
  Pump();
  const size_t n = std::min(held_.size(), static_cast<size_t>(std::max(count, 0)));
  if (n > 0) std::memcpy(buffer, held_.data(), n);
  held_.erase(0, n);
  return static_cast<int>(n);
}

// A hung-up connection is not an error here, as a tty whose far side
// went away still counts what it holds: the read that follows a count must
// not lose the last bytes the server sent. The next purge or write says so.
int NetworkPort::QueuedInput() {
  Pump();
  return static_cast<int>(std::min<size_t>(held_.size(), INT_MAX));
}

TComErrors NetworkPort::LineErrors(bool checkParity) {
  Pump();
  const uint8_t state = codec_.TakeLineState();
  TComErrors errors;
  if (state & kLsFraming) errors.Include(ceFrame);
  // Received parity is only a fault when it is being checked.
  if (checkParity && (state & kLsParity)) errors.Include(ceRxParity);
  if (state & kLsOverrun) errors.Include(ceOverrun);
  if (state & kLsBreak) errors.Include(ceBreak);
  return errors;
}

TComSignals NetworkPort::Signals() {
  Pump();
  const uint8_t state = codec_.ModemState();
  TComSignals s;
  s.cts = state & kMsCts;
  s.dsr = state & kMsDsr;
  s.ring = state & kMsRing;
  s.rlsd = state & kMsCarrier;
  return s;
}

// ---- the factory ----

namespace {

// A network name that is not a usable address: its open fails with the
// reason, as a device name that does not exist would.
class MalformedAddress : public PortTransport {
 public:
  explicit MalformedAddress(std::string error) : error_(std::move(error)) {}
  void Open() override { throw EComPort(CError_OpenFailed, EINVAL, error_ + "."); }
  void Close() override {}
  int Fd() const override { return -1; }
  void ApplyLineSettings(const TransportSettings&) override {}
  void Purge(bool, bool) override {}
  int Write(const void*, int, int64_t) override { throw EComPort(CError_WriteFailed, EBADF); }
  int Read(void*, int) override { return 0; }
  bool WaitForInput(int64_t) override { return false; }
  void DiscardQueues() override {}
  int QueuedInput() override { return 0; }
  TComErrors LineErrors(bool) override { return {}; }
  TComSignals Signals() override { return {}; }

 private:
  std::string error_;
};

}  // namespace

std::unique_ptr<PortTransport> NetworkTransportFor(const std::string& port) {
  if (!IsNetworkPortName(port)) return nullptr;
  ParsedAddress parsed = ParsePortAddress(port);
  if (!parsed.address) return std::make_unique<MalformedAddress>(parsed.error);
  return std::make_unique<NetworkPort>(*parsed.address);
}

}  // namespace velimo::serial::net
