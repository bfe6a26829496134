// The save-all sequences: the single saves of a page in a fixed order with
// fixed blocking pauses between them. A sequence checks neither the link
// nor the modem's acknowledgement of a step. Three things end it, so that
// nothing after them is sent: a value that cannot be converted (its error
// leaves the whole sequence for the default error report), a value its
// check refuses (its message is the sequence's last word; the modem is not
// left half set with a "Successfully changed." from the last step), and a
// step that finds the device gone (its one "Serial Port ERROR!!").
#include "forms/form_main.h"
#include "forms/setting_controls.h"

namespace velimo::forms {

TForm_main::SequenceRun::SequenceRun(TForm_main& form) : form_(form) {
  if (form_.sequence_depth_++ == 0) {
    form_.sequence_ended_ = false;
    busy_ = std::make_unique<BusyScope>(form_.platform_);
  }
}

TForm_main::SequenceRun::~SequenceRun() {
  --form_.sequence_depth_;
}

void TForm_main::RunSequence(protocol::Sequence sequence) {
  if (!SaveMayWrite()) return;
  SequenceRun run(*this);
  for (const protocol::SaveStep& step : protocol::StepsOf(sequence).steps) {
    if (!run.Going()) return;
    if (!StepRuns(step)) continue;
    if (step.setting != protocol::CommandId::kCount) {
      SaveSetting(step.setting);
    } else {
      switch (step.nested) {
        // The sequences that check before they send run as their handlers.
        case protocol::Sequence::S_AES:
          Btn_S_AES_SaveAllClick();
          break;
        case protocol::Sequence::R_Device:
          Btn_R_Device_SaveAllClick();
          break;
        default:
          RunSequence(step.nested);
          break;
      }
    }
    if (!run.Going()) return;
    if (step.pause_after_ms > 0) platform_.Pause(step.pause_after_ms);
  }
}

bool TForm_main::StepRuns(const protocol::SaveStep& step) const {
  switch (step.when) {
    case protocol::StepWhen::Always:
      return true;
    case protocol::StepWhen::EncryptionFirmware:
      return FirmwareHasEncryption_S();
    case protocol::StepWhen::FrameUsed: {
      // The bytes are sent only for a length above 0; a length list
      // without a selection counts as 0 here.
      const TComboBox* length = ControlsOf(*this, step.setting).length;
      return length && FrameLength(*length) > 0;
    }
  }
  return false;
}

bool TForm_main::FirmwareHasEncryption_S() const {
  // The first two firmware releases know no encryption commands.
  const std::string& fw = Edit_S_FwVer.Text();
  return fw != "1.0" && fw != "1.1";
}

void TForm_main::Btn_S_SaveAll_LoRaPageClick() {
  RunSequence(protocol::Sequence::S_LoRaPage);
}
void TForm_main::Btn_S_LoRa_SaveAllClick() {
  RunSequence(protocol::Sequence::S_LoRa);
}
void TForm_main::Btn_S_Serial_SaveAllClick() {
  RunSequence(protocol::Sequence::S_Serial);
}
void TForm_main::Btn_R_SaveAll_LoRaPageClick() {
  RunSequence(protocol::Sequence::R_LoRaPage);
}

void TForm_main::Btn_R_Device_SaveAllClick() {
  // The relay identifiers matter to the modem only in relay mode.
  switch (Edit_R_Mode.ItemIndex()) {
    case 0:
      RunSequence(protocol::Sequence::R_DeviceRepeat);
      break;
    case 1:
      RunSequence(protocol::Sequence::R_DeviceRelay);
      break;
    default:
      break;
  }
}

void TForm_main::Btn_R_LoRa_SaveAllClick() {
  RunSequence(protocol::Sequence::R_LoRa);
}
void TForm_main::Btn_I_LoRa_SaveAllClick() {
  RunSequence(protocol::Sequence::I_LoRa);
}
void TForm_main::Btn_I_Serial_SaveAllClick() {
  RunSequence(protocol::Sequence::I_Serial);
}
void TForm_main::Btn_I_Serial_SaveAll_485Click() {
  RunSequence(protocol::Sequence::I_Serial485);
}

}  // namespace velimo::forms
