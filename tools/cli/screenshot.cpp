// velimo-screenshot: the desktop program's main window, saved as a PNG
// picture, for places without a display (Qt's offscreen platform is used
// unless another is asked for). Optionally it first connects as the
// operator would and waits until the modem's answer has been read, so the
// picture shows the modem's configuration. With --profile it then opens
// the profile dialog on a profile file, as "Profile" / "Compare..." does,
// and saves that dialog instead.
//
//   velimo-screenshot --out FILE [--port PORT --model s|u|r|i] [--page N]
//                     [--profile FILE]
//
// Message boxes that the run opens are answered at once (OK, or No), since
// nobody is there to close them; their texts go to standard error.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "forms/application.h"
#include "gui/app_setup.h"
#include "gui/front_end.h"
#include "gui/profile_window.h"
#include "gui/qt_platform.h"

namespace {

const char kUsage[] =
    "Usage: velimo-screenshot --out FILE [--port PORT --model s|u|r|i] [--page N]\n"
    "                         [--profile FILE]\n"
    "Saves Velimo's main window as a PNG picture. With --port it first connects\n"
    "to the modem and waits until its answer has been read; --page then picks\n"
    "the section shown: 0 Info (default), 1 LoRa, 2 Serial. With --profile the\n"
    "picture is the profile dialog comparing that file with the modem.\n";

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Serves the Qt event loop until done() holds or limitMs has passed.
bool ServeUntil(const std::function<bool()>& done, int limitMs) {
  const int64_t until = NowMs() + limitMs;
  while (!done()) {
    if (NowMs() >= until) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, port, page = "0", profile;
  char model = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--out") {
      out = next();
    } else if (a == "--port") {
      port = next();
    } else if (a == "--model") {
      const std::string m = next();
      model = m.size() == 1 ? m[0] : '?';
    } else if (a == "--page") {
      page = next();
    } else if (a == "--profile") {
      profile = next();
    } else if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "velimo-screenshot: unknown argument \"%s\"\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (out.empty() || (!port.empty() && std::string("suri").find(model) == std::string::npos) ||
      (page != "0" && page != "1" && page != "2") || (!profile.empty() && port.empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!port.empty() && port.find('/') != std::string::npos && port.front() != '/')
    port = std::filesystem::absolute(port).lexically_normal().string();

  QApplication qt_app(argc, argv);
  velimo::gui::InitApplication(qt_app);
  velimo::gui::QtPlatform platform;
  velimo::forms::TApplication app(platform);
  velimo::gui::FrontEnd windows(app, platform);
  velimo::forms::TForm_main& form = app.Form_main();

  // Nobody reads the boxes: each is answered as soon as it is up.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      std::fprintf(stderr, "velimo-screenshot: message: %s\n",
                   box->text().toLocal8Bit().constData());
      if (QAbstractButton* no = box->button(QMessageBox::No)) {
        no->click();
      } else {
        box->accept();
      }
    }
  });
  closer.start(50);

  windows.main_window.show();
  ServeUntil([] { return false; }, 200);  // laid out and painted once

  int status = 0;
  if (!port.empty()) {
    velimo::forms::TMenuItem* item = model == 's'   ? &form.sTavi1
                                     : model == 'u' ? &form.uTavi1
                                     : model == 'r' ? &form.rTavi1
                                                    : &form.ioTavi1;
    velimo::gui::RunGuarded(platform, [item] { item->Click(); });
    // The connect dialog's choices, pressed without showing the dialog.
    velimo::forms::TForm_Connect& dialog = app.Form_Connect();
    dialog.FormActivate();
    dialog.CB_ComPort.UserSetText(port);
    velimo::gui::RunGuarded(platform, [&dialog] { dialog.Btn_Connect.Click(); });
    // A network port opens off this thread.
    ServeUntil([&dialog] { return !dialog.Connecting(); }, 60000);
    if (!form.ComPortEnvBoard.Connected()) {
      std::fprintf(stderr, "velimo-screenshot: cannot open the serial port %s\n", port.c_str());
      status = 1;
    } else {
      if (page == "1") velimo::gui::RunGuarded(platform, [&] { form.Btn_Left_LoRa.Click(); });
      if (page == "2") velimo::gui::RunGuarded(platform, [&] { form.Btn_Left_Serial.Click(); });
      const bool answered = ServeUntil(
          [&] { return form.ResponseFlag != 0 && !form.Timer_AESQuery.Enabled(); }, 8000);
      if (!answered) {
        std::fprintf(stderr, "velimo-screenshot: the modem did not answer\n");
        status = 1;
      }
      ServeUntil([] { return false; }, 400);  // the rest of the report
    }
  }

  QWidget* shown = &windows.main_window;
  if (status == 0 && !profile.empty()) {
    using Phase = velimo::profile::ProfileDialogModel::Phase;
    velimo::gui::ProfileDialog* dialog = windows.main_window.Profiles()->Dialog();
    dialog->Start(QString::fromLocal8Bit(profile.c_str()), false);
    const bool done = ServeUntil(
        [&] { return !dialog->Busy() && dialog->Model().CurrentPhase() != Phase::Empty; }, 30000);
    if (!done || dialog->Model().CurrentPhase() != Phase::Compared) {
      std::fprintf(stderr, "velimo-screenshot: the profile dialog says: %s\n",
                   dialog->Model().Status().c_str());
      status = 1;
    }
    ServeUntil([] { return false; }, 200);  // painted with its rows
    shown = dialog;
  }

  const QPixmap picture = shown->grab();
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(out.c_str()), "PNG")) {
    std::fprintf(stderr, "velimo-screenshot: cannot save %s\n", out.c_str());
    return 1;
  }
  std::printf("%s\n", out.c_str());
  return status;
}
