#include "gui/control_view.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "forms/controls/accessible_names.h"
#include "forms/form_connect.h"
#include "gui/latin1.h"
#include "gui/qt_platform.h"

namespace velimo::gui {

using forms::Control;
using forms::ControlKind;
using forms::ControlProperty;
using forms::LayoutNode;

namespace {

// The text field of an editable list box across a change the program
// makes: the text being typed keeps its cursor; a new text (a port chosen
// by a scan, say) shows from its start, where the port's path is.
class EditPlace {
 public:
  explicit EditPlace(QComboBox* box)
      : box_(box),
        text_(box->currentText()),
        cursor_(box->lineEdit() ? box->lineEdit()->cursorPosition() : 0) {}
  void Restore(const QString& text) const {
    box_->setEditText(text);
    QLineEdit* edit = box_->lineEdit();
    if (!edit) return;
    if (text == text_) {
      edit->setCursorPosition(cursor_);
    } else {
      edit->home(false);
    }
  }

 private:
  QComboBox* box_;
  QString text_;
  int cursor_;
};

QString Trimmed(const QString& caption) {
  QString s = caption.trimmed();
  while (s.startsWith(QLatin1Char(','))) s = s.mid(1).trimmed();
  return s;
}

}  // namespace

ControlView::ControlView(Platform& platform, ViewMetrics metrics, QObject* parent)
    : QObject(parent), platform_(platform), metrics_(metrics) {}

ControlView::~ControlView() {
  for (Control* c : observed_) c->SetObserver(nullptr);
}

void ControlView::Guard(const std::function<void()>& fn) {
  RunGuarded(platform_, fn);
}

QWidget* ControlView::WidgetOf(const Control& control) const {
  auto it = bindings_.find(&control);
  return it == bindings_.end() ? nullptr : it->widget.data();
}

QAction* ControlView::ActionOf(const Control& control) const {
  auto it = bindings_.find(&control);
  return it == bindings_.end() ? nullptr : it->action.data();
}

void ControlView::Register(Control& control, QWidget* widget, QLabel* caption) {
  widget->setObjectName(QString::fromLatin1(control.Name()));
  Binding& b = bindings_[&control];
  b.widget = widget;
  b.caption = caption;
  b.row = nullptr;
  for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget()) {
    if (row_items_.contains(p)) {
      if (p == widget->parentWidget()) b.row = p;
      break;
    }
  }
  if (std::find(observed_.begin(), observed_.end(), &control) == observed_.end())
    observed_.push_back(&control);
  control.SetObserver(this);
  ApplyAll(control);
  SetAccessibleName(control);
}

void ControlView::Bind(Control& control, QWidget* widget) {
  Register(control, widget);
}

void ControlView::BindAction(forms::TMenuItem& item, QAction* action, int mnemonic) {
  action->setObjectName(QString::fromLatin1(item.Name()));
  Binding& b = bindings_[&item];
  b.action = action;
  b.mnemonic = mnemonic;
  if (std::find(observed_.begin(), observed_.end(), &item) == observed_.end())
    observed_.push_back(&item);
  item.SetObserver(this);
  if (!action->menu()) {
    connect(action, &QAction::triggered, this, [this, &item, action] {
      Guard([&] { item.Click(); });
      if (ActionOf(item) == action) Apply(item, ControlProperty::Checked);
    });
  }
  ApplyAll(item);
}

void ControlView::AddNames(const LayoutNode& root) {
  for (auto& [control, name] : forms::NameControls(root)) names_[control] = name;
}

void ControlView::SetAccessibleName(Control& control) {
  auto it = bindings_.find(&control);
  if (it == bindings_.end()) return;
  QWidget* w = it->widget;
  if (!w) return;
  const QString caption = Trimmed(ToQt(control.Caption()));
  const auto named = names_.find(&control);
  QString name;
  if (named != names_.end()) {
    name = ToQt(named->second.follows_caption ? forms::SpokenCaption(control.Caption())
                                              : named->second.name);
    // An information label is read as its row's caption and its value.
    if (named->second.before_value) {
      name += QStringLiteral(": ") + caption;
    } else if (name.isEmpty() && control.Kind() == ControlKind::Label) {
      name = caption;
    }
  } else if (control.Kind() != ControlKind::Edit && control.Kind() != ControlKind::ComboBox &&
             control.Kind() != ControlKind::EditComboBox) {
    // Made outside any declaration: its caption, if it has one.
    name = caption;
  }
  w->setAccessibleName(name);
}

void ControlView::ApplyAll(Control& control) {
  static constexpr ControlProperty kAll[] = {
      ControlProperty::Items,      ControlProperty::ItemIndex, ControlProperty::Text,
      ControlProperty::Visible,    ControlProperty::Enabled,   ControlProperty::Checked,
      ControlProperty::Masked,     ControlProperty::Hint,      ControlProperty::Glyph,
      ControlProperty::TabVisible, ControlProperty::Size,      ControlProperty::Focus,
  };
  for (ControlProperty p : kAll) {
    if (intercept && intercept(control, p)) continue;
    Apply(control, p);
  }
}

void ControlView::ControlChanged(Control& control, ControlProperty property) {
  if (intercept && intercept(control, property)) return;
  Apply(control, property);
}

void ControlView::UpdateRow(QWidget* row) {
  auto it = row_items_.find(row);
  if (it == row_items_.end() || row->isWindow()) return;
  bool any = false;
  for (const auto& w : *it) any = any || (w && !w->isHidden());
  row->setVisible(any);
}

