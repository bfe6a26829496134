#include "forms/pages/s_serial_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;
using C = protocol::CommandId;

LayoutNode SSerialPage::Declare() {
  return Ctl(
      TS_S_Serial.WithCaption("Serial"),
      {
          Title("Serial Setting"),
          Ctl(Panel_S_Info_Serial.Disabled(),
              {Row({
                  Column({
                      SettingRow(C::S_Ptype, Edit_S_Ptype.Disabled(),
                                 {Ctl(Save(Btn_S_Save_Ptype).Hidden()),
                                  Ctl(SaveAll(Btn_S_Save_Ptype_Ptp)
                                          .WithHint(kSerialSaveAllHint)
                                          .Hidden())}),
                      SettingRow(C::S_PTP, Edit_S_PTP.Disabled(),
                                 {Ctl(Save(Btn_S_Save_PTP).Hidden())}),
                      // The line settings are saved one by one: the modem
                      // changes its line at once, so each needs its own button.
                      SettingRow(C::S_Baudrate, Edit_S_Baudrate, {Ctl(Save(Btn_S_Save_Baudrate))}),
                      SettingRow(C::S_PAB, Edit_S_PAB, {Ctl(Save(Btn_S_Save_PAB))}),
                      Row("Data Bit", {Ctl(Digits(Edit_S_DataBit, 1, "0").Disabled())}),
                      Row("Stop Bit", {Ctl(Digits(Edit_S_StopBit, 1, "0").Disabled())}),
                      SettingRow(C::S_HF, Edit_S_HWF, {Ctl(Save(Btn_S_Save_HF))}),
                  }),
                  Column({
                      SettingRow(C::S_DMT, Digits(Edit_S_DMT, 4, "2550"),
                                 {Unit("ms"), Ctl(Save(Btn_S_Save_DMT).Hidden()),
                                  HiddenCopy(Digits(Edit_S_DMT_B, 4, "2550").Hidden())}),
                      SettingRow(C::S_DMS, Digits(Edit_S_DMS, 3, "0"),
                                 {Unit("bytes"), Ctl(Save(Btn_S_Save_DMS).Hidden()),
                                  HiddenCopy(Digits(Edit_S_DMS_B, 3, "0").Hidden())}),
                      SettingRow(C::S_STXL, Edit_S_STXLen, {Ctl(Save(Btn_S_Save_STXL).Hidden())}),
                      SettingRow(C::S_ETXL, Edit_S_ETXLen, {Ctl(Save(Btn_S_Save_ETXL).Hidden())}),
                      BytesOf(C::S_STX, Panel_S_STX,
                              {Row("STX1 : 0x", {Ctl(HexByte(Edit_S_STX1)), Text(", STX2 : 0x"),
                                                 Ctl(HexByte(Edit_S_STX2)), Text(", STX3 : 0x"),
                                                 Ctl(HexByte(Edit_S_STX3)),
                                                 Ctl(Save(Btn_S_Save_STX).Hidden())})}),
                      BytesOf(C::S_ETX, Panel_S_ETX,
                              {Row("ETX1 : 0x", {Ctl(HexByte(Edit_S_ETX1)), Text(", ETX2 : 0x"),
                                                 Ctl(HexByte(Edit_S_ETX2)), Text(", ETX3 : 0x"),
                                                 Ctl(HexByte(Edit_S_ETX3)),
                                                 Ctl(Save(Btn_S_Save_ETX).Hidden())})}),
                  }),
              })}),
          Note("* Please note that to change Baudrate, Parity Bit, H/W Flow Control, "),
          Note("   you must press each \"save\" button to apply changes."),
          Spoken("Serial pin map", Ctl(Img_S_PinMap)),
          Ctl(SaveAll(Btn_S_Serial_SaveAll).WithHint(kSerialSaveAllHint)),
      });
}

}  // namespace velimo::forms
