// Adapters coming and going while the program runs: an adapter pulled out
// while connected is noticed at once (the port hangs up), the window says
// so and takes its disconnected look; when a device appears where it was
// (the same USB serial number, or the same port name for anything else)
// it is not taken on trust: its status report is read into a result of
// its own, and only the same modem (family, source ID, firmware) is
// connected again, with the same line settings, unless [EnvBoard]
// Reconnect=0. Another modem is named once and left alone. Nothing is
// reconnected behind a modal box or dialog: the operator's answer there
// comes first. The connect dialog's list follows the same device events
// while it is shown.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <exception>

#include "forms/form_main.h"
#include "serial/device_events.h"
#include "serial/open_refusal.h"
#include "serial/port_holders.h"
#include "settings/ini_file.h"

namespace velimo::forms {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// What a port leads to right now: the link itself (a new one for every
// adapter or simulator that makes it) and the device behind it. The same
// text means nothing has changed there since the last look.
std::string DeviceAt(const std::string& port) {
#ifdef _WIN32
  // A COM port is known by its name alone: there while the registry's
  // port list has it.
  return serial::FindPort(port) ? serial::DevicePathOf(port) : std::string();
#else
  const std::string path = serial::DevicePathOf(port);
  struct stat link;
  if (lstat(path.c_str(), &link) != 0) return {};
  // The change time too: a link or node made anew may get the number of
  // the one it replaces.
  std::string text = std::to_string(link.st_dev) + ":" + std::to_string(link.st_ino) + "@" +
                     std::to_string(link.st_ctim.tv_sec) + "." +
                     std::to_string(link.st_ctim.tv_nsec);
  char real[PATH_MAX];
  if (realpath(path.c_str(), real)) text += std::string(" ") + real;
  struct stat device;
  if (stat(path.c_str(), &device) == 0)
    text += " " + std::to_string(device.st_rdev) + ":" + std::to_string(device.st_ino);
  return text;
#endif
}

constexpr int kWaitTraceEveryMs = 1000;
// Probes of a returning device follow each other no closer than this.
constexpr int kProbeEveryMs = 1000;

}  // namespace

TForm_main::ModemIdentity TForm_main::IdentityOnPages() const {
  // An Info label that no report has filled says "no info".
  auto read = [](const TLabel& label) {
    return label.Caption() == "no info" ? std::string() : label.Caption();
  };
  ModemIdentity id;
  if (sTavi1.Checked() || uTavi1.Checked()) {
    id.family = scan::Family::STaviOrUTavi;
    id.source_id = read(LB_S_SID);
    id.firmware = read(LB_S_FwVer);
  } else if (rTavi1.Checked()) {
    id.family = scan::Family::RTavi;
    id.source_id = read(LB_R_SID);
    id.firmware = read(LB_R_FwVer);
  } else if (ioTavi1.Checked()) {
    id.family = scan::Family::IoTavi;
    id.source_id = read(LB_I_SID);
    id.firmware = read(LB_I_FwVer);
  }
  return id;
}

bool TForm_main::ModalOpen() const {
  return (Form_Connect && Form_Connect->Showing()) || (Form_Info && Form_Info->Showing()) ||
         platform_.ModalOpen();
}

void TForm_main::StartDeviceWatch() {
  ReconnectEnabled = settings::IniFile::Load(SettingsPath).Get("EnvBoard", "Reconnect", "1") != "0";
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
  // Who was there, before the disconnected look clears the pages.
  RememberedModem = IdentityOnPages();
  rejected_device_.clear();
  rejected_text_.clear();
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

void TForm_main::LogWhileWaiting(const std::string& line) {
  const int64_t now = platform_.MonotonicMs();
  if (last_wait_trace_ms_ >= 0 && now - last_wait_trace_ms_ < kWaitTraceEveryMs) return;
  last_wait_trace_ms_ = now;
  LogWriteStr(line);
}

void TForm_main::RetryReconnectLater() {
  if (!reconnect_retry_) {
    reconnect_retry_ = platform_.CreateTimer([this] {
      reconnect_retry_->Stop();
      if (AwaitingAdapter && !ComPortEnvBoard.Connected()) TryReconnect();
    });
  }
  if (!reconnect_retry_->Active()) reconnect_retry_->Start(kProbeEveryMs / 2);
}

void TForm_main::TryReconnect() {
  if (!AwaitingAdapter || ComPortEnvBoard.Connected()) return;
  // The dialog's (or a box's) answer comes first; the wait goes on after.
  if (ModalOpen()) {
    RetryReconnectLater();
    return;
  }
  if (probe_) {
    probe_again_ = true;
    return;
  }
  if (last_probe_end_ms_ >= 0 && platform_.MonotonicMs() - last_probe_end_ms_ < kProbeEveryMs) {
    RetryReconnectLater();
    return;
  }
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
#ifdef _WIN32
  } else if (DeviceAt(port).empty()) {
#else
  } else if (access(serial::DevicePathOf(port).c_str(), F_OK) != 0) {
#endif
    return;
  }
  const std::string device = DeviceAt(port);
  // Another modem answered there and nothing has changed since.
  if (!rejected_device_.empty() && device == rejected_device_) return;
  StartReconnectProbe(port, device);
}

