#include "support/form_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace velimo::test {

namespace {

std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velimo-form-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a test directory");
  return pattern;
}

}  // namespace

FormFixture::FormFixture() : dir_(MakeTempDir()) {
  channel.connected = false;
  form = std::make_unique<forms::TForm_main>(platform);
  form->SetPort(&channel);
  form->SettingsPath = SettingsPath();
  form->Trace().SetBaseDir(dir_);
}

FormFixture::~FormFixture() {
  form.reset();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void FormFixture::WriteSettings(std::string_view content) {
  std::ofstream out(SettingsPath(), std::ios::binary | std::ios::trunc);
  out << content;
}

void FormFixture::Connect() {
  channel.connected = true;
  form->ApplyConnectedPresentation();
}

void FormFixture::Disconnect() {
  channel.connected = false;
  form->ApplyDisconnectedPresentation();
}

}  // namespace velimo::test
