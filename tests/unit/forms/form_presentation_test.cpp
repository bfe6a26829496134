// The window's look before, during and after a connection; Clear Info;
// the tab colours; the Trace menu.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/form_fixture.h"

namespace velimo::forms {
namespace {

using test::FormFixture;

std::vector<TPanel*> SettingsGroups(TForm_main& w) {
  return {&w.Panel_S_Info_Device, &w.Panel_S_Info_LoRa,       &w.Panel_S_Info_Encryption,
          &w.Panel_Info_Admin_S,  &w.Panel_S_Info_Serial,     &w.Panel_R_Info_Device,
          &w.Panel_R_Info_LoRa,   &w.Panel_Info_Admin_R,      &w.Panel_I_Info_Device,
          &w.Panel_I_Info_LoRa,   &w.Panel_I_Info_Encryption, &w.Panel_I_Info_Serial,
          &w.Panel_I_Info_485};
}

TEST(Presentation, BeforeAnyConnectionGroupsDisabledAndInfoPanelsHidden) {
  for (const char* device : {"s", "u", "r", "i"}) {
    SCOPED_TRACE(device);
    FormFixture f;
    f.WriteSettings(std::string("[MACHINE]\nDevice=") + device + "\n");
    f.Activate();
    TForm_main& w = *f.form;
    for (TPanel* g : SettingsGroups(w)) EXPECT_FALSE(g->Enabled()) << g->Name();
    // Every editor and button inside them is unusable too.
    const std::vector<Control*> inside = {&w.Edit_S_Did, &w.Btn_S_Save_Baudrate, &w.Edit_I_AESKey,
                                          &w.CB_R_Ch, &w.Btn_I_Save_Ptype_Did_485};
    for (Control* c : inside) EXPECT_FALSE(c->Usable()) << c->Name();
    for (TPanel* p : {&w.Panel_S_Info, &w.Panel_R_Info, &w.Panel_I_Info})
      EXPECT_FALSE(p->Visible()) << p->Name();
    EXPECT_FALSE(w.LB_S_FwVer.Showing());
    EXPECT_FALSE(w.Btn_S_CurrentStatus.Enabled());
    EXPECT_FALSE(w.Btn_FactoryReset.Enabled());
    EXPECT_FALSE(w.Disconnect1.Enabled());
    EXPECT_TRUE(w.ConnectN1.Enabled());
    EXPECT_TRUE(w.Device1.Enabled());
  }
}

struct SetCase {
  const char* device;
  int page;
  std::vector<const char*> groups;  // enabled while connected
  std::vector<const char*> labels;  // reset on disconnect
  const char* info_panel;
};

std::vector<SetCase> SetCases() {
  return {
      {"s",
       kPageSInfo,
       {"Panel_S_Info_Device", "Panel_S_Info_LoRa", "Panel_S_Info_Serial",
        "Panel_S_Info_Encryption", "Panel_Info_Admin_S"},
       {"LB_S_FwVer", "LB_S_SID", "LB_S_DID", "LB_S_Country", "LB_S_Ch", "LB_S_Sf", "LB_S_Encrypt",
        "LB_S_Ptype", "LB_S_Baudrate", "LB_S_Parity", "LB_S_Databit", "LB_S_Stopbit", "LB_S_Hf"},
       "Panel_S_Info"},
      {"u",
       kPageSInfo,
       {"Panel_S_Info_Device", "Panel_S_Info_LoRa", "Panel_S_Info_Serial",
        "Panel_S_Info_Encryption", "Panel_Info_Admin_S"},
       {"LB_S_FwVer", "LB_S_Hf"},
       "Panel_S_Info"},
      {"r",
       kPageRInfo,
       {"Panel_R_Info_Device", "Panel_R_Info_LoRa", "Panel_Info_Admin_R"},
       {"LB_R_FwVer", "LB_R_SID", "LB_R_Country", "LB_R_Ch", "LB_R_Sf", "LB_R_Mode", "LB_R_Rid1",
        "LB_R_Rid2"},
       "Panel_R_Info"},
      {"i",
       kPageIInfo,
       {"Panel_I_Info_Device", "Panel_I_Info_LoRa", "Panel_I_Info_Serial",
        "Panel_I_Info_Encryption", "Panel_I_Info_485"},
       {"LB_I_FwVer", "LB_I_SID", "LB_I_Ch", "LB_I_Sf", "LB_I_Band", "LB_I_Encrypt", "LB_I_Ptype",
        "LB_I_DID", "LB_I_Baudrate", "LB_I_Parity", "LB_I_Databit", "LB_I_Stopbit", "LB_I_Hf"},
       "Panel_I_Info"},
  };
}

bool Listed(const std::vector<const char*>& names, const Control* c) {
  for (const char* n : names)
    if (std::string(n) == c->Name()) return true;
  return false;
}

TEST(Presentation, ConnectedAndDisconnectedFollowTheCheckedModel) {
  for (const SetCase& c : SetCases()) {
    SCOPED_TRACE(c.device);
    FormFixture f;
    f.WriteSettings(std::string("[MACHINE]\nDevice=") + c.device + "\n");
    f.Activate();
    TForm_main& w = *f.form;
    w.PageControl1.SetActivePageIndex(kPageISerial);
    f.Connect();
    EXPECT_EQ(w.PageControl1.ActivePageIndex(), c.page);
    for (TPanel* g : SettingsGroups(w)) EXPECT_EQ(g->Enabled(), Listed(c.groups, g)) << g->Name();
    const bool io = std::string(c.device) == "i";
    for (TButton* b : {&w.Btn_I_ATModeOn, &w.Btn_I_ATModeOff}) {
      EXPECT_EQ(b->Enabled(), io) << b->Name();
      EXPECT_EQ(b->Visible(), io) << b->Name();
    }
    EXPECT_TRUE(w.Disconnect1.Enabled());
    EXPECT_TRUE(w.Panel_Left_Main.Enabled());
    EXPECT_TRUE(w.Btn_FactoryReset.Enabled());
    EXPECT_TRUE(w.Btn_S_CurrentStatus.Enabled());
    EXPECT_FALSE(w.ConnectN1.Enabled());
    EXPECT_FALSE(w.COMSetup1.Enabled());
    EXPECT_FALSE(w.Device1.Enabled());
    EXPECT_TRUE(w.reboot1.Enabled());
    EXPECT_FALSE(w.reboot1.Visible());
    // The administrator group is usable but still hidden.
    EXPECT_FALSE(w.Panel_Info_Admin_S.Visible());
    EXPECT_FALSE(w.Panel_Info_Admin_R.Visible());

    // The modem answered: its information is shown.
    Control* info = w.FindControl(c.info_panel);
    info->SetVisible(true);
    for (const char* name : c.labels) w.FindControl(name)->SetCaption("42");
    w.LB_S_Summary_Info.SetCaption("kept");
    w.Edit_S_Did.SetText("77");
    w.PageControl1.SetActivePageIndex(kPageSLoRa);

    f.Disconnect();
    EXPECT_EQ(w.PageControl1.ActivePageIndex(), c.page);
    for (TPanel* g : SettingsGroups(w)) EXPECT_FALSE(g->Enabled()) << g->Name();
    EXPECT_FALSE(info->Visible());
    for (const char* name : c.labels) EXPECT_EQ(w.FindControl(name)->Caption(), "no info") << name;
    EXPECT_EQ(w.LB_S_Summary_Info.Caption(), "kept");
    EXPECT_EQ(w.Edit_S_Did.Text(), "77");
    EXPECT_FALSE(w.Btn_I_ATModeOn.Visible());
    EXPECT_FALSE(w.Disconnect1.Enabled());
    EXPECT_FALSE(w.Panel_Left_Main.Enabled());
    EXPECT_FALSE(w.Btn_FactoryReset.Enabled());
    EXPECT_FALSE(w.Btn_S_CurrentStatus.Enabled());
    EXPECT_TRUE(w.ConnectN1.Enabled());
    EXPECT_TRUE(w.COMSetup1.Enabled());
    EXPECT_TRUE(w.Device1.Enabled());
    EXPECT_FALSE(w.reboot1.Enabled());
    // Neither presentation sends or shows anything by itself.
    EXPECT_TRUE(f.channel.writes.empty());
    EXPECT_TRUE(f.platform.dialogs.empty());
  }
}

TEST(Presentation, DisconnectClearsOnlyTheCheckedSet) {
  FormFixture f;
  f.WriteSettings("[MACHINE]\nDevice=r\n");
  f.Activate();
  TForm_main& w = *f.form;
  f.Connect();
  w.LB_S_FwVer.SetCaption("1.2");
  w.Panel_S_Info.SetVisible(true);
  f.Disconnect();
  EXPECT_EQ(w.LB_S_FwVer.Caption(), "1.2");
  EXPECT_TRUE(w.Panel_S_Info.Visible());
}

TEST(ClearInfo, ResetsExactlyTheListedLabels) {
  const struct {
    void (TForm_main::*handler)();
    const char* button;
    std::vector<const char*> labels;
  } cases[] = {
      {&TForm_main::Btn_S_Clear_InfoClick, "Btn_S_Clear_Info", SetCases()[0].labels},
      {&TForm_main::Btn_R_Clear_InfoClick, "Btn_R_Clear_Info", SetCases()[2].labels},
      {&TForm_main::Btn_I_Clear_InfoClick, "Btn_I_Clear_Info", SetCases()[3].labels},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    for (bool through_button : {false, true}) {
      FormFixture f;
      TForm_main& w = *f.form;
      std::vector<TLabel*> all;
      for (Control* ctl : w.AllControls())
        if (ctl->Kind() == ControlKind::Label) {
          ctl->SetCaption("value");
          all.push_back(static_cast<TLabel*>(ctl));
        }
      if (through_button)
        w.FindControl(c.button)->Click();
      else
        (w.*c.handler)();
      for (TLabel* label : all)
        EXPECT_EQ(label->Caption(), Listed(c.labels, label) ? "no info" : "value") << label->Name();
    }
  }
}

TEST(TabDrawing, ActiveTabsColouredByIndexInactiveInButtonFace) {
  FormFixture f;
  TForm_main& w = *f.form;
  const Rgb colours[] = {{128, 128, 0}, {192, 220, 192}, {0, 255, 255}, {0, 128, 0},
                         {255, 255, 0}, {0, 128, 128},   {0, 128, 128}, {0, 128, 128}};
  for (int i = 0; i < kPageCount; ++i) {
    SCOPED_TRACE(i);
    const TabDrawing active = w.PageControl1DrawTab(i, true);
    EXPECT_FALSE(active.system_face);
    EXPECT_EQ(active.brush, colours[i]);
    EXPECT_TRUE(active.outlined);
    EXPECT_EQ(active.text_dx, 8);
    EXPECT_EQ(active.text_dy, 3);
    EXPECT_EQ(active.text, w.PageControl1.pages[static_cast<size_t>(i)]->Caption());
    const TabDrawing inactive = w.PageControl1DrawTab(i, false);
    EXPECT_TRUE(inactive.system_face);
    EXPECT_FALSE(inactive.outlined);
    EXPECT_EQ(inactive.text_dx, 4);
    EXPECT_EQ(inactive.text_dy, 3);
    EXPECT_EQ(inactive.text, active.text);
  }
  EXPECT_EQ(w.PageControl1DrawTab(9, true).text, "");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TraceMenu, ViewLogTraceTogglesPaneSizeAndOption) {
  FormFixture f;
  f.WriteSettings("[MACHINE]\nViewTraceMenu=1\n");
  f.Activate();
  TForm_main& w = *f.form;
  ASSERT_FALSE(w.Memo.Visible());
  w.ViewLogTrace1.Click();
  EXPECT_TRUE(w.ViewLogTrace1.Checked());
  EXPECT_TRUE(w.Memo.Visible());
  EXPECT_EQ(w.Window.Height(), 803);
  EXPECT_EQ(w.ViewLogTrace, "1");
  w.ViewLogTrace1.Click();
  EXPECT_FALSE(w.ViewLogTrace1.Checked());
  EXPECT_FALSE(w.Memo.Visible());
  EXPECT_EQ(w.Window.Width(), 1020);
  EXPECT_EQ(w.Window.Height(), 675);
  EXPECT_EQ(w.ViewLogTrace, "0");
  // Lines keep reaching the hidden pane.
  w.LogWriteStr("hidden");
  EXPECT_EQ(w.Trace().Pane().Lines().back(), "[10:00:00]  hidden");
}

TEST(TraceMenu, SaveLogFileSwitchesTheFileForTheNextLine) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  const std::string log = f.Dir() + "/Log/Velimo_20240131.log";
  w.LogWriteStr("before");
  EXPECT_FALSE(std::filesystem::exists(log));
  w.SaveLogFile1.Click();
  EXPECT_TRUE(w.SaveLogFile1.Checked());
  EXPECT_EQ(w.SaveLogTrace, "1");
  w.LogWriteStr("during");
  w.SaveLogFile1.Click();
  EXPECT_FALSE(w.SaveLogFile1.Checked());
  EXPECT_EQ(w.SaveLogTrace, "0");
  w.LogWriteStr("after");
  EXPECT_EQ(ReadFile(log), "[10:00:00]  during\r\n");
}

TEST(TraceMenu, SaveLogTraceSettingWritesFromActivationOn) {
  FormFixture f;
  f.WriteSettings("[MACHINE]\nSaveLogTrace=1\n");
  f.Activate();
  f.form->LogWriteStr("x");
  EXPECT_EQ(ReadFile(f.Dir() + "/Log/Velimo_20240131.log"), "[10:00:00]  x\r\n");
}

TEST(TraceMenu, ClearTraceEmptiesThePaneOnly) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  w.SaveLogFile1Click();
  w.LogWriteStr("kept in file");
  ASSERT_FALSE(w.Trace().Pane().Lines().empty());
  w.ClearTrace1.Click();
  EXPECT_TRUE(w.Trace().Pane().Lines().empty());
  EXPECT_EQ(ReadFile(f.Dir() + "/Log/Velimo_20240131.log"), "[10:00:00]  kept in file\r\n");
}

}  // namespace
}  // namespace velimo::forms
