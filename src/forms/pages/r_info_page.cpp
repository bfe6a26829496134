#include "forms/pages/r_info_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using pages::InfoLabel;

LayoutNode RInfoPage::Declare() {
  return Ctl(TS_R_Info.WithCaption("Info"),
             {Ctl(Panel_R_Info.Hidden(),
                  {
                      Ctl(LB_R_Summary_Info.WithCaption("rTavi Information")),
                      Row("F/W Version", {Ctl(InfoLabel(LB_R_FwVer))}),
                      Row("Source ID", {Ctl(InfoLabel(LB_R_SID))}),
                      Row("Country", {Ctl(InfoLabel(LB_R_Country))}),
                      Row("Channel", {Ctl(InfoLabel(LB_R_Ch))}),
                      Row("Spreading Factor", {Ctl(InfoLabel(LB_R_Sf))}),
                      // The captions of the mode and relay rows are labels of
                      // their own: the parser shows or hides the relay rows.
                      Row({Ctl(LB_R_Mode0.WithCaption("rTavi Mode")), Ctl(InfoLabel(LB_R_Mode))}),
                      Row({Ctl(LB_R_Rid1_0.WithCaption("Relay ID 1")), Ctl(InfoLabel(LB_R_Rid1))}),
                      Row({Ctl(LB_R_Rid2_0.WithCaption("Relay ID 2")), Ctl(InfoLabel(LB_R_Rid2))}),
                      Ctl(Btn_R_Clear_Info.WithCaption("Clear Info").Hidden()),
                  })});
}

}  // namespace velimo::forms
