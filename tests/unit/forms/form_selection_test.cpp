// Model selection, the left buttons and the administrator groups.
#include <gtest/gtest.h>

#include <functional>

#include "support/form_fixture.h"

namespace velimo::forms {
namespace {

using test::FormFixture;

struct SelectCase {
  const char* name;
  void (TForm_main::*handler)();
  TMenuItem TForm_main::*item;
  const char* code;
  TLabel TForm_main::*summary;
  const char* caption;
  const char* status;
  bool serial_enabled;
  int page;
};

TEST(ModelSelection, EachHandlerAppliesItsRow) {
  const SelectCase cases[] = {
      {"sTavi", &TForm_main::sTavi1Click, &TForm_main::sTavi1, "s", &TForm_main::LB_S_Summary_Info,
       "sTavi Information", "  sTavi", true, kPageSInfo},
      {"uTavi", &TForm_main::uTavi1Click, &TForm_main::uTavi1, "u", &TForm_main::LB_S_Summary_Info,
       "uTavi Information", "  uTavi", true, kPageSInfo},
      {"rTavi", &TForm_main::rTavi1Click, &TForm_main::rTavi1, "r", &TForm_main::LB_R_Summary_Info,
       "rTavi Information", "  rTavi", false, kPageRInfo},
      {"ioTavi", &TForm_main::ioTavi1Click, &TForm_main::ioTavi1, "i",
       &TForm_main::LB_I_Summary_Info, "ioTavi Information", "  ioTavi", true, kPageIInfo},
  };
  // From every model to every model, so a check mark left over or a
  // Serial button not restored shows.
  for (const SelectCase& from : cases) {
    for (const SelectCase& to : cases) {
      SCOPED_TRACE(std::string(from.name) + " -> " + to.name);
      FormFixture f;
      f.Activate();
      TForm_main& w = *f.form;
      (w.*from.handler)();
      // The summary caption of the other S model must be replaced.
      (w.*to.handler)();
      for (TMenuItem* item : {&w.sTavi1, &w.uTavi1, &w.rTavi1, &w.ioTavi1})
        EXPECT_EQ(item->Checked(), item == &(w.*to.item)) << item->Name();
      EXPECT_EQ(w.ModelCode, to.code);
      EXPECT_EQ((w.*to.summary).Caption(), to.caption);
      EXPECT_EQ(w.StatusBar1.PanelText(0), to.status);
      EXPECT_EQ(w.Btn_Left_Serial.Enabled(), to.serial_enabled);
      EXPECT_EQ(w.PageControl1.ActivePageIndex(), to.page);
      // The Info section is chosen: its glyph selected, factory button shown.
      EXPECT_EQ(w.Btn_Left_Info.Glyph(), 1);
      EXPECT_TRUE(w.Btn_FactoryReset.Visible());
    }
  }
}

TEST(ModelSelection, MenuItemsRunTheirHandlers) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  ASSERT_EQ(w.Device1.items.size(), 4u);
  w.Device1.items[2]->Click();
  EXPECT_TRUE(w.rTavi1.Checked());
  w.Device1.items[3]->Click();
  EXPECT_TRUE(w.ioTavi1.Checked());
  w.Device1.items[0]->Click();
  EXPECT_TRUE(w.sTavi1.Checked());
}

TEST(ModelSelection, PinMapFollowsSTaviAndUTaviOnly) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  const struct {
    void (TForm_main::*handler)();
    bool pin_map;
  } steps[] = {
      {&TForm_main::uTavi1Click, false},  {&TForm_main::rTavi1Click, false},
      {&TForm_main::ioTavi1Click, false}, {&TForm_main::sTavi1Click, true},
      {&TForm_main::rTavi1Click, true},   {&TForm_main::ioTavi1Click, true},
      {&TForm_main::uTavi1Click, false},
  };
  int n = 0;
  for (const auto& step : steps) {
    (w.*step.handler)();
    EXPECT_EQ(w.Img_S_PinMap.Visible(), step.pin_map) << "step " << n;
    ++n;
  }
}

TEST(ModelSelection, SerialButtonDisabledForRTaviOnly) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  w.rTavi1Click();
  EXPECT_FALSE(w.Btn_Left_Serial.Enabled());
  w.ioTavi1Click();
  EXPECT_TRUE(w.Btn_Left_Serial.Enabled());
  w.rTavi1Click();
  w.uTavi1Click();
  EXPECT_TRUE(w.Btn_Left_Serial.Enabled());
}

