#include "forms/pages/r_lora_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;

LayoutNode RLoRaPage::Declare() {
  return Ctl(
      TS_R_LoRa.WithCaption("LoRa"),
      {
          Title("LoRa Setting"),
          Ctl(Panel_R_Info_Device.Disabled(),
              {
                  Ctl(Header(Panel_Device_head_R, "[Device]"),
                      {Ctl(SaveAll(Btn_R_Device_SaveAll).Hidden())}),
                  Row("F/W Version", {Ctl(Edit_R_FwVer.WithMaxLength(8).WithText("0").Disabled())}),
                  Row("Source ID", {Ctl(Digits(Edit_R_Sid, 8, "0").Disabled()),
                                    Ctl(Save(Btn_R_Save_Sid).Hidden())}),
                  Row("rTavi Mode", {Ctl(Edit_R_Mode.WithItems(RelayModeItems())),
                                     Ctl(Save(Btn_R_Save_Mode).Hidden())}),
                  // Shown only while "2. Relay" is chosen.
                  Ctl(Panel_R_Relay.Hidden(),
                      {
                          Row("Relay ID 1", {Ctl(Digits(Edit_R_Rid1, 8, "0")),
                                             Ctl(Save(Btn_R_Save_Rid1).Hidden().Disabled()),
                                             Ctl(Digits(Edit_R_Rid1_B, 8, "0").Hidden())}),
                          Row("Relay ID 2", {Ctl(Digits(Edit_R_Rid2, 8, "0")),
                                             Ctl(Save(Btn_R_Save_Rid2).Hidden().Disabled()),
                                             Ctl(Digits(Edit_R_Rid2_B, 8, "0").Hidden())}),
                      }),
              }),
          Ctl(Panel_R_Info_LoRa.Disabled(),
              {
                  Ctl(Header(Panel9, "[LoRa]"), {Ctl(SaveAll(Btn_R_LoRa_SaveAll).Hidden())}),
                  Row("Country Code", {Ctl(Edit_R_Country.WithItems(CountryItems()).Disabled()),
                                       Ctl(Save(Btn_R_Save_Country).Hidden())}),
                  Row("Channel",
                      {Ctl(CB_R_Ch.WithItems(ChannelItems())), Ctl(Save(Btn_R_Save_CH).Hidden())}),
                  Row("Spreading Factor",
                      {Ctl(CB_R_Sf.WithItems(ChannelItems())), Ctl(Save(Btn_R_Save_SF).Hidden())}),
              }),
          Ctl(Panel_Info_Admin_R.Hidden().Disabled(),
              {
                  Ctl(Header(Panel11, "[Admin Config]")),
                  Row("LoRa Frequency change",
                      {Spoken("LoRa Frequency change direction",
                              Ctl(CB_R_LoRa_Freq_PM.WithItems(PlusMinusItems()))),
                       Ctl(Digits(Edit_R_LoRa_Freq, 5, "40000")), Ctl(Save(Btn_R_Save_Freq))}),
              }),
          Ctl(SaveAll(Btn_R_SaveAll_LoRaPage)),
      });
}

}  // namespace velimo::forms
