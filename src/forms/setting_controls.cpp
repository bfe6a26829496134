#include "forms/setting_controls.h"

#include "forms/form_main.h"

namespace velimo::forms {

SettingControls ControlsOf(const TForm_main& form, protocol::CommandId id) {
  SettingControls c;
  for (const LayoutNode& page : form.Pages()) {
    page.Walk([&](const LayoutNode& node) {
      if (node.type != NodeType::Control || node.setting != id) return;
      switch (node.part) {
        case SettingPart::Value:
          c.value = node.control;
          break;
        case SettingPart::Copy:
          c.copy = static_cast<TEdit*>(node.control);
          break;
        case SettingPart::Bytes: {
          size_t n = 0;
          node.Walk([&](const LayoutNode& inner) {
            if (inner.control && inner.control->Kind() == ControlKind::Edit && n < 3)
              c.bytes[n++] = static_cast<TEdit*>(inner.control);
          });
          break;
        }
      }
    });
  }
  if (c.bytes[0]) {
    Control* length = ControlsOf(form, protocol::Entry(id).length).value;
    if (length && length->Kind() == ControlKind::ComboBox)
      c.length = static_cast<TComboBox*>(length);
  }
  return c;
}

std::string ShownValue(const Control& c) {
  switch (c.Kind()) {
    case ControlKind::Edit:
      return static_cast<const TEdit&>(c).Text();
    case ControlKind::ComboBox:
      return static_cast<const TComboBox&>(c).Text();
    default:
      return c.Caption();
  }
}

}  // namespace velimo::forms
