// The receive event: lines assembled across reads, echoed into the trace
// pane and handed to the parser of the checked model item.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/form_fixture.h"

namespace velimo::test {
namespace {

using namespace std::string_literals;

const std::string kOk = "Successfully changed.";

struct ReceiveTest : ::testing::Test {
  FormFixture f;
  forms::TForm_main& w = *f.form;

  void SetUp() override {
    w.sTavi1Click();
    f.Connect();
    f.platform.ClearRecords();
  }
  // One receive event for these bytes, as the port reports them.
  void Receive(const std::string& bytes) {
    f.channel.Queue(bytes);
    w.ComPortEnvBoardRxChar(static_cast<int>(bytes.size()));
  }
  // Pane entries added since the mark that are received lines (no stamp).
  std::vector<std::string> Echoes(size_t from = 0) const {
    std::vector<std::string> out;
    const auto& lines = w.Trace().Pane().Lines();
    for (size_t i = from; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      if (l.size() >= 12 && l[0] == '[' && l.compare(9, 3, "]  ") == 0) continue;
      out.push_back(l);
    }
    return out;
  }
};

TEST_F(ReceiveTest, AnAnswerSplitAtEveryByteIsEchoedAndParsedOnce) {
  const std::string answer = "OK. AES OFF\r\n";
  for (size_t cut = 0; cut <= answer.size(); ++cut) {
    SCOPED_TRACE(cut);
    f.platform.ClearRecords();
    const size_t mark = w.Trace().Pane().LineCount();
    Receive(answer.substr(0, cut));
    Receive(answer.substr(cut));
    EXPECT_EQ(Echoes(mark), std::vector<std::string>{answer});
    EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{kOk});
  }
}

TEST_F(ReceiveTest, TwoAndAHalfLinesInOneChunk) {
  Receive("Source ID : 12\r\nOK. AES OFF\r\nCountry : J");
  EXPECT_EQ(Echoes(), (std::vector<std::string>{"Source ID : 12\r\n", "OK. AES OFF\r\n"}));
  EXPECT_EQ(w.Edit_S_Sid.Text(), "12");
  EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{kOk});
  EXPECT_EQ(w.RxLines().Pending(), "Country : J");
  Receive("PN\r\n");
  EXPECT_EQ(w.LB_S_Country.Caption(), "JPN");
  EXPECT_EQ(Echoes().back(), "Country : JPN\r\n");
}

TEST_F(ReceiveTest, LoneLineFeedIsAnEntryAndACarriageReturnEndsNothing) {
  Receive("\n");
  EXPECT_EQ(Echoes(), std::vector<std::string>{"\n"});
  Receive("OK. AES OFF\r");
  EXPECT_EQ(Echoes().size(), 1u);
  EXPECT_TRUE(f.platform.Messages().empty());
}

TEST_F(ReceiveTest, WithoutACheckedModelLinesAreOnlyEchoed) {
  for (forms::TMenuItem* item : {&w.sTavi1, &w.uTavi1, &w.rTavi1, &w.ioTavi1})
    item->SetChecked(false);
  Receive("Source ID : 12\r\nOK. AES OFF\r\n");
  EXPECT_EQ(Echoes().size(), 2u);
  EXPECT_TRUE(f.platform.Messages().empty());
  EXPECT_NE(w.Edit_S_Sid.Text(), "12");
}

