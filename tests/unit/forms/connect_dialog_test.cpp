// The connect dialog on its own: its controls as the window defines them,
// and what each showing refreshes (port list, stored port settings) and
// what it keeps (the flow-control choice).
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "forms/controls/accessible_names.h"
#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "serial/device_events.h"
#include "serial/port_list.h"
#include "support/fake_system.h"
#include "support/test_platform.h"

namespace velimo::forms {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

std::vector<std::string> ComOneToTwenty() {
  std::vector<std::string> v;
  for (int i = 1; i <= 20; ++i) v.push_back("COM" + std::to_string(i));
  return v;
}

class ConnectDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velimo_connect_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ini_ = (dir_ / "Velimo.INI").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteIni(const std::string& text) { std::ofstream(ini_) << text; }

  // ports: what the system lists at each showing; nullopt: unreadable.
  TForm_Connect& Make(std::optional<Names> ports) {
    ports_ = std::move(ports);
    // The port list is made up; so is the system tree that would describe
    // its entries (an empty folder).
    main_.SystemRoots = serial::SystemRoots::Under(dir_.string());
    dialog_.emplace(
        main_, [this] { return ports_; }, ini_);
    return *dialog_;
  }

  test::TestPlatform platform_;
  TForm_main main_{platform_};
  fs::path dir_;
  std::string ini_;
  std::optional<Names> ports_;
  std::optional<TForm_Connect> dialog_;
};

TEST_F(ConnectDialogTest, ControlsStartAsTheWindowDefinesThem) {
  TForm_Connect& d = Make(Names{"COM3"});
  EXPECT_STREQ(d.Frame().caption, "Connect");
  EXPECT_EQ(d.Frame().client_width, 334);
  EXPECT_EQ(d.Frame().client_height, 261);
  EXPECT_TRUE(d.Frame().center_on_owner);
  EXPECT_FALSE(d.Frame().minimize_button);

  EXPECT_TRUE(d.CB_ComPort.Items().empty());
  EXPECT_EQ(d.CB_ComPort.Text(), "");
  EXPECT_EQ(d.Edit_Baudrate.Items(),
            (Names{"600", "1200", "2400", "3600", "4800", "7200", "9600", "19200", "38400", "57600",
                   "115200", "230400", "460800", "921600"}));
  EXPECT_EQ(d.Edit_Baudrate.ItemIndex(), 0);
  EXPECT_EQ(d.Edit_PAB.Items(), (Names{"None", "Odd", "Even"}));
  EXPECT_EQ(d.Edit_PAB.ItemIndex(), 0);
  EXPECT_EQ(d.Edit_FlowCtrl.Items(), (Names{"OFF", "RTS/CTS"}));
  EXPECT_EQ(d.Edit_FlowCtrl.ItemIndex(), 0);
  for (const TEdit* e : {&d.Edit_DataBit, &d.Edit_StopBit}) {
    EXPECT_FALSE(e->Enabled()) << e->Name();
    EXPECT_EQ(e->MaxLength(), 1) << e->Name();
  }
  EXPECT_EQ(d.Edit_DataBit.Text(), "8");
  EXPECT_EQ(d.Edit_StopBit.Text(), "1");
  EXPECT_EQ(d.Btn_Connect.Caption(), "Connect");
  EXPECT_EQ(d.Btn_Cancel.Caption(), "Cancel");

  // One panel holding the rows in order, each control inside it.
  std::vector<std::string> texts;
  d.Layout().Walk([&](const LayoutNode& n) {
    if (n.type == NodeType::Text) texts.push_back(n.text);
  });
  EXPECT_EQ(texts,
            (Names{"Port", "Baudrate", "Parity Bit", "Data Bit", "Stop Bit", "Flow Control"}));
  const auto controls = ControlsOf(d.Layout());
  // The nine of the window definition, Find Modem beside the port, and
  // the status line above the buttons, hidden until there is something
  // to say.
  ASSERT_EQ(controls.size(), 11u);
  EXPECT_EQ(controls[2], &d.Btn_FindModem);
  EXPECT_EQ(controls[8], &d.LB_Status);
  EXPECT_FALSE(d.LB_Status.Visible());
  EXPECT_EQ(d.Btn_FindModem.Caption(), "Find Modem");
  // Find Modem is read as what it says, Cancel while it scans; the
  // editors keep their rows' names.
  const AccessibleNames names = NameControls(d.Layout());
  EXPECT_TRUE(names.at(&d.Btn_FindModem).follows_caption);
  EXPECT_FALSE(names.at(&d.Edit_Baudrate).follows_caption);
  EXPECT_EQ(controls[0], &d.Panel1);
  for (size_t i = 1; i < controls.size(); ++i) EXPECT_EQ(controls[i]->Parent(), &d.Panel1);
}

