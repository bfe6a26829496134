#include "forms/form_connect.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "forms/form_main.h"
#include "forms/pages/page_parts.h"
#include "serial/com_port.h"
#include "serial/net/port_address.h"
#include "serial/open_refusal.h"
#include "serial/port_list.h"
#include "settings/settings.h"
#include "util/text_helpers.h"

namespace velimo::forms {

namespace {

const FormFrame kConnectFrame{
    "Form_Connect",
    "Connect",
    334,
    261,
    /*minimize_button=*/false,
    /*center_on_owner=*/true,
    FormFrame::kDefaultBackground,
};

// The rates the pages offer.
const std::vector<std::string>& BaudEntries() {
  static const std::vector<std::string> entries = pages::BaudItems();
  return entries;
}

}  // namespace

// --- TForm_Connect -----------------------------------------------------------

TForm_Connect::TForm_Connect(TForm_main& main, PortLister ports, std::string settingsPath)
    : TModalForm(kConnectFrame),
      main_(main),
      ports_(std::move(ports)),
      settings_path_(std::move(settingsPath)) {
  // Empty until the first showing fills it.
  CB_ComPort.SetItems({});
  Edit_Baudrate.WithItems(BaudEntries(), 0);
  Edit_PAB.WithItems({"None", "Odd", "Even"}, 0);
  Edit_DataBit.WithText("8").WithMaxLength(1).Disabled();
  Edit_StopBit.WithText("1").WithMaxLength(1).Disabled();
  Edit_FlowCtrl.WithItems({"OFF", "RTS/CTS"}, 0);
  Btn_FindModem.WithCaption("Find Modem");
  Btn_Connect.WithCaption("Connect");
  Btn_Cancel.WithCaption("Cancel");
  LB_Status.Hidden();

  Btn_Connect.OnClick = [this] { Btn_ConnectClick(); };
  Btn_Cancel.OnClick = [this] { Btn_CancelClick(); };
  Btn_FindModem.OnClick = [this] { Btn_FindModemClick(); };
  CB_ComPort.OnChange = [this] { OnPortPicked(); };

  using namespace layout;
  layout_ = Ctl(Panel1, {Column({
                            Row("Port", {Ctl(CB_ComPort), Ctl(Btn_FindModem)}),
                            Row("Baudrate", {Ctl(Edit_Baudrate)}),
                            Row("Parity Bit", {Ctl(Edit_PAB)}),
                            Row("Data Bit", {Ctl(Edit_DataBit)}),
                            Row("Stop Bit", {Ctl(Edit_StopBit)}),
                            Row("Flow Control", {Ctl(Edit_FlowCtrl)}),
                            Row({Ctl(LB_Status)}),
                            Row({Ctl(Btn_Connect), Ctl(Btn_Cancel)}),
                        })});
  layout_.spoken = "Port and line settings";
  AssignParents(layout_);
}

bool TForm_Connect::IsCustomBaudEntry(int index) {
  switch (index) {
    case 3:
    case 5:
    case 9:
    case 11:
    case 12:
    case 13:
      return true;
    default:
      return false;
  }
}

int TForm_Connect::BaudEntryRate(int index) {
  const auto& entries = BaudEntries();
  if (index < 0 || index >= static_cast<int>(entries.size())) return 0;
  return std::atoi(entries[static_cast<size_t>(index)].c_str());
}

void TForm_Connect::SetPortRate(serial::TComPort& port, int rate) {
  const std::string text = std::to_string(rate);
  const auto& entries = BaudEntries();
  const auto entry = std::find(entries.begin(), entries.end(), text);
  if (entry != entries.end() && !IsCustomBaudEntry(static_cast<int>(entry - entries.begin()))) {
    port.SetBaudRate(serial::BaudRateFromText(text));
  } else {
    port.SetBaudRate(serial::brCustom);
    port.SetCustomBaudRate(rate);
  }
}

bool TForm_Connect::FillPortList() {
  if (!ports_) return false;
  std::optional<std::vector<std::string>> names = ports_();
  if (!names) return false;
  if (names->empty()) names->push_back("No COM Port");
  // Each port the system can describe shows as its name and what it is
  // ("ttyUSB0 - FT232R USB UART, serial A50285BI"); the value behind the
  // entry stays a device path, for a USB adapter its by-id path, so a
  // stored choice finds the same adapter even when it gets another tty.
  std::vector<std::string> entries;
  entry_values_.clear();
  entry_paths_.clear();
  for (const std::string& name : *names) {
    std::optional<serial::PortIdentity> id;
    // Only the system's own entries (device paths) are described; other
    // names ("COM1") keep the form they are listed in.
    if (name.rfind(main_.SystemRoots.dev + "/", 0) == 0)
      id = serial::FindPort(name, main_.SystemRoots);
    if (id && !id->Description().empty()) {
      entries.push_back(id->ListEntry());
      entry_values_.push_back(id->usb && !id->by_id.empty() ? id->by_id : name);
    } else {
      entries.push_back(name);
      entry_values_.push_back(name);
    }
    entry_paths_.push_back(name);
  }
  // Network ports used before are offered after the local ones.
  for (const std::string& used : network_ports_) {
    if (std::find(entry_values_.begin(), entry_values_.end(), used) != entry_values_.end())
      continue;
    entries.push_back(used);
    entry_values_.push_back(used);
    entry_paths_.push_back(used);
  }
  CB_ComPort.SetItems(std::move(entries));
  return true;
}

int TForm_Connect::EntryOfPort(const std::string& port) const {
  for (size_t i = 0; i < entry_values_.size(); ++i) {
    if (entry_values_[i] == port || entry_paths_[i] == port) return static_cast<int>(i);
  }
  return -1;
}

std::string TForm_Connect::PortValue() const {
  const int index = CB_ComPort.ItemIndex();
  if (index >= 0 && static_cast<size_t>(index) < entry_values_.size() &&
      CB_ComPort.Items()[static_cast<size_t>(index)] == CB_ComPort.Text())
    return entry_values_[static_cast<size_t>(index)];
  return CB_ComPort.Text();
}

void TForm_Connect::SelectPort(const std::string& port) {
  const int entry = EntryOfPort(port);
  if (entry >= 0) {
    CB_ComPort.SetItemIndex(entry);
  } else {
    CB_ComPort.SetText(port);
  }
}

void TForm_Connect::RefreshPortList() {
  // Plugged or pulled while the dialog is open: the list follows, and the
  // operator's choice stays when its port is still there (a typed name
  // stays as typed).
  const std::string chosen = PortValue();
  const std::string text = CB_ComPort.Text();
  const bool picked = CB_ComPort.ItemIndex() >= 0;
  if (!FillPortList()) return;
  if (picked && EntryOfPort(chosen) >= 0) {
    SelectPort(chosen);
  } else if (!picked && !text.empty()) {
    CB_ComPort.SetText(text);
  } else {
    CB_ComPort.SetItemIndex(0);
  }
}

void TForm_Connect::FormActivate() {
  // What the last showing found or did is not this one's.
  SayStatus("");
  // The system's port list replaces the old one at every showing.
  if (FillPortList()) CB_ComPort.SetItemIndex(0);
  // No list could be read and nothing was chosen before: offer the classic
  // names. They are added once; a later showing in the same state finds
  // them in the list already.
  if (CB_ComPort.Text().empty()) {
    for (int n = 1; n <= 20; ++n) {
      std::string name = "COM" + std::to_string(n);
      const auto& items = CB_ComPort.Items();
      if (std::find(items.begin(), items.end(), name) == items.end()) {
        CB_ComPort.AddItem(std::move(name));
      }
    }
  }
  LoadPortSettings();
}

void TForm_Connect::LoadPortSettings() {
  // The file as written at the last shutdown: choices made during this run
  // are not in it, so a reopened dialog shows the stored port again.
  const settings::Settings stored = settings::LoadSettings(settings_path_);
  // A network port stored at the last shutdown was used then: it joins
  // the list, as one used in this run does.
  if (serial::net::IsNetworkPortName(stored.ComPort)) RememberNetworkPort(stored.ComPort);
  SelectPort(stored.ComPort);
  Edit_Baudrate.SetItemIndex(
      BaudTextToIndex(stored.BaudRate == "Custom" ? stored.CustomBaudRate : stored.BaudRate));
  Edit_PAB.SetItemIndex(ParityTextToIndex(stored.Parity));
}

void TForm_Connect::Btn_ConnectClick() {
  // One open at a time (the button is disabled while one runs).
  if (open_) return;
  // A modem found while the scan goes on: the rest of the search is not
  // waited for.
  StopFindModem();
  serial::TComPort& port = main_.ComPortEnvBoard;
  // The port is closed while these are set (Connect is out of reach while
  // connected), so nothing reaches the device before it opens.
  port.SetPort(PortValue());
  if (Edit_Baudrate.ItemIndex() >= 0) {
    SetPortRate(port, BaudEntryRate(Edit_Baudrate.ItemIndex()));
  } else {
    port.SetBaudRate(serial::BaudRateFromText(Edit_Baudrate.Text()));
  }
  port.Parity().SetBits(serial::ParityFromText(Edit_PAB.Text()));
  port.SetDataBits(serial::DataBitsFromText(Edit_DataBit.Text()));
  port.SetStopBits(serial::StopBitsFromText(Edit_StopBit.Text()));
  if (Edit_FlowCtrl.ItemIndex() == 0) {
    port.FlowControl().SetFlowControl(serial::fcNone);
  } else if (Edit_FlowCtrl.ItemIndex() == 1) {
    port.FlowControl().SetFlowControl(serial::fcHardware);
  }
  // The presets leave DTR alone; it stays on either way.
  port.FlowControl().SetControlDTR(serial::dtrEnable);

  main_.Disconnect1.SetEnabled(false);
  main_.LogWriteStr("Trying Connection to Device... ");
  if (!port.Connected() && serial::net::IsNetworkPortName(port.Port())) {
    StartNetworkOpen();
    return;
  }
  try {
    if (!port.Connected()) port.OpenPort();
  } catch (const std::exception& e) {
    ConnectRefused(e);
    return;
  }
  ConnectSucceeded();
}

void TForm_Connect::ConnectRefused(const std::exception& e) {
  serial::TComPort& port = main_.ComPortEnvBoard;
  // A port that opened but failed its last set-up step (the modem lines
  // could not be read) is closed again: the window stays disconnected,
  // and a port held open behind a disabled Disconnect could not be
  // released by the operator.
  if (port.Connected()) port.ClosePort();
  // Why, below the fixed first line, in words the operator can act on;
  // the trace keeps them too. A network port names the host and the
  // cause itself; a local one is looked at here.
  const auto* com = dynamic_cast<const serial::EComPort*>(&e);
  const std::string remembered = main_.Adapter.LastAdapter() && main_.Adapter.LastAdapter()->usb
                                     ? main_.Adapter.LastAdapter()->serial
                                     : std::string();
  if (com && !com->Reason().empty()) {
    LastRefusal = {com->Reason()};
  } else {
    LastRefusal =
        serial::RefusalReasons(port.Port(), com ? com->Code() : serial::CError_OpenFailed,
                               com ? com->ErrorCode() : -1, main_.SystemRoots, remembered);
  }
  std::string text = kPortRefused;
  for (size_t i = 0; i < LastRefusal.size(); ++i) {
    text += (i == 0 ? "\n\n" : "\n") + LastRefusal[i];
    main_.LogWriteStr(LastRefusal[i]);
  }
  // The dialog stays open with the operator's choices.
  main_.platform().ShowMessage(text);
}

void TForm_Connect::ConnectSucceeded() {
  serial::TComPort& port = main_.ComPortEnvBoard;
  LastRefusal.clear();
  if (!port.Connected()) return;
  if (serial::net::IsNetworkPortName(port.Port())) RememberNetworkPort(port.Port());
  main_.Adapter.Connected(serial::FindPort(port.Port(), main_.SystemRoots));

  main_.LogWriteStr("Connection Success to Port[" + port.Port() + "]");
  main_.StatusBar1.SetPanelText(1, "Connected to [" + port.Port() + "]");
  main_.ApplyConnectedPresentation();
  main_.Btn_S_CurrentStatusClick();
  Close();
  // Where the operator goes on from: the page shown, not the window's frame.
  main_.FocusShownPage();
}

void TForm_Connect::RememberNetworkPort(const std::string& name) {
  if (std::find(network_ports_.begin(), network_ports_.end(), name) == network_ports_.end()) {
    network_ports_.push_back(name);
  }
  if (EntryOfPort(name) >= 0) return;
  CB_ComPort.AddItem(name);
  entry_values_.push_back(name);
  entry_paths_.push_back(name);
}

void TForm_Connect::SayStatus(const std::string& text) {
  LB_Status.SetCaption(text);
  LB_Status.SetVisible(!text.empty());
}

void TForm_Connect::Btn_CancelClick() {
  if (open_) {
    main_.LogWriteStr("Connection cancelled.");
    CancelConnect();
    SayStatus("Connection cancelled.");
    return;
  }
  Close();
}

}  // namespace velimo::forms
