// Adapters coming and going while the program runs: an adapter pulled out
// while connected is noticed at once (the port hangs up), the window says
// so and takes its disconnected look; when the same adapter comes back
// (the same USB serial number, or the same port name for anything else)
// the program connects again with the same line settings and reads the
// modem, unless [EnvBoard] Reconnect=0. The connect dialog's list follows
// the same device events while it is shown.
#include <unistd.h>

#include <exception>

#include "forms/form_main.h"
#include "serial/device_events.h"
#include "serial/open_refusal.h"
#include "settings/ini_file.h"

namespace velimo::forms {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

void TForm_main::StartDeviceWatch() {
  ReconnectEnabled = trace::IniFile::Load(SettingsPath).Get("EnvBoard", "Reconnect", "1") != "0";
  if (device_watcher_) return;
  device_watcher_ = std::make_unique<serial::DeviceWatcher>(SystemRoots);
  device_watch_ = platform_.WatchReadable(device_watcher_->Fd(), [this] {
    if (device_watcher_->TakeChanges()) DevicesChanged();
  });
  // A platform that watches no descriptors would never hear of a change:
  // the kernel's watch is given back.
  if (!device_watch_) device_watcher_.reset();
}

void TForm_main::ComPortEnvBoardHangUp() {
  const std::string name = ComPortEnvBoard.Port();
  // The adapter is gone whether or not its trace line reaches the log
  // file: the port is closed and the adapter waited for all the same, and
  // the file's error is reported once that is done. (Errors of the port's
  // event processing go nowhere, so it is reported here.)
  std::string traceFailure;
  try {
    LogWriteStr("Adapter removed from Port[" + name + "]");
  } catch (const std::exception& e) {
    traceFailure = e.what();
  }
  try {
    ComPortEnvBoard.ClosePort();
  } catch (const std::exception&) {
    // The device is gone; there is nothing left to close cleanly.
  }
  StatusBar1.SetPanelText(1, "Disconnected (adapter removed)");
  ApplyDisconnectedPresentation();
  // A status query in flight will get no answer: its watchdog would only
  // report the link lost again and, by disconnecting, end the wait for the
  // adapter. The delayed encryption query has nowhere to go either.
  Timer_ConnectionResponse.SetEnabled(false);
  Timer_AESQuery.SetEnabled(false);
  // A sequence in progress (noticed while one of its boxes served events)
  // ends here: its further steps would each only find the port closed.
  if (sequence_depth_ > 0) sequence_ended_ = true;
  AwaitingAdapter = ReconnectEnabled;
  // A port outside /dev (a link of its own) is watched where it lives.
  if (AwaitingAdapter && device_watcher_)
    device_watcher_->WatchFolder(FolderOf(serial::DevicePathOf(name)));
  if (!traceFailure.empty()) platform_.ShowError(DefaultErrorText(traceFailure));
}

void TForm_main::DevicesChanged() {
  if (Form_Connect && Form_Connect->Showing()) Form_Connect->RefreshPortList();
  if (AwaitingAdapter && !ComPortEnvBoard.Connected()) TryReconnect();
}

void TForm_main::TryReconnect() {
  std::string port = ComPortEnvBoard.Port();
  if (LastAdapter && LastAdapter->usb && !LastAdapter->serial.empty()) {
    // A USB adapter is known by its serial number, whatever tty it gets
    // this time.
    bool found = false;
    if (auto ports = serial::IdentifyPorts(SystemRoots)) {
      for (const serial::PortIdentity& p : *ports) {
        if (!p.usb || p.serial != LastAdapter->serial || p.VidPid() != LastAdapter->VidPid())
          continue;
        if (!LastAdapter->by_id.empty() && port == LastAdapter->by_id && !p.by_id.empty())
          port = p.by_id;
        else
          port = p.by_id.empty() ? p.path : p.by_id;
        found = true;
        break;
      }
    }
    if (!found) return;
  } else if (access(serial::DevicePathOf(port).c_str(), F_OK) != 0) {
    return;
  }
  ComPortEnvBoard.SetPort(port);
  LogWriteStr("Adapter is back: reconnecting to Port[" + port + "]");
  try {
    ComPortEnvBoard.OpenPort();
  } catch (const std::exception& e) {
    // udev may not have given the node its group yet, or ModemManager is
    // probing it: the next device event tries again.
    if (ComPortEnvBoard.Connected()) ComPortEnvBoard.ClosePort();
    const auto* com = dynamic_cast<const serial::EComPort*>(&e);
    for (const std::string& reason :
         serial::RefusalReasons(port, com ? com->Code() : serial::CError_OpenFailed,
                                com ? com->ErrorCode() : -1, SystemRoots))
      LogWriteStr(reason);
    return;
  }
  AwaitingAdapter = false;
  if (auto id = serial::FindPort(port, SystemRoots)) LastAdapter = id;
  LogWriteStr("Connection Success to Port[" + port + "]");
  StatusBar1.SetPanelText(1, "Connected to [" + port + "]");
  ApplyConnectedPresentation();
  Btn_S_CurrentStatusClick();
}

}  // namespace velimo::forms
