#include "gui/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QVariant>
#include <algorithm>

namespace velimo::gui {

namespace {

// A drop-down list as a screen reader needs it: named by its caption, its
// current entry as its value and as its (read-only) text, and its entries
// as its one child (the popup's list, in the tree whether open or not), so
// that a change is told as the list's selection changing and browsing the
// open list is followed item by item.
class NamedComboBox : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name:
        // Its caption (accessible name or buddy); the entry only when it
        // has neither.
        if (QString name = QAccessibleWidget::text(t); !name.isEmpty()) return name;
        return Value();
      case QAccessible::Value:
        return Value();
      default:
        return QAccessibleWidget::text(t);
    }
  }

  int childCount() const override { return Box()->view() ? 1 : 0; }
  QAccessibleInterface* child(int index) const override {
    if (index != 0 || !Box()->view()) return nullptr;
    return QAccessible::queryAccessibleInterface(Box()->view());
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && Box()->view() && child->object() == Box()->view() ? 0 : -1;
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = Box()->view()->isVisible();
    s.collapsed = !s.expanded;
    s.editable = Box()->isEditable();
    return s;
  }

  QStringList actionNames() const override {
    return QStringList{showMenuAction(), pressAction()} << QAccessibleWidget::actionNames();
  }

  void doAction(const QString& action) override {
    if (action == showMenuAction() || action == pressAction()) {
      Box()->showPopup();
    } else {
      QAccessibleWidget::doAction(action);
    }
  }

  // The entry shown, as text a reader can read by character or word.
  QString text(int startOffset, int endOffset) const override {
    const QString value = Value();
    const int from = std::clamp(startOffset, 0, static_cast<int>(value.size()));
    const int to = endOffset < 0 ? static_cast<int>(value.size())
                                 : std::clamp(endOffset, from, static_cast<int>(value.size()));
    return value.mid(from, to - from);
  }
  int characterCount() const override { return static_cast<int>(Value().size()); }
  void selection(int, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
  }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    return {};
  }

 private:
  QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
  QString Value() const {
    return Box()->isEditable() && Box()->lineEdit() ? Box()->lineEdit()->text()
                                                    : Box()->currentText();
  }
};

// A widget that stands for a role Qt gives no class of its own here (the
// status bar is a frame of panels): the role is a property of the widget.
class RoleWidget : public QAccessibleWidget {
 public:
  RoleWidget(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String("QComboBox"))
    return new NamedComboBox(static_cast<QComboBox*>(object));
  if (const QVariant role = object->property(kRoleProperty); role.isValid())
    return new RoleWidget(static_cast<QWidget*>(object),
                          static_cast<QAccessible::Role>(role.toInt()));
  return nullptr;
}

}  // namespace

namespace {
int announcements = 0;
}  // namespace

int AnnouncementsMade() {
  return announcements;
}

void Announce(QWidget* widget) {
  if (!widget) return;
  ++announcements;
  if (!QAccessible::isActive()) return;
  QAccessibleEvent alert(widget, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

}  // namespace velimo::gui
