#include "gui/model_line_edit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>

#include "gui/latin1.h"
#include "gui/qt_platform.h"

namespace velimo::gui {

ModelLineEdit::ModelLineEdit(forms::TEdit& edit, Platform& platform, QWidget* parent)
    : QLineEdit(parent), edit_(edit), platform_(platform) {
  connect(this, &QLineEdit::textEdited, this, &ModelLineEdit::OnTextEdited);
}

int ModelLineEdit::TypedCharacter(const QKeyEvent& event) {
  const int key = event.key();
  const auto mods = event.modifiers();
  if (mods & Qt::AltModifier) return -1;  // menu accelerators type nothing
  switch (key) {
    case Qt::Key_Backspace:
      return (mods & Qt::ControlModifier) ? 0x7F : 0x08;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
      return -1;
    default:
      break;
  }
  if (mods & Qt::ControlModifier) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key - Qt::Key_A + 1;
    if (key == Qt::Key_BracketLeft) return 0x1B;
    if (key == Qt::Key_Backslash) return 0x1C;
    if (key == Qt::Key_BracketRight) return 0x1D;
    return -1;
  }
  const QString text = event.text();
  if (text.size() != 1) return -1;
  const char16_t ch = text.at(0).unicode();
  if (ch < 0x20 || ch == 0x7F) return -1;
  return ch;
}

bool ModelLineEdit::FilterTakes(const QString& text) {
  // Each character as if typed: the first refused one shows the filter's
  // message, and none of the text goes in.
  QPointer<ModelLineEdit> self(this);
  for (const QChar ch : text) {
    char key = ch.unicode() > 0xFF ? '?' : static_cast<char>(ch.unicode());
    const bool unrepresentable = ch.unicode() > 0xFF;
    RunGuarded(platform_, [&] { edit_.OnKeyPress(key); });
    if (!self) return false;
    if (key == 0) return false;
    if (unrepresentable) return false;
  }
  return true;
}

void ModelLineEdit::keyPressEvent(QKeyEvent* event) {
  // A paste brings characters no key press asked the filter about.
  if (edit_.OnKeyPress && !isReadOnly() && event->matches(QKeySequence::Paste)) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard && !FilterTakes(clipboard->text())) {
      event->accept();
      return;
    }
    QLineEdit::keyPressEvent(event);
    return;
  }
  // The numeric editors move the focus on at the Space key, as Tab does; the
  // space itself is typed nowhere.
  if (edit_.Filter() == forms::KeyFilter::Digits && event->key() == Qt::Key_Space &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    focusNextChild();
    event->accept();
    return;
  }
  const int typed = TypedCharacter(*event);
  if (typed < 0) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  // A character beyond Latin-1 cannot be held by a byte string: the filter
  // is asked about the "?" it would arrive as, so a numeric or hex editor
  // refuses it with the message every other refused key gets. It is never
  // typed, whatever the filter says.
  const bool unrepresentable = typed > 0xFF;
  char key = unrepresentable ? '?' : static_cast<char>(typed);
  if (edit_.OnKeyPress) {
    // The filter may show a modal message; this editor may be gone after it.
    QPointer<ModelLineEdit> self(this);
    RunGuarded(platform_, [&] { edit_.OnKeyPress(key); });
    if (!self) return;
  }
  if (key == 0 || unrepresentable) {
    event->accept();
    return;
  }
  const auto byte = static_cast<unsigned char>(key);
  if (byte >= 0x20 && byte != 0x7F) {
    const int max = edit_.MaxLength();
    if (max > 0 && text().size() - selectedText().size() >= max) {
      event->accept();
      return;
    }
    if (byte != typed) {
      insert(QString(QChar(byte)));
      OnTextEdited(text());
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

void ModelLineEdit::OnTextEdited(const QString& edited) {
  QString text = edited;
  const QString old = ToQt(edit_.Text());
  const int max = edit_.MaxLength();
  if (max > 0 && text.size() > max && text.size() > old.size()) {
    // Pasted or dropped text: keep only as much of the inserted part as
    // the maximum length leaves room for (an assigned longer text may stay).
    const qsizetype allowed = std::max<qsizetype>(max, old.size());
    qsizetype prefix = 0;
    while (prefix < old.size() && prefix < text.size() && old[prefix] == text[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < old.size() - prefix && suffix < text.size() - prefix &&
           old[old.size() - 1 - suffix] == text[text.size() - 1 - suffix])
      ++suffix;
    const qsizetype inserted = text.size() - prefix - suffix;
    const qsizetype keep = std::max<qsizetype>(0, inserted - (text.size() - allowed));
    text = text.left(prefix) + text.mid(prefix, keep) + text.right(suffix);
    const QSignalBlocker block(this);
    setText(text);
    setCursorPosition(static_cast<int>(prefix + keep));
  }
  RunGuarded(platform_, [&] { edit_.UserSetText(FromQt(text)); });
}

}  // namespace velimo::gui
