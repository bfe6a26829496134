// The single saves of the setting editors: each reads its editor at the
// moment it runs, tests the value, and either refuses it with its message
// or sends its one line. The save-all sequences call the same actions.
#include <array>
#include <charconv>
#include <climits>
#include <string>

#include "forms/form_main.h"
#include "protocol/catalogue.h"
#include "util/errors.h"

namespace velimo::forms {

using protocol::CommandEntry;
using protocol::CommandId;
using protocol::EditorValue;
using protocol::SendOptions;

namespace {

constexpr std::string_view kMsgReconnect = "Please set COM again and reconnect.";

// The whole text as a 32-bit integer, an optional sign and decimal digits,
// nothing else: a blank or any other character anywhere fails, so a value
// is never sent with a blank inside it.
long long TypedNumber(const std::string& text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  long long value = 0;
  bool valid = i < text.size();
  for (size_t k = i; valid && k < text.size(); ++k) {
    const char c = text[k];
    valid = c >= '0' && c <= '9';
    if (valid) value = value * 10 + (c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) valid = false;
  }
  if (valid && text[0] == '-') value = -value;
  if (!valid || value > INT_MAX || value < INT_MIN) {
    throw EConvertError("'" + text + "' is not a valid integer value");
  }
  return value;
}

}  // namespace

// ---- Building blocks ------------------------------------------------------

void TForm_main::SaveTyped(CommandId id, TEdit& edit, AfterRefusal after, bool emptyTest) {
  if (!SaveMayWrite()) return;
  const CommandEntry& row = protocol::Entry(id);
  // Read once: a message box below serves port events, and a parser may
  // write into the editor meanwhile.
  const std::string text = edit.Text();
  const bool refused = (emptyTest && text.empty()) || !protocol::InRange(row, TypedNumber(text));
  if (refused) {
    platform_.ShowMessage(row.refusal);
    if (after.kind == AfterRefusal::Restore && after.copy) edit.SetText(after.copy->Text());
    if (after.kind == AfterRefusal::Focus) SetActiveControl(edit);
    return;
  }
  EditorValue value;
  value.text = text;
  protocol::SendCommand(SendLink(), row, protocol::EncodeValue(row, value));
}

void TForm_main::SaveCalibration(CommandId id, const TComboBox& sign, TEdit& amount) {
  if (!SaveMayWrite()) return;
  const CommandEntry& row = protocol::Entry(id);
  const std::string text = amount.Text();
  // The amount is digits only (its key filter), so the sign list alone
  // makes a value negative; a minus sign in the amount is refused with the
  // range message rather than sent as "--".
  if (text.empty() || !protocol::InRange(row, TypedNumber(text))) {
    platform_.ShowMessage(row.refusal);
    SetActiveControl(amount);
    return;
  }
  const std::string signText = sign.Text();
  EditorValue value;
  value.text = text;
  value.sign = signText;
  protocol::SendCommand(SendLink(), row, protocol::EncodeValue(row, value));
}

void TForm_main::SaveList(CommandId id, const TComboBox& list, SendOptions options) {
  if (!SaveMayWrite()) return;
  const CommandEntry& row = protocol::Entry(id);
  const std::string itemText = list.Text();
  EditorValue value;
  value.item_index = list.ItemIndex();
  value.item_text = itemText;
  protocol::SendCommand(SendLink(), row, protocol::EncodeValue(row, value), std::move(options));
}

int TForm_main::FrameLength(const TComboBox& length) {
  const std::string text = length.Text();
  int n = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) return -1;
  return n;
}

