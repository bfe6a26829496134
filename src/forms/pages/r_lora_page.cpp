#include "forms/pages/r_lora_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;
using C = protocol::CommandId;

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
                  SettingRow(C::R_Sid, Digits(Edit_R_Sid, 8, "0").Disabled(),
                             {Ctl(Save(Btn_R_Save_Sid).Hidden())}),
                  SettingRow(C::R_Mode, Edit_R_Mode, {Ctl(Save(Btn_R_Save_Mode).Hidden())}),
                  // Shown only while "2. Relay" is chosen.
                  Ctl(Panel_R_Relay.Hidden(),
                      {
                          SettingRow(C::R_Rid1, Digits(Edit_R_Rid1, 8, "0"),
                                     {Ctl(Save(Btn_R_Save_Rid1).Hidden().Disabled()),
                                      HiddenCopy(Digits(Edit_R_Rid1_B, 8, "0").Hidden())}),
                          SettingRow(C::R_Rid2, Digits(Edit_R_Rid2, 8, "0"),
                                     {Ctl(Save(Btn_R_Save_Rid2).Hidden().Disabled()),
                                      HiddenCopy(Digits(Edit_R_Rid2_B, 8, "0").Hidden())}),
                      }),
              }),
          Ctl(Panel_R_Info_LoRa.Disabled(),
              {
                  Ctl(Header(Panel9, "[LoRa]"), {Ctl(SaveAll(Btn_R_LoRa_SaveAll).Hidden())}),
                  SettingRow(C::R_Country, Edit_R_Country.Disabled(),
                             {Ctl(Save(Btn_R_Save_Country).Hidden())}),
                  SettingRow(C::R_CH, CB_R_Ch.WithItems(UnreportedPlanItems()),
                             {Ctl(Save(Btn_R_Save_CH).Hidden())}),
                  SettingRow(C::R_SF, CB_R_Sf.WithItems(UnreportedPlanItems()),
                             {Ctl(Save(Btn_R_Save_SF).Hidden())}),
              }),
          Ctl(Panel_Info_Admin_R.Hidden().Disabled(),
              {
                  Ctl(Header(Panel11, "[Admin Config]")),
                  Row(std::string(protocol::Entry(C::R_Freq).caption),
                      {Spoken("LoRa Frequency change direction",
                              Ctl(CB_R_LoRa_Freq_PM.WithItems(Items(protocol::ListId::Sign)))),
                       Bound(C::R_Freq, Digits(Edit_R_LoRa_Freq, 5, "40000")),
                       Ctl(Save(Btn_R_Save_Freq))}),
              }),
          Ctl(SaveAll(Btn_R_SaveAll_LoRaPage)),
      });
}

}  // namespace velimo::forms
