// The adapter watch (adapter_watch.h): device events, the wait for a
// removed adapter and its probe, and the reconnection.
#include "forms/adapter_watch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <exception>
#include <utility>

#include "serial/device_events.h"
#include "serial/open_refusal.h"
#include "serial/port_holders.h"

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

AdapterWatch::AdapterWatch(Platform& platform, serial::TComPort& port,
                           const serial::SystemRoots& roots, Calls calls)
    : platform_(platform), port_(port), roots_(roots), calls_(std::move(calls)) {}

AdapterWatch::~AdapterWatch() {
  Stop();
}

void AdapterWatch::Start() {
  if (device_watcher_) return;
  device_watcher_ = std::make_unique<serial::DeviceWatcher>(roots_);
  device_watch_ = platform_.WatchReadable(device_watcher_->Fd(), [this] {
    if (device_watcher_->TakeChanges()) DevicesChanged();
  });
  // A platform that watches no descriptors would never hear of a change:
  // the kernel's watch is given back.
  if (!device_watch_) device_watcher_.reset();
}

void AdapterWatch::Stop() {
  device_watch_.reset();
  retry_.reset();
  probe_.reset();  // stops a probe of a returning adapter
}

void AdapterWatch::Connected(std::optional<serial::PortIdentity> adapter) {
  last_adapter_ = std::move(adapter);
  awaiting_ = false;
}

void AdapterWatch::HungUp(const ModemIdentity& who) {
  remembered_ = who;
  rejected_device_.clear();
  rejected_text_.clear();
  awaiting_ = reconnect_;
  // A port outside /dev (a link of its own) is watched where it lives.
  if (awaiting_ && device_watcher_)
    device_watcher_->WatchFolder(FolderOf(serial::DevicePathOf(port_.Port())));
}

void AdapterWatch::KeepAwaiting() {
  awaiting_ = true;
  TryReconnect();
}

void AdapterWatch::DevicesChanged() {
  if (calls_.devices_changed) calls_.devices_changed();
  if (awaiting_ && !port_.Connected()) TryReconnect();
}

void AdapterWatch::TraceWhileWaiting(const std::string& line) {
  const int64_t now = platform_.MonotonicMs();
  if (last_wait_trace_ms_ >= 0 && now - last_wait_trace_ms_ < kWaitTraceEveryMs) return;
  last_wait_trace_ms_ = now;
  calls_.trace(line);
}

void AdapterWatch::RetryLater() {
  if (!retry_) {
    retry_ = platform_.CreateTimer([this] {
      retry_->Stop();
      if (awaiting_ && !port_.Connected()) TryReconnect();
    });
  }
  if (!retry_->Active()) retry_->Start(kProbeEveryMs / 2);
}

void AdapterWatch::TryReconnect() {
  if (!awaiting_ || port_.Connected()) return;
  // The dialog's (or a box's) answer comes first; the wait goes on after.
  if (calls_.modal_open()) {
    RetryLater();
    return;
  }
  if (probe_) {
    probe_again_ = true;
    return;
  }
  if (last_probe_end_ms_ >= 0 && platform_.MonotonicMs() - last_probe_end_ms_ < kProbeEveryMs) {
    RetryLater();
    return;
  }
  std::string port = port_.Port();
  if (last_adapter_ && last_adapter_->usb && !last_adapter_->serial.empty()) {
    // A USB adapter is known by its serial number, whatever tty it gets
    // this time.
    bool found = false;
    if (auto ports = serial::IdentifyPorts(roots_)) {
      for (const serial::PortIdentity& p : *ports) {
        if (!p.usb || p.serial != last_adapter_->serial || p.VidPid() != last_adapter_->VidPid())
          continue;
        if (!last_adapter_->by_id.empty() && port == last_adapter_->by_id && !p.by_id.empty())
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
  StartProbe(port, device);
}

void AdapterWatch::StartProbe(const std::string& port, const std::string& device) {
  // The line as it was: the rate, parity, size and handshake the window
  // talked at.
  const serial::TBaudRate baud = port_.BaudRate();
  const int32_t custom = port_.CustomBaudRate();
  const serial::TParityBits parity = port_.Parity().Bits();
  const serial::TDataBits dataBits = port_.DataBits();
  const serial::TStopBits stopBits = port_.StopBits();
  const bool ctsFlow = port_.FlowControl().OutCTSFlow();
  const serial::TRTSFlowControl rts = port_.FlowControl().ControlRTS();
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
  options.roots = roots_;
  // As long as the watchdog gives a modem to answer the status query.
  options.listen_ms = calls_.listen_ms();
  probe_ = std::make_unique<Background<scan::PortResult>>(platform_);
  probe_->Start(
      [port, setup, options](Background<scan::PortResult>::Worker& worker) mutable {
        options.cancel = &worker.Token().Flag();
        return scan::ReadReport(port, setup, options);
      },
      [this, port, device](scan::PortResult result) {
        probe_.reset();
        ProbeEnded(port, device, result);
      });
}

void AdapterWatch::ProbeEnded(const std::string& port, const std::string& device,
                              const scan::PortResult& result) {
  last_probe_end_ms_ = platform_.MonotonicMs();
  const bool again = probe_again_;
  probe_again_ = false;
  if (!awaiting_ || port_.Connected()) return;
  if (calls_.modal_open()) {
    // A dialog or box opened meanwhile: what it decides comes first, and
    // the device is looked at anew once it has closed.
    RetryLater();
    return;
  }
  using Outcome = scan::PortResult::Outcome;
  if (result.outcome == Outcome::Found) {
    const ModemIdentity was = remembered_.value_or(ModemIdentity{});
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
    calls_.trace(text);
    platform_.ShowMessage(text);
    return;
  }
  // Silent at the old settings, held by another process, or refused: not
  // taken, and looked at again at the next event there.
  TraceWhileWaiting("Adapter is back at Port[" + port + "], but not connected: " + result.Why());
  if (again) RetryLater();
}

void AdapterWatch::ReconnectTo(const std::string& port) {
  port_.SetPort(port);
  try {
    port_.OpenPort();
  } catch (const std::exception& e) {
    // Taken by another process between the look and the open, or udev
    // has not given the node its group yet: the next event tries again.
    if (port_.Connected()) port_.ClosePort();
    const auto* com = dynamic_cast<const serial::EComPort*>(&e);
    const std::vector<std::string> reasons = serial::RefusalReasons(
        port, com ? com->Code() : serial::CError_OpenFailed, com ? com->ErrorCode() : -1, roots_);
    TraceWhileWaiting("Adapter is back at Port[" + port + "], but not connected: " +
                      (reasons.empty() ? std::string("refused") : reasons.front()));
    return;
  }
  awaiting_ = false;
  if (auto id = serial::FindPort(port, roots_)) last_adapter_ = id;
  calls_.trace("Adapter is back: reconnected to " + port);
  calls_.reconnected(port);
}

}  // namespace velimo::forms
