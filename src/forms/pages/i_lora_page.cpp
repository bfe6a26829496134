#include "forms/pages/i_lora_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;
using C = protocol::CommandId;

LayoutNode ILoRaPage::Declare() {
  return Ctl(
      TS_I_LoRa.WithCaption("LoRa"),
      {
          Title("LoRa Setting"),
          Ctl(Panel_I_Info_Device.Disabled(),
              {
                  // This header counts toward the sTavi/uTavi administrator toggle.
                  Ctl(Header(Panel12, "[Device]")),
                  Row("F/W Version", {Ctl(Digits(Edit_I_FwVer, 8, "0").Disabled())}),
                  SettingRow(C::I_Sid, Digits(Edit_I_Sid, 8, "0").Disabled(),
                             {Ctl(Save(Btn_I_Save_Sid).Hidden())}),
              }),
          Ctl(Panel_I_Info_LoRa.Disabled(),
              {
                  Ctl(Header(Panel16, "[LoRa]")),
                  // The ioTavi has no country command: the list only shows
                  // the plan its channels follow.
                  Row("Country Code",
                      {Ctl(Edit_I_Country.WithItems(Items(protocol::ListId::Country)).Disabled()),
                       Ctl(Save(Btn_I_Save_Country).Hidden())}),
                  SettingRow(C::I_CH, CB_I_Ch.WithItems(UnreportedPlanItems()),
                             {Ctl(Save(Btn_I_Save_CH).Hidden())}),
                  SettingRow(C::I_SF, CB_I_Sf.WithItems(UnreportedPlanItems()),
                             {Ctl(Save(Btn_I_Save_SF).Hidden())}),
                  Row({Text(std::string(protocol::Entry(C::I_Band).caption), TextStyle::Caption,
                            false),
                       Bound(C::I_Band, Digits(Edit_I_Band, 2, "0").Hidden()),
                       Ctl(Save(Btn_I_Save_Band).Hidden())}),
                  Ctl(SaveAll(Btn_I_LoRa_SaveAll)),
              }),
          Ctl(Panel_I_Info_Encryption.Disabled(),
              {
                  Ctl(Header(Panel15, "[Encryption]"),
                      {Spoken("Read AES key and IV", Ctl(Btn_I_GetAES.WithCaption("AES")))}),
                  SettingRow(C::I_En, Edit_I_En, {Ctl(Save(Btn_I_Save_En).Hidden())}),
                  // Unlike the sTavi page, key and IV can be typed from the start.
                  Ctl(Panel_I_En_KeyIV,
                      {
                          SettingRow(
                              C::I_AESKEY,
                              Edit_I_AESKey.WithMaxLength(16).WithText("No Information").WithMask(),
                              {Ctl(CB_I_Show_Key.WithCaption("show")),
                               Ctl(Btn_I_Save_AESKEY.WithCaption("Key Save").Hidden().Disabled())}),
                          SettingRow(
                              C::I_AESIV,
                              Edit_I_AESIV.WithMaxLength(16).WithText("No Information").WithMask(),
                              {Ctl(CB_I_Show_IV.WithCaption("show")),
                               Ctl(Btn_I_Save_AESIV.WithCaption("IV Save").Hidden().Disabled())}),
                      }),
                  Ctl(SaveAll(Btn_I_AES_SaveAll)),
              }),
      });
}

}  // namespace velimo::forms
