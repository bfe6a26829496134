// Disconnecting, line errors, the restart after a lost link, and the
// settings writer at close, on the test platform with a fake port.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "forms/application.h"
#include "serial/com_error.h"
#include "support/form_fixture.h"
#include "util/version.h"

namespace velimo::forms {
namespace {

using serial::TComErrors;
using test::FormFixture;
using test::TestPlatform;

// The messages of the trace pane without their "[HH:NN:SS]  " stamps.
std::vector<std::string> TraceMessages(TForm_main& form) {
  std::vector<std::string> out;
  for (const std::string& line : form.Trace().Pane().Lines()) {
    out.push_back(line.size() >= 12 ? line.substr(12) : line);
  }
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LifecycleTest : public ::testing::Test {
 protected:
  FormFixture f;
  TForm_main& form = *f.form;
};

TEST_F(LifecycleTest, LineErrorTagsCompareTheWholeSet) {
  struct Case {
    TComErrors errors;
    const char* expected;
  };
  TComErrors frameAndOverrun = serial::ceFrame;
  frameAndOverrun.Include(serial::ceOverrun);
  TComErrors breakAndIo = serial::ceBreak;
  breakAndIo.Include(serial::ceIO);
  const Case cases[] = {
      {serial::ceFrame, "CPort OnError Occured!! [ceFrame] sErrCnt=[1]"},
      // Two kinds together match no single tag: the blanks meet.
      {frameAndOverrun, "CPort OnError Occured!!  sErrCnt=[2]"},
      {serial::ceRxParity, "CPort OnError Occured!! [ceRxParity] sErrCnt=[3]"},
      {serial::ceOverrun, "CPort OnError Occured!! [ceOverrun] sErrCnt=[4]"},
      {serial::ceBreak, "CPort OnError Occured!! [ceBreak] sErrCnt=[5]"},
      {serial::ceIO, "CPort OnError Occured!! [ceIO] sErrCnt=[6]"},
      {serial::ceMode, "CPort OnError Occured!! [ceMode] sErrCnt=[7]"},
      {serial::ceRxOver, "CPort OnError Occured!! [ceRxOver] sErrCnt=[8]"},
      {serial::ceTxFull, "CPort OnError Occured!! [ceTxFull] sErrCnt=[9]"},
      {breakAndIo, "CPort OnError Occured!!  sErrCnt=[10]"},
  };
  f.Connect();
  int purges = f.channel.purges;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    form.ComPortEnvBoardError(c.errors);
    EXPECT_EQ(TraceMessages(form).back(), c.expected);
    EXPECT_EQ(f.channel.purges, ++purges);
  }
  EXPECT_TRUE(f.channel.connected);
  EXPECT_TRUE(f.platform.dialogs.empty());  // nothing shown to the operator
}

TEST_F(LifecycleTest, ErrorCountSurvivesDisconnectAndReconnect) {
  f.Connect();
  form.ComPortEnvBoardError(serial::ceFrame);
  form.Disconnect1Click();
  f.Connect();
  form.ComPortEnvBoardError(serial::ceFrame);
  EXPECT_EQ(form.PortErrorCount, 2);
  EXPECT_EQ(TraceMessages(form).back(), "CPort OnError Occured!! [ceFrame] sErrCnt=[2]");
}

TEST_F(LifecycleTest, FailedPurgeInTheErrorHandlerGoesBackToThePort) {
  // The port's event thread receives it and ends; nothing is shown.
  f.Connect();
  f.channel.fail_on_purge = true;
  f.channel.make_error = [] { throw serial::EComPort(serial::CError_PurgeFailed, 5); };
  EXPECT_THROW(form.ComPortEnvBoardError(serial::ceFrame), serial::EComPort);
  EXPECT_EQ(TraceMessages(form).back(), "CPort OnError Occured!! [ceFrame] sErrCnt=[1]");
  EXPECT_TRUE(f.platform.dialogs.empty());
}

TEST_F(LifecycleTest, DisconnectClosesThePortAndResetsTheWindow) {
  f.Activate();
  f.Connect();
  form.StatusBar1.SetPanelText(1, "Connected to [COM1]");
  form.LB_S_FwVer.SetCaption("1.3");
  const int purges = f.channel.purges;

  form.Disconnect1.Click();

  EXPECT_FALSE(f.channel.connected);
  EXPECT_EQ(f.channel.purges, purges + 1);
  EXPECT_EQ(TraceMessages(form).back(), "Trying DisConnection from Device.");
  EXPECT_EQ(form.StatusBar1.PanelText(1), "Disconnected");
  EXPECT_EQ(form.LB_S_FwVer.Caption(), "no info");
  EXPECT_FALSE(form.Disconnect1.Enabled());
  EXPECT_TRUE(form.ConnectN1.Enabled());
  EXPECT_TRUE(form.Device1.Enabled());
  EXPECT_FALSE(form.Panel_Left_Main.Enabled());
  EXPECT_FALSE(form.Panel_S_Info.Visible());
  EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{"     Disconnected.     "});
  EXPECT_EQ(f.platform.restarts, 0);
}

TEST_F(LifecycleTest, DisconnectWhenAlreadyClosedStillResetsTheWindow) {
  f.Activate();
  f.Connect();
  f.channel.connected = false;  // the link went away before
  form.Timer_ConnectionResponse.SetEnabled(true);
  const size_t traceLines = form.Trace().Pane().Lines().size();

  form.Disconnect1Click();

  EXPECT_EQ(form.Trace().Pane().Lines().size(), traceLines);  // no disconnect trace
  EXPECT_EQ(f.channel.purges, 0);
  EXPECT_FALSE(form.Disconnect1.Enabled());
  EXPECT_TRUE(form.ConnectN1.Enabled());
  EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{"     Disconnected.     "});
  // A disconnect does not stop the response watchdog.
  EXPECT_TRUE(form.Timer_ConnectionResponse.Enabled());
}

