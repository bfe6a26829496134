// The GUI tests run inside one QApplication on the offscreen platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "gui/app_setup.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Started anew by the restart test: records how the system sees this
// process (its name, command line and folder) and ends without running a
// test. Written to a temporary name and renamed, so the test never reads
// half a report.
int ReportRestartedInstance(const char* report) {
  char cwd[4096] = {};
  if (!getcwd(cwd, sizeof cwd)) return 1;
  const std::string tmp = std::string(report) + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary);
    out << ReadAll("/proc/self/comm") << ReadAll("/proc/self/cmdline") << "\n" << cwd << "\n";
  }
  return std::rename(tmp.c_str(), report) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* report = std::getenv("VELIMO_RESTART_REPORT"))
    return ReportRestartedInstance(report);
    // By default a desktop screen with room for the whole main window.
#ifdef VELIMO_GUI_SCREENS_DIR
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM",
            "offscreen:configfile=" VELIMO_GUI_SCREENS_DIR "/desk_1920x1080.json");
#else
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  velimo::gui::InitApplication(app);
  return RUN_ALL_TESTS();
}
