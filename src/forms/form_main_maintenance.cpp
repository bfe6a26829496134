// Maintenance actions on the modem as a whole: system reset, factory
// defaults, the ioTavi AT command mode, the administrator's frequency
// calibration and the RS-485 query. None waits for an answer.
#include "forms/form_main.h"
#include "protocol/catalogue.h"

namespace velimo::forms {

using protocol::CommandId;

void TForm_main::Btn_SystemResetClick() {
  const protocol::CommandEntry& row = protocol::Entry(CommandId::SystemReset);
  // Asked before the port is looked at: with the port closed the operator
  // confirms first and is then told the port is closed.
  if (!platform_.Confirm(row.confirmation)) return;
  protocol::SendCommand(SendLink(), row, "");
}

void TForm_main::reboot1Click() {
  Btn_SystemResetClick();
}

void TForm_main::Btn_FactoryResetClick() {
  const protocol::CommandEntry& row = protocol::Entry(CommandId::FactoryReset);
  if (!platform_.Confirm(row.confirmation)) return;
  protocol::SendOptions options;
  // The modem restarts with its default link settings; the disconnect
  // reports itself.
  options.follow_up = [this] { Disconnect1Click(); };
  protocol::SendCommand(SendLink(), row, "", std::move(options));
}

// The rows carry the announcements, written even with the port closed.
void TForm_main::Btn_I_ATModeOnClick() {
  protocol::SendCommand(SendLink(), protocol::Entry(CommandId::ATModeOn), "");
}

void TForm_main::Btn_I_ATModeOffClick() {
  protocol::SendCommand(SendLink(), protocol::Entry(CommandId::ATModeOff), "");
}

void TForm_main::Btn_S_Save_FreqClick() {
  SaveCalibration(CommandId::S_Freq, CB_S_LoRa_Freq_PM, Edit_S_LoRa_Freq);
}

void TForm_main::Btn_R_Save_FreqClick() {
  SaveCalibration(CommandId::R_Freq, CB_R_LoRa_Freq_PM, Edit_R_LoRa_Freq);
}

void TForm_main::Edit_I_Get_Info_485Click() {
  SendRs485Query();
}

protocol::SendResult TForm_main::SendRs485Query() {
  return protocol::SendCommand(SendLink(), protocol::Entry(CommandId::I_Query485), "");
}

}  // namespace velimo::forms
