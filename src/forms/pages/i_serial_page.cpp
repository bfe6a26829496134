#include "forms/pages/i_serial_page.h"

#include "forms/pages/page_parts.h"

namespace velimo::forms {

using namespace layout;
using namespace pages;
using C = protocol::CommandId;

namespace {

constexpr const char* kPtypeDidHint = "Port type, DID Save All";

// The catalogue rows of one side's framing box.
struct FramingRows {
  C dmt, dms, stxl, etxl, stx, etx;
};
constexpr FramingRows kRs232{C::I_DMT, C::I_DMS, C::I_STXL, C::I_ETXL, C::I_STX, C::I_ETX};
constexpr FramingRows kRs485{C::I_DMT_485,  C::I_DMS_485, C::I_STXL_485,
                             C::I_ETXL_485, C::I_STX_485, C::I_ETX_485};

// The framing box, the same on both sides.
LayoutNode Framing(const FramingRows& rows, TGroupBox& box, TEdit& dmt, TButton& saveDmt,
                   TEdit& dms, TButton& saveDms, TComboBox& stxLen, TButton& saveStxl,
                   TComboBox& etxLen, TButton& saveEtxl, TPanel& stxPanel, TEdit& stx1, TEdit& stx2,
                   TEdit& stx3, TButton& saveStx, TPanel& etxPanel, TEdit& etx1, TEdit& etx2,
                   TEdit& etx3, TButton& saveEtx, TButton& saveAll) {
  LayoutNode framing = Ctl(
      box,
      {
          SettingRow(rows.dmt, Digits(dmt, 4, "2550"), {Unit("ms"), Ctl(Save(saveDmt).Hidden())}),
          SettingRow(rows.dms, Digits(dms, 3, "0"), {Unit("bytes"), Ctl(Save(saveDms).Hidden())}),
          SettingRow(rows.stxl, stxLen, {Ctl(Save(saveStxl).Hidden())}),
          SettingRow(rows.etxl, etxLen, {Ctl(Save(saveEtxl).Hidden())}),
          BytesOf(rows.stx, stxPanel,
                  {Row("STX1 : 0x",
                       {Ctl(HexByte(stx1)), Text(", STX2 : 0x"), Ctl(HexByte(stx2)),
                        Text(", STX3 : 0x"), Ctl(HexByte(stx3)), Ctl(Save(saveStx).Hidden())})}),
          BytesOf(rows.etx, etxPanel,
                  {Row("ETX1 : 0x",
                       {Ctl(HexByte(etx1)), Text(", ETX2 : 0x"), Ctl(HexByte(etx2)),
                        Text(", ETX3 : 0x"), Ctl(HexByte(etx3)), Ctl(Save(saveEtx).Hidden())})}),
          Ctl(SaveAll(saveAll).WithHint(kSerialSaveAllHint)),
      });
  framing.spoken = "Framing";
  return framing;
}

}  // namespace

LayoutNode ISerialPage::Declare() {
  LayoutNode rs232 = Ctl(
      Panel_I_Info_Serial.Disabled(),
      {
          Ctl(Header(Panel10, "[RS232]")),
          SettingRow(C::I_Ptype, Edit_I_Ptype,
                     {Ctl(Save(Btn_I_Save_Ptype).Hidden()),
                      Ctl(SaveAll(Btn_I_Save_Ptype_Did).WithHint(kPtypeDidHint))}),
          SettingRow(C::I_Did, Digits(Edit_I_Did, 8, "0"), {Ctl(Save(Btn_I_Save_Did).Hidden())}),
          Note(kBroadcastNote),
          SettingRow(C::I_Baudrate, Edit_I_Baudrate, {Ctl(Save(Btn_I_Save_Baudrate))}),
          SettingRow(C::I_PAB, Edit_I_PAB, {Ctl(Save(Btn_I_Save_PAB))}),
          Row("Data Bit", {Ctl(Digits(Edit_I_DataBit, 1, "0").Disabled())}),
          Row("Stop Bit", {Ctl(Digits(Edit_I_StopBit, 1, "0").Disabled())}),
          SettingRow(C::I_HF, Edit_I_HWF, {Ctl(Save(Btn_I_Save_HF))}),
          Framing(kRs232, GroupBox2, Edit_I_DMT, Btn_I_Save_DMT, Edit_I_DMS, Btn_I_Save_DMS,
                  Edit_I_STXLen, Btn_I_Save_STXL, Edit_I_ETXLen, Btn_I_Save_ETXL, Panel_I_STX,
                  Edit_I_STX1, Edit_I_STX2, Edit_I_STX3, Btn_I_Save_STX, Panel_I_ETX, Edit_I_ETX1,
                  Edit_I_ETX2, Edit_I_ETX3, Btn_I_Save_ETX, Btn_I_Serial_SaveAll),
      });
  LayoutNode rs485 = Ctl(
      Panel_I_Info_485.Disabled(),
      {
          Ctl(Header(Panel13, "[RS485]"),
              {Spoken("Read RS-485 settings", Ctl(Edit_I_Get_Info_485.WithCaption("RS485")))}),
          SettingRow(C::I_Ptype_485, Edit_I_Ptype_485,
                     {Ctl(Save(Btn_I_Save_Ptype_485).Hidden()),
                      Ctl(SaveAll(Btn_I_Save_Ptype_Did_485).WithHint(kPtypeDidHint))}),
          SettingRow(C::I_Did_485, Digits(Edit_I_Did_485, 8, "0"),
                     {Ctl(Save(Btn_I_Save_Did_485).Hidden())}),
          SettingRow(C::I_Baudrate_485, Edit_I_Baudrate_485, {Ctl(Save(Btn_I_Save_Baudrate_485))}),
          SettingRow(C::I_PAB_485, Edit_I_PAB_485, {Ctl(Save(Btn_I_Save_PAB_485))}),
          Row("Data Bit", {Ctl(Digits(Edit_I_DataBit_485, 1, "0").Disabled())}),
          Row("Stop Bit", {Ctl(Digits(Edit_I_StopBit_485, 1, "0").Disabled())}),
          // RS485 has no flow control: the row is there but never shown.
          Row({Text("H/W Flow Control", TextStyle::Caption, false),
               Ctl(Edit_I_HWF_485.WithItems(Items(protocol::ListId::Flow)).Hidden().Disabled()),
               Ctl(Save(Btn_I_Save_HF_485).Hidden())}),
          Framing(kRs485, GroupBox3, Edit_I_DMT_485, Btn_I_Save_DMT_485, Edit_I_DMS_485,
                  Btn_I_Save_DMS_485, Edit_I_STXLen_485, Btn_I_Save_STXL_485, Edit_I_ETXLen_485,
                  Btn_I_Save_ETXL_485, Panel_I_STX_485, Edit_I_STX1_485, Edit_I_STX2_485,
                  Edit_I_STX3_485, Btn_I_Save_STX_485, Panel_I_ETX_485, Edit_I_ETX1_485,
                  Edit_I_ETX2_485, Edit_I_ETX3_485, Btn_I_Save_ETX_485, Btn_I_Serial_SaveAll_485),
      });
  // The two sides hold the same rows; a screen reader tells them apart by
  // the side's name.
  rs232.spoken = "RS-232";
  rs485.spoken = "RS-485";
  return Ctl(TS_I_Serial.WithCaption("Serial"),
             {Title("Serial Setting"), Row({std::move(rs232), std::move(rs485)})});
}

}  // namespace velimo::forms
