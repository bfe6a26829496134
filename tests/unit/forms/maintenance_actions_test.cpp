// The maintenance actions: the two resets with their confirmations, AT
// mode, the frequency calibration and the RS-485 query.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sent_lines.h"
#include "util/errors.h"

namespace velimo::forms {
namespace {

using edit_test::EditorTest;
using edit_test::kClosed;
using edit_test::LineTexts;
using Kind = test::TestPlatform::DialogKind;
using Strings = std::vector<std::string>;

constexpr const char* kDisconnected = "     Disconnected.     ";
constexpr const char* kCalibration = "at+44Pivot_318Offset_Trim_Adjustment9127=";

TEST_F(EditorTest, ResetsAskFirstAndOnlyNoStops) {
  struct Case {
    const char* name;
    Control& control;
    const char* question;
    const char* line;
    bool disconnects;
  };
  const Case cases[] = {
      {"system reset", form.Btn_SystemReset, "Trying to System Reset. Continue? ", "AT&Z\r", false},
      {"reboot menu", form.reboot1, "Trying to System Reset. Continue? ", "AT&Z\r", false},
      {"factory reset", form.Btn_FactoryReset, "Continue factory reset?", "AT&F\r", true},
  };
  for (const Case& c : cases) {
    for (bool yes : {false, true}) {
      for (bool open : {true, false}) {
        SCOPED_TRACE(std::string(c.name) + (yes ? " yes" : " no") + (open ? " open" : " closed"));
        f.channel.writes.clear();
        f.channel.connected = open;
        f.platform.ClearRecords();
        f.platform.confirm_answer = [&](std::string_view) { return yes; };
        c.control.Click();

        Strings dialogs;
        for (const auto& d : f.platform.dialogs) dialogs.push_back(d.text);
        Strings expected{c.question};
        if (yes && !open) expected.push_back(kClosed);
        if (yes && open && c.disconnects) expected.push_back(kDisconnected);
        EXPECT_EQ(dialogs, expected);
        EXPECT_EQ(f.platform.dialogs.front().kind, Kind::Confirm);
        EXPECT_EQ(LineTexts(f.channel), yes && open ? Strings{c.line} : Strings{});
        // Only a sent factory reset closes the link.
        EXPECT_EQ(f.channel.connected, open && !(yes && c.disconnects));
      }
    }
  }
}

TEST_F(EditorTest, ConfirmedFactoryResetTracesTheLineBeforeDisconnecting) {
  form.Btn_FactoryResetClick();
  const Strings trace = edit_test::TraceMessages(form);
  std::string line = "Send AT Command : AT&F\r";
  line.resize(18 + 20, '\0');
  size_t sent = trace.size(), bye = trace.size();
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i] == line) sent = i;
    if (trace[i] == "Trying DisConnection from Device.") bye = i;
  }
  ASSERT_LT(sent, trace.size());
  ASSERT_LT(bye, trace.size());
  EXPECT_LT(sent, bye);
  EXPECT_FALSE(f.channel.connected);
}

TEST_F(EditorTest, FactoryResetWithAFailingPortKeepsTheLink) {
  f.channel.fail_on_write = 2;
  form.Btn_FactoryResetClick();
  EXPECT_EQ(f.platform.Messages(), Strings{"Serial Port ERROR!!"});
  EXPECT_TRUE(f.channel.connected);
}

TEST_F(EditorTest, AtModeAnnouncesItselfAlsoWithThePortClosed) {
  struct Case {
    void (TForm_main::*action)();
    const char* announcement;
    std::string line;
  };
  const Case cases[] = {
      {&TForm_main::Btn_I_ATModeOnClick, "Send AT Mode On Command to ioTavi... ", "+++"},
      {&TForm_main::Btn_I_ATModeOffClick, "Send AT Mode Off Command to ioTavi... ", "AT&O\r"},
  };
  for (const Case& c : cases) {
    for (bool open : {true, false}) {
      SCOPED_TRACE(std::string(c.announcement) + (open ? "open" : "closed"));
      f.channel.writes.clear();
      f.channel.connected = open;
      f.platform.ClearRecords();
      form.Trace().Pane().Clear();
      ((*f.form).*c.action)();
      Strings trace = edit_test::TraceMessages(form);
      ASSERT_FALSE(trace.empty());
      EXPECT_EQ(trace.front(), c.announcement);
      if (open) {
        EXPECT_EQ(f.channel.Written(), c.line);
        EXPECT_EQ(f.channel.writes.size(), c.line.size());
        std::string buffer = c.line;
        buffer.resize(5, '\0');  // "+++" and two zero bytes
        ASSERT_EQ(trace.size(), 2u);
        EXPECT_EQ(trace[1], "Send AT Command : " + buffer);
        EXPECT_TRUE(f.platform.dialogs.empty());
      } else {
        EXPECT_EQ(trace.size(), 1u);
        EXPECT_EQ(f.platform.Messages(), Strings{kClosed});
      }
    }
  }
}

