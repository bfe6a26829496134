#include "serial/net/network_port.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <system_error>
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

// Bytes not yet sent (option replies, the rest of a write that timed out)
// beyond which a server that reads nothing is given up.
constexpr size_t kMaxUnsent = 64 * 1024;

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

NetworkPort::NetworkPort(PortAddress address, NetLimits limits)
    : address_(std::move(address)), limits_(limits) {}

NetworkPort::NetworkPort(PortAddress address, NetLimits limits, Socket connected)
    : address_(std::move(address)), limits_(limits), adopted_fd_(connected) {}

NetworkPort::~NetworkPort() {
  Close();
  if (adopted_fd_ != kNoSocket) CloseSocket(adopted_fd_);
}

// By value: the reason may be the port's own, which Close clears.
void NetworkPort::FailOpen(int err, std::string reason) {
  Close();
  throw EComPort(CError_OpenFailed, err, std::move(reason));
}

void NetworkPort::CheckCancelled() {
  if (cancel_ && cancel_->Cancelled()) {
    FailOpen(kNetCancelled, "The connection to " + Where() + " was cancelled.");
  }
}

void NetworkPort::Open(const CancelToken& cancel) {
  cancel_ = &cancel;
  try {
    Open();
  } catch (...) {
    cancel_ = nullptr;
    throw;
  }
  cancel_ = nullptr;
}

void NetworkPort::Open() {
  Close();
  Connect();
  try {
    arrivals_ = WatchArrivals(fd_);
  } catch (const std::system_error& e) {
    FailOpen(e.code().value(), "The connection to " + Where() + " cannot be watched.");
  }
}