TEST_F(LifecycleTest, FailingDisconnectRestartsAndLeavesTheWindowConnected) {
  f.Activate();
  f.Connect();
  f.channel.fail_on_purge = true;
  f.channel.make_error = [] { throw serial::EComPort(serial::CError_PurgeFailed, 5); };

  form.Disconnect1Click();

  EXPECT_EQ(f.platform.Messages(),
            std::vector<std::string>{"Serial Connection Lost!! Restarting Application."});
  EXPECT_EQ(f.platform.restarts, 1);
  EXPECT_TRUE(form.RestartRequested());
  EXPECT_TRUE(f.channel.connected);
  EXPECT_TRUE(form.Disconnect1.Enabled());  // the presentation is left as it was
}

TEST_F(LifecycleTest, SettingsWrittenAtCloseInTheWritersOrder) {
  f.Activate();  // no file: the defaults
  form.SaveLogFile1Click();
  ASSERT_TRUE(form.FormClose());
  // The lines in the writer's order (blank lines are the file format's).
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(f.SettingsPath()));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  EXPECT_EQ(lines,
            (std::vector<std::string>{"[MACHINE]", "Device=s", "SaveLogTrace=1", "ViewTraceMenu=0",
                                      "ViewLogTrace=0", "[EnvBoard]", "ComPort=COM1",
                                      "BaudRate=9600", "DataBits=8", "StopBits=1", "Parity=None"}));
}

TEST_F(LifecycleTest, WriterStoresThePortsCurrentValues) {
  struct Case {
    serial::TBaudRate rate;
    int custom;
    serial::TParityBits parity;
    const char* baudText;
    const char* parityText;
  };
  const Case cases[] = {
      {serial::br115200, 0, serial::prEven, "115200", "Even"},
      {serial::brCustom, 921600, serial::prOdd, "Custom", "Odd"},
      {serial::brCustom, 57600, serial::prMark, "Custom", "Mark"},
      {serial::br600, 0, serial::prNone, "600", "None"},
  };
  f.WriteSettings("[MACHINE]\nDevice=X\n[EnvBoard]\nDataBits=7\nStopBits=2\n");
  f.Activate();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baudText);
    form.ComPortEnvBoard.SetPort("/dev/ttyUSB9");
    form.ComPortEnvBoard.SetBaudRate(c.rate);
    if (c.custom) form.ComPortEnvBoard.SetCustomBaudRate(c.custom);
    form.ComPortEnvBoard.Parity().SetBits(c.parity);
    ASSERT_TRUE(form.FormClose());
    const settings::Settings s = settings::LoadSettings(f.SettingsPath());
    EXPECT_EQ(s.Device, "X");  // an unknown model code goes back unchanged
    EXPECT_EQ(s.ComPort, "/dev/ttyUSB9");
    EXPECT_EQ(s.BaudRate, c.baudText);
    EXPECT_EQ(s.Parity, c.parityText);
    EXPECT_EQ(s.DataBits, "8");  // fixed, whatever the file held
    EXPECT_EQ(s.StopBits, "1");
  }
}

TEST_F(LifecycleTest, StoredPortSettingsReachThePortAtActivation) {
  // A run that never connects writes back what it read.
  f.WriteSettings("[EnvBoard]\nComPort=/dev/ttyACM1\nBaudRate=115200\nParity=Even\n");
  f.Activate();
  EXPECT_EQ(form.ComPortEnvBoard.Port(), "/dev/ttyACM1");
  EXPECT_EQ(form.ComPortEnvBoard.BaudRate(), serial::br115200);
  EXPECT_EQ(form.ComPortEnvBoard.Parity().Bits(), serial::prEven);
  ASSERT_TRUE(form.FormClose());
  const settings::Settings s = settings::LoadSettings(f.SettingsPath());
  EXPECT_EQ(s.ComPort, "/dev/ttyACM1");
  EXPECT_EQ(s.BaudRate, "115200");
  EXPECT_EQ(s.Parity, "Even");
}

