// The single saves of the setting editors: each reads its editor at the
// moment it runs, tests the value, and either refuses it with its message
// or sends its one line. The save-all sequences call the same actions.
#include <array>
#include <charconv>
#include <climits>
#include <string>

#include "forms/form_main.h"
#include "forms/setting_controls.h"
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

void TForm_main::SaveSetting(CommandId id) {
  const CommandEntry& row = protocol::Entry(id);
  const SettingControls c = ControlsOf(*this, id);
  if (row.encoding == protocol::ValueEncoding::HexList) {
    SaveHexList(id, *c.length, *c.bytes[0], *c.bytes[1], *c.bytes[2]);
    return;
  }
  if (row.list != protocol::ListId::None) {
    SaveList(id, static_cast<const TComboBox&>(*c.value));
    return;
  }
  TEdit& edit = static_cast<TEdit&>(*c.value);
  if (row.secret) {
    SaveAesText(id, edit);
    return;
  }
  // A refused value: the sTavi/uTavi and rTavi editors take back the value
  // last reported where they keep a copy of it; the ioTavi ones keep what
  // was typed and take the focus. The unit's own address does neither,
  // and an empty one ends in the conversion error.
  AfterRefusal after;
  if (c.copy)
    after = {AfterRefusal::Restore, c.copy};
  else if (row.set == protocol::PageSet::I && !row.identity)
    after = {AfterRefusal::Focus};
  SaveTyped(id, edit, after, !row.identity);
}

void TForm_main::RefuseValue(std::string_view message) {
  // A save-all stops here, as it stops at a value that cannot be converted:
  // the steps after a refused value would leave the modem half set, and
  // the last step's acknowledgement would say "Successfully changed.".
  if (sequence_depth_ > 0) sequence_ended_ = true;
  ++values_refused_;
  platform_.ShowMessage(message);
}

