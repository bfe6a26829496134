// The text box of the form model's editors.
#pragma once

#include <QLineEdit>
#include <QString>

#include "forms/controls/controls.h"
#include "util/platform.h"

class QKeyEvent;

namespace velimo::gui {

// A text box that asks the form model about every typed character before
// it reaches the text, and limits typing (not assigned text) to the
// control's maximum length.
class ModelLineEdit : public QLineEdit {
  Q_OBJECT
 public:
  ModelLineEdit(forms::TEdit& edit, Platform& platform, QWidget* parent = nullptr);
  forms::TEdit& Model() const { return edit_; }

  // The character a key press stands for as a typed key: Backspace 8,
  // Enter 13, Escape 27, Ctrl+letter its control code, a printable key its
  // character; -1 for keys that type nothing (arrows, Delete, Tab ...).
  static int TypedCharacter(const class QKeyEvent& event);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnTextEdited(const QString& text);
  // Whether the key filter takes every character of text (a paste); the
  // first it refuses has shown its message.
  bool FilterTakes(const QString& text);

  forms::TEdit& edit_;
  Platform& platform_;
};

}  // namespace velimo::gui
