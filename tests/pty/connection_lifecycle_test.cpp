// Connecting and disconnecting through the connect dialog on a real
// pseudo-terminal: the slave is the port, the master is the modem's end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "pty_fixture.h"
#include "settings/settings.h"
#include "support/test_platform.h"

namespace velimo::forms {
namespace {

using test::TestPlatform;
using Names = std::vector<std::string>;

class ConnectionPtyTest : public test::PtyTest {
 protected:
  void SetUp() override {
    PtyTest::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "velimo-conn-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    options_.settings_path = dir_ + "/Velimo.INI";
    options_.about_picture = dir_ + "/none.jpg";
    options_.ports = [this] { return ports_; };
    ports_ = Names{path_};
    Start();
  }
  void TearDown() override {
    app_.reset();
    std::filesystem::remove_all(dir_);
    PtyTest::TearDown();
  }

  // A start of the program: the windows made, the main window shown.
  void Start() {
    app_.reset();
    app_ = std::make_unique<TApplication>(platform_, options_);
    Main().Trace().SetBaseDir(dir_);
    app_->ShowMainWindow();
  }

  TForm_main& Main() { return app_->Form_main(); }
  TForm_Connect& Dialog() { return app_->Form_Connect(); }

  // The operator opens the dialog, picks and presses Connect.
  void Connect(const std::string& port, int baudIndex = 6, int flowIndex = 0) {
    Main().ConnectN1.Click();
    ASSERT_TRUE(Dialog().Showing());
    Dialog().CB_ComPort.UserSetText(port);
    Dialog().Edit_Baudrate.UserSelect(baudIndex);
    Dialog().Edit_FlowCtrl.UserSelect(flowIndex);
    Dialog().Btn_Connect.Click();
  }

  Names Trace() {
    Names out;
    for (const std::string& line : Main().Trace().Pane().Lines()) {
      out.push_back(line.size() >= 12 ? line.substr(12) : line);
    }
    return out;
  }

  bool TraceHas(const std::string& message) {
    const Names t = Trace();
    return std::find(t.begin(), t.end(), message) != t.end();
  }

