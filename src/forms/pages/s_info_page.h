// Page 0: what an sTavi or uTavi modem reported, read-only.
#pragma once

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

struct SInfoPage {
  VELIMO_CONTROL(TPage, TS_S_Info);
  VELIMO_CONTROL(TPanel, Panel_S_Info);
  VELIMO_CONTROL(TLabel, LB_S_Summary_Info);
  VELIMO_CONTROL(TLabel, LB_S_FwVer);
  VELIMO_CONTROL(TLabel, LB_S_SID);
  VELIMO_CONTROL(TLabel, LB_S_DID);
  VELIMO_CONTROL(TLabel, LB_S_Country);
  VELIMO_CONTROL(TLabel, LB_S_Ch);
  VELIMO_CONTROL(TLabel, LB_S_Sf);
  VELIMO_CONTROL(TLabel, LB_S_Encrypt);
  VELIMO_CONTROL(TLabel, LB_S_Ptype);
  VELIMO_CONTROL(TLabel, LB_S_Baudrate);
  VELIMO_CONTROL(TLabel, LB_S_Parity);
  VELIMO_CONTROL(TLabel, LB_S_Databit);
  VELIMO_CONTROL(TLabel, LB_S_Stopbit);
  VELIMO_CONTROL(TLabel, LB_S_Hf);
  VELIMO_CONTROL(TButton, Btn_SystemReset);
  VELIMO_CONTROL(TButton, Btn_S_Clear_Info);
  VELIMO_CONTROL(TLabel, Lb_PGVersion);

  // Sets the initial states and returns the page's declaration. Called
  // once, by the window.
  LayoutNode Declare();
};

}  // namespace velimo::forms
