#include "forms/controls/layout.h"

namespace velimo::forms {

void LayoutNode::Walk(const std::function<void(const LayoutNode&)>& visit) const {
  visit(*this);
  for (const auto& child : children) child.Walk(visit);
}

namespace layout {

LayoutNode Ctl(Control& control, std::initializer_list<LayoutNode> children) {
  LayoutNode n;
  n.type = NodeType::Control;
  n.control = &control;
  n.children = children;
  return n;
}

LayoutNode Row(std::initializer_list<LayoutNode> children) {
  LayoutNode n;
  n.type = NodeType::Row;
  n.children = children;
  return n;
}

LayoutNode Column(std::initializer_list<LayoutNode> children) {
  LayoutNode n;
  n.type = NodeType::Column;
  n.children = children;
  return n;
}

LayoutNode Row(std::string caption, std::initializer_list<LayoutNode> children) {
  LayoutNode n;
  n.type = NodeType::Row;
  n.children.push_back(Text(std::move(caption)));
  n.children.insert(n.children.end(), children.begin(), children.end());
  return n;
}

LayoutNode Text(std::string text, TextStyle style, bool visible) {
  LayoutNode n;
  n.type = NodeType::Text;
  n.text = std::move(text);
  n.style = style;
  n.visible = visible;
  return n;
}

}  // namespace layout

namespace {

void AssignBelow(const LayoutNode& node, Control* container) {
  Control* inner = container;
  if (node.type == NodeType::Control && node.control) {
    node.control->SetParent(container);
    inner = node.control;
  }
  for (const auto& child : node.children) AssignBelow(child, inner);
}

}  // namespace

void AssignParents(const LayoutNode& root) {
  AssignBelow(root, root.control ? root.control->Parent() : nullptr);
}

std::vector<Control*> ControlsOf(const LayoutNode& root) {
  std::vector<Control*> out;
  root.Walk([&](const LayoutNode& n) {
    if (n.type == NodeType::Control && n.control) out.push_back(n.control);
  });
  return out;
}

}  // namespace velimo::forms
