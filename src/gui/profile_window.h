// The "Profile" menu beside "Connection" and its two dialogs: the one that
// compares a profile with the modem and applies it (a table of the
// differing settings, Apply, a progress bar while lines go out, the result
// per row afterwards), and the one that saves the modem's configuration.
// The logic is the profile library's; these only show it.
#pragma once

#include <QDialog>
#include <QObject>
#include <functional>
#include <memory>

#include "profile/dialog_model.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace velimo::forms {
class TForm_main;
}

namespace velimo::gui {

// Serves the event loop until done() or limitMs: the reads of a profile
// operation wait here, with the window repainting and the port served.
bool ServeUntil(const std::function<bool()>& done, int limitMs);

class ProfileDialog : public QDialog {
  Q_OBJECT
 public:
  ProfileDialog(forms::TForm_main& form, QWidget* owner);
  ~ProfileDialog() override;

  // Shows the dialog (modal, without blocking the caller), then reads the
  // file and the modem; with applyAtOnce the differing settings go out as
  // soon as the table is filled.
  void Start(const QString& path, bool applyAtOnce);
  const profile::ProfileDialogModel& Model() const { return *model_; }
  bool Busy() const { return busy_; }
  // While an apply runs: the dialog's Cancel, which ends it before its
  // next line.
  void CancelApply();

  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyNow();
  void SetStatus(const QString& text);
  void Fill();

  std::unique_ptr<forms::ModemSession> modem_;
  std::unique_ptr<profile::ProfileDialogModel> model_;
  bool busy_ = false;
  QLabel* file_ = nullptr;
  QTableWidget* table_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* close_ = nullptr;
};

class SaveProfileDialog : public QDialog {
  Q_OBJECT
 public:
  SaveProfileDialog(forms::TForm_main& form, QWidget* owner);
  // Shows it with both boxes unticked.
  void Start();
  // Where Browse... asks for a file; replaceable by tests.
  std::function<QString()> choose_file;

 private:
  void Save();

  forms::TForm_main& form_;
  QLineEdit* path_ = nullptr;
  QCheckBox* identity_ = nullptr;
  QCheckBox* secrets_ = nullptr;
};

class ProfileMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu to bar right after the menu whose action is `after`.
  ProfileMenu(forms::TForm_main& form, QMenuBar* bar, QAction* after, QWidget* owner);
  ~ProfileMenu() override;

  // The items are usable while the link is up.
  void SetConnected(bool connected);

  // Asks for a profile to compare or apply; replaceable by tests.
  std::function<QString()> choose_file;

  ProfileDialog* Dialog() const { return dialog_; }
  SaveProfileDialog* SaveDialog() const { return save_dialog_; }

 private:
  QAction* save_ = nullptr;
  QAction* compare_ = nullptr;
  QAction* apply_ = nullptr;
  ProfileDialog* dialog_ = nullptr;
  SaveProfileDialog* save_dialog_ = nullptr;
};

}  // namespace velimo::gui