void TForm_main::SaveTyped(CommandId id, TEdit& edit, AfterRefusal after, bool emptyTest) {
  if (!SaveMayWrite()) return;
  const CommandEntry& row = protocol::Entry(id);
  // Read once: a message box below serves port events, and a parser may
  // write into the editor meanwhile.
  const std::string text = edit.Text();
  const bool refused = (emptyTest && text.empty()) || !protocol::InRange(row, TypedNumber(text));
  if (refused) {
    RefuseValue(row.refusal);
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
    RefuseValue(row.refusal);
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
    RefuseValue(protocol::HexListRefusal(row, failed));
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
  SaveSetting(CommandId::S_Sid);
}

void TForm_main::Btn_S_Save_DidClick() {
  SaveSetting(CommandId::S_Did);
}

void TForm_main::Btn_S_Save_DtnClick() {
  SaveSetting(CommandId::S_Dtn);
}

void TForm_main::Btn_S_Save_DentClick() {
  SaveSetting(CommandId::S_Dent);
}

void TForm_main::Btn_S_Save_MPIDClick(const Control& Sender) {
  for (CommandId id : {CommandId::S_MPID, CommandId::S_LPID, CommandId::S_SPID}) {
    if (Sender.Hint() == std::to_string(protocol::Entry(id).port_digit)) SaveSetting(id);
  }
}

void TForm_main::Btn_S_Save_CountryClick() {
  SaveSetting(CommandId::S_Country);
}
void TForm_main::Btn_S_Save_CHClick() {
  SaveSetting(CommandId::S_CH);
}
void TForm_main::Btn_S_Save_SFClick() {
  SaveSetting(CommandId::S_SF);
}

// ---- sTavi/uTavi serial page ------------------------------------------------

void TForm_main::Btn_S_Save_PtypeClick() {
  SaveSetting(CommandId::S_Ptype);
}
void TForm_main::Btn_S_Save_PTPClick() {
  SaveSetting(CommandId::S_PTP);
}

void TForm_main::Btn_S_Save_Ptype_PtpClick() {
  RunSequence(protocol::Sequence::S_PtypePtp);
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
  SaveSetting(CommandId::S_DMT);
}

void TForm_main::Btn_S_Save_DMSClick() {
  SaveSetting(CommandId::S_DMS);
}

void TForm_main::Btn_S_Save_STXLClick() {
  SaveSetting(CommandId::S_STXL);
}
void TForm_main::Btn_S_Save_ETXLClick() {
  SaveSetting(CommandId::S_ETXL);
}

void TForm_main::Btn_S_Save_STXClick() {
  SaveSetting(CommandId::S_STX);
}

void TForm_main::Btn_S_Save_ETXClick() {
  SaveSetting(CommandId::S_ETX);
}

// ---- rTavi LoRa page --------------------------------------------------------

void TForm_main::Btn_R_Save_SidClick() {
  SaveSetting(CommandId::R_Sid);
}
void TForm_main::Btn_R_Save_ModeClick() {
  SaveSetting(CommandId::R_Mode);
}

void TForm_main::Btn_R_Save_Rid1Click() {
  SaveSetting(CommandId::R_Rid1);
}

void TForm_main::Btn_R_Save_Rid2Click() {
  SaveSetting(CommandId::R_Rid2);
}

void TForm_main::Btn_R_Save_CountryClick() {
  SaveSetting(CommandId::R_Country);
}
void TForm_main::Btn_R_Save_CHClick() {
  SaveSetting(CommandId::R_CH);
}
void TForm_main::Btn_R_Save_SFClick() {
  SaveSetting(CommandId::R_SF);
}

// ---- ioTavi LoRa page -------------------------------------------------------

void TForm_main::Btn_I_Save_SidClick() {
  SaveSetting(CommandId::I_Sid);
}
void TForm_main::Btn_I_Save_CHClick() {
  SaveSetting(CommandId::I_CH);
}
void TForm_main::Btn_I_Save_SFClick() {
  SaveSetting(CommandId::I_SF);
}

void TForm_main::Btn_I_Save_BandClick() {
  SaveSetting(CommandId::I_Band);
}

// ---- ioTavi serial page, RS-232 side ----------------------------------------

void TForm_main::Btn_I_Save_PtypeClick() {
  SaveSetting(CommandId::I_Ptype);
}

void TForm_main::Btn_I_Save_DidClick() {
  SaveSetting(CommandId::I_Did);
}

void TForm_main::Btn_I_Save_Ptype_DidClick() {
  RunSequence(protocol::Sequence::I_PtypeDid);
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
  SaveSetting(CommandId::I_DMT);
}

void TForm_main::Btn_I_Save_DMSClick() {
  SaveSetting(CommandId::I_DMS);
}

void TForm_main::Btn_I_Save_STXLClick() {
  SaveSetting(CommandId::I_STXL);
}
void TForm_main::Btn_I_Save_ETXLClick() {
  SaveSetting(CommandId::I_ETXL);
}

void TForm_main::Btn_I_Save_STXClick() {
  SaveSetting(CommandId::I_STX);
}

void TForm_main::Btn_I_Save_ETXClick() {
  SaveSetting(CommandId::I_ETX);
}

// ---- ioTavi serial page, RS-485 side ----------------------------------------
// No reconnect message here: the RS-485 side is not the link to this tool.

void TForm_main::Btn_I_Save_Ptype_485Click() {
  SaveSetting(CommandId::I_Ptype_485);
}

void TForm_main::Btn_I_Save_Did_485Click() {
  SaveSetting(CommandId::I_Did_485);
}

void TForm_main::Btn_I_Save_Ptype_Did_485Click() {
  RunSequence(protocol::Sequence::I_PtypeDid485);
}

void TForm_main::Btn_I_Save_Baudrate_485Click() {
  SaveSetting(CommandId::I_Baudrate_485);
}
void TForm_main::Btn_I_Save_PAB_485Click() {
  SaveSetting(CommandId::I_PAB_485);
}

void TForm_main::Btn_I_Save_DMT_485Click() {
  SaveSetting(CommandId::I_DMT_485);
}

void TForm_main::Btn_I_Save_DMS_485Click() {
  SaveSetting(CommandId::I_DMS_485);
}

void TForm_main::Btn_I_Save_STXL_485Click() {
  SaveSetting(CommandId::I_STXL_485);
}
void TForm_main::Btn_I_Save_ETXL_485Click() {
  SaveSetting(CommandId::I_ETXL_485);
}

void TForm_main::Btn_I_Save_STX_485Click() {
  SaveSetting(CommandId::I_STX_485);
}

void TForm_main::Btn_I_Save_ETX_485Click() {
  SaveSetting(CommandId::I_ETX_485);
}

}  // namespace velimo::forms
