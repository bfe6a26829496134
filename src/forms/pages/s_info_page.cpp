#include "forms/pages/s_info_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using pages::InfoLabel;

LayoutNode SInfoPage::Declare() {
  // The panel stays hidden until the modem answers the status query.
  return Ctl(TS_S_Info.WithCaption("Info"),
             {Ctl(Panel_S_Info.Hidden(),
                  {
                      Ctl(LB_S_Summary_Info.WithCaption("sTavi Information")),
                      Row("F/W Version", {Ctl(InfoLabel(LB_S_FwVer))}),
                      Row("Source ID", {Ctl(InfoLabel(LB_S_SID))}),
                      Row("Destination ID", {Ctl(InfoLabel(LB_S_DID))}),
                      Row("Country", {Ctl(InfoLabel(LB_S_Country))}),
                      Row("Channel", {Ctl(InfoLabel(LB_S_Ch))}),
                      Row("Spreading Factor", {Ctl(InfoLabel(LB_S_Sf))}),
                      Row("Encryption", {Ctl(InfoLabel(LB_S_Encrypt))}),
                      Row("Port Type", {Ctl(InfoLabel(LB_S_Ptype))}),
                      Row("Baudrate", {Ctl(InfoLabel(LB_S_Baudrate))}),
                      Row("Parity Bit", {Ctl(InfoLabel(LB_S_Parity))}),
                      Row("Data Bit", {Ctl(InfoLabel(LB_S_Databit))}),
                      Row("Stop Bit", {Ctl(InfoLabel(LB_S_Stopbit))}),
                      Row("H/W Flow Control", {Ctl(InfoLabel(LB_S_Hf))}),
                      Ctl(Btn_SystemReset.WithCaption(" System Reset").Hidden().Disabled()),
                      Ctl(Btn_S_Clear_Info.WithCaption("Clear Info").Hidden()),
                      // The About window reads the program's version from here.
                      Ctl(Lb_PGVersion.Hidden()),
                  })});
}

}  // namespace velimo::forms
