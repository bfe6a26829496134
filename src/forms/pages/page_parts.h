// Building blocks shared by the page declarations: the recurring editor
// kinds, Save buttons, information labels, the binding of a setting's
// controls to its catalogue row, and the list entries the rows name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "protocol/catalogue.h"
#include "protocol/models.h"

namespace velimo::forms::pages {

// An information label before the modem has reported anything.
inline TLabel& InfoLabel(TLabel& label) {
  return label.WithCaption("no info");
}
// The Save button at the end of a setting row.
inline TButton& Save(TButton& button) {
  return button.WithCaption("Save");
}
// A page-level or group save-all.
inline TButton& SaveAll(TButton& button) {
  return button.WithCaption(" Save");
}
// A text box taking decimal digits only.
inline TEdit& Digits(TEdit& edit, int maxLength, std::string_view text) {
  return edit.WithMaxLength(maxLength).WithFilter(KeyFilter::Digits).WithText(text);
}
// One framing byte in hex after "STX1 : 0x" and the like.
inline TEdit& HexByte(TEdit& edit) {
  return edit.WithMaxLength(2).WithFilter(KeyFilter::Hex).WithText("00").WithHint("Hex type");
}
// A group's header strip: "[Device]", "[LoRa]" ...
inline TPanel& Header(TPanel& panel, std::string_view caption) {
  return panel.WithCaption(caption);
}

// The entries of a list the catalogue names.
inline std::vector<std::string> Items(protocol::ListId list) {
  return protocol::ListItems(list);
}
inline std::vector<std::string> ParityItems() {
  return Items(protocol::ListId::Parity);
}
inline std::vector<std::string> BaudItems() {
  return Items(protocol::ListId::Baud);
}
// What the channel and spreading-factor lists hold until the modem has
// reported its country.
inline std::vector<std::string> UnreportedPlanItems() {
  return {"1", "2", "3"};
}

// A setting's editor or list, bound to its catalogue row: the session
// finds it by the row, the single save reads it, and a list that does not
// follow the channel plan takes the row's entries.
inline LayoutNode Bound(protocol::CommandId id, Control& control) {
  const protocol::CommandEntry& row = protocol::Entry(id);
  if (control.Kind() == ControlKind::ComboBox && row.list != protocol::ListId::None &&
      !protocol::FollowsPlan(row.list))
    static_cast<TComboBox&>(control).WithItems(Items(row.list));
  LayoutNode node = layout::Ctl(control);
  node.setting = id;
  return node;
}
// The hidden copy of the value a setting's editor last got from the
// modem, in the setting's row.
inline LayoutNode HiddenCopy(TEdit& copy) {
  LayoutNode node = layout::Ctl(copy);
  node.part = SettingPart::Copy;
  return node;
}
// The group holding a setting's framing-byte editors.
inline LayoutNode BytesOf(protocol::CommandId id, Control& group,
                          std::initializer_list<LayoutNode> children) {
  LayoutNode node = layout::Ctl(group, children);
  node.setting = id;
  node.part = SettingPart::Bytes;
  return node;
}
// A setting's row: the caption its catalogue row gives, its editor or list
// bound to the row, then the rest (a unit, its Save button, its hidden copy).
inline LayoutNode SettingRow(protocol::CommandId id, Control& editor,
                             std::initializer_list<LayoutNode> rest = {}) {
  LayoutNode row = layout::Row(std::string(protocol::Entry(id).caption), {Bound(id, editor)});
  for (LayoutNode node : rest) {
    if (node.part == SettingPart::Copy) node.setting = id;
    row.children.push_back(std::move(node));
  }
  return row;
}

inline constexpr const char* kSerialSaveAllHint = "Message Timeout, Size, STX/ETX config Save All";
inline constexpr const char* kBroadcastNote = "* Broadcast ID:16777215";

}  // namespace velimo::forms::pages
