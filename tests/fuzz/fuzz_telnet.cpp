// Fuzz target: a network port's Telnet layer. Arbitrary server bytes
// (option requests, port-control reports, truncated and overlong
// subnegotiations, 0xFF in data) reach a port on one end of a socket pair,
// cut into pieces where the input says, and are taken as the receive path
// takes them: queued count, read, line errors, modem lines. At the end the
// server hangs up.
//
// Checks: the data read is exactly what a plain decoder of the whole input
// finds (IAC IAC as 0xFF, commands and subnegotiations removed, the NUL
// after a carriage return dropped while the server is not in binary), or
// a beginning of it where the port ended the connection (an option turned
// on and off without end); the port never answers more than once per
// request (no negotiation loop) and sends nothing but well-formed Telnet
// commands; once the server is gone, the purge before the next line says
// so instead of waiting.
//
// Flood: the server's bytes after the first are sent over and over by a
// thread for as long as the port is driven, before the agreement or after
// it. Then, beyond the checks above: the open ends (the time limit is
// looked at while the bytes keep coming), no read pass takes more than
// its cap, the memory the port holds stays under a bound at every step,
// and the answers to the whole flood are bounded by the options it names,
// not by its length. A run that never ended would be the fuzzer's time-out.
//
// Input: one byte seeding the piece sizes, whose top bit asks for a flood
// (then 0x40: from the connection on, before any agreement; 0x20: a purge
// halfway), then the server's bytes.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "fuzz/reference.h"
#include "fuzz/slow_inputs.h"
#include "serial/com_error.h"
#include "serial/net/network_port.h"

namespace {

using std::string;
using std::string_view;
namespace net = velimo::serial::net;

constexpr uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_telnet: %s\n", what);
  std::abort();
}

// The data a server's bytes carry, read as a whole.
FUZZ_REFERENCE string ReferenceData(string_view in, size_t* requests) {
  enum { kData, kCr, kIac, kVerb, kSb, kSbIac } state = kData;
  bool binary = false;  // the server sends binary
  uint8_t verb = 0;
  string out;
  for (size_t i = 0; i < in.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>(in[i]);
    if (state == kCr) {
      state = kData;
      if (b == 0) continue;
    }
    switch (state) {
      case kData:
        if (b == IAC) {
          state = kIac;
        } else {
          out.push_back(static_cast<char>(b));
          if (b == '\r' && !binary) state = kCr;
        }
        break;
      case kIac:
        state = kData;
        if (b == IAC) {
          out.push_back(static_cast<char>(b));
        } else if (b >= WILL && b <= 254) {
          verb = b;
          state = kVerb;
        } else if (b == SB) {
          state = kSb;
        }
        break;
      case kVerb:
        ++*requests;
        if (b == 0 && verb == WILL) binary = true;
        if (b == 0 && verb == WONT) binary = false;
        state = kData;
        break;
      case kSb:
        if (b == IAC) state = kSbIac;
        break;
      case kSbIac:
        if (b == IAC) {
          state = kSb;
        } else if (b == SE) {
          state = kData;
        } else {
          state = kIac;
          --i;
        }
        break;
      case kCr:
        break;
    }
  }
  return out;
}

// Whether the client's bytes are Telnet commands only, counting the
// option answers among them.
FUZZ_REFERENCE bool CommandsOnly(string_view out, size_t* answers) {
  size_t i = 0;
  while (i < out.size()) {
    if (static_cast<uint8_t>(out[i]) != IAC || i + 1 >= out.size()) return false;
    const uint8_t verb = static_cast<uint8_t>(out[i + 1]);
    if (verb >= WILL && verb <= 254) {
      if (i + 2 >= out.size()) return false;
      ++*answers;
      i += 3;
    } else if (verb == SB) {
      const size_t end = out.find(string{static_cast<char>(IAC), static_cast<char>(SE)}, i + 2);
      if (end == string_view::npos) return false;
      i = end + 2;
    } else {
      return false;
    }
  }
  return true;
}

string Drain(int fd) {
  string out;
  char buffer[4096];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  velimo::fuzz::InitSlowInputs(argc, argv);
  return 0;
}

namespace {

// Options a server's bytes can name in a request: every byte that follows
// a verb, the stream read as endless repetitions of `pattern` after
// `head` (a superset of those it does name).
FUZZ_REFERENCE std::set<uint8_t> NamedOptions(string_view head, string_view pattern) {
  std::set<uint8_t> options;
  const string all = string(head) + string(pattern) + string(pattern);
  for (size_t i = 0; i + 1 < all.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>(all[i]);
    if (b >= WILL && b <= 254) options.insert(static_cast<uint8_t>(all[i + 1]));
  }
  return options;
}

// Sends the pattern over and over until stopped; counts what went out.
class Flooder {
 public:
  Flooder(int fd, string_view pattern) : fd_(fd) {
    while (chunk_.size() < 16384) chunk_ += pattern;
    thread_ = std::thread([this] { Run(); });
  }
  ~Flooder() { Stop(); }
  // Waits (without using this thread's processor time) until the port's
  // end of the pair holds n bytes, or a moment has passed.
  static void AwaitQueued(int fd, int n) {
    int queued = 0;
    for (int i = 0; i < 100 && ioctl(fd, FIONREAD, &queued) == 0 && queued < n; ++i)
      std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  // Stops and returns the bytes sent, in order.
  size_t Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return sent_;
  }