TEST(ModelSelection, SendsNothingWhileDisconnected) {
  FormFixture f;
  f.Activate();
  f.form->rTavi1Click();
  f.form->Btn_Left_LoRaClick();
  f.form->Btn_Left_SerialClick();
  EXPECT_TRUE(f.channel.writes.empty());
  EXPECT_TRUE(f.platform.dialogs.empty());
}

struct NavCase {
  const char* code;
  void (TForm_main::*button)();
  int page;  // -1: unchanged
  int glyphs[3];
  bool factory_shown;
};

TEST(SectionNavigation, PagesGlyphsAndFactoryButton) {
  const NavCase cases[] = {
      {"s", &TForm_main::Btn_Left_InfoClick, kPageSInfo, {1, 2, 4}, true},
      {"s", &TForm_main::Btn_Left_LoRaClick, kPageSLoRa, {0, 3, 4}, false},
      {"s", &TForm_main::Btn_Left_SerialClick, kPageSSerial, {0, 2, 5}, false},
      {"u", &TForm_main::Btn_Left_InfoClick, kPageSInfo, {1, 2, 4}, true},
      {"u", &TForm_main::Btn_Left_LoRaClick, kPageSLoRa, {0, 3, 4}, false},
      {"u", &TForm_main::Btn_Left_SerialClick, kPageSSerial, {0, 2, 5}, false},
      {"r", &TForm_main::Btn_Left_InfoClick, kPageRInfo, {1, 2, 4}, true},
      {"r", &TForm_main::Btn_Left_LoRaClick, kPageRLoRa, {0, 3, 4}, false},
      {"r", &TForm_main::Btn_Left_SerialClick, -1, {0, 2, 5}, false},
      {"i", &TForm_main::Btn_Left_InfoClick, kPageIInfo, {1, 2, 4}, true},
      {"i", &TForm_main::Btn_Left_LoRaClick, kPageILoRa, {0, 3, 4}, false},
      {"i", &TForm_main::Btn_Left_SerialClick, kPageISerial, {0, 2, 5}, false},
      {"S", &TForm_main::Btn_Left_InfoClick, -1, {1, 2, 4}, true},
      {"S", &TForm_main::Btn_Left_LoRaClick, -1, {0, 3, 4}, false},
      {"S", &TForm_main::Btn_Left_SerialClick, -1, {0, 2, 5}, false},
  };
  for (const NavCase& c : cases) {
    FormFixture f;
    f.Activate();
    TForm_main& w = *f.form;
    w.ModelCode = c.code;
    // Start from a page no case goes to, with the opposite factory state.
    w.PageControl1.SetActivePageIndex(kPageRLoRa == c.page ? kPageSSerial : kPageRLoRa);
    const int before = w.PageControl1.ActivePageIndex();
    w.Btn_FactoryReset.SetVisible(!c.factory_shown);
    (w.*c.button)();
    SCOPED_TRACE(std::string(c.code) + " page " + std::to_string(c.page));
    EXPECT_EQ(w.PageControl1.ActivePageIndex(), c.page < 0 ? before : c.page);
    EXPECT_EQ(w.Btn_Left_Info.Glyph(), c.glyphs[0]);
    EXPECT_EQ(w.Btn_Left_LoRa.Glyph(), c.glyphs[1]);
    EXPECT_EQ(w.Btn_Left_Serial.Glyph(), c.glyphs[2]);
    EXPECT_EQ(w.Btn_FactoryReset.Visible(), c.factory_shown);
  }
}

