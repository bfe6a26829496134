// Page 5: what an ioTavi modem reported, and its AT mode buttons.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct IInfoPage {
  VELIMO_CONTROL(TPage, TS_I_Info);
  VELIMO_CONTROL(TPanel, Panel_I_Info);
  VELIMO_CONTROL(TLabel, LB_I_Summary_Info);
  VELIMO_CONTROL(TLabel, LB_I_FwVer);
  VELIMO_CONTROL(TLabel, LB_I_SID);
  VELIMO_CONTROL(TLabel, LB_I_Ch);
  VELIMO_CONTROL(TLabel, LB_I_Sf);
  VELIMO_CONTROL(TLabel, LB_I_Band);
  VELIMO_CONTROL(TLabel, LB_I_Encrypt);
  VELIMO_CONTROL(TLabel, LB_I_Ptype);
  VELIMO_CONTROL(TLabel, LB_I_DID);
  VELIMO_CONTROL(TLabel, LB_I_Baudrate);
  VELIMO_CONTROL(TLabel, LB_I_Parity);
  VELIMO_CONTROL(TLabel, LB_I_Databit);
  VELIMO_CONTROL(TLabel, LB_I_Stopbit);
  VELIMO_CONTROL(TLabel, LB_I_Hf);
  VELIMO_CONTROL(TButton, Btn_I_ATModeOn);
  VELIMO_CONTROL(TButton, Btn_I_ATModeOff);
  VELIMO_CONTROL(TButton, Btn_I_Clear_Info);

  LayoutNode Declare();
};

}  // namespace velimo::forms