void TForm_main::SaveHexList(CommandId id, TComboBox& length, TEdit& v1, TEdit& v2, TEdit& v3) {
  if (!SaveMayWrite()) return;
  const CommandEntry& row = protocol::Entry(id);
  const int count = FrameLength(length);
  const std::array<std::string, 3> texts = {v1.Text(), v2.Text(), v3.Text()};
  const std::array<std::string_view, 3> values = {texts[0], texts[1], texts[2]};
  const int failed = protocol::CheckHexList(count, values);
  if (failed != 0) {
    platform_.ShowMessage(protocol::HexListRefusal(row, failed));
    Control* focus[] = {&length, &v1, &v2, &v3};
    SetActiveControl(*focus[failed < 0 ? 0 : failed]);
    return;
  }
  // Sent exactly as typed: neither converted nor re-cased.
  protocol::SendCommand(SendLink(), row, protocol::EncodeHexList(count, values));
}

void TForm_main::SaveLinkSetting_S(CommandId id, const TComboBox& list) {
  if (!SaveMayWrite()) return;
  SequenceRun run(*this);
  // The modem takes its new link settings at once, so everything else of
  // the serial page goes out first, while the link still works. A value
  // there that cannot be converted leaves from inside the save-all, before
  // the link setting is sent and the connection closed.
  Btn_S_Serial_SaveAllClick();
  if (!run.Going()) return;
  platform_.Pause(200);
  SendOptions options;
  options.follow_up = [this] {
    platform_.ShowMessage(kMsgReconnect);
    Disconnect1Click();
  };
  SaveList(id, list, std::move(options));
}

void TForm_main::SaveLinkSetting_I(CommandId id, const TComboBox& list) {
  SendOptions options;
  options.follow_up = [this] { platform_.ShowMessage(kMsgReconnect); };
  SaveList(id, list, std::move(options));
}

// ---- sTavi/uTavi LoRa page --------------------------------------------------

void TForm_main::Btn_S_Save_SidClick() {
  // No empty test: an empty editor ends in the conversion error.
  SaveTyped(CommandId::S_Sid, Edit_S_Sid, {}, false);
}

void TForm_main::Btn_S_Save_DidClick() {
  SaveTyped(CommandId::S_Did, Edit_S_Did, {AfterRefusal::Restore, &Edit_S_Did_B});
}

void TForm_main::Btn_S_Save_DtnClick() {
  SaveTyped(CommandId::S_Dtn, Edit_S_Dtn, {});
}

void TForm_main::Btn_S_Save_DentClick() {
  SaveTyped(CommandId::S_Dent, Edit_S_Dent, {});
}

void TForm_main::Btn_S_Save_MPIDClick(const Control& Sender) {
  struct Port {
    std::string_view digit;
    CommandId id;
    TEdit& edit;
  };
  const Port ports[] = {{"1", CommandId::S_MPID, Edit_S_MPID},
                        {"2", CommandId::S_LPID, Edit_S_LPID},
                        {"3", CommandId::S_SPID, Edit_S_SPID}};
  for (const Port& p : ports) {
    if (Sender.Hint() == p.digit) SaveTyped(p.id, p.edit, {});
  }
}

void TForm_main::Btn_S_Save_CountryClick() {
  SaveList(CommandId::S_Country, Edit_S_Country);
}
void TForm_main::Btn_S_Save_CHClick() {
  SaveList(CommandId::S_CH, CB_S_Ch);
}
void TForm_main::Btn_S_Save_SFClick() {
  SaveList(CommandId::S_SF, CB_S_Sf);
}

// ---- sTavi/uTavi serial page ------------------------------------------------

void TForm_main::Btn_S_Save_PtypeClick() {
  SaveList(CommandId::S_Ptype, Edit_S_Ptype);
}
void TForm_main::Btn_S_Save_PTPClick() {
  SaveList(CommandId::S_PTP, Edit_S_PTP);
}

void TForm_main::Btn_S_Save_Ptype_PtpClick() {
  RunSaveSteps({{&TForm_main::Btn_S_Save_PtypeClick, 100}, {&TForm_main::Btn_S_Save_PTPClick, 0}});
}

