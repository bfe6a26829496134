// Page 2: the serial port settings of an sTavi or uTavi modem, its message
// framing, and the pin map.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct SSerialPage {
  VELIMO_CONTROL(TPage, TS_S_Serial);
  VELIMO_CONTROL(TPanel, Panel_S_Info_Serial);
  VELIMO_CONTROL(TButton, Btn_S_Serial_SaveAll);
  VELIMO_CONTROL(TImage, Img_S_PinMap);

  // left column
  VELIMO_CONTROL(TComboBox, Edit_S_Ptype);
  VELIMO_CONTROL(TButton, Btn_S_Save_Ptype);
  VELIMO_CONTROL(TButton, Btn_S_Save_Ptype_Ptp);
  VELIMO_CONTROL(TComboBox, Edit_S_PTP);
  VELIMO_CONTROL(TButton, Btn_S_Save_PTP);
  VELIMO_CONTROL(TComboBox, Edit_S_Baudrate);
  VELIMO_CONTROL(TButton, Btn_S_Save_Baudrate);
  VELIMO_CONTROL(TComboBox, Edit_S_PAB);
  VELIMO_CONTROL(TButton, Btn_S_Save_PAB);
  VELIMO_CONTROL(TEdit, Edit_S_DataBit);
  VELIMO_CONTROL(TEdit, Edit_S_StopBit);
  VELIMO_CONTROL(TComboBox, Edit_S_HWF);
  VELIMO_CONTROL(TButton, Btn_S_Save_HF);

  // right column
  VELIMO_CONTROL(TEdit, Edit_S_DMT);
  VELIMO_CONTROL(TButton, Btn_S_Save_DMT);
  VELIMO_CONTROL(TEdit, Edit_S_DMT_B);
  VELIMO_CONTROL(TEdit, Edit_S_DMS);
  VELIMO_CONTROL(TButton, Btn_S_Save_DMS);
  VELIMO_CONTROL(TEdit, Edit_S_DMS_B);
  VELIMO_CONTROL(TComboBox, Edit_S_STXLen);
  VELIMO_CONTROL(TButton, Btn_S_Save_STXL);
  VELIMO_CONTROL(TComboBox, Edit_S_ETXLen);
  VELIMO_CONTROL(TButton, Btn_S_Save_ETXL);
  VELIMO_CONTROL(TPanel, Panel_S_STX);
  VELIMO_CONTROL(TEdit, Edit_S_STX1);
  VELIMO_CONTROL(TEdit, Edit_S_STX2);
  VELIMO_CONTROL(TEdit, Edit_S_STX3);
  VELIMO_CONTROL(TButton, Btn_S_Save_STX);
  VELIMO_CONTROL(TPanel, Panel_S_ETX);
  VELIMO_CONTROL(TEdit, Edit_S_ETX1);
  VELIMO_CONTROL(TEdit, Edit_S_ETX2);
  VELIMO_CONTROL(TEdit, Edit_S_ETX3);
  VELIMO_CONTROL(TButton, Btn_S_Save_ETX);

  LayoutNode Declare();
};

}  // namespace velimo::forms
