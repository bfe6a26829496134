#include "forms/application.h"

#include <exception>

#include "serial/port_list.h"

namespace velimo::forms {

TApplication::TApplication(Platform& platform, ApplicationOptions options) : platform_(platform) {
  main_ = std::make_unique<TForm_main>(platform_);
  main_->SettingsPath = options.settings_path;
  if (options.ports) main_->PortList = std::move(options.ports);
  main_->AboutPicturePath =
      options.about_picture.empty() ? FindAboutPicture() : options.about_picture;

  info_ = std::make_unique<TForm_Info>(main_->Lb_PGVersion, main_->AboutPicturePath);
  main_->Form_Info = info_.get();

  connect_ = std::make_unique<TForm_Connect>(*main_, main_->PortList, main_->SettingsPath);
  main_->Form_Connect = connect_.get();
}

TApplication::~TApplication() {
  // The main window goes last, and closes the port on its way out.
  main_->Form_Connect = nullptr;
  main_->Form_Info = nullptr;
  connect_.reset();
  info_.reset();
  main_.reset();
}

void TApplication::ShowMainWindow() {
  main_->FormActivate();
}

void TApplication::Run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    platform_.ShowError(DefaultErrorText(e.what()));
  }
}

bool TApplication::CloseMainWindow() {
  if (closed_) return true;
  // A restart ends the run without the close handler, so the settings file
  // keeps what the last normal shutdown wrote.
  if (main_->RestartRequested() || main_->FormClose()) closed_ = true;
  return closed_;
}

}  // namespace velimo::forms
