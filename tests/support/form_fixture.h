// The main window on the test platform with a fake port, in a directory of
// its own for the settings file and the log: what every form-model test
// starts from.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "forms/form_main.h"
#include "support/fake_channel.h"
#include "support/test_platform.h"

namespace velimo::test {

class FormFixture {
 public:
  // Creates the window (FormCreate has run) with the fake port set and
  // closed. Nothing is activated yet.
  FormFixture();
  ~FormFixture();
  FormFixture(const FormFixture&) = delete;
  FormFixture& operator=(const FormFixture&) = delete;

  // A fresh directory, removed with everything in it at the end.
  const std::string& Dir() const { return dir_; }
  // The settings file the window reads: Dir() + "/Velimo.INI".
  std::string SettingsPath() const { return dir_ + "/Velimo.INI"; }
  // Writes the settings file with this content.
  void WriteSettings(std::string_view content);

  // The first activation of the window, as at start-up.
  void Activate() { form->FormActivate(); }
  // The port opens and the window takes its connected presentation, as the
  // connect dialog leaves it (without the status query that follows).
  void Connect();
  // The port closes and the window takes its disconnected presentation.
  void Disconnect();

  TestPlatform platform;
  FakeChannel channel{&platform};
  std::unique_ptr<forms::TForm_main> form;

 private:
  std::string dir_;
};

}  // namespace velimo::test
