// A window of the form model that is shown modally (the connect dialog, the
// About window). The model knows whether the window is showing and runs the
// window's activation; the view, when there is one, runs its own modal loop
// between ShowModal and Close. Headless, ShowModal returns at once with the
// window marked showing, and the caller drives its buttons.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace velimo::forms {

struct FormFrame {
  const char* name;     // the window's name, the view's object name
  const char* caption;  // title bar text
  int client_width;
  int client_height;
  bool minimize_button;     // system menu always; maximise never
  bool center_on_owner;     // false: centred on the screen
  unsigned background_rgb;  // 0xRRGGBB, or kDefaultBackground
  static constexpr unsigned kDefaultBackground = 0xFFFFFFFFu;
};

class TModalForm {
 public:
  explicit TModalForm(const FormFrame& frame) : frame_(frame) {}
  TModalForm(const TModalForm&) = delete;
  TModalForm& operator=(const TModalForm&) = delete;
  virtual ~TModalForm() = default;

  const FormFrame& Frame() const { return frame_; }
  // True from ShowModal until Close.
  bool Showing() const { return showing_; }
  // How often the window has been shown in this run.
  int ShowCount() const { return show_count_; }

  // Shows the window modally: marks it showing, runs its activation, then
  // the view's modal loop (RunModal), which returns once Close has run.
  // Showing a window that is already showing does nothing.
  void ShowModal() {
    if (showing_) return;
    showing_ = true;
    ++show_count_;
    Activated();
    if (showing_ && RunModal) RunModal();
  }

  // Ends the modal showing; the close box of the title bar does the same.
  void Close() {
    if (!showing_) return;
    showing_ = false;
    Closed();
    if (OnClosed) OnClosed();
  }

  // Set by the view: runs the modal loop until Close (QDialog::exec, say).
  std::function<void()> RunModal;
  // Set by the view: the window was closed by the model; hide it.
  std::function<void()> OnClosed;

 protected:
  // The window became the active window at a showing.
  virtual void Activated() {}
  // The window was closed (by a button of its own or the close box).
  virtual void Closed() {}

 private:
  FormFrame frame_;
  bool showing_ = false;
  int show_count_ = 0;
};

}  // namespace velimo::forms
