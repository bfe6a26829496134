#include "forms/pages/s_lora_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;
using C = protocol::CommandId;

LayoutNode SLoRaPage::Declare() {
  return Ctl(
      TS_S_LoRa.WithCaption("LoRa"),
      {
          Title("LoRa Setting"),
          Row({
              Ctl(Panel_S_Info_Device.Disabled(),
                  {
                      // Clicking the header a few times opens the administrator group.
                      Ctl(Header(Panel_Device_head_S, "[Device]")),
                      Row("F/W Version", {Ctl(Digits(Edit_S_FwVer, 8, "0").Disabled())}),
                      SettingRow(C::S_Sid, Digits(Edit_S_Sid, 8, "0").Disabled(),
                                 {Ctl(Save(Btn_S_Save_Sid).Hidden())}),
                      SettingRow(C::S_Did, Digits(Edit_S_Did, 8, "0"),
                                 {Ctl(Save(Btn_S_Save_Did).Hidden()),
                                  HiddenCopy(Digits(Edit_S_Did_B, 8, "0").Hidden())}),
                      SettingRow(C::S_Dtn, Digits(Edit_S_Dtn, 3, "0").Disabled(),
                                 {Ctl(Save(Btn_S_Save_Dtn).Hidden().Disabled())}),
                      SettingRow(C::S_Dent, Digits(Edit_S_Dent, 3, "0").Disabled(),
                                 {Ctl(Save(Btn_S_Save_Dent).Hidden().Disabled())}),
                      // The three PID buttons share one handler that tells them
                      // apart by their hints.
                      SettingRow(C::S_MPID, Digits(Edit_S_MPID, 8, "0").Disabled(),
                                 {Ctl(Save(Btn_S_Save_MPID).WithHint("1").Hidden().Disabled())}),
                      SettingRow(C::S_LPID, Digits(Edit_S_LPID, 8, "0").Disabled(),
                                 {Ctl(Save(Btn_S_Save_LPID).WithHint("2").Hidden().Disabled())}),
                      SettingRow(C::S_SPID, Digits(Edit_S_SPID, 8, "0").Disabled(),
                                 {Ctl(Save(Btn_S_Save_SPID).WithHint("3").Hidden().Disabled())}),
                  }),
              Note(kBroadcastNote),
          }),
          Ctl(Panel_S_Info_LoRa.Disabled(),
              {
                  Ctl(Header(Panel3, "[LoRa]"), {Ctl(SaveAll(Btn_S_LoRa_SaveAll).Hidden())}),
                  SettingRow(C::S_Country, Edit_S_Country.Disabled(),
                             {Ctl(Save(Btn_S_Save_Country).Hidden())}),
                  SettingRow(C::S_CH, CB_S_Ch.WithItems(UnreportedPlanItems()),
                             {Ctl(Save(Btn_S_Save_CH).Hidden())}),
                  SettingRow(C::S_SF, CB_S_Sf.WithItems(UnreportedPlanItems()),
                             {Ctl(Save(Btn_S_Save_SF).Hidden())}),
              }),
          Ctl(Panel_S_Info_Encryption.Disabled(),
              {
                  Ctl(Header(Panel7, "[Encryption]")),
                  SettingRow(C::S_En, Edit_S_En, {Ctl(Save(Btn_S_Save_En).Hidden())}),
                  Ctl(Panel_S_En_KeyIV,
                      {
                          SettingRow(
                              C::S_AESKEY,
                              Edit_S_AESKey.WithMaxLength(16)
                                  .WithText("No Information")
                                  .WithMask()
                                  .Disabled(),
                              {Ctl(CB_S_Show_Key.WithCaption("show")),
                               Ctl(Btn_S_Save_AESKEY.WithCaption("Key Save").Hidden().Disabled())}),
                          SettingRow(
                              C::S_AESIV,
                              Edit_S_AESIV.WithMaxLength(16)
                                  .WithText("No Information")
                                  .WithMask()
                                  .Disabled(),
                              {Ctl(CB_S_Show_IV.WithCaption("show")),
                               Ctl(Btn_S_Save_AESIV.WithCaption("IV Save").Hidden().Disabled())}),
                      }),
                  Row({Ctl(SaveAll(Btn_S_AES_SaveAll).Hidden()),
                       Spoken("Load AES KEY and AES IV",
                              Ctl(Btn_S_GetAES.WithCaption("Load").Hidden()))}),
              }),
          Ctl(Panel_Info_Admin_S.Hidden().Disabled(),
              {
                  Ctl(Header(Panel4, "[Admin Config]")),
                  Row(std::string(protocol::Entry(C::S_Freq).caption),
                      {Spoken("LoRa Frequency change direction",
                              Ctl(CB_S_LoRa_Freq_PM.WithItems(Items(protocol::ListId::Sign)))),
                       Bound(C::S_Freq, Digits(Edit_S_LoRa_Freq, 5, "40000")),
                       Ctl(Save(Btn_S_Save_Freq))}),
              }),
          Ctl(SaveAll(Btn_S_SaveAll_LoRaPage)),
      });
}

}  // namespace velimo::forms
