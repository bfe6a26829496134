#include "ui/qt/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QProxyStyle>
#include <QStyleFactory>

#include "ui/qt/accessibility.h"
#include "ui/qt/qt_platform.h"

// The resource initialiser lives in the global namespace; a static library
// has to call it, or the linker may drop the pictures.
static void InitVelimoResources() {
  Q_INIT_RESOURCE(velimo);
}

namespace velimo::qt {

namespace {

class VelimoStyle : public QProxyStyle {
 public:
  VelimoStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    // A masked key or IV shows one "*" for each character.
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

}  // namespace

void InitApplication(QApplication& app) {
  InitVelimoResources();
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setStyle(new VelimoStyle);
  InstallAccessibility();
  // fontconfig stands in a metric-compatible face (Liberation Mono) where
  // "Courier New" itself is not installed.
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  app.setFont(font);
}

}  // namespace velimo::qt