TEST(SectionNavigation, WhileConnectedEachButtonSendsTheStatusQueryOnce) {
  const struct {
    const char* code;
    void (TForm_main::*button)();
    bool aes_query;  // the query ran with the sTavi/uTavi LoRa page active
  } cases[] = {
      {"s", &TForm_main::Btn_Left_InfoClick, false},
      {"s", &TForm_main::Btn_Left_LoRaClick, true},
      {"u", &TForm_main::Btn_Left_LoRaClick, true},
      {"s", &TForm_main::Btn_Left_SerialClick, false},
      {"r", &TForm_main::Btn_Left_LoRaClick, false},
      {"r", &TForm_main::Btn_Left_SerialClick, false},
      {"i", &TForm_main::Btn_Left_LoRaClick, false},
      {"x", &TForm_main::Btn_Left_InfoClick, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    FormFixture f;
    f.WriteSettings(std::string("[MACHINE]\nDevice=") + c.code + "\n");
    f.Activate();
    f.Connect();
    (f.form.get()->*c.button)();
    EXPECT_EQ(f.channel.Written(), "AT&V\r");
    f.platform.Advance(1500);
    EXPECT_EQ(f.channel.Written(), c.aes_query ? "AT&V\rAT&E\r" : "AT&V\r");
  }
}

TEST(ModelSelection, WhileConnectedSelectingAModelQueriesTheModem) {
  FormFixture f;
  f.Activate();
  f.Connect();
  f.form->rTavi1Click();
  EXPECT_EQ(f.channel.Written(), "AT&V\r");
  EXPECT_EQ(f.form->PageControl1.ActivePage(), &f.form->TS_R_Info);
}

TEST(SectionNavigation, LeftButtonsRunTheirHandlers) {
  FormFixture f;
  f.Activate();
  f.Connect();
  TForm_main& w = *f.form;
  w.Btn_Left_LoRa.Click();
  EXPECT_EQ(w.PageControl1.ActivePage(), &w.TS_S_LoRa);
  w.Btn_Left_Serial.Click();
  EXPECT_EQ(w.PageControl1.ActivePage(), &w.TS_S_Serial);
  w.Btn_Left_Info.Click();
  EXPECT_EQ(w.PageControl1.ActivePage(), &w.TS_S_Info);
}

// The administrator group of a page set, with what the toggle switches.
struct AdminSet {
  const char* name;
  TPanel TForm_main::*admin;
  TEdit TForm_main::*sid;
  TButton TForm_main::*save_sid;
  TComboBox TForm_main::*country;
  TButton TForm_main::*save_country;
  int32_t TForm_main::*counter;
};

const AdminSet kAdminS{"S",
                       &TForm_main::Panel_Info_Admin_S,
                       &TForm_main::Edit_S_Sid,
                       &TForm_main::Btn_S_Save_Sid,
                       &TForm_main::Edit_S_Country,
                       &TForm_main::Btn_S_Save_Country,
                       &TForm_main::AdminClicks_S};
const AdminSet kAdminR{"R",
                       &TForm_main::Panel_Info_Admin_R,
                       &TForm_main::Edit_R_Sid,
                       &TForm_main::Btn_R_Save_Sid,
                       &TForm_main::Edit_R_Country,
                       &TForm_main::Btn_R_Save_Country,
                       &TForm_main::AdminClicks_R};

void ExpectAdmin(TForm_main& w, const AdminSet& set, bool on) {
  EXPECT_EQ((w.*set.admin).Visible(), on) << set.name;
  EXPECT_EQ((w.*set.sid).Enabled(), on) << set.name;
  EXPECT_EQ((w.*set.save_sid).Visible(), on) << set.name;
  EXPECT_EQ((w.*set.country).Enabled(), on) << set.name;
  EXPECT_EQ((w.*set.save_country).Visible(), on) << set.name;
}

TEST(AdministratorPanels, ToggledOnAndOffByHeaderClicks) {
  const struct {
    const char* header;
    const AdminSet& set;
    const AdminSet& other;
  } cases[] = {
      {"Panel_Device_head_S", kAdminS, kAdminR},
      {"Panel12", kAdminS, kAdminR},
      {"Panel_Device_head_R", kAdminR, kAdminS},
  };
  const int n = TForm_main::kAdminClickCount;
  ASSERT_GE(n, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    FormFixture f;
    f.Activate();
    TForm_main& w = *f.form;
    Control* header = w.FindControl(c.header);
    ASSERT_NE(header, nullptr);
    for (int i = 1; i < n; ++i) header->Click();
    ExpectAdmin(w, c.set, false);
    EXPECT_EQ(w.*c.set.counter, n - 1);
    header->Click();
    ExpectAdmin(w, c.set, true);
    EXPECT_EQ(w.*c.set.counter, 0);
    ExpectAdmin(w, c.other, false);  // the other page set is left alone
    EXPECT_EQ(w.*c.other.counter, 0);
    for (int i = 1; i < n; ++i) header->Click();
    ExpectAdmin(w, c.set, true);
    header->Click();
    ExpectAdmin(w, c.set, false);
    EXPECT_EQ(w.*c.set.counter, 0);
  }
}

TEST(AdministratorPanels, Panel12SharesTheSCounterAndLeavesTheIPagesAlone) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  const int n = TForm_main::kAdminClickCount;
  for (int i = 1; i < n; ++i) w.Panel_Device_head_S.Click();
  w.Panel12.Click();  // the last click may come from the ioTavi page
  ExpectAdmin(w, kAdminS, true);
  EXPECT_FALSE(w.Edit_I_Sid.Enabled());
  EXPECT_FALSE(w.Btn_I_Save_Sid.Visible());
  EXPECT_FALSE(w.Edit_I_Country.Enabled());
  EXPECT_FALSE(w.Btn_I_Save_Country.Visible());
}

}  // namespace
}  // namespace velimo::forms
