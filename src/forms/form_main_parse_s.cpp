// ParseResponse_S: the answers of an sTavi or uTavi modem, read into the
// S pages.
#include <array>

#include "forms/form_main.h"
#include "forms/form_main_parse.h"
#include "util/positions.h"
#include "util/text_helpers.h"

namespace velimo::forms {

using protocol::AnswerTokens;
using protocol::KeywordRow;
using protocol::WorkingLine;

// The row actions, in table order. Each reads the working line at the
// positions and token indexes of the modem's report.
struct TForm_main::ParserS {
  TForm_main& f;

  void Success() { f.platform_.ShowMessage(parse::kSuccessfullyChanged); }
  bool OldFirmware() const {
    return f.Edit_S_FwVer.Text() == "1.0" || f.Edit_S_FwVer.Text() == "1.1";
  }

  // Acknowledgements. A save-all reports once, on the answer to its last
  // command: the spreading factor is last only on firmware 1.0 and 1.1
  // (no encryption steps there), the ETX length only when both lengths are
  // 0, the STX bytes only when no ETX bytes follow.
  void AesOffAck(WorkingLine&) { Success(); }
  void SpreadingFactorAck(WorkingLine&) {
    if (OldFirmware()) Success();
  }
  void EtxLengthZeroAck(WorkingLine&) {
    if (f.Edit_S_STXLen.ItemIndex() == 0) Success();
  }
  void Stx1Ack(WorkingLine&) {
    if (f.Edit_S_ETXLen.ItemIndex() == 0) Success();
  }
  void Etx1Ack(WorkingLine&) { Success(); }
  void AesIvAck(WorkingLine&) {
    Success();
    f.Btn_S_GetAESClick();
  }

  // "Invalid ..." at the start: the modem's own words, nothing more.
  void ShowLine(WorkingLine& l) { f.platform_.ShowMessage(l.Text()); }

  // "... Invalid ..." further in: a rejected status query is sent again, a
  // rejected key query only logged.
  void Rejection(WorkingLine& l) {
    if (Contains(l.Text(), "AT&V")) {
      f.LogWriteStr(l.Text());
      f.Btn_S_CurrentStatusClick();
    }
    if (Contains(l.Text(), "AT&E")) f.LogWriteStr(l.Text());
  }

  // "AES KEY : <16 characters>" (the only place the key and IV become
  // editable: the modem has told us what it holds).
  void KeyReport(WorkingLine& l) {
    parse::SetReportedKey(f.Edit_S_AESKey, Trim(RestFrom(l.Text(), 10)));
    f.Edit_S_AESKey.SetEnabled(true);
    f.Btn_S_Save_AESKEY.SetEnabled(true);
    f.Edit_S_AESIV.SetEnabled(true);
    f.Btn_S_Save_AESIV.SetEnabled(true);
  }
  // "AES IV : <16 characters>"
  void IvReport(WorkingLine& l) {
    parse::SetReportedKey(f.Edit_S_AESIV, Trim(RestFrom(l.Text(), 9)));
  }

  // "F/W Ver : 1.2": domestic firmware up to 1.5 means KOR; 1.0 and 1.1
  // have no encryption.
  void FirmwareReport(WorkingLine& l) {
    const std::string v = Trim(CopyAt(l.Text(), 11, 3));
    f.Edit_S_FwVer.SetText(v);
    f.LB_S_FwVer.SetCaption(v);
    const std::string& now = f.Edit_S_FwVer.Text();
    if (now == "1.0" || now == "1.1" || now == "1.2" || now == "1.3" || now == "1.4" ||
        now == "1.5") {
      f.LB_S_Country.SetCaption("KOR");
      f.Edit_S_Country.SetItemIndex(0);
      f.RefreshChannelLists_S();
    }
    f.Panel_S_Info_Encryption.SetVisible(!OldFirmware());
  }
  // "USA F/W Ver : 1.2" / "JAPAN F/W Ver : 1.2": export firmware; the
  // version carries the country, so it never reads as 1.0 or 1.1.
  void ExportFirmware(std::string_view line, int position, const char* country, int index) {
    const std::string v = Trim(CopyAt(line, position, 3)) + " " + country;
    f.Edit_S_FwVer.SetText(v);
    f.LB_S_FwVer.SetCaption(v);
    f.LB_S_Country.SetCaption(country);
    f.Edit_S_Country.SetItemIndex(index);
    f.RefreshChannelLists_S();
  }
  void UsaFirmware(WorkingLine& l) { ExportFirmware(l.Text(), 15, "USA", 1); }
  void JapanFirmware(WorkingLine& l) { ExportFirmware(l.Text(), 17, "JPN", 2); }

