// The save-all sequences: the single saves of a page in a fixed order with
// fixed blocking pauses between them. A sequence checks neither the link
// nor the outcome of a step: every step reports its own problem and the
// sequence goes on with the next one. Two things end it: a value that
// cannot be converted (its error leaves the whole sequence for the default
// error report, so nothing after it is sent), and a step that finds the
// device gone (its one "Serial Port ERROR!!" is the sequence's last word).
#include "forms/form_main.h"

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

void TForm_main::RunSaveSteps(std::initializer_list<SaveStep> steps) {
  if (!SaveMayWrite()) return;
  SequenceRun run(*this);
  for (const SaveStep& step : steps) {
    if (!run.Going()) return;
    if (step.runs && !(this->*step.runs)()) continue;
    (this->*step.action)();
    if (!run.Going()) return;
    if (step.pause_ms > 0) platform_.Pause(step.pause_ms);
  }
}

bool TForm_main::FirmwareHasEncryption_S() const {
  // The first two firmware releases know no encryption commands.
  const std::string& fw = Edit_S_FwVer.Text();
  return fw != "1.0" && fw != "1.1";
}

// The STX and ETX values are sent only for a length above 0; a length list
// without a selection counts as 0 here.
bool TForm_main::StxUsed_S() const {
  return FrameLength(Edit_S_STXLen) > 0;
}
bool TForm_main::EtxUsed_S() const {
  return FrameLength(Edit_S_ETXLen) > 0;
}
bool TForm_main::StxUsed_I() const {
  return FrameLength(Edit_I_STXLen) > 0;
}
bool TForm_main::EtxUsed_I() const {
  return FrameLength(Edit_I_ETXLen) > 0;
}
bool TForm_main::StxUsed_I485() const {
  return FrameLength(Edit_I_STXLen_485) > 0;
}
bool TForm_main::EtxUsed_I485() const {
  return FrameLength(Edit_I_ETXLen_485) > 0;
}

// ---- sTavi/uTavi: 200 and 100 ms --------------------------------------------

void TForm_main::Btn_S_SaveAll_LoRaPageClick() {
  RunSaveSteps({
      {&TForm_main::Btn_S_Save_DidClick, 200},
      {&TForm_main::Btn_S_LoRa_SaveAllClick, 200},
      {&TForm_main::Btn_S_AES_SaveAllClick, 200, &TForm_main::FirmwareHasEncryption_S},
  });
}

void TForm_main::Btn_S_LoRa_SaveAllClick() {
  RunSaveSteps({
      {&TForm_main::Btn_S_Save_CHClick, 100},
      {&TForm_main::Btn_S_Save_SFClick, 0},
  });
}

void TForm_main::Btn_S_Serial_SaveAllClick() {
  RunSaveSteps({
      {&TForm_main::Btn_S_Save_DMTClick, 200},
      {&TForm_main::Btn_S_Save_DMSClick, 200},
      {&TForm_main::Btn_S_Save_STXLClick, 200},
      {&TForm_main::Btn_S_Save_ETXLClick, 200},
      {&TForm_main::Btn_S_Save_STXClick, 200, &TForm_main::StxUsed_S},
      {&TForm_main::Btn_S_Save_ETXClick, 200, &TForm_main::EtxUsed_S},
  });
}

// ---- rTavi: 200 and 100 ms --------------------------------------------------

void TForm_main::Btn_R_SaveAll_LoRaPageClick() {
  RunSaveSteps({
      {&TForm_main::Btn_R_Device_SaveAllClick, 200},
      {&TForm_main::Btn_R_LoRa_SaveAllClick, 0},
  });
}

void TForm_main::Btn_R_Device_SaveAllClick() {
  // The relay identifiers matter to the modem only in relay mode.
  switch (Edit_R_Mode.ItemIndex()) {
    case 0:
      RunSaveSteps({{&TForm_main::Btn_R_Save_ModeClick, 0}});
      break;
    case 1:
      RunSaveSteps({
          {&TForm_main::Btn_R_Save_ModeClick, 100},
          {&TForm_main::Btn_R_Save_Rid1Click, 100},
          {&TForm_main::Btn_R_Save_Rid2Click, 100},
      });
      break;
    default:
      break;
  }
}

void TForm_main::Btn_R_LoRa_SaveAllClick() {
  RunSaveSteps({
      {&TForm_main::Btn_R_Save_CHClick, 200},
      {&TForm_main::Btn_R_Save_SFClick, 0},
  });
}

// ---- ioTavi: 400 and 500 ms -------------------------------------------------

void TForm_main::Btn_I_LoRa_SaveAllClick() {
  RunSaveSteps({
      {&TForm_main::Btn_I_Save_CHClick, 400},
      {&TForm_main::Btn_I_Save_SFClick, 0},
  });
}

void TForm_main::Btn_I_Serial_SaveAllClick() {
  RunSaveSteps({
      {&TForm_main::Btn_I_Save_DMTClick, 500},
      {&TForm_main::Btn_I_Save_DMSClick, 500},
      {&TForm_main::Btn_I_Save_STXLClick, 500},
      {&TForm_main::Btn_I_Save_ETXLClick, 500},
      {&TForm_main::Btn_I_Save_STXClick, 500, &TForm_main::StxUsed_I},
      {&TForm_main::Btn_I_Save_ETXClick, 0, &TForm_main::EtxUsed_I},
  });
}

void TForm_main::Btn_I_Serial_SaveAll_485Click() {
  RunSaveSteps({
      {&TForm_main::Btn_I_Save_DMT_485Click, 500},
      {&TForm_main::Btn_I_Save_DMS_485Click, 500},
      {&TForm_main::Btn_I_Save_STXL_485Click, 500},
      {&TForm_main::Btn_I_Save_ETXL_485Click, 500},
      {&TForm_main::Btn_I_Save_STX_485Click, 500, &TForm_main::StxUsed_I485},
      {&TForm_main::Btn_I_Save_ETX_485Click, 0, &TForm_main::EtxUsed_I485},
  });
}

}  // namespace velimo::forms
