// Holding the window's sending controls while an operation owns the modem.
#include <algorithm>

#include "forms/form_main.h"

namespace velimo::forms {

bool TForm_main::Sends(const Control& control) const {
  // Clearing the information labels sends nothing.
  if (&control == &Btn_S_Clear_Info || &control == &Btn_R_Clear_Info ||
      &control == &Btn_I_Clear_Info)
    return false;
  switch (control.Kind()) {
    case ControlKind::Button:       // every save, save-all, query and maintenance
    case ControlKind::GlyphButton:  // a section opened may query the modem
      return true;
    default:
      break;
  }
  // The Connection menu's items, and the model items: a model chosen in
  // the middle of a read would send its answers to another page set.
  const Control* const items[] = {&COMSetup1, &ConnectN1, &Disconnect1, &reboot1,
                                  &sTavi1,    &uTavi1,    &rTavi1,      &ioTavi1};
  return std::find(std::begin(items), std::end(items), &control) != std::end(items);
}

void TForm_main::HoldSending(bool held) {
  sending_held_ = held;
  for (Control* c : AllControls())
    if (Sends(*c)) c->SetHeld(held);
}

}  // namespace velimo::forms
