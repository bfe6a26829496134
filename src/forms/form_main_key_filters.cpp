// The keyboard filters of the editors, asked by the view for every key the
// operator types before it reaches the editor. Only printable characters
// are filtered: the control keys an operator uses to leave, select, copy or
// paste in a field (Return, Escape, Tab, Ctrl+A, Ctrl+C, Ctrl+V) pass, and
// what a paste brings is asked of the filter character by character by the
// view.
#include "forms/form_main.h"

namespace velimo::forms {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Return, Escape, Tab, the Ctrl+letter keys and Delete: no character is
// typed by them.
bool IsControlKey(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

bool IsHex(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool TakesFocus(const Control& c) {
  switch (c.Kind()) {
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::EditComboBox:
    case ControlKind::CheckBox:
    case ControlKind::Button:
    case ControlKind::GlyphButton:
      return c.Showing() && c.Usable();
    default:
      return false;
  }
}

const Control* PageOf(const Control& c) {
  for (const Control* p = &c; p; p = p->Parent()) {
    if (p->Kind() == ControlKind::Page) return p;
  }
  return nullptr;
}

}  // namespace

void TForm_main::Edit_IP1KeyPress(char& Key) {
  // Space passes: its key-down has moved the focus on already.
  if (IsDigit(Key) || IsControlKey(Key) || Key == ' ') return;
  platform_.ShowMessage("You can type only numeric keys.");
  Key = 0;
}

void TForm_main::Edit_S_STX1KeyPress(char& Key) {
  if (IsHex(Key) || IsControlKey(Key)) return;
  platform_.ShowMessage("type only 0~9, a~f and A~F key");
  Key = 0;
}

void TForm_main::Edit_IP1KeyDown(Control& Sender, int& Key) {
  if (Key != kVkSpace) return;
  // Consumed: the space itself is typed nowhere, neither here nor in the
  // control that gets the focus.
  Key = 0;
  // The next control in tab order on the same page, wrapping round; tab
  // order is the order in which the page declares its controls.
  const Control* page = PageOf(Sender);
  std::vector<Control*> ring;
  size_t self = 0;
  for (Control* c : AllControls()) {
    if (PageOf(*c) != page) continue;
    if (c == &Sender) self = ring.size();
    if (c == &Sender || TakesFocus(*c)) ring.push_back(c);
  }
  if (ring.size() < 2) return;
  SetActiveControl(*ring[(self + 1) % ring.size()]);
}

}  // namespace velimo::forms
