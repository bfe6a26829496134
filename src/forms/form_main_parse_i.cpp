// ParseResponse_I: the answers of an ioTavi modem, read into the I pages.
// The modem reports its RS-232 and RS-485 ports with the same keywords; a
// keyword one position further right (at position 2) is the RS-485 port,
// and its values stand one position further right as well.
#include <array>

#include "forms/form_main.h"
#include "forms/form_main_parse.h"
#include "util/positions.h"
#include "util/text_helpers.h"

namespace velimo::forms {

using protocol::AnswerTokens;
using protocol::KeywordRow;
using protocol::WorkingLine;

struct TForm_main::ParserI {
  TForm_main& f;

  void ShowLine(WorkingLine& l) { f.platform_.ShowMessage(l.Text()); }
  // "OK, AES IV": read key and IV back; the ioTavi pages report no
  // acknowledgement otherwise.
  void AesIvAck(WorkingLine&) { f.Btn_S_GetAESClick(); }
  void Rejection(WorkingLine& l) {
    f.LogWriteStr(l.Text());
    f.Btn_S_CurrentStatusClick();
  }
  // "AESKEY:<16 characters>"
  void Key(WorkingLine& l) {
    parse::SetReportedKey(f.Edit_I_AESKey, Trim(RestFrom(l.Text(), 8)));
    f.Edit_I_AESKey.SetEnabled(true);
    f.Btn_I_Save_AESKEY.SetEnabled(true);
    f.Edit_I_AESIV.SetEnabled(true);
    f.Btn_I_Save_AESIV.SetEnabled(true);
  }
  // "AESIV:<16 characters>"
  void Iv(WorkingLine& l) { parse::SetReportedKey(f.Edit_I_AESIV, Trim(RestFrom(l.Text(), 7))); }

  // RS-485 side (keyword at position 2).
  void PortType485(WorkingLine& l) {
    if (CopyAt(l.Text(), 12, 5) == "Kivet") {
      f.Edit_I_Ptype_485.SetItemIndex(0);
    } else if (CopyAt(l.Text(), 12, 6) == "Normal") {
      f.Edit_I_Ptype_485.SetItemIndex(1);
    }
  }
  void Destination485(WorkingLine& l) { f.Edit_I_Did_485.SetText(Trim(RestFrom(l.Text(), 26))); }
  void BaudRate485(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_Baudrate_485.SetItemIndex(BaudTextToIndex(t[1]));
    f.Edit_I_PAB_485.SetItemIndex(ParityTextToIndex(t[5]));
  }
  void DataBit485(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_DataBit_485.SetText(Trim(t[2]));
    f.Edit_I_StopBit_485.SetText(Trim(t[6]));
  }
  // Both "Hardware" lines write the RS-232 selector (the RS-485 group's own
  // is never shown); the RS-485 line spells its on value "RTS/CTS".
  void Hardware(WorkingLine& l, std::string_view onWord) {
    const AnswerTokens t = l.CommaSpacedTokens();
    if (t[3] == "OFF") {
      f.Edit_I_HWF.SetItemIndex(0);
    } else if (t[3] == onWord) {
      f.Edit_I_HWF.SetItemIndex(1);
    }
    f.LB_I_Hf.SetCaption(t[3]);
  }
  void Hardware485(WorkingLine& l) { Hardware(l, "RTS/CTS"); }
  void Message485(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_DMT_485.SetText(DigitsOnly(t[2]));
    f.Edit_I_DMS_485.SetText(DigitsOnly(t[6]));
  }
  void StxLength485(WorkingLine& l) {
    parse::FramingReport(l, f.Edit_I_STXLen_485, f.Panel_I_STX_485, f.Edit_I_STX1_485,
                         f.Edit_I_STX2_485, f.Edit_I_STX3_485);
  }
  // The last line of the RS-485 answer, as in the status report: the
  // answer has ended, whether or not its values can be read.
  void EtxLength485(WorkingLine& l) {
    f.rs485_answer_read_ = true;
    parse::FramingReport(l, f.Edit_I_ETXLen_485, f.Panel_I_ETX_485, f.Edit_I_ETX1_485,
                         f.Edit_I_ETX2_485, f.Edit_I_ETX3_485);
  }