TEST_F(ReceiveTest, DispatchFollowsTheCheckedItem) {
  struct Case {
    forms::TMenuItem forms::TForm_main::*item;
    std::string line;
    std::string message;
  };
  const std::vector<Case> cases = {
      {&forms::TForm_main::uTavi1, "OK. AES OFF\r\n", kOk},
      {&forms::TForm_main::rTavi1, "OK. Spreading\r\n", kOk},
      {&forms::TForm_main::ioTavi1, "AT Mode On\r\n", "AT Mode On\r\n"},
      {&forms::TForm_main::ioTavi1, "OK. AES OFF\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    f.Disconnect();  // selecting a model while connected would query it
    (w.*c.item).Click();
    f.Connect();
    f.platform.ClearRecords();
    Receive(c.line);
    EXPECT_EQ(f.platform.Messages(),
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
  }
}

TEST_F(ReceiveTest, EveryPurgeEndsThePartialLineSoTheNextAnswerStandsAlone) {
  // A fragment of an earlier answer waits when the receive side is purged;
  // it is echoed as received, parsed by nobody, and the next answer is
  // recognised on its own (here its acknowledgement message).
  struct Case {
    const char* name;
    std::function<void()> purge;
    std::string sent;
  };
  const Case cases[] = {
      {"the operator switching encryption off",
       [&] {
         w.Edit_S_En.SetItemIndex(0);
         w.Btn_S_Save_EnClick();
       },
       "AT+AES=0\r"},
      {"a query sent", [&] { w.Btn_S_GetAESClick(); }, "AT&E\r"},
      {"a line error", [&] { w.ComPortEnvBoardError(serial::ceFrame); }, ""},
      {"Disconnect, then connecting again",
       [&] {
         w.Disconnect1Click();
         f.Connect();
       },
       ""},
  };
  for (const Case& c : cases) {
    f.platform.ClearRecords();
    f.channel.writes.clear();
    const size_t mark = w.Trace().Pane().Lines().size();
    Receive("Chan");
    c.purge();
    EXPECT_EQ(f.channel.Written(), c.sent) << c.name;
    EXPECT_EQ(w.RxLines().Length(), 0) << c.name;
    f.platform.ClearRecords();
    Receive("OK. AES OFF\r\n");
    EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{kOk}) << c.name;
    EXPECT_EQ(Echoes(mark), (std::vector<std::string>{"Chan", "OK. AES OFF\r\n"})) << c.name;
  }
}

TEST_F(ReceiveTest, AReceiveEventNestedInAParsersMessageBoxDispatchesEachLineOnce) {
  bool served = false;
  f.platform.while_modal = [&] {
    if (served) return;
    served = true;
    Receive("OK. AES OFF\r\n");
  };
  Receive("Invalid AT+CH=99\r\nSource ID : 5\r\n");
  EXPECT_EQ(f.platform.Messages(), (std::vector<std::string>{"Invalid AT+CH=99\r\n", kOk}));
  // In the order the bytes arrived: the rest of the first chunk comes
  // before the nested event's line.
  EXPECT_EQ(Echoes(), (std::vector<std::string>{"Invalid AT+CH=99\r\n", "Source ID : 5\r\n",
                                                "OK. AES OFF\r\n"}));
  EXPECT_EQ(w.Edit_S_Sid.Text(), "5");
  EXPECT_EQ(w.RxLines().Length(), 0);
}

TEST_F(ReceiveTest, MoreWaitingThanOneChunkIsReadInOneEvent) {
  std::string burst;
  for (int i = 0; i < 1000; ++i) burst += "Source ID : " + std::to_string(i) + "\r\n";
  ASSERT_GT(burst.size(), 8192u);
  Receive(burst);
  EXPECT_EQ(Echoes().size(), 1000u);
  EXPECT_EQ(w.Edit_S_Sid.Text(), "999");
  EXPECT_TRUE(f.channel.input.empty());
}

TEST_F(ReceiveTest, AnOverLongLineIsDroppedUpToItsLineFeed) {
  Receive(std::string(5000, 'x'));
  Receive("Invalid" + std::string(5000, 'y'));  // would be shown if cut and dispatched
  Receive("garbage end\nSource ID : 3\r\n");
  EXPECT_EQ(Echoes(), std::vector<std::string>{"Source ID : 3\r\n"});
  EXPECT_TRUE(f.platform.Messages().empty());
  EXPECT_EQ(w.Edit_S_Sid.Text(), "3");
}

TEST_F(ReceiveTest, AReadErrorLeavesThePartialLineAsItWas) {
  Receive("Sour");
  f.channel.fail_on_read = true;
  f.channel.Queue("ce ID : 1\r\n");
  EXPECT_ANY_THROW(w.ComPortEnvBoardRxChar(11));
  EXPECT_EQ(w.RxLines().Pending(), "Sour");
  EXPECT_TRUE(Echoes().empty());
}

TEST_F(ReceiveTest, ANulByteShortensItsOwnLineOnly) {
  Receive("Source ID : 4\0 trailing\r\nCountry : USA\r\n"s);
  // The line ends at its zero byte; the next line of the same read is
  // parsed whole.
  EXPECT_EQ(Echoes(), (std::vector<std::string>{"Source ID : 4", "Country : USA\r\n"}));
  EXPECT_EQ(w.Edit_S_Sid.Text(), "4");
  EXPECT_EQ(w.LB_S_Country.Caption(), "USA");
}

TEST_F(ReceiveTest, ALineReadWithTheAcknowledgementIsParsedAfterItsOwnQueryWentOut) {
  // The IV acknowledgement's row asks for the key and IV at once, and its
  // send purges the receive side: the firmware line came in the same read,
  // before the purge, and is parsed all the same; only the half-built
  // line after it is ended, and is no part of the next answer.
  w.Edit_S_FwVer.SetText("1.3");
  Receive("OK, AES IV\r\nF/W Ver : 1.1\r\nSour"s);
  EXPECT_EQ(f.channel.Written(), "AT&E\r");
  EXPECT_EQ(w.Edit_S_FwVer.Text(), "1.1");
  Receive("Source ID : 9\r\n");
  EXPECT_EQ(w.Edit_S_Sid.Text(), "9");
}

}  // namespace
}  // namespace velimo::test
