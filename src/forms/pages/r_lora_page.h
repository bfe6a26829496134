// Page 4: rTavi identifiers, relay mode, LoRa and the hidden administrator
// group.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct RLoRaPage {
  VELIMO_CONTROL(TPage, TS_R_LoRa);
  VELIMO_CONTROL(TButton, Btn_R_SaveAll_LoRaPage);

  // [Device]
  VELIMO_CONTROL(TPanel, Panel_R_Info_Device);
  VELIMO_CONTROL(TPanel, Panel_Device_head_R);
  VELIMO_CONTROL(TButton, Btn_R_Device_SaveAll);
  VELIMO_CONTROL(TEdit, Edit_R_FwVer);
  VELIMO_CONTROL(TEdit, Edit_R_Sid);
  VELIMO_CONTROL(TButton, Btn_R_Save_Sid);
  VELIMO_CONTROL(TComboBox, Edit_R_Mode);
  VELIMO_CONTROL(TButton, Btn_R_Save_Mode);
  VELIMO_CONTROL(TPanel, Panel_R_Relay);
  VELIMO_CONTROL(TEdit, Edit_R_Rid1);
  VELIMO_CONTROL(TButton, Btn_R_Save_Rid1);
  VELIMO_CONTROL(TEdit, Edit_R_Rid1_B);
  VELIMO_CONTROL(TEdit, Edit_R_Rid2);
  VELIMO_CONTROL(TButton, Btn_R_Save_Rid2);
  VELIMO_CONTROL(TEdit, Edit_R_Rid2_B);

  // [LoRa]
  VELIMO_CONTROL(TPanel, Panel_R_Info_LoRa);
  VELIMO_CONTROL(TPanel, Panel9);
  VELIMO_CONTROL(TButton, Btn_R_LoRa_SaveAll);
  VELIMO_CONTROL(TComboBox, Edit_R_Country);
  VELIMO_CONTROL(TButton, Btn_R_Save_Country);
  VELIMO_CONTROL(TComboBox, CB_R_Ch);
  VELIMO_CONTROL(TButton, Btn_R_Save_CH);
  VELIMO_CONTROL(TComboBox, CB_R_Sf);
  VELIMO_CONTROL(TButton, Btn_R_Save_SF);

  // [Admin Config]
  VELIMO_CONTROL(TPanel, Panel_Info_Admin_R);
  VELIMO_CONTROL(TPanel, Panel11);
  VELIMO_CONTROL(TComboBox, CB_R_LoRa_Freq_PM);
  VELIMO_CONTROL(TEdit, Edit_R_LoRa_Freq);
  VELIMO_CONTROL(TButton, Btn_R_Save_Freq);

  LayoutNode Declare();
};

}  // namespace velimo::forms
