#include "protocol/transmitter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "protocol/catalogue.h"
#include "serial/com_error.h"
#include "support/fake_channel.h"
#include "support/test_platform.h"
#include "util/errors.h"

namespace velimo::protocol {
namespace {

using test::FakeChannel;
using test::TestPlatform;
using namespace std::string_literals;

struct TransmitterTest : ::testing::Test {
  TestPlatform platform;
  FakeChannel channel{&platform};
  std::vector<std::string> trace;
  bool trace_fails = false;
  Link link{&channel, &platform, [this](std::string_view t) {
              if (trace_fails) throw EInOutError("Disk full", 28);
              trace.emplace_back(t);
            }};
};

struct LineCase {
  const char* name;
  int size;
  std::string command;
  std::string value;
  bool terminated;
  std::string wire;  // bytes that must reach the port
  std::string_view announcement;
};

TEST_F(TransmitterTest, WritesEachByteAloneFiveMillisecondsApartAndTracesTheWholeBuffer) {
  const std::vector<LineCase> cases = {
      {"channel", 20, "AT+CH=", "5", true, "AT+CH=5\r", {}},
      {"at mode escape", 5, "+++", "", false, "+++", "Send AT Mode On Command to ioTavi... "},
      {"aes iv", 30, "", "0123456789abcdef", true, "0123456789abcdef\r", {}},
      {"status query", 5, "AT&V", "", true, "AT&V\r", "Send Current Status Read Command to ... "},
      {"rs485 did fills buffer", 20, "AT+485+DID=", "16777215", true, "AT+485+DID=16777215\r", {}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    channel.writes.clear();
    trace.clear();
    const int64_t start = platform.NowMs();
    auto buffer = CommandBuffer::Make(c.size, c.command, c.value, c.terminated);
    ASSERT_TRUE(buffer);
    SendOptions options;
    options.announcement = c.announcement;
    EXPECT_EQ(SendCommandLine(link, *buffer, options), SendResult::Sent);

    ASSERT_EQ(channel.writes.size(), c.wire.size());
    for (size_t i = 0; i < c.wire.size(); ++i) {
      EXPECT_EQ(channel.writes[i].bytes, std::string(1, c.wire[i])) << "byte " << i;
      EXPECT_EQ(channel.writes[i].at_ms, start + 5 * static_cast<int64_t>(i)) << "byte " << i;
    }
    // The pause follows the last byte too.
    EXPECT_EQ(platform.NowMs(), start + 5 * static_cast<int64_t>(c.wire.size()));

    std::vector<std::string> expected;
    if (!c.announcement.empty()) expected.emplace_back(c.announcement);
    expected.push_back("Send AT Command : " + c.wire + std::string(c.size - c.wire.size(), '\0'));
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(trace.back().size(), 18u + static_cast<size_t>(c.size));
  }
}

TEST_F(TransmitterTest, ClosedPortShowsTheMessageOnlyButTheAnnouncementStillGoesFirst) {
  channel.connected = false;
  auto escape = CommandBuffer::Make(5, "+++", "", false);
  bool followed = false;
  SendOptions options{"Send AT Mode On Command to ioTavi... ", FailureVariant::Standard,
                      [&] { followed = true; }};
  EXPECT_EQ(SendCommandLine(link, *escape, options), SendResult::PortClosed);
  EXPECT_TRUE(channel.writes.empty());
  EXPECT_EQ(channel.purges, 0);
  EXPECT_FALSE(followed);
  EXPECT_EQ(trace, std::vector<std::string>{"Send AT Mode On Command to ioTavi... "});
  EXPECT_EQ(platform.Messages(), std::vector<std::string>{"Check your Serial Port Status."});

  // No port object at all counts as closed.
  Link none{nullptr, &platform, nullptr};
  EXPECT_EQ(SendCommandLine(none, *escape), SendResult::PortClosed);
}

TEST_F(TransmitterTest, PortErrorOnTheThirdByteLeavesTwoSentAndNoTraceThenTheNextLineGoesOut) {
  channel.fail_on_write = 3;
  auto line = CommandBuffer::Make(20, "AT+CH=", "5");
  bool followed = false;
  SendOptions options{{}, FailureVariant::Standard, [&] { followed = true; }};
  EXPECT_EQ(SendCommandLine(link, *line, options), SendResult::Failed);
  EXPECT_EQ(channel.Written(), "AT");
  EXPECT_TRUE(trace.empty());
  EXPECT_FALSE(followed);
  EXPECT_EQ(platform.Messages(), std::vector<std::string>{"Serial Port ERROR!!"});
  EXPECT_EQ(platform.restarts, 0);

  // The port recovered: the next command is sent whole.
  channel.writes.clear();
  EXPECT_EQ(SendCommandLine(link, *line), SendResult::Sent);
  EXPECT_EQ(channel.Written(), "AT+CH=5\r");
  EXPECT_EQ(trace.size(), 1u);
}

TEST_F(TransmitterTest, LostConnectionVariantRestartsTheApplication) {
  channel.fail_on_purge = true;
  auto query = CommandBuffer::Make(5, "AT&V", "");
  SendOptions options{"Send Current Status Read Command to ... ", FailureVariant::LostConnection,
                      nullptr};
  EXPECT_EQ(SendCommandLine(link, *query, options), SendResult::Failed);
  EXPECT_TRUE(channel.writes.empty());
  EXPECT_EQ(platform.Messages(),
            std::vector<std::string>{"Serial Connection Lost!! Restarting Application."});
  EXPECT_EQ(platform.restarts, 1);
}

TEST_F(TransmitterTest, PurgeDiscardsAnAnswerTheReceivePathHasNotTakenYet) {
  channel.Queue("OK. AES OFF\r\n");
  auto line = CommandBuffer::Make(20, "AT&E", "");
  SendCommandLine(link, *line);
  char buf[64];
  EXPECT_EQ(channel.ReadBytes(buf, sizeof buf), 0);
  EXPECT_EQ(channel.purges, 1);
}

TEST_F(TransmitterTest, WaitingBytesAreOnRecordBeforeThePurgeAndAGoneDeviceIsToldApart) {
  const struct {
    const char* name;
    std::function<void()> error;  // raised by the purge; none when empty
    SendResult result;
  } cases[] = {
      {"no error", {}, SendResult::Sent},
      {"hung up (EIO)", [] { throw serial::EComPort(serial::CError_PurgeFailed, EIO); },
       SendResult::PortGone},
      {"removed (ENODEV)", [] { throw serial::EComPort(serial::CError_PurgeFailed, ENODEV); },
       SendResult::PortGone},
      {"removed (ENXIO)", [] { throw serial::EComPort(serial::CError_PurgeFailed, ENXIO); },
       SendResult::PortGone},
      {"refused (EAGAIN)", [] { throw serial::EComPort(serial::CError_PurgeFailed, EAGAIN); },
       SendResult::Failed},
      {"no system code", [] { throw serial::EComPort(serial::CError_PurgeFailed); },
       SendResult::Failed},
      {"not a port error", [] { throw std::runtime_error("x"); }, SendResult::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestPlatform p;
    FakeChannel ch{&p};
    std::vector<std::string> received;
    int gone = 0;
    Link l{&ch, &p, nullptr};
    l.received = [&](std::string_view line) { received.emplace_back(line); };
    l.port_gone = [&] { ++gone; };
    ch.fail_on_purge = static_cast<bool>(c.error);
    ch.make_error = c.error;
    ch.Queue("OK. Channel=3\r\n\nOK. Spread");
    EXPECT_EQ(SendCommandLine(l, *CommandBuffer::Make(20, "AT+SFT=", "8")), c.result);
    // Read before the purge, one piece per line as it came.
    EXPECT_EQ(received, (std::vector<std::string>{"OK. Channel=3\r\n", "\n", "OK. Spread"}));
    EXPECT_EQ(gone, c.result == SendResult::PortGone ? 1 : 0);
    EXPECT_EQ(p.Messages(), c.result == SendResult::Sent
                                ? std::vector<std::string>{}
                                : std::vector<std::string>{"Serial Port ERROR!!"});
  }
}

TEST_F(TransmitterTest, TraceFailures) {
  auto line = CommandBuffer::Make(20, "AT&F", "");
  bool followed = false;
  SendOptions options{{}, FailureVariant::Standard, [&] { followed = true; }};

  // After the bytes: inside the protected region, reported as a port error.
  trace_fails = true;
  EXPECT_EQ(SendCommandLine(link, *line, options), SendResult::Failed);
  EXPECT_EQ(channel.Written(), "AT&F\r");
  EXPECT_FALSE(followed);
  EXPECT_EQ(platform.Messages(), std::vector<std::string>{"Serial Port ERROR!!"});

  // The announcement's failure escapes to the caller and nothing is sent.
  channel.writes.clear();
  options.announcement = "Send AT Mode Off Command to ioTavi... ";
  EXPECT_THROW(SendCommandLine(link, *line, options), EInOutError);
  EXPECT_TRUE(channel.writes.empty());
}

TEST_F(TransmitterTest, FollowUpRunsAfterTheTraceAndItsErrorCountsAsAPortError) {
  auto line = CommandBuffer::Make(20, "AT+BAU=", "10");
  std::vector<std::string> order;
  SendOptions ok{{}, FailureVariant::Standard, [&] {
                   order.push_back("trace lines " + std::to_string(trace.size()));
                 }};
  EXPECT_EQ(SendCommandLine(link, *line, ok), SendResult::Sent);
  EXPECT_EQ(order, std::vector<std::string>{"trace lines 1"});

  SendOptions bad{{}, FailureVariant::Standard, [] { throw std::runtime_error("boom"); }};
  EXPECT_EQ(SendCommandLine(link, *line, bad), SendResult::Failed);
  EXPECT_EQ(platform.Messages(), std::vector<std::string>{"Serial Port ERROR!!"});
}

TEST_F(TransmitterTest, NeverWritesPastTheBuffer) {
  // A line that does not fit is never built ...
  EXPECT_FALSE(CommandBuffer::Make(20, "AT+485+DID=", "123456789"));
  EXPECT_FALSE(CommandBuffer::Make(5, "AT&V", "x"));
  CommandBuffer b(5);
  EXPECT_TRUE(b.Append("AT&V\r"));
  EXPECT_FALSE(b.Append("x"));
  EXPECT_EQ(b.Line(), "AT&V\r");
  EXPECT_THROW(CommandBuffer(21), std::invalid_argument);

  // ... and a length beyond the buffer is refused before the port is touched.
  EXPECT_EQ(SendCommandLine(link, b, 6), SendResult::Refused);
  EXPECT_TRUE(channel.writes.empty());
  EXPECT_EQ(channel.purges, 0);
  EXPECT_EQ(
      platform.Messages(),
      std::vector<std::string>{"Command line too long (more than 5 bytes). Nothing was sent."});
}

}  // namespace
}  // namespace velimo::protocol