TEST_F(ConnectDialogTest, BaudEntriesAppliedAsFreeNumbers) {
  const int rates[] = {600,   1200,  2400,  3600,   4800,   7200,   9600,
                       19200, 38400, 57600, 115200, 230400, 460800, 921600};
  const bool custom[] = {false, false, false, true,  false, true, false,
                         false, false, true,  false, true,  true, true};
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(TForm_Connect::BaudEntryRate(i), rates[i]) << i;
    EXPECT_EQ(TForm_Connect::IsCustomBaudEntry(i), custom[i]) << i;
  }
  EXPECT_EQ(TForm_Connect::BaudEntryRate(-1), 0);
  EXPECT_EQ(TForm_Connect::BaudEntryRate(14), 0);
  // The one rule for the dialog and a profile's link switch: each entry as
  // named or free number, and a rate that is no entry as a free number.
  for (int rate : {600, 3600, 9600, 57600, 115200, 921600, 14400, 250000}) {
    serial::TComPort port;
    port.SetBaudRate(serial::br110);
    port.SetCustomBaudRate(1);
    TForm_Connect::SetPortRate(port, rate);
    const int* entry = std::find(std::begin(rates), std::end(rates), rate);
    const bool named = entry != std::end(rates) && !custom[entry - std::begin(rates)];
    EXPECT_EQ(port.BaudRate() == serial::brCustom, !named) << rate;
    if (!named) {
      EXPECT_EQ(port.CustomBaudRate(), rate) << rate;
    }
    EXPECT_EQ(port.EffectiveBaudRate(), rate) << rate;
  }
}

TEST_F(ConnectDialogTest, EachShowingReadsThePortListAndTheStoredPort) {
  struct Case {
    const char* name;
    std::optional<Names> ports;
    const char* ini;  // nullptr: no settings file
    Names items;
    std::string text;
  };
  const Case cases[] = {
      {"listed ports, no file: the default port replaces the first entry", Names{"COM3", "COM1"},
       nullptr, Names{"COM3", "COM1"}, "COM1"},
      {"stored port not in the list is still the text", Names{"/dev/ttyUSB0", "/dev/ttyS0"},
       "[EnvBoard]\nComPort=/dev/ttyUSB7\n", Names{"/dev/ttyUSB0", "/dev/ttyS0"}, "/dev/ttyUSB7"},
      {"no ports at all", Names{}, nullptr, Names{"No COM Port"}, "COM1"},
      {"list unreadable", std::nullopt, "[EnvBoard]\nComPort=COM4\n", ComOneToTwenty(), "COM4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(ini_);
    if (c.ini) WriteIni(c.ini);
    TForm_Connect& d = Make(c.ports);
    d.ShowModal();
    EXPECT_TRUE(d.Showing());
    EXPECT_EQ(d.CB_ComPort.Items(), c.items);
    EXPECT_EQ(d.CB_ComPort.Text(), c.text);
  }
}

TEST_F(ConnectDialogTest, ClassicNamesAreAddedOnceOnly) {
  // An empty stored name leaves the text empty after every showing; the
  // twenty names must still not pile up.
  WriteIni("[EnvBoard]\nComPort=\n");
  TForm_Connect& d = Make(std::nullopt);
  for (int showing = 0; showing < 3; ++showing) {
    d.ShowModal();
    EXPECT_EQ(d.CB_ComPort.Items(), ComOneToTwenty());
    EXPECT_EQ(d.CB_ComPort.Text(), "");
    d.Btn_CancelClick();
  }
}

TEST_F(ConnectDialogTest, ListReadAgainAtEachShowing) {
  TForm_Connect& d = Make(Names{"/dev/ttyUSB0"});
  d.ShowModal();
  d.Btn_CancelClick();
  ports_ = Names{"/dev/ttyACM0", "/dev/ttyUSB0"};
  d.ShowModal();
  EXPECT_EQ(d.CB_ComPort.Items(), (Names{"/dev/ttyACM0", "/dev/ttyUSB0"}));
  // Later unreadable: the last list stays, and the text is not empty, so
  // nothing is added.
  d.Btn_CancelClick();
  ports_ = std::nullopt;
  d.ShowModal();
  EXPECT_EQ(d.CB_ComPort.Items(), (Names{"/dev/ttyACM0", "/dev/ttyUSB0"}));
}

TEST_F(ConnectDialogTest, StoredBaudAndParitySelectTheirEntries) {
  struct Case {
    const char* baud;
    const char* parity;
    int baud_index;
    int parity_index;
  };
  const Case cases[] = {
      {"115200", "Even", 10, 2}, {"57600", "Odd", 9, 1},  {"921600", "None", 13, 0},
      {"Custom", "even", 6, 0},  {"9600 ", "Mark", 6, 0}, {"600", "Space", 0, 0},
      {"110", "Odd", 6, 1},      {"", "", 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.baud) + "/" + c.parity);
    // The reader trims blanks around values, so "9600 " reads as "9600".
    WriteIni(std::string("[EnvBoard]\nBaudRate=") + c.baud + "\nParity=" + c.parity + "\n");
    TForm_Connect& d = Make(Names{"COM1"});
    d.ShowModal();
    EXPECT_EQ(d.Edit_Baudrate.ItemIndex(), c.baud_index);
    EXPECT_EQ(d.Edit_PAB.ItemIndex(), c.parity_index);
  }
}

