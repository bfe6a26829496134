// The window's side of adapters coming and going (adapter_watch.h): an
// adapter pulled out while connected is noticed at once (the port hangs
// up), the window says so and takes its disconnected look; a reconnected
// one leaves it as a fresh connect does. The connect dialog's list follows
// the same device events while it is shown.
#include <exception>

#include "forms/form_main.h"

namespace velimo::forms {

ModemIdentity TForm_main::IdentityOnPages() const {
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
  Adapter.Start();
}

AdapterWatch::Calls TForm_main::AdapterCalls() {
  AdapterWatch::Calls calls;
  calls.trace = [this](const std::string& line) { LogWriteStr(line); };
  calls.modal_open = [this] { return ModalOpen(); };
  calls.devices_changed = [this] {
    if (Form_Connect && Form_Connect->Showing()) Form_Connect->RefreshPortList();
  };
  calls.reconnected = [this](const std::string& port) { AdapterReconnected(port); };
  calls.listen_ms = [this] { return Timer_ConnectionResponse.Interval(); };
  return calls;
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
  Adapter.HungUp(IdentityOnPages());
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
  if (!traceFailure.empty()) platform_.ShowError(DefaultErrorText(traceFailure));
}

void TForm_main::AdapterReconnected(const std::string& port) {
  StatusBar1.SetPanelText(1, "Connected to [" + port + "]");
  ApplyConnectedPresentation();
  // As a fresh connect leaves the window: the Info section highlighted
  // with its page, its buttons shown.
  SetLeftGlyphs(ImageList1::kInfoSelected, ImageList1::kLoRaNormal, ImageList1::kSerialNormal);
  Btn_FactoryReset.SetVisible(true);
  Btn_S_CurrentStatusClick();
}
}  // namespace velimo::forms
