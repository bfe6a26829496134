// ParseResponse_R: the answers of an rTavi (relay) modem, read into the R
// pages.
#include <array>

#include "forms/form_main.h"
#include "forms/form_main_parse.h"
#include "util/positions.h"

namespace velimo::forms {

using protocol::AnswerTokens;
using protocol::KeywordRow;
using protocol::WorkingLine;

struct TForm_main::ParserR {
  TForm_main& f;

  // The rTavi LoRa save-all sends the spreading factor last, so its
  // acknowledgement always closes the sequence.
  void SpreadingAck(WorkingLine&) { f.platform_.ShowMessage(parse::kSuccessfullyChanged); }
  void ShowLine(WorkingLine& l) { f.platform_.ShowMessage(l.Text()); }
  // Any rejection further in the line: logged, and the configuration read
  // again so the pages show what the modem really holds.
  void Rejection(WorkingLine& l) {
    f.LogWriteStr(l.Text());
    f.Btn_S_CurrentStatusClick();
  }
  // "F/W Ver : 1.2"
  void Firmware(WorkingLine& l) {
    const std::string v = Trim(CopyAt(l.Text(), 11, 3));
    f.Edit_R_FwVer.SetText(v);
    f.LB_R_FwVer.SetCaption(v);
  }
  // "Source ID : 1234"
  void SourceId(WorkingLine& l) {
    f.ResponseFlag = 1;
    f.Panel_R_Info.SetVisible(true);
    const std::string sid = Trim(RestFrom(l.Text(), 13));
    f.Edit_R_Sid.SetText(sid);
    f.LB_R_SID.SetCaption(sid);
  }
  // "Country : KOR"
  void Country(WorkingLine& l) {
    parse::CountryReport(l.Text(), f.LB_R_Country, f.Edit_R_Country);
    f.RefreshChannelLists_R();
  }
  // "Channel = 5, Spreading Factor = 7"
  void Channel(WorkingLine& l) {
    const AnswerTokens t = l.CommaSpacedTokens();
    f.CB_R_Ch.SetItemIndex(parse::ListPosition(StrToInt(Trim(t[1])), 1));
    f.CB_R_Sf.SetItemIndex(parse::ListPosition(StrToInt(Trim(t[5])), 7));
    f.LB_R_Ch.SetCaption(Trim(t[1]));
    f.LB_R_Sf.SetCaption(Trim(t[5]));
  }
  // "Mode : Repeat" / "Mode : Relay": the relay identifiers matter only in
  // relay mode. Setting the selector runs no change handler, so the
  // controls are switched here.
  void Mode(WorkingLine& l) {
    const auto relay = [this](bool on) {
      f.Btn_R_Save_Rid1.SetEnabled(on);
      f.Btn_R_Save_Rid2.SetEnabled(on);
      f.Panel_R_Relay.SetVisible(on);
      f.LB_R_Rid1_0.SetVisible(on);
      f.LB_R_Rid2_0.SetVisible(on);
      f.LB_R_Rid1.SetVisible(on);
      f.LB_R_Rid2.SetVisible(on);
    };
    if (CopyAt(l.Text(), 8, 6) == "Repeat") {
      f.Edit_R_Mode.SetItemIndex(0);
      relay(false);
    } else if (CopyAt(l.Text(), 8, 5) == "Relay") {
      f.Edit_R_Mode.SetItemIndex(1);
      relay(true);
    }
    f.LB_R_Mode.SetCaption(Trim(CopyAt(l.Text(), 8, 6)));
  }
  // "  ---  Relay ID 1 : 1234" (the keyword after seven other characters).
  void RelayId(std::string_view line, TEdit& editor, TEdit& copy, TLabel& label) {
    editor.SetText(Trim(RestFrom(line, 21)));
    copy.SetText(editor.Text());
    label.SetCaption(Trim(RestFrom(line, 21)));
  }
  void RelayId1(WorkingLine& l) { RelayId(l.Text(), f.Edit_R_Rid1, f.Edit_R_Rid1_B, f.LB_R_Rid1); }
  void RelayId2(WorkingLine& l) { RelayId(l.Text(), f.Edit_R_Rid2, f.Edit_R_Rid2_B, f.LB_R_Rid2); }
};

void TForm_main::ParseResponse_R(std::string_view line) {
  using P = ParserR;
  static constexpr std::array<KeywordRow<P>, 10> kRows = {{
      {1, "OK. Spreading", false, &P::SpreadingAck},
      {1, "Invalid", true, &P::ShowLine},
      {protocol::kAnywhere, "Invalid", false, &P::Rejection},
      {1, "F/W Ver", false, &P::Firmware},
      {1, "Source ID", false, &P::SourceId},
      {1, "Country", false, &P::Country},
      {1, "Channel", false, &P::Channel},
      {1, "Mode", false, &P::Mode},
      {8, "Relay ID 1", false, &P::RelayId1},
      {8, "Relay ID 2", false, &P::RelayId2},
  }};
  ParserR parser{*this};
  static const protocol::KeywordTable<P> kTable(kRows);
  kTable.Run(parser, line, platform_, parse::kDeviceChoice_R);
}

void TForm_main::RefreshChannelLists_R() {
  parse::RefreshChannelLists(Edit_R_Country, CB_R_Ch, CB_R_Sf);
}

}  // namespace velimo::forms