TEST_F(ConnectDialogTest, ReshowingRestoresStoredChoicesButKeepsFlowControl) {
  WriteIni("[EnvBoard]\nComPort=COM2\nBaudRate=19200\nParity=Odd\n");
  TForm_Connect& d = Make(Names{"COM1", "COM2"});
  d.ShowModal();
  d.CB_ComPort.UserSetText("/dev/ttyUSB3");
  d.Edit_Baudrate.UserSelect(13);
  d.Edit_PAB.UserSelect(2);
  d.Edit_FlowCtrl.UserSelect(1);
  d.Btn_CancelClick();
  EXPECT_FALSE(d.Showing());

  d.ShowModal();
  EXPECT_EQ(d.CB_ComPort.Text(), "COM2");
  EXPECT_EQ(d.Edit_Baudrate.ItemIndex(), 7);
  EXPECT_EQ(d.Edit_PAB.ItemIndex(), 1);
  EXPECT_EQ(d.Edit_FlowCtrl.ItemIndex(), 1);
  EXPECT_EQ(d.ShowCount(), 2);
}

TEST_F(ConnectDialogTest, PortBoxTakesTypedTextAndPickedEntries) {
  TEditComboBox box{"CB_ComPort"};
  int changes = 0;
  box.OnChange = [&] { ++changes; };
  box.SetItems({"COM1", "COM2"});
  box.SetItemIndex(1);
  EXPECT_EQ(box.Text(), "COM2");
  box.SetText("COM1");
  EXPECT_EQ(box.ItemIndex(), 0);
  box.SetText("/dev/ttyUSB0");
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_EQ(changes, 0);  // assigned, not typed
  box.UserSetText("ttyACM0");
  box.UserSelect(0);
  EXPECT_EQ(box.Text(), "COM1");
  EXPECT_EQ(changes, 2);
  box.SetItems({"X"});
  EXPECT_EQ(box.Text(), "COM1");  // the typed text survives a new list
  box.AddItem("Y");
  EXPECT_EQ(box.Items(), (Names{"X", "Y"}));
}

}  // namespace
}  // namespace velimo::forms