  // "Source ID  : 1234": part of the status report, so the watchdog is
  // satisfied.
  void SourceId(WorkingLine& l) {
    f.ResponseFlag = 1;
    f.Panel_S_Info.SetVisible(true);
    const std::string sid = Trim(RestFrom(l.Text(), 13));
    f.Edit_S_Sid.SetText(sid);
    f.LB_S_SID.SetCaption(sid);
  }
  // "Destination ID = 5678, Table = 1, Entry = 2"
  void Destination(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_S_Did.SetText(Trim(t[2]));
    f.Edit_S_Did_B.SetText(f.Edit_S_Did.Text());
    f.LB_S_DID.SetCaption(Trim(t[2]));
    f.Edit_S_Dtn.SetText(Trim(t[5]));
    f.Edit_S_Dent.SetText(Trim(t[8]));
  }
  // "Main   PID : 1" and its twins.
  void MainPid(WorkingLine& l) { f.Edit_S_MPID.SetText(Trim(RestFrom(l.Text(), 14))); }
  void LoRaPid(WorkingLine& l) { f.Edit_S_LPID.SetText(Trim(RestFrom(l.Text(), 14))); }
  void SerialPid(WorkingLine& l) { f.Edit_S_SPID.SetText(Trim(RestFrom(l.Text(), 14))); }
  // "Country : KOR"
  void Country(WorkingLine& l) {
    parse::CountryReport(l.Text(), f.LB_S_Country, f.Edit_S_Country);
    f.RefreshChannelLists_S();
  }
  // "Channel = 5, Spreading Factor = 7"; firmware 1.0 reports the
  // bandwidth in between: "Channel = 5, BW = 125 kHz, SF = 7".
  void Channel(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.CB_S_Ch.SetItemIndex(parse::ListPosition(StrToInt(Trim(t[1])), 1));
    const int k = f.Edit_S_FwVer.Text() == "1.0" ? 8 : 5;
    f.CB_S_Sf.SetItemIndex(parse::ListPosition(StrToInt(Trim(t[k])), 7));
    f.LB_S_Ch.SetCaption(Trim(t[1]));
    f.LB_S_Sf.SetCaption(Trim(t[k]));
  }
  // "Encryption : ON"
  void Encryption(WorkingLine& l) {
    if (CopyAt(l.Text(), 14, 3) == "OFF") {
      f.Edit_S_En.SetItemIndex(0);
      f.Panel_S_En_KeyIV.SetVisible(false);
    } else if (CopyAt(l.Text(), 14, 2) == "ON") {
      f.Edit_S_En.SetItemIndex(1);
      f.Panel_S_En_KeyIV.SetVisible(true);
    }
    f.LB_S_Encrypt.SetCaption(Trim(CopyAt(l.Text(), 14, 3)));
  }
  // "Port Type : Kivet"
  void PortType(WorkingLine& l) {
    if (CopyAt(l.Text(), 13, 5) == "Kivet") {
      f.Edit_S_Ptype.SetItemIndex(0);
    } else if (CopyAt(l.Text(), 13, 6) == "Normal") {
      f.Edit_S_Ptype.SetItemIndex(1);
    }
    f.LB_S_Ptype.SetCaption(Trim(CopyAt(l.Text(), 13, 6)));
  }
  // "Peer to Peer : ON"
  void Peer(WorkingLine& l) {
    if (CopyAt(l.Text(), 16, 3) == "OFF") {
      f.Edit_S_PTP.SetItemIndex(0);
    } else if (CopyAt(l.Text(), 16, 2) == "ON") {
      f.Edit_S_PTP.SetItemIndex(1);
    }
  }
  // "Message Timeout = 2550ms, Message Size = 116bytes"
  void Message(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_S_DMT.SetText(DigitsOnly(t[2]));
    f.Edit_S_DMT_B.SetText(f.Edit_S_DMT.Text());
    f.Edit_S_DMS.SetText(DigitsOnly(t[6]));
    f.Edit_S_DMS_B.SetText(f.Edit_S_DMS.Text());
  }
  void StxLength(WorkingLine& l) {
    parse::FramingReport(l, f.Edit_S_STXLen, f.Panel_S_STX, f.Edit_S_STX1, f.Edit_S_STX2,
                         f.Edit_S_STX3);
  }
  void EtxLength(WorkingLine& l) {
    parse::FramingReport(l, f.Edit_S_ETXLen, f.Panel_S_ETX, f.Edit_S_ETX1, f.Edit_S_ETX2,
                         f.Edit_S_ETX3);
  }
  // "Baudrate = 9600, Parity Bit = None, Data Bit = 8"
  void Baudrate(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_S_Baudrate.SetItemIndex(BaudTextToIndex(t[1]));
    f.Edit_S_PAB.SetItemIndex(ParityTextToIndex(t[5]));
    f.Edit_S_DataBit.SetText(Trim(t[9]));
    f.LB_S_Baudrate.SetCaption(t[1]);
    f.LB_S_Parity.SetCaption(t[5]);
    f.LB_S_Databit.SetCaption(Trim(t[9]));
  }
  // "Stop Bit = 1, Hardware Flow Control = OFF": the last line of the status
  // report; it satisfies the watchdog even when its values cannot be read.
  void StopBit(WorkingLine& l) {
    f.ResponseFlag = 1;
    const AnswerTokens t = l.CommaSpacedTokens();
    f.Edit_S_StopBit.SetText(Trim(t[2]));
    f.LB_S_Stopbit.SetCaption(Trim(t[2]));
    if (t[7] == "OFF") {
      f.Edit_S_HWF.SetItemIndex(0);
    } else if (t[7] == "RTS/CTS") {
      f.Edit_S_HWF.SetItemIndex(1);
    }
    f.LB_S_Hf.SetCaption(t[7]);
  }
};

void TForm_main::ParseResponse_S(std::string_view line) {
  using P = ParserS;
  static constexpr std::array<KeywordRow<P>, 28> kRows = {{
      {1, "OK. AES OFF", false, &P::AesOffAck},
      {1, "OK. Spreading Factor", false, &P::SpreadingFactorAck},
      {1, "OK. ETX Length=0", false, &P::EtxLengthZeroAck},
      {1, "OK, STX1=", false, &P::Stx1Ack},
      {1, "OK, ETX1=", false, &P::Etx1Ack},
      {1, "OK, AES IV", false, &P::AesIvAck},
      {1, "Invalid", true, &P::ShowLine},
      {protocol::kAnywhere, "Invalid", false, &P::Rejection},
      {1, "AES KEY", false, &P::KeyReport},
      {1, "AES IV", false, &P::IvReport},
      {1, "F/W Ver", false, &P::FirmwareReport},
      {1, "USA F/W", false, &P::UsaFirmware},
      {1, "JAPAN F/W", false, &P::JapanFirmware},
      {1, "Source ID", false, &P::SourceId},
      {1, "Destination", false, &P::Destination},
      {1, "Main   PID", false, &P::MainPid},
      {1, "LoRa   PID", false, &P::LoRaPid},
      {1, "Serial PID", false, &P::SerialPid},
      {1, "Country", false, &P::Country},
      {1, "Channel", false, &P::Channel},
      {1, "Encryption", false, &P::Encryption},
      {1, "Port Type", false, &P::PortType},
      {1, "Peer", false, &P::Peer},
      {1, "Message", false, &P::Message},
      {1, "STX Length", false, &P::StxLength},
      {1, "ETX Length", false, &P::EtxLength},
      {1, "Baudrate", false, &P::Baudrate},
      {1, "Stop Bit", false, &P::StopBit},
  }};
  ParserS parser{*this};
  static const protocol::KeywordTable<P> kTable(kRows);
  kTable.Run(parser, line, platform_, parse::kDeviceChoice_S);
}

void TForm_main::RefreshChannelLists_S() {
  parse::RefreshChannelLists(Edit_S_Country, CB_S_Ch, CB_S_Sf);
}

}  // namespace velimo::forms
