// Which controls of the main window show a setting, as the page
// declarations bind them to the setting's catalogue row: its editor or
// list, the hidden copy of the value last reported, or its three framing
// byte editors and the length list that says how many are used.
#pragma once

#include <string>

#include "forms/controls/controls.h"
#include "protocol/catalogue.h"

namespace velimo::forms {

class TForm_main;

struct SettingControls {
  Control* value = nullptr;
  TEdit* copy = nullptr;
  TEdit* bytes[3] = {};
  TComboBox* length = nullptr;
};

// Empty for a row no page binds (an action, a query).
SettingControls ControlsOf(const TForm_main& form, protocol::CommandId id);

// What a control shows: an editor's or list's text, else its caption.
std::string ShownValue(const Control& c);

}  // namespace velimo::forms