namespace velimo::forms {
namespace {

// Adapters plugged and pulled while the dialog is open, on a system tree
// of the test's own: the kernel's device events (inotify on the tree's
// /dev) reach the window within a second, the list follows with each
// adapter described, the operator's choice stays while its adapter is
// there, and a USB adapter is chosen by its by-id name.
TEST(ConnectDialogLive, FollowsPlugAndUnplugKeepingTheChoice) {
  test::FakeSystem sys;
  const std::string settings = sys.Root() + "/Velimo.INI";
  test::TestPlatform platform;
  TForm_main main(platform);
  main.SystemRoots = sys.Roots();
  main.SettingsPath = settings;
  TForm_Connect d(
      main,
      [&] {
        return serial::EnumerateSerialPorts(main.SystemRoots.sys_class_tty, main.SystemRoots.dev);
      },
      settings);
  serial::DeviceWatcher watcher(sys.Roots());
  ASSERT_GE(watcher.Fd(), 0);
  // Waits for the kernel to report a change and hands it to the window.
  auto deliver = [&] {
    pollfd p{watcher.Fd(), POLLIN, 0};
    const bool told = poll(&p, 1, 1000) == 1 && watcher.TakeChanges();
    if (told) main.Adapter.DevicesChanged();
    return told;
  };

  sys.PlugFtdi("1-1", "ttyUSB0", "A50285BI");
  ASSERT_TRUE(deliver());
  main.Form_Connect = &d;
  d.ShowModal();
  d.CB_ComPort.UserSelect(0);
  EXPECT_EQ(d.CB_ComPort.Items(), Names{"ttyUSB0 - FT232R USB UART, serial A50285BI"});
  const std::string byId0 = sys.Roots().by_id + "/" + test::FakeSystem::FtdiById("A50285BI");
  EXPECT_EQ(d.PortValue(), byId0);

  // A second adapter: it joins the list, the choice stays.
  sys.PlugFtdi("1-2", "ttyUSB1", "B0000007");
  ASSERT_TRUE(deliver()) << "no device event within a second";
  EXPECT_EQ(d.CB_ComPort.Items(), (Names{"ttyUSB0 - FT232R USB UART, serial A50285BI",
                                         "ttyUSB1 - FT232R USB UART, serial B0000007"}));
  EXPECT_EQ(d.PortValue(), byId0);
  // The operator picks the second; the first is pulled out.
  d.CB_ComPort.UserSelect(1);
  sys.PullFtdi("1-1", "ttyUSB0", "A50285BI");
  ASSERT_TRUE(deliver());
  EXPECT_EQ(d.CB_ComPort.Items(), Names{"ttyUSB1 - FT232R USB UART, serial B0000007"});
  EXPECT_EQ(d.CB_ComPort.Text(), "ttyUSB1 - FT232R USB UART, serial B0000007");
  // Nothing happens: nothing is reported.
  pollfd p{watcher.Fd(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 100), 0);
  // A name typed by the operator stays as typed through a change.
  d.CB_ComPort.UserSetText("/dev/ttyS4");
  sys.PlugFtdi("1-1", "ttyUSB0", "A50285BI");
  ASSERT_TRUE(deliver());
  EXPECT_EQ(d.CB_ComPort.Items().size(), 2u);
  EXPECT_EQ(d.PortValue(), "/dev/ttyS4");
  main.Form_Connect = nullptr;
}

}  // namespace
}  // namespace velimo::forms

namespace velimo::forms {
namespace {

bool TraceHas(TForm_main& main, const std::string& text) {
  for (const std::string& line : main.Trace().Pane().Lines())
    if (line.find(text) != std::string::npos) return true;
  return false;
}

// A removed USB adapter is known again by its serial number, whatever tty
// it comes back as; another adapter is not taken for it.
TEST(ReconnectAdapter, TheSameSerialNumberOnAnotherTty) {
  test::FakeSystem sys;
  test::TestPlatform platform;
  TForm_main main(platform);
  main.SystemRoots = sys.Roots();
  sys.PlugFtdi("1-1", "ttyUSB0", "A50285BI");
  main.Adapter.Connected(serial::IdentifyPort("ttyUSB0", sys.Roots()));
  sys.PullFtdi("1-1", "ttyUSB0", "A50285BI");
  main.ComPortEnvBoard.SetPort(sys.Root() + "/dev/ttyUSB0");
  main.Adapter.HungUp({});

  // Another adapter arrives: nothing is tried.
  sys.PlugFtdi("1-2", "ttyUSB0", "B0000007");
  main.Adapter.DevicesChanged();
  EXPECT_FALSE(TraceHas(main, "Adapter is back"));
  EXPECT_EQ(main.ComPortEnvBoard.Port(), sys.Root() + "/dev/ttyUSB0");

  // The adapter comes back as ttyUSB1: its by-id name is looked at (here
  // a plain file stands for the device, so the open is refused and the
  // reason traced; the next event tries again).
  sys.PlugFtdi("1-1", "ttyUSB1", "A50285BI");
  main.Adapter.DevicesChanged();
  const std::string byId = sys.Roots().by_id + "/" + test::FakeSystem::FtdiById("A50285BI");
  EXPECT_TRUE(TraceHas(
      main, "Adapter is back at Port[" + byId + "], but not connected: Not a serial device"));
  EXPECT_TRUE(main.Adapter.Awaiting());
  EXPECT_FALSE(main.ComPortEnvBoard.Connected());

  // Switched off in the settings: nothing is waited for after a removal.
  main.Adapter.LetGo();
  main.Adapter.SetReconnect(false);
  main.ComPortEnvBoardHangUp();
  EXPECT_FALSE(main.Adapter.Awaiting());
  EXPECT_EQ(main.StatusBar1.PanelText(1), "Disconnected (adapter removed)");
}

}  // namespace
}  // namespace velimo::forms
