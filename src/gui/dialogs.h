// The two modal windows of the program on screen: the connect dialog and
// the About window. Each follows its model's ShowModal/Close: ShowModal
// runs the dialog's own modal loop, Close (from a button, or the close box)
// ends it.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <memory>

#include "gui/control_view.h"

namespace velimo::forms {
class TModalForm;
class TForm_Connect;
class TForm_Info;
}  // namespace velimo::forms

namespace velimo::gui {

class ModalDialog : public QDialog {
  Q_OBJECT
 public:
  ModalDialog(forms::TModalForm& form, Platform& platform, QWidget* owner);
  ~ModalDialog() override;

  ControlView& View() { return *view_; }

  // The close box and Escape end the showing as the model's Close does.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

  forms::TModalForm& form_;
  std::unique_ptr<ControlView> view_;
};

// "Connect": port, line settings, Connect and Cancel; 334 x 261, centred
// over the main window.
class ConnectDialog : public ModalDialog {
  Q_OBJECT
 public:
  ConnectDialog(forms::TForm_Connect& form, Platform& platform, QWidget* owner);
  ~ConnectDialog() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FitToContents();
  // The busy cursor while a network port is being opened (the dialog
  // stays live: Cancel ends the attempt).
  void ShowBusy(bool busy);
  static constexpr int kPortBoxMaxWidth = 520;
  QPointer<QComboBox> port_box_;
  bool busy_ = false;
};

// "About": the picture with the name, version and copyright drawn over it;
// 426 x 150, white, no buttons.
class AboutWindow : public ModalDialog {
  Q_OBJECT
 public:
  AboutWindow(forms::TForm_Info& form, Platform& platform, QWidget* owner);
};

}  // namespace velimo::gui