void TForm_main::Btn_S_Save_BaudrateClick() {
  SaveLinkSetting_S(CommandId::S_Baudrate, Edit_S_Baudrate);
}
void TForm_main::Btn_S_Save_PABClick() {
  SaveLinkSetting_S(CommandId::S_PAB, Edit_S_PAB);
}
void TForm_main::Btn_S_Save_HFClick() {
  SaveLinkSetting_S(CommandId::S_HF, Edit_S_HWF);
}

void TForm_main::Btn_S_Save_DMTClick() {
  SaveTyped(CommandId::S_DMT, Edit_S_DMT, {AfterRefusal::Restore, &Edit_S_DMT_B});
}

void TForm_main::Btn_S_Save_DMSClick() {
  SaveTyped(CommandId::S_DMS, Edit_S_DMS, {AfterRefusal::Restore, &Edit_S_DMS_B});
}

void TForm_main::Btn_S_Save_STXLClick() {
  SaveList(CommandId::S_STXL, Edit_S_STXLen);
}
void TForm_main::Btn_S_Save_ETXLClick() {
  SaveList(CommandId::S_ETXL, Edit_S_ETXLen);
}

void TForm_main::Btn_S_Save_STXClick() {
  SaveHexList(CommandId::S_STX, Edit_S_STXLen, Edit_S_STX1, Edit_S_STX2, Edit_S_STX3);
}

void TForm_main::Btn_S_Save_ETXClick() {
  SaveHexList(CommandId::S_ETX, Edit_S_ETXLen, Edit_S_ETX1, Edit_S_ETX2, Edit_S_ETX3);
}

// ---- rTavi LoRa page --------------------------------------------------------

void TForm_main::Btn_R_Save_SidClick() {
  SaveTyped(CommandId::R_Sid, Edit_R_Sid, {}, false);
}
void TForm_main::Btn_R_Save_ModeClick() {
  SaveList(CommandId::R_Mode, Edit_R_Mode);
}

void TForm_main::Btn_R_Save_Rid1Click() {
  SaveTyped(CommandId::R_Rid1, Edit_R_Rid1, {AfterRefusal::Restore, &Edit_R_Rid1_B});
}

void TForm_main::Btn_R_Save_Rid2Click() {
  SaveTyped(CommandId::R_Rid2, Edit_R_Rid2, {AfterRefusal::Restore, &Edit_R_Rid2_B});
}

void TForm_main::Btn_R_Save_CountryClick() {
  SaveList(CommandId::R_Country, Edit_R_Country);
}
void TForm_main::Btn_R_Save_CHClick() {
  SaveList(CommandId::R_CH, CB_R_Ch);
}
void TForm_main::Btn_R_Save_SFClick() {
  SaveList(CommandId::R_SF, CB_R_Sf);
}

// ---- ioTavi LoRa page -------------------------------------------------------

void TForm_main::Btn_I_Save_SidClick() {
  SaveTyped(CommandId::I_Sid, Edit_I_Sid, {}, false);
}
void TForm_main::Btn_I_Save_CHClick() {
  SaveList(CommandId::I_CH, CB_I_Ch);
}
void TForm_main::Btn_I_Save_SFClick() {
  SaveList(CommandId::I_SF, CB_I_Sf);
}

void TForm_main::Btn_I_Save_BandClick() {
  SaveTyped(CommandId::I_Band, Edit_I_Band, {AfterRefusal::Focus});
}

// ---- ioTavi serial page, RS-232 side ----------------------------------------

void TForm_main::Btn_I_Save_PtypeClick() {
  SaveList(CommandId::I_Ptype, Edit_I_Ptype);
}

void TForm_main::Btn_I_Save_DidClick() {
  SaveTyped(CommandId::I_Did, Edit_I_Did, {AfterRefusal::Focus});
}

void TForm_main::Btn_I_Save_Ptype_DidClick() {
  RunSaveSteps({{&TForm_main::Btn_I_Save_PtypeClick, 400}, {&TForm_main::Btn_I_Save_DidClick, 0}});
}

