// Page 1: sTavi and uTavi identifiers, LoRa, encryption and the hidden
// administrator group.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct SLoRaPage {
  VELIMO_CONTROL(TPage, TS_S_LoRa);
  VELIMO_CONTROL(TButton, Btn_S_SaveAll_LoRaPage);

  // [Device]
  VELIMO_CONTROL(TPanel, Panel_S_Info_Device);
  VELIMO_CONTROL(TPanel, Panel_Device_head_S);
  VELIMO_CONTROL(TEdit, Edit_S_FwVer);
  VELIMO_CONTROL(TEdit, Edit_S_Sid);
  VELIMO_CONTROL(TButton, Btn_S_Save_Sid);
  VELIMO_CONTROL(TEdit, Edit_S_Did);
  VELIMO_CONTROL(TButton, Btn_S_Save_Did);
  VELIMO_CONTROL(TEdit, Edit_S_Did_B);
  VELIMO_CONTROL(TEdit, Edit_S_Dtn);
  VELIMO_CONTROL(TButton, Btn_S_Save_Dtn);
  VELIMO_CONTROL(TEdit, Edit_S_Dent);
  VELIMO_CONTROL(TButton, Btn_S_Save_Dent);
  VELIMO_CONTROL(TEdit, Edit_S_MPID);
  VELIMO_CONTROL(TButton, Btn_S_Save_MPID);
  VELIMO_CONTROL(TEdit, Edit_S_LPID);
  VELIMO_CONTROL(TButton, Btn_S_Save_LPID);
  VELIMO_CONTROL(TEdit, Edit_S_SPID);
  VELIMO_CONTROL(TButton, Btn_S_Save_SPID);

  // [LoRa]
  VELIMO_CONTROL(TPanel, Panel_S_Info_LoRa);
  VELIMO_CONTROL(TPanel, Panel3);
  VELIMO_CONTROL(TButton, Btn_S_LoRa_SaveAll);
  VELIMO_CONTROL(TComboBox, Edit_S_Country);
  VELIMO_CONTROL(TButton, Btn_S_Save_Country);
  VELIMO_CONTROL(TComboBox, CB_S_Ch);
  VELIMO_CONTROL(TButton, Btn_S_Save_CH);
  VELIMO_CONTROL(TComboBox, CB_S_Sf);
  VELIMO_CONTROL(TButton, Btn_S_Save_SF);

  // [Encryption]
  VELIMO_CONTROL(TPanel, Panel_S_Info_Encryption);
  VELIMO_CONTROL(TPanel, Panel7);
  VELIMO_CONTROL(TComboBox, Edit_S_En);
  VELIMO_CONTROL(TButton, Btn_S_Save_En);
  VELIMO_CONTROL(TPanel, Panel_S_En_KeyIV);
  VELIMO_CONTROL(TEdit, Edit_S_AESKey);
  VELIMO_CONTROL(TCheckBox, CB_S_Show_Key);
  VELIMO_CONTROL(TButton, Btn_S_Save_AESKEY);
  VELIMO_CONTROL(TEdit, Edit_S_AESIV);
  VELIMO_CONTROL(TCheckBox, CB_S_Show_IV);
  VELIMO_CONTROL(TButton, Btn_S_Save_AESIV);
  VELIMO_CONTROL(TButton, Btn_S_AES_SaveAll);
  VELIMO_CONTROL(TButton, Btn_S_GetAES);

  // [Admin Config]
  VELIMO_CONTROL(TPanel, Panel_Info_Admin_S);
  VELIMO_CONTROL(TPanel, Panel4);
  VELIMO_CONTROL(TComboBox, CB_S_LoRa_Freq_PM);
  VELIMO_CONTROL(TEdit, Edit_S_LoRa_Freq);
  VELIMO_CONTROL(TButton, Btn_S_Save_Freq);

  LayoutNode Declare();
};

}  // namespace velimo::forms
