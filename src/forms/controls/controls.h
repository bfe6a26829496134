// The controls of the windows as plain objects. Each holds what the handlers
// read and write (text, items and selection, caption, visible, enabled ...)
// and tells its observer, the view, of every change. What the operator does
// comes back through the User... operations, which also run the control's
// change handler; a value assigned by a handler runs none.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Declares a control member under its own name: the object name the view
// and the tools see is the member's name, spelled once, checked by the
// compiler.
// clang-format off
#define VELIMO_CONTROL(Type, name) Type name{#name}
// clang-format on

namespace velimo::trace {
class TracePane;
}

namespace velimo::forms {

enum class ControlKind {
  Page,          // one page of the page control
  Panel,         // a group, a sub-panel or a header strip
  GroupBox,      // a frame without caption
  Label,         // static or information label
  Edit,          // single-line text box
  ComboBox,      // drop-down list without free text
  EditComboBox,  // drop-down list that also takes typed text
  CheckBox,
  Button,
  GlyphButton,  // picture button of the left column
  Image,
  Memo,  // the trace pane
  MenuItem,
  PageControl,  // the page strip holding the eight pages
  StatusBar,
  Form,  // the window itself: caption, outer size, focused control
};

// What changed, so the view updates just that.
enum class ControlProperty {
  Text,       // Edit text, Label/Panel/Button/Page/MenuItem caption
  Items,      // ComboBox list
  ItemIndex,  // ComboBox selection
  Visible,
  Enabled,
  Checked,
  Masked,
  Hint,
  Glyph,
  MaxLength,
  TabVisible,  // a page's tab shown or hidden
  Size,        // Form: outer width or height
  Focus,       // Form: the focused control
};

class Control;

class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void ControlChanged(Control& control, ControlProperty property) = 0;
};

// Which keys a text box lets through (the view asks the form model per key).
enum class KeyFilter { None, Digits, Hex };

class Control {
 public:
  Control(ControlKind kind, const char* name) : kind_(kind), name_(name) {}
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  ControlKind Kind() const { return kind_; }
  const char* Name() const { return name_; }

  // The container this control sits in, set when its page is declared.
  Control* Parent() const { return parent_; }
  void SetParent(Control* parent) { parent_ = parent; }

  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  const std::string& Hint() const { return hint_; }
  // Visible, and every container around it visible too.
  bool Showing() const;
  // Enabled, not held, and every container around it enabled too.
  bool Usable() const;
  // Held back while an operation owns the modem (a profile apply): shown
  // disabled whatever Enabled says, which goes on following the window's
  // own rules and is shown again when the hold ends.
  bool Held() const { return held_; }

  void SetVisible(bool v);
  void SetEnabled(bool e);
  void SetHeld(bool held);
  void SetHint(std::string_view hint);

  // Caption of labels, panels, buttons, pages, check boxes and menu items.
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string_view caption);

  // Runs the control's click handler (buttons, panels, check boxes, menu
  // items), whatever its visible or enabled state; the save-all sequences
  // reach hidden buttons this way.
  std::function<void()> OnClick;
  void Click() {
    if (OnClick) OnClick();
  }

  void SetObserver(ControlObserver* observer) { observer_ = observer; }

  // When the control last got a value (a text, a caption, a selection), on
  // a count shared by every control of the process; 0 when it never got
  // one or its selection was cleared since. A read of the modem compares
  // these with the count at its start to tell what the report filled in
  // from what still shows an older value.
  uint64_t ValueSerial() const { return value_serial_; }
  static uint64_t SerialNow();

 protected:
  void Notify(ControlProperty property);
  void MarkValue();
  void ClearValueMark() { value_serial_ = 0; }

 private:
  ControlKind kind_;
  const char* name_;
  Control* parent_ = nullptr;
  ControlObserver* observer_ = nullptr;
  bool visible_ = true;
  bool enabled_ = true;
  bool held_ = false;
  std::string hint_;
  std::string caption_;
  uint64_t value_serial_ = 0;
};

