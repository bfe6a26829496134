// The encryption editors of the sTavi/uTavi and ioTavi LoRa pages: the
// on/off list with its key-and-IV panel, the show boxes, the key and IV
// single saves and the two encryption save-alls. Key and IV are plain text
// of 16 characters, sent as typed.
#include "forms/form_main.h"
#include "protocol/catalogue.h"

namespace velimo::forms {

using protocol::CommandId;

namespace {

constexpr int kOn = 1;  // "ON" in the on/off lists
constexpr size_t kAesLength = 16;

bool AesLength(const TEdit& edit) {
  return edit.Text().size() == kAesLength;
}

}  // namespace

// ---- The on/off lists and the show boxes ------------------------------------

void TForm_main::Edit_S_EnChange() {
  Panel_S_En_KeyIV.SetVisible(Edit_S_En.ItemIndex() == kOn);
  // The modem reports its key and IV, so the editors show what it holds.
  Btn_S_GetAESClick();
}

void TForm_main::Edit_I_EnChange() {
  Panel_I_En_KeyIV.SetVisible(Edit_I_En.ItemIndex() == kOn);
}

// The boxes change only how the text is shown, never the text.
void TForm_main::CB_S_Show_KeyClick() {
  Edit_S_AESKey.SetMasked(!CB_S_Show_Key.Checked());
}
void TForm_main::CB_S_Show_IVClick() {
  Edit_S_AESIV.SetMasked(!CB_S_Show_IV.Checked());
}
void TForm_main::CB_I_Show_KeyClick() {
  Edit_I_AESKey.SetMasked(!CB_I_Show_Key.Checked());
}
void TForm_main::CB_I_Show_IVClick() {
  Edit_I_AESIV.SetMasked(!CB_I_Show_IV.Checked());
}

// ---- Single saves -----------------------------------------------------------

void TForm_main::Btn_S_Save_EnClick() {
  SaveList(CommandId::S_En, Edit_S_En);
}
void TForm_main::Btn_I_Save_EnClick() {
  SaveList(CommandId::I_En, Edit_I_En);
}

void TForm_main::SaveAesText(CommandId id, TEdit& edit) {
  if (!SaveMayWrite()) return;
  const protocol::CommandEntry& row = protocol::Entry(id);
  const std::string text = edit.Text();
  if (!protocol::LengthOk(row, text)) {
    RefuseValue(row.refusal);
    SetActiveControl(edit);
    return;
  }
  // The IV row has no command text: its line is the IV and the terminator.
  protocol::SendCommand(SendLink(), row, text);
}

void TForm_main::Btn_S_Save_AESKEYClick() {
  SaveAesText(CommandId::S_AESKEY, Edit_S_AESKey);
}
void TForm_main::Btn_S_Save_AESIVClick() {
  SaveAesText(CommandId::S_AESIV, Edit_S_AESIV);
}
void TForm_main::Btn_I_Save_AESKEYClick() {
  SaveAesText(CommandId::I_AESKEY, Edit_I_AESKey);
}
void TForm_main::Btn_I_Save_AESIVClick() {
  SaveAesText(CommandId::I_AESIV, Edit_I_AESIV);
}

// ---- Save-alls --------------------------------------------------------------

void TForm_main::Btn_S_AES_SaveAllClick() {
  if (!SaveMayWrite()) return;
  SequenceRun run(*this);
  // The switch goes out whatever the key and IV hold; they matter only
  // while encryption is on.
  Btn_S_Save_EnClick();
  if (!run.Going() || Edit_S_En.ItemIndex() != kOn) return;
  if (!AesLength(Edit_S_AESKey)) {
    RefuseValue(protocol::kSAesKeyRefusal);
    return;
  }
  if (!AesLength(Edit_S_AESIV)) {
    RefuseValue(protocol::kSAesIvRefusal);
    return;
  }
  const auto steps = protocol::StepsOf(protocol::Sequence::S_AES).steps;
  platform_.Pause(steps[0].pause_after_ms);
  Btn_S_Save_AESKEYClick();
  if (!run.Going()) return;
  platform_.Pause(steps[1].pause_after_ms);
  Btn_S_Save_AESIVClick();
}

void TForm_main::Btn_I_AES_SaveAllClick() {
  if (!SaveMayWrite()) return;
  SequenceRun run(*this);
  // Nothing at all goes out, not even the switch, until both are complete.
  if (!AesLength(Edit_I_AESKey)) {
    RefuseValue("You must type [16 Bytes] AES KEY.");
    SetActiveControl(Edit_I_AESKey);
    return;
  }
  if (!AesLength(Edit_I_AESIV)) {
    RefuseValue("You must type [16 Bytes] IV(Initialization Vector)");
    SetActiveControl(Edit_I_AESIV);
    return;
  }
  Btn_I_Save_EnClick();
  if (!run.Going() || Edit_I_En.ItemIndex() != kOn) return;
  const auto steps = protocol::StepsOf(protocol::Sequence::I_AES).steps;
  platform_.Pause(steps[0].pause_after_ms);
  Btn_I_Save_AESKEYClick();
  if (!run.Going()) return;
  platform_.Pause(steps[1].pause_after_ms);
  Btn_I_Save_AESIVClick();
}

}  // namespace velimo::forms
