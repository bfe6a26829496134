#include "forms/pages/i_lora_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;

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
                  Row("Source ID", {Ctl(Digits(Edit_I_Sid, 8, "0").Disabled()),
                                    Ctl(Save(Btn_I_Save_Sid).Hidden())}),
              }),
          Ctl(Panel_I_Info_LoRa.Disabled(),
              {
                  Ctl(Header(Panel16, "[LoRa]")),
                  Row("Country Code", {Ctl(Edit_I_Country.WithItems(CountryItems()).Disabled()),
                                       Ctl(Save(Btn_I_Save_Country).Hidden())}),
                  Row("Channel",
                      {Ctl(CB_I_Ch.WithItems(ChannelItems())), Ctl(Save(Btn_I_Save_CH).Hidden())}),
                  Row("Spreading Factor",
                      {Ctl(CB_I_Sf.WithItems(ChannelItems())), Ctl(Save(Btn_I_Save_SF).Hidden())}),
                  Row({Text("Band", TextStyle::Caption, false),
                       Ctl(Digits(Edit_I_Band, 2, "0").Hidden()),
                       Ctl(Save(Btn_I_Save_Band).Hidden())}),
                  Ctl(SaveAll(Btn_I_LoRa_SaveAll)),
              }),
          Ctl(Panel_I_Info_Encryption.Disabled(),
              {
                  Ctl(Header(Panel15, "[Encryption]"),
                      {Spoken("Read AES key and IV", Ctl(Btn_I_GetAES.WithCaption("AES")))}),
                  Row("Encryption",
                      {Ctl(Edit_I_En.WithItems(OnOffItems())), Ctl(Save(Btn_I_Save_En).Hidden())}),
                  // Unlike the sTavi page, key and IV can be typed from the start.
                  Ctl(Panel_I_En_KeyIV,
                      {
                          Row("AES KEY",
                              {Ctl(Edit_I_AESKey.WithMaxLength(16)
                                       .WithText("No Information")
                                       .WithMask()),
                               Ctl(CB_I_Show_Key.WithCaption("show")),
                               Ctl(Btn_I_Save_AESKEY.WithCaption("Key Save").Hidden().Disabled())}),
                          Row("AES IV",
                              {Ctl(Edit_I_AESIV.WithMaxLength(16)
                                       .WithText("No Information")
                                       .WithMask()),
                               Ctl(CB_I_Show_IV.WithCaption("show")),
                               Ctl(Btn_I_Save_AESIV.WithCaption("IV Save").Hidden().Disabled())}),
                      }),
                  Ctl(SaveAll(Btn_I_AES_SaveAll)),
              }),
      });
}

}  // namespace velimo::forms
