// The Telnet layer of network ports, and the port names that choose it:
// what a server's bytes decode to however they are cut, which option
// requests are answered and how, what the port-control reports carry, and
// what the client puts on the wire.
#include "serial/net/telnet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/net/port_address.h"

namespace velimo::serial::net {
namespace {

using namespace telnet;

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

struct Decoded {
  std::string data, reply;
  std::vector<TelnetCodec::Answer> answers;
  uint8_t line_state = 0;
};

// Feeds the server's bytes in pieces of `piece` bytes (0: all at once).
Decoded Decode(const std::string& in, size_t piece, bool greet = true) {
  TelnetCodec codec;
  Decoded d;
  if (greet) codec.Greeting();
  for (size_t i = 0; i < in.size(); i += piece ? piece : in.size()) {
    codec.Feed(std::string_view(in).substr(i, piece ? piece : in.size()), &d.data, &d.reply);
  }
  d.answers = codec.TakeAnswers();
  d.line_state = codec.TakeLineState();
  return d;
}

TEST(TelnetCodec, ServerBytesDecodeAlikeHoweverTheyAreCut) {
  const std::string agree = B({kIAC, kDO, kBinary, kIAC, kWILL, kBinary, kIAC, kDO, kComPort});
  struct Case {
    const char* name;
    std::string in;
    std::string data;
    std::string reply;
    std::vector<std::pair<int, std::string>> answers;
    uint8_t line_state;
  };
  const std::vector<Case> cases = {
      {"0xFF in data survives",
       agree + "A" + B({kIAC, kIAC}) + "B\r\n",
       "A\xFF"
       "B\r\n",
       "",
       {},
       0},
      {"answer with 0xFF in its value, data around it",
       agree + "x" + B({kIAC, kSB, kComPort, 101, 0, 0, kIAC, kIAC, 0, kIAC, kSE}) + "y",
       "xy",
       "",
       {{1, B({0, 0, 0xFF, 0})}},
       0},
      {"line-state report goes to the line errors, not the answers",
       agree + B({kIAC, kSB, kComPort, 106, 0x0A | 0x40, kIAC, kSE}),
       "",
       "",
       {},
       0x0A},
      {"unknown options are refused once each",
       agree + B({kIAC, kDO, 24, kIAC, kWILL, 1}),
       "",
       B({kIAC, kWONT, 24, kIAC, kDONT, 1}),
       {},
       0},
      {"agreement to what was asked is not answered again",
       agree + B({kIAC, kDO, kBinary, kIAC, kWILL, kBinary, kIAC, kDO, kSuppressGoAhead}),
       "",
       "",
       {},
       0},
      {"a command inside a subnegotiation ends it unfinished",
       agree + B({kIAC, kSB, kComPort, 101, 1, kIAC, kDO, 24}) + "z",
       "z",
       B({kIAC, kWONT, 24}),
       {},
       0},
      {"an overlong subnegotiation is dropped whole",
       agree + B({kIAC, kSB, kComPort, 101}) + std::string(200, 'q') + B({kIAC, kSE}) + "k",
       "k",
       "",
       {},
       0},
      {"requests to the client and foreign subnegotiations are ignored",
       agree + B({kIAC, kSB, kComPort, 1, 0, kIAC, kSE, kIAC, kSB, 24, 1, kIAC, kSE, kIAC, 241}),
       "",
       "",
       {},
       0},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{0}, size_t{1}, size_t{2}, size_t{5}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      Decoded d = Decode(c.in, piece);
      EXPECT_EQ(d.data, c.data);
      EXPECT_EQ(d.reply, c.reply);
      ASSERT_EQ(d.answers.size(), c.answers.size());
      for (size_t i = 0; i < c.answers.size(); ++i) {
        EXPECT_EQ(d.answers[i].command, c.answers[i].first);
        EXPECT_EQ(d.answers[i].value, c.answers[i].second);
      }
      EXPECT_EQ(d.line_state, c.line_state);
    }
  }
}

TEST(TelnetCodec, NegotiationStateAndWhatGoesOnTheWire) {
  TelnetCodec codec;
  EXPECT_EQ(codec.Greeting(), B({kIAC, kWILL, kBinary, kIAC, kWILL, kSuppressGoAhead, kIAC, kWILL,
                                 kComPort, kIAC, kDO, kBinary, kIAC, kDO, kSuppressGoAhead}));
  std::string data, reply;
  // Before the server agrees to binary, a carriage return goes as CR NUL
  // and one from the server arrives with a NUL to drop.
  std::string wire;
  codec.EncodeData("AT\r\xFF", &wire);
  EXPECT_EQ(wire, std::string("AT\r\0\xFF\xFF", 6));
  codec.Feed(std::string("ok\r\0\n", 5), &data, &reply);
  EXPECT_EQ(data, "ok\r\n");

  codec.Feed(B({kIAC, kDO, kBinary, kIAC, kWILL, kBinary}), &data, &reply);
  wire.clear();
  codec.EncodeData("AT\r\xFF", &wire);
  EXPECT_EQ(wire, "AT\r\xFF\xFF");
  data.clear();
  codec.Feed(std::string("\r\0", 2), &data, &reply);
  EXPECT_EQ(data, std::string("\r\0", 2));

  EXPECT_FALSE(codec.ComPortAccepted());
  codec.Feed(B({kIAC, kDONT, kComPort}), &data, &reply);
  EXPECT_TRUE(codec.ComPortRefused());
  EXPECT_FALSE(codec.ComPortAccepted());
  EXPECT_EQ(reply, "");  // a refusal of what we asked for is not answered

  // Suspend and resume from the server's flow control.
  codec.Feed(B({kIAC, kSB, kComPort, 108, kIAC, kSE}), &data, &reply);
  EXPECT_TRUE(codec.Suspended());
  codec.Feed(B({kIAC, kSB, kComPort, 109, kIAC, kSE}), &data, &reply);
  EXPECT_FALSE(codec.Suspended());

  EXPECT_EQ(TelnetCodec::Command(kCpSetBaudRate, B({0, 0, 0xFF, 0xFF})),
            B({kIAC, kSB, kComPort, 1, 0, 0, kIAC, kIAC, kIAC, kIAC, kIAC, kSE}));
}

TEST(PortAddress, NamesAndTheirFaults) {
  struct Case {
    const char* name;
    bool ok;
    NetKind kind;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"rfc2217://gateway.local:2217", true, NetKind::kRfc2217, "gateway.local", 2217},
      {"TCP://10.0.0.7:4001/", true, NetKind::kRawTcp, "10.0.0.7", 4001},
      {"rfc2217://[fe80::1%eth0]:7000", true, NetKind::kRfc2217, "fe80::1%eth0", 7000},
      {"rfc2217://gateway.local", false, {}, "", 0},
      {"tcp://::1:4001", false, {}, "", 0},
      {"tcp://host:0", false, {}, "", 0},
      {"tcp://host:65536", false, {}, "", 0},
      {"tcp://host:12x", false, {}, "", 0},
      {"tcp://:4001", false, {}, "", 0},
      {"tcp://[::1]4001", false, {}, "", 0},
      {"tcp://us er@host:1", false, {}, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(IsNetworkPortName(c.name));
    ParsedAddress p = ParsePortAddress(c.name);
    ASSERT_EQ(p.address.has_value(), c.ok) << p.error;
    if (!c.ok) {
      EXPECT_NE(p.error.find("HOST:PORT"), std::string::npos) << p.error;
      continue;
    }
    EXPECT_EQ(p.address->kind, c.kind);
    EXPECT_EQ(p.address->host, c.host);
    EXPECT_EQ(p.address->port, c.port);
  }
  for (const char* local : {"/dev/ttyUSB0", "COM3", "ttyS0", "./tcp://x:1"}) {
    EXPECT_FALSE(IsNetworkPortName(local)) << local;
  }
}

}  // namespace
}  // namespace velimo::serial::net
