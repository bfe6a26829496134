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
  ui::TForm_main& w = *f.form;

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
    void (ui::TForm_main::*select)();
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"sTavi source ID", &ui::TForm_main::sTavi1Click, "Source ID : 1\r\n"},
      {"sTavi stop bit", &ui::TForm_main::sTavi1Click,
       "Stop Bit = 1, Hardware Flow Control = OFF\r\n"},
      {"rTavi source ID", &ui::TForm_main::rTavi1Click, "Source ID : 1\r\n"},
      {"ioTavi source ID", &ui::TForm_main::ioTavi1Click, "Source ID  : 1\r\n"},
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
  const std::vector<Case> cases = {{ui::kPageSLoRa, true},
                                   {ui::kPageSInfo, false},
                                   {ui::kPageSSerial, false},
                                   {ui::kPageILoRa, false}};
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

}  // namespace
}  // namespace velimo::test
