// The setting editors' events: every Save button's action, the change
// handlers of the length lists, the relay mode and the encryption lists,
// the show boxes and the keyboard filters.
#include "forms/form_main.h"

namespace velimo::forms {

void TForm_main::BindEditors() {
  // sTavi/uTavi LoRa page.
  Btn_S_SaveAll_LoRaPage.OnClick = [this] { Btn_S_SaveAll_LoRaPageClick(); };
  Btn_S_Save_Sid.OnClick = [this] { Btn_S_Save_SidClick(); };
  Btn_S_Save_Did.OnClick = [this] { Btn_S_Save_DidClick(); };
  Btn_S_Save_Dtn.OnClick = [this] { Btn_S_Save_DtnClick(); };
  Btn_S_Save_Dent.OnClick = [this] { Btn_S_Save_DentClick(); };
  // One action for the three; the pressed button's hint is its port.
  Btn_S_Save_MPID.OnClick = [this] { Btn_S_Save_MPIDClick(Btn_S_Save_MPID); };
  Btn_S_Save_LPID.OnClick = [this] { Btn_S_Save_MPIDClick(Btn_S_Save_LPID); };
  Btn_S_Save_SPID.OnClick = [this] { Btn_S_Save_MPIDClick(Btn_S_Save_SPID); };
  Btn_S_LoRa_SaveAll.OnClick = [this] { Btn_S_LoRa_SaveAllClick(); };
  Btn_S_Save_Country.OnClick = [this] { Btn_S_Save_CountryClick(); };
  Btn_S_Save_CH.OnClick = [this] { Btn_S_Save_CHClick(); };
  Btn_S_Save_SF.OnClick = [this] { Btn_S_Save_SFClick(); };
  Edit_S_En.OnChange = [this] { Edit_S_EnChange(); };
  Btn_S_Save_En.OnClick = [this] { Btn_S_Save_EnClick(); };
  CB_S_Show_Key.OnClick = [this] { CB_S_Show_KeyClick(); };
  CB_S_Show_IV.OnClick = [this] { CB_S_Show_IVClick(); };
  Btn_S_Save_AESKEY.OnClick = [this] { Btn_S_Save_AESKEYClick(); };
  Btn_S_Save_AESIV.OnClick = [this] { Btn_S_Save_AESIVClick(); };
  Btn_S_AES_SaveAll.OnClick = [this] { Btn_S_AES_SaveAllClick(); };
  Btn_S_Save_Freq.OnClick = [this] { Btn_S_Save_FreqClick(); };

  // sTavi/uTavi serial page.
  Btn_S_Serial_SaveAll.OnClick = [this] { Btn_S_Serial_SaveAllClick(); };
  Btn_S_Save_Ptype.OnClick = [this] { Btn_S_Save_PtypeClick(); };
  Btn_S_Save_Ptype_Ptp.OnClick = [this] { Btn_S_Save_Ptype_PtpClick(); };
  Btn_S_Save_PTP.OnClick = [this] { Btn_S_Save_PTPClick(); };
  Btn_S_Save_Baudrate.OnClick = [this] { Btn_S_Save_BaudrateClick(); };
  Btn_S_Save_PAB.OnClick = [this] { Btn_S_Save_PABClick(); };
  Btn_S_Save_HF.OnClick = [this] { Btn_S_Save_HFClick(); };
  Btn_S_Save_DMT.OnClick = [this] { Btn_S_Save_DMTClick(); };
  Btn_S_Save_DMS.OnClick = [this] { Btn_S_Save_DMSClick(); };
  Edit_S_STXLen.OnChange = [this] { Edit_S_STXLenChange(); };
  Btn_S_Save_STXL.OnClick = [this] { Btn_S_Save_STXLClick(); };
  Edit_S_ETXLen.OnChange = [this] { Edit_S_ETXLenChange(); };
  Btn_S_Save_ETXL.OnClick = [this] { Btn_S_Save_ETXLClick(); };
  Btn_S_Save_STX.OnClick = [this] { Btn_S_Save_STXClick(); };
  Btn_S_Save_ETX.OnClick = [this] { Btn_S_Save_ETXClick(); };

  // rTavi LoRa page.
  Btn_R_SaveAll_LoRaPage.OnClick = [this] { Btn_R_SaveAll_LoRaPageClick(); };
  Btn_R_Device_SaveAll.OnClick = [this] { Btn_R_Device_SaveAllClick(); };
  Btn_R_Save_Sid.OnClick = [this] { Btn_R_Save_SidClick(); };
  Edit_R_Mode.OnChange = [this] { Edit_R_ModeChange(); };
  Btn_R_Save_Mode.OnClick = [this] { Btn_R_Save_ModeClick(); };
  Btn_R_Save_Rid1.OnClick = [this] { Btn_R_Save_Rid1Click(); };
  Btn_R_Save_Rid2.OnClick = [this] { Btn_R_Save_Rid2Click(); };
  Btn_R_LoRa_SaveAll.OnClick = [this] { Btn_R_LoRa_SaveAllClick(); };
  Btn_R_Save_Country.OnClick = [this] { Btn_R_Save_CountryClick(); };
  Btn_R_Save_CH.OnClick = [this] { Btn_R_Save_CHClick(); };
  Btn_R_Save_SF.OnClick = [this] { Btn_R_Save_SFClick(); };
  Btn_R_Save_Freq.OnClick = [this] { Btn_R_Save_FreqClick(); };

  // ioTavi LoRa page. The ioTavi has no country command.
  Btn_I_Save_Sid.OnClick = [this] { Btn_I_Save_SidClick(); };
  Btn_I_Save_CH.OnClick = [this] { Btn_I_Save_CHClick(); };
  Btn_I_Save_SF.OnClick = [this] { Btn_I_Save_SFClick(); };
  Btn_I_Save_Band.OnClick = [this] { Btn_I_Save_BandClick(); };
  Btn_I_LoRa_SaveAll.OnClick = [this] { Btn_I_LoRa_SaveAllClick(); };
  Edit_I_En.OnChange = [this] { Edit_I_EnChange(); };
  Btn_I_Save_En.OnClick = [this] { Btn_I_Save_EnClick(); };
  CB_I_Show_Key.OnClick = [this] { CB_I_Show_KeyClick(); };
  CB_I_Show_IV.OnClick = [this] { CB_I_Show_IVClick(); };
  Btn_I_Save_AESKEY.OnClick = [this] { Btn_I_Save_AESKEYClick(); };
  Btn_I_Save_AESIV.OnClick = [this] { Btn_I_Save_AESIVClick(); };
  Btn_I_AES_SaveAll.OnClick = [this] { Btn_I_AES_SaveAllClick(); };

  // ioTavi serial page, RS-232 side.
  Btn_I_Save_Ptype.OnClick = [this] { Btn_I_Save_PtypeClick(); };
  Btn_I_Save_Ptype_Did.OnClick = [this] { Btn_I_Save_Ptype_DidClick(); };
  Btn_I_Save_Did.OnClick = [this] { Btn_I_Save_DidClick(); };
  Btn_I_Save_Baudrate.OnClick = [this] { Btn_I_Save_BaudrateClick(); };
  Btn_I_Save_PAB.OnClick = [this] { Btn_I_Save_PABClick(); };
  Btn_I_Save_HF.OnClick = [this] { Btn_I_Save_HFClick(); };
  Btn_I_Save_DMT.OnClick = [this] { Btn_I_Save_DMTClick(); };
  Btn_I_Save_DMS.OnClick = [this] { Btn_I_Save_DMSClick(); };
  Edit_I_STXLen.OnChange = [this] { Edit_I_STXLenChange(); };
  Btn_I_Save_STXL.OnClick = [this] { Btn_I_Save_STXLClick(); };
  Edit_I_ETXLen.OnChange = [this] { Edit_I_ETXLenChange(); };
  Btn_I_Save_ETXL.OnClick = [this] { Btn_I_Save_ETXLClick(); };
  Btn_I_Save_STX.OnClick = [this] { Btn_I_Save_STXClick(); };
  Btn_I_Save_ETX.OnClick = [this] { Btn_I_Save_ETXClick(); };
  Btn_I_Serial_SaveAll.OnClick = [this] { Btn_I_Serial_SaveAllClick(); };

  // ioTavi serial page, RS-485 side. It has no flow-control command, and
  // its ETX values go out only with its save-all.
  Edit_I_Get_Info_485.OnClick = [this] { Edit_I_Get_Info_485Click(); };
  Btn_I_Save_Ptype_485.OnClick = [this] { Btn_I_Save_Ptype_485Click(); };
  Btn_I_Save_Ptype_Did_485.OnClick = [this] { Btn_I_Save_Ptype_Did_485Click(); };
  Btn_I_Save_Did_485.OnClick = [this] { Btn_I_Save_Did_485Click(); };
  Btn_I_Save_Baudrate_485.OnClick = [this] { Btn_I_Save_Baudrate_485Click(); };
  Btn_I_Save_PAB_485.OnClick = [this] { Btn_I_Save_PAB_485Click(); };
  Btn_I_Save_DMT_485.OnClick = [this] { Btn_I_Save_DMT_485Click(); };
  Btn_I_Save_DMS_485.OnClick = [this] { Btn_I_Save_DMS_485Click(); };
  Edit_I_STXLen_485.OnChange = [this] { Edit_I_STXLen_485Change(); };
  Btn_I_Save_STXL_485.OnClick = [this] { Btn_I_Save_STXL_485Click(); };
  Edit_I_ETXLen_485.OnChange = [this] { Edit_I_ETXLen_485Change(); };
  Btn_I_Save_ETXL_485.OnClick = [this] { Btn_I_Save_ETXL_485Click(); };
  Btn_I_Save_STX_485.OnClick = [this] { Btn_I_Save_STX_485Click(); };
  Btn_I_Serial_SaveAll_485.OnClick = [this] { Btn_I_Serial_SaveAll_485Click(); };

  // Maintenance.
  Btn_SystemReset.OnClick = [this] { Btn_SystemResetClick(); };
  reboot1.OnClick = [this] { reboot1Click(); };
  Btn_FactoryReset.OnClick = [this] { Btn_FactoryResetClick(); };
  Btn_I_ATModeOn.OnClick = [this] { Btn_I_ATModeOnClick(); };
  Btn_I_ATModeOff.OnClick = [this] { Btn_I_ATModeOffClick(); };

  // The keyboard filters follow the kind each page declares its editors
  // with: every numeric editor, hidden copies and calibration amount
  // included, and the eighteen STX/ETX hex editors.
  for (Control* c : AllControls()) {
    if (c->Kind() != ControlKind::Edit) continue;
    auto& edit = static_cast<TEdit&>(*c);
    if (edit.Filter() == KeyFilter::Digits) {
      edit.OnKeyPress = [this](char& key) { Edit_IP1KeyPress(key); };
    } else if (edit.Filter() == KeyFilter::Hex) {
      edit.OnKeyPress = [this](char& key) { Edit_S_STX1KeyPress(key); };
    }
  }
}

// ---- Length lists and relay mode ---------------------------------------------

void TForm_main::ShowFramePanel(const TComboBox& length, TPanel& panel) {
  // All three editors show together; the length says how many are used.
  const int n = FrameLength(length);
  panel.SetVisible(n >= 1 && n <= 3);
}

void TForm_main::Edit_S_STXLenChange() {
  ShowFramePanel(Edit_S_STXLen, Panel_S_STX);
}
void TForm_main::Edit_S_ETXLenChange() {
  ShowFramePanel(Edit_S_ETXLen, Panel_S_ETX);
}
void TForm_main::Edit_I_STXLenChange() {
  ShowFramePanel(Edit_I_STXLen, Panel_I_STX);
}
void TForm_main::Edit_I_ETXLenChange() {
  ShowFramePanel(Edit_I_ETXLen, Panel_I_ETX);
}

void TForm_main::Edit_I_STXLen_485Change() {
  ShowFramePanel(Edit_I_STXLen_485, Panel_I_STX_485);
}

void TForm_main::Edit_I_ETXLen_485Change() {
  ShowFramePanel(Edit_I_ETXLen_485, Panel_I_ETX_485);
}

void TForm_main::Edit_R_ModeChange() {
  // Only shows or hides; the mode goes out with its Save or the save-all.
  Panel_R_Relay.SetVisible(Edit_R_Mode.ItemIndex() == 1);
}

}  // namespace velimo::forms