  TestPlatform platform_;
  ApplicationOptions options_;
  std::optional<Names> ports_;
  std::string dir_;
  std::unique_ptr<TApplication> app_;
};

TEST_F(ConnectionPtyTest, ConnectOpensThePortAndAsksForTheStatus) {
  Connect(path_, /*115200*/ 10);
  TForm_main& m = Main();
  ASSERT_TRUE(m.ComPortEnvBoard.Connected()) << ::testing::PrintToString(platform_.Messages());

  const Names t = Trace();
  const auto trying = std::find(t.begin(), t.end(), "Trying Connection to Device... ");
  ASSERT_NE(trying, t.end());
  ASSERT_NE(trying + 1, t.end());
  EXPECT_EQ(*(trying + 1), "Connection Success to Port[" + path_ + "]");
  EXPECT_EQ(m.StatusBar1.PanelText(1), "Connected to [" + path_ + "]");

  // The connected presentation for sTavi.
  EXPECT_TRUE(m.Disconnect1.Enabled());
  EXPECT_FALSE(m.ConnectN1.Enabled());
  EXPECT_FALSE(m.COMSetup1.Enabled());
  EXPECT_FALSE(m.Device1.Enabled());
  EXPECT_TRUE(m.reboot1.Enabled());
  EXPECT_TRUE(m.Panel_Left_Main.Enabled());
  EXPECT_TRUE(m.Btn_S_CurrentStatus.Enabled());
  EXPECT_EQ(m.PageControl1.ActivePageIndex(), 0);
  EXPECT_FALSE(Dialog().Showing());
  EXPECT_TRUE(platform_.Messages().empty());

  // The line settings the dialog chose reached the port.
  EXPECT_EQ(m.ComPortEnvBoard.BaudRate(), serial::br115200);
  EXPECT_EQ(m.ComPortEnvBoard.EffectiveBaudRate(), 115200);
  EXPECT_EQ(m.ComPortEnvBoard.FlowControl().FlowControl(), serial::fcNone);
  EXPECT_EQ(m.ComPortEnvBoard.FlowControl().ControlDTR(), serial::dtrEnable);

  // The status query: its bytes arrive at the modem's end and the watchdog
  // is armed.
  EXPECT_EQ(MasterRead(5, 2000), "AT&V\r");
  EXPECT_TRUE(TraceHas("Send AT Command : AT&V\r"));
  EXPECT_TRUE(m.Timer_ConnectionResponse.Enabled());
}

TEST_F(ConnectionPtyTest, FreeNumberRatesAndHardwareFlowControl) {
  Connect(path_, /*921600*/ 13, /*RTS/CTS*/ 1);
  serial::TComPort& port = Main().ComPortEnvBoard;
  ASSERT_TRUE(port.Connected()) << ::testing::PrintToString(platform_.Messages());
  EXPECT_EQ(port.BaudRate(), serial::brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 921600);
  EXPECT_EQ(port.EffectiveBaudRate(), 921600);
  EXPECT_EQ(port.FlowControl().FlowControl(), serial::fcHardware);
  EXPECT_EQ(port.FlowControl().ControlDTR(), serial::dtrEnable);
}

TEST_F(ConnectionPtyTest, ARateRunLeavesItsTextForTheNextStart) {
  struct Case {
    int index;            // the entry connected with
    const char* written;  // BaudRate in the file after closing
    const char* custom;   // CustomBaudRate beside it ("" when not written)
  };
  // A rate the port holds as a free number is written as "Custom" with the
  // number beside it; the next start offers the very entry again.
  const Case cases[] = {
      {10, "115200", ""},    {13, "Custom", "921600"}, {9, "Custom", "57600"},
      {3, "Custom", "3600"}, {0, "600", ""},           {6, "9600", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written + std::string(" from entry ") + std::to_string(c.index));
    Connect(path_, c.index);
    ASSERT_TRUE(Main().ComPortEnvBoard.Connected());
    MasterRead(5, 2000);
    ASSERT_TRUE(app_->CloseMainWindow());
    const settings::Settings s = settings::LoadSettings(options_.settings_path);
    EXPECT_EQ(s.BaudRate, c.written);
    EXPECT_EQ(s.CustomBaudRate, c.custom);
    EXPECT_EQ(s.ComPort, path_);

    Start();
    Main().ConnectN1.Click();
    EXPECT_EQ(Dialog().Edit_Baudrate.ItemIndex(), c.index);
    EXPECT_EQ(Dialog().CB_ComPort.Text(), path_);
    Dialog().Btn_Cancel.Click();
  }
}

TEST_F(ConnectionPtyTest, APortThatCannotBeOpenedKeepsTheDialogOpen) {
  struct Case {
    const char* name;
    std::optional<Names> ports;
    std::string typed;  // empty: pick the first entry instead
  };
  const Case cases[] = {
      {"missing device", Names{path_}, "/dev/velimo-no-such-port"},
      {"No COM Port", Names{}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ports_ = c.ports;
    Start();
    platform_.ClearRecords();
    TForm_main& m = Main();
    m.Disconnect1.SetEnabled(true);  // so its disabling shows

    m.ConnectN1.Click();
    if (c.typed.empty()) {
      ASSERT_EQ(Dialog().CB_ComPort.Items(), Names{"No COM Port"});
      Dialog().CB_ComPort.UserSelect(0);
    } else {
      Dialog().CB_ComPort.UserSetText(c.typed);
    }
    Dialog().Btn_Connect.Click();

    // The fixed first line, then why.
    const std::string device = c.typed.empty() ? "/dev/No COM Port" : c.typed;
    const std::string reason = "No such device: " + device + " (unplugged or renamed).";
    EXPECT_EQ(platform_.Messages(),
              Names{"ERROR! Please check your serial port status.\n\n" + reason});
    EXPECT_TRUE(Dialog().Showing());
    EXPECT_FALSE(m.ComPortEnvBoard.Connected());
    EXPECT_FALSE(m.Disconnect1.Enabled());
    EXPECT_TRUE(m.ConnectN1.Enabled());
    EXPECT_EQ(m.StatusBar1.PanelText(1), "Disconnected");
    ASSERT_GE(Trace().size(), 2u);
    EXPECT_EQ(Trace()[Trace().size() - 2], "Trying Connection to Device... ");
    EXPECT_EQ(Trace().back(), reason);
    // The operator's choice is still there for another try.
    EXPECT_EQ(Dialog().CB_ComPort.Text(), c.typed.empty() ? "No COM Port" : c.typed);
    Dialog().Btn_Cancel.Click();
  }
}

TEST_F(ConnectionPtyTest, DisconnectAndConnectAgain) {
  Connect(path_);
  ASSERT_TRUE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(MasterRead(5, 2000), "AT&V\r");
  Main().LB_S_FwVer.SetCaption("1.3");

  Main().Disconnect1.Click();
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected");
  EXPECT_EQ(Main().LB_S_FwVer.Caption(), "no info");
  EXPECT_TRUE(TraceHas("Trying DisConnection from Device."));
  EXPECT_EQ(platform_.Messages(), Names{"     Disconnected.     "});
  EXPECT_TRUE(Main().ConnectN1.Enabled());

  // The device was released: the next connect takes it again.
  Connect(path_);
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(MasterRead(5, 2000), "AT&V\r");
}

TEST_F(ConnectionPtyTest, DisconnectWithoutAConnection) {
  Main().Disconnect1Click();
  EXPECT_EQ(platform_.Messages(), Names{"     Disconnected.     "});
  EXPECT_FALSE(TraceHas("Trying DisConnection from Device."));
  EXPECT_FALSE(Main().Disconnect1.Enabled());
  EXPECT_EQ(platform_.restarts, 0);
}

TEST_F(ConnectionPtyTest, UnpluggedAdapterThenDisconnect) {
  Connect(path_);
  serial::TComPort& port = Main().ComPortEnvBoard;
  ASSERT_TRUE(port.Connected());
  EXPECT_EQ(MasterRead(5, 2000), "AT&V\r");

  CloseMaster();
  // The event thread notices the hang-up and hands it over; the operator
  // disconnects before the window has served it.
  EXPECT_TRUE(WaitUntil([&] { return port.HasPendingEvents(); }, 2000));

  Main().Disconnect1Click();
  // The purge fails on a device that went away: the operator is told and
  // the program starts anew; this window is left as it was.
  EXPECT_EQ(platform_.Messages(), Names{"Serial Connection Lost!! Restarting Application."});
  EXPECT_EQ(platform_.restarts, 1);
  EXPECT_TRUE(port.Connected());
  EXPECT_TRUE(Main().Disconnect1.Enabled());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Connected to [" + path_ + "]");
  // The run ends without the close handler: nothing is written.
  EXPECT_TRUE(app_->Terminated());
  EXPECT_TRUE(app_->CloseMainWindow());
  EXPECT_FALSE(std::filesystem::exists(options_.settings_path));
  app_.reset();  // FormDestroy closes the gone port without a hang
}

TEST_F(ConnectionPtyTest, ClosingWhileConnectedWritesFirstAndSendsNothing) {
  Connect(path_, /*57600*/ 9);
  ASSERT_TRUE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(MasterRead(5, 2000), "AT&V\r");

  ASSERT_TRUE(app_->CloseMainWindow());
  // Written while the port is still open.
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(settings::LoadSettings(options_.settings_path).BaudRate, "Custom");

  app_.reset();                       // the windows are destroyed: the port closes
  EXPECT_EQ(MasterRead(1, 200), "");  // the modem received nothing at shutdown

  // The device is free again.
  serial::TComPort other;
  Configure(other);
  EXPECT_NO_THROW(other.OpenPort());
  EXPECT_TRUE(other.Connected());
  other.ClosePort();
}

}  // namespace
}  // namespace velimo::forms
