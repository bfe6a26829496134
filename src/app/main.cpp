// velimo: the desktop program. It takes no arguments of its own; it makes
// its three windows, shows the main window and runs the message loop until
// the main window closes or a restart ends the run.
#include <QApplication>

#include "ui/application.h"
#include "ui/qt/app_setup.h"
#include "ui/qt/front_end.h"
#include "ui/qt/qt_platform.h"
#include "ui/restart.h"

int main(int argc, char** argv) {
  // Resolved before anything else, so a restart starts this very file.
  velimo::ui::OwnExecutable();
  QApplication qt_app(argc, argv);
  velimo::qt::InitApplication(qt_app);
  velimo::qt::QtPlatform platform;
  velimo::ui::TApplication app(platform);
  velimo::qt::FrontEnd windows(app, platform);
  windows.main_window.show();
  return qt_app.exec();
}