 private:
  void Run() {
    size_t at = 0;  // where in the chunk the stream goes on
    while (!stop_) {
      const ssize_t n =
          send(fd_, chunk_.data() + at, chunk_.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent_ += static_cast<size_t>(n);
        at = (at + static_cast<size_t>(n)) % chunk_.size();
        continue;
      }
      // A short wait, so that stopping is quick.
      pollfd p{fd_, POLLOUT, 0};
      const timespec wait{0, 100 * 1000};
      ppoll(&p, 1, &wait, nullptr);
    }
  }
  int fd_;
  string chunk_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

// The bound of what the port holds: the data and the held-back data at
// their cap (strings may keep twice their size), the unsent bytes at
// theirs, the answers kept.
constexpr size_t kPass = 1024;
constexpr size_t kHeldBound = 4 * kPass + 2 * 64 * 1024 + 8 * 1024;

int RunOne(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint32_t seed = data[0] * 2654435761u + 1;
  const string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool flood = (data[0] & 0x80) && !input.empty();
  const bool floodAtOnce = flood && (data[0] & 0x40);
  const bool purgeHalfway = flood && (data[0] & 0x20);
  // The server agrees to port control first, so the port opens without
  // waiting; everything after is the input's.
  const string agree = {static_cast<char>(IAC), static_cast<char>(253), 44};
  const string head = floodAtOnce ? string() : agree;
  const string server = head + string(input);

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  if (flood) {
    // A small queue between the two ends: the flood is kept up all the
    // same, and the reference has less of it to decode.
    const int queue = 16384;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &queue, sizeof queue);
  }
  net::PortAddress address{net::NetKind::kRfc2217, "fuzz", 1};
  net::NetLimits limits;
  limits.answer_ms = flood ? 2 : 50;
  if (flood) {
    limits.pass_bytes = kPass;
    limits.purge_confirm_ms = 2;
  }
  net::NetworkPort port(address, limits, pair[0]);

  size_t at = 0;
  auto nextPiece = [&] {
    seed = seed * 1103515245u + 12345u;
    const size_t n = 1 + (seed >> 16) % 64;
    const string_view piece = string_view(server).substr(at, n);
    at += piece.size();
    if (piece.empty() || send(pair[1], piece.data(), piece.size(), MSG_NOSIGNAL) >= 0) return;
    // The port may end the connection itself (a server that flips its
    // options without end): the rest of the server's bytes have nowhere
    // to go, and what it read is checked as far as it got.
    if (!port.Ended().empty()) {
      at = server.size();
      return;
    }
    Fail("send");
  };
  if (!head.empty() && send(pair[1], head.data(), head.size(), MSG_NOSIGNAL) < 0) Fail("send");
  at = head.size();
  std::unique_ptr<Flooder> flooder;
  if (floodAtOnce) {
    flooder = std::make_unique<Flooder>(pair[1], input);
    Flooder::AwaitQueued(pair[0], 4 * kPass);
  }
  try {
    port.Open();
  } catch (const velimo::serial::EComPort&) {
    // The first piece refused port control or hung up, or the flood kept
    // the agreement from coming in time: a refused open.
    flooder.reset();
    close(pair[1]);
    if (port.LargestPass() > limits.pass_bytes) Fail("a read pass took more than its cap");
    return 0;
  }
  if (flood && !flooder) flooder = std::make_unique<Flooder>(pair[1], input);

  string read;
  char buffer[256];
  auto take = [&] {
    if (port.QueuedInput() > 0) {
      const int n = port.Read(buffer, sizeof buffer);
      read.append(buffer, static_cast<size_t>(n));
    }
    port.LineErrors(true);
    port.Signals();
  };
  size_t sent = 0;
  string stream;  // the server's bytes as they went out
  if (flood) {
    for (int round = 0; round < 8; ++round) {
      Flooder::AwaitQueued(pair[0], 2 * kPass);
      if (purgeHalfway && round == 4) {
        try {
          port.Purge(true, true);
        } catch (const velimo::serial::EComPort&) {
        }
      }
      take();
      if (port.HeldBytes() > kHeldBound) Fail("the port holds more than its bound");
    }
    sent = flooder->Stop();
    if (port.LargestPass() > kPass) Fail("a read pass took more than its cap");
    velimo::fuzz::Unmetered unmetered;
    stream = head;
    while (stream.size() < head.size() + sent) stream += input;
    stream.resize(head.size() + sent);
  } else {
    while (at < server.size()) {
      nextPiece();
      take();
    }
    take();
    while (port.QueuedInput() > 0) take();
    stream = server;
  }
  string out = Drain(pair[1]);
  close(pair[1]);
  bool gone = false;
  try {
    take();
    port.Purge(true, true);
  } catch (const velimo::serial::EComPort&) {
    gone = true;
  }

  velimo::fuzz::Unmetered unmetered;
  size_t requests = 0;
  const string reference = ReferenceData(stream, &requests);
  // A flood is cut where the port stopped reading; an ended connection
  // where the port ended it.
  if (flood || !port.Ended().empty()) {
    if (!purgeHalfway && reference.compare(0, read.size(), read) != 0)
      Fail("data differs from the plain decoder");
  } else if (read != reference) {
    Fail("data differs from the plain decoder");
  }
  size_t answers = 0;
  if (!CommandsOnly(out, &answers)) Fail("the port sent something other than commands");
  // The greeting's five requests, plus at most one answer per request.
  if (answers > 5 + requests) Fail("more answers than requests");
  // However long the flood: per option named, a refusal or an answer per
  // flip up to the limit, on each side.
  if (flood &&
      answers > 5 + 2 * (net::TelnetCodec::kMaxFlips + 1) * NamedOptions(agree, input).size())
    Fail("answers grow with the flood");
  if (!flood && !gone) Fail("a hung-up server was not noticed");
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velimo::fuzz::TimedRun(data, size, RunOne);
}
