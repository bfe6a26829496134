// Page 6: ioTavi identifier, LoRa and encryption.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct ILoRaPage {
  VELIMO_CONTROL(TPage, TS_I_LoRa);

  // [Device]
  VELIMO_CONTROL(TPanel, Panel_I_Info_Device);
  VELIMO_CONTROL(TPanel, Panel12);
  VELIMO_CONTROL(TEdit, Edit_I_FwVer);
  VELIMO_CONTROL(TEdit, Edit_I_Sid);
  VELIMO_CONTROL(TButton, Btn_I_Save_Sid);

  // [LoRa]
  VELIMO_CONTROL(TPanel, Panel_I_Info_LoRa);
  VELIMO_CONTROL(TPanel, Panel16);
  VELIMO_CONTROL(TComboBox, Edit_I_Country);
  VELIMO_CONTROL(TButton, Btn_I_Save_Country);
  VELIMO_CONTROL(TComboBox, CB_I_Ch);
  VELIMO_CONTROL(TButton, Btn_I_Save_CH);
  VELIMO_CONTROL(TComboBox, CB_I_Sf);
  VELIMO_CONTROL(TButton, Btn_I_Save_SF);
  VELIMO_CONTROL(TEdit, Edit_I_Band);
  VELIMO_CONTROL(TButton, Btn_I_Save_Band);
  VELIMO_CONTROL(TButton, Btn_I_LoRa_SaveAll);

  // [Encryption]
  VELIMO_CONTROL(TPanel, Panel_I_Info_Encryption);
  VELIMO_CONTROL(TPanel, Panel15);
  VELIMO_CONTROL(TButton, Btn_I_GetAES);
  VELIMO_CONTROL(TComboBox, Edit_I_En);
  VELIMO_CONTROL(TButton, Btn_I_Save_En);
  VELIMO_CONTROL(TPanel, Panel_I_En_KeyIV);
  VELIMO_CONTROL(TEdit, Edit_I_AESKey);
  VELIMO_CONTROL(TCheckBox, CB_I_Show_Key);
  VELIMO_CONTROL(TButton, Btn_I_Save_AESKEY);
  VELIMO_CONTROL(TEdit, Edit_I_AESIV);
  VELIMO_CONTROL(TCheckBox, CB_I_Show_IV);
  VELIMO_CONTROL(TButton, Btn_I_Save_AESIV);
  VELIMO_CONTROL(TButton, Btn_I_AES_SaveAll);

  LayoutNode Declare();
};

}  // namespace velimo::forms
