// Connection lifecycle, start-up and shutdown: the port the window owns,
// the connect dialog and About window it shows, disconnecting, line
// errors, the restart after a lost link, and what closing and destroying
// the window do.
#include <cstdint>
#include <exception>
#include <utility>

#include "forms/form_main.h"
#include "serial/net/network_port.h"
#include "serial/port_list.h"
#include "util/errors.h"

namespace velimo::forms {

namespace {

// The line-error tags in the order the trace line tests them. The whole
// reported set is compared with each single kind, so two kinds reported
// together match none and leave the tag text empty.
constexpr std::pair<serial::TComError, const char*> kErrorTags[] = {
    {serial::ceFrame, "[ceFrame]"},     {serial::ceRxParity, "[ceRxParity]"},
    {serial::ceOverrun, "[ceOverrun]"}, {serial::ceBreak, "[ceBreak]"},
    {serial::ceIO, "[ceIO]"},           {serial::ceMode, "[ceMode]"},
    {serial::ceRxOver, "[ceRxOver]"},   {serial::ceTxFull, "[ceTxFull]"},
};

}  // namespace

void TForm_main::BindConnection() {
  // The port as the window's stored definition gives it, before the
  // settings file is read: a free-number rate of 9600, DTR held on, no
  // handshake.
  ComPortEnvBoard.SetBaudRate(serial::brCustom);
  ComPortEnvBoard.SetCustomBaudRate(9600);
  ComPortEnvBoard.Parity().SetBits(serial::prNone);
  ComPortEnvBoard.FlowControl().SetControlDTR(serial::dtrEnable);
  ComPortEnvBoard.FlowControl().SetControlRTS(serial::rtsDisable);
  ComPortEnvBoard.FlowControl().SetOutCTSFlow(false);
  ComPortEnvBoard.FlowControl().SetOutDSRFlow(false);
  ComPortEnvBoard.FlowControl().SetXonXoffOut(false);
  ComPortEnvBoard.FlowControl().SetXonXoffIn(false);
  ComPortEnvBoard.OnError = [this](serial::TComErrors errors) { ComPortEnvBoardError(errors); };
  // rfc2217:// and tcp:// names reach a port on the far side of the
  // network; every other name is a local device.
  ComPortEnvBoard.SetTransportFactory(serial::net::NetworkTransportFor);
  ComPortEnvBoard.OnHangUp = [this] { ComPortEnvBoardHangUp(); };
  PortList = [this] {
    return serial::EnumerateSerialPorts(SystemRoots.sys_class_tty, SystemRoots.dev);
  };

  ConnectN1.OnClick = [this] { ConnectN1Click(); };
  Disconnect1.OnClick = [this] { Disconnect1Click(); };
  About1.OnClick = [this] { About1Click(); };
}

// ---- Dialogs ----------------------------------------------------------------

void TForm_main::ConnectN1Click() {
  ShowConnectDialog();
}

void TForm_main::ShowConnectDialog() {
  if (!Form_Connect) {
    own_connect_ = std::make_unique<TForm_Connect>(*this, PortList, SettingsPath);
    Form_Connect = own_connect_.get();
  }
  Form_Connect->ShowModal();
}

void TForm_main::About1Click() {
  ShowAboutWindow();
}

void TForm_main::ShowAboutWindow() {
  if (!Form_Info) {
    own_info_ = std::make_unique<TForm_Info>(Lb_PGVersion, AboutPicturePath);
    Form_Info = own_info_.get();
  }
  Form_Info->ShowModal();
}

// ---- Disconnect -------------------------------------------------------------

void TForm_main::Disconnect1Click() {
  // The operator (or the watchdog) has let go of the link: a removed
  // adapter is no longer waited for.
  Adapter.LetGo();
  serial::ByteChannel& port = Port();
  if (port.Connected()) {
    try {
      LogWriteStr("Trying DisConnection from Device.");
      protocol::PurgeOnRecord(port, SendLink().received, &rx_lines_);
      port.ClosePort();
      StatusBar1.SetPanelText(1, "Disconnected");
    } catch (const std::exception&) {
      // The adapter is gone or the driver refuses: only a fresh start of
      // the program gets a clean port again.
      platform_.ShowMessage("Serial Connection Lost!! Restarting Application.");
      RestartApplication();
    }
  }
  // The block failed before the port was closed; the restart takes over.
  if (port.Connected()) return;
  // A port that was closed already (a lost link) claims nothing either;
  // a removed adapter keeps its own text.
  if (StatusBar1.PanelText(1).rfind("Disconnected", 0) != 0) {
    StatusBar1.SetPanelText(1, "Disconnected");
  }

  // Also when the port was closed already (the watchdog firing after the
  // link went away): the window returns to its disconnected look. The
  // response watchdog keeps running; only its own tick stops it.
  ApplyDisconnectedPresentation();
  platform_.ShowMessage("     Disconnected.     ");
}

// ---- Line errors ------------------------------------------------------------

void TForm_main::ComPortEnvBoardError(serial::TComErrors errors) {
  std::string tags;
  for (const auto& [kind, tag] : kErrorTags) {
    if (errors == kind) tags += tag;
  }
  // A signed 32-bit count that is never reset in a run; it wraps rather
  // than overflowing after 2^31 reports.
  PortErrorCount = static_cast<int32_t>(static_cast<uint32_t>(PortErrorCount) + 1u);
  LogWriteStr("CPort OnError Occured!! " + tags + " sErrCnt=[" + std::to_string(PortErrorCount) +
              "]");
  // Throws away whatever part of an answer the error spoiled (after putting
  // it on record).
  protocol::PurgeOnRecord(Port(), SendLink().received, &rx_lines_);
}

// ---- Restart, start-up and shutdown ------------------------------------------

void TForm_main::RestartApplication() {
  restart_requested_ = true;
  platform_.RestartApplication();
}

void TForm_main::ApplyPortLineSettings() {
  ComPortEnvBoard.SetPort(ComPortSettings.ComPort);
  ComPortEnvBoard.SetBaudRate(ComPortSettings.BaudRate);
  if (ComPortSettings.BaudRate == serial::brCustom && ComPortSettings.CustomBaudRate > 0) {
    ComPortEnvBoard.SetCustomBaudRate(ComPortSettings.CustomBaudRate);
  }
  ComPortEnvBoard.SetDataBits(ComPortSettings.DataBits);
  ComPortEnvBoard.SetStopBits(ComPortSettings.StopBits);
  ComPortEnvBoard.Parity().SetBits(ComPortSettings.Parity);
}

void TForm_main::SaveSettingsFile() {
  settings::Settings s;
  s.Device = ModelCode;
  s.SaveLogTrace = SaveLogTrace;
  s.ViewTraceMenu = ViewTraceMenu;
  s.ViewLogTrace = ViewLogTrace;
  s.ComPort = ComPortEnvBoard.Port();
  // A rate the connect dialog set as a free number is stored as "Custom",
  // as it always was, with the number itself beside it.
  s.BaudRate = serial::BaudRateToText(ComPortEnvBoard.BaudRate());
  if (ComPortEnvBoard.BaudRate() == serial::brCustom) {
    s.CustomBaudRate = std::to_string(ComPortEnvBoard.CustomBaudRate());
  }
  if (WindowWidth > 0 && WindowHeight > 0) {
    s.WindowWidth = std::to_string(WindowWidth);
    s.WindowHeight = std::to_string(WindowHeight);
  }
  // Fixed throughout the tool, whatever the port holds.
  s.DataBits = "8";
  s.StopBits = "1";
  s.Parity = serial::ParityToText(ComPortEnvBoard.Parity().Bits());
  settings::SaveSettings(s, SettingsPath);
}

bool TForm_main::FormClose() {
  if (sending_held_) {
    // Closing now would cut the modem off in the middle of its settings.
    platform_.ShowMessage(kMsgCloseDuringApply);
    return false;
  }
  try {
    // Another user's file, or one made to fill the memory, is not ours
    // to write over.
    if (!settings_ignored_) SaveSettingsFile();
    return true;
  } catch (const std::exception& e) {
    // Nothing is lost by staying open: the port stays as it is and the next
    // close tries again.
    platform_.ShowError(DefaultErrorText(e.what()));
    return false;
  }
}

void TForm_main::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  ComPortEnvBoard.ClosePort();
  // Nothing may reach this window from the port once it is going away.
  ComPortEnvBoard.OnRxChar = nullptr;
  ComPortEnvBoard.OnError = nullptr;
  ComPortEnvBoard.OnHangUp = nullptr;
  Adapter.Stop();
}

}  // namespace velimo::forms
