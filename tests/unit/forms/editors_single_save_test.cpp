// The single saves of the setting editors: order of the tests, messages,
// the steps after a refusal, the lines sent, and the link settings with
// their follow-ups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/application.h"
#include "sent_lines.h"
#include "util/errors.h"

namespace velimo::forms {
namespace {

using edit_test::EditorTest;
using edit_test::kClosed;
using edit_test::LineTexts;
using Strings = std::vector<std::string>;

constexpr const char* kReconnect = "Please set COM again and reconnect.";
constexpr const char* kDisconnected = "     Disconnected.     ";

struct NumericCase {
  void (TForm_main::*save)();
  TEdit TForm_main::*edit;
  const char* text;
  const char* line;               // sent; nullptr when refused
  const char* message = nullptr;  // refusal message
  const char* after = nullptr;    // the editor's text after a refusal
  bool focus = false;             // the focus moved to the editor
};

TEST_F(EditorTest, NumericSavesTestTheirBoundsAndActAfterRefusal) {
  using F = TForm_main;
  constexpr const char* kDid = "Destination ID Range : 1~16777215";
  constexpr const char* kDmt = "Message Timeout Range : 10~2550ms";
  constexpr const char* kDms = "Message Size Range : 0~116";
  const NumericCase cases[] = {
      // Restored from the hidden copy.
      {&F::Btn_S_Save_DidClick, &F::Edit_S_Did, "0", nullptr, kDid, "4711", false},
      {&F::Btn_S_Save_DidClick, &F::Edit_S_Did, "", nullptr, kDid, "4711", false},
      {&F::Btn_S_Save_DidClick, &F::Edit_S_Did, "16777216", nullptr, kDid, "4711", false},
      {&F::Btn_S_Save_DidClick, &F::Edit_S_Did, "007", "AT+DID=007\r"},
      {&F::Btn_S_Save_DidClick, &F::Edit_S_Did, "16777215", "AT+DID=16777215\r"},
      {&F::Btn_S_Save_DMTClick, &F::Edit_S_DMT, "9", nullptr, kDmt, "900", false},
      {&F::Btn_S_Save_DMTClick, &F::Edit_S_DMT, "10", "AT+DMT=1\r"},
      {&F::Btn_S_Save_DMTClick, &F::Edit_S_DMT, "19", "AT+DMT=1\r"},
      {&F::Btn_S_Save_DMTClick, &F::Edit_S_DMT, "2550", "AT+DMT=255\r"},
      {&F::Btn_S_Save_DMTClick, &F::Edit_S_DMT, "2551", nullptr, kDmt, "900", false},
      {&F::Btn_S_Save_DMSClick, &F::Edit_S_DMS, "116", "AT+DMS=116\r"},
      {&F::Btn_S_Save_DMSClick, &F::Edit_S_DMS, "117", nullptr, kDms, "12", false},
      {&F::Btn_S_Save_DMSClick, &F::Edit_S_DMS, "0", "AT+DMS=0\r"},
      {&F::Btn_R_Save_Rid1Click, &F::Edit_R_Rid1, "0", nullptr, "Relay ID 1 Range : 1~16777215",
       "31", false},
      {&F::Btn_R_Save_Rid2Click, &F::Edit_R_Rid2, "", nullptr, "Relay ID 2 Range : 1~16777215",
       "32", false},
      {&F::Btn_R_Save_Rid2Click, &F::Edit_R_Rid2, "99", "AT+RID2=99\r"},
      // Focus to the editor, the refused text kept.
      {&F::Btn_I_Save_DidClick, &F::Edit_I_Did, "0", nullptr, kDid, "0", true},
      {&F::Btn_I_Save_Did_485Click, &F::Edit_I_Did_485, "", nullptr, kDid, "", true},
      {&F::Btn_I_Save_Did_485Click, &F::Edit_I_Did_485, "16777215", "AT+485+DID=16777215\r"},
      {&F::Btn_I_Save_DMTClick, &F::Edit_I_DMT, "2551", nullptr, kDmt, "2551", true},
      {&F::Btn_I_Save_DMT_485Click, &F::Edit_I_DMT_485, "255", "AT+485+DMT=25\r"},
      {&F::Btn_I_Save_DMSClick, &F::Edit_I_DMS, "117", nullptr, kDms, "117", true},
      {&F::Btn_I_Save_DMS_485Click, &F::Edit_I_DMS_485, "116", "AT+485+DMS=116\r"},
      {&F::Btn_I_Save_BandClick, &F::Edit_I_Band, "5", nullptr, "LoRa Band Range : 6~8", "5", true},
      {&F::Btn_I_Save_BandClick, &F::Edit_I_Band, "9", nullptr, "LoRa Band Range : 6~8", "9", true},
      {&F::Btn_I_Save_BandClick, &F::Edit_I_Band, "6", "AT+BND=6\r"},
      // Nothing after the refusal.
      {&F::Btn_S_Save_DtnClick, &F::Edit_S_Dtn, "256", nullptr,
       "Destination Table number Range : 0~255", "256", false},
      {&F::Btn_S_Save_DentClick, &F::Edit_S_Dent, "", nullptr,
       "Destination Entry number Range : 0~255", "", false},
      {&F::Btn_S_Save_DentClick, &F::Edit_S_Dent, "255", "AT+DENT=255\r"},
      {&F::Btn_S_Save_SidClick, &F::Edit_S_Sid, "0", nullptr, "Source  ID Range : 1~16777215", "0",
       false},
      {&F::Btn_R_Save_SidClick, &F::Edit_R_Sid, "1", "AT+MYID=1\r"},
      {&F::Btn_I_Save_SidClick, &F::Edit_I_Sid, "16777215", "AT+MYID=16777215\r"},
  };
  for (bool open : {true, false}) {
    for (const NumericCase& c : cases) {
      SCOPED_TRACE(std::string(c.text) + (open ? " port open" : " port closed") + " -> " +
                   (c.line ? c.line : c.message));
      test::FormFixture g;
      g.channel.connected = open;
      TForm_main& w = *g.form;
      w.Edit_S_Did_B.SetText("4711");
      w.Edit_S_DMT_B.SetText("900");
      w.Edit_S_DMS_B.SetText("12");
      w.Edit_R_Rid1_B.SetText("31");
      w.Edit_R_Rid2_B.SetText("32");
      TEdit& edit = w.*c.edit;
      edit.SetText(c.text);
      (w.*c.save)();
      if (c.line) {
        EXPECT_EQ(LineTexts(g.channel), open ? Strings{c.line} : Strings{});
        EXPECT_EQ(g.platform.Messages(), open ? Strings{} : Strings{kClosed});
        EXPECT_EQ(edit.Text(), c.text);
      } else {
        // Refused before the port is looked at.
        EXPECT_TRUE(g.channel.writes.empty());
        EXPECT_EQ(g.platform.Messages(), Strings{c.message});
        EXPECT_EQ(edit.Text(), c.after);
        EXPECT_EQ(w.ActiveControl() == &edit, c.focus);
      }
    }
  }
}

TEST_F(EditorTest, SourceIdentifierWithoutEmptyTestEndsInTheConversionError) {
  using Save = void (TForm_main::*)();
  const Save saves[] = {&TForm_main::Btn_S_Save_SidClick, &TForm_main::Btn_R_Save_SidClick,
                        &TForm_main::Btn_I_Save_SidClick};
  for (const Save save : saves) {
    form.Edit_S_Sid.SetText("");
    form.Edit_R_Sid.SetText("");
    form.Edit_I_Sid.SetText("");
    try {
      ((*f.form).*save)();
      ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
  }
  EXPECT_TRUE(f.channel.writes.empty());
  EXPECT_TRUE(f.platform.dialogs.empty());
}

TEST(EditorReport, AnEscapedConversionErrorGoesToTheDefaultErrorReport) {
  test::TestPlatform platform;
  TApplication app(platform);
  test::FakeChannel channel{&platform};
  app.Form_main().SetPort(&channel);
  app.Form_main().Edit_S_Sid.SetText("");
  app.Run([&] { app.Form_main().Btn_S_Save_Sid.Click(); });
  EXPECT_EQ(platform.Messages(test::TestPlatform::DialogKind::Error),
            Strings{"'' is not a valid integer value."});
  EXPECT_TRUE(channel.writes.empty());
}

TEST_F(EditorTest, ABlankInsideANumberIsNotANumber) {
  for (const char* text : {"1 2", " 12", "12 ", "1a", "+", "99999999999"}) {
    SCOPED_TRACE(text);
    form.Edit_S_Did.SetText(text);
    EXPECT_THROW(form.Btn_S_Save_DidClick(), EConvertError);
  }
  EXPECT_TRUE(f.channel.writes.empty());
}

TEST_F(EditorTest, PortIdentifierActionTestsOnlyThePressedButtonsEditor) {
  struct Case {
    TButton TForm_main::*button;
    const char* mpid;
    const char* lpid;
    const char* spid;
    const char* line;  // nullptr: refused
  };
  using F = TForm_main;
  const Case cases[] = {
      {&F::Btn_S_Save_LPID, "0", "5", "0", "AT+PID=2,5\r"},
      {&F::Btn_S_Save_MPID, "1234", "0", "", "AT+PID=1,1234\r"},
      {&F::Btn_S_Save_SPID, "0", "0", "16777215", "AT+PID=3,16777215\r"},
      {&F::Btn_S_Save_MPID, "0", "5", "5", nullptr},
      {&F::Btn_S_Save_SPID, "5", "5", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(((*f.form).*c.button).Name());
    f.channel.writes.clear();
    f.platform.ClearRecords();
    form.Edit_S_MPID.SetText(c.mpid);
    form.Edit_S_LPID.SetText(c.lpid);
    form.Edit_S_SPID.SetText(c.spid);
    // Through the button: its hint carries the port digit.
    ((*f.form).*c.button).Click();
    if (c.line) {
      EXPECT_EQ(LineTexts(f.channel), Strings{c.line});
      EXPECT_TRUE(f.platform.dialogs.empty());
    } else {
      EXPECT_TRUE(f.channel.writes.empty());
      EXPECT_EQ(f.platform.Messages(), Strings{"PID Range : 1~16777215"});
    }
  }
}

TEST_F(EditorTest, ListSavesEncodeTheSelection) {
  struct Case {
    void (TForm_main::*save)();
    TComboBox TForm_main::*list;
    int index;
    const char* line;
  };
  using F = TForm_main;
  const Case cases[] = {
      {&F::Btn_S_Save_CHClick, &F::CB_S_Ch, 2, "AT+CH=3\r"},
      {&F::Btn_S_Save_CHClick, &F::CB_S_Ch, -1, "AT+CH=0\r"},
      {&F::Btn_R_Save_SFClick, &F::CB_R_Sf, 2, "AT+SFT=9\r"},
      {&F::Btn_I_Save_SFClick, &F::CB_I_Sf, -1, "AT+SFT=6\r"},
      {&F::Btn_S_Save_CountryClick, &F::Edit_S_Country, 2, "AT+CTRY=3\r"},
      {&F::Btn_R_Save_CountryClick, &F::Edit_R_Country, 0, "AT+CTRY=1\r"},
      {&F::Btn_R_Save_ModeClick, &F::Edit_R_Mode, 1, "AT+MODE=2\r"},
      {&F::Btn_S_Save_PtypeClick, &F::Edit_S_Ptype, 1, "AT+PTYPE=1\r"},
      {&F::Btn_S_Save_PTPClick, &F::Edit_S_PTP, 1, "AT+PTP=1\r"},
      {&F::Btn_S_Save_STXLClick, &F::Edit_S_STXLen, 3, "AT+STXL=3\r"},
      {&F::Btn_S_Save_ETXLClick, &F::Edit_S_ETXLen, -1, "AT+ETXL=-\r"},
      {&F::Btn_I_Save_STXLClick, &F::Edit_I_STXLen, -1, "AT+STXL=-\r"},
      {&F::Btn_I_Save_STXL_485Click, &F::Edit_I_STXLen_485, -1, "AT+485+STXL=-1\r"},
      {&F::Btn_I_Save_ETXL_485Click, &F::Edit_I_ETXLen_485, 2, "AT+485+ETXL=2\r"},
      {&F::Btn_I_Save_Ptype_485Click, &F::Edit_I_Ptype_485, 1, "AT+485+PTYPE=1\r"},
      {&F::Btn_I_Save_Baudrate_485Click, &F::Edit_I_Baudrate_485, 13, "AT+485+BAU=13\r"},
      {&F::Btn_I_Save_PAB_485Click, &F::Edit_I_PAB_485, 2, "AT+485+PAB=E\r"},
      {&F::Btn_S_Save_EnClick, &F::Edit_S_En, 1, "AT+AES=1\r"},
      {&F::Btn_I_Save_EnClick, &F::Edit_I_En, 0, "AT+AES=0\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    f.channel.writes.clear();
    ((*f.form).*c.list).SetItemIndex(c.index);
    ((*f.form).*c.save)();
    EXPECT_EQ(LineTexts(f.channel), Strings{c.line});
  }
  // RS-485 link settings: the line and nothing else.
  EXPECT_TRUE(f.platform.dialogs.empty());
  EXPECT_TRUE(f.channel.connected);
}

TEST_F(EditorTest, HexListsAreTestedInOrderAndSentAsTyped) {
  struct Case {
    int length;
    const char* v1;
    const char* v2;
    const char* v3;
    const char* result;  // the line, or the refusal message
    TEdit TForm_main::*focus;
  };
  using F = TForm_main;
  const Case cases[] = {
      {0, "01", "02", "03", "Check your STX Length", nullptr},
      {-1, "01", "02", "03", "Check your STX Length", nullptr},
      {1, "0", "02", "03", "Check your STX1 input", &F::Edit_S_STX1},
      {1, "", "", "", "Check your STX1 input", &F::Edit_S_STX1},
      {2, "02", "3", "03", "Check your STX2 input", &F::Edit_S_STX2},
      {3, "02", "03", "", "Check your STX3 input", &F::Edit_S_STX3},
      {2, "02", "03", "x", "AT+STX=02,03\r", nullptr},
      {1, "0A", "", "", "AT+STX=0A\r", nullptr},
      {3, "aa", "BB", "cC", "AT+STX=aa,BB,cC\r", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    f.channel.writes.clear();
    f.platform.ClearRecords();
    form.SetActiveControl(form.Btn_S_Serial_SaveAll);
    form.Edit_S_STXLen.SetItemIndex(c.length);
    form.Edit_S_STX1.SetText(c.v1);
    form.Edit_S_STX2.SetText(c.v2);
    form.Edit_S_STX3.SetText(c.v3);
    form.Btn_S_Save_STXClick();
    const std::string result(c.result);
    if (result.rfind("AT+", 0) == 0) {
      EXPECT_EQ(LineTexts(f.channel), Strings{result});
      EXPECT_TRUE(f.platform.dialogs.empty());
    } else {
      EXPECT_TRUE(f.channel.writes.empty());
      EXPECT_EQ(f.platform.Messages(), Strings{result});
      const Control* expected = c.focus ? static_cast<Control*>(&((*f.form).*c.focus))
                                        : static_cast<Control*>(&form.Edit_S_STXLen);
      EXPECT_EQ(form.ActiveControl(), expected);
    }
  }
}

TEST_F(EditorTest, EachHexListUsesItsOwnNamesAndMessages) {
  form.Edit_I_ETXLen_485.SetItemIndex(1);
  form.Edit_I_ETX1_485.SetText("03");
  form.Btn_I_Save_ETX_485Click();
  EXPECT_EQ(LineTexts(f.channel), Strings{"AT+485+ETX=03\r"});

  form.Edit_I_STXLen_485.SetItemIndex(2);
  form.Edit_I_STX1_485.SetText("");
  form.Btn_I_Save_STX_485Click();
  form.Edit_I_ETXLen.SetItemIndex(0);
  form.Btn_I_Save_ETXClick();
  form.Edit_S_ETXLen.SetItemIndex(3);
  form.Edit_S_ETX3.SetText("1");
  form.Btn_S_Save_ETXClick();
  EXPECT_EQ(f.platform.Messages(), (Strings{"Check your 485 STX1 input", "Check your ETX Length",
                                            "Check your ETX3 input"}));
  EXPECT_EQ(f.channel.writes.size(), std::string("AT+485+ETX=03\r").size());
  // The RS-485 ETX button itself has no action.
  form.Btn_I_Save_ETX_485.Click();
  EXPECT_EQ(f.channel.writes.size(), std::string("AT+485+ETX=03\r").size());
}

TEST_F(EditorTest, SLinkSettingsSendTheSerialPageFirstThenReconnect) {
  struct Case {
    TButton TForm_main::*button;
    const char* line;
  };
  const Case cases[] = {
      {&TForm_main::Btn_S_Save_Baudrate, "AT+BAU=13\r"},
      {&TForm_main::Btn_S_Save_PAB, "AT+PAB=O\r"},
      {&TForm_main::Btn_S_Save_HF, "AT+HF=1\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    test::FormFixture g;
    g.Activate();
    g.Connect();
    g.platform.ClearRecords();
    TForm_main& w = *g.form;
    w.Edit_S_Baudrate.SetItemIndex(13);
    w.Edit_S_PAB.SetItemIndex(1);
    w.Edit_S_HWF.SetItemIndex(1);
    (w.*c.button).Click();
    const auto sent = edit_test::SentLines(g.channel);
    EXPECT_EQ(LineTexts(g.channel),
              (Strings{"AT+DMT=255\r", "AT+DMS=0\r", "AT+STXL=0\r", "AT+ETXL=0\r", c.line}));
    // The save-all's own 200 ms after its last step, then 200 ms more.
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[4].at_ms - sent[3].at_ms, 5 * 10 + 200 + 200);
    EXPECT_EQ(g.platform.Messages(), (Strings{kReconnect, kDisconnected}));
    EXPECT_FALSE(g.channel.connected);
  }
}

TEST_F(EditorTest, SLinkSettingWithThePortClosedReportsEachCommandAndDisconnectsNothing) {
  ClosePort();
  form.Btn_S_Save_BaudrateClick();
  EXPECT_EQ(f.platform.Messages(), Strings(5, kClosed));
  EXPECT_TRUE(f.channel.writes.empty());
  EXPECT_EQ(edit_test::StepPauses(f.platform), (std::vector<int>{200, 200, 200, 200, 200}));
}

TEST_F(EditorTest, SLinkSettingWithAFailingPortNeitherReconnectsNorDisconnects) {
  // The serial save-all goes through; the baud-rate line fails.
  f.channel.fail_on_write = static_cast<int>(std::string("AT+DMT=255\rAT+DMS=0\rAT+STXL=0\r"
                                                         "AT+ETXL=0\r")
                                                 .size()) +
                            3;
  form.Btn_S_Save_PABClick();
  EXPECT_EQ(f.platform.Messages(), Strings{"Serial Port ERROR!!"});
  EXPECT_TRUE(f.channel.connected);
}

TEST_F(EditorTest, ILinkSettingsTellTheOperatorAndKeepTheLinkOpen) {
  struct Case {
    void (TForm_main::*save)();
    const char* line;
  };
  const Case cases[] = {
      {&TForm_main::Btn_I_Save_BaudrateClick, "AT+BAU=6\r"},
      {&TForm_main::Btn_I_Save_PABClick, "AT+PAB=E\r"},
      {&TForm_main::Btn_I_Save_HFClick, "AT+HF=0\r"},
  };
  form.Edit_I_Baudrate.SetItemIndex(6);
  form.Edit_I_PAB.SetItemIndex(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    f.channel.writes.clear();
    f.platform.ClearRecords();
    ((*f.form).*c.save)();
    EXPECT_EQ(LineTexts(f.channel), Strings{c.line});
    EXPECT_EQ(f.platform.Messages(), Strings{kReconnect});
    EXPECT_TRUE(f.channel.connected);
    EXPECT_TRUE(edit_test::StepPauses(f.platform).empty());
  }
  // With the port closed only the closed-port message.
  ClosePort();
  f.platform.ClearRecords();
  form.Btn_I_Save_PABClick();
  EXPECT_EQ(f.platform.Messages(), Strings{kClosed});
}

TEST_F(EditorTest, CombinedButtonsRunBothSavesWithTheirPause) {
  struct Case {
    TButton TForm_main::*button;
    Strings lines;
    int pause;
  };
  using F = TForm_main;
  form.Edit_S_Ptype.SetItemIndex(1);
  form.Edit_I_Did.SetText("77");
  form.Edit_I_Did_485.SetText("88");
  const Case cases[] = {
      {&F::Btn_S_Save_Ptype_Ptp, {"AT+PTYPE=1\r", "AT+PTP=0\r"}, 100},
      {&F::Btn_I_Save_Ptype_Did, {"AT+PTYPE=0\r", "AT+DID=77\r"}, 400},
      {&F::Btn_I_Save_Ptype_Did_485, {"AT+485+PTYPE=0\r", "AT+485+DID=88\r"}, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(((*f.form).*c.button).Name());
    f.channel.writes.clear();
    f.platform.ClearRecords();
    ((*f.form).*c.button).Click();
    const auto sent = edit_test::SentLines(f.channel);
    EXPECT_EQ(LineTexts(f.channel), c.lines);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].at_ms - sent[0].at_ms,
              5 * static_cast<int64_t>(sent[0].bytes.size()) + c.pause);
  }
}

TEST_F(EditorTest, CombinedButtonSendsThePortTypeEvenWhenTheIdentifierIsRefused) {
  form.Edit_I_Did.SetText("0");
  form.Btn_I_Save_Ptype_DidClick();
  EXPECT_EQ(LineTexts(f.channel), Strings{"AT+PTYPE=0\r"});
  EXPECT_EQ(f.platform.Messages(), Strings{"Destination ID Range : 1~16777215"});
  EXPECT_EQ(form.ActiveControl(), &form.Edit_I_Did);
}

TEST_F(EditorTest, ModeAndLengthListsShowTheirPanelsAndSendNothing) {
  form.Edit_R_Mode.UserSelect(1);
  EXPECT_TRUE(form.Panel_R_Relay.Visible());
  form.Edit_R_Mode.UserSelect(0);
  EXPECT_FALSE(form.Panel_R_Relay.Visible());

  struct Case {
    TComboBox TForm_main::*length;
    TPanel TForm_main::*panel;
  };
  using F = TForm_main;
  const Case cases[] = {
      {&F::Edit_S_STXLen, &F::Panel_S_STX},         {&F::Edit_S_ETXLen, &F::Panel_S_ETX},
      {&F::Edit_I_STXLen, &F::Panel_I_STX},         {&F::Edit_I_ETXLen, &F::Panel_I_ETX},
      {&F::Edit_I_STXLen_485, &F::Panel_I_STX_485}, {&F::Edit_I_ETXLen_485, &F::Panel_I_ETX_485},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(((*f.form).*c.length).Name());
    for (int n : {1, 0, 3, 0, 2}) {
      ((*f.form).*c.length).UserSelect(n);
      EXPECT_EQ(((*f.form).*c.panel).Visible(), n > 0) << n;
    }
  }
  EXPECT_TRUE(f.channel.writes.empty());
  EXPECT_TRUE(f.platform.dialogs.empty());
}

}  // namespace
}  // namespace velimo::forms