void ControlView::Apply(Control& control, ControlProperty property) {
  auto it = bindings_.find(&control);
  if (it == bindings_.end()) return;
  Binding& b = *it;
  const ControlKind kind = control.Kind();

  if (kind == ControlKind::MenuItem) {
    QAction* a = b.action;
    if (!a) return;
    auto& item = static_cast<forms::TMenuItem&>(control);
    switch (property) {
      case ControlProperty::Text:
        a->setText(ToQtMenuCaption(item.Caption(), b.mnemonic));
        if (a->menu()) a->menu()->setTitle(ToQtMenuCaption(item.Caption(), b.mnemonic));
        break;
      case ControlProperty::Visible:
        a->setVisible(item.Visible());
        break;
      case ControlProperty::Enabled:
        a->setEnabled(item.Enabled() && !item.Held());
        break;
      case ControlProperty::Checked:
        if (!a->menu()) {
          // Only a checked item shows a mark.
          a->setCheckable(item.Checked());
          a->setChecked(item.Checked());
        }
        break;
      default:
        break;
    }
    return;
  }

  QWidget* w = b.widget;
  if (!w) return;
  switch (property) {
    case ControlProperty::Text: {
      const QString caption = ToQt(control.Caption());
      switch (kind) {
        case ControlKind::Edit: {
          const QString text = ToQt(static_cast<forms::TEdit&>(control).Text());
          auto* le = static_cast<QLineEdit*>(w);
          if (le->text() != text) {
            const QSignalBlocker block(le);
            le->setText(text);
          }
          break;
        }
        case ControlKind::Label: {
          static_cast<QLabel*>(w)->setText(caption);
          if (w->property("velimoAutoSize").toBool()) w->adjustSize();
          SetAccessibleName(control);
          break;
        }
        case ControlKind::EditComboBox: {
          auto* cb = static_cast<QComboBox*>(w);
          const QString text = ToQt(static_cast<forms::TEditComboBox&>(control).Text());
          if (cb->currentText() != text) {
            const QSignalBlocker block(cb);
            const EditPlace place(cb);
            place.Restore(text);
          }
          break;
        }
        case ControlKind::Panel:
          if (b.caption) {
            b.caption->setText(caption);
            SetAccessibleName(control);
          }
          break;
        case ControlKind::Button:
        case ControlKind::CheckBox:
          static_cast<QAbstractButton*>(w)->setText(ToQtCaption(control.Caption()));
          if (w->property("velimoFit").toBool()) {
            const int text = w->fontMetrics().horizontalAdvance(ToQt(control.Caption()));
            w->setFixedWidth(std::max(metrics_.min_button_width, text + 24));
          }
          SetAccessibleName(control);
          break;
        default:
          break;
      }
      break;
    }
    case ControlProperty::Items:
      if (kind == ControlKind::ComboBox) {
        auto& combo = static_cast<forms::TComboBox&>(control);
        auto* cb = static_cast<QComboBox*>(w);
        const QSignalBlocker block(cb);
        cb->clear();
        for (const auto& item : combo.Items()) cb->addItem(ToQt(item));
        cb->setCurrentIndex(combo.ItemIndex());
      } else if (kind == ControlKind::EditComboBox) {
        auto& port_box = static_cast<forms::TEditComboBox&>(control);
        auto* cb = static_cast<QComboBox*>(w);
        const QSignalBlocker block(cb);
        const EditPlace place(cb);
        cb->clear();
        for (const auto& item : port_box.Items()) cb->addItem(ToQt(item));
        cb->setCurrentIndex(port_box.ItemIndex());
        place.Restore(ToQt(port_box.Text()));
      }
      break;
    case ControlProperty::ItemIndex:
      if (kind == ControlKind::ComboBox) {
        auto* cb = static_cast<QComboBox*>(w);
        const QSignalBlocker block(cb);
        cb->setCurrentIndex(static_cast<forms::TComboBox&>(control).ItemIndex());
      } else if (kind == ControlKind::EditComboBox) {
        auto& port_box = static_cast<forms::TEditComboBox&>(control);
        auto* cb = static_cast<QComboBox*>(w);
        const QSignalBlocker block(cb);
        const EditPlace place(cb);
        cb->setCurrentIndex(port_box.ItemIndex());
        // An editable box keeps its typed text without a selection.
        place.Restore(ToQt(port_box.Text()));
      }
      break;
    case ControlProperty::Visible:
      if (kind == ControlKind::Page) break;  // a page's tab: the window's business
      if (w->isWindow()) {
        if (!control.Visible()) w->hide();
      } else {
        w->setVisible(control.Visible());
      }
      if (b.row) UpdateRow(b.row);
      break;
    case ControlProperty::Enabled:
      w->setEnabled(control.Enabled() && !control.Held());
      break;
    case ControlProperty::Checked:
      if (kind == ControlKind::CheckBox) {
        auto* cb = static_cast<QCheckBox*>(w);
        const QSignalBlocker block(cb);
        cb->setChecked(static_cast<forms::TCheckBox&>(control).Checked());
      }
      break;
    case ControlProperty::Masked:
      if (kind == ControlKind::Edit) {
        static_cast<QLineEdit*>(w)->setEchoMode(
            static_cast<forms::TEdit&>(control).Masked() ? QLineEdit::Password : QLineEdit::Normal);
      }
      break;
    case ControlProperty::Hint:
      w->setToolTip(ToQt(control.Hint()));
      break;
    case ControlProperty::Glyph:
      if (kind == ControlKind::GlyphButton && pictures) {
        static_cast<QPushButton*>(w)->setIcon(
            QIcon(pictures(control, static_cast<forms::TGlyphButton&>(control).Glyph())));
      }
      break;
    case ControlProperty::MaxLength:
      break;  // read at each typed key
    case ControlProperty::TabVisible:
    case ControlProperty::Size:
    case ControlProperty::Focus:
      break;  // the window's business
  }
}

}  // namespace velimo::gui
