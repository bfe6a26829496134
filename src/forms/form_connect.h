// TForm_Connect, the connect dialog: the operator picks the serial port and
// the line settings, and Connect applies them to the main window's port,
// opens it and switches the main window to its connected presentation.
// Created once at start-up; its controls keep their contents between
// showings, and each showing refreshes the port list and the stored port
// settings.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "forms/controls/modal_form.h"
#include "scan/port_scan.h"
#include "util/platform.h"

namespace velimo::serial {
class TComPort;
}

namespace velimo::forms {

class TForm_main;

// The names of the serial ports in the system's order, or nothing when the
// list cannot be read at all.
using PortLister = std::function<std::optional<std::vector<std::string>>()>;

class TForm_Connect : public TModalForm {
 public:
  // main: the window whose port the dialog connects. ports: where the port
  // list comes from. settingsPath: the settings file the stored port
  // settings are read from at every showing.
  TForm_Connect(TForm_main& main, PortLister ports, std::string settingsPath);
  ~TForm_Connect() override;

  TPanel Panel1{"Panel1"};
  TEditComboBox CB_ComPort{"CB_ComPort"};
  TComboBox Edit_Baudrate{"Edit_Baudrate"};
  TComboBox Edit_PAB{"Edit_PAB"};
  TEdit Edit_DataBit{"Edit_DataBit"};
  TEdit Edit_StopBit{"Edit_StopBit"};
  TComboBox Edit_FlowCtrl{"Edit_FlowCtrl"};
  TButton Btn_FindModem{"Btn_FindModem"};
  TButton Btn_Connect{"Btn_Connect"};
  TButton Btn_Cancel{"Btn_Cancel"};

  // Runs at each showing (ShowModal): the port list, then the stored port
  // settings. The flow-control choice stays as it was last shown.
  void FormActivate();
  // Applies the chosen settings to the main window's port and opens it; on
  // success switches the main window to connected, sends the status query
  // and closes the dialog. A port that cannot be opened is reported and the
  // dialog stays open.
  void Btn_ConnectClick();
  // Closes the dialog; nothing else changes.
  void Btn_CancelClick();

  // The port list read anew while the dialog is shown (an adapter was
  // plugged or pulled), keeping the operator's choice where it still is.
  void RefreshPortList();
  // The port the Connect button opens: the value behind the chosen entry
  // (its device path, a USB adapter's by-id path), or the text as typed.
  std::string PortValue() const;
  // Shows port: its entry when listed, else the name as text.
  void SelectPort(const std::string& port);

  // "Find Modem": scans the listed ports (and a typed one) for modems in
  // the background, with the status query alone; when it ends, each port
  // with a modem says so in the list, and the first one found is chosen
  // with its rate, parity and model. While the scan runs the button is
  // "Cancel", and a click stops it.
  void Btn_FindModemClick();
  // Stops a running scan and waits for its probes to give their lines
  // back; the dialog returns to its look before the scan.
  void StopFindModem();
  // Whether a scan is running.
  bool FindingModem() const { return scan_ != nullptr; }
  // Waits for a running scan and takes its results (the front end is told
  // through the platform's descriptor watch instead, where it has one).
  void FinishFindModem();
  // The modems the last scan found.
  const std::vector<scan::PortResult>& FoundModems() const { return found_; }
  // Port, rate, parity and model from a scan's result.
  void ApplyFound(const scan::PortResult& found);

  // The one panel filling the dialog, rows from top to bottom.
  const LayoutNode& Layout() const { return layout_; }

  // Baud-rate entries the port takes as a free number rather than as one
  // of its named rates (3600, 7200, 57600, 230400, 460800, 921600).
  static bool IsCustomBaudEntry(int index);
  // The number of an Edit_Baudrate entry, 0 for an index outside the list.
  static int BaudEntryRate(int index);
  // Sets the port's rate as the rate entries set it: a rate whose entry is
  // one of the port's named rates as that name, any other rate (the
  // custom entries, and a rate that is no entry) as the custom rate.
  static void SetPortRate(serial::TComPort& port, int rate);

  const std::string& SettingsPath() const { return settings_path_; }

  // The first line of a refused port's message.
  static constexpr const char* kPortRefused = "ERROR! Please check your serial port status.";
  // Why the last Connect could not open the port (empty after a success).
  std::vector<std::string> LastRefusal;

 protected:
  void Activated() override { FormActivate(); }
  // A scan still running stops at once: nothing is probed for a dialog
  // that is gone.
  void Closed() override { StopFindModem(); }

 private:
  void LoadPortSettings();
  // Keeps a network port name in the port list from now on.
  void RememberNetworkPort(const std::string& name);
  // Replaces the list's entries; false when no list could be read.
  bool FillPortList();
  int EntryOfPort(const std::string& port) const;
  void ScanEnded();
  void OnPortPicked();
  // A scan on its thread; done_fd turns readable when it has ended.
  struct ScanJob {
    std::thread thread;
    std::vector<scan::PortResult> results;
    std::atomic<bool> cancel{false};
    int done_fd = -1;
    ~ScanJob();  // stops the scan and waits for it
  };
  std::unique_ptr<ScanJob> scan_;
  std::unique_ptr<PlatformWatch> scan_watch_;
  std::vector<scan::PortResult> found_;

  TForm_main& main_;
  PortLister ports_;
  std::string settings_path_;
  LayoutNode layout_;
  // Network ports (rfc2217://, tcp://) connected to in this run or stored
  // at the last shutdown, in the order they were first used.
  std::vector<std::string> network_ports_;
  // Per entry: the value it stands for and the device path listed.
  std::vector<std::string> entry_values_;
  std::vector<std::string> entry_paths_;
};

}  // namespace velimo::forms
