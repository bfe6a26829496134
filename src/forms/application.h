// The program without its desktop: the application title and the three
// windows, made once at start-up in their fixed order (main window, About
// window, connect dialog) and kept for the whole run. The Qt front end and
// the command-line driver both start the program through this object and
// drive its windows; the message loop is theirs.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "forms/form_connect.h"
#include "forms/form_info.h"
#include "forms/form_main.h"
#include "util/platform.h"

namespace velimo::forms {

struct ApplicationOptions {
  // The settings file; relative to the working directory by default.
  std::string settings_path = settings::kSettingsFileName;
  // The About picture; empty: looked for beside the program.
  std::string about_picture;
  // The serial ports the connect dialog offers; empty: the system's.
  PortLister ports;
};

class TApplication {
 public:
  // The caption of every plain message box and of the default error report.
  static constexpr const char* kTitle = "Velimo";

  // Creates the main window (its FormCreate runs), then the About window
  // (which copies the main window's version text), then the connect
  // dialog. Nothing is shown and the port stays closed.
  explicit TApplication(Platform& platform, ApplicationOptions options = {});
  // Destroys the windows, the main window last; its FormDestroy closes the
  // port.
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  const char* Title() const { return kTitle; }
  Platform& platform() { return platform_; }
  TForm_main& Form_main() { return *main_; }
  TForm_Info& Form_Info() { return *info_; }
  TForm_Connect& Form_Connect() { return *connect_; }

  // The main window is shown for the first time: its activation sequence
  // runs (settings read, model selected, trace options applied). Later
  // calls change nothing.
  void ShowMainWindow();

  // Runs an operator-triggered handler. An error that escapes it goes to
  // the default error report, and the program goes on.
  void Run(const std::function<void()>& handler);

  // The operator closes the main window: the settings are written. Returns
  // true when the run ends; false when the settings could not be written
  // (reported, the window stays open, a later close tries again). After a
  // restart was asked for, the run ends without writing anything.
  bool CloseMainWindow();

  // True once the run is over: closed, or a restart asked for.
  bool Terminated() const { return closed_ || main_->RestartRequested(); }

 private:
  Platform& platform_;
  // In creation order; destroyed in reverse, the main window last.
  std::unique_ptr<TForm_main> main_;
  std::unique_ptr<TForm_Info> info_;
  std::unique_ptr<TForm_Connect> connect_;
  bool closed_ = false;
};

}  // namespace velimo::forms
