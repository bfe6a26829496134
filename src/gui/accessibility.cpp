#include "gui/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace velimo::gui {

namespace {

class NamedComboBox : public QAccessibleWidget {
 public:
  explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

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

 private:
  QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
  QString Value() const {
    return Box()->isEditable() && Box()->lineEdit() ? Box()->lineEdit()->text()
                                                    : Box()->currentText();
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
    return new NamedComboBox(static_cast<QComboBox*>(object));
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

}  // namespace velimo::gui
