// The watch over the window's adapter: an adapter pulled out while
// connected is waited for, and when a device appears where it was (the
// same USB serial number, or the same port name for anything else) it is
// not taken on trust: its status report is read into a result of its own,
// and only the same modem (family, source ID, firmware) is connected
// again, with the same line settings, unless [EnvBoard] Reconnect=0.
// Another modem is named once and left alone. Nothing is reconnected
// behind a modal box or dialog: the operator's answer there comes first.
//
// The window tells the watch of a connect, a hang-up, a let-go and device
// events; the watch asks the window, through Calls, to trace, whether a
// box is open, to refresh what lists ports, and to show a reconnection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "scan/port_scan.h"
#include "scan/report_lines.h"
#include "serial/com_port.h"
#include "serial/device_events.h"
#include "serial/port_identity.h"
#include "util/background_work.h"
#include "util/platform.h"

namespace velimo::forms {

// Who the window was talking to: the family of the chosen model, and the
// source ID and firmware the pages showed (empty when no report had been
// read; a confirmed source ID save is on the pages too). A returning
// device is taken only when its own report says the same.
struct ModemIdentity {
  scan::Family family = scan::Family::Unknown;
  std::string source_id;
  std::string firmware;
};

class AdapterWatch {
 public:
  // What the watch asks of the window.
  struct Calls {
    std::function<void(const std::string&)> trace;        // one trace line
    std::function<bool()> modal_open;                     // a box or dialog is open
    std::function<void()> devices_changed;                // lists of ports follow
    std::function<void(const std::string&)> reconnected;  // the port is open again
    std::function<int()> listen_ms;                       // how long a report may take
  };

  // port: the window's port, reopened on a reconnection; roots: where
  // sysfs and /dev are read. Both outlive the watch.
  AdapterWatch(Platform& platform, serial::TComPort& port, const serial::SystemRoots& roots,
               Calls calls);
  ~AdapterWatch();
  AdapterWatch(const AdapterWatch&) = delete;
  AdapterWatch& operator=(const AdapterWatch&) = delete;

  // Starts following device events (plug, unplug).
  void Start();
  // Whether a removed adapter is connected again when it comes back.
  void SetReconnect(bool reconnect) { reconnect_ = reconnect; }
  // Stops everything: no event, timer or probe reaches the window after.
  void Stop();

  // The window connected to a port: adapter is what sits there, when it
  // is a listed port. A refused port names where it went; an unplugged
  // one is recognised by it when it comes back.
  void Connected(std::optional<serial::PortIdentity> adapter);
  const std::optional<serial::PortIdentity>& LastAdapter() const { return last_adapter_; }
  // The port hung up (it is closed already): who was there is waited for,
  // when reconnecting is on.
  void HungUp(const ModemIdentity& who);
  // The operator (or the watchdog) let go of the link: nothing is waited
  // for any more.
  void LetGo() { awaiting_ = false; }
  // The wait goes on after a let-go that was not the operator's choice;
  // the adapter may be back already.
  void KeepAwaiting();
  bool Awaiting() const { return awaiting_; }
  // Serial devices came or went: the lists follow, and a removed adapter
  // that is back is connected again.
  void DevicesChanged();

 private:
  void TryReconnect();
  // Reads who answers at the returning device in the background.
  void StartProbe(const std::string& port, const std::string& device);
  // device: what the port led to when the probe began.
  void ProbeEnded(const std::string& port, const std::string& device,
                  const scan::PortResult& result);
  void ReconnectTo(const std::string& port);
  // A trace line while waiting: at most one a second, however many events
  // the watched path gets.
  void TraceWhileWaiting(const std::string& line);
  // Tries again a moment later (a modal box closes, events calm down).
  void RetryLater();

  Platform& platform_;
  serial::TComPort& port_;
  const serial::SystemRoots& roots_;
  Calls calls_;
  bool reconnect_ = true;
  bool awaiting_ = false;
  std::optional<serial::PortIdentity> last_adapter_;
  std::optional<ModemIdentity> remembered_;
  std::unique_ptr<serial::DeviceWatcher> device_watcher_;
  std::unique_ptr<PlatformWatch> device_watch_;
  std::unique_ptr<Background<scan::PortResult>> probe_;
  // Device events came while a probe ran.
  bool probe_again_ = false;
  // The device last found to be another modem, not probed again.
  std::string rejected_device_;
  // What was said of the last other modem, said once.
  std::string rejected_text_;
  std::unique_ptr<PlatformTimer> retry_;
  int64_t last_probe_end_ms_ = -1;
  int64_t last_wait_trace_ms_ = -1;
};

}  // namespace velimo::forms
