#include "forms/pages/i_info_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using pages::InfoLabel;

LayoutNode IInfoPage::Declare() {
  return Ctl(
      TS_I_Info.WithCaption("Info"),
      {Ctl(Panel_I_Info.Hidden(),
           {
               Ctl(LB_I_Summary_Info.WithCaption("ioTavi Information")),
               Row("F/W Version", {Ctl(InfoLabel(LB_I_FwVer))}),
               Row("Source ID", {Ctl(InfoLabel(LB_I_SID))}),
               Row("Channel", {Ctl(InfoLabel(LB_I_Ch))}),
               Row("Spreading Factor", {Ctl(InfoLabel(LB_I_Sf))}),
               // The band is read but not shown.
               Row({Text("Band", TextStyle::Caption, false), Ctl(InfoLabel(LB_I_Band).Hidden())}),
               Row("Encryption", {Ctl(InfoLabel(LB_I_Encrypt))}),
               Row("Port Type", {Ctl(InfoLabel(LB_I_Ptype))}),
               Row("Destination ID", {Ctl(InfoLabel(LB_I_DID))}),
               Row("Baudrate", {Ctl(InfoLabel(LB_I_Baudrate))}),
               Row("Parity Bit", {Ctl(InfoLabel(LB_I_Parity))}),
               Row("Data Bit", {Ctl(InfoLabel(LB_I_Databit))}),
               Row("Stop Bit", {Ctl(InfoLabel(LB_I_Stopbit))}),
               Row("H/W Flow Control", {Ctl(InfoLabel(LB_I_Hf))}),
               // Shown and usable only while connected to an ioTavi.
               Row({Ctl(Btn_I_ATModeOn.WithCaption("AT Mode On").Hidden().Disabled()),
                    Ctl(Btn_I_ATModeOff.WithCaption("AT Mode Off").Hidden().Disabled())}),
               Ctl(Btn_I_Clear_Info.WithCaption("Clear Info").Hidden()),
           })});
}

}  // namespace velimo::forms
