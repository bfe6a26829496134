#include "forms/controls/controls.h"

#include <algorithm>
#include <atomic>

namespace velimo::forms {

namespace {
std::atomic<uint64_t> value_count{0};
}  // namespace

uint64_t Control::SerialNow() {
  return value_count.load();
}

void Control::MarkValue() {
  value_serial_ = ++value_count;
}

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

bool Control::Usable() const {
  if (held_) return false;
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

void Control::SetHeld(bool held) {
  if (held_ == held) return;
  held_ = held;
  Notify(ControlProperty::Enabled);
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
  MarkValue();
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
  MarkValue();
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
  ClearValueMark();
  Notify(ControlProperty::Items);
}

void TComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) index = -1;
  item_index_ = index;
  MarkValue();
  Notify(ControlProperty::ItemIndex);
}

void TComboBox::ClearSelection() {
  item_index_ = -1;
  ClearValueMark();
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

void TEditComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  item_index_ = -1;
  Notify(ControlProperty::Items);
}

void TEditComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Notify(ControlProperty::Items);
  Notify(ControlProperty::ItemIndex);
}

void TEditComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) index = -1;
  item_index_ = index;
  Notify(ControlProperty::ItemIndex);
  if (item_index_ >= 0) {
    text_ = items_[static_cast<size_t>(item_index_)];
    Notify(ControlProperty::Text);
  }
}

void TEditComboBox::SetText(std::string_view text) {
  text_ = text;
  const auto it = std::find(items_.begin(), items_.end(), text_);
  item_index_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
  Notify(ControlProperty::ItemIndex);
  Notify(ControlProperty::Text);
}

void TEditComboBox::UserSetText(std::string_view text) {
  SetText(text);
  if (OnChange) OnChange();
}

void TEditComboBox::UserSelect(int index) {
  SetItemIndex(index);
  if (OnChange) OnChange();
}

void TPage::SetTabVisible(bool v) {
  tab_visible_ = v;
  Notify(ControlProperty::TabVisible);
}

void TMenuItem::SetChecked(bool checked) {
  checked_ = checked;
  Notify(ControlProperty::Checked);
}

TPage* TPageControl::ActivePage() const {
  return active_ < 0 ? nullptr : pages[static_cast<size_t>(active_)];
}

void TPageControl::SetActivePageIndex(int index) {
  if (index < 0 || index >= PageCount()) index = -1;
  active_ = index;
  Notify(ControlProperty::ItemIndex);
}

void TPageControl::SetTabVisible(int index, bool visible) {
  if (index < 0 || index >= PageCount()) return;
  pages[static_cast<size_t>(index)]->SetTabVisible(visible);
  if (visible || index != active_) return;
  const int n = PageCount();
  for (int step = 1; step < n; ++step) {
    const int candidate = (index + step) % n;
    if (pages[static_cast<size_t>(candidate)]->TabVisible()) {
      SetActivePageIndex(candidate);
      return;
    }
  }
  SetActivePageIndex(-1);
}

const std::string& TStatusBar::PanelText(int index) const {
  static const std::string empty;
  if (index < 0 || index >= PanelCount()) return empty;
  return panels_[static_cast<size_t>(index)].text;
}

void TStatusBar::SetPanelText(int index, std::string_view text) {
  if (index < 0 || index >= PanelCount()) return;
  panels_[static_cast<size_t>(index)].text = text;
  Notify(ControlProperty::Text);
}

void TWindow::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  Notify(ControlProperty::Size);
}

void TWindow::SetActiveControl(Control* control) {
  active_control_ = control;
  Notify(ControlProperty::Focus);
}

}  // namespace velimo::forms