TEST_F(EditorTest, CalibrationSendsTheSignedAmountInItsFiftyByteBuffer) {
  struct Case {
    void (TForm_main::*save)();
    TComboBox TForm_main::*sign;
    TEdit TForm_main::*amount;
    int sign_index;
    const char* text;
    const char* value;  // nullptr: refused
  };
  using F = TForm_main;
  const Case cases[] = {
      {&F::Btn_S_Save_FreqClick, &F::CB_S_LoRa_Freq_PM, &F::Edit_S_LoRa_Freq, 1, "250", "-250"},
      {&F::Btn_S_Save_FreqClick, &F::CB_S_LoRa_Freq_PM, &F::Edit_S_LoRa_Freq, 0, "40000", "40000"},
      {&F::Btn_R_Save_FreqClick, &F::CB_R_LoRa_Freq_PM, &F::Edit_R_LoRa_Freq, 1, "0", "-0"},
      {&F::Btn_R_Save_FreqClick, &F::CB_R_LoRa_Freq_PM, &F::Edit_R_LoRa_Freq, 1, "40000", "-40000"},
      {&F::Btn_S_Save_FreqClick, &F::CB_S_LoRa_Freq_PM, &F::Edit_S_LoRa_Freq, 0, "40001", nullptr},
      {&F::Btn_R_Save_FreqClick, &F::CB_R_LoRa_Freq_PM, &F::Edit_R_LoRa_Freq, 1, "40001", nullptr},
      {&F::Btn_S_Save_FreqClick, &F::CB_S_LoRa_Freq_PM, &F::Edit_S_LoRa_Freq, 1, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " -> " + (c.value ? c.value : "refused"));
    f.channel.writes.clear();
    f.platform.ClearRecords();
    ((*f.form).*c.sign).SetItemIndex(c.sign_index);
    ((*f.form).*c.amount).SetText(c.text);
    const size_t traced = edit_test::TracedSends(form).size();
    ((*f.form).*c.save)();
    if (c.value) {
      const std::string line = std::string(kCalibration) + c.value + "\r";
      EXPECT_EQ(LineTexts(f.channel), Strings{line});
      const Strings sends = edit_test::TracedSends(form);
      ASSERT_EQ(sends.size(), traced + 1);
      std::string buffer = line;
      buffer.resize(50, '\0');
      EXPECT_EQ(sends.back(), buffer);
    } else {
      EXPECT_TRUE(f.channel.writes.empty());
      EXPECT_EQ(f.platform.Messages(), Strings{"LoRa Frequency Range : -40000~40000"});
      EXPECT_EQ(form.ActiveControl(), &((*f.form).*c.amount));
    }
  }
}

TEST_F(EditorTest, CalibrationMinus250WritesFortySixBytesAndTracesFifty) {
  form.CB_S_LoRa_Freq_PM.UserSelect(1);
  form.Edit_S_LoRa_Freq.SetText("250");
  form.Btn_S_Save_Freq.Click();
  EXPECT_EQ(f.channel.writes.size(), 46u);
  const Strings sends = edit_test::TracedSends(form);
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].size(), 50u);
}

TEST_F(EditorTest, CalibrationAmountThatIsNoNumberIsAConversionError) {
  form.Edit_R_LoRa_Freq.SetText("4 0");
  EXPECT_THROW(form.Btn_R_Save_FreqClick(), EConvertError);
  EXPECT_TRUE(f.channel.writes.empty());
}

TEST_F(EditorTest, Rs485QueryButtonSendsTheQuery) {
  form.Edit_I_Get_Info_485.Click();
  EXPECT_EQ(LineTexts(f.channel), Strings{"AT+485?\r"});
}

}  // namespace
}  // namespace velimo::forms