// Chainable setters for the declarations of the pages, keeping the type.
template <class Self, ControlKind K>
class ControlT : public Control {
 public:
  explicit ControlT(const char* name) : Control(K, name) {}
  Self& Hidden() {
    SetVisible(false);
    return self();
  }
  Self& Disabled() {
    SetEnabled(false);
    return self();
  }
  Self& WithHint(std::string_view hint) {
    SetHint(hint);
    return self();
  }
  Self& WithCaption(std::string_view caption) {
    SetCaption(caption);
    return self();
  }

 protected:
  Self& self() { return static_cast<Self&>(*this); }
};

class TLabel : public ControlT<TLabel, ControlKind::Label> {
 public:
  using ControlT::ControlT;
};

class TPanel : public ControlT<TPanel, ControlKind::Panel> {
 public:
  using ControlT::ControlT;
};

class TGroupBox : public ControlT<TGroupBox, ControlKind::GroupBox> {
 public:
  using ControlT::ControlT;
};

class TImage : public ControlT<TImage, ControlKind::Image> {
 public:
  using ControlT::ControlT;
};

class TButton : public ControlT<TButton, ControlKind::Button> {
 public:
  using ControlT::ControlT;
};

// Picture button; its glyph is an index into the window's image list, or -1
// for the button's own initial picture.
class TGlyphButton : public ControlT<TGlyphButton, ControlKind::GlyphButton> {
 public:
  using ControlT::ControlT;
  int Glyph() const { return glyph_; }
  void SetGlyph(int index);

 private:
  int glyph_ = -1;
};

class TCheckBox : public ControlT<TCheckBox, ControlKind::CheckBox> {
 public:
  using ControlT::ControlT;
  bool Checked() const { return checked_; }
  // Assigned by a handler: no click handler runs.
  void SetChecked(bool checked);
  // The operator ticks the box: toggles it, then runs the click handler.
  void UserClick();

 private:
  bool checked_ = false;
};

class TEdit : public ControlT<TEdit, ControlKind::Edit> {
 public:
  using ControlT::ControlT;
  const std::string& Text() const { return text_; }
  // Assigned text is kept whole; the maximum length limits typing only.
  void SetText(std::string_view text);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int n);
  KeyFilter Filter() const { return filter_; }
  // Shown with "*" in place of each character; the text itself is unchanged.
  bool Masked() const { return masked_; }
  void SetMasked(bool masked);

  TEdit& WithText(std::string_view text) {
    SetText(text);
    return *this;
  }
  TEdit& WithMaxLength(int n) {
    SetMaxLength(n);
    return *this;
  }
  TEdit& WithFilter(KeyFilter f) {
    filter_ = f;
    return *this;
  }
  TEdit& WithMask() {
    SetMasked(true);
    return *this;
  }

  // The operator changed the text (typed, pasted, cut): runs OnChange.
  void UserSetText(std::string_view text);
  std::function<void()> OnChange;
  // Asked for every typed character before it reaches the text; a handler
  // that sets the key to 0 swallows it.
  std::function<void(char& key)> OnKeyPress;

 private:
  std::string text_;
  int max_length_ = 0;  // 0: no limit
  KeyFilter filter_ = KeyFilter::None;
  bool masked_ = false;
};

class TComboBox : public ControlT<TComboBox, ControlKind::ComboBox> {
 public:
  using ControlT::ControlT;
  const std::vector<std::string>& Items() const { return items_; }
  // Replaces the list; the selection is lost (-1).
  void SetItems(std::vector<std::string> items);
  void Clear() { SetItems({}); }
  int ItemIndex() const { return item_index_; }
  // An index outside the list leaves the box without a selection (-1).
  void SetItemIndex(int index);
  // The selected item's text, or the empty text without a selection.
  std::string Text() const;
  // No entry selected, as when the list is rebuilt: unlike SetItemIndex(-1)
  // (a value read that matches no entry), it leaves no value behind.
  void ClearSelection();

  TComboBox& WithItems(std::vector<std::string> items, int index = 0) {
    SetItems(std::move(items));
    SetItemIndex(index);
    return *this;
  }

  // The operator picked an entry: runs OnChange.
  void UserSelect(int index);
  std::function<void()> OnChange;

 private:
  std::vector<std::string> items_;
  int item_index_ = -1;
};

