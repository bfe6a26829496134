// The status query, the response watchdog, the AES timer and the
// encryption query, in virtual time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/form_fixture.h"

namespace velimo::test {
namespace {

const std::string kWatchdog = "ERROR! Please check your serial port status.";

struct StatusQueryTest : ::testing::Test {
  FormFixture f;
  forms::TForm_main& w = *f.form;

  void SetUp() override {
    w.sTavi1Click();
    f.Connect();
    f.platform.ClearRecords();
    f.channel.writes.clear();
  }
  void Receive(const std::string& bytes) {
    f.channel.Queue(bytes);
    w.ComPortEnvBoardRxChar(static_cast<int>(bytes.size()));
  }
  // The stamped trace lines, without their stamps.
  std::vector<std::string> Traced() const {
    std::vector<std::string> out;
    for (const std::string& l : w.Trace().Pane().Lines())
      if (l.size() >= 12 && l[0] == '[' && l.compare(9, 3, "]  ") == 0) out.push_back(l.substr(12));
    return out;
  }
};

TEST_F(StatusQueryTest, SendsFiveBytesTracesThemClearsTheFlagAndArmsTheWatchdog) {
  const size_t before = Traced().size();
  w.ResponseFlag = 1;
  const int64_t t0 = f.platform.NowMs();
  w.Btn_S_CurrentStatusClick();
  ASSERT_EQ(f.channel.writes.size(), 5u);
  const std::string wire = "AT&V\r";
  for (size_t i = 0; i < wire.size(); ++i) {
    EXPECT_EQ(f.channel.writes[i].bytes, wire.substr(i, 1));
    EXPECT_EQ(f.channel.writes[i].at_ms, t0 + 5 * static_cast<int64_t>(i));
  }
  EXPECT_EQ(f.channel.purges, 1);
  const std::vector<std::string> all = Traced();
  const std::vector<std::string> traced(all.begin() + static_cast<long>(before), all.end());
  EXPECT_EQ(traced, (std::vector<std::string>{"Send Current Status Read Command to ... ",
                                              "Send AT Command : AT&V\r"}));
  EXPECT_EQ(w.ResponseFlag, 0);
  EXPECT_TRUE(w.Timer_ConnectionResponse.Enabled());
  EXPECT_TRUE(f.platform.Messages().empty());
}

TEST_F(StatusQueryTest, ClosedPortShowsTheMessageAndArmsNothing) {
  f.channel.connected = false;
  w.ResponseFlag = 1;
  w.Btn_S_CurrentStatusClick();
  EXPECT_TRUE(f.channel.writes.empty());
  EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{"Check your Serial Port Status."});
  EXPECT_EQ(Traced().back(), "Send Current Status Read Command to ... ");
  EXPECT_EQ(w.ResponseFlag, 1);
  EXPECT_FALSE(w.Timer_ConnectionResponse.Enabled());
  EXPECT_FALSE(w.Timer_AESQuery.Enabled());
}

TEST_F(StatusQueryTest, AWriteErrorRestartsTheApplication) {
  f.channel.fail_on_write = f.channel.write_calls + 3;
  w.Btn_S_CurrentStatusClick();
  EXPECT_EQ(f.channel.Written(), "AT");
  EXPECT_EQ(f.platform.Messages(),
            std::vector<std::string>{"Serial Connection Lost!! Restarting Application."});
  EXPECT_EQ(f.platform.restarts, 1);
  EXPECT_TRUE(w.RestartRequested());
  EXPECT_FALSE(w.Timer_ConnectionResponse.Enabled());
}

TEST_F(StatusQueryTest, WatchdogFiresAfterFiveSecondsOfSilenceAndDisconnects) {
  w.Btn_S_CurrentStatusClick();
  const int64_t armed = f.platform.NowMs();
  f.platform.RunUntil(armed + 4999);
  EXPECT_TRUE(f.platform.Messages().empty());
  f.platform.RunUntil(armed + 5000);
  ASSERT_FALSE(f.platform.dialogs.empty());
  EXPECT_EQ(f.platform.dialogs[0].text, kWatchdog);
  EXPECT_EQ(f.platform.dialogs[0].at_ms, armed + 5000);
  EXPECT_FALSE(w.Timer_ConnectionResponse.Enabled());
  EXPECT_FALSE(f.channel.connected);  // the disconnect ran after the message
  f.platform.RunUntil(armed + 30000);
  EXPECT_EQ(f.platform.Messages().front(), kWatchdog);
  int shown = 0;
  for (const std::string& m : f.platform.Messages()) shown += m == kWatchdog;
  EXPECT_EQ(shown, 1);
}

TEST_F(StatusQueryTest, WatchdogStaysQuietWhileAnswersArrive) {
  struct Case {
    const char* name;
    void (forms::TForm_main::*select)();
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"sTavi source ID", &forms::TForm_main::sTavi1Click, "Source ID : 1\r\n"},
      {"sTavi stop bit", &forms::TForm_main::sTavi1Click,
       "Stop Bit = 1, Hardware Flow Control = OFF\r\n"},
      {"rTavi source ID", &forms::TForm_main::rTavi1Click, "Source ID : 1\r\n"},
      {"ioTavi source ID", &forms::TForm_main::ioTavi1Click, "Source ID  : 1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture g;
    ((*g.form).*c.select)();
    g.channel.connected = true;
    g.form->Btn_S_CurrentStatusClick();
    g.platform.Advance(4000);
    g.channel.Queue(c.answer);
    g.form->ComPortEnvBoardRxChar(static_cast<int>(c.answer.size()));
    g.platform.Advance(16000);  // three more ticks
    EXPECT_TRUE(g.platform.Messages().empty());
    EXPECT_TRUE(g.form->Timer_ConnectionResponse.Enabled());
    EXPECT_TRUE(g.channel.connected);
  }
}

TEST_F(StatusQueryTest, ASecondQueryJustBeforeTheTickIsJudgedAtThatTick) {
  w.Btn_S_CurrentStatusClick();
  const int64_t armed = f.platform.NowMs();
  Receive("Source ID : 1\r\n");
  f.platform.RunUntil(armed + 4900);
  w.Btn_S_CurrentStatusClick();  // does not postpone the running watchdog
  f.platform.RunUntil(armed + 5000);
  ASSERT_FALSE(f.platform.dialogs.empty());
  EXPECT_EQ(f.platform.dialogs[0].text, kWatchdog);
  EXPECT_EQ(f.platform.dialogs[0].at_ms, armed + 5000);
}

TEST_F(StatusQueryTest, EncryptionQueryFollowsAboutOneSecondLaterOnPageOneOnly) {
  struct Case {
    int page;
    bool aes;
  };
  const std::vector<Case> cases = {{forms::kPageSLoRa, true},
                                   {forms::kPageSInfo, false},
                                   {forms::kPageSSerial, false},
                                   {forms::kPageILoRa, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    FormFixture g;
    g.form->sTavi1Click();
    g.channel.connected = true;
    g.form->PageControl1.SetActivePageIndex(c.page);
    g.form->Btn_S_CurrentStatusClick();
    g.platform.RunUntil(4000);
    std::string all;
    std::vector<int64_t> aes_at;
    for (const auto& wr : g.channel.writes) {
      if (wr.bytes == "A" && all.size() >= 5 && all.back() == '\r') aes_at.push_back(wr.at_ms);
      all += wr.bytes;
    }
    EXPECT_EQ(all, c.aes ? "AT&V\rAT&E\r" : "AT&V\r");
    if (c.aes) {
      ASSERT_EQ(aes_at.size(), 1u);
      EXPECT_GE(aes_at[0], 1000);
      EXPECT_LE(aes_at[0], 1100);
      EXPECT_FALSE(g.form->Timer_AESQuery.Enabled());
    }
  }
}

TEST_F(StatusQueryTest, EncryptionQueryAndTheButtonsThatRunThem) {
  w.Btn_S_GetAESClick();
  EXPECT_EQ(f.channel.Written(), "AT&E\r");
  EXPECT_EQ(Traced().back(), "Send AT Command : AT&E\r" + std::string(15, '\0'));

  f.channel.writes.clear();
  w.Btn_I_GetAES.Click();
  w.Btn_S_GetAES.Click();
  w.Btn_S_CurrentStatus.Click();
  EXPECT_EQ(f.channel.Written(), "AT&E\rAT&E\rAT&V\r");

  f.channel.connected = false;
  f.platform.ClearRecords();
  w.Btn_S_GetAESClick();
  EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{"Check your Serial Port Status."});
}

// The answer of an ioTavi to "AT+485?": its serial lines with a blank in
// front, the ETX line last.
const std::string kRs485Answer =
    " Port Type Normal\r\n"
    " Dummy Destination ID  = 77\r\n"
    " BaudRate = 115200 bps, Parity = Even\r\n"
    " Data Bit = 8, Stop Bit = 1\r\n"
    " Hardware Flow Control = OFF\r\n"
    " Message Timeout = 500 ms, Size = 100 bytes\r\n"
    " STX Length = 1, STX1 = 0x02, STX2 = 0x00, STX3 = 0x00\r\n"
    " ETX Length = 0, ETX1 = 0x03, ETX2 = 0x00, ETX3 = 0x00\r\n";

TEST(Rs485Page, TheStatusQueryWaitsForTheRs485AnswerOrAtMost300Ms) {
  enum class Between { Nothing, Disconnect, InfoPage };
  const struct {
    const char* name;
    bool answers;     // the modem answers "AT+485?" at once
    Between between;  // what the operator does while the answer is awaited
    std::string then_sent;
  } cases[] = {
      {"answered at once: the query follows the answer's last line", true, Between::Nothing,
       "AT+485?\rAT&V\r"},
      {"silent modem: the query after 300 ms", false, Between::Nothing, "AT+485?\rAT&V\r"},
      {"disconnected meanwhile: no query", false, Between::Disconnect, "AT+485?\r"},
      {"another page's query meanwhile takes its place", true, Between::InfoPage,
       "AT+485?\rAT&V\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FormFixture f;
    f.WriteSettings("[MACHINE]\nDevice=i\n");
    f.Activate();
    f.Connect();
    forms::TForm_main& w = *f.form;
    f.channel.answer = [&](const std::string& line) {
      if (c.answers && line == "AT+485?\r") f.channel.Queue(kRs485Answer);
    };
    const auto receive = [&] { w.ComPortEnvBoardRxChar(static_cast<int>(f.channel.input.size())); };

    w.Btn_Left_SerialClick();
    // The handler returns with the answer still waiting: nothing purged it.
    EXPECT_EQ(f.channel.Written(), "AT+485?\r");
    EXPECT_EQ(f.channel.input, c.answers ? kRs485Answer : "");
    if (c.between == Between::Disconnect) w.Disconnect1Click();
    if (c.between == Between::InfoPage) w.Btn_Left_InfoClick();
    f.platform.Advance(c.answers ? 10 : 299);
    const int64_t received_at = f.platform.NowMs();
    receive();
    if (c.answers && c.between == Between::Nothing) {
      EXPECT_EQ(f.channel.Written(), c.then_sent);
      // Sent as the answer was read: its last byte 4 x 5 ms after the first.
      EXPECT_EQ(f.channel.writes.back().at_ms, received_at + 20);
      EXPECT_EQ(w.Edit_I_Did_485.Text(), "77");
      EXPECT_EQ(w.Edit_I_Baudrate_485.Text(), "115200");
      EXPECT_EQ(w.Edit_I_PAB_485.Text(), "Even");
      EXPECT_EQ(w.Edit_I_DataBit_485.Text(), "8");
      EXPECT_EQ(w.Edit_I_DMT_485.Text(), "500");
      EXPECT_EQ(w.Edit_I_STXLen_485.Text(), "1");
    } else if (c.between == Between::Nothing) {
      EXPECT_EQ(f.channel.Written(), "AT+485?\r");  // not yet at 299 ms
    }
    f.platform.Advance(1);
    EXPECT_EQ(f.channel.Written(), c.then_sent);
    f.platform.Advance(1000);
    EXPECT_EQ(f.channel.Written(), c.then_sent);
    EXPECT_EQ(f.platform.Messages(), c.between == Between::Disconnect
                                         ? std::vector<std::string>{"     Disconnected.     "}
                                         : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace velimo::test
