// Page 3: what an rTavi modem reported, read-only.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct RInfoPage {
  VELIMO_CONTROL(TPage, TS_R_Info);
  VELIMO_CONTROL(TPanel, Panel_R_Info);
  VELIMO_CONTROL(TLabel, LB_R_Summary_Info);
  VELIMO_CONTROL(TLabel, LB_R_FwVer);
  VELIMO_CONTROL(TLabel, LB_R_SID);
  VELIMO_CONTROL(TLabel, LB_R_Country);
  VELIMO_CONTROL(TLabel, LB_R_Ch);
  VELIMO_CONTROL(TLabel, LB_R_Sf);
  VELIMO_CONTROL(TLabel, LB_R_Mode0);
  VELIMO_CONTROL(TLabel, LB_R_Mode);
  VELIMO_CONTROL(TLabel, LB_R_Rid1_0);
  VELIMO_CONTROL(TLabel, LB_R_Rid1);
  VELIMO_CONTROL(TLabel, LB_R_Rid2_0);
  VELIMO_CONTROL(TLabel, LB_R_Rid2);
  VELIMO_CONTROL(TButton, Btn_R_Clear_Info);

  LayoutNode Declare();
};

}  // namespace velimo::forms