void TForm_main::StartReconnectProbe(const std::string& port, const std::string& device) {
  // The line as it was: the rate, parity, size and handshake the window
  // talked at.
  const serial::TBaudRate baud = ComPortEnvBoard.BaudRate();
  const int32_t custom = ComPortEnvBoard.CustomBaudRate();
  const serial::TParityBits parity = ComPortEnvBoard.Parity().Bits();
  const serial::TDataBits dataBits = ComPortEnvBoard.DataBits();
  const serial::TStopBits stopBits = ComPortEnvBoard.StopBits();
  const bool ctsFlow = ComPortEnvBoard.FlowControl().OutCTSFlow();
  const serial::TRTSFlowControl rts = ComPortEnvBoard.FlowControl().ControlRTS();
  auto setup = [=](serial::TComPort& p) {
    p.SetBaudRate(baud);
    p.SetCustomBaudRate(custom);
    p.Parity().SetBits(parity);
    p.SetDataBits(dataBits);
    p.SetStopBits(stopBits);
    p.FlowControl().SetOutCTSFlow(ctsFlow);
    p.FlowControl().SetControlRTS(rts);
  };
  scan::ScanOptions options;
  options.roots = SystemRoots;
  // As long as the watchdog gives a modem to answer the status query.
  options.listen_ms = Timer_ConnectionResponse.Interval();
  probe_ = std::make_unique<Background<scan::PortResult>>(platform_);
  probe_->Start(
      [port, setup, options](Background<scan::PortResult>::Worker& worker) mutable {
        options.cancel = &worker.Token().Flag();
        return scan::ReadReport(port, setup, options);
      },
      [this, port, device](scan::PortResult result) {
        probe_.reset();
        ReconnectProbeEnded(port, device, result);
      });
}

void TForm_main::ReconnectProbeEnded(const std::string& port, const std::string& device,
                                     const scan::PortResult& result) {
  last_probe_end_ms_ = platform_.MonotonicMs();
  const bool again = probe_again_;
  probe_again_ = false;
  if (!AwaitingAdapter || ComPortEnvBoard.Connected()) return;
  if (ModalOpen()) {
    // A dialog or box opened meanwhile: what it decides comes first, and
    // the device is looked at anew once it has closed.
    RetryReconnectLater();
    return;
  }
  using Outcome = scan::PortResult::Outcome;
  if (result.outcome == Outcome::Found) {
    const ModemIdentity was = RememberedModem.value_or(ModemIdentity{});
    const bool same = result.family == was.family &&
                      (was.source_id.empty() || result.source_id == was.source_id) &&
                      (was.firmware.empty() || result.firmware == was.firmware);
    if (same) {
      ReconnectTo(port);
      return;
    }
    // Not the modem the operator chose: named once, and left alone until
    // something else appears there.
    rejected_device_ = device;
    const std::string family = scan::FamilyName(result.family);
    const std::string text = "Another modem answers at " + port + ": " +
                             (family.empty() ? "unknown" : family) + ", source ID " +
                             (result.source_id.empty() ? "unknown" : result.source_id) +
                             ". Not connected.";
    // The same other modem looked at again (udev changed its node) is
    // not news.
    if (text == rejected_text_) return;
    rejected_text_ = text;
    LogWriteStr(text);
    platform_.ShowMessage(text);
    return;
  }
  // Silent at the old settings, held by another process, or refused: not
  // taken, and looked at again at the next event there.
  LogWhileWaiting("Adapter is back at Port[" + port + "], but not connected: " + result.Why());
  if (again) RetryReconnectLater();
}

void TForm_main::ReconnectTo(const std::string& port) {
  ComPortEnvBoard.SetPort(port);
  try {
    ComPortEnvBoard.OpenPort();
  } catch (const std::exception& e) {
    // Taken by another process between the look and the open, or udev
    // has not given the node its group yet: the next event tries again.
    if (ComPortEnvBoard.Connected()) ComPortEnvBoard.ClosePort();
    const auto* com = dynamic_cast<const serial::EComPort*>(&e);
    const std::vector<std::string> reasons =
        serial::RefusalReasons(port, com ? com->Code() : serial::CError_OpenFailed,
                               com ? com->ErrorCode() : -1, SystemRoots);
    LogWhileWaiting("Adapter is back at Port[" + port + "], but not connected: " +
                    (reasons.empty() ? std::string("refused") : reasons.front()));
    return;
  }
  AwaitingAdapter = false;
  if (auto id = serial::FindPort(port, SystemRoots)) LastAdapter = id;
  LogWriteStr("Adapter is back: reconnected to " + port);
  StatusBar1.SetPanelText(1, "Connected to [" + port + "]");
  ApplyConnectedPresentation();
  // As a fresh connect leaves the window: the Info section highlighted
  // with its page, its buttons shown.
  SetLeftGlyphs(ImageList1::kInfoSelected, ImageList1::kLoRaNormal, ImageList1::kSerialNormal);
  Btn_FactoryReset.SetVisible(true);
  Btn_S_CurrentStatusClick();
}

}  // namespace velimo::forms
