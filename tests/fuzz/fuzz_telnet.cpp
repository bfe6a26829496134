// Fuzz target: a network port's Telnet layer. Arbitrary server bytes
// (option requests, port-control reports, truncated and overlong
// subnegotiations, 0xFF in data) reach a port on one end of a socket pair,
// cut into pieces where the input says, and are taken as the receive path
// takes them: queued count, read, line errors, modem lines. At the end the
// server hangs up.
//
// Checks: the data read is exactly what a plain decoder of the whole input
// finds (IAC IAC as 0xFF, commands and subnegotiations removed, the NUL
// after a carriage return dropped while the server is not in binary); the
// port never answers more than once per request (no negotiation loop) and
// sends nothing but well-formed Telnet commands; once the server is gone,
// the purge before the next line says so instead of waiting.
//
// Input: one byte seeding the piece sizes, then the server's bytes.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

int RunOne(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint32_t seed = data[0] * 2654435761u + 1;
  // The server agrees to port control first, so the port opens without
  // waiting; everything after is the input's.
  const string agree = {static_cast<char>(IAC), static_cast<char>(253), 44};
  const string server = agree + string(reinterpret_cast<const char*>(data) + 1, size - 1);

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  net::PortAddress address{net::NetKind::kRfc2217, "fuzz", 1};
  net::NetLimits timing;
  timing.answer_ms = 50;
  net::NetworkPort port(address, timing, pair[0]);

  size_t at = 0;
  auto nextPiece = [&] {
    seed = seed * 1103515245u + 12345u;
    const size_t n = 1 + (seed >> 16) % 64;
    const string_view piece = string_view(server).substr(at, n);
    at += piece.size();
    if (!piece.empty() && send(pair[1], piece.data(), piece.size(), MSG_NOSIGNAL) < 0) Fail("send");
  };
  if (send(pair[1], agree.data(), agree.size(), MSG_NOSIGNAL) < 0) Fail("send");
  at = agree.size();
  try {
    port.Open();
  } catch (const velimo::serial::EComPort&) {
    // The first piece refused port control or hung up: a refused open.
    close(pair[1]);
    return 0;
  }
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
  while (at < server.size()) {
    nextPiece();
    take();
  }
  take();
  while (port.QueuedInput() > 0) take();
  string sent = Drain(pair[1]);
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
  if (read != ReferenceData(server, &requests)) Fail("data differs from the plain decoder");
  size_t answers = 0;
  if (!CommandsOnly(sent, &answers)) Fail("the port sent something other than commands");
  // The greeting's five requests, plus at most one answer per request.
  if (answers > 5 + requests) Fail("more answers than requests");
  if (!gone) Fail("a hung-up server was not noticed");
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velimo::fuzz::TimedRun(data, size, RunOne);
}