void TForm_main::Btn_I_Save_BaudrateClick() {
  SaveLinkSetting_I(CommandId::I_Baudrate, Edit_I_Baudrate);
}
void TForm_main::Btn_I_Save_PABClick() {
  SaveLinkSetting_I(CommandId::I_PAB, Edit_I_PAB);
}
void TForm_main::Btn_I_Save_HFClick() {
  SaveLinkSetting_I(CommandId::I_HF, Edit_I_HWF);
}

void TForm_main::Btn_I_Save_DMTClick() {
  SaveTyped(CommandId::I_DMT, Edit_I_DMT, {AfterRefusal::Focus});
}

void TForm_main::Btn_I_Save_DMSClick() {
  SaveTyped(CommandId::I_DMS, Edit_I_DMS, {AfterRefusal::Focus});
}

void TForm_main::Btn_I_Save_STXLClick() {
  SaveList(CommandId::I_STXL, Edit_I_STXLen);
}
void TForm_main::Btn_I_Save_ETXLClick() {
  SaveList(CommandId::I_ETXL, Edit_I_ETXLen);
}

void TForm_main::Btn_I_Save_STXClick() {
  SaveHexList(CommandId::I_STX, Edit_I_STXLen, Edit_I_STX1, Edit_I_STX2, Edit_I_STX3);
}

void TForm_main::Btn_I_Save_ETXClick() {
  SaveHexList(CommandId::I_ETX, Edit_I_ETXLen, Edit_I_ETX1, Edit_I_ETX2, Edit_I_ETX3);
}

// ---- ioTavi serial page, RS-485 side ----------------------------------------
// No reconnect message here: the RS-485 side is not the link to this tool.

void TForm_main::Btn_I_Save_Ptype_485Click() {
  SaveList(CommandId::I_Ptype_485, Edit_I_Ptype_485);
}

void TForm_main::Btn_I_Save_Did_485Click() {
  SaveTyped(CommandId::I_Did_485, Edit_I_Did_485, {AfterRefusal::Focus});
}

void TForm_main::Btn_I_Save_Ptype_Did_485Click() {
  RunSaveSteps(
      {{&TForm_main::Btn_I_Save_Ptype_485Click, 400}, {&TForm_main::Btn_I_Save_Did_485Click, 0}});
}

void TForm_main::Btn_I_Save_Baudrate_485Click() {
  SaveList(CommandId::I_Baudrate_485, Edit_I_Baudrate_485);
}
void TForm_main::Btn_I_Save_PAB_485Click() {
  SaveList(CommandId::I_PAB_485, Edit_I_PAB_485);
}

void TForm_main::Btn_I_Save_DMT_485Click() {
  SaveTyped(CommandId::I_DMT_485, Edit_I_DMT_485, {AfterRefusal::Focus});
}

void TForm_main::Btn_I_Save_DMS_485Click() {
  SaveTyped(CommandId::I_DMS_485, Edit_I_DMS_485, {AfterRefusal::Focus});
}

void TForm_main::Btn_I_Save_STXL_485Click() {
  SaveList(CommandId::I_STXL_485, Edit_I_STXLen_485);
}
void TForm_main::Btn_I_Save_ETXL_485Click() {
  SaveList(CommandId::I_ETXL_485, Edit_I_ETXLen_485);
}

void TForm_main::Btn_I_Save_STX_485Click() {
  SaveHexList(CommandId::I_STX_485, Edit_I_STXLen_485, Edit_I_STX1_485, Edit_I_STX2_485,
              Edit_I_STX3_485);
}

void TForm_main::Btn_I_Save_ETX_485Click() {
  SaveHexList(CommandId::I_ETX_485, Edit_I_ETXLen_485, Edit_I_ETX1_485, Edit_I_ETX2_485,
              Edit_I_ETX3_485);
}

}  // namespace velimo::forms
