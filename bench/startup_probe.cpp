// The program as velimo starts it, reporting the moment its main window is
// first painted: it writes "shown" on its standard output and ends. The
// startup benchmark runs it as a separate process, so the time measured
// includes loading the program and its libraries.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>

#include "forms/application.h"
#include "gui/app_setup.h"
#include "gui/front_end.h"
#include "gui/qt_platform.h"

namespace {

class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      // Reported once the paint has been done.
      QTimer::singleShot(0, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        QCoreApplication::exit(0);
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication qt_app(argc, argv);
  velimo::gui::InitApplication(qt_app);
  velimo::gui::QtPlatform platform;
  velimo::forms::TApplication app(platform);
  velimo::gui::FrontEnd windows(app, platform);
  FirstPaint first_paint;
  windows.main_window.installEventFilter(&first_paint);
  windows.main_window.show();
  return qt_app.exec();
}
