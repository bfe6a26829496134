// velimo: the desktop program. It makes its three windows, shows the main
// window and runs the message loop until the main window closes or a
// restart ends the run. Its few arguments are read in program_args.h.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "forms/application.h"
#include "gui/app_setup.h"
#include "gui/front_end.h"
#include "gui/qt_platform.h"
#include "program_args.h"
#include "util/data_folder.h"
#include "util/restart.h"
#include "util/version.h"

namespace {

std::vector<std::string> ArgsAfterName(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// Started from the desktop menu: the data folder becomes the working
// folder before anything reads or writes relative to it. When it cannot,
// the operator is told and the working folder stays in use.
void EnterDataFolder() {
  const velimo::DataFolderChoice choice = velimo::UserDataFolder();
  std::string error = choice.error;
  if (!choice.folder.empty()) {
    if (auto entered = velimo::EnterFolder(choice.folder)) error = *entered;
  }
  if (error.empty()) return;
  std::error_code ec;
  const std::string here = std::filesystem::current_path(ec).string();
  QMessageBox::warning(
      nullptr, QStringLiteral("Velimo"),
      QStringLiteral("The data folder cannot be used: %1.\nVelimo.INI and Log/ stay in %2.")
          .arg(QString::fromLocal8Bit(error.c_str()), QString::fromLocal8Bit(here.c_str())));
}

}  // namespace

int main(int argc, char** argv) {
  // Resolved before anything else, so a restart starts this very file.
  velimo::OwnExecutable();
  // --help and --version answer without a display.
  const velimo::app::ProgramArgs asked = velimo::app::ReadProgramArgs(ArgsAfterName(argc, argv));
  if (asked.help) {
    std::fputs(velimo::app::ProgramUsage().c_str(), stdout);
    return 0;
  }
  if (asked.version) {
    std::printf("velimo (%s) %s\n", velimo::kProgramName, velimo::kVersion);
    return 0;
  }

  QApplication qt_app(argc, argv);
  // Qt has taken its own options out of argv; what is left must be ours.
  const velimo::app::ProgramArgs args = velimo::app::ReadProgramArgs(ArgsAfterName(argc, argv));
  if (!args.others.empty()) {
    std::fprintf(stderr, "velimo: unknown argument \"%s\"\nTry 'velimo --help'.\n",
                 args.others.front().c_str());
    return 2;
  }
  velimo::gui::InitApplication(qt_app);
  // The desktop finds the menu entry, and with it the icon, by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.velimo.Velimo"));
  if (args.data_folder) EnterDataFolder();

  velimo::gui::QtPlatform platform;
  velimo::forms::TApplication app(platform);
  velimo::gui::FrontEnd windows(app, platform);
  windows.main_window.show();
  return qt_app.exec();
}
