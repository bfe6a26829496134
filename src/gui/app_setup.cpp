#include "gui/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyleFactory>

#include "gui/accessibility.h"
#include "gui/qt_platform.h"

// The resource initialiser lives in the global namespace; a static library
// has to call it, or the linker may drop the pictures.
static void InitVelimoResources() {
  Q_INIT_RESOURCE(velimo);
}

namespace velimo::gui {

namespace {

// Whether the Alt key is held: the menu bar then shows its mnemonics.
bool alt_held = false;

class VelimoStyle : public QProxyStyle {
 public:
  VelimoStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    // A masked key or IV shows one "*" for each character.
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    // The menu captions read as they always have; the mnemonic letters are
    // underlined only while the keyboard drives the menus: Alt held, or a
    // menu open.
    if (hint == SH_UnderlineShortcut) {
      if (qobject_cast<const QMenu*>(widget)) return 1;
      if (const auto* bar = qobject_cast<const QMenuBar*>(widget))
        return alt_held || bar->activeAction() ? 1 : 0;
      return 0;
    }
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

// Follows the Alt key for the style above and repaints the menu bars.
class AltWatcher : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    bool held = alt_held;
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Alt) held = type == QEvent::KeyPress;
    } else if (type == QEvent::ApplicationDeactivate) {
      held = false;
    }
    if (held != alt_held) {
      alt_held = held;
      for (QWidget* w : QApplication::topLevelWidgets())
        for (QMenuBar* bar : w->findChildren<QMenuBar*>()) bar->update();
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void InitApplication(QApplication& app) {
  InitVelimoResources();
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setStyle(new VelimoStyle);
  app.installEventFilter(new AltWatcher(&app));
  InstallAccessibility();
  // fontconfig stands in a metric-compatible face (Liberation Mono) where
  // "Courier New" itself is not installed.
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  app.setFont(font);
}

}  // namespace velimo::gui