// A drop-down list that also takes typed text (the port box). Its text is
// free: picking an entry copies the entry into it; assigning a text selects
// the entry spelled exactly so, or none.
class TEditComboBox : public ControlT<TEditComboBox, ControlKind::EditComboBox> {
 public:
  using ControlT::ControlT;
  const std::vector<std::string>& Items() const { return items_; }
  // Keeps the typed text; the selection is lost (-1).
  void SetItems(std::vector<std::string> items);
  void AddItem(std::string item);
  int ItemIndex() const { return item_index_; }
  // An index outside the list leaves the box without a selection (-1) and
  // its text as it was.
  void SetItemIndex(int index);
  const std::string& Text() const { return text_; }
  // Assigned by a handler: no change handler runs.
  void SetText(std::string_view text);

  // The operator typed or picked: runs OnChange.
  void UserSetText(std::string_view text);
  void UserSelect(int index);
  std::function<void()> OnChange;

 private:
  std::vector<std::string> items_;
  int item_index_ = -1;
  std::string text_;
};

class TPage : public ControlT<TPage, ControlKind::Page> {
 public:
  using ControlT::ControlT;
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool v);

 private:
  bool tab_visible_ = true;
};

class TMenuItem : public ControlT<TMenuItem, ControlKind::MenuItem> {
 public:
  using ControlT::ControlT;
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  TMenuItem& WithChecked(bool c) {
    SetChecked(c);
    return *this;
  }
  std::vector<TMenuItem*> items;  // sub-items of a top-level menu, in order
  TMenuItem& WithItems(std::vector<TMenuItem*> sub) {
    items = std::move(sub);
    return *this;
  }

 private:
  bool checked_ = false;
};

// The page strip. Its pages are set once by the window; the active page is
// an index into them, -1 when no page is shown.
class TPageControl : public ControlT<TPageControl, ControlKind::PageControl> {
 public:
  using ControlT::ControlT;
  std::vector<TPage*> pages;  // in page index order

  int PageCount() const { return static_cast<int>(pages.size()); }
  int ActivePageIndex() const { return active_; }
  TPage* ActivePage() const;
  // An index outside the pages leaves the strip without an active page.
  void SetActivePageIndex(int index);
  TPageControl& WithActivePage(int index) {
    SetActivePageIndex(index);
    return *this;
  }
  // Shows or hides one tab. Hiding the active page's tab moves on to the
  // next page whose tab is shown (wrapping round), or to no page at all
  // when no tab is left.
  void SetTabVisible(int index, bool visible);

 private:
  int active_ = -1;
};

struct StatusPanel {
  std::string text;
  int width = 0;
};

class TStatusBar : public ControlT<TStatusBar, ControlKind::StatusBar> {
 public:
  using ControlT::ControlT;
  const std::vector<StatusPanel>& Panels() const { return panels_; }
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  // The text of a panel; the empty text for an index outside the panels.
  const std::string& PanelText(int index) const;
  // Ignored for an index outside the panels.
  void SetPanelText(int index, std::string_view text);
  TStatusBar& WithPanels(std::vector<StatusPanel> panels) {
    panels_ = std::move(panels);
    Notify(ControlProperty::Text);
    return *this;
  }

 private:
  std::vector<StatusPanel> panels_;
};

// The trace pane. Its lines live in the trace log's pane model; this
// control carries what every control has (visible above all) and points
// the view to those lines.
class TMemo : public ControlT<TMemo, ControlKind::Memo> {
 public:
  using ControlT::ControlT;
  trace::TracePane* Pane() const { return pane_; }
  void SetPane(trace::TracePane* pane) { pane_ = pane; }

 private:
  trace::TracePane* pane_ = nullptr;
};

// The window itself: its caption, its outer size and the control that has
// the input focus (handlers move the focus; the view follows).
class TWindow : public ControlT<TWindow, ControlKind::Form> {
 public:
  using ControlT::ControlT;
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height);
  TWindow& WithSize(int width, int height) {
    SetSize(width, height);
    return *this;
  }
  Control* ActiveControl() const { return active_control_; }
  void SetActiveControl(Control* control);

 private:
  int width_ = 0;
  int height_ = 0;
  Control* active_control_ = nullptr;
};

}  // namespace velimo::forms
