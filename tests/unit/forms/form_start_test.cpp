// The window's creation and its first activation: the settings decide the
// model, the trace options and the window's size.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/form_fixture.h"
#include "util/version.h"

namespace velimo::forms {
namespace {

using test::FormFixture;

std::vector<std::string> PaneLines(TForm_main& form) {
  return form.Trace().Pane().Lines();
}

TEST(FormCreate, FirstTraceLineVersionAndCounters) {
  FormFixture f;
  EXPECT_EQ(PaneLines(*f.form), std::vector<std::string>{"[10:00:00]  Start Velimo..."});
  EXPECT_EQ(f.form->Lb_PGVersion.Caption(), std::string("Version ") + velimo::kVersion);
  EXPECT_FALSE(f.form->Lb_PGVersion.Visible());
  EXPECT_EQ(f.form->AdminClicks_S, 0);
  EXPECT_EQ(f.form->AdminClicks_R, 0);
  EXPECT_EQ(f.form->ResponseFlag, 0);
  EXPECT_EQ(f.form->PortErrorCount, 0);
  // The log-file switch is still off: no Log directory appears.
  EXPECT_FALSE(std::filesystem::exists(f.Dir() + "/Log"));
  EXPECT_FALSE(f.form->Activated());
}

TEST(FormActivate, FirstStartWithoutSettingsFile) {
  FormFixture f;
  f.Activate();
  TForm_main& w = *f.form;
  EXPECT_TRUE(w.sTavi1.Checked());
  EXPECT_FALSE(w.uTavi1.Checked());
  EXPECT_FALSE(w.rTavi1.Checked());
  EXPECT_FALSE(w.ioTavi1.Checked());
  EXPECT_EQ(w.ModelCode, "s");
  EXPECT_EQ(w.StatusBar1.PanelText(0), "  sTavi");
  EXPECT_EQ(w.StatusBar1.PanelText(1), "Disconnected");
  EXPECT_EQ(w.PageControl1.ActivePage(), &w.TS_S_Info);
  EXPECT_TRUE(w.Img_S_PinMap.Visible());
  EXPECT_FALSE(w.Trace1.Visible());
  EXPECT_FALSE(w.Memo.Visible());
  EXPECT_FALSE(w.ViewLogTrace1.Checked());
  EXPECT_FALSE(w.SaveLogFile1.Checked());
  EXPECT_EQ(w.Window.Width(), 1020);
  EXPECT_EQ(w.Window.Height(), 675);
  EXPECT_FALSE(w.Panel_Left_Main.Enabled());
  EXPECT_FALSE(w.Btn_Left_Info.Usable());
  for (TPage* page : w.PageControl1.pages) EXPECT_FALSE(page->TabVisible()) << page->Name();
  // Reading creates no settings file and sends nothing.
  EXPECT_FALSE(std::filesystem::exists(f.SettingsPath()));
  EXPECT_TRUE(f.channel.writes.empty());
}

struct DeviceCase {
  const char* device;
  const char* checked;  // nullptr: no model item checked
  int page;
  const char* status;
};

TEST(FormActivate, DeviceSettingSelectsTheModelExactly) {
  const DeviceCase cases[] = {
      {"s", "sTavi1", kPageSInfo, "  sTavi"},
      {"u", "uTavi1", kPageSInfo, "  uTavi"},
      {"r", "rTavi1", kPageRInfo, "  rTavi"},
      {"i", "ioTavi1", kPageIInfo, "  ioTavi"},  // its menu item is hidden
      {"S", nullptr, -1, ""},
      {"I", nullptr, -1, ""},
      {"x", nullptr, -1, ""},
      {"ss", nullptr, -1, ""},
      {"", nullptr, -1, ""},
  };
  for (const DeviceCase& c : cases) {
    SCOPED_TRACE(c.device);
    FormFixture f;
    f.WriteSettings(std::string("[MACHINE]\nDevice=") + c.device + "\n");
    f.Activate();
    TForm_main& w = *f.form;
    for (TMenuItem* item : {&w.sTavi1, &w.uTavi1, &w.rTavi1, &w.ioTavi1})
      EXPECT_EQ(item->Checked(), c.checked && std::string(item->Name()) == c.checked)
          << item->Name();
    EXPECT_EQ(w.PageControl1.ActivePageIndex(), c.page);
    EXPECT_EQ(w.StatusBar1.PanelText(0), c.status);
    // An unknown code is kept as read, to be written back unchanged.
    EXPECT_EQ(w.ModelCode, c.device);
  }
}

TEST(FormActivate, DeviceIShowsTheHiddenIoTavi) {
  FormFixture f;
  f.WriteSettings("[MACHINE]\nDevice=i\n");
  f.Activate();
  EXPECT_FALSE(f.form->ioTavi1.Visible());
  EXPECT_TRUE(f.form->ioTavi1.Checked());
  EXPECT_EQ(f.form->LB_I_Summary_Info.Caption(), "ioTavi Information");
  EXPECT_EQ(f.form->PageControl1.ActivePage(), &f.form->TS_I_Info);
}

TEST(FormActivate, CapitalCodeLeavesThePageAreaEmptyUntilAModelIsChosen) {
  FormFixture f;
  f.WriteSettings("[MACHINE]\nDevice=S\n");
  f.Activate();
  EXPECT_EQ(f.form->PageControl1.ActivePage(), nullptr);
  f.form->Device1.items[1]->Click();  // the operator picks uTavi
  EXPECT_TRUE(f.form->uTavi1.Checked());
  EXPECT_EQ(f.form->PageControl1.ActivePage(), &f.form->TS_S_Info);
  EXPECT_EQ(f.form->ModelCode, "u");
}

struct TraceOptionCase {
  const char* view_menu;
  const char* view_trace;
  const char* save_log;
  bool menu_shown, pane_shown, log_on;
  int height;
};

TEST(FormActivate, TraceOptionsCountOnlyTheExactTextOne) {
  const TraceOptionCase cases[] = {
      {"1", "1", "1", true, true, true, 803},    {"0", "0", "0", false, false, false, 675},
      {"1", "0", "0", true, false, false, 675},  {"0", "1", "0", false, true, false, 803},
      {"0", "0", "1", false, false, true, 675},  {"01", "yes", "true", false, false, false, 675},
      {" 1", "1 ", "2", true, true, false, 803},  // blanks around values are ignored
  };
  for (const TraceOptionCase& c : cases) {
    SCOPED_TRACE(std::string(c.view_menu) + "/" + c.view_trace + "/" + c.save_log);
    FormFixture f;
    f.WriteSettings(std::string("[MACHINE]\nViewTraceMenu=") + c.view_menu +
                    "\nViewLogTrace=" + c.view_trace + "\nSaveLogTrace=" + c.save_log + "\n");
    f.Activate();
    TForm_main& w = *f.form;
    EXPECT_EQ(w.Trace1.Visible(), c.menu_shown);
    EXPECT_EQ(w.Memo.Visible(), c.pane_shown);
    EXPECT_EQ(w.ViewLogTrace1.Checked(), c.pane_shown);
    EXPECT_EQ(w.SaveLogFile1.Checked(), c.log_on);
    EXPECT_EQ(w.Window.Width(), 1020);
    EXPECT_EQ(w.Window.Height(), c.height);
  }
}

TEST(FormActivate, RunsOnceOnly) {
  FormFixture f;
  f.WriteSettings("[MACHINE]\nDevice=r\nViewLogTrace=1\n");
  f.Activate();
  TForm_main& w = *f.form;
  ASSERT_TRUE(w.rTavi1.Checked());
  // The operator changes model and hides the pane; the settings file changes
  // too. A later activation of the window must not undo any of it.
  w.sTavi1Click();
  w.ViewLogTrace1Click();
  f.WriteSettings("[MACHINE]\nDevice=i\nViewLogTrace=1\nViewTraceMenu=1\n");
  w.FormActivate();
  EXPECT_TRUE(w.sTavi1.Checked());
  EXPECT_EQ(w.ModelCode, "s");
  EXPECT_FALSE(w.Memo.Visible());
  EXPECT_EQ(w.Window.Height(), 675);
  EXPECT_FALSE(w.Trace1.Visible());
  EXPECT_EQ(w.ViewLogTrace, "0");
}

TEST(LoadSettingsFile, PortLineSettingsThroughTheirConversions) {
  struct Case {
    const char* section;
    serial::TBaudRate baud;
    serial::TDataBits data;
    serial::TStopBits stop;
    serial::TParityBits parity;
    const char* port;
  };
  const Case cases[] = {
      {"", serial::br9600, serial::dbEight, serial::sbOneStopBit, serial::prNone, "COM1"},
      {"ComPort=/dev/ttyUSB0\nBaudRate=115200\nDataBits=7\nStopBits=2\nParity=even\n",
       serial::br115200, serial::dbSeven, serial::sbTwoStopBits, serial::prEven, "/dev/ttyUSB0"},
      {"ComPort=COM3\nBaudRate=Custom\nDataBits=9\nStopBits=3\nParity=Mark\n", serial::brCustom,
       serial::dbEight, serial::sbOneStopBit, serial::prMark, "COM3"},
      {"BaudRate=921600\nParity=bogus\nStopBits=1.5\n", serial::br9600, serial::dbEight,
       serial::sbOne5StopBits, serial::prNone, "COM1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    FormFixture f;
    f.WriteSettings(std::string("[EnvBoard]\n") + c.section);
    f.form->LoadSettingsFile();
    const PortLineSettings& p = f.form->ComPortSettings;
    EXPECT_EQ(p.ComPort, c.port);
    EXPECT_EQ(p.BaudRate, c.baud);
    EXPECT_EQ(p.DataBits, c.data);
    EXPECT_EQ(p.StopBits, c.stop);
    EXPECT_EQ(p.Parity, c.parity);
    // ... and the port component has them.
    const serial::TComPort& port = f.form->ComPortEnvBoard;
    EXPECT_EQ(port.Port(), c.port);
    EXPECT_EQ(port.BaudRate(), c.baud);
    EXPECT_EQ(port.DataBits(), c.data);
    EXPECT_EQ(port.StopBits(), c.stop);
    EXPECT_EQ(port.Parity().Bits(), c.parity);
    EXPECT_FALSE(port.Connected());
  }
}

}  // namespace
}  // namespace velimo::forms
