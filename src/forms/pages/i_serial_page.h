// Page 7: the ioTavi's two serial ports, RS232 on the left and RS485 on the
// right, with the same rows; the RS485 names end in _485.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct ISerialPage {
  VELIMO_CONTROL(TPage, TS_I_Serial);

  // [RS232]
  VELIMO_CONTROL(TPanel, Panel_I_Info_Serial);
  VELIMO_CONTROL(TPanel, Panel10);
  VELIMO_CONTROL(TComboBox, Edit_I_Ptype);
  VELIMO_CONTROL(TButton, Btn_I_Save_Ptype);
  VELIMO_CONTROL(TButton, Btn_I_Save_Ptype_Did);
  VELIMO_CONTROL(TEdit, Edit_I_Did);
  VELIMO_CONTROL(TButton, Btn_I_Save_Did);
  VELIMO_CONTROL(TComboBox, Edit_I_Baudrate);
  VELIMO_CONTROL(TButton, Btn_I_Save_Baudrate);
  VELIMO_CONTROL(TComboBox, Edit_I_PAB);
  VELIMO_CONTROL(TButton, Btn_I_Save_PAB);
  VELIMO_CONTROL(TEdit, Edit_I_DataBit);
  VELIMO_CONTROL(TEdit, Edit_I_StopBit);
  VELIMO_CONTROL(TComboBox, Edit_I_HWF);
  VELIMO_CONTROL(TButton, Btn_I_Save_HF);
  VELIMO_CONTROL(TGroupBox, GroupBox2);
  VELIMO_CONTROL(TEdit, Edit_I_DMT);
  VELIMO_CONTROL(TButton, Btn_I_Save_DMT);
  VELIMO_CONTROL(TEdit, Edit_I_DMS);
  VELIMO_CONTROL(TButton, Btn_I_Save_DMS);
  VELIMO_CONTROL(TComboBox, Edit_I_STXLen);
  VELIMO_CONTROL(TButton, Btn_I_Save_STXL);
  VELIMO_CONTROL(TComboBox, Edit_I_ETXLen);
  VELIMO_CONTROL(TButton, Btn_I_Save_ETXL);
  VELIMO_CONTROL(TPanel, Panel_I_STX);
  VELIMO_CONTROL(TEdit, Edit_I_STX1);
  VELIMO_CONTROL(TEdit, Edit_I_STX2);
  VELIMO_CONTROL(TEdit, Edit_I_STX3);
  VELIMO_CONTROL(TButton, Btn_I_Save_STX);
  VELIMO_CONTROL(TPanel, Panel_I_ETX);
  VELIMO_CONTROL(TEdit, Edit_I_ETX1);
  VELIMO_CONTROL(TEdit, Edit_I_ETX2);
  VELIMO_CONTROL(TEdit, Edit_I_ETX3);
  VELIMO_CONTROL(TButton, Btn_I_Save_ETX);
  VELIMO_CONTROL(TButton, Btn_I_Serial_SaveAll);

  // [RS485]
  VELIMO_CONTROL(TPanel, Panel_I_Info_485);
  VELIMO_CONTROL(TPanel, Panel13);
  VELIMO_CONTROL(TButton, Edit_I_Get_Info_485);
  VELIMO_CONTROL(TComboBox, Edit_I_Ptype_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_Ptype_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_Ptype_Did_485);
  VELIMO_CONTROL(TEdit, Edit_I_Did_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_Did_485);
  VELIMO_CONTROL(TComboBox, Edit_I_Baudrate_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_Baudrate_485);
  VELIMO_CONTROL(TComboBox, Edit_I_PAB_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_PAB_485);
  VELIMO_CONTROL(TEdit, Edit_I_DataBit_485);
  VELIMO_CONTROL(TEdit, Edit_I_StopBit_485);
  VELIMO_CONTROL(TComboBox, Edit_I_HWF_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_HF_485);
  VELIMO_CONTROL(TGroupBox, GroupBox3);
  VELIMO_CONTROL(TEdit, Edit_I_DMT_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_DMT_485);
  VELIMO_CONTROL(TEdit, Edit_I_DMS_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_DMS_485);
  VELIMO_CONTROL(TComboBox, Edit_I_STXLen_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_STXL_485);
  VELIMO_CONTROL(TComboBox, Edit_I_ETXLen_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_ETXL_485);
  VELIMO_CONTROL(TPanel, Panel_I_STX_485);
  VELIMO_CONTROL(TEdit, Edit_I_STX1_485);
  VELIMO_CONTROL(TEdit, Edit_I_STX2_485);
  VELIMO_CONTROL(TEdit, Edit_I_STX3_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_STX_485);
  VELIMO_CONTROL(TPanel, Panel_I_ETX_485);
  VELIMO_CONTROL(TEdit, Edit_I_ETX1_485);
  VELIMO_CONTROL(TEdit, Edit_I_ETX2_485);
  VELIMO_CONTROL(TEdit, Edit_I_ETX3_485);
  VELIMO_CONTROL(TButton, Btn_I_Save_ETX_485);
  VELIMO_CONTROL(TButton, Btn_I_Serial_SaveAll_485);

  LayoutNode Declare();
};

}  // namespace velimo::forms
