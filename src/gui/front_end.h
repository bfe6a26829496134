// The program's windows on screen over the model's application object: the
// main window, the About window and the connect dialog, made in that order
// and kept for the whole run.
#pragma once

#include "forms/application.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/qt_platform.h"

namespace velimo::gui {

class FrontEnd {
 public:
  FrontEnd(forms::TApplication& app, QtPlatform& platform)
      : main_window(app.Form_main(), platform),
        about(app.Form_Info(), platform, &main_window),
        connect(app.Form_Connect(), platform, &main_window) {}
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  MainWindow main_window;
  AboutWindow about;
  ConnectDialog connect;
};

}  // namespace velimo::gui
