// TForm_Connect, the connect dialog: the operator picks the serial port and
// the line settings, and Connect applies them to the main window's port,
// opens it and switches the main window to its connected presentation.
// Created once at start-up; its controls keep their contents between
// showings, and each showing refreshes the port list and the stored port
// settings.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "forms/controls/modal_form.h"
#include "scan/port_scan.h"
#include "serial/net/network_port.h"
#include "util/background_work.h"

namespace velimo::serial {
class TComPort;
class PortTransport;
}  // namespace velimo::serial

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
  // What the dialog is doing or has just found ("Scanning...", "Found
  // sTavi at 57600 on ttyUSB0", "Connecting to ..."); hidden while there
  // is nothing to say. Its text is its accessible name, so a screen
  // reader hears each change.
  TLabel LB_Status{"LB_Status"};

  // Runs at each showing (ShowModal): the port list, then the stored port
  // settings. The flow-control choice stays as it was last shown.
  void FormActivate();
  // Applies the chosen settings to the main window's port and opens it; on
  // success switches the main window to connected, sends the status query
  // and closes the dialog. A port that cannot be opened is reported and the
  // dialog stays open. A network port is opened on a thread of its own
  // (the lookup, the connection and the server's agreement take seconds
  // when a host is wrong or slow), where the platform watches descriptors:
  // the window stays live meanwhile, and the open port is taken on this
  // thread, where the rest of connecting runs.
  void Btn_ConnectClick();
  // Closes the dialog; nothing else changes. While a network port is
  // being opened it abandons that instead, and the dialog stays open with
  // the operator's choices.
  void Btn_CancelClick();

  // Whether a network port is being opened off this thread.
  bool Connecting() const { return open_ != nullptr; }
  // Abandons the network open under way: its connection is closed, nothing
  // is handed to the port, the dialog looks as before Connect.
  void CancelConnect();
  // Told when a network open starts (true) and ends (false), for the
  // front end's busy cursor.
  std::function<void(bool connecting)> OnConnecting;
  // How long a network open waits for the network and the server.
  serial::net::NetLimits NetworkLimits;
  // How long Find Modem listens after each rate and parity's query.
  int FindModemListenMs = scan::ScanOptions{}.listen_ms;

  // The port list read anew while the dialog is shown (an adapter was
  // plugged or pulled), keeping the operator's choice where it still is.
  void RefreshPortList();
  // The port the Connect button opens: the value behind the chosen entry
  // (its device path, a USB adapter's by-id path), or the text as typed.
  std::string PortValue() const;
  // Shows port: its entry when listed, else the name as text.
  void SelectPort(const std::string& port);

  // "Find Modem": scans the listed ports (and a typed one) for modems in
  // the background, with the status query alone; each port with a modem
  // says so in the list as soon as it is found, and the first one found
  // is chosen with its rate, parity and model (Connect then takes it and
  // ends the scan). While the scan runs the button is "Cancel", and a
  // click stops it.
  void Btn_FindModemClick();
  // Stops a running scan and waits for its probes to give their lines
  // back; the dialog returns to its look before the scan.
  void StopFindModem();
  // Whether a scan is running.
  bool FindingModem() const { return scan_ != nullptr; }
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
  // A scan or a network open still running stops at once: nothing is
  // probed or connected for a dialog that is gone.
  void Closed() override {
    StopFindModem();
    CancelConnect();
  }

 private:
  void LoadPortSettings();
  // Keeps a network port name in the port list from now on.
  void RememberNetworkPort(const std::string& name);
  // Replaces the list's entries; false when no list could be read.
  bool FillPortList();
  int EntryOfPort(const std::string& port) const;
  // A port's probe has ended; the whole scan has.
  void PortScanned(scan::PortResult r);
  void ScanEnded(const std::vector<scan::PortResult>& results);
  // "Found sTavi at 57600 on ttyUSB0" for the first modem found.
  void SayFound();
  // Shows text on the status line; "" hides the line.
  void SayStatus(const std::string& text);
  void OnPortPicked();
  // The rest of Connect once the port is open, on this thread.
  void ConnectSucceeded();
  // A port that could not be opened: the message, the dialog stays open.
  void ConnectRefused(const std::exception& e);
  // Starts the network open in the background.
  void StartNetworkOpen();
  // What a network open gives: the open port, or why there is none.
  struct Opened {
    std::unique_ptr<serial::PortTransport> port;
    std::exception_ptr failure;
  };
  void NetworkOpenEnded(Opened opened);
  // The dialog's look while a network open runs (busy) or not.
  void ShowConnecting(bool busy);
  std::unique_ptr<Background<Opened>> open_;
  // A scan: each port's result as its probe ends, then all of them.
  using ScanJob = Background<std::vector<scan::PortResult>, scan::PortResult>;
  std::unique_ptr<ScanJob> scan_;
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