  // Device and RS-232 side (keyword at position 1).
  // "F/W Version: 2.1"
  void Firmware(WorkingLine& l) {
    const std::string v = Trim(RestFrom(l.Text(), 13));
    f.Edit_I_FwVer.SetText(v);
    f.LB_I_FwVer.SetCaption(v);
  }
  // "Source ID  : 1234"
  void SourceId(WorkingLine& l) {
    f.ResponseFlag = 1;
    f.Panel_I_Info.SetVisible(true);
    const std::string sid = Trim(RestFrom(l.Text(), 14));
    f.Edit_I_Sid.SetText(sid);
    f.LB_I_SID.SetCaption(sid);
  }
  // "Channel = 5, Band = 7, Spreading Factor = 9"; the ioTavi is always
  // KOR, so the lists are rebuilt for it first.
  void Channel(WorkingLine& l) {
    f.Edit_I_Country.SetItemIndex(0);
    f.RefreshChannelLists_I();
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_Band.SetText(Trim(t[4]));
    f.CB_I_Ch.SetItemIndex(parse::ListPosition(StrToInt(Trim(t[1])), 1));
    f.CB_I_Sf.SetItemIndex(parse::ListPosition(StrToInt(Trim(t[8])), 7));
    f.LB_I_Ch.SetCaption(Trim(t[1]));
    f.LB_I_Band.SetCaption(Trim(t[4]));
    f.LB_I_Sf.SetCaption(Trim(t[8]));
  }
  // "Encryption:ON"
  void Encryption(WorkingLine& l) {
    if (CopyAt(l.Text(), 12, 3) == "OFF") {
      f.Edit_I_En.SetItemIndex(0);
      f.Panel_I_En_KeyIV.SetVisible(false);
    } else if (CopyAt(l.Text(), 12, 2) == "ON") {
      f.Edit_I_En.SetItemIndex(1);
      f.Panel_I_En_KeyIV.SetVisible(true);
    }
    f.LB_I_Encrypt.SetCaption(Trim(CopyAt(l.Text(), 12, 3)));
  }
  // "Port Type:Kivet"
  void PortType(WorkingLine& l) {
    if (CopyAt(l.Text(), 11, 5) == "Kivet") {
      f.Edit_I_Ptype.SetItemIndex(0);
    } else if (CopyAt(l.Text(), 11, 6) == "Normal") {
      f.Edit_I_Ptype.SetItemIndex(1);
    }
    f.LB_I_Ptype.SetCaption(Trim(CopyAt(l.Text(), 11, 6)));
  }
  // "Dummy Destination ID  : 5678"
  void Destination(WorkingLine& l) {
    const std::string did = Trim(RestFrom(l.Text(), 25));
    f.Edit_I_Did.SetText(did);
    f.LB_I_DID.SetCaption(did);
  }
  // "BaudRate = 9600, Parity Bit = None"
  void BaudRate(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_Baudrate.SetItemIndex(BaudTextToIndex(t[1]));
    f.Edit_I_PAB.SetItemIndex(ParityTextToIndex(t[5]));
    f.LB_I_Baudrate.SetCaption(t[1]);
    f.LB_I_Parity.SetCaption(t[5]);
  }
  // "Data Bit = 8, Stop Bit = 1"
  void DataBit(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_DataBit.SetText(Trim(t[2]));
    f.LB_I_Databit.SetCaption(Trim(t[2]));
    f.Edit_I_StopBit.SetText(Trim(t[6]));
    f.LB_I_Stopbit.SetCaption(Trim(t[6]));
  }
  // "Hardware Flow Control = ON"
  void Hardware232(WorkingLine& l) { Hardware(l, "ON"); }
  // "Message Timeout = 2550ms, Message Size = 116bytes"
  void Message(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_I_DMT.SetText(DigitsOnly(t[2]));
    f.Edit_I_DMS.SetText(DigitsOnly(t[6]));
  }
  void StxLength(WorkingLine& l) {
    parse::FramingReport(l, f.Edit_I_STXLen, f.Panel_I_STX, f.Edit_I_STX1, f.Edit_I_STX2,
                         f.Edit_I_STX3);
  }
  void EtxLength(WorkingLine& l) {
    parse::FramingReport(l, f.Edit_I_ETXLen, f.Panel_I_ETX, f.Edit_I_ETX1, f.Edit_I_ETX2,
                         f.Edit_I_ETX3);
  }
};

void TForm_main::ParseResponse_I(std::string_view line) {
  using P = ParserI;
  static constexpr std::array<KeywordRow<P>, 26> kRows = {{
      {1, "AT Mode", true, &P::ShowLine},
      {1, "OK, AES IV", false, &P::AesIvAck},
      {1, "Invalid", true, &P::ShowLine},
      {protocol::kAnywhere, "Invalid", false, &P::Rejection},
      {1, "AESKEY", false, &P::Key},
      {1, "AESIV", false, &P::Iv},
      {2, "Port Type", false, &P::PortType485},
      {2, "Dummy Destination", false, &P::Destination485},
      {2, "BaudRate", false, &P::BaudRate485},
      {2, "Data Bit", false, &P::DataBit485},
      {2, "Hardware", false, &P::Hardware485},
      {2, "Message", false, &P::Message485},
      {2, "STX Length", false, &P::StxLength485},
      {2, "ETX Length", false, &P::EtxLength485},
      {1, "F/W Ver", false, &P::Firmware},
      {1, "Source ID", false, &P::SourceId},
      {1, "Channel", false, &P::Channel},
      {1, "Encryption", false, &P::Encryption},
      {1, "Port Type", false, &P::PortType},
      {1, "Dummy Destination", false, &P::Destination},
      {1, "BaudRate", false, &P::BaudRate},
      {1, "Data Bit", false, &P::DataBit},
      {1, "Hardware", false, &P::Hardware232},
      {1, "Message", false, &P::Message},
      {1, "STX Length", false, &P::StxLength},
      {1, "ETX Length", false, &P::EtxLength},
  }};
  ParserI parser{*this};
  static const protocol::KeywordTable<P> kTable(kRows);
  kTable.Run(parser, line, platform_, parse::kDeviceChoice_I);
}

void TForm_main::RefreshChannelLists_I() {
  parse::RefreshChannelLists(Edit_I_Country, CB_I_Ch, CB_I_Sf);
}

}  // namespace velimo::forms
