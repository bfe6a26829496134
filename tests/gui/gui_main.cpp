// The GUI tests run inside one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/qt/app_setup.h"

int main(int argc, char** argv) {
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
  velimo::qt::InitApplication(app);
  return RUN_ALL_TESTS();
}
