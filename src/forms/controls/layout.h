// The declaration of a page: which controls it holds, in which groups and
// rows, with which static captions. The form model is built from it (every
// control learns its container) and so is the Qt view (one widget per
// node), so a page is declared once for both.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "forms/controls/controls.h"
#include "protocol/catalogue.h"

namespace velimo::forms {

enum class NodeType {
  Control,  // a named control; containers (pages, panels) hold children
  Row,      // children side by side
  Column,   // children one under the other
  Text,     // a static caption without a name of its own
};

// What a node bound to a catalogue row shows of its setting.
enum class SettingPart {
  Value,  // its editor or list
  Copy,   // the hidden copy of the value last reported
  Bytes,  // the group holding its framing-byte editors, in order
};

enum class TextStyle {
  Caption,  // the caption at the start of a row
  Title,    // "LoRa Setting", "Serial Setting"
  Unit,     // "ms", "bytes" after an editor
  Note,     // "* Broadcast ID:16777215" and the like
};

struct LayoutNode {
  NodeType type = NodeType::Control;
  Control* control = nullptr;  // NodeType::Control
  std::string text;            // NodeType::Text
  TextStyle style = TextStyle::Caption;
  bool visible = true;  // NodeType::Text: a static caption hidden for good
  // NodeType::Control: the name a screen reader gives the control, where
  // nothing around it in the declaration says what it is.
  std::string spoken;
  // NodeType::Control: the catalogue row of the setting it shows, and
  // what of it; kCount for a control that shows none.
  protocol::CommandId setting = protocol::CommandId::kCount;
  SettingPart part = SettingPart::Value;
  std::vector<LayoutNode> children;

  // Visits this node and all below it, depth first, in declaration order.
  void Walk(const std::function<void(const LayoutNode&)>& visit) const;
};

namespace layout {

// A control, and for a container the nodes inside it.
LayoutNode Ctl(Control& control, std::initializer_list<LayoutNode> children = {});
LayoutNode Row(std::initializer_list<LayoutNode> children);
LayoutNode Column(std::initializer_list<LayoutNode> children);
// A row that starts with a static caption.
LayoutNode Row(std::string caption, std::initializer_list<LayoutNode> children);
LayoutNode Text(std::string text, TextStyle style = TextStyle::Caption, bool visible = true);
inline LayoutNode Title(std::string text) {
  return Text(std::move(text), TextStyle::Title);
}
inline LayoutNode Unit(std::string text) {
  return Text(std::move(text), TextStyle::Unit);
}
inline LayoutNode Note(std::string text) {
  return Text(std::move(text), TextStyle::Note);
}
// The node, with the name a screen reader gives its control.
inline LayoutNode Spoken(std::string name, LayoutNode node) {
  node.spoken = std::move(name);
  return node;
}

}  // namespace layout

// Sets the parent of every control below each container of the tree.
void AssignParents(const LayoutNode& root);

// All named controls of a tree, in declaration order.
std::vector<Control*> ControlsOf(const LayoutNode& root);

}  // namespace velimo::forms