TEST_F(LifecycleTest, UnwritableSettingsKeepTheWindowOpen) {
  f.Activate();
  const std::string bad = f.Dir() + "/missing/Velimo.INI";
  form.SettingsPath = bad;
  EXPECT_FALSE(form.FormClose());
  EXPECT_EQ(f.platform.Messages(TestPlatform::DialogKind::Error),
            std::vector<std::string>{"Unable to write to " + bad + "."});
  // The next close tries again, and succeeds once the file can be written.
  std::filesystem::create_directories(f.Dir() + "/missing");
  EXPECT_TRUE(form.FormClose());
  EXPECT_TRUE(std::filesystem::exists(bad));
}

// ---- The application object -------------------------------------------------

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("velimo_app_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    options_.settings_path = (dir_ / "Velimo.INI").string();
    options_.about_picture = (dir_ / "none.jpg").string();
    options_.ports = [] { return std::vector<std::string>{"/dev/ttyUSB0"}; };
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  TestPlatform platform_;
  std::filesystem::path dir_;
  ApplicationOptions options_;
};

TEST_F(ApplicationTest, StartsWithItsThreeWindowsDisconnected) {
  TApplication app(platform_, options_);
  EXPECT_STREQ(app.Title(), "Velimo");
  TForm_main& main = app.Form_main();
  EXPECT_EQ(TraceMessages(main), std::vector<std::string>{"Start Velimo..."});
  // The About window was made after the main window's creation handler.
  EXPECT_EQ(app.Form_Info().LB_APPVer.Caption(), std::string("Version ") + velimo::kVersion);
  EXPECT_FALSE(app.Form_Info().PictureLoaded());
  EXPECT_FALSE(app.Form_Connect().Showing());
  EXPECT_FALSE(main.ComPortEnvBoard.Connected());
  EXPECT_FALSE(main.Activated());

  app.ShowMainWindow();
  EXPECT_TRUE(main.Activated());
  EXPECT_TRUE(main.sTavi1.Checked());
  EXPECT_EQ(main.StatusBar1.PanelText(1), "Disconnected");

  // The menus show the windows the application made.
  main.About1.Click();
  EXPECT_TRUE(app.Form_Info().Showing());
  app.Form_Info().Close();
  main.ConnectN1.Click();
  EXPECT_TRUE(app.Form_Connect().Showing());
  EXPECT_EQ(app.Form_Connect().CB_ComPort.Items(), std::vector<std::string>{"/dev/ttyUSB0"});
  EXPECT_EQ(app.Form_Connect().CB_ComPort.Text(), "COM1");
  app.Form_Connect().Btn_Cancel.Click();
  EXPECT_FALSE(app.Form_Connect().Showing());
}

TEST_F(ApplicationTest, ClosingWritesTheSettingsOnce) {
  TApplication app(platform_, options_);
  app.ShowMainWindow();
  app.Form_main().rTavi1Click();
  EXPECT_FALSE(app.Terminated());
  EXPECT_TRUE(app.CloseMainWindow());
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(settings::LoadSettings(options_.settings_path).Device, "r");
}

TEST_F(ApplicationTest, RestartEndsTheRunWithoutWritingTheSettings) {
  const std::string stored = "[MACHINE]\nDevice=u\n";
  std::ofstream(options_.settings_path) << stored;
  TApplication app(platform_, options_);
  app.ShowMainWindow();
  app.Form_main().rTavi1Click();  // a choice of this run

  app.Form_main().RestartApplication();
  EXPECT_EQ(platform_.restarts, 1);
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(app.CloseMainWindow());
  EXPECT_EQ(ReadFile(options_.settings_path), stored);
}

TEST_F(ApplicationTest, EscapedErrorsGoToTheDefaultErrorReport) {
  TApplication app(platform_, options_);
  app.Run([] { throw Exception("'' is not a valid integer value"); });
  app.Run([] { throw Exception("Unable to write to ./Velimo.INI"); });
  app.Run([] { throw Exception("Done."); });
  app.Run([] {});
  EXPECT_EQ(platform_.Messages(TestPlatform::DialogKind::Error),
            (std::vector<std::string>{"'' is not a valid integer value.",
                                      "Unable to write to ./Velimo.INI.", "Done."}));
}

TEST_F(ApplicationTest, UnwritableSettingsKeepTheRunGoing) {
  options_.settings_path = (dir_ / "no_dir" / "Velimo.INI").string();
  TApplication app(platform_, options_);
  app.ShowMainWindow();
  EXPECT_FALSE(app.CloseMainWindow());
  EXPECT_FALSE(app.Terminated());
  EXPECT_EQ(platform_.Messages(TestPlatform::DialogKind::Error),
            std::vector<std::string>{"Unable to write to " + options_.settings_path + "."});
}

}  // namespace
}  // namespace velimo::forms
