#include "ui/controls.h"

namespace velimo::ui {

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

bool Control::Usable() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->enabled_) return false;
  return true;
}

void Control::Notify(ControlProperty property) {
  if (observer_) observer_->ControlChanged(*this, property);
}

void Control::SetVisible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  Notify(ControlProperty::Visible);
}

void Control::SetEnabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  Notify(ControlProperty::Enabled);
}

void Control::SetHint(std::string_view hint) {
  hint_ = hint;
  Notify(ControlProperty::Hint);
}

void Control::SetCaption(std::string_view caption) {
  caption_ = caption;
  Notify(ControlProperty::Text);
}

void TGlyphButton::SetGlyph(int index) {
  glyph_ = index;
  Notify(ControlProperty::Glyph);
}

void TCheckBox::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Notify(ControlProperty::Checked);
}

void TCheckBox::UserClick() {
  SetChecked(!checked_);
  Click();
}

void TEdit::SetText(std::string_view text) {
  text_ = text;
  Notify(ControlProperty::Text);
}

void TEdit::SetMaxLength(int n) {
  max_length_ = n;
  Notify(ControlProperty::MaxLength);
}

void TEdit::SetMasked(bool masked) {
  masked_ = masked;
  Notify(ControlProperty::Masked);
}

void TEdit::UserSetText(std::string_view text) {
  SetText(text);
  if (OnChange) OnChange();
}

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  item_index_ = -1;
  Notify(ControlProperty::Items);
}

void TComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) index = -1;
  item_index_ = index;
  Notify(ControlProperty::ItemIndex);
}

std::string TComboBox::Text() const {
  if (item_index_ < 0) return {};
  return items_[static_cast<size_t>(item_index_)];
}

void TComboBox::UserSelect(int index) {
  SetItemIndex(index);
  if (OnChange) OnChange();
}

void TPage::SetTabVisible(bool v) {
  tab_visible_ = v;
  Notify(ControlProperty::Visible);
}

void TMenuItem::SetChecked(bool checked) {
  checked_ = checked;
  Notify(ControlProperty::Checked);
}

}  // namespace velimo::ui
