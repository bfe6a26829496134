// The program's windows on screen over the model's application object: the
// main window, the About window and the connect dialog, made in that order
// and kept for the whole run.
#pragma once

#include "ui/application.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"

namespace velimo::qt {

class FrontEnd {
 public:
  FrontEnd(ui::TApplication& app, QtPlatform& platform)
      : main_window(app.Form_main(), platform),
        about(app.Form_Info(), platform, &main_window),
        connect(app.Form_Connect(), platform, &main_window) {}
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  MainWindow main_window;
  AboutWindow about;
  ConnectDialog connect;
};

}  // namespace velimo::qt