void NetworkPort::Connect() {
  fd_ = adopted_fd_ != kNoSocket ? std::exchange(adopted_fd_, kNoSocket)
                                 : ConnectTcp(address_, limits_.connect_ms, cancel_);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.answer_ms);
  const std::string closed = Where() + " accepted the connection and closed it";
  if (!Telnet()) {
    // Nothing is negotiated on a raw port; a server that could not open
    // its device says so by hanging up at once.
    const Clock::time_point settle =
        Clock::now() + std::chrono::milliseconds(limits_.raw_settle_ms);
    while (!Gone() && Clock::now() < settle) {
      CheckCancelled();
      WaitAndPump(settle);
    }
    CheckCancelled();
    if (Gone()) FailOpen(GoneError(), closed + Quoted(held_) + ".");
    return;
  }
  try {
    if (!SendAll(codec_.Greeting(), deadline, CError_OpenFailed)) {
      FailOpen(kNetTimedOut, "The server at " + Where() + " takes nothing in.");
    }
    // Each pass ends after a bounded number of bytes, so the time limit is
    // looked at however fast the server sends.
    while (!codec_.ComPortAccepted()) {
      CheckCancelled();
      if (!ended_.empty()) FailOpen(GoneError(), ended_);
      if (codec_.ComPortRefused()) {
        FailOpen(kNetNoSupport, "The server at " + Where() +
                                    " does not offer port control (RFC 2217); a raw port is "
                                    "reached as tcp://HOST:PORT.");
      }
      if (Gone()) FailOpen(GoneError(), closed + Quoted(held_) + ".");
      if (Clock::now() >= deadline) {
        FailOpen(kNetTimedOut, "The server at " + Where() +
                                   " did not agree to port control within " +
                                   Seconds(limits_.answer_ms) + ".");
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
    CheckCancelled();
    FailOpen(e.ErrorCode(), closed + Quoted(held_) + ".");
  }
}

void NetworkPort::Close() {
  StopWatchingArrivals(fd_, arrivals_);
  arrivals_ = kNoWaitable;
  CloseSocket(fd_);
  fd_ = kNoSocket;
  ended_here_.store(false);
  codec_ = TelnetCodec();
  held_.clear();
  aside_.clear();
  replies_.clear();
  answers_.clear();
  peer_closed_ = false;
  socket_error_ = 0;
  ended_.clear();
  unconfirmed_purges_ = 0;
  server_confirms_purges_ = true;
  written_since_purge_ = false;
  notices_.clear();
}

int NetworkPort::GoneError() const {
  if (!ended_.empty()) return kNetProtocol;
  return socket_error_ ? socket_error_ : kNetReset;
}

void NetworkPort::FailGone(int code, std::string reason) const {
  throw EComPort(code, GoneError(), ended_.empty() ? std::move(reason) : ended_);
}

void NetworkPort::EndConnection(const std::string& reason) {
  if (!ended_.empty()) return;
  ended_ = reason;
  notices_.push_back(reason);
  // Both ways shut: the server is told, and the port's event thread wakes
  // to a hang-up as for a server that went away. What was received before
  // stays readable, as on any hung-up connection.
  if (fd_ != kNoSocket) {
    ShutdownSocket(fd_);
    ended_here_.store(true);
    WakeArrivalsWatcher(arrivals_);
  }
  aside_.clear();
  replies_.clear();
}

void NetworkPort::Announce() {
  if (notices_.empty()) return;
  std::vector<std::string> notices;
  notices.swap(notices_);
  if (!OnNotice) return;
  for (const std::string& text : notices) OnNotice(text);
}

size_t NetworkPort::HeldBytes() const {
  size_t n = held_.capacity() + aside_.capacity() + replies_.capacity();
  for (const auto& a : answers_) n += sizeof a + a.value.capacity();
  return n;
}

size_t NetworkPort::Room() const {
  const size_t held = held_.size() + aside_.size();
  return held < limits_.pass_bytes ? limits_.pass_bytes - held : 0;
}

void NetworkPort::FlushReplies() {
  while (!replies_.empty() && fd_ != kNoSocket && !socket_error_ && ended_.empty()) {
    const long n = SendSome(fd_, replies_.data(), replies_.size());
    const int err = n < 0 ? LastSocketError() : 0;
    if (n > 0) {
      replies_.erase(0, static_cast<size_t>(n));
    } else if (err == kNetInterrupted) {
      continue;
    } else {
      if (n < 0 && err != kNetWouldBlock) socket_error_ = err;
      break;
    }
  }
}

void NetworkPort::Pump() {
  if (fd_ == kNoSocket) return;
  FlushReplies();
  // Every byte taken counts, a command's as a data byte's: a pass that
  // counted only data would never end under a flood of commands.
  const size_t budget = Room();
  size_t taken = 0;
  char buffer[4096];
  while (taken < budget && !Gone()) {
    const size_t want = std::min(sizeof buffer, budget - taken);
    const long n = ReceiveSome(fd_, buffer, want);
    const int err = n < 0 ? LastSocketError() : 0;
    if (n > 0) {
      taken += static_cast<size_t>(n);
      std::string data;
      std::vector<TelnetCodec::Answer> answers;
      if (Telnet()) {
        codec_.Feed(std::string_view(buffer, static_cast<size_t>(n)), &data, &replies_);
        answers = codec_.TakeAnswers();
      } else {
        data.assign(buffer, static_cast<size_t>(n));
      }
      TakeData(data, answers);
      if (const int option = codec_.StoppedAtOption(); option >= 0) {
        EndConnection("The server at " + Where() + " turned the Telnet option " +
                      TelnetCodec::OptionName(option) + " on and off more than " +
                      std::to_string(TelnetCodec::kMaxFlips) + " times; the connection was ended.");
      }
    } else if (n == 0) {
      peer_closed_ = true;
    } else if (err == kNetInterrupted) {
      continue;
    } else {
      if (err != kNetWouldBlock) socket_error_ = err;
      break;
    }
  }
  largest_pass_ = std::max(largest_pass_, taken);
  FlushReplies();
  if (replies_.size() > kMaxUnsent) {
    EndConnection("The server at " + Where() + " takes nothing in; the connection was ended.");
  }
  if (budget > 0 && taken >= budget && !Gone()) {
    // The pass ended on its budget with bytes left in the socket. The
    // port's event thread is woken by arrivals, so what is left would wait
    // for the server's next bytes, and a line behind a flood that has
    // ended would never be read: the socket's watcher is made to wake for
    // another pass.
    RewakeReader(fd_, arrivals_);
  }
  if (unconfirmed_purges_ > 0 && Clock::now() >= purge_deadline_) StopWaitingForPurges();
}

void NetworkPort::TakeData(std::string& data, std::vector<TelnetCodec::Answer>& answers) {
  size_t from = 0;
  for (auto& a : answers) {
    if (a.command == kCpPurgeData && unconfirmed_purges_ > 0) {
      // What the server sent before it confirmed the purge was waiting in
      // its queue when the purge was asked for: it goes as a local port's
      // queue would.
      aside_.clear();
      from = std::max(from, std::min(a.data_offset, data.size()));
      if (--unconfirmed_purges_ > 0) {
        purge_deadline_ = Clock::now() + std::chrono::milliseconds(limits_.purge_confirm_ms);
      }
    }
    if (answers_.size() >= TelnetCodec::kMaxAnswers) answers_.pop_front();
    answers_.push_back(std::move(a));
  }
  const std::string_view rest = std::string_view(data).substr(from);
  if (unconfirmed_purges_ > 0 && Clock::now() < purge_deadline_) {
    aside_.append(rest);
    return;
  }
  if (unconfirmed_purges_ > 0) StopWaitingForPurges();
  held_.append(rest);
}

void NetworkPort::StopWaitingForPurges() {
  unconfirmed_purges_ = 0;
  server_confirms_purges_ = false;
  held_ += aside_;
  aside_.clear();
  aside_.shrink_to_fit();
  notices_.push_back("The server at " + Where() + " did not confirm a purge within " +
                     Seconds(limits_.purge_confirm_ms) +
                     "; from now on a purge drops only what has arrived before it.");
}

void NetworkPort::WaitAndPump(Clock::time_point deadline) {
  // With no room left nothing can be taken before the reader takes some:
  // only a hang-up is waited for, so a full buffer is not a busy loop. A
  // cancellable open's token ends the wait too.
  const SocketWaitResult wait =
      WaitForSocket(fd_, Room() > 0 ? SocketWant::kRead : SocketWant::kHangUpOnly, MsLeft(deadline),
                    cancel_ ? cancel_->Fd() : kNoWaitable);
  if (wait.hung_up && Room() == 0) peer_closed_ = true;
  Pump();
}

bool NetworkPort::SendAll(const std::string& bytes, Clock::time_point deadline, int code) {
  if (fd_ == kNoSocket) throw EComPort(code, kNetNotOpen);
  if (!ended_.empty()) FailGone(code);
  // Option replies still waiting go first, so the stream stays in order.
  std::string out = std::move(replies_);
  replies_.clear();
  out += bytes;
  size_t sent = 0;
  while (sent < out.size()) {
    const long n = SendSome(fd_, out.data() + sent, out.size() - sent);
    const int err = n < 0 ? LastSocketError() : 0;
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (err == kNetInterrupted) continue;
    if (n < 0 && err != kNetWouldBlock) {
      socket_error_ = err;
      throw EComPort(code, err);
    }
    const int left = MsLeft(deadline);
    if (left == 0) {
      // The rest goes out when the server takes data again: cutting it
      // would break a Telnet sequence in the middle. A server that takes
      // nothing for that long is not kept waiting on without bound.
      replies_ = out.substr(sent);
      if (replies_.size() > kMaxUnsent) {
        EndConnection("The server at " + Where() + " takes nothing in; the connection was ended.");
      }
      return false;
    }
    if (WaitForSocket(fd_, SocketWant::kWrite, left, cancel_ ? cancel_->Fd() : kNoWaitable)
            .cancelled) {
      throw EComPort(code, kNetCancelled);
    }
  }
  return true;
}

void NetworkPort::ApplyLineSettings(const TransportSettings& settings) {
  if (!Telnet()) return;  // a raw port has no line of its own to set
  Pump();
  Announce();
  if (Gone()) {
    FailGone(CError_SetStateFailed,
             Where() + " closed the connection before the port settings were sent" + Quoted(held_) +
                 ".");
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

  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.answer_ms);
  if (!SendAll(out, deadline, CError_SetStateFailed)) {
    throw EComPort(CError_SetStateFailed, kNetTimedOut,
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
      Announce();
      FailGone(CError_SetStateFailed,
               Where() + " closed the connection while the port settings were sent.");
    }
    if (Clock::now() >= deadline) {
      throw EComPort(CError_SetStateFailed, kNetTimedOut,
                     "The server at " + Where() + " did not confirm the port settings within " +
                         Seconds(limits_.answer_ms) + ".");
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
    throw EComPort(CError_SetStateFailed, kNetInvalid,
                   server + std::to_string(baud) + " baud (it answered " + kept + ").");
  }
  if (int v = byteOf(find(kCpSetDataSize)); v != dataSize) {
    throw EComPort(
        CError_SetStateFailed, kNetInvalid,
        server + std::to_string(dataSize) + " data bits (it answered " + std::to_string(v) + ").");
  }
  if (int v = byteOf(find(kCpSetParity)); v != parity) {
    throw EComPort(CError_SetStateFailed, kNetInvalid,
                   server + ParityName(line.parity) + " parity (it answered " + ParityName(v - 1) +
                       " parity).");
  }
  if (int v = byteOf(find(kCpSetStopSize)); v != stopSize) {
    throw EComPort(
        CError_SetStateFailed, kNetInvalid,
        server + std::to_string(stopSize) + " stop bits (it answered " + std::to_string(v) + ").");
  }
  if (int v = byteOf(find(kCpSetControl)); v != flow) {
    throw EComPort(CError_SetStateFailed, kNetInvalid,
                   server + FlowName(flow) + " (it answered " + FlowName(v) + ").");
  }
}

void NetworkPort::Purge(bool input, bool output) {
  Pump();
  Announce();
  if (Gone()) FailGone(CError_PurgeFailed);
  if (input) {
    held_.clear();
    aside_.clear();
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
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.answer_ms);
  if (!SendAll(TelnetCodec::Command(kCpPurgeData, std::string(1, static_cast<char>(what))),
               deadline, CError_PurgeFailed)) {
    Announce();
    if (Gone()) FailGone(CError_PurgeFailed);
    throw EComPort(CError_PurgeFailed, kNetTimedOut);
  }
  // What arrives from now on is held back until the server confirms, so
  // what its queue held at the purge is dropped when the confirmation
  // shows where it ended. A server that once let a purge pass
  // unconfirmed is not waited for again: what arrives is delivered.
  if (input && server_confirms_purges_) {
    written_since_purge_ = false;
    if (unconfirmed_purges_++ == 0) {
      purge_deadline_ = Clock::now() + std::chrono::milliseconds(limits_.purge_confirm_ms);
    }
  }
}

Waitable NetworkPort::Fd() const {
  return arrivals_;
}

// On the event thread, beside the port's own: only the socket's recorded
// events are looked at.
bool NetworkPort::TakeHangUp() {
  if (fd_ == kNoSocket || arrivals_ == kNoWaitable) return false;
  const bool closed = net::TakeHangUp(fd_, arrivals_);
  return closed || ended_here_.load();
}

int NetworkPort::Write(const void* data, int count, int64_t limitMs) {
  if (fd_ == kNoSocket) throw EComPort(CError_WriteFailed, kNetNotOpen);
  if (Gone()) FailGone(CError_WriteFailed);
  const Clock::time_point deadline =
      limitMs > 0 ? DeadlineAfterMs(limitMs) : Clock::time_point::max();
  // The server asked us to hold back (its device's flow control holds the
  // line): wait as a local write waits for the line, up to the same limit.
  while (Telnet() && codec_.Suspended()) {
    if (Gone()) {
      Announce();
      FailGone(CError_WriteFailed);
    }
    if (MsLeft(deadline) == 0) throw EComPort(CError_WriteFailed, kNetTimedOut);
    WaitAndPump(deadline);
  }
  Announce();
  const std::string_view bytes(static_cast<const char*>(data), static_cast<size_t>(count));
  std::string out;
  if (Telnet()) {
    codec_.EncodeData(bytes, &out);
  } else {
    out.assign(bytes);
  }
  if (!SendAll(out, deadline, CError_WriteFailed)) {
    Announce();
    if (Gone()) FailGone(CError_WriteFailed);
    throw EComPort(CError_WriteFailed, kNetTimedOut);
  }
  written_since_purge_ = true;
  return count;
}

int NetworkPort::Read(void* buffer, int count) {
  Pump();
  const size_t n = std::min(held_.size(), static_cast<size_t>(std::max(count, 0)));
  if (n > 0) std::memcpy(buffer, held_.data(), n);
  held_.erase(0, n);
  Announce();
  return static_cast<int>(n);
}

// Data held back after a purge and a line written after it is waited for,
// until the server confirms the purge or the time for it passes: nothing
// else would wake the port when the time passes, and the answer to the
// line may be among what is held back. The first look of an arrival's
// batch waits (line errors, then the count), so the reports that come with
// the data are seen in the same batch. After a purge that no line follows
// (one before a close) nothing is awaited: what arrives stays held back
// until a later look finds the time passed.
void NetworkPort::AwaitPurgeConfirmation() {
  while (unconfirmed_purges_ > 0 && written_since_purge_ && !aside_.empty() && !Gone()) {
    WaitAndPump(purge_deadline_);
  }
}

// A hung-up connection is not an error here, as a tty whose far side
// went away still counts what it holds: the read that follows a count must
// not lose the last bytes the server sent. The next purge or write says so.
int NetworkPort::QueuedInput() {
  Pump();
  AwaitPurgeConfirmation();
  Announce();
  return static_cast<int>(std::min<size_t>(held_.size(), INT_MAX));
}

TComErrors NetworkPort::LineErrors(bool checkParity) {
  Pump();
  AwaitPurgeConfirmation();
  Announce();
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
  Announce();
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
  void Open() override { throw EComPort(CError_OpenFailed, kNetInvalid, error_ + "."); }
  void Close() override {}
  Waitable Fd() const override { return kNoWaitable; }
  void ApplyLineSettings(const TransportSettings&) override {}
  void Purge(bool, bool) override {}
  int Write(const void*, int, int64_t) override { throw EComPort(CError_WriteFailed, kNetNotOpen); }
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

std::unique_ptr<PortTransport> OpenNetworkTransport(const std::string& port,
                                                    const CancelToken& cancel, NetLimits limits) {
  ParsedAddress parsed = ParsePortAddress(port);
  // Told as the port's open would tell it.
  if (!parsed.address) throw EComPort(CError_OpenFailed, kNetInvalid, parsed.error + ".");
  auto net = std::make_unique<NetworkPort>(*parsed.address, limits);
  net->Open(cancel);
  return net;
}

}  // namespace velimo::serial::net
